#pragma once

// One input event as the input bridge sees it, in the desktop-neutral vocabulary the rest of the
// program speaks: event type numbers, flag bits with left/right device bits, 16-bit key codes and
// the source user-data field that marks the program's own synthetic events. Backends translate
// their native events into this form and back.

#include <cstdint>
#include <optional>
#include <string>

#include "core/HintTarget.hpp"

namespace tovrel::platform {

using EventType = std::uint32_t;

namespace eventType {
inline constexpr EventType leftMouseDown = 1;
inline constexpr EventType leftMouseUp = 2;
inline constexpr EventType rightMouseDown = 3;
inline constexpr EventType rightMouseUp = 4;
inline constexpr EventType mouseMoved = 5;
inline constexpr EventType leftMouseDragged = 6;
inline constexpr EventType rightMouseDragged = 7;
inline constexpr EventType keyDown = 10;
inline constexpr EventType keyUp = 11;
inline constexpr EventType flagsChanged = 12;
inline constexpr EventType scrollWheel = 22;
inline constexpr EventType tabletPointer = 23;
inline constexpr EventType tabletProximity = 24;
inline constexpr EventType otherMouseDown = 25;
inline constexpr EventType otherMouseUp = 26;
inline constexpr EventType otherMouseDragged = 27;
// Not events: the tap was switched off because it answered too slowly, or by the user's input.
inline constexpr EventType tapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr EventType tapDisabledByUserInput = 0xFFFFFFFF;
}  // namespace eventType

// Bit `type` of an event mask selects that event type (types below 64 only).
constexpr std::uint64_t eventMaskBit(EventType type) {
  return type < 64 ? std::uint64_t{1} << type : 0;
}

namespace eventFlag {
inline constexpr std::uint64_t alphaShift = 0x10000;  // Caps Lock is on
inline constexpr std::uint64_t shift = 0x20000;
inline constexpr std::uint64_t control = 0x40000;
inline constexpr std::uint64_t option = 0x80000;
inline constexpr std::uint64_t command = 0x100000;
inline constexpr std::uint64_t secondaryFn = 0x800000;
// Which physical modifier key is down, beside the family bits above.
inline constexpr std::uint64_t leftControl = 0x1;
inline constexpr std::uint64_t leftShift = 0x2;
inline constexpr std::uint64_t rightShift = 0x4;
inline constexpr std::uint64_t leftCommand = 0x8;
inline constexpr std::uint64_t rightCommand = 0x10;
inline constexpr std::uint64_t leftOption = 0x20;
inline constexpr std::uint64_t rightOption = 0x40;
inline constexpr std::uint64_t rightControl = 0x2000;
}  // namespace eventFlag

struct InputEvent {
  EventType type = 0;
  // Keyboard events.
  std::uint16_t keyCode = 0;  // the 16-bit virtual key code the settings file stores
  bool autorepeat = false;
  std::u16string text;  // what the key types under the current layout and modifiers; may be empty
  // Every event: the modifier flags after the event, with device bits.
  std::uint64_t flags = 0;
  // Pointer events: global top-left coordinates, button number (0 left, 1 right, 2 middle, 3 back,
  // 4 forward) and click state.
  Point location;
  std::int64_t buttonNumber = 0;
  std::int64_t clickState = 0;
  // Scroll-wheel events: whole pixels, wheel 1 vertical (positive up), wheel 2 horizontal
  // (positive left).
  std::int32_t scrollWheel1 = 0;
  std::int32_t scrollWheel2 = 0;
  // The source user-data field: the program's own events carry its marker here.
  std::int64_t sourceUserData = 0;
  // A key press or repeat the tap let through on its own (see TapPort::setKeyOwnership): the
  // callback hears it, and its answer changes nothing.
  bool passedByTap = false;

  bool operator==(const InputEvent&) const = default;
};

}  // namespace tovrel::platform
