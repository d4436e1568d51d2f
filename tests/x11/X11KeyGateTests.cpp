#include "platform/x11/input/X11KeyGate.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/Keys.hpp"
#include "platform/InputEvent.hpp"
#include "platform/x11/input/X11Modifiers.hpp"

namespace tovrel::platform::x11 {
namespace {

using Answer = X11KeyGate::Answer;

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

// The gate fed one order of events, step by step; what it answers, hears and posts, as text.
//   P38s P38p   a press of a real keyboard's key reaching the grab, swallowed or passed
//   Q38s Q38p   the same from the synthetic keyboard;  M38s M38p  a real modifier key
//   R38 T38     a release reaching the grab, from a real or the synthetic keyboard
//   p38 r38     a raw press no grab saw, a raw release;  d38  the key is down again
//   o+38 o-38   a raw event of the synthetic keyboard;  O+38 O-38  its grab event
//   v+38 V+38   the same of the spare real keyboard
//   F           a click wants the keyboard free;  X x z  2 s, 0.3 s, 0.2 s pass;  G  the server
//               sent all
//   W           the server sent all it had: the tap posts what the gate asks (+38 -38; !+38
//               when it must hold the keyboard itself for it; k+38 through the spare keyboard)
//   e38         a raw press the tap answers at once, if it may ("e", else "-")
//   B38p A38p   a press reaching the grab, made before or after the early answer reached the
//               server ("done" when the early answer replayed it); L38p  before, a moment later
//   Y           a round trip brought no grab event;  ~  the server's clock is about to wrap
// Answers: S swallow, R replay, N none; h heard, x not; F gives free/posted/waiting/ungrab; and *
// when the grab is still held.
std::string run(const std::vector<std::string>& steps, std::set<unsigned> up = {},
                bool spare = true) {
  using Via = X11KeyGate::Via;
  X11KeyGate gate;
  gate.setSpareKeyboard(spare);
  gate.setKeyDownQuery([&](unsigned keycode) { return !up.contains(keycode); });
  double now = 0;
  std::uint64_t request = 100;
  std::uint32_t time = 1000;
  std::ostringstream log;
  const char* answers[] = {"N", "S", "R"};
  for (const std::string& step : steps) {
    const unsigned key = step.size() > 1
                             ? static_cast<unsigned>(std::stoi(step.substr(
                                   std::string("oOvV").find(step[0]) != std::string::npos ? 2 : 1)))
                             : 0;
    switch (step[0]) {
      case 'B':
      case 'A':
      case 'L':
        if (gate.grabPressAnsweredEarly(key, {}, step[0] == 'A' ? request : request - 1,
                                        step[0] == 'L' ? time + 1 : time)) {
          log << "done";
          break;
        }
        [[fallthrough]];
      case 'P':
      case 'Q':
      case 'M': {
        const X11KeyGate::Origin origin{step[0] == 'Q' ? Via::synthetic : Via::none,
                                        step[0] == 'M'};
        if (auto own = gate.grabPress(key, origin))
          log << answers[static_cast<int>(*own)];
        else
          log << answers[static_cast<int>(gate.answerPress(key, step.back() == 's'))];
        break;
      }
      case 'R':
      case 'T': {
        auto release = gate.grabRelease(key, step[0] == 'T' ? Via::synthetic : Via::none);
        log << answers[static_cast<int>(release.answer)] << (release.heard ? "h" : "x");
        up.insert(key);
        break;
      }
      case 'd':
        up.erase(key);
        log << ".";
        break;
      case 'p':
        log << (gate.rawPress(key, false) ? "h" : "x");
        break;
      case 'r':
        log << (gate.rawRelease(key) ? "h" : "x");
        up.insert(key);
        break;
      case 'o':
      case 'v':
        log << (gate.ownRaw(key, step[1] == '+', step[0] == 'o' ? Via::synthetic : Via::spare, now)
                    ? "own"
                    : "not");
        break;
      case 'O':
      case 'V': {
        const Via via = step[0] == 'O' ? Via::synthetic : Via::spare;
        if (step[1] == '+') {
          auto own = gate.grabPress(key, {via, false});
          log << (own ? answers[static_cast<int>(*own)] : "?");
        } else {
          log << answers[static_cast<int>(gate.grabRelease(key, via).answer)];
        }
        break;
      }
      case 'F': {
        const char* names[] = {"free", "posted", "waiting", "ungrab"};
        log << names[static_cast<int>(gate.freeInput())];
        break;
      }
      case 'X':
      case 'x':
      case 'z':
        now += step[0] == 'X' ? 2 : step[0] == 'x' ? 0.3 : 0.2;
        gate.expire(now);
        log << ".";
        break;
      case 'e':
        if (gate.canAnswerEarly(key)) {
          gate.answeredEarly(++request, time);
          log << "e";
        } else {
          log << "-";
        }
        break;
      case 'Y':
        gate.earlyAnswerUnmet();
        log << ".";
        break;
      case '~':
        time = 0xFFFFFFFF;
        log << ".";
        break;
      case 'G':
        gate.grabMissed();
        log << ".";
        break;
      case 'W':
        for (const auto& post : gate.takePosts())
          log << (post.held ? "!" : "") << (post.via == Via::spare ? "k" : "")
              << (post.press ? "+" : "-") << post.keycode << " ";
        break;
    }
    if (gate.grabActive()) log << "*";
    log << " | ";
  }
  return log.str();
}

struct Order {
  const char* name;
  std::vector<std::string> steps;
  const char* expected;
  std::set<unsigned> up{};
  bool spare = true;  // a real keyboard to let synthetic keys go through
};

void PrintTo(const Order& order, std::ostream* stream) {
  *stream << order.name;
}

class X11KeyGateOrders : public ::testing::TestWithParam<Order> {};

TEST_P(X11KeyGateOrders, AnswerHearAndPost) {
  EXPECT_EQ(run(GetParam().steps, GetParam().up, GetParam().spare), GetParam().expected);
}

// 65 Space, 44 J, 50 Shift, 46 L.
INSTANTIATE_TEST_SUITE_P(
    X11KeyGate, X11KeyGateOrders,
    ::testing::Values(
        // J glides and holds the grab; Space is let go at once, so neither release reaches the
        // application, however the two are released.
        Order{"SwallowedUnderAnotherIsLetGoAtOnce",
              {"P44s", "P65s", "W", "o+65", "O+65", "o-65", "O-65", "R44", "r65"},
              "S* | S* | +65 -65 * | own* | S* | own* | S* | Nh | h | "},
        // Shift pressed right after Space: Shift reaches the application pressed again by the
        // tap, after Space was let go under the grab.
        Order{"PassUnderAHolderIsChased",
              {"P65s", "P50p", "W", "o+50", "O+50", "o-50", "O-50", "o+65", "o-65", "O-65", "o+50",
               "O+50", "r65", "r50", "W", "o-50"},
              "S* | S* | +50 -50 +65 -65 +50 * | own* | S* | own* | S* | own* | own* | N | own | R "
              "| h | h | -50  | own | "},
        // Shift's release went to the application outside any grab; later Shift is chased again
        // after the holder J came up: the tap holds the keyboard for Shift's let-go, whose
        // release is not taken for the earlier one, and the press again is replayed.
        Order{
            "AReleaseOutsideAGrabIsNotAwaitedThere",
            {"P65s", "P50p", "W",   "o+50", "O+50", "o-50", "O-50", "o+65", "o-65", "O-65", "o+50",
             "O+50", "r65",  "r50", "W",    "o-50", "P44s", "P50p", "R44",  "W",    "O-50", "O+50"},
            "S* | S* | +50 -50 +65 -65 +50 * | own* | S* | own* | S* | own* | own* | N | own | R "
            "| h | h | -50  | own | S* | S* | Nh | !+50 !-50 +50  | N | R | "},
        // A typed a (38) under a held x (53) came up before the tap's turn: the application
        // still gets all of it, after x is let go, and nothing stays down.
        Order{"AChasedKeyReleasedBeforeItsTurn",
              {"P53s", "P38p", "R38", "W"},
              "S* | S* | Sh* | +38 -38 +53 -53 +38 -38 * | "},
        // A click: Space is let go; its own release ends the grab; the hand's comes raw.
        Order{"FreeingLetsTheHolderGo",
              {"P65s", "F", "W", "o+65", "o-65", "O-65", "r65", "F"},
              "S* | posted* | +65 -65 * | own* | own* | N | h | free | "},
        // J came behind Space's answer: it is let go under the grab before Space is.
        Order{"AKeyBehindTheAnswerIsSettledFirst",
              {"P65s", "F", "P44s", "W"},
              "S* | posted* | S* | +44 -44 +65 -65 * | "},
        // J came between Space's own press and release: the grab is over when J is settled, so
        // the tap holds the keyboard itself for it, and what reaches that hold is not answered:
        // an answer would land on the next grab (L's) and keep it past L's release.
        Order{"AKeyBetweenTheHoldersOwnEvents",
              {"P65s", "F", "W", "o+65", "P44s", "O-65", "W", "o+44", "O-44", "P46s", "R46"},
              "S* | posted* | +65 -65 * | own* | S* | N | !+44 !-44  | own | N | S* | Nh | "},
        // Space came up before the tap's turn: its release ended the grab, nothing is posted.
        Order{"AHolderReleasedBeforeTheTapsTurn",
              {"P65s", "F", "R65", "W"},
              "S* | posted* | Nh |  | "},
        // The hand's release came first: the tap's press finds the key up and starts a grab that
        // the tap's release ends.
        Order{"HandsReleaseBeforeTheTaps",
              {"P65s", "F", "W", "R65", "o+65", "O+65", "o-65", "O-65"},
              "S* | posted* | +65 -65 * | Nh | own | S* | own* | N | "},
        // Released before the click asked: its release, on its way, ends the grab, and the server
        // wants no answer for it.
        Order{"FreeingAKeyAlreadyUp", {"P65s", "F", "R65"}, "S* | waiting* | Nh | ", {65}},
        // Shift went down before the grab and reached the application: so does its release. A
        // modifier's grab let go as it is leaves its release to be heard once, raw.
        Order{"AReleaseWhosePressPassedIsReplayed", {"p50", "P53s", "R50"}, "h | S* | Rh | "},
        // A key typed through the synthetic keyboard is let go through the spare real keyboard, as
        // a real key is through the synthetic one: its own release still comes raw.
        Order{"FreeingASyntheticHolderLetsItGoThroughTheSpare",
              {"Q65s", "F", "W", "v+65", "v-65", "V-65", "o-65", "F"},
              "S* | posted* | k+65 k-65 * | own* | own* | N | not | free | "},
        // J glides, typed through XTest, when Space is: neither release reaches the application.
        Order{"SyntheticUnderASyntheticHolderIsLetGo",
              {"Q44s", "Q65s", "W", "v+65", "V+65", "v-65", "V-65", "T44", "o-65", "r65"},
              "S* | S* | k+65 k-65 * | own* | S* | own* | S* | Nh | not | h | "},
        // Shift right after a synthetic Space: chased through the spare keyboard too.
        Order{"SyntheticPassUnderASyntheticHolderIsChased",
              {"Q65s", "Q50p", "W", "V+50", "V-50", "V+65", "V-65", "V+50", "r50", "W"},
              "S* | S* | k+50 k-50 k+65 k-65 k+50 * | S* | S* | S* | N | R | h | k-50  | "},
        // With no real keyboard to let it go through, the click waits for its release.
        Order{"FreeingASyntheticHolderWaits",
              {"Q65s", "F", "T65"},
              "S* | waiting* | Nh | ",
              {},
              false},
        Order{"FreeingAModifierUngrabs", {"M133s", "F", "r133", "r133"}, "S* | ungrab | h | x | "},
        // A synthetic key's release is its own: a key passing under it is replayed as before.
        Order{"PassUnderASyntheticHolderIsReplayed",
              {"Q65s", "P46p", "r65", "r46"},
              "S* | R | h | h | ",
              {},
              false},
        // A synthetic key passing under a real holder cannot be chased.
        Order{"SyntheticPassIsReplayed", {"P65s", "Q46p"}, "S* | R | ", {}, false},
        // A key passes while the holder's own release is already on its way: the holder is not
        // let go twice.
        Order{"PassWhileLettingGo",
              {"P65s", "F", "W", "P46p", "W"},
              "S* | posted* | +65 -65 * | S* | +46 -46 +46 * | "},
        // The own release reached no grab (its window went away): the grab is over once the
        // server has sent everything.
        Order{"OwnReleaseThatMissedTheGrab",
              {"P65s", "F", "W", "o+65", "o-65", "G", "F"},
              "S* | posted* | +65 -65 * | own* | own* | . | free | "},
        // Own events that never came back: the grab they were to end counts as over.
        Order{"OwnEventsLost",
              {"P65s", "F", "W", "X", "F"},
              "S* | posted* | +65 -65 * | . | free | "},
        // Space's own events were lost once; the next time it is let go, their expiry does not
        // end the grab its own release is still on its way to.
        Order{"AnOlderLostReleaseLeavesTheGrab",
              {"P65s", "F", "W", "R65", "z", "d65", "P65s", "F", "W", "z", "F"},
              "S* | posted* | +65 -65 * | Nh | . | . | S* | posted* | +65 -65 * | .* | posted* | "},
        // Another client's synthetic key with the same code as an own event is not taken, nor
        // one that comes after own events whose raw events the grab kept from the tap.
        Order{"OnlyPostedEventsAreOwn", {"o+38", "P65s", "o+65"}, "not | S* | not* | "},
        // The hand's release overtook the tap's own on a busy server: those reach no grab, and a
        // script's Space a moment later is its own again.
        Order{"OwnEventsOvertakenAreForgotten",
              {"P65s", "F", "W", "R65", "x", "Q65p"},
              "S* | posted* | +65 -65 * | Nh | . | R | "},
        // J passed on its raw event: its grab's event was made before the answer came, so the
        // answer replayed it, and its release comes raw.
        Order{"PassedOnTheRawEvent", {"e44", "B44p", "r44", "e44"}, "e | done | h | e | "},
        // The answer came before any grab (J reached no grab of ours): the press whose grab came
        // after it, or whose grab is younger than it, is decided as any.
        Order{"AnEarlyAnswerThatMetNoGrab",
              {"e44", "A46s", "R46", "~", "e44", "L46s"},
              "e | S* | Nh | . | e | S* | "},
        // Another press's grab came first, in the same millisecond: the answer replayed it.
        Order{"AnEarlyAnswerEndsTheFirstGrab", {"e44", "B46p", "r46"}, "e | done | h | "},
        // One early answer at a time, none while a grab is held or a key is down, and a round
        // trip without a grab event settles it.
        Order{"WhenAPressMayBeAnsweredEarly",
              {"e44", "e46", "Y", "P65s", "e46", "R65", "p46", "e46"},
              "e | - | . | S* | -* | Nh | h | - | "},
        Order{"OwnEventsUnheardRawUnderTheGrab",
              {"P65s", "F", "W", "O-65", "o+65"},
              "S* | posted* | +65 -65 * | N | not | "}),
    [](const auto& info) { return std::string(info.param.name); });

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
