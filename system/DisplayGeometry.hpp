#pragma once

// Geometry over the active displays: keeping synthetic pointer moves on the screens, and choosing
// where inside a target the program clicks it and anchors its label. Global top-left coordinates,
// y growing downward.

#include <optional>
#include <span>
#include <vector>

#include "core/HintTarget.hpp"
#include "platform/DisplayServices.hpp"

namespace tovrel {

namespace DisplayGeometry {

// The bounds of every active display, main display first; empty when they cannot be read.
std::vector<platform::Rect> activeBounds(platform::DisplayServices& displays);

// The point clamped onto the nearest rectangle (the earlier one on a tie); the point itself when
// there are none, or when no rectangle gives a finite distance.
Point nearest(Point point, std::span<const platform::Rect> rects);

// With a rectangle, the point clamped into it (unchanged when that gives no finite distance, as
// for an infinite rectangle); without one, `nearest(point, bounds)`.
Point clamp(Point point, const std::optional<platform::Rect>& confinedTo,
            std::span<const platform::Rect> bounds);

}  // namespace DisplayGeometry

namespace ClickPoint {

struct Anchor {
  Point point;
  bool labelAbove = false;  // never set; labels always hang below their point
  bool operator==(const Anchor&) const = default;
};

// The point to click a target at and to anchor its label to: near the frame's bottom edge, but
// above the bottom margin of the display showing the frame's centre. `scale` is the label chips'
// size relative to normal (1 for callers that do not draw labels).
Anchor of(const HintTarget::Frame& frame, std::span<const platform::Rect> displays, double scale);

}  // namespace ClickPoint

}  // namespace tovrel
