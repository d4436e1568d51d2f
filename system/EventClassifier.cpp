#include "system/EventClassifier.hpp"

#include <algorithm>
#include <cstddef>

#include "core/Unicode.hpp"

namespace tovrel::EventClassifier {

namespace {

constexpr std::size_t maxTextUnits = 8;

bool isHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// A character that moves to a new line, deletes or is otherwise not text, even without
// modifiers. Other C1 controls are left to the desktop's own text.
bool typesText(char32_t scalar) {
  if (scalar >= 10 && scalar <= 13) return false;
  if (scalar == 0x85 || scalar == 0x2028 || scalar == 0x2029) return false;
  return scalar >= 32 && scalar != 127;
}

// The key's own modifier family, which a flags-changed event for that key must not report.
Modifiers ownFamily(std::uint16_t code) {
  switch (code) {
    case Key::leftShift:
    case Key::rightShift:
      return Modifiers::shift;
    case Key::leftOption:
    case Key::rightOption:
      return Modifiers::option;
    case Key::leftControl:
    case Key::rightControl:
      return Modifiers::control;
    case Key::leftCommand:
    case Key::rightCommand:
      return Modifiers::command;
    default:
      return Modifiers::none;
  }
}

bool isPointerButton(platform::EventType type) {
  using namespace platform::eventType;
  switch (type) {
    case leftMouseDown:
    case leftMouseUp:
    case rightMouseDown:
    case rightMouseUp:
    case otherMouseDown:
    case otherMouseUp:
    case leftMouseDragged:
    case rightMouseDragged:
    case otherMouseDragged:
    case scrollWheel:
      return true;
    default:
      return false;
  }
}

RouterInput keyInput(platform::EventType type, const platform::InputEvent& event) {
  const Modifiers held = modifiers(event.flags);
  std::string text = unicodeText(event);
  auto first = unicode::firstScalar(text);
  const bool typesCharacter = first && typesText(*first) && held.isDisjoint(shortcutModifiers);
  std::optional<std::string> character;
  if (!text.empty()) character = std::move(text);
  auto kind = type == platform::eventType::keyDown ? KeyEvent::Kind::down : KeyEvent::Kind::up;
  return RouterInput::Key{KeyEvent(kind, event.keyCode, held, event.autorepeat, false,
                                   typesCharacter, std::move(character)),
                          kind == KeyEvent::Kind::down && event.passedByTap};
}

RouterInput flagsInput(const platform::InputEvent& event) {
  const std::uint16_t code = event.keyCode;
  std::uint64_t ownFlag = platform::eventFlag::secondaryFn;
  if (auto device = deviceMask(code))
    ownFlag = *device;
  else if (code == Key::capsLock)
    ownFlag = platform::eventFlag::alphaShift;
  auto kind = (event.flags & ownFlag) != 0 ? KeyEvent::Kind::down : KeyEvent::Kind::up;
  return RouterInput::Key{KeyEvent(kind, code, modifiers(event.flags) - ownFamily(code), false,
                                   true, false, std::nullopt)};
}

}  // namespace

std::optional<std::uint64_t> deviceMask(std::uint16_t keyCode) {
  auto found = std::find_if(deviceMasks.begin(), deviceMasks.end(),
                            [&](const DeviceMask& entry) { return entry.keyCode == keyCode; });
  if (found == deviceMasks.end()) return std::nullopt;
  return found->flag;
}

Modifiers modifiers(std::uint64_t flags) {
  Modifiers result;
  if (flags & platform::eventFlag::command) result.insert(Modifiers::command);
  if (flags & platform::eventFlag::shift) result.insert(Modifiers::shift);
  if (flags & platform::eventFlag::option) result.insert(Modifiers::option);
  if (flags & platform::eventFlag::control) result.insert(Modifiers::control);
  return result;
}

std::string unicodeText(const platform::InputEvent& event) {
  const std::size_t count = std::min(event.text.size(), maxTextUnits);
  std::string result;
  for (std::size_t i = 0; i < count; ++i) {
    const char16_t unit = event.text[i];
    char32_t scalar = unit;
    if (isHighSurrogate(unit) && i + 1 < count && isLowSurrogate(event.text[i + 1])) {
      scalar = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
               (static_cast<char32_t>(event.text[i + 1]) - 0xDC00);
      ++i;
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      scalar = unicode::replacementCharacter;
    }
    result += unicode::toUtf8(scalar);
  }
  return result;
}

std::optional<RouterInput> input(platform::EventType type, const platform::InputEvent& event,
                                 double /*time*/) {
  if (type == platform::eventType::keyDown || type == platform::eventType::keyUp)
    return keyInput(type, event);
  if (type == platform::eventType::flagsChanged) return flagsInput(event);
  if (isPointerButton(type)) return RouterInput::PointerButton{};
  if (type == platform::eventType::mouseMoved) return RouterInput::ExternalPointerMoved{};
  return std::nullopt;
}

}  // namespace tovrel::EventClassifier
