#include "platform/x11/input/X11KeyGate.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/Keys.hpp"
#include "platform/InputEvent.hpp"
#include "platform/x11/input/X11Modifiers.hpp"
#include "tests/x11/XServerModel.hpp"

namespace tovrel::platform::x11 {
namespace {

using Action = X11KeyGate::Action;
using Via = X11KeyGate::Via;
using model::Slave;
using model::XServerModel;

// 38 a, 44 j, 45 k, 50 Shift, 65 Space, 133 Super.
constexpr unsigned keyA = 38, keyJ = 44, keyK = 45, shift = 50, space = 65, super = 133;

std::bitset<256> modifierKeys() {
  std::bitset<256> modifiers;
  modifiers[shift] = modifiers[super] = true;
  return modifiers;
}

struct Keyboard {
  std::set<unsigned> taken{keyJ, keyK, space};  // what the router swallows
  bool spare = true;                            // a real keyboard to post synthetic keys through
  bool on = true;                               // a mode is on: every key is grabbed
  std::set<unsigned> rootKeys{};                // while off, the keys grabbed on the root window
};

// The gate on a model of the X server, with a router that takes the keys it is set up to take.
// The tap's side does what the tap's thread does: reads events in order, sends the requests the
// gate asks for, and makes a round trip when it has nothing else to do.
class Harness {
 public:
  explicit Harness(Keyboard setup) : setup_(std::move(setup)), server_(modifierKeys()) {
    gate_.setModifiers(modifierKeys());
    gate_.setSpare(setup_.spare);
    gate_.setRoot(XServerModel::root);
    gate_.setForeign([this](unsigned, unsigned) { return server_.otherHolds(); });
    gate_.setAllKeys(setup_.on);
    server_.grabAllKeys(setup_.on);
    server_.grabOnRoot(setup_.rootKeys);
  }

  XServerModel& server() { return server_; }
  // Nothing of the tap's holds the keyboard or is on its way to the server.
  bool idle() const { return !server_.frozen() && !server_.tapGrabs() && sent_.empty(); }
  X11KeyGate& gate() { return gate_; }

  void hand(Slave slave, unsigned keycode, bool press) {
    server_.hand(slave, keycode, press);
    (press ? pressed_ : released_)[keycode] += 1;
  }
  // The server handles the oldest request the tap sent.
  bool serve() {
    if (sent_.empty()) return false;
    const Request request = sent_.front();
    sent_.pop_front();
    switch (request.kind) {
      case Request::allow:
        server_.allow(request.mode, request.time);
        break;
      case Request::ungrab:
        server_.ungrab();
        break;
      case Request::post:
        server_.post(request.slave, request.keycode, request.press);
        break;
      case Request::hold:
        holdTaken_ = server_.hold(request.window, request.time);
        break;
    }
    return true;
  }
  // The tap reads the next event.
  bool read() {
    auto& inbox = server_.tapInbox();
    if (inbox.empty()) return false;
    const model::TapEvent event = inbox.front();
    inbox.pop_front();
    if (event.kind == model::TapEvent::Kind::unmapped) {
      gate_.windowGone(event.window);
      act();
      return true;
    }
    const bool raw = event.kind == model::TapEvent::Kind::raw;
    X11KeyGate::Event fed;
    fed.keycode = event.keycode;
    fed.press = event.press;
    fed.repeat = event.repeat;
    fed.via = event.source == Slave::xtest ? Via::synthetic : setup_.spare ? Via::spare : Via::none;
    fed.time = event.time;
    fed.serial = event.serial;
    fed.window = event.window;
    raw ? gate_.raw(fed) : gate_.grabbed(fed);
    act();
    return true;
  }
  // A round trip: every request handled, everything that came of it read, then quiet.
  void roundTrip() {
    do {
      while (serve()) {
      }
      while (read()) {
      }
    } while (!sent_.empty());
    gate_.quiet();
    act();
  }
  void settle() {
    for (int round = 0; round < 20; ++round)
      roundTrip();
  }
  void freeWanted() {
    gate_.freeWanted();
    act();
  }
  void pause(std::uint32_t ms) {
    server_.advance(ms);
    gate_.tick(server_.now() / 1000.0);
    act();
  }

