#pragma once

// The in-memory synthetic input: it records every call in order and keeps the pointer, the left
// button and the held keys as a desktop would, so a test can read back what a run posted.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/SyntheticInput.hpp"

namespace tovrel::platform::fake {

struct FakeSyntheticPost {
  enum class Kind { key, modifierKey, move, leftButton };
  Kind kind = Kind::key;
  std::uint16_t keyCode = 0;
  bool down = false;
  Modifiers modifiers;
  Point location;
  bool operator==(const FakeSyntheticPost&) const = default;
};

class FakeSyntheticInput : public SyntheticInput {
 public:
  bool available() override { return !unavailable; }
  bool key(std::uint16_t keyCode, bool down, Modifiers modifiers = {}) override;
  bool modifierKey(std::uint16_t keyCode, bool down) override;
  void setAvoidedModifierKeys(std::vector<std::uint16_t> keyCodes) override {
    avoided = std::move(keyCodes);
  }
  bool movePointer(Point to) override;
  bool leftButton(bool down, Point at) override;
  std::optional<Point> pointerLocation() override;
  bool leftButtonDown() override { return leftDown; }
  void releaseAll() override;
  std::unique_ptr<SyntheticRunConditions> holdRunConditions() override;
  std::string lastProblem() const override { return problem; }

  // The desktop's side, for tests to set and read.
  bool unavailable = false;
  std::set<std::uint16_t> keysWithoutKey;  // codes this keyboard refuses
  std::vector<FakeSyntheticPost> posts;
  std::vector<std::uint16_t> held;  // in the order they went down
  std::vector<std::uint16_t> avoided;
  Point pointer;
  bool leftDown = false;
  int releaseAllCount = 0;
  int runConditionsHeld = 0;  // tokens alive now
  int runConditionsTaken = 0;
  std::string problem;

 private:
  bool unreachable();
  bool refuse(std::uint16_t keyCode);
  void track(std::uint16_t keyCode, bool down);
};

}  // namespace tovrel::platform::fake
