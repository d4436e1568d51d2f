#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "system/DisplayGeometry.hpp"

namespace tovrel {
namespace {

using Rects = std::vector<platform::Rect>;
constexpr double inf = std::numeric_limits<double>::infinity();

void expectNear(Point actual, Point expected, const char* what) {
  EXPECT_NEAR(actual.x, expected.x, 1e-9) << what;
  EXPECT_NEAR(actual.y, expected.y, 1e-9) << what;
}

TEST(DisplayGeometry, NearestAndClamp) {
  const platform::Rect left{0, 0, 1920, 1080};
  const platform::Rect right{2000, 0, 1920, 1080};  // a gap from 1920 to 2000
  struct Case {
    const char* what;
    Point point;
    Rects rects;
    Point expected;
  };
  const std::vector<Case> cases = {
      {"left of every display", {-300, 200}, {right, left}, {0, 200}},
      {"gap, nearer the left", {1950, 500}, {left, right}, {1919.5, 500}},
      {"gap, nearer the right", {1990, 500}, {left, right}, {2000, 500}},
      {"gap, tie to the earlier", {1959.75, 500}, {left, right}, {1919.5, 500}},
      {"gap, tie to the earlier reversed", {1959.75, 500}, {right, left}, {2000, 500}},
      {"below and right", {5000, 5000}, {left}, {1919.5, 1079.5}},
      {"no displays", {-7, 9}, {}, {-7, 9}},
      {"only a null rectangle", {3, 4}, {{inf, inf, 0, 0}}, {3, 4}},
  };
  for (const Case& c : cases) {
    expectNear(DisplayGeometry::nearest(c.point, c.rects), c.expected, c.what);
    expectNear(DisplayGeometry::clamp(c.point, std::nullopt, c.rects), c.expected, c.what);
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  expectNear(DisplayGeometry::clamp({2500, -20}, left, Rects{right}), {1919.5, 0}, "confined");
  for (platform::Rect bad : Rects{{inf, inf, 0, 0}, {nan, 0, 10, 10}, {0, 0, 10, nan}})
    expectNear(DisplayGeometry::clamp({150, -20}, bad, Rects{left}), {150, -20}, "not a rectangle");
}

TEST(ClickPoint, WorkedNumbers) {
  const platform::Rect tall{0, 0, 1920, 1080};
  const Rects shortFirst = {{0, 0, 1920, 600}, {1920, 0, 1920, 1080}};
  struct Case {
    const char* what;
    HintTarget::Frame frame;
    Rects displays;
    double scale;
    Point expected;
  };
  const std::vector<Case> cases = {
      {"short frame, inset 2", {100, 100, 50, 10}, {tall}, 1.3, {125, 108}},
      {"tall frame, inset 3.9", {100, 100, 50, 100}, {tall}, 1.3, {125, 196.1}},
      {"bottom at the display's edge", {0, 1000, 200, 80}, {tall}, 1, {100, 1061}},
      {"inside the bottom margin", {0, 1065, 200, 15}, {tall}, 1, {100, 1068}},
      {"larger chips, larger margin", {0, 1000, 200, 80}, {tall}, 2, {100, 1042}},
      {"no displays", {10, 20, 30, 40}, {}, 1, {25, 57}},
      {"centre on no display: the first", {4000, 560, 100, 100}, shortFirst, 1, {4050, 581}},
      {"centre on the second display", {2000, 560, 100, 100}, shortFirst, 1, {2050, 657}},
  };
  for (const Case& c : cases) {
    const ClickPoint::Anchor anchor = ClickPoint::of(c.frame, c.displays, c.scale);
    expectNear(anchor.point, c.expected, c.what);
    EXPECT_FALSE(anchor.labelAbove) << c.what;
  }
}

}  // namespace
}  // namespace tovrel
