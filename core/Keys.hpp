#pragma once

// The keyboard vocabulary: key codes and their names, modifier sets, gestures and key events.
//
// Key codes are the 16-bit virtual key codes of a US (ANSI) layout; the settings file stores them,
// and the desktop backends translate their own key codes to and from them.

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "core/Json.hpp"

namespace tovrel {

// A set of the four modifier bits in one byte. A value read from a file keeps any other bits it
// carried; they take part in equality but no name function shows them.
struct Modifiers {
  std::uint8_t rawValue = 0;

  constexpr Modifiers() = default;
  constexpr explicit Modifiers(std::uint8_t raw) : rawValue(raw) {}
  // The union of the listed members.
  constexpr Modifiers(std::initializer_list<Modifiers> members) {
    for (Modifiers member : members)
      rawValue |= member.rawValue;
  }

  static const Modifiers command;
  static const Modifiers shift;
  static const Modifiers option;
  static const Modifiers control;
  static const Modifiers none;

  constexpr bool isEmpty() const { return rawValue == 0; }
  // Every bit of `other` is in this set.
  constexpr bool contains(Modifiers other) const {
    return (rawValue & other.rawValue) == other.rawValue;
  }
  constexpr bool isSubset(Modifiers of) const { return of.contains(*this); }
  constexpr bool isDisjoint(Modifiers with) const { return (rawValue & with.rawValue) == 0; }

  constexpr Modifiers operator|(Modifiers other) const {
    return Modifiers(static_cast<std::uint8_t>(rawValue | other.rawValue));
  }
  constexpr Modifiers operator&(Modifiers other) const {
    return Modifiers(static_cast<std::uint8_t>(rawValue & other.rawValue));
  }
  constexpr Modifiers operator^(Modifiers other) const {
    return Modifiers(static_cast<std::uint8_t>(rawValue ^ other.rawValue));
  }
  // The members of this set that are not in `other`.
  constexpr Modifiers operator-(Modifiers other) const {
    return Modifiers(static_cast<std::uint8_t>(rawValue & ~other.rawValue));
  }
  constexpr Modifiers& operator|=(Modifiers other) { return *this = *this | other; }
  constexpr Modifiers& operator&=(Modifiers other) { return *this = *this & other; }
  constexpr Modifiers& operator^=(Modifiers other) { return *this = *this ^ other; }
  constexpr Modifiers& operator-=(Modifiers other) { return *this = *this - other; }
  constexpr void insert(Modifiers member) { *this |= member; }
  constexpr void remove(Modifiers member) { *this -= member; }

  constexpr bool operator==(const Modifiers&) const = default;

  json::Value toJson() const { return rawValue; }
  static Modifiers fromJson(const json::Reader& reader);
};

inline constexpr Modifiers Modifiers::command{1};
inline constexpr Modifiers Modifiers::shift{2};
inline constexpr Modifiers Modifiers::option{4};
inline constexpr Modifiers Modifiers::control{8};
inline constexpr Modifiers Modifiers::none{0};

// Command, Option and Control: with any of them a key is a shortcut rather than typing.
inline constexpr Modifiers shortcutModifiers{Modifiers::command, Modifiers::option,
                                             Modifiers::control};

namespace Key {

inline constexpr std::uint16_t a = 0;
inline constexpr std::uint16_t s = 1;
inline constexpr std::uint16_t d = 2;
inline constexpr std::uint16_t f = 3;
inline constexpr std::uint16_t h = 4;
inline constexpr std::uint16_t g = 5;
inline constexpr std::uint16_t z = 6;
inline constexpr std::uint16_t x = 7;
inline constexpr std::uint16_t c = 8;
inline constexpr std::uint16_t v = 9;
inline constexpr std::uint16_t b = 11;
inline constexpr std::uint16_t q = 12;
inline constexpr std::uint16_t w = 13;
inline constexpr std::uint16_t e = 14;
inline constexpr std::uint16_t r = 15;
inline constexpr std::uint16_t y = 16;
inline constexpr std::uint16_t t = 17;
inline constexpr std::uint16_t o = 31;
inline constexpr std::uint16_t u = 32;
inline constexpr std::uint16_t i = 34;
inline constexpr std::uint16_t p = 35;
inline constexpr std::uint16_t returnKey = 36;
inline constexpr std::uint16_t l = 37;
inline constexpr std::uint16_t j = 38;
inline constexpr std::uint16_t k = 40;
inline constexpr std::uint16_t semicolon = 41;
inline constexpr std::uint16_t comma = 43;
inline constexpr std::uint16_t slash = 44;
inline constexpr std::uint16_t n = 45;
inline constexpr std::uint16_t m = 46;
inline constexpr std::uint16_t period = 47;
inline constexpr std::uint16_t tab = 48;
inline constexpr std::uint16_t space = 49;
inline constexpr std::uint16_t deleteKey = 51;  // "delete" is a C++ keyword
inline constexpr std::uint16_t escape = 53;
// The right Command key has the lower code, unlike Shift, Option and Control.
inline constexpr std::uint16_t rightCommand = 54;
inline constexpr std::uint16_t leftCommand = 55;
inline constexpr std::uint16_t leftShift = 56;
inline constexpr std::uint16_t capsLock = 57;
inline constexpr std::uint16_t leftOption = 58;
inline constexpr std::uint16_t leftControl = 59;
inline constexpr std::uint16_t rightShift = 60;
inline constexpr std::uint16_t rightOption = 61;
inline constexpr std::uint16_t rightControl = 62;
inline constexpr std::uint16_t function = 63;
inline constexpr std::uint16_t end = 119;
inline constexpr std::uint16_t f1 = 122;
inline constexpr std::uint16_t leftArrow = 123;
inline constexpr std::uint16_t rightArrow = 124;
inline constexpr std::uint16_t downArrow = 125;
inline constexpr std::uint16_t upArrow = 126;

// The keys of the digits 1 to 9: element i is the key of digit i + 1. The 0 key is not here.
inline constexpr std::array<std::uint16_t, 9> digits = {18, 19, 20, 21, 23, 22, 26, 28, 25};

// Both Command, Shift, Option and Control keys, Caps Lock and Fn: the codes 54 through 63.
inline constexpr std::array<std::uint16_t, 10> modifierKeys = {54, 55, 56, 57, 58,
                                                               59, 60, 61, 62, 63};
constexpr bool isModifierKey(std::uint16_t code) {
  return code >= 54 && code <= 63;
}

// What each printable key's cap shows: capital letters, digits, punctuation and "Space".
const std::map<std::uint16_t, std::string>& printableCodes();
std::optional<std::string_view> printableText(std::uint16_t code);

// The display name of any code: a named key, else the key cap text, else "Key <code>".
std::string name(std::uint16_t code);

// "Ctrl Alt Super Shift" for the bits that are set, in that order; empty for none.
std::string modifierName(Modifiers modifiers);

// The modifier bit a modifier key accounts for; none for every other key, Caps Lock and Fn too.
Modifiers modifierFlag(std::uint16_t code);

}  // namespace Key

// What starts or stops a mode or fires an action: a chord of a key with exactly the given
// modifiers, or a lone press and release of one modifier key.
class Gesture {
 public:
  enum class Kind : std::uint8_t { key, modifierTap };

