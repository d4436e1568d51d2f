// The label chips: yellow callouts with a tail pointing at their target, and the label sample
// image. Chips arrive in the canvas's own coordinates, whose origin is the bottom-left corner;
// they are built there and flipped once into the window's top-left pixels.

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPen>
#include <QTransform>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <numbers>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/paint/Chip.hpp"
#include "platform/x11/overlay/QtOverlayDrawing.hpp"

namespace tovrel::platform::x11::overlay {
namespace {

constexpr double normalFontSize = 10.5;

double finiteOr(double value, double fallback) {
  return std::isfinite(value) ? value : fallback;
}

bool finite(const QRectF& rect) {
  constexpr double limit = 1e8;
  for (const double value : {rect.left(), rect.top(), rect.right(), rect.bottom()})
    if (!std::isfinite(value) || std::abs(value) > limit) return false;
  return true;
}

// Collects a shape as whole-pixel rectangles of a window, row by row: on each row, the pixels
// whose centres lie in a span. Rows of a lane with the same span as the row above make one
// rectangle.
class Rows {
 public:
  static constexpr int lanes = 2;

  Rows(std::vector<QRect>& out, QSizeF window)
      : out_(out),
        columns_(static_cast<int>(std::ceil(std::clamp(window.width(), 0.0, 1e6)))),
        rows_(static_cast<int>(std::ceil(std::clamp(window.height(), 0.0, 1e6)))) {}

  // The window's rows whose centres lie in [top, bottom].
  std::pair<int, int> within(double top, double bottom) const {
    return {std::max(cell(top, true), 0), std::min(cell(bottom, false), rows_ - 1)};
  }

  void add(int lane, int row, double left, double right) {
    const int first = std::max(cell(left, true), 0);
    const int last = std::min(cell(right, false), columns_ - 1);
    if (first > last) return;
    std::optional<QRect>& run = runs_[static_cast<std::size_t>(lane)];
    if (run && run->left() == first && run->right() == last && run->bottom() + 1 == row) {
      run->setBottom(row);
      return;
    }
    if (run) out_.push_back(*run);
    run = QRect(first, row, last - first + 1, 1);
  }

  void flush() {
    for (std::optional<QRect>& run : runs_) {
      if (run) out_.push_back(*run);
      run.reset();
    }
  }

 private:
  // The first pixel whose centre is at or after `edge`, or the last at or before it; a centre a
  // hair outside counts, as when a path is filled.
  int cell(double edge, bool first) const {
    constexpr double hair = 1.0 / 64;
    const double centre = std::clamp(edge - 0.5 + (first ? -hair : hair), -1.0,
                                     static_cast<double>(std::max(columns_, rows_)));
    return static_cast<int>(first ? std::ceil(centre) : std::floor(centre));
  }

