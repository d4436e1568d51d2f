#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "TestKeys.hpp"
#include "core/CursorEngine.hpp"
#include "core/Presets.hpp"

namespace tovrel {
namespace {

using namespace tovrel::testing;
using A = CursorAction;
using C = CursorCommand;
using Commands = std::vector<CursorCommand>;
constexpr Modifiers shift = Modifiers::shift;
constexpr Modifiers command = Modifiers::command;

CursorEngine engine(const std::vector<CursorBinding>& bindings = Presets::standard().cursorBindings,
                    DragStyle style = DragStyle::hold,
                    MotionProfile motion = MotionProfile::gentle()) {
  return CursorEngine(bindings, motion, ScrollProfile::standard(), 0.5, 5.0, style);
}

std::vector<CursorBinding> withBinding(std::vector<CursorBinding> bindings, CursorAction action,
                                       Gesture gesture) {
  bindings.push_back({action, gesture});
  return bindings;
}

TEST(SmoothRamp, Table) {
  struct Case {
    double t, duration, expected;
  };
  for (const Case& c : std::vector<Case>{{0.3, 0, 1},
                                         {0.3, -1, 1},
                                         {-1, 0.4, 0},
                                         {0, 0.4, 0},
                                         {0.2, 0.4, 0.5},
                                         {0.1, 0.4, 0.15625},
                                         {0.4, 0.4, 1},
                                         {9, 0.4, 1}}) {
    EXPECT_NEAR(smoothRamp(c.t, c.duration), c.expected, 1e-12) << c.t << " / " << c.duration;
  }
}

TEST(CursorEngine, SpeedRampsAndMultipliers) {
  auto e = engine(Presets::standard().cursorBindings, DragStyle::hold,
                  MotionProfile{400, 2000, 0.4, 0.2, 2});
  e.keyDown(down(Key::l), 0, {});
  e.tick(0.2);
  EXPECT_NEAR(e.currentMoveSpeed(), 1200, 1e-9);
  e.tick(0.2);
  EXPECT_NEAR(e.currentMoveSpeed(), 2000, 1e-9);
  e.tick(0.5);
  EXPECT_NEAR(e.currentMoveSpeed(), 2000, 1e-9);
  e.keyDown(down(Key::s), 0, {});  // boost
  EXPECT_NEAR(e.currentMoveSpeed(), 4000, 1e-9);
  e.keyDown(down(Key::a), 0, {});  // precision wins
  EXPECT_NEAR(e.currentMoveSpeed(), 400, 1e-9);
  // The scroll speed starts at a fifth of its maximum and takes the same multiplier.
  EXPECT_NEAR(e.currentScrollSpeed(), 900 * 0.2 * 0.2, 1e-9);
}

TEST(CursorEngine, ClampsTheMotionProfile) {
  auto e =
      engine(Presets::standard().cursorBindings, DragStyle::hold, MotionProfile{5, 3, 0, 2, 0.5});
  EXPECT_EQ(e.motion(), (MotionProfile{10, 10, 0.05, 1, 1}));
  auto high = engine(Presets::standard().cursorBindings, DragStyle::hold,
                     MotionProfile{3000, 9000, 9, 0.01, 7});
  EXPECT_EQ(high.motion(), (MotionProfile{2000, 5000, 5, 0.05, 4}));
}

TEST(CursorEngine, DiagonalMovesAtStraightSpeedButScrollsAreNot) {
  const double dt = 1.0 / 120;
  auto straight = engine();
  straight.keyDown(down(Key::l), 0, {});
  const auto one = straight.tick(dt);
  ASSERT_EQ(one.size(), 1u);
  const double speed = one[0].as<C::Move>()->dx;
  // The first Gentle frame moves about two thirds of a point.
  EXPECT_NEAR(speed, 0.669, 1e-3);

  auto diagonal = engine();
  diagonal.keyDown(down(Key::l), 0, {});
  diagonal.keyDown(down(Key::k), 0, {});
  const auto both = diagonal.tick(dt);
  ASSERT_EQ(both.size(), 1u);
  EXPECT_NEAR(both[0].as<C::Move>()->dx, speed / std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(both[0].as<C::Move>()->dy, speed / std::sqrt(2.0), 1e-12);

  auto scroll = engine();
  scroll.keyDown(down(Key::upArrow), 0, {});
  scroll.keyDown(down(Key::rightArrow), 0, {});
  scroll.keyDown(down(Key::l), 0, {});
  const auto frame = scroll.tick(dt);
  ASSERT_EQ(frame.size(), 2u);  // the move comes first
  ASSERT_TRUE(frame[0].as<C::Move>());
  const auto* s = frame[1].as<C::Scroll>();
  ASSERT_TRUE(s);
  EXPECT_NEAR(s->dx, dt * 900 * (0.2 + 0.8 * smoothRamp(dt, 0.6)), 1e-12);
  EXPECT_NEAR(s->dy, s->dx, 1e-12);

  EXPECT_TRUE(scroll.tick(0).empty());
  EXPECT_TRUE(scroll.tick(-1).empty());
}

TEST(CursorEngine, ClickCounts) {
  auto e = engine();
  struct Press {
    double at;
    Point pointer;
    int expected;
  };
  const std::vector<Press> presses = {{0.0, {100, 100}, 1}, {0.3, {102, 98}, 2},
                                      {0.6, {105, 100}, 3}, {0.9, {105, 100}, 3},
                                      {1.2, {111, 100}, 1}, {2.0, {111, 100}, 1}};
  for (const Press& p : presses) {
    EXPECT_EQ(e.keyDown(down(Key::space), p.at, p.pointer).commands,
              Commands{C::buttonDown(MouseButton::left, p.expected)})
        << p.at;
    EXPECT_EQ(e.keyDown(repeat(Key::space), p.at, p.pointer), (CursorEngine::Result{true, {}}));
    EXPECT_EQ(e.keyUp(up(Key::space)).commands,
              Commands{C::buttonUp(MouseButton::left, p.expected)});
  }
  // A double-click key, then a left click in time, makes three.
  auto d =
      engine(withBinding(Presets::standard().cursorBindings, A::doubleClick, Gesture::key(Key::d)));
  EXPECT_EQ(d.keyDown(down(Key::d), 0, {}).commands, Commands{C::click(MouseButton::left, 2)});
  EXPECT_EQ(d.keyDown(down(Key::space), 0.2, {}).commands,
            Commands{C::buttonDown(MouseButton::left, 3)});
  // Another button starts its own count.
  EXPECT_EQ(d.keyDown(down(Key::space, shift), 0.3, {}).commands,
            Commands{C::buttonDown(MouseButton::right, 1)});
}

TEST(CursorEngine, Drags) {
  auto bindings =
      withBinding(Presets::standard().cursorBindings, A::dragHold, Gesture::key(Key::g));
  auto toggle = engine(bindings, DragStyle::toggle);
  EXPECT_EQ(toggle.keyDown(down(Key::g), 0, {}).commands, Commands{C::press(MouseButton::left)});
  EXPECT_EQ(toggle.keyUp(up(Key::g)), (CursorEngine::Result{true, {}}));
  EXPECT_TRUE(toggle.leftDown());
  // The left-click key is ignored while the drag holds the button.
  EXPECT_EQ(toggle.keyDown(down(Key::space), 0, {}), (CursorEngine::Result{true, {}}));
  EXPECT_EQ(toggle.keyDown(down(Key::g), 1, {}).commands, Commands{C::release(MouseButton::left)});

  auto hold = engine(bindings, DragStyle::hold);
  EXPECT_EQ(hold.keyDown(down(Key::g), 0, {}).commands, Commands{C::press(MouseButton::left)});
  EXPECT_TRUE(hold.held().contains(A::dragHold));
  // Shift pressed meanwhile does not keep the button down.
  EXPECT_EQ(hold.keyUp(up(Key::g, shift)).commands, Commands{C::release(MouseButton::left)});
  EXPECT_FALSE(hold.leftDown());
}

TEST(CursorEngine, UnboundKeys) {
  auto e = engine();
  struct Case {
    KeyEvent event;
    bool consumed;
  };
  const std::vector<Case> cases = {
      {down(Key::x), true},           {up(Key::x), true},
      {down(Key::c, command), false}, {down(Key::x, Modifiers::control), false},
      {down(Key::x, shift), true},    {down(Key::f1), false},
      {down(Key::escape), false},
  };
  for (const Case& c : cases) {
    const auto result =
        c.event.kind == KeyEvent::Kind::down ? e.keyDown(c.event, 0, {}) : e.keyUp(c.event);
    EXPECT_EQ(result.consumed, c.consumed) << c.event.code;
    EXPECT_TRUE(result.commands.empty());
  }
  // While a modifier bound to an action is held, keys carrying it are swallowed, and bound keys
  // still find their plain binding.
  auto held = engine(withBinding(Presets::standard().cursorBindings, A::precision,
                                 Gesture::key(Key::rightCommand)));
  held.keyDown(keyEvent(KeyEvent::Kind::down, Key::rightCommand), 0, {});
  EXPECT_TRUE(held.held().contains(A::precision));
  EXPECT_TRUE(held.keyDown(down(Key::c, command), 0, {}).consumed);
  held.keyDown(down(Key::l, command), 0, {});
  EXPECT_TRUE(held.held().contains(A::moveRight));
}

TEST(CursorEngine, ReleasesWhatTheKeyStartedWhateverTheModifiers) {
  // Arrow keys: Up moves, Shift-Up scrolls. Shift pressed before Up is released.
  auto arrows = engine(Presets::arrows().cursorBindings);
  arrows.keyDown(down(Key::upArrow), 0, {});
  EXPECT_TRUE(arrows.held().contains(A::moveUp));
  arrows.keyUp(up(Key::upArrow, shift));
  EXPECT_TRUE(arrows.held().empty());
  EXPECT_FALSE(arrows.needsTicks());

  // Command pressed while L is held: the release is unbound under Command, but L still ends.
  auto standard = engine();
  standard.keyDown(down(Key::l), 0, {});
  EXPECT_TRUE(standard.keyUp(up(Key::l, command)).consumed);
  EXPECT_FALSE(standard.needsTicks());

  // Boost on S, D and F: it lasts until the last of them is up.
  auto mouseless = engine(Presets::mouseless().cursorBindings);
  mouseless.keyDown(down(Key::s), 0, {});
  mouseless.keyDown(down(Key::d), 0, {});
  mouseless.keyUp(up(Key::s));
  EXPECT_TRUE(mouseless.held().contains(A::boost));
  mouseless.keyUp(up(Key::d));
  EXPECT_FALSE(mouseless.held().contains(A::boost));
}

TEST(CursorEngine, ModifierBoundToAClickLeavesNoHeldModifier) {
  auto e = engine(withBinding(Presets::standard().cursorBindings, A::leftClick,
                              Gesture::key(Key::rightCommand)));
  EXPECT_EQ(e.keyDown(keyEvent(KeyEvent::Kind::down, Key::rightCommand), 0, {}).commands,
            Commands{C::buttonDown(MouseButton::left, 1)});
  EXPECT_EQ(e.keyUp(keyEvent(KeyEvent::Kind::up, Key::rightCommand)).commands,
            Commands{C::buttonUp(MouseButton::left, 1)});
  EXPECT_TRUE(e.heldModifierCodes().empty());
  EXPECT_FALSE(e.keyDown(down(Key::c, command), 1, {}).consumed);
}

TEST(CursorEngine, ResetReleasesTheDragThenTheButtons) {
  auto e =
      engine(withBinding(Presets::standard().cursorBindings, A::dragHold, Gesture::key(Key::g)));
  e.keyDown(down(Key::space, shift), 0, {});
  e.keyDown(down(Key::space, shift), 0.1, {});  // already held: nothing new
  e.keyDown(down(Key::g), 0, {});
  e.keyDown(down(Key::l), 0, {});
  EXPECT_EQ(e.resetCommands(),
            (Commands{C::release(MouseButton::left), C::buttonUp(MouseButton::right, 1)}));
  EXPECT_TRUE(e.held().empty());
  EXPECT_FALSE(e.lastClick());
  // Releases that arrive after the reset end nothing twice.
  EXPECT_TRUE(e.keyUp(up(Key::g)).commands.empty());
  EXPECT_TRUE(e.keyUp(up(Key::space, shift)).commands.empty());
}

// Any interleaving of bound keys and modifiers: once every key is up nothing is held, and every
// button that went down came up exactly once.
TEST(CursorEngine, RandomStreamsEndBalanced) {
  std::mt19937 random(11);
  const std::vector<std::uint16_t> codes = {
      Key::i, Key::j, Key::k, Key::l, Key::upArrow, Key::downArrow, Key::space, Key::e,
      Key::g, Key::a, Key::s, Key::d, Key::f,       Key::x,         Key::slash};
  const std::vector<std::uint16_t> modifierKeys = {Key::leftShift, Key::leftCommand,
                                                   Key::leftOption};
  for (int run = 0; run < 300; ++run) {
    auto bindings =
        withBinding(Presets::mouseless().cursorBindings, A::dragHold, Gesture::key(Key::g));
    bindings.push_back({A::dragHold, Gesture::key(Key::g, shift)});
    bindings.push_back({A::precision, Gesture::key(Key::leftShift)});
    auto e = engine(bindings, run % 2 ? DragStyle::hold : DragStyle::toggle);
    std::set<std::uint16_t> downKeys;
    Modifiers modifiers;
    std::map<MouseButton, int> balance;
    // Net downs per button: never below zero, and zero once everything is released.
    auto account = [&](const Commands& commands) {
      for (const auto& c : commands) {
        if (auto* d = c.as<C::ButtonDown>()) ++balance[d->button];
        if (auto* u = c.as<C::ButtonUp>()) {
          EXPECT_GT(balance[u->button]--, 0);
        }
        if (c.as<C::Press>()) ++balance[MouseButton::left];
        if (c.as<C::Release>()) {
          EXPECT_GT(balance[MouseButton::left]--, 0);
        }
      }
    };
    double now = 0;
    auto toggleKey = [&](std::uint16_t code) {
      const bool isModifier = Key::isModifierKey(code);
      if (downKeys.erase(code)) {
        if (isModifier) modifiers -= Key::modifierFlag(code);
        account(e.keyUp(keyEvent(KeyEvent::Kind::up, code, isModifier ? Modifiers{} : modifiers))
                    .commands);
      } else {
        downKeys.insert(code);
        account(e.keyDown(keyEvent(KeyEvent::Kind::down, code, modifiers), now, {}).commands);
        if (isModifier) modifiers |= Key::modifierFlag(code);
      }
    };
    for (int step = 0; step < 80; ++step) {
      now += 0.05;
      const auto pick = random() % 20;
      if (pick < 15)
        toggleKey(codes[pick]);
      else if (pick < 18)
        toggleKey(modifierKeys[pick - 15]);
      else
        account(e.tick(0.02));
    }
    if (run % 3 == 0) {
      account(e.resetCommands());
    } else {
      while (!downKeys.empty())
        toggleKey(*downKeys.begin());
    }
    EXPECT_FALSE(e.needsTicks());
    EXPECT_TRUE(e.heldModifierCodes().empty());
    EXPECT_TRUE(e.heldButtons().empty());
    if (e.dragStyle() == DragStyle::hold || run % 3 == 0) {
      EXPECT_FALSE(
          e.held().containsAny(CursorActionSet::of({A::dragHold, A::precision, A::boost})));
      for (const auto& [button, count] : balance)
        EXPECT_EQ(count, 0) << "run " << run;
    }
  }
}

}  // namespace
}  // namespace tovrel
