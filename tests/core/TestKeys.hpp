#pragma once

// Key events as the desktop would deliver them, for tests: printable keys carry their character
// (upper case with Shift), every other key none.

#include <cstdint>
#include <optional>
#include <string>

#include "core/Keys.hpp"
#include "core/Unicode.hpp"

namespace tovrel::testing {

inline std::optional<std::string> typedCharacter(std::uint16_t code, Modifiers modifiers) {
  if (code == Key::space) return " ";
  auto text = Key::printableText(code);
  if (!text || text->size() != 1) return std::nullopt;
  if (modifiers.contains(Modifiers::shift)) return std::string(*text);
  return unicode::lowercased(*text);
}

inline KeyEvent keyEvent(KeyEvent::Kind kind, std::uint16_t code, Modifiers modifiers = {},
                         bool isRepeat = false) {
  auto character = Key::isModifierKey(code) ? std::nullopt : typedCharacter(code, modifiers);
  const bool types = character.has_value();
  return KeyEvent(kind, code, modifiers, isRepeat, std::nullopt, types, std::move(character));
}

inline KeyEvent down(std::uint16_t code, Modifiers modifiers = {}) {
  return keyEvent(KeyEvent::Kind::down, code, modifiers);
}
inline KeyEvent repeat(std::uint16_t code, Modifiers modifiers = {}) {
  return keyEvent(KeyEvent::Kind::down, code, modifiers, true);
}
inline KeyEvent up(std::uint16_t code, Modifiers modifiers = {}) {
  return keyEvent(KeyEvent::Kind::up, code, modifiers);
}

}  // namespace tovrel::testing
