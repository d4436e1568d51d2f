#pragma once

// Recognises a lone tap of a modifier key: pressed while no other modifier is held and released
// within a time limit, with no other key, pointer button or modifier in between.

#include <cstdint>
#include <optional>

#include "core/Keys.hpp"

namespace tovrel {

class ModifierTapRecognizer {
 public:
  // `maxDuration`: the longest press in seconds that still counts as a tap.
  explicit ModifierTapRecognizer(double maxDuration) : maxDuration_(maxDuration) {}

  double maxDuration() const { return maxDuration_; }
  bool isHeld(std::uint16_t code) const;
  bool heldIsEmpty() const { return held_ == 0; }
  std::optional<std::uint16_t> candidate() const { return candidate_; }
  double candidateStart() const { return candidateStart_; }
  bool invalidated() const { return invalidated_; }

  // One change of a modifier key. `others`: the modifiers the event reports apart from the
  // changing key's own family. Returns the code of a completed tap.
  std::optional<std::uint16_t> modifierChanged(std::uint16_t code, bool down, Modifiers others,
                                               double now);
  // Any key that is not a modifier, or a pointer button: the pending tap is spoiled.
  void otherInput() { invalidated_ = true; }
  // Forgets held keys and the candidate; the candidate's start time stays.
  void reset();

 private:
  void insert(std::uint16_t code);
  void erase(std::uint16_t code);

  double maxDuration_;
  std::uint16_t held_ = 0;  // bit i: modifier key 54 + i is believed down
  std::optional<std::uint16_t> candidate_;
  double candidateStart_ = 0;
  bool invalidated_ = false;
};

}  // namespace tovrel
