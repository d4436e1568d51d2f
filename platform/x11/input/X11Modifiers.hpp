#pragma once

// X's modifier state does not tell the left key from the right one, and a modifier key's own
// event carries the state from before it. The tap therefore follows the modifier keys itself and
// rebuilds the flags as the rest of the program expects them: family bits, one device bit per
// physical key, Caps Lock as a lock, all as they are after the event.

#include <cstdint>
#include <optional>

#include "core/Keys.hpp"
#include "platform/InputEvent.hpp"

namespace tovrel::platform::x11 {

// The eight modifier keys: their device bit, their family bit and the core modifier mask they set
// in the usual keyboard map (Shift 1, Control 4, Alt Mod1 8, Super Mod4 64; the values of X.h,
// which this header keeps out so it can sit beside Qt's).
struct ModifierKey {
  std::uint16_t code;
  std::uint64_t deviceBit;
  std::uint64_t familyBit;
  unsigned xMask;
};

inline constexpr ModifierKey modifierKeys[] = {
    {Key::rightCommand, eventFlag::rightCommand, eventFlag::command, 64},
    {Key::leftCommand, eventFlag::leftCommand, eventFlag::command, 64},
    {Key::leftShift, eventFlag::leftShift, eventFlag::shift, 1},
    {Key::leftOption, eventFlag::leftOption, eventFlag::option, 8},
    {Key::leftControl, eventFlag::leftControl, eventFlag::control, 4},
    {Key::rightShift, eventFlag::rightShift, eventFlag::shift, 1},
    {Key::rightOption, eventFlag::rightOption, eventFlag::option, 8},
    {Key::rightControl, eventFlag::rightControl, eventFlag::control, 4},
};

// The device bits of every key of one family (both Shift keys for the shift bit, and so on).
constexpr std::uint64_t deviceBitsOf(std::uint64_t familyBit) {
  std::uint64_t bits = 0;
  for (const ModifierKey& key : modifierKeys)
    if (key.familyBit == familyBit) bits |= key.deviceBit;
  return bits;
}

class X11ModifierState {
 public:
  // What a key event does to the modifiers.
  struct Change {
    bool isModifierKey = false;  // the event is a flags-changed event
    bool down = false;           // for a modifier key: its own flag is now set
  };

  // A press (repeats excluded) or release of the key with this code. Caps Lock changes on its
  // presses only: a press that turns the lock on is a down, one that turns it off an up, and its
  // release is no event at all (nothing when `apply` answers nothing).
  std::optional<Change> apply(std::uint16_t code, bool pressed);

  std::uint64_t flags() const;
  // The core modifier mask the keys would give, for looking up what a key types.
  unsigned xState() const;

  // From the server's own lock state, so a lock set before the tap started is known.
  void setCapsLocked(bool locked) { capsLocked_ = locked; }
  bool capsLocked() const { return capsLocked_; }
  bool isDown(std::uint16_t code) const;
  void reset();

 private:
  std::uint16_t heldDeviceBits_ = 0;  // bit i: modifier key code 54 + i is down
  bool capsLocked_ = false;
};

}  // namespace tovrel::platform::x11