  std::vector<QRect>& out_;
  int columns_;
  int rows_;
  std::array<std::optional<QRect>, lanes> runs_;
};

// A chip's body, `window` in the window's coordinates, with the outline's reach beyond its edge
// and the corners' size `v`. Both control points of each corner's curve lie on the corner, so
// the curve passes v/8 in from it on the diagonal, and the shape grown by `reach` lies beyond
// the line through that point square to the diagonal: the rows lose what is outside that line.
void addBody(Rows& rows, const QRectF& window, double reach, double v) {
  const QRectF grown = window.adjusted(-reach, -reach, reach, reach);
  const double cut = 2 * (reach * (1 - 1 / std::numbers::sqrt2) + v / 8);
  const auto [first, last] = rows.within(grown.top(), grown.bottom());
  for (int row = first; row <= last; ++row) {
    const double centre = row + 0.5;
    const double inset =
        std::max(0.0, cut - std::min(centre - grown.top(), grown.bottom() - centre));
    rows.add(0, row, grown.left() + inset, grown.right() - inset);
  }
}

// A tail from the base [left, right] on the row `base` to `tip`, grown by `reach`: each row takes
// what the triangle spans a reach above and below its centre, and a reach more on each side.
void addTail(Rows& rows, double left, double right, double base, QPointF tip, double reach) {
  const double low = std::min(base, tip.y());
  const double high = std::max(base, tip.y());
  auto across = [&](double y) {
    y = std::clamp(y, low, high);
    const double f = high > low ? (y - base) / (tip.y() - base) : 1;
    return std::pair{left + f * (tip.x() - left), right + f * (tip.x() - right)};
  };
  // The outline's mitred point may reach a line width past the tip.
  const auto [first, last] = rows.within(low - 2 * reach, high + 2 * reach);
  for (int row = first; row <= last; ++row) {
    const double centre = row + 0.5;
    const auto above = across(centre - reach);
    const auto below = across(centre + reach);
    rows.add(0, row, std::min(above.first, below.first) - reach,
             std::max(above.second, below.second) + reach);
  }
}

// Where a rounded rectangle crosses the horizontal line at `y`, which it must cross.
std::pair<double, double> across(const QRectF& rect, double rx, double ry, double y) {
  double into = 0;  // how far into a corner's height the line runs
  if (y < rect.top() + ry) {
    into = rect.top() + ry - y;
  } else if (y > rect.bottom() - ry) {
    into = y - (rect.bottom() - ry);
  }
  double inset = 0;
  if (into > 0 && ry > 0) {
    const double t = std::min(into / ry, 1.0);
    inset = rx * (1 - std::sqrt(1 - t * t));
  }
  return {rect.left() + inset, rect.right() - inset};
}

// The band `reach` either side of a rounded rectangle's outline (its corners as a painter path
// makes them: radii no more than half the sides): the rectangle grown by `reach` without the one
// shrunk by it.
void addRing(Rows& rows, const QRectF& rect, double radius, double reach) {
  const double rx = std::min(radius, rect.width() / 2);
  const double ry = std::min(radius, rect.height() / 2);
  const QRectF outer = rect.adjusted(-reach, -reach, reach, reach);
  const QRectF inner = rect.adjusted(reach, reach, -reach, -reach);
  const bool hollow = inner.width() > 0 && inner.height() > 0;
  const auto [first, last] = rows.within(outer.top(), outer.bottom());
  for (int row = first; row <= last; ++row) {
    const double centre = row + 0.5;
    const auto [left, right] = across(outer, rx + reach, ry + reach, centre);
    if (hollow && centre > inner.top() && centre < inner.bottom()) {
      const auto hole = across(inner, std::max(rx - reach, 0.0), std::max(ry - reach, 0.0), centre);
      rows.add(0, row, left, hole.first);
      rows.add(1, row, hole.second, right);
    } else {
      rows.add(0, row, left, right);
    }
  }
}

}  // namespace

QPainterPath callout(const QRectF& rect, std::optional<QPointF> tail, bool tailUp, double scale) {
  const double o = rect.x();
  const double r = rect.x() + rect.width();
  const double t = rect.y();
  const double u = rect.y() + rect.height();
  const double v = 4 * scale;
  const double l = 2.75 * scale;
  // The upper limit wins when the chip is too narrow for both.
  const double m = tail ? std::min(std::max(tail->x(), o + v + l), r - v - l) : (o + r) / 2;

  QPainterPath path;
  path.moveTo(o + v, u);
  if (tail && tailUp) {
    path.lineTo(m - l, u);
    path.lineTo(m, tail->y());
    path.lineTo(m + l, u);
  }
  path.lineTo(r - v, u);
  path.cubicTo(r, u, r, u, r, u - v);
  path.lineTo(r, t + v);
  path.cubicTo(r, t, r, t, r - v, t);
  if (tail && !tailUp) {
    path.lineTo(m + l, t);
    path.lineTo(m, tail->y());
    path.lineTo(m - l, t);
  }
  path.lineTo(o + v, t);
  path.cubicTo(o, t, o, t, o, t + v);
  path.lineTo(o, u - v);
  path.cubicTo(o, u, o, u, o + v, u);
  path.closeSubpath();
  return path;
}

namespace {

std::size_t mixed(std::size_t hash, std::size_t part) {
  return hash ^ (part + 0x9e3779b97f4a7c15ULL + (hash << 6) + (hash >> 2));
}

// What a chip looks like; in the canvas's coordinates, except where it is placed in the window.
struct ChipLook {
  std::string text;
  int typed = 0;
  QRectF body;
  std::optional<QPointF> tail;
  bool tailUp = true;
  bool selected = false;
  TextBlock label;
  QPointF textTopLeft;  // the window's coordinates
  QRectF covered;       // what the body, tail and text cover in the window, before the outline
  bool alone = true;    // nothing is drawn beneath its text
};

// Room left around what a chip covers in the image it is drawn in, for its outline.
constexpr int chipMargin = 4;

// How far beyond what a chip covers its outline may draw: half the thick line, a pixel of
// antialiasing, and the mitred point of its tail.
constexpr double chipStroke = 3;

// Whether a chip's text would be drawn over something drawn before it: the ring or another chip.
// Text is blended differently over what is already opaque, so such a chip is not copied from an
// image of it drawn over nothing. Chips are looked for in a grid of cells, so that a canvas full
// of them is checked in linear time.
class Overlaps {
 public:
  // `outer` and `inner`: what the ring's stroke may touch lies inside the one and outside the
  // other.
  void ring(const QRectF& outer, const QRectF& inner) {
    ringOuter_ = outer;
    ringInner_ = inner;
  }