  // What went wrong, if anything, once every key is up and the tap has settled.
  std::string faults() {
    std::ostringstream faults;
    if (server_.frozen()) faults << "the keyboard stays frozen; ";
    if (server_.tapGrabs()) faults << "the tap still holds the keyboard; ";
    if (gate_.grabActive()) faults << "the gate believes a grab; ";
    if (server_.misapplied() > 0) faults << server_.misapplied() << " answers met another event; ";
    if (server_.answers() != server_.freezes())
      faults << server_.freezes() << " events froze the keyboard, " << server_.answers()
             << " answers freed it; ";
    if (server_.anyDown()) faults << "a key stays down in the server; ";
    // Per window: one that went away keeps what it had.
    std::map<std::pair<unsigned long, unsigned>, bool> down;
    std::map<unsigned, int> presses;
    std::set<unsigned> acrossLeft = server_.heldAcross();
    std::set<unsigned> menuPressed;
    for (const model::AppEvent& event : server_.application()) {
      bool& isDown = down[{event.window, event.keycode}];
      if (event.window == XServerModel::secondWindow && !event.press && !isDown &&
          acrossLeft.erase(event.keycode) > 0)
        continue;
      if (setup_.taken.contains(event.keycode)) {
        // A press that went to a menu was never the program's: the application has it.
        const bool menus = event.menu || (!event.press && menuPressed.erase(event.keycode) > 0);
        if (event.menu && event.press) menuPressed.insert(event.keycode);
        if (!menus && (!exposable(event.keycode) || event.press))
          faults << "the application got " << (event.press ? "+" : "-") << event.keycode
                 << ", a key the program takes; ";
        continue;
      }
      // A repeat says nothing of the key's press and release (after the focus moved, the next
      // window may see repeats of a key it never saw go down, as it does in X).
      if (event.repeat) continue;
      if (event.press) {
        if (isDown) faults << "+" << event.keycode << " twice; ";
        ++presses[event.keycode];
      }
      if (!event.press && !isDown) faults << "-" << event.keycode << " without its press; ";
      isDown = event.press;
    }
    for (auto [where, isDown] : down)
      if (isDown && (where.first != XServerModel::firstWindow || !server_.unmapped()))
        faults << where.second << " stays down in the application; ";
    // A key typed into a window that goes away is lost with it.
    for (auto [keycode, count] : pressed_)
      if (!setup_.taken.contains(keycode) && !server_.unmapped() && !server_.otherGrabbed() &&
          presses[keycode] != count)
        faults << "the application got " << presses[keycode] << " of " << count << " presses of "
               << keycode << "; ";
    for (auto [keycode, balance] : heard_)
      if (balance != 0) faults << "the router heard " << keycode << " off by " << balance << "; ";
    return faults.str();
  }

  // The application's view, as "+50 -50".
  std::string application() const {
    std::string view;
    for (const model::AppEvent& event : server_.application())
      view += (view.empty() ? "" : " ") + std::string(event.press ? "+" : "-") +
              (event.repeat ? "r" : "") + std::to_string(event.keycode) +
              (event.window == XServerModel::secondWindow ? "'" : "");
    return view;
  }

 private:
  struct Request {
    enum Kind { allow, ungrab, post, hold } kind;
    XServerModel::Allow mode = XServerModel::Allow::sync;
    std::uint32_t time = 0;
    unsigned long window = 0;
    Slave slave = Slave::device;
    unsigned keycode = 0;
    bool press = false;
  };

  // A key the program takes that cannot be let go (a synthetic key with no keyboard to post it
  // through) reaches the application when a key it must have comes meanwhile.
  bool exposable(unsigned) const { return !setup_.spare; }

  std::uint64_t send(const Request& request) {
    sent_.push_back(request);
    return server_.handled() + sent_.size();
  }

  void act() {
    while (true) {
      const std::vector<Action> actions = gate_.take();
      if (actions.empty()) return;
      for (const Action& action : actions) {
        switch (action.kind) {
          case Action::Kind::sync:
          case Action::Kind::replay:
            send({Request::allow,
                  action.kind == Action::Kind::sync ? XServerModel::Allow::sync
                                                    : XServerModel::Allow::replay,
                  action.time});
            break;
          case Action::Kind::ungrab: {
            const auto number = send({Request::ungrab});
            if (!action.outside) break;
            gate_.sent(number);
            // Sent while the keyboard waits on nothing: the tap flushes it at once, before the hand
            // types again. (A press the server made in the microseconds before it would be gone,
            // and its release, coming before the tap takes the keyboard again, would reach the
            // application alone.)
            while (serve()) {
            }
            break;
          }
          case Action::Kind::hold: {
            // The grab request waits for its reply: the server handles everything before it.
            const unsigned long window = action.window != 0 ? action.window : server_.focus();
            const auto number = send({Request::hold, {}, action.time, window});
            while (serve()) {
            }
            if (action.outside) gate_.sent(number);
            holdTaken_ ? gate_.held(window) : gate_.holdFailed();
            break;
          }
          case Action::Kind::post:
            send({Request::post,
                  {},
                  0,
                  0,
                  action.via == Via::synthetic ? Slave::xtest : Slave::device,
                  action.keycode,
                  action.press});
            break;
          case Action::Kind::hear:
          case Action::Kind::tapUp:
            if (!action.repeat) heard_[action.keycode] += action.press ? 1 : -1;
            break;
          case Action::Kind::decide:
            if (!action.repeat) heard_[action.keycode] += 1;
            // As the tap's thread does: the answer goes in before the actions after it.
            gate_.decided(setup_.taken.contains(action.keycode));
            break;
        }
      }
    }
  }

