#include "platform/x11/input/X11KeyTable.hpp"

#include <gtest/gtest.h>

#include <set>

#include "core/Keys.hpp"

namespace tovrel::platform::x11 {
namespace {

TEST(X11KeyTable, RoundTripsEveryMappedCodeAndNoXKeycodeIsShared) {
  std::set<unsigned> seen;
  int mapped = 0;
  for (unsigned code = 0; code < 128; ++code) {
    auto xKeycode = xKeycodeForKeyCode(static_cast<std::uint16_t>(code));
    if (!xKeycode) continue;
    ++mapped;
    EXPECT_TRUE(seen.insert(*xKeycode).second) << "X keycode " << *xKeycode << " used twice";
    EXPECT_EQ(keyCodeForXKeycode(*xKeycode), code);
  }
  EXPECT_GT(mapped, 100);
}

TEST(X11KeyTable, ModifiersAndNamedKeysSitWhereAPcKeyboardHasThem) {
  struct Case {
    std::uint16_t code;
    unsigned xKeycode;
  };
  for (auto [code, xKeycode] :
       {Case{Key::rightOption, 108}, Case{Key::leftCommand, 133}, Case{Key::rightCommand, 134},
        Case{Key::leftShift, 50}, Case{Key::rightShift, 62}, Case{Key::leftControl, 37},
        Case{Key::rightControl, 105}, Case{Key::capsLock, 66}, Case{Key::returnKey, 36},
        Case{Key::deleteKey, 22}, Case{Key::escape, 9}, Case{Key::space, 65}, Case{Key::a, 38},
        Case{Key::upArrow, 111}, Case{Key::f1, 67}})
    EXPECT_EQ(xKeycodeForKeyCode(code), xKeycode) << code;
  EXPECT_FALSE(xKeycodeForKeyCode(Key::function));  // Fn never reaches an X client
  EXPECT_FALSE(keyCodeForXKeycode(135));            // the Menu key has no counterpart
  EXPECT_FALSE(keyCodeForXKeycode(4000));
}

TEST(X11KeyTable, KeysymTextMatchesWhatTheKeyTypes) {
  EXPECT_EQ(keysymToUnicode(0x61), U'a');
  EXPECT_EQ(keysymToUnicode(0xE9), U'é');
  EXPECT_EQ(keysymToUnicode(0x010003B1), U'α');
  EXPECT_EQ(keysymToUnicode(0xFF0D), U'\r');
  EXPECT_EQ(keysymToUnicode(0xFF08), 0x08u);
  EXPECT_EQ(keysymToUnicode(0xFFFF), 0x7Fu);
  EXPECT_EQ(keysymToUnicode(0xFFB7), U'7');
  EXPECT_EQ(keysymToUnicode(0xFF51), 0u);  // Left arrow
  EXPECT_EQ(keysymToUnicode(0xFFBE), 0u);  // F1
  EXPECT_EQ(keysymToUnicode(0xFFE1), 0u);  // Shift_L
}

}  // namespace
}  // namespace tovrel::platform::x11
