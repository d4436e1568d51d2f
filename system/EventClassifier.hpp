#pragma once

// Turns one tapped desktop event into what the navigation router understands, or into nothing
// when the router has no use for it (the event then passes on to the applications).

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/Keys.hpp"
#include "core/NavigationRouter.hpp"
#include "platform/InputEvent.hpp"

namespace tovrel::EventClassifier {

// The event types the tap listens to, in the order the mask is built from.
inline constexpr std::array<platform::EventType, 14> tappedTypes = {
    platform::eventType::keyDown,           platform::eventType::keyUp,
    platform::eventType::flagsChanged,      platform::eventType::leftMouseDown,
    platform::eventType::leftMouseUp,       platform::eventType::rightMouseDown,
    platform::eventType::rightMouseUp,      platform::eventType::otherMouseDown,
    platform::eventType::otherMouseUp,      platform::eventType::leftMouseDragged,
    platform::eventType::rightMouseDragged, platform::eventType::otherMouseDragged,
    platform::eventType::scrollWheel,       platform::eventType::mouseMoved};

inline constexpr std::uint64_t mask = [] {
  std::uint64_t bits = 0;
  for (platform::EventType type : tappedTypes)
    bits |= platform::eventMaskBit(type);
  return bits;
}();
static_assert(mask == 0x0E401CFE);

// Pointer moves and drags: the most frequent events by far, wanted only while something follows
// the pointer.
inline constexpr std::uint64_t pointerMotionMask =
    platform::eventMaskBit(platform::eventType::mouseMoved) |
    platform::eventMaskBit(platform::eventType::leftMouseDragged) |
    platform::eventMaskBit(platform::eventType::rightMouseDragged) |
    platform::eventMaskBit(platform::eventType::otherMouseDragged);

// The flag bit that says which physical left or right modifier key is down.
struct DeviceMask {
  std::uint16_t keyCode = 0;
  std::uint64_t flag = 0;
};
inline constexpr std::array<DeviceMask, 8> deviceMasks = {{
    {Key::leftControl, platform::eventFlag::leftControl},
    {Key::leftShift, platform::eventFlag::leftShift},
    {Key::rightShift, platform::eventFlag::rightShift},
    {Key::leftCommand, platform::eventFlag::leftCommand},
    {Key::rightCommand, platform::eventFlag::rightCommand},
    {Key::leftOption, platform::eventFlag::leftOption},
    {Key::rightOption, platform::eventFlag::rightOption},
    {Key::rightControl, platform::eventFlag::rightControl},
}};

// The device bit of a left or right modifier key; nothing for every other code.
std::optional<std::uint64_t> deviceMask(std::uint16_t keyCode);

// The four modifier families whose flags are set.
Modifiers modifiers(std::uint64_t flags);

// What the key types, as UTF-8, from at most its first 8 UTF-16 units. A surrogate without its
// partner (also one cut off by the limit) reads as U+FFFD; empty when the event carries no text.
std::string unicodeText(const platform::InputEvent& event);

// The router's input for one tapped event; nothing for a type the router does not handle. `time`
// is accepted for the caller's convenience and not used.
std::optional<RouterInput> input(platform::EventType type, const platform::InputEvent& event,
                                 double time);

}  // namespace tovrel::EventClassifier
