#include "core/ModifierTapRecognizer.hpp"

namespace tovrel {

namespace {

constexpr std::uint16_t firstModifierKey = Key::modifierKeys.front();

constexpr std::uint16_t bit(std::uint16_t code) {
  return static_cast<std::uint16_t>(1u << (code - firstModifierKey));
}

}  // namespace

bool ModifierTapRecognizer::isHeld(std::uint16_t code) const {
  return Key::isModifierKey(code) && (held_ & bit(code)) != 0;
}

void ModifierTapRecognizer::insert(std::uint16_t code) {
  held_ |= bit(code);
}

void ModifierTapRecognizer::erase(std::uint16_t code) {
  held_ &= static_cast<std::uint16_t>(~bit(code));
}

void ModifierTapRecognizer::reset() {
  held_ = 0;
  candidate_.reset();
  invalidated_ = false;
}

std::optional<std::uint16_t> ModifierTapRecognizer::modifierChanged(std::uint16_t code, bool down,
                                                                    Modifiers others, double now) {
  if (!Key::isModifierKey(code)) return std::nullopt;

  // A key whose family the event no longer reports was released unseen; keeping it would spoil
  // every later tap. Caps Lock and Fn have no family bit to tell, so they stay.
  const Modifiers own = Key::modifierFlag(code);
  for (std::uint16_t heldCode : Key::modifierKeys) {
    if (!isHeld(heldCode) || heldCode == code) continue;
    const Modifiers family = Key::modifierFlag(heldCode);
    if (family.isEmpty() || family == own || others.contains(family)) continue;
    erase(heldCode);
  }

  if (down) {
    erase(code);  // a repeated press counts once
    if (heldIsEmpty()) {
      candidate_ = code;
      candidateStart_ = now;
      invalidated_ = false;
    } else {
      invalidated_ = true;
    }
    insert(code);
    return std::nullopt;
  }

  if (!isHeld(code)) {
    if (heldIsEmpty()) reset();
    return std::nullopt;
  }
  erase(code);
  if (!invalidated_ && candidate_ == code && heldIsEmpty()) {
    const bool inTime = now - candidateStart_ <= maxDuration_;
    reset();
    if (inTime) return code;
    return std::nullopt;
  }
  if (heldIsEmpty()) reset();
  return std::nullopt;
}

}  // namespace tovrel
