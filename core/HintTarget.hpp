#pragma once

// One actionable element of the front window as the engine sees it, its rectangle, and the name
// search that orders targets for a typed query.
//
// Coordinates are global display points: origin at the top-left corner of the main display,
// x growing to the right, y growing downward.

#include <cstddef>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tovrel {

struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct HintTarget {
  // Stored as given: nothing is normalised or clamped, so a negative width stays negative.
  struct Frame {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    constexpr Point center() const { return {x + width * 0.5, y + height * 0.5}; }
    // The left and top edges belong to the rectangle, the right and bottom edges do not.
    constexpr bool contains(Point point) const {
      return x <= point.x && point.x < x + width && y <= point.y && point.y < y + height;
    }
    bool operator==(const Frame&) const = default;
  };

  std::string name;  // the only text name search looks at; may be empty
  std::string role;  // the accessibility role, "AXButton" and the like
  Frame frame;

  bool operator==(const HintTarget&) const = default;
};

std::ostream& operator<<(std::ostream& stream, const Point& point);
std::ostream& operator<<(std::ostream& stream, const HintTarget::Frame& frame);

namespace TargetSearch {

// Case and accents folded away (no locale), split at every Unicode White_Space character and
// joined again with single spaces.
std::string normalize(std::string_view text);

// A name prepared once per target list, so typing a query does not fold every name again.
struct PreparedName {
  std::string normalized;
  std::size_t length = 0;  // user-perceived characters of `normalized`
};
PreparedName prepare(std::string_view name);
std::vector<PreparedName> prepare(std::span<const std::string> names);

// The indices of the names that contain every word of the query, best first: names that begin
// with the first word, then names with a later word beginning with it, then the rest; shorter
// names first within a tier, then target order. An empty query keeps every index in order.
std::vector<std::size_t> rank(std::string_view query, std::span<const std::string> names);
std::vector<std::size_t> rank(std::string_view query, std::span<const PreparedName> names);

}  // namespace TargetSearch

}  // namespace tovrel
