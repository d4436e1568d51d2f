#include "app/settings/Theme.hpp"

#include <algorithm>
#include <array>

namespace tovrel::settings {

namespace {

struct Pair {
  QRgb light;
  QRgb dark;
};

// The platform's named colours, light and dark.
constexpr std::array<Pair, 8> fixedColours = {{
    {0xFF3B30, 0xFF453A},  // red
    {0xFF9500, 0xFF9F0A},  // orange
    {0x34C759, 0x30D158},  // green
    {0x00C7BE, 0x66D4CF},  // mint
    {0x30B0C7, 0x40C8E0},  // teal
    {0x5856D6, 0x5E5CE6},  // indigo
    {0x007AFF, 0x0A84FF},  // blue
    {0x8E8E93, 0x98989D},  // gray
}};

QColor withAlpha(QColor colour, double alpha) {
  colour.setAlphaF(static_cast<float>(std::clamp(alpha, 0.0, 1.0)));
  return colour;
}

}  // namespace

QFont fontOfSize(int pixels, QFont::Weight weight) {
  QFont font;
  font.setFamilies({QStringLiteral("Inter"), QStringLiteral("DejaVu Sans")});
  font.setPixelSize(std::max(pixels, 1));
  font.setWeight(weight);
  return font;
}

QFont font(TextStyle style, std::optional<QFont::Weight> weight) {
  struct Look {
    int pixels;
    QFont::Weight weight;
  };
  static constexpr std::array<Look, 6> looks = {{
      {13, QFont::Normal},    // body
      {12, QFont::Normal},    // callout
      {10, QFont::Normal},    // caption
      {13, QFont::DemiBold},  // headline
      {15, QFont::Normal},    // title 3
      {17, QFont::Normal},    // title 2
  }};
  const Look look = looks[static_cast<std::size_t>(style)];
  return fontOfSize(look.pixels, weight.value_or(look.weight));
}

namespace {

// The roles a palette sets, and the disabled text, in one table per appearance.
struct PaletteColours {
  QRgb window, text, base, alternateBase, button, highlight, toolTipBase, light, midlight, mid,
      dark, shadow;
  QRgb faded;  // placeholder and disabled text, with alpha
};

QPalette paletteOf(const PaletteColours& c) {
  QPalette palette;
  const std::pair<QPalette::ColorRole, QRgb> roles[] = {
      {QPalette::Window, c.window},
      {QPalette::WindowText, c.text},
      {QPalette::Base, c.base},
      {QPalette::AlternateBase, c.alternateBase},
      {QPalette::Text, c.text},
      {QPalette::Button, c.button},
      {QPalette::ButtonText, c.text},
      {QPalette::Highlight, c.highlight},
      {QPalette::HighlightedText, 0xFFFFFF},
      {QPalette::ToolTipBase, c.toolTipBase},
      {QPalette::ToolTipText, c.text},
      {QPalette::Light, c.light},
      {QPalette::Midlight, c.midlight},
      {QPalette::Mid, c.mid},
      {QPalette::Dark, c.dark},
      {QPalette::Shadow, c.shadow},
  };
  for (const auto& [role, rgb] : roles)
    palette.setColor(role, QColor::fromRgb(rgb));
  const QColor faded = QColor::fromRgba(c.faded);
  palette.setColor(QPalette::PlaceholderText, faded);
  for (const QPalette::ColorRole role :
       {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, faded);
  return palette;
}

}  // namespace

QPalette lightPalette() {
  return paletteOf({0xECECEC, 0x1D1D1F, 0xFFFFFF, 0xF5F5F5, 0xFBFBFB, 0x007AFF, 0xFFFFFF, 0xFFFFFF,
                    0xE0E0E0, 0xB8B8B8, 0x9A9A9A, 0x606060, 0x60000000});
}

QPalette darkPalette() {
  return paletteOf({0x2A2A2C, 0xF2F2F7, 0x1E1E1E, 0x323234, 0x3A3A3C, 0x0A84FF, 0x3A3A3C, 0x4A4A4C,
                    0x3E3E40, 0x2E2E30, 0x1A1A1A, 0x000000, 0x60FFFFFF});
}

bool isDark(const QPalette& palette) {
  return palette.color(QPalette::Window).lightness() <
         palette.color(QPalette::WindowText).lightness();
}

QColor colour(Colour name, const QPalette& palette) {
  const bool dark = isDark(palette);
  const auto index = static_cast<std::size_t>(name);
  if (index < fixedColours.size()) {
    const Pair pair = fixedColours[index];
    return QColor::fromRgb(dark ? pair.dark : pair.light);
  }
  switch (name) {
    case Colour::primary:
      return palette.color(QPalette::WindowText);
    case Colour::secondary:
      return withAlpha(palette.color(QPalette::WindowText), dark ? 0.55 : 0.5);
    case Colour::separator:
      return dark ? QColor::fromRgbF(1, 1, 1, 0.12f) : QColor::fromRgbF(0, 0, 0, 0.1f);
    case Colour::controlBackground:
      return palette.color(QPalette::Base);
    case Colour::windowBackground:
      return palette.color(QPalette::Window);
    case Colour::accent:
      return palette.color(QPalette::Highlight);
    default:
      return palette.color(QPalette::WindowText);
  }
}

QColor colour(Colour name, const QPalette& palette, double opacity) {
  QColor base = colour(name, palette);
  return withAlpha(base, base.alphaF() * opacity);
}

Colour modeColour(InteractionMode mode) {
  switch (mode) {
    case InteractionMode::cursor:
      return Colour::indigo;
    case InteractionMode::click:
      return Colour::teal;
    case InteractionMode::scroll:
      return Colour::mint;
    case InteractionMode::off:
      break;
  }
  return Colour::secondary;
}

}  // namespace tovrel::settings