  Keyboard setup_;
  XServerModel server_;
  X11KeyGate gate_;
  std::deque<Request> sent_;
  bool holdTaken_ = false;
  std::map<unsigned, int> heard_;
  std::map<unsigned, int> pressed_;
  std::map<unsigned, int> released_;
};

// Orders worth naming, step by step:
//   +50 -50   the hand presses or releases a key on the keyboard device;  x+50 x-50  through XTest
//   r         the tap reads one event;  s  the server handles one request of the tap's
//   q         a round trip;  f  a click wants the keyboard free;  u  the focused window goes away
//             (once, while nothing of the tap's holds the keyboard or is on its way)
//   o O       another client takes the keyboard (an open menu), and lets it go
//   t         the server repeats its held key;  p  half a second passes, the tap reading nothing
//   .2        two milliseconds pass
// The stream ends with every key up and the tap settled.
std::string run(Harness& harness, const std::string& steps) {
  std::istringstream words(steps);
  std::string step;
  std::map<unsigned, Slave> held;
  while (words >> step) {
    const bool xtest = step[0] == 'x';
    const std::string rest = xtest ? step.substr(1) : step;
    if (rest[0] == '+' || rest[0] == '-') {
      // A key goes down once, and comes up from the keyboard that pressed it.
      const auto keycode = static_cast<unsigned>(std::stoi(rest.substr(1)));
      const Slave slave = xtest ? Slave::xtest : Slave::device;
      if ((rest[0] == '+') == held.contains(keycode) || (rest[0] == '-' && held[keycode] != slave))
        continue;
      harness.hand(slave, keycode, rest[0] == '+');
      if (rest[0] == '+')
        held[keycode] = slave;
      else
        held.erase(keycode);
    } else if (step == "r") {
      harness.read();
    } else if (step == "s") {
      harness.serve();
    } else if (step == "q") {
      harness.roundTrip();
    } else if (step == "f") {
      harness.freeWanted();
    } else if (step == "u") {
      if (harness.idle() && !harness.server().unmapped()) harness.server().unmapFocused();
    } else if (step == "o" || step == "O") {
      harness.server().otherGrab(step == "o");
    } else if (step == "t") {
      harness.server().repeat();
    } else if (step == "p") {
      harness.pause(500);
    } else if (step[0] == '.') {
      harness.pause(static_cast<std::uint32_t>(std::stoi(step.substr(1))));
    }
  }
  for (auto [keycode, slave] : held)
    harness.hand(slave, keycode, false);
  harness.settle();
  return harness.application();
}

struct Order {
  const char* name;
  const char* steps;
  const char* application;  // what the application sees
  Keyboard setup{};
};

void PrintTo(const Order& order, std::ostream* stream) {
  *stream << order.name;
}

class X11KeyGateOrders : public ::testing::TestWithParam<Order> {};

TEST_P(X11KeyGateOrders, TheApplicationSeesWholeKeysOnlyOfItsOwn) {
  Harness harness(GetParam().setup);
  EXPECT_EQ(run(harness, GetParam().steps), GetParam().application);
  EXPECT_EQ(harness.faults(), "");
}

INSTANTIATE_TEST_SUITE_P(
    X11KeyGate, X11KeyGateOrders,
    ::testing::Values(
        // Shift before K (a glide), Shift let go first: the application gets Shift's release.
        Order{"ShiftReleasedFirstUnderAGlide", "+50 q +45 q -50 q -45 q", "+50 -50"},
        // The same while K's let-go is still on its way: its release came to the grab.
        Order{"ShiftReleasedWhileTheGlideIsLetGo", "+50 q +45 r r -50 r s r s r r q -45 q",
              "+50 -50"},
        Order{"ShiftReleasedFirstThroughXTest", "x+50 q x+45 q x-50 q x-45 q", "+50 -50"},
        // Shift right after Space: it reaches the application once Space is let go.
        Order{"ShiftRightAfterSpace", "+65 r r +50 r s r r q -65 q -50 q", "+50 -50"},
        // A typed a under a held J came up before the tap's turn: the application still gets
        // all of it.
        Order{"AKeyTypedWhileJIsLetGo", "+44 r r +38 -38 q -44 q", "+38 -38"},
        // J held, the focused window closes; typing goes on in the next one.
        Order{"TheWindowClosesWhileJGlides", "+44 q u q -44 +38 -38 q", "+38' -38'"},
        // The tap stalls half a second with its own events queued: they are still its own.
        Order{"AStalledTapKnowsItsOwnEvents", "+65 r r p +38 p -38 p q -65 q", "+38 -38"},
        // A held key of the application's repeats; the program's keys do not reach it.
        Order{"RepeatsOfAKeyOfTheApplications", "+38 q t q t q +44 q -44 q -38 q",
              "+38 +r38 +r38 -38"},
        // A modifier the program takes is let go like any key: what is typed while it is held
        // reaches the application without it.
        Order{"ATakenModifierIsLetGo", "+133 q +44 q -44 q +38 q -38 q -133 q", "+38 -38",
              Keyboard{{keyJ, super}}},
        // Without a real keyboard a synthetic key cannot be let go; a click waits for its release.
        Order{"ASyntheticKeyWithoutASpare", "x+65 q f q p q x-65 q x+38 x-38 q", "-65 +38 -38",
              Keyboard{{space}, false}},
        // Keys another client takes (an open menu) are its own: the router hears nothing of them.
        Order{"KeysAnotherClientTakesAreNotHeard", "o +38 -38 +44 -44 q O +38 -38 q",
              "+38 -38 +44 -44 +38 -38"},
        // While off, an entry chord's key on the root window: its raw events are kept from the
        // tap while its grab lasts.
        Order{"AnEntryChordOnTheRootWindow", "+50 q +65 q -50 q -65 q", "+50 -50",
              Keyboard{{space}, true, false, {space}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Random streams from both keyboards, in any order, with pauses, clicks, repeats and a window
// that goes away: the keyboard never stays frozen, every answer meets the event it was for, the
// application sees every key of its own whole and none of the program's, the router hears every
// press's release, and the gate believes no grab the server does not hold. A longer soak:
// TOVREL_GATE_SEED, TOVREL_GATE_STREAMS and TOVREL_GATE_STEPS (80 a stream).
TEST(X11KeyGate, RandomStreamsAgainstTheServer) {
  const std::vector<unsigned> keys = {keyA, keyJ, keyK, shift, space, super};
  const Keyboard setups[] = {
      Keyboard{},
      Keyboard{{keyJ, keyK, space, super}},
      Keyboard{{space}, false},
      Keyboard{{space}, true, false, {space}},
  };
  const char* seed = std::getenv("TOVREL_GATE_SEED");
  const char* streams = std::getenv("TOVREL_GATE_STREAMS");
  std::mt19937 random(seed ? static_cast<unsigned>(std::atoi(seed)) : 20261211u);
  for (int stream = 0; stream < (streams ? std::atoi(streams) : 1500); ++stream) {
    const Keyboard& setup = setups[stream % std::size(setups)];
    // Each key is typed on one keyboard, chosen for the stream: the tap lets a synthetic key go
    // through the real keyboard, and a key typed on both within a moment is not told apart.
    std::map<unsigned, std::string> keyboardOf;
    for (unsigned keycode : keys)
      keyboardOf[keycode] = (!setup.spare || random() % 2) ? "x" : "";
    std::set<unsigned> held;
    std::ostringstream story;
    const char* steps = std::getenv("TOVREL_GATE_STEPS");
    for (int step = 0; step < (steps ? std::atoi(steps) : 80); ++step) {
      const unsigned roll = random() % 100;
      if (roll < 30) {
        const unsigned keycode = keys[random() % keys.size()];
        const bool press = held.insert(keycode).second || !held.erase(keycode);
        story << keyboardOf[keycode] << (press ? "+" : "-") << keycode << " ";
      } else {
        const char* others[] = {"r", "s", "q", "f", "t", ".0", ".1", ".2", "u", "o", "O"};
        const unsigned weights[] = {23, 20, 10, 4, 4, 2, 2, 2, 1, 1, 1};
        unsigned pick = roll - 30;
        std::size_t which = 0;
        while (pick >= weights[which])
          pick -= weights[which++];
        story << others[which] << " ";
      }
    }
    Harness harness(setup);
    run(harness, story.str());
    ASSERT_EQ(harness.faults(), "")
        << "stream " << stream << " (setup " << stream % 4 << "): " << story.str()
        << "\n  the application saw " << harness.application();
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
