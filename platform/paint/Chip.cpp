#include "platform/paint/Chip.hpp"

#include <QCoreApplication>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <unordered_map>

namespace tovrel::paint {
namespace {

// The code units of the first `count` characters (as a reader counts them) of `text`.
int leadingCharacters(const QString& text, int count) {
  if (count <= 0) return 0;
  QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
  int end = 0;
  for (int i = 0; i < count; ++i) {
    const qsizetype next = characters.toNextBoundary();
    if (next < 0) break;
    end = static_cast<int>(next);
  }
  return end;
}

std::size_t mixed(std::size_t hash, std::size_t part) {
  return hash ^ (part + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2));
}

struct TextKey {
  std::string text;
  int typed;
  double fontSize;
  double letterSpacing;
  bool operator==(const TextKey&) const = default;
};
struct TextKeyHash {
  std::size_t operator()(const TextKey& key) const {
    std::size_t hash = mixed(std::hash<std::string>()(key.text), std::hash<int>()(key.typed));
    hash = mixed(hash, std::hash<double>()(key.fontSize));
    return mixed(hash, std::hash<double>()(key.letterSpacing));
  }
};
using TextCache = std::unordered_map<TextKey, TextBlock, TextKeyHash>;

TextCache& laidOutTexts() {
  static TextCache texts;
  return texts;
}

// The laid-out texts hold the application's fonts: they are let go while it still exists.
void forgetBeforeTheApplicationEnds() {
  static bool registered = false;
  if (registered || QCoreApplication::instance() == nullptr) return;
  registered = true;
  qAddPostRoutine([] {
    laidOutTexts().clear();
    registered = false;
  });
}

}  // namespace

QLinearGradient chipGradient(const QRectF& bounds, double opacity) {
  QLinearGradient gradient(bounds.topLeft(), bounds.bottomLeft());
  auto colour = [opacity](int r, int g, int b) {
    QColor c(r, g, b);
    c.setAlphaF(static_cast<float>(opacity));
    return c;
  };
  gradient.setColorAt(0, colour(255, 247, 180));
  gradient.setColorAt(0.5, colour(250, 241, 146));
  gradient.setColorAt(1, colour(252, 227, 106));
  return gradient;
}

TextBlock chipText(std::string_view label, int typed, double fontSize, double letterSpacing) {
  TextKey key{std::string(label), std::max(typed, 0), fontSize, letterSpacing};
  TextCache& laidOut = laidOutTexts();
  if (const auto found = laidOut.find(key); found != laidOut.end()) return found->second;
  const QString upper =
      QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())).toUpper();
  Type heavy = type(fontSize, QFont::ExtraBold);
  // In the font's own, magnified units.
  const double spacing = std::isfinite(letterSpacing) ? letterSpacing : 0;
  heavy.font.setLetterSpacing(QFont::AbsoluteSpacing, spacing / heavy.scale);
  QList<QTextLayout::FormatRange> formats;
  if (const int faded = leadingCharacters(upper, typed); faded > 0) {
    QTextLayout::FormatRange range;
    range.start = 0;
    range.length = faded;
    range.format.setForeground(QColor::fromRgbF(0, 0, 0, 0.3f));
    formats.push_back(range);
  }
  TextBlock block = textBlock(upper, heavy, Qt::black, std::nullopt, formats);
  // Enough for every label of a crowded screen at two sizes, typed or not; beyond that it is
  // simply started again.
  constexpr std::size_t remembered = 16384;
  if (laidOut.size() >= remembered) laidOut.clear();
  forgetBeforeTheApplicationEnds();
  laidOut.emplace(std::move(key), block);
  return block;
}

QPainterPath calloutShape(const QRectF& rect, double tail, double radius) {
  const double height = std::max(rect.height(), 0.0);
  const double t = std::isfinite(tail) ? std::clamp(tail, 0.0, height) : 0;
  const QRectF body(rect.x(), rect.y() + t, rect.width(), height - t);
  const double half = 0.8 * t;
  // A larger radius would run the corners' arcs past each other.
  const double shorter = std::min(std::max(body.width(), 0.0), body.height()) / 2;
  const double r = std::isfinite(radius) ? std::clamp(radius, 0.0, shorter) : 0;
  const double d = 2 * r;
  const double left = body.left();
  const double right = body.right();
  const double top = body.top();
  const double bottom = body.bottom();
  const double middle = body.center().x();

  QPainterPath path;
  path.moveTo(left + r, top);
  path.lineTo(middle - half, top);
  path.lineTo(middle, rect.top());
  path.lineTo(middle + half, top);
  // Each corner: along the side to where its arc begins, then a quarter turn clockwise.
  path.lineTo(right - r, top);
  path.arcTo(QRectF(right - d, top, d, d), 90, -90);
  path.lineTo(right, bottom - r);
  path.arcTo(QRectF(right - d, bottom - d, d, d), 0, -90);
  path.lineTo(left + r, bottom);
  path.arcTo(QRectF(left, bottom - d, d, d), 270, -90);
  path.lineTo(left, top + r);
  path.arcTo(QRectF(left, top, d, d), 180, -90);
  path.closeSubpath();
  return path;
}

}  // namespace tovrel::paint
