#include "platform/x11/input/X11KeyGate.hpp"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "core/Keys.hpp"
#include "platform/InputEvent.hpp"
#include "platform/x11/input/X11Modifiers.hpp"

namespace tovrel::platform::x11 {
namespace {

using Answer = X11KeyGate::Answer;

TEST(X11KeyGate, TheReleaseOfTheKeyThatStartedAGrabIsNeverAnswered) {
  X11KeyGate gate;
  gate.grabPress(53);  // x starts the grab and is swallowed
  EXPECT_EQ(gate.answerPress(53, true), Answer::swallow);
  gate.grabPress(38);  // a, typed while x is held, passes
  EXPECT_EQ(gate.answerPress(38, false), Answer::replay);
  EXPECT_FALSE(gate.grabActive());
  // x's release now arrives raw (the grab is over) and is heard; a's release too.
  EXPECT_TRUE(gate.rawRelease(53));
  EXPECT_TRUE(gate.rawRelease(38));

  gate.grabPress(53);
  gate.answerPress(53, true);
  X11KeyGate::Release release = gate.grabRelease(53);
  EXPECT_EQ(release.answer, Answer::none);  // the server already ended the grab
  EXPECT_TRUE(release.heard);
  EXPECT_FALSE(gate.grabActive());
}

TEST(X11KeyGate, AReleaseWhosePressReachedTheApplicationIsReplayed) {
  X11KeyGate gate;
  EXPECT_TRUE(gate.rawPress(50, false));  // Shift pressed before the grab
  gate.grabPress(53);
  gate.answerPress(53, true);
  X11KeyGate::Release shift = gate.grabRelease(50);
  EXPECT_EQ(shift.answer, Answer::replay);
  EXPECT_TRUE(shift.heard);
  // A press decided at the grab is not heard twice from its raw event.
  EXPECT_FALSE(gate.rawPress(38, true));
}

// Property: over random streams of grab and raw events, the router hears every press's release
// exactly once, and the gate never answers a release the server did not freeze for.
TEST(X11KeyGate, EveryHeardPressIsReleasedOnceOverRandomStreams) {
  std::mt19937 random(7);
  for (int stream = 0; stream < 200; ++stream) {
    X11KeyGate gate;
    std::map<unsigned, int> balance;
    std::map<unsigned, bool> down;
    bool grabbing = false;  // the server's view: some key holds our grab
    unsigned starter = 0;
    for (int step = 0; step < 60; ++step) {
      unsigned key = 40 + static_cast<unsigned>(random() % 4);
      if (!down[key]) {
        down[key] = true;
        bool viaGrab = grabbing || random() % 2 == 0;
        if (viaGrab) {
          if (!grabbing) {
            grabbing = true;
            starter = key;
          }
          gate.grabPress(key);
          ++balance[key];
          if (gate.answerPress(key, random() % 2 == 0) == Answer::replay) grabbing = false;
        } else if (gate.rawPress(key, false)) {
          ++balance[key];
        }
      } else {
        down[key] = false;
        if (grabbing) {
          X11KeyGate::Release release = gate.grabRelease(key);
          balance[key] -= release.heard;
          if (key == starter) {
            EXPECT_EQ(release.answer, Answer::none);
            grabbing = false;
          } else if (release.answer == Answer::replay) {
            grabbing = false;
          }
        } else {
          balance[key] -= gate.rawRelease(key);
        }
      }
      EXPECT_EQ(gate.grabActive(), grabbing);
    }
    for (auto& [key, isDown] : down)
      if (isDown) balance[key] -= grabbing ? gate.grabRelease(key).heard : gate.rawRelease(key);
    for (auto [key, count] : balance)
      EXPECT_EQ(count, 0) << "stream " << stream << " key " << key;
  }
}

TEST(X11ModifierState, FlagsFollowThePhysicalKeysAndCapsLockTogglesOnPresses) {
  X11ModifierState state;
  auto change = state.apply(Key::rightOption, true);
  ASSERT_TRUE(change);
  EXPECT_TRUE(change->isModifierKey);
  EXPECT_TRUE(change->down);
  EXPECT_EQ(state.flags(), eventFlag::option | eventFlag::rightOption);
  state.apply(Key::leftShift, true);
  state.apply(Key::rightShift, true);
  state.apply(Key::leftShift, false);
  EXPECT_EQ(state.flags(),
            eventFlag::option | eventFlag::rightOption | eventFlag::shift | eventFlag::rightShift);
  state.apply(Key::rightShift, false);
  state.apply(Key::rightOption, false);
  EXPECT_EQ(state.flags(), 0u);

  EXPECT_TRUE(state.apply(Key::capsLock, true)->down);
  EXPECT_FALSE(state.apply(Key::capsLock, false));  // its release is no event
  EXPECT_EQ(state.flags(), eventFlag::alphaShift);
  EXPECT_FALSE(state.apply(Key::capsLock, true)->down);
  EXPECT_EQ(state.flags(), 0u);

  auto letter = state.apply(Key::a, true);
  ASSERT_TRUE(letter);
  EXPECT_FALSE(letter->isModifierKey);
}

}  // namespace
}  // namespace tovrel::platform::x11
