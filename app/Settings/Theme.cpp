#include "app/Settings/Theme.hpp"

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

QPalette lightPalette() {
  QPalette palette;
  const QColor window(0xEC, 0xEC, 0xEC);
  const QColor text(0x1D, 0x1D, 0x1F);
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::AlternateBase, QColor(0xF5, 0xF5, 0xF5));
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, QColor(0xFB, 0xFB, 0xFB));
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::Highlight, QColor(0x00, 0x7A, 0xFF));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::ToolTipBase, Qt::white);
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::PlaceholderText, QColor(0, 0, 0, 0x60));
  palette.setColor(QPalette::Light, Qt::white);
  palette.setColor(QPalette::Midlight, QColor(0xE0, 0xE0, 0xE0));
  palette.setColor(QPalette::Mid, QColor(0xB8, 0xB8, 0xB8));
  palette.setColor(QPalette::Dark, QColor(0x9A, 0x9A, 0x9A));
  palette.setColor(QPalette::Shadow, QColor(0x60, 0x60, 0x60));
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0, 0, 0, 0x60));
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0, 0, 0, 0x60));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0, 0, 0, 0x60));
  return palette;
}

QPalette darkPalette() {
  QPalette palette;
  const QColor window(0x2A, 0x2A, 0x2C);
  const QColor text(0xF2, 0xF2, 0xF7);
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
  palette.setColor(QPalette::AlternateBase, QColor(0x32, 0x32, 0x34));
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, QColor(0x3A, 0x3A, 0x3C));
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::Highlight, QColor(0x0A, 0x84, 0xFF));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::ToolTipBase, QColor(0x3A, 0x3A, 0x3C));
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::PlaceholderText, QColor(0xFF, 0xFF, 0xFF, 0x60));
  palette.setColor(QPalette::Light, QColor(0x4A, 0x4A, 0x4C));
  palette.setColor(QPalette::Midlight, QColor(0x3E, 0x3E, 0x40));
  palette.setColor(QPalette::Mid, QColor(0x2E, 0x2E, 0x30));
  palette.setColor(QPalette::Dark, QColor(0x1A, 0x1A, 0x1A));
  palette.setColor(QPalette::Shadow, Qt::black);
  palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0xFF, 0xFF, 0xFF, 0x60));
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0xFF, 0xFF, 0xFF, 0x60));
  palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0xFF, 0xFF, 0xFF, 0x60));
  return palette;
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
