#include "platform/x11/input/X11Modifiers.hpp"

#include <X11/X.h>

#include "core/Keys.hpp"
#include "platform/InputEvent.hpp"

namespace tovrel::platform::x11 {

// The table in the header spells out X.h's masks.
static_assert(ShiftMask == 1 && ControlMask == 4 && Mod1Mask == 8 && Mod4Mask == 64);

namespace {

const ModifierKey* find(std::uint16_t code) {
  for (const ModifierKey& key : modifierKeys)
    if (key.code == code) return &key;
  return nullptr;
}

std::uint16_t slot(std::uint16_t code) {
  return static_cast<std::uint16_t>(1u << (code - 54));
}

}  // namespace

std::optional<X11ModifierState::Change> X11ModifierState::apply(std::uint16_t code, bool pressed) {
  if (code == Key::capsLock) {
    if (!pressed) return std::nullopt;
    capsLocked_ = !capsLocked_;
    return Change{true, capsLocked_};
  }
  if (find(code) == nullptr) {
    // Fn never reaches X; any other key leaves the modifiers alone.
    return Change{Key::isModifierKey(code), pressed};
  }
  if (pressed)
    heldDeviceBits_ |= slot(code);
  else
    heldDeviceBits_ &= static_cast<std::uint16_t>(~slot(code));
  return Change{true, pressed};
}

std::uint64_t X11ModifierState::flags() const {
  std::uint64_t flags = capsLocked_ ? eventFlag::alphaShift : 0;
  for (const ModifierKey& key : modifierKeys)
    if (heldDeviceBits_ & slot(key.code)) flags |= key.deviceBit | key.familyBit;
  return flags;
}

unsigned X11ModifierState::xState() const {
  unsigned state = capsLocked_ ? LockMask : 0;
  for (const ModifierKey& key : modifierKeys)
    if (heldDeviceBits_ & slot(key.code)) state |= key.xMask;
  return state;
}

bool X11ModifierState::isDown(std::uint16_t code) const {
  return find(code) != nullptr && (heldDeviceBits_ & slot(code)) != 0;
}

void X11ModifierState::reset() {
  heldDeviceBits_ = 0;
}

}  // namespace tovrel::platform::x11
