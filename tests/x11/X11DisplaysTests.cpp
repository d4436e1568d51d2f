#include "platform/x11/session/X11Displays.hpp"

#include <gtest/gtest.h>

namespace tovrel::platform::x11 {
namespace {

TEST(X11Displays, PrimaryMonitorFirstThenServerOrderWithoutEmptyOnes) {
  Rect left{0, 0, 1280, 1024}, primary{1280, 0, 1920, 1080}, right{3200, 0, 1024, 768};
  Rect root{0, 0, 4224, 1080};
  EXPECT_EQ(orderDisplays({{left, false}, {primary, true}, {right, false}}, root),
            (std::vector<Rect>{primary, left, right}));
  // Without a primary (a fresh server), the server's order stands.
  EXPECT_EQ(orderDisplays({{right, false}, {left, false}}, root), (std::vector<Rect>{right, left}));
  EXPECT_EQ(orderDisplays({{{0, 0, 0, 1080}, true}, {left, false}}, root),
            (std::vector<Rect>{left}));
}

TEST(X11Displays, WithoutMonitorsTheWholeRootIsTheDisplay) {
  Rect root{0, 0, 1280, 800};
  EXPECT_EQ(orderDisplays({}, root), (std::vector<Rect>{root}));
  EXPECT_EQ(orderDisplays({{{10, 10, -5, 5}, true}}, root), (std::vector<Rect>{root}));
  EXPECT_TRUE(orderDisplays({}, Rect{}).empty());
}

}  // namespace
}  // namespace tovrel::platform::x11
