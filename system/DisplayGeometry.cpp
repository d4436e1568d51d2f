#include "system/DisplayGeometry.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tovrel {

namespace {

// Edges of a rectangle stored with a possibly negative size.
struct Edges {
  double minX, maxX, minY, maxY;
  explicit Edges(const platform::Rect& rect)
      : minX(std::min(rect.x, rect.x + rect.width)),
        maxX(std::max(rect.x, rect.x + rect.width)),
        minY(std::min(rect.y, rect.y + rect.height)),
        maxY(std::max(rect.y, rect.y + rect.height)) {}
};

// The far edges are held half a point inside, so the clamped point lies on the display. A
// rectangle with an undefined edge gives an undefined point, which no caller keeps.
Point clampInto(Point point, const platform::Rect& rect) {
  if (std::isnan(rect.x) || std::isnan(rect.y) || std::isnan(rect.width) || std::isnan(rect.height))
    return {std::nan(""), std::nan("")};
  const Edges edges(rect);
  return {std::min(std::max(point.x, edges.minX), edges.maxX - 0.5),
          std::min(std::max(point.y, edges.minY), edges.maxY - 0.5)};
}

double squaredDistance(Point a, Point b) {
  const double dx = a.x - b.x;
  const double dy = a.y - b.y;
  return dx * dx + dy * dy;
}

// Bottom margin at normal label size: one label chip (15.5) with its tail (3.5).
constexpr double bottomMargin = 19;

}  // namespace

namespace DisplayGeometry {

std::vector<platform::Rect> activeBounds(platform::DisplayServices& displays) {
  return displays.activeDisplayBounds();
}

Point nearest(Point point, std::span<const platform::Rect> rects) {
  Point best = point;
  double bestDistance = std::numeric_limits<double>::infinity();
  for (const platform::Rect& rect : rects) {
    const Point clamped = clampInto(point, rect);
    const double distance = squaredDistance(point, clamped);
    if (distance < bestDistance) {
      best = clamped;
      bestDistance = distance;
    }
  }
  return best;
}

Point clamp(Point point, const std::optional<platform::Rect>& confinedTo,
            std::span<const platform::Rect> bounds) {
  if (!confinedTo) return nearest(point, bounds);
  const Point clamped = clampInto(point, *confinedTo);
  if (!std::isfinite(squaredDistance(point, clamped))) return point;
  return clamped;
}

}  // namespace DisplayGeometry

namespace ClickPoint {

Anchor of(const HintTarget::Frame& frame, std::span<const platform::Rect> displays, double scale) {
  const Edges edges(frame);
  const double inset = std::min(0.2 * (edges.maxY - edges.minY), 3 * scale);
  const Point centre = frame.center();
  if (displays.empty()) return {{centre.x, edges.maxY - inset}, false};
  auto display = std::find_if(displays.begin(), displays.end(),
                              [&](const platform::Rect& rect) { return rect.contains(centre); });
  if (display == displays.end()) display = displays.begin();
  double y = std::min(Edges(*display).maxY - bottomMargin * scale, edges.maxY - inset);
  y = std::max(y, edges.minY + inset);
  return {{centre.x, y}, false};
}

}  // namespace ClickPoint

}  // namespace tovrel
