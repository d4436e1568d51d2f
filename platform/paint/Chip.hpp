#pragma once

// The label chip as click mode shows it on screen and the settings window pictures it: a yellow
// fill from light to deep, and the label's letters upper-cased in a heavy weight with those
// already typed faded. Main thread only (fonts and text layout).

#include <QLinearGradient>
#include <QPainterPath>
#include <QRectF>
#include <string_view>

#include "platform/paint/Text.hpp"

namespace tovrel::paint {

// The chip's fill from the top of `bounds` to its bottom, its colours at `opacity`.
QLinearGradient chipGradient(const QRectF& bounds, double opacity);

// A chip's text, upper-cased, with its first `typed` characters (as a reader counts them) in
// black at 0.3 and the rest in black, at `fontSize` with `letterSpacing` between letters (both in
// logical pixels). Remembered: the same few labels are laid out again on every key press.
TextBlock chipText(std::string_view label, int typed, double fontSize, double letterSpacing);

// A rounded rectangle with a tail centred on its top edge: the body is `rect` less `tail` at the
// top, the tail's tip lies on `rect`'s top edge and its base is 1.6 × `tail` wide; the corners are
// quarter circles of `radius` (no more than half the body's shorter side).
QPainterPath calloutShape(const QRectF& rect, double tail, double radius);

}  // namespace tovrel::paint
