#pragma once

// Input that enters the desktop as a keyboard's and a mouse's would, for the live self-test: it
// passes through the program's own tap like hardware input and is never taken for the program's
// own output. Keys are named by the program's key codes; modifier flags are produced by really
// pressing modifier keys, since a desktop key event carries no flags of its own.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Keys.hpp"
#include "platform/InputEvent.hpp"

namespace tovrel::platform {

// Holds the run's input conditions while it lives: server key auto-repeat off and a known keymap.
// Whatever it changed is put back as it was when it goes.
class SyntheticRunConditions {
 public:
  virtual ~SyntheticRunConditions() = default;
  virtual bool autoRepeatOff() const = 0;
  virtual bool keymapKnown() const = 0;
  // Why a condition could not be set; empty when both hold.
  virtual std::string problem() const = 0;
};

class SyntheticInput {
 public:
  virtual ~SyntheticInput() = default;

  // Whether anything can be posted at all (a desktop that accepts synthetic device input).
  virtual bool available() = 0;

  // The key with this code goes down or up. The modifier keys `modifiers` needs and that are not
  // already held are pressed just before it and released, in reverse order, just after it; modifier
  // keys held through `modifierKey` stay as they are. False (with `lastProblem`) for a code the
  // keyboard has no key for, or when the desktop cannot be reached.
  virtual bool key(std::uint16_t keyCode, bool down, Modifiers modifiers = {}) = 0;
  // One modifier key alone goes down or up (left or right Command, Shift, Option, Control); any
  // other key is simply pressed or released.
  virtual bool modifierKey(std::uint16_t keyCode, bool down) = 0;
  // Modifier keys the chords of `key` must not press because they are bound to something (the
  // drag key, the mode's tap key): the same family's key of the other hand is used instead. When
  // both keys of a family are avoided, the left one is used.
  virtual void setAvoidedModifierKeys(std::vector<std::uint16_t> keyCodes) = 0;

  // Global top-left coordinates.
  virtual bool movePointer(Point to) = 0;
  // The left button goes down or up at `at`; the pointer is moved there first when it is elsewhere.
  virtual bool leftButton(bool down, Point at) = 0;
  virtual std::optional<Point> pointerLocation() = 0;
  virtual bool leftButtonDown() = 0;

  // Releases every key and button this input holds, the most recent first.
  virtual void releaseAll() = 0;

  // Sets the run's conditions until the returned token goes; nullptr when no desktop answers.
  virtual std::unique_ptr<SyntheticRunConditions> holdRunConditions() = 0;

  // What went wrong with the last call that answered false; empty after a success.
  virtual std::string lastProblem() const = 0;
};

}  // namespace tovrel::platform