  // Answers whether `text` meets the ring or a chip recorded before, then records `drawn`, where
  // this chip draws anything.
  bool add(const QRectF& drawn, const QRectF& text) {
    bool met = ringOuter_ && ringOuter_->intersects(text) &&
               !(ringInner_.isValid() && ringInner_.contains(text));
    for (int y = cell(text.top()); y <= cell(text.bottom()) && !met; ++y)
      for (int x = cell(text.left()); x <= cell(text.right()) && !met; ++x)
        if (const auto here = cells_.find(key(x, y)); here != cells_.end())
          met = std::any_of(here->second.begin(), here->second.end(),
                            [&text](const QRectF& other) { return other.intersects(text); });
    for (int y = cell(drawn.top()); y <= cell(drawn.bottom()); ++y)
      for (int x = cell(drawn.left()); x <= cell(drawn.right()); ++x)
        cells_[key(x, y)].push_back(drawn);
    return met;
  }

 private:
  static constexpr double side = 64;
  static int cell(double coordinate) { return static_cast<int>(std::floor(coordinate / side)); }
  static std::int64_t key(int x, int y) {
    return static_cast<std::int64_t>(x) * (std::int64_t{1} << 32) + static_cast<std::uint32_t>(y);
  }

  std::optional<QRectF> ringOuter_;
  QRectF ringInner_;
  std::unordered_map<std::int64_t, std::vector<QRectF>> cells_;
};

// How every chip of a canvas is drawn.
class ChipStyle {
 public:
  ChipStyle(double s, double height, double opacity) : s_(s), height_(height), opacity_(opacity) {
    thin_.setJoinStyle(Qt::MiterJoin);
    thick_.setJoinStyle(Qt::MiterJoin);
  }
  double s() const { return s_; }
  double height() const { return height_; }
  double opacity() const { return opacity_; }

  void draw(QPainter& painter, const ChipLook& chip) const;

 private:
  double s_;
  double height_;
  double opacity_;
  QPen thin_{QColor::fromRgbF(0, 0, 0, 0.6f), 1};
  QPen thick_{QColor(Qt::black), 2};
};

// The chips drawn lately, each in an image of its own, ready to be copied to a whole-pixel place.
// Typing a letter redraws every chip while few of them change; a chip moved by whole pixels looks
// the same and is found again.
class ChipSprites {
 public:
  static ChipSprites& instance() {
    static ChipSprites sprites;
    return sprites;
  }

  void draw(QPainter& painter, const ChipLook& chip, const ChipStyle& style);
  // After a canvas is drawn: forgets the chips no canvas has shown for a few paints (typing a
  // letter and taking it back, on every screen), or all but this canvas's when there are many.
  void painted();

 private:
  struct Key {
    std::string text;
    int typed;
    bool selected;
    bool tailed;
    bool tailUp;
    std::array<double, 11> numbers;  // size, opacity and the geometry relative to the image
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const {
      std::size_t hash =
          mixed(std::hash<std::string>()(key.text),
                static_cast<std::size_t>(key.typed) << 3 | std::size_t{key.selected} << 2 |
                    std::size_t{key.tailed} << 1 | std::size_t{key.tailUp});
      for (const double number : key.numbers)
        hash = mixed(hash, std::hash<double>()(number));
      return hash;
    }
  };
  struct Sprite {
    QImage image;
    std::uint64_t used = 0;
  };

