#pragma once

// Which modifier keys a synthetic key event needs pressed around it, in the program's key codes.
// Kept apart from Xlib so it can be checked without a server.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "core/Keys.hpp"

namespace tovrel::platform::x11 {

struct KeyStep {
  std::uint16_t keyCode = 0;
  bool down = false;
  bool operator==(const KeyStep&) const = default;
};

// The modifier family a key belongs to; nothing for a key that is no modifier.
std::optional<Modifiers> modifierFamily(std::uint16_t keyCode);

// The key that stands for `family` in a chord: the left one, unless it is avoided and the right
// one is not.
std::uint16_t chordKeyFor(Modifiers family, std::span<const std::uint16_t> avoided);

// Every step that posts `keyCode` going `down` with `modifiers` held: the families not yet held
// (by `held` or by the key itself) are pressed first, in the order Control, Option, Shift,
// Command, and released after it in reverse order.
std::vector<KeyStep> chordSteps(std::uint16_t keyCode, bool down, Modifiers modifiers,
                                std::span<const std::uint16_t> held,
                                std::span<const std::uint16_t> avoided);

}  // namespace tovrel::platform::x11