  // The chord of key code 0 without modifiers, so records holding gestures can be built up.
  constexpr Gesture() : Gesture(Kind::key, 0, Modifiers::none) {}

  static constexpr Gesture key(std::uint16_t code, Modifiers modifiers = Modifiers::none) {
    return Gesture(Kind::key, code, modifiers);
  }
  static constexpr Gesture modifierTap(std::uint16_t code) {
    return Gesture(Kind::modifierTap, code, Modifiers::none);
  }

  constexpr Kind kind() const { return kind_; }
  constexpr bool isKey() const { return kind_ == Kind::key; }
  constexpr bool isModifierTap() const { return kind_ == Kind::modifierTap; }
  constexpr std::uint16_t keyCode() const { return code_; }
  // The chord's modifiers; none for a modifier tap.
  constexpr Modifiers modifiers() const { return modifiers_; }

  // "Right Alt tap", "Escape", "Super Shift Space".
  std::string displayName() const;

  constexpr bool operator==(const Gesture&) const = default;
  std::size_t hash() const {
    return (static_cast<std::size_t>(kind_) << 24) | (static_cast<std::size_t>(code_) << 8) |
           modifiers_.rawValue;
  }

  // {"key": {"code": C, "modifiers": M}} or {"modifierTap": {"code": C}}.
  json::Value toJson() const;
  static Gesture fromJson(const json::Reader& reader);

 private:
  constexpr Gesture(Kind kind, std::uint16_t code, Modifiers modifiers)
      : kind_(kind), code_(code), modifiers_(modifiers) {}

  Kind kind_;
  std::uint16_t code_;
  Modifiers modifiers_;
};

// One keyboard event as the core sees it.
struct KeyEvent {
  enum class Kind : std::uint8_t { down, up };

  Kind kind = Kind::down;
  std::uint16_t code = 0;
  Modifiers modifiers;
  bool isRepeat = false;
  bool isModifierKey = false;
  bool typesCharacter = false;
  std::optional<std::string> character;

  // Without `isModifierKey`, the event is a modifier key's exactly when its code is one.
  KeyEvent(Kind kind, std::uint16_t code, Modifiers modifiers, bool isRepeat,
           std::optional<bool> isModifierKey, bool typesCharacter,
           std::optional<std::string> character)
      : kind(kind),
        code(code),
        modifiers(modifiers),
        isRepeat(isRepeat),
        isModifierKey(isModifierKey.value_or(Key::isModifierKey(code))),
        typesCharacter(typesCharacter),
        character(std::move(character)) {}

  bool operator==(const KeyEvent&) const = default;
};

}  // namespace tovrel

template <>
struct std::hash<tovrel::Modifiers> {
  std::size_t operator()(tovrel::Modifiers modifiers) const noexcept { return modifiers.rawValue; }
};

template <>
struct std::hash<tovrel::Gesture> {
  std::size_t operator()(const tovrel::Gesture& gesture) const noexcept { return gesture.hash(); }
};