  std::unordered_map<Key, Sprite, KeyHash> sprites_;
  std::uint64_t paint_ = 1;
};

void ChipStyle::draw(QPainter& painter, const ChipLook& chip) const {
  const QTransform flip(1, 0, 0, -1, 0, height_);
  const QPainterPath path = flip.map(callout(chip.body, chip.tail, chip.tailUp, s_));
  painter.fillPath(path, paint::chipGradient(path.boundingRect(), opacity_));
  painter.setPen(chip.selected ? thick_ : thin_);
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path);
  chip.label.draw(painter, chip.textTopLeft);
}

void ChipSprites::draw(QPainter& painter, const ChipLook& chip, const ChipStyle& style) {
  constexpr int margin = chipMargin;
  const QPoint origin(static_cast<int>(std::floor(chip.covered.left())) - margin,
                      static_cast<int>(std::floor(chip.covered.top())) - margin);
  const double x = origin.x();
  const double y = origin.y();
  // In the window's coordinates, relative to the image.
  const double top = style.height() - chip.body.bottom() - y;
  const QPointF tip =
      chip.tail ? QPointF(chip.tail->x() - x, style.height() - chip.tail->y() - y) : QPointF();
  Key key{
      chip.text,
      chip.typed,
      chip.selected,
      chip.tail.has_value(),
      chip.tailUp,
      {style.s(), style.opacity(), chip.body.left() - x, top, chip.body.width(), chip.body.height(),
       tip.x(), tip.y(), chip.textTopLeft.x() - x, chip.textTopLeft.y() - y, chip.covered.width()}};
  auto found = sprites_.find(key);
  if (found == sprites_.end()) {
    const QSize size(static_cast<int>(std::ceil(chip.covered.right())) + margin - origin.x(),
                     static_cast<int>(std::ceil(chip.covered.bottom())) + margin - origin.y());
    Sprite sprite{QImage(size, QImage::Format_ARGB32_Premultiplied), 0};
    if (sprite.image.isNull()) return style.draw(painter, chip);
    sprite.image.fill(Qt::transparent);
    {
      QPainter own(&sprite.image);
      own.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
      own.translate(-origin);
      style.draw(own, chip);
    }
    found = sprites_.emplace(std::move(key), std::move(sprite)).first;
  }
  found->second.used = paint_;
  painter.drawImage(origin, found->second.image);
}

void ChipSprites::painted() {
  constexpr std::uint64_t recent = 8;
  constexpr std::size_t most = 4096;
  const std::uint64_t stale = paint_ > recent ? paint_ - recent : 0;
  std::erase_if(sprites_, [stale](const auto& entry) { return entry.second.used <= stale; });
  if (sprites_.size() > most)
    std::erase_if(sprites_, [this](const auto& entry) { return entry.second.used != paint_; });
  ++paint_;
}

}  // namespace

TextBlock chipLabel(std::string_view label, int typed, double fontSize) {
  return paint::chipText(label, typed, fontSize * 0.95, fontSize * 0.3 / normalFontSize);
}

double labelWidth(std::string_view text, double fontSize) {
  return chipLabel(text, 0, fontSize).size.width();
}

