#pragma once

// X's modifier state does not tell the left key from the right one, and a modifier key's own
// event carries the state from before it. The tap therefore follows the modifier keys itself and
// rebuilds the flags as the rest of the program expects them: family bits, one device bit per
// physical key, Caps Lock as a lock, all as they are after the event.

#include <cstdint>
#include <optional>

namespace tovrel::platform::x11 {

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
