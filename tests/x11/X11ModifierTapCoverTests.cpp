#include "platform/x11/input/X11ModifierTapCover.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/x11/input/X11KeyTable.hpp"

namespace tovrel::platform::x11 {
namespace {

// The silent key is the highest keycode the keyboard map leaves unbound and no binding can name.
TEST(X11ModifierTapCover, TheSilentKeyIsTheHighestUnboundKeyNoBindingCanName) {
  struct Case {
    std::string what;
    unsigned min, max;
    std::set<unsigned> unbound;
    std::optional<unsigned> silent;
  };
  // 97 and 132 are keys of the program's own table; 93, 120 and 248 are not.
  ASSERT_TRUE(keyCodeForXKeycode(97) && keyCodeForXKeycode(132));
  ASSERT_FALSE(keyCodeForXKeycode(93) || keyCodeForXKeycode(120) || keyCodeForXKeycode(248));
  const std::vector<Case> cases = {
      {"the highest of several", 8, 255, {93, 120, 248}, 248},
      {"one the program could bind is passed over", 8, 255, {93, 132}, 93},
      {"only keys the program could bind", 8, 255, {97, 132}, std::nullopt},
      {"every key bound", 8, 255, {}, std::nullopt},
      {"above the map's last keycode", 8, 200, {120, 248}, 120},
      {"below the map's first keycode", 100, 255, {93}, std::nullopt},
      {"the first keycode itself", 8, 255, {8}, 8},
      {"a map that starts at zero", 0, 10, {}, std::nullopt},
  };
  for (const Case& c : cases) {
    std::set<unsigned> asked;
    const auto silent = chooseSilentKeycode(c.min, c.max, [&](unsigned keycode) {
      asked.insert(keycode);
      return !c.unbound.contains(keycode);
    });
    EXPECT_EQ(silent, c.silent) << c.what;
    // Never a keycode outside the map.
    for (unsigned keycode : asked) {
      EXPECT_GE(keycode, c.min) << c.what;
      EXPECT_LE(keycode, c.max) << c.what;
    }
  }
}

}  // namespace
}  // namespace tovrel::platform::x11
