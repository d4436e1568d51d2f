#include "core/CursorEngine.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tovrel {

namespace {

BindingTable<CursorAction> makeTable(const std::vector<CursorBinding>& bindings) {
  std::vector<std::pair<Gesture, CursorAction>> pairs;
  pairs.reserve(bindings.size());
  for (const CursorBinding& binding : bindings)
    pairs.emplace_back(binding.gesture, binding.action);
  return BindingTable<CursorAction>(pairs);
}

std::optional<MouseButton> clickButton(CursorAction action) {
  switch (action) {
    case CursorAction::leftClick:
      return MouseButton::left;
    case CursorAction::rightClick:
      return MouseButton::right;
    case CursorAction::middleClick:
      return MouseButton::middle;
    default:
      return std::nullopt;
  }
}

}  // namespace

double smoothRamp(double t, double duration) {
  if (duration <= 0) return 1;
  const double s = std::min(std::max(t / duration, 0.0), 1.0);
  return s * s * (3 - 2 * s);
}

CursorEngine::CursorEngine(const std::vector<CursorBinding>& bindings, const MotionProfile& motion,
                           const ScrollProfile& scrolling, double doubleClickInterval,
                           double doubleClickTolerance, DragStyle dragStyle)
    : bindings_(makeTable(bindings)),
      motion_(motion.clamped()),
      scrolling_(scrolling),
      doubleClickInterval_(doubleClickInterval),
      doubleClickTolerance_(doubleClickTolerance),
      dragStyle_(dragStyle) {}

Modifiers CursorEngine::heldModifierFlags() const {
  Modifiers flags;
  for (std::uint16_t code : heldModifierCodes_)
    flags |= Key::modifierFlag(code);
  return flags;
}

std::optional<CursorAction> CursorEngine::lookup(const KeyEvent& event) const {
  if (auto action = bindings_.action(event.code, event.modifiers)) return action;
  // A key pressed while a modifier bound to an action (precision on Shift, say) is held still
  // finds its plain binding.
  if (!heldModifierCodes_.empty()) {
    if (auto action = bindings_.action(event.code, event.modifiers - heldModifierFlags()))
      return action;
  }
  if (event.isModifierKey) return bindings_.action(event.code, Modifiers::none);
  return std::nullopt;
}

// Typing never leaks into the application while the mode is on; shortcuts with Command, Option or
// Control, and keys that type nothing, pass.
CursorEngine::Result CursorEngine::unbound(const KeyEvent& event) const {
  if (!event.modifiers.isDisjoint(heldModifierFlags())) return {true, {}};
  return {event.typesCharacter && event.modifiers.isDisjoint(shortcutModifiers), {}};
}

double CursorEngine::multiplier() const {
  if (held_.contains(CursorAction::precision)) return motion_.precisionMultiplier;
  if (held_.contains(CursorAction::boost)) return motion_.boostMultiplier;
  return 1;
}

double CursorEngine::currentMoveSpeed() const {
  const double ramp = smoothRamp(moveElapsed_, motion_.rampSeconds);
  return (motion_.initialSpeed + (motion_.maximumSpeed - motion_.initialSpeed) * ramp) *
         multiplier();
}

double CursorEngine::currentScrollSpeed() const {
  return scrolling_.maximumSpeed * scrollRamp(scrollElapsed_, scrolling_.rampSeconds) *
         multiplier();
}

bool CursorEngine::releaseHeldCode(std::uint16_t code, CursorAction action) {
  heldActionCodes_.erase(code);
  for (const auto& [otherCode, otherAction] : heldActionCodes_) {
    if (otherAction == action) return false;
  }
  held_.erase(action);
  if (!held_.containsAny(moveActions)) moveElapsed_ = 0;
  if (!held_.containsAny(scrollActions)) scrollElapsed_ = 0;
  return true;
}

