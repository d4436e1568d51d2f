#include "platform/x11/overlay/QtOverlayDrawing.hpp"

#include <QBitmap>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <type_traits>

namespace tovrel::platform::x11::overlay {

namespace palette {
QColor material() {
  return QColor::fromRgbF(30 / 255.0, 30 / 255.0, 30 / 255.0, 0.86);
}
QColor primary() {
  return QColor(255, 255, 255);
}
QColor secondary() {
  return QColor::fromRgbF(235 / 255.0, 235 / 255.0, 245 / 255.0, 0.60);
}
QColor accent() {
  return QColor(0x0A, 0x84, 0xFF);
}
QColor orange() {
  return QColor(0xFF, 0x9F, 0x0A);
}
QColor green() {
  return QColor(0x30, 0xD1, 0x58);
}
}  // namespace palette

void Drawing::paint(QPainter& painter) const {
  for (const auto& step : steps) {
    painter.save();
    step(painter);
    painter.restore();
  }
}

QRegion Drawing::region(QSize pixels) const {
  if (pixels.isEmpty() || (shapes.empty() && blocks.empty())) return {};
  const QRect window(QPoint(0, 0), pixels);
  QRegion drawn;
  if (!shapes.empty()) {
    // Only the shapes' bounds are rasterised: a small shape in a large window is common.
    QRectF reach;
    for (const QPainterPath& shape : shapes)
      reach |= shape.controlPointRect();
    const QRect area = reach.toAlignedRect().adjusted(-1, -1, 1, 1) & window;
    if (!area.isEmpty()) {
      QBitmap bitmap(area.size());
      bitmap.fill(Qt::color0);
      QPainter painter(&bitmap);
      painter.translate(-area.topLeft());
      painter.setPen(Qt::NoPen);
      painter.setBrush(Qt::color1);
      for (const QPainterPath& shape : shapes)
        painter.drawPath(shape);
      painter.end();
      drawn = QRegion(bitmap).translated(area.topLeft());
    }
  }
  if (blocks.empty()) return drawn;
  std::vector<QRect> rects;
  rects.reserve(blocks.size() + static_cast<std::size_t>(drawn.rectCount()));
  for (const QRect& block : blocks)
    rects.push_back(block & window);
  rects.insert(rects.end(), drawn.begin(), drawn.end());
  return regionOf(std::move(rects));
}

QRegion regionOf(std::vector<QRect> rects) {
  std::erase_if(rects, [](const QRect& rect) { return rect.isEmpty(); });
  if (rects.size() <= 1) return rects.empty() ? QRegion() : QRegion(rects.front());
  // Sweeps down through the rectangles' top and bottom edges: between two edges the same
  // rectangles are crossed, and their merged spans make one band of the region. A band whose
  // spans equal those of the band just above it lengthens that band instead.
  std::sort(rects.begin(), rects.end(),
            [](const QRect& a, const QRect& b) { return a.top() < b.top(); });
  std::vector<int> edges;
  edges.reserve(2 * rects.size());
  for (const QRect& rect : rects) {
    edges.push_back(rect.top());
    edges.push_back(rect.top() + rect.height());
  }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

  using Span = std::pair<int, int>;  // left, right (exclusive)
  std::vector<QRect> bands;
  std::vector<const QRect*> crossed;
  std::vector<Span> spans;
  std::vector<Span> above;
  std::size_t aboveFirst = 0;  // where the band above starts in `bands`
  int aboveEnd = 0;            // where it ends (exclusive); only read once `above` is not empty
  std::size_t next = 0;
  for (std::size_t i = 0; i + 1 < edges.size(); ++i) {
    const int top = edges[i];
    const int end = edges[i + 1];
    while (next < rects.size() && rects[next].top() <= top)
      crossed.push_back(&rects[next++]);
    std::erase_if(crossed,
                  [top](const QRect* rect) { return rect->top() + rect->height() <= top; });
    if (crossed.empty()) continue;
    spans.clear();
    for (const QRect* rect : crossed)
      spans.emplace_back(rect->left(), rect->left() + rect->width());
    std::sort(spans.begin(), spans.end());
    std::size_t kept = 0;
    for (std::size_t j = 1; j < spans.size(); ++j) {
      if (spans[j].first <= spans[kept].second) {
        spans[kept].second = std::max(spans[kept].second, spans[j].second);
      } else {
        spans[++kept] = spans[j];
      }
    }
    spans.resize(kept + 1);
    if (!above.empty() && aboveEnd == top && spans == above) {
      for (std::size_t j = aboveFirst; j < bands.size(); ++j)
        bands[j].setBottom(end - 1);
    } else {
      aboveFirst = bands.size();
      for (const auto& [left, right] : spans)
        bands.emplace_back(left, top, right - left, end - top);
      above.swap(spans);
    }
    aboveEnd = end;
  }
  QRegion region;
  region.setRects(bands.data(), static_cast<int>(bands.size()));
  return region;
}

Drawing drawing(const OverlayContent& content, std::optional<QSizeF> bounds) {
  return std::visit(
      [&](const auto& value) -> Drawing {
        using Kind = std::decay_t<decltype(value)>;
        const QSizeF area = bounds.value_or(QSizeF());
        if constexpr (std::is_same_v<Kind, BadgeContent>) {
          return badgeDrawing(value, area);
        } else if constexpr (std::is_same_v<Kind, HudContent>) {
          return hudDrawing(value, area);
        } else if constexpr (std::is_same_v<Kind, HelpContent>) {
          return helpDrawing(value, area);
        } else if constexpr (std::is_same_v<Kind, HintCanvasContent>) {
          return hintCanvasDrawing(value, area);
        } else if constexpr (std::is_same_v<Kind, ProgressContent>) {
          return progressDrawing(value, area);
        } else if constexpr (std::is_same_v<Kind, DotContent>) {
          return dotDrawing(area);
        } else if constexpr (std::is_same_v<Kind, OutlineContent>) {
          return outlineDrawing(value, area);
        } else {
          Drawing nothing;
          nothing.size = area;
          return nothing;
        }
      },
      content);
}

std::optional<OverlaySize> naturalSize(const OverlayContent& content) {
  if (!std::holds_alternative<BadgeContent>(content) &&
      !std::holds_alternative<HudContent>(content) && !std::holds_alternative<HelpContent>(content))
    return std::nullopt;
  const QSizeF size = drawing(content, std::nullopt).size;
  // Arithmetic noise must not add a whole pixel.
  constexpr double slack = 1e-6;
  return OverlaySize{std::ceil(size.width() - slack), std::ceil(size.height() - slack)};
}

}  // namespace tovrel::platform::x11::overlay