Drawing hintCanvasDrawing(const HintCanvasContent& content, QSizeF bounds) {
  Drawing drawing;
  drawing.size = bounds;
  const double height = bounds.height();
  const double fontSize = content.fontSize > 0 ? finiteOr(content.fontSize, 11) : 11;
  const double s = fontSize / normalFontSize;
  const double opacity = std::clamp(finiteOr(content.opacity, 1), 0.0, 1.0);
  auto flipped = [height](const Rect& rect) {
    return QRectF(rect.x, height - rect.y - rect.height, rect.width, rect.height);
  };
  Rows rows(drawing.blocks, bounds);
  Overlaps overlaps;

  if (content.highlight) {
    const QRectF around = flipped(*content.highlight).normalized().adjusted(-2, -2, 2, 2);
    constexpr double radius = 5;
    constexpr double ringWidth = 2.5;
    if (finite(around)) {
      addRing(rows, around, radius, (ringWidth + 1) / 2);
      constexpr double touched = ringWidth / 2 + 1;
      overlaps.ring(around.adjusted(-touched, -touched, touched, touched),
                    around.adjusted(touched, touched, -touched, -touched));
      drawing.steps.push_back([around](QPainter& painter) {
        QPainterPath ring;
        ring.addRoundedRect(around, radius, radius);
        painter.setPen(QPen(palette::accent(), ringWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(ring);
      });
    }
  }

  // The chips' outlines and text are only needed when the window paints, on a later turn of the
  // main loop; what the window's shape needs is worked out now.
  auto chips = std::make_shared<std::vector<ChipLook>>();
  chips->reserve(content.chips.size());
  const double v = 4 * s;
  const double l = 2.75 * s;
  for (const HintChip& chip : content.chips) {
    const QRectF body(chip.rect.x, chip.rect.y, chip.rect.width, chip.rect.height);
    std::optional<QPointF> tail;
    if (!chip.offset) tail = QPointF(chip.anchor.x, chip.anchor.y);
    if (!finite(body) || (tail && !(std::isfinite(tail->x()) && std::isfinite(tail->y()))))
      continue;
    // The shape covers the fill and the outline, drawn over the path's edge, with half a pixel
    // to spare on each side.
    const double lineWidth = chip.selected ? 2 : 1;
    const double reach = (lineWidth + 1) / 2;
    const QRectF window = flipped(chip.rect);
    addBody(rows, window, reach, v);
    if (tail) {
      const double o = body.left();
      const double r = body.right();
      const double m = std::min(std::max(tail->x(), o + v + l), r - v - l);
      const double edge = chip.tailUp ? window.top() : window.bottom();
      addTail(rows, m - l, m + l, edge, QPointF(m, height - tail->y()), reach);
    }

    TextBlock label = chipLabel(chip.text, chip.typed, fontSize);
    const double textX = std::round(chip.rect.x + chip.rect.width / 2 - label.size.width() / 2);
    // Placed in the canvas's upward coordinates, then flipped: the text's box spans
    // [bottom, bottom + height] there.
    const double bottom = chip.rect.y + chip.rect.height / 2 - label.size.height() / 2 + 0.25 * s;
    const QPointF textTopLeft(textX, height - bottom - label.size.height());
    // The tail's point lies straight above or below the body.
    const double tip = tail ? height - tail->y() : window.top();
    const double reachTop = std::min(window.top(), tip);
    const QRectF covered =
        QRectF(window.left(), reachTop, window.width(), std::max(window.bottom(), tip) - reachTop) |
        QRectF(textTopLeft, label.size);
    const bool alone =
        !overlaps.add(covered.adjusted(-chipStroke, -chipStroke, chipStroke, chipStroke),
                      QRectF(textTopLeft, label.size).adjusted(-1, -1, 1, 1));
    chips->push_back({chip.text, chip.typed, body, tail, chip.tailUp, chip.selected,
                      std::move(label), textTopLeft, covered, alone});
  }
  rows.flush();
  if (chips->empty()) return drawing;

  drawing.steps.push_back([chips, s, height, opacity](QPainter& painter) {
    const ChipStyle style(s, height, opacity);
    // Each chip is drawn once into an image of its own and copied from then on, unless the
    // painter scales (the label sample) or would place it between whole pixels, or something lies
    // beneath its text.
    const QTransform& device = painter.deviceTransform();
    const bool whole = device.type() <= QTransform::TxTranslate &&
                       device.dx() == std::round(device.dx()) &&
                       device.dy() == std::round(device.dy());
    for (const ChipLook& chip : *chips) {
      if (whole && chip.alone) {
        ChipSprites::instance().draw(painter, chip, style);
      } else {
        style.draw(painter, chip);
      }
    }
    ChipSprites::instance().painted();
  });
  return drawing;
}

std::optional<std::vector<std::uint8_t>> labelSample(double width, double height,
                                                     const std::vector<Rect>& blocks,
                                                     const HintCanvasContent& canvas) {
  if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0)
    return std::nullopt;
  constexpr double pixelsPerPoint = 2;
  QImage image(static_cast<int>(std::lround(width * pixelsPerPoint)),
               static_cast<int>(std::lround(height * pixelsPerPoint)),
               QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return std::nullopt;
  image.setDevicePixelRatio(pixelsPerPoint);
  image.fill(QColor::fromRgbF(0.96f, 0.96f, 0.96f));
  {
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    for (const Rect& block : blocks)
      painter.fillRect(QRectF(block.x, height - block.y - block.height, block.width, block.height),
                       QColor::fromRgbF(0.7f, 0.7f, 0.7f));
    hintCanvasDrawing(canvas, QSizeF(width, height)).paint(painter);
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return std::nullopt;
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace tovrel::platform::x11::overlay