CursorEngine::Result CursorEngine::keyDown(const KeyEvent& event, double now, Point pointer) {
  const std::optional<CursorAction> found = lookup(event);
  if (!found) return unbound(event);
  const CursorAction action = *found;

  if (event.isModifierKey) heldModifierCodes_.insert(event.code);
  if (event.isRepeat) return {true, {}};

  if (auto button = clickButton(action)) {
    for (const auto& [code, held] : heldButtons_) {
      if (held.button == *button) return {true, {}};
    }
    if (action == CursorAction::leftClick && leftDown_) return {true, {}};
    int count = 1;
    if (lastClick_ && lastClick_->button == *button &&
        std::fabs(lastClick_->x - pointer.x) <= doubleClickTolerance_ &&
        std::fabs(lastClick_->y - pointer.y) <= doubleClickTolerance_ &&
        now - lastClick_->time <= doubleClickInterval_) {
      count = std::min(lastClick_->count + 1, 3);
    }
    lastClick_ = LastClick{now, pointer.x, pointer.y, *button, count};
    heldButtons_[event.code] = HeldButton{*button, count};
    return {true, {CursorCommand::buttonDown(*button, count)}};
  }

  switch (action) {
    case CursorAction::backButton:
    case CursorAction::forwardButton: {
      const MouseButton button =
          action == CursorAction::backButton ? MouseButton::back : MouseButton::forward;
      lastClick_ = LastClick{now, pointer.x, pointer.y, button, 1};
      return {true, {CursorCommand::click(button, 1)}};
    }
    case CursorAction::doubleClick:
      lastClick_ = LastClick{now, pointer.x, pointer.y, MouseButton::left, 2};
      return {true, {CursorCommand::click(MouseButton::left, 2)}};
    case CursorAction::help:
      return {true, {}};
    default:
      break;
  }

  if (action == CursorAction::dragHold && dragStyle_ == DragStyle::toggle) {
    leftDown_ = !leftDown_;
    return {true,
            {leftDown_ ? CursorCommand::press(MouseButton::left)
                       : CursorCommand::release(MouseButton::left)}};
  }

  // The key may still be recorded for another action when its release was never seen; that action
  // ends now, or it would stay held for the rest of the mode.
  std::vector<CursorCommand> commands;
  if (auto previous = heldActionCodes_.find(event.code);
      previous != heldActionCodes_.end() && previous->second != action) {
    const CursorAction old = previous->second;
    if (releaseHeldCode(event.code, old) && old == CursorAction::dragHold) {
      leftDown_ = false;
      commands.push_back(CursorCommand::release(MouseButton::left));
    }
  }

  if (action == CursorAction::dragHold) {
    held_.insert(action);
    heldActionCodes_[event.code] = action;
    // A second key bound to the drag must not press the button twice.
    if (!leftDown_) commands.push_back(CursorCommand::press(MouseButton::left));
    leftDown_ = true;
    return {true, std::move(commands)};
  }

  if (moveActions.contains(action) && !held_.containsAny(moveActions)) moveElapsed_ = 0;
  if (scrollActions.contains(action) && !held_.containsAny(scrollActions)) scrollElapsed_ = 0;
  held_.insert(action);
  heldActionCodes_[event.code] = action;
  return {true, std::move(commands)};
}

CursorEngine::Result CursorEngine::keyUp(const KeyEvent& event) {
  // Whatever else happens, a modifier that is up no longer strips its bit from lookups.
  struct ForgetModifier {
    CursorEngine& engine;
    const KeyEvent& event;
    ~ForgetModifier() {
      if (event.isModifierKey) engine.heldModifierCodes_.erase(event.code);
    }
  } forget{*this, event};

  if (auto found = heldButtons_.find(event.code); found != heldButtons_.end()) {
    const HeldButton held = found->second;
    heldButtons_.erase(found);
    return {true, {CursorCommand::buttonUp(held.button, held.count)}};
  }

  if (auto found = heldActionCodes_.find(event.code); found != heldActionCodes_.end()) {
    const CursorAction action = found->second;
    const bool last = releaseHeldCode(event.code, action);
    if (action == CursorAction::dragHold && last) {
      leftDown_ = false;
      return {true, {CursorCommand::release(MouseButton::left)}};
    }
    return {true, {}};
  }

  // A bound key whose press started nothing that is still held (a toggle, a click made on the
  // press, or a press from before the last reset) has nothing to end.
  if (!lookup(event)) return unbound(event);
  return {true, {}};
}

std::vector<CursorCommand> CursorEngine::tick(double dt) {
  std::vector<CursorCommand> commands;
  if (!(dt > 0)) return commands;
  auto axis = [this](CursorAction positive, CursorAction negative) {
    return (held_.contains(positive) ? 1.0 : 0.0) - (held_.contains(negative) ? 1.0 : 0.0);
  };

  const double mx = axis(CursorAction::moveRight, CursorAction::moveLeft);
  const double my = axis(CursorAction::moveDown, CursorAction::moveUp);
  if (mx == 0 && my == 0) {
    moveElapsed_ = 0;
  } else {
    moveElapsed_ += dt;
    const double speed = currentMoveSpeed();
    // A diagonal moves as fast as a straight line.
    const double n = std::sqrt(mx * mx + my * my);
    commands.push_back(CursorCommand::move(mx / n * dt * speed, my / n * dt * speed));
  }

  const double sx = axis(CursorAction::scrollRight, CursorAction::scrollLeft);
  const double sy = axis(CursorAction::scrollUp, CursorAction::scrollDown);
  if (sx == 0 && sy == 0) {
    scrollElapsed_ = 0;
  } else {
    scrollElapsed_ += dt;
    const double speed = currentScrollSpeed();
    const double r = scrolling_.reverse ? -1 : 1;
    commands.push_back(CursorCommand::scroll(sx * dt * speed * r, sy * dt * speed * r));
  }
  return commands;
}

std::vector<CursorCommand> CursorEngine::replaceBindings(
    const std::vector<CursorBinding>& bindings) {
  std::vector<CursorCommand> commands = resetCommands();
  bindings_ = makeTable(bindings);
  return commands;
}

std::vector<CursorCommand> CursorEngine::resetCommands() {
  std::vector<CursorCommand> commands;
  if (leftDown_) commands.push_back(CursorCommand::release(MouseButton::left));
  for (const auto& [code, held] : heldButtons_)
    commands.push_back(CursorCommand::buttonUp(held.button, held.count));
  heldButtons_.clear();
  held_ = {};
  heldActionCodes_.clear();
  heldModifierCodes_.clear();
  leftDown_ = false;
  lastClick_.reset();
  moveElapsed_ = 0;
  scrollElapsed_ = 0;
  return commands;
}

}  // namespace tovrel
