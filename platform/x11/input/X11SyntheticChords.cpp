#include "platform/x11/input/X11SyntheticChords.hpp"

#include <algorithm>

namespace tovrel::platform::x11 {

namespace {

struct Family {
  Modifiers modifier;
  std::uint16_t left;
  std::uint16_t right;
};

// In the order a person usually presses them.
const Family families[] = {
    {Modifiers::control, Key::leftControl, Key::rightControl},
    {Modifiers::option, Key::leftOption, Key::rightOption},
    {Modifiers::shift, Key::leftShift, Key::rightShift},
    {Modifiers::command, Key::leftCommand, Key::rightCommand},
};

bool contains(std::span<const std::uint16_t> codes, std::uint16_t code) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

}  // namespace

std::optional<Modifiers> modifierFamily(std::uint16_t keyCode) {
  for (const Family& family : families)
    if (keyCode == family.left || keyCode == family.right) return family.modifier;
  return std::nullopt;
}

std::uint16_t chordKeyFor(Modifiers family, std::span<const std::uint16_t> avoided) {
  for (const Family& candidate : families)
    if (candidate.modifier == family)
      return contains(avoided, candidate.left) && !contains(avoided, candidate.right)
                 ? candidate.right
                 : candidate.left;
  return Key::leftShift;  // not reached for the four families
}

std::vector<KeyStep> chordSteps(std::uint16_t keyCode, bool down, Modifiers modifiers,
                                std::span<const std::uint16_t> held,
                                std::span<const std::uint16_t> avoided) {
  std::vector<std::uint16_t> pressed;
  const auto ownFamily = modifierFamily(keyCode);
  for (const Family& family : families) {
    if (!modifiers.contains(family.modifier)) continue;
    if (ownFamily == family.modifier) continue;
    if (contains(held, family.left) || contains(held, family.right)) continue;
    pressed.push_back(chordKeyFor(family.modifier, avoided));
  }
  std::vector<KeyStep> steps;
  for (std::uint16_t modifier : pressed)
    steps.push_back({modifier, true});
  steps.push_back({keyCode, down});
  for (auto it = pressed.rbegin(); it != pressed.rend(); ++it)
    steps.push_back({*it, false});
  return steps;
}

}  // namespace tovrel::platform::x11
