#pragma once

// The state of cursor mode: key-downs and key-ups become held actions and pointer commands, and the
// passage of time becomes pointer moves and scrolls with an accelerating speed. The engine posts
// nothing itself; it returns commands for the pointer output.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "core/Actions.hpp"
#include "core/BindingTable.hpp"
#include "core/ConfigRecords.hpp"
#include "core/CursorCommand.hpp"
#include "core/HintTarget.hpp"
#include "core/Keys.hpp"

namespace tovrel {

// Smoothstep from 0 at t = 0 to 1 at t = duration; 1 for a duration of zero or less.
double smoothRamp(double t, double duration);

// The factor of a held scroll's full speed: from a fifth at the start to all of it after the ramp.
inline double scrollRamp(double elapsed, double rampSeconds) {
  return 0.2 + 0.8 * smoothRamp(elapsed, rampSeconds);
}

// A set of cursor actions in one word, so comparing two sets costs nothing.
class CursorActionSet {
 public:
  constexpr bool contains(CursorAction action) const { return (bits_ & bit(action)) != 0; }
  constexpr void insert(CursorAction action) { bits_ |= bit(action); }
  constexpr void erase(CursorAction action) { bits_ &= ~bit(action); }
  constexpr bool empty() const { return bits_ == 0; }
  constexpr bool containsAny(CursorActionSet other) const { return (bits_ & other.bits_) != 0; }
  constexpr std::uint32_t bits() const { return bits_; }
  constexpr bool operator==(const CursorActionSet&) const = default;

  static constexpr CursorActionSet of(std::initializer_list<CursorAction> actions) {
    CursorActionSet set;
    for (CursorAction action : actions)
      set.insert(action);
    return set;
  }

 private:
  static constexpr std::uint32_t bit(CursorAction action) {
    return 1u << static_cast<unsigned>(action);
  }
  std::uint32_t bits_ = 0;
};

class CursorEngine {
 public:
  struct HeldButton {
    MouseButton button = MouseButton::left;
    int count = 1;
    bool operator==(const HeldButton&) const = default;
  };
  struct LastClick {
    double time = 0;
    double x = 0;
    double y = 0;
    MouseButton button = MouseButton::left;
    int count = 1;
    bool operator==(const LastClick&) const = default;
  };
  struct Result {
    bool consumed = false;
    std::vector<CursorCommand> commands;
    bool operator==(const Result&) const = default;
  };

  static constexpr CursorActionSet moveActions =
      CursorActionSet::of({CursorAction::moveUp, CursorAction::moveDown, CursorAction::moveLeft,
                           CursorAction::moveRight});
  static constexpr CursorActionSet scrollActions =
      CursorActionSet::of({CursorAction::scrollUp, CursorAction::scrollDown,
                           CursorAction::scrollLeft, CursorAction::scrollRight});

  // The motion values are brought into the ranges the engine works with; `doubleClickInterval`
  // is the desktop's setting in seconds, `doubleClickTolerance` in points.
  CursorEngine(const std::vector<CursorBinding>& bindings, const MotionProfile& motion,
               const ScrollProfile& scrolling, double doubleClickInterval,
               double doubleClickTolerance, DragStyle dragStyle);

  const BindingTable<CursorAction>& bindings() const { return bindings_; }
  const MotionProfile& motion() const { return motion_; }
  const ScrollProfile& scrolling() const { return scrolling_; }
  double doubleClickInterval() const { return doubleClickInterval_; }
  double doubleClickTolerance() const { return doubleClickTolerance_; }
  DragStyle dragStyle() const { return dragStyle_; }
  CursorActionSet held() const { return held_; }
  double moveElapsed() const { return moveElapsed_; }
  double scrollElapsed() const { return scrollElapsed_; }
  bool leftDown() const { return leftDown_; }
  const std::set<std::uint16_t>& heldModifierCodes() const { return heldModifierCodes_; }
  // Ordered by key code, which fixes the order of the button-ups a reset returns.
  const std::map<std::uint16_t, HeldButton>& heldButtons() const { return heldButtons_; }
  const std::optional<LastClick>& lastClick() const { return lastClick_; }

  Result keyDown(const KeyEvent& event, double now, Point pointer);
  // Whether `keyDown` keeps the press from the application.
  bool owns(const KeyEvent& event) const { return lookup(event) || unbound(event).consumed; }
  Result keyUp(const KeyEvent& event);
  std::vector<CursorCommand> tick(double dt);

  double currentMoveSpeed() const;
  double currentScrollSpeed() const;
  // A move or scroll action is held.
  bool needsTicks() const {
    return held_.containsAny(moveActions) || held_.containsAny(scrollActions);
  }

  // Releases everything, then installs the new bindings; returns the release commands.
  std::vector<CursorCommand> replaceBindings(const std::vector<CursorBinding>& bindings);
  std::vector<CursorCommand> reset() { return resetCommands(); }
  // The speed ramps start again (a real pointer move interrupted the motion).
  void resetRamp() {
    moveElapsed_ = 0;
    scrollElapsed_ = 0;
  }
  // Releases a held drag, then every held button; afterwards nothing is held.
  std::vector<CursorCommand> resetCommands();

 private:
  std::optional<CursorAction> lookup(const KeyEvent& event) const;
  Modifiers heldModifierFlags() const;
  Result unbound(const KeyEvent& event) const;
  // True when no key still holds `action` down.
  bool releaseHeldCode(std::uint16_t code, CursorAction action);
  double multiplier() const;

  BindingTable<CursorAction> bindings_;
  MotionProfile motion_;
  ScrollProfile scrolling_;
  double doubleClickInterval_;
  double doubleClickTolerance_;
  DragStyle dragStyle_;
  CursorActionSet held_;
  double moveElapsed_ = 0;
  double scrollElapsed_ = 0;
  bool leftDown_ = false;
  std::set<std::uint16_t> heldModifierCodes_;
  std::map<std::uint16_t, HeldButton> heldButtons_;
  std::optional<LastClick> lastClick_;
  // The held action each key started, so the key's release ends exactly that action whatever
  // modifiers changed while it was down.
  std::map<std::uint16_t, CursorAction> heldActionCodes_;
};

}  // namespace tovrel
