#pragma once

// The settings window's text styles and named colours, in one place: every control and page takes
// its fonts and colours from here. Colours come in a light and a dark variant, chosen from the
// palette the window is drawn with, so a dark desktop theme gets the dark table.

#include <QColor>
#include <QFont>
#include <QPalette>
#include <optional>

#include "core/InteractionMode.hpp"

namespace tovrel::settings {

enum class TextStyle { body, callout, caption, headline, title3, title2 };

// The program's typeface (Inter, DejaVu Sans where it is missing) at the style's size in logical
// pixels: body 13, callout 12, caption 10, headline 13 semibold, title 3 15, title 2 17.
// `weight` overrides the style's own weight.
QFont font(TextStyle style, std::optional<QFont::Weight> weight = std::nullopt);
// The same typeface at any whole size.
QFont fontOfSize(int pixels, QFont::Weight weight = QFont::Normal);

enum class Colour {
  red,
  orange,
  green,
  mint,
  teal,
  indigo,
  blue,
  gray,
  primary,            // text
  secondary,          // dimmed text
  separator,          // hairlines
  controlBackground,  // fields and key caps
  windowBackground,
  accent,  // the selection colour of the palette
};

// The palettes the window is drawn with when the desktop gives none of its own, light and dark;
// the dark one also serves pictures of the window in dark appearance.
QPalette lightPalette();
QPalette darkPalette();

// A dark palette: its window colour is darker than its text.
bool isDark(const QPalette& palette);
QColor colour(Colour name, const QPalette& palette);
// `name` with its alpha multiplied by `opacity`.
QColor colour(Colour name, const QPalette& palette, double opacity);

// Off secondary, Moving indigo, Clicking teal, Scrolling mint.
Colour modeColour(InteractionMode mode);

}  // namespace tovrel::settings
