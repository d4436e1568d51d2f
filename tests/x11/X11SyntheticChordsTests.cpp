#include "platform/x11/input/X11SyntheticChords.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "core/Keys.hpp"
#include "platform/x11/input/X11KeyTable.hpp"
#include "platform/x11/input/X11Modifiers.hpp"

namespace tovrel::platform::x11 {
namespace {

// What the self-test posts must arrive as the key it meant: every X keycode the tap names is the
// one the injector posts for that name, and every code the injector can post is heard back.
TEST(X11SyntheticChords, TheInjectorPostsEveryKeyOnTheKeycodeTheTapHearsItOn) {
  int heard = 0;
  for (unsigned xKeycode = 0; xKeycode < 256; ++xKeycode) {
    auto code = keyCodeForXKeycode(xKeycode);
    if (!code) continue;
    ++heard;
    EXPECT_EQ(xKeycodeForKeyCode(*code), xKeycode) << "key code " << *code;
  }
  EXPECT_GT(heard, 100);
  for (unsigned code = 0; code < 0x10000; ++code)
    if (auto xKeycode = xKeycodeForKeyCode(static_cast<std::uint16_t>(code))) {
      EXPECT_EQ(keyCodeForXKeycode(*xKeycode), code);
    }
}

TEST(X11SyntheticChords, ModifierFamiliesAgreeWithTheTapsModifierKeys) {
  const std::pair<std::uint64_t, Modifiers> families[] = {
      {eventFlag::command, Modifiers::command},
      {eventFlag::shift, Modifiers::shift},
      {eventFlag::option, Modifiers::option},
      {eventFlag::control, Modifiers::control},
  };
  for (const ModifierKey& key : modifierKeys)
    for (auto [flag, modifier] : families)
      if (key.familyBit == flag) {
        EXPECT_EQ(modifierFamily(key.code), modifier) << key.code;
      }
  for (std::uint16_t plain : {Key::a, Key::space, Key::capsLock, Key::function})
    EXPECT_FALSE(modifierFamily(plain)) << plain;
}

TEST(X11SyntheticChords, ChordsPressWhatIsMissingAndReleaseItInReverse) {
  using Codes = std::vector<std::uint16_t>;
  struct Case {
    const char* name;
    std::uint16_t key;
    bool down;
    Modifiers modifiers;
    Codes held;
    Codes avoided;
    std::vector<KeyStep> expected;
  };
  const Modifiers command = Modifiers::command, shift = Modifiers::shift;
  const Case cases[] = {
      {"plain key", Key::a, true, {}, {}, {}, {{Key::a, true}}},
      {"command uses the left key",
       Key::j,
       true,
       command,
       {},
       {},
       {{Key::leftCommand, true}, {Key::j, true}, {Key::leftCommand, false}}},
      {"an avoided left command gives the right one",
       Key::j,
       true,
       command,
       {},
       {Key::leftCommand},
       {{Key::rightCommand, true}, {Key::j, true}, {Key::rightCommand, false}}},
      {"both avoided falls back to the left one",
       Key::j,
       false,
       command,
       {},
       {Key::leftCommand, Key::rightCommand},
       {{Key::leftCommand, true}, {Key::j, false}, {Key::leftCommand, false}}},
      {"several in a person's order, released in reverse",
       Key::space,
       true,
       Modifiers{Modifiers::command, Modifiers::shift, Modifiers::control},
       {},
       {Key::leftCommand, Key::leftShift, Key::leftControl},
       {{Key::rightControl, true},
        {Key::rightShift, true},
        {Key::rightCommand, true},
        {Key::space, true},
        {Key::rightCommand, false},
        {Key::rightShift, false},
        {Key::rightControl, false}}},
      {"a family already held is not pressed again",
       Key::a,
       true,
       Modifiers{Modifiers::shift, Modifiers::option},
       {Key::rightShift},
       {},
       {{Key::leftOption, true}, {Key::a, true}, {Key::leftOption, false}}},
      {"a modifier key gives its own family",
       Key::leftShift,
       true,
       shift,
       {},
       {},
       {{Key::leftShift, true}}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(chordSteps(c.key, c.down, c.modifiers, c.held, c.avoided), c.expected) << c.name;
}

}  // namespace
}  // namespace tovrel::platform::x11
