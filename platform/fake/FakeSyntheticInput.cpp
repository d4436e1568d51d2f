#include "platform/fake/FakeSyntheticInput.hpp"

#include <algorithm>

namespace tovrel::platform::fake {

namespace {

class FakeRunConditions : public SyntheticRunConditions {
 public:
  explicit FakeRunConditions(int& alive) : alive_(alive) { ++alive_; }
  ~FakeRunConditions() override { --alive_; }
  bool autoRepeatOff() const override { return true; }
  bool keymapKnown() const override { return true; }
  std::string problem() const override { return {}; }

 private:
  int& alive_;
};

}  // namespace

bool FakeSyntheticInput::unreachable() {
  if (unavailable) {
    problem = "No desktop answers.";
    return true;
  }
  problem.clear();
  return false;
}

bool FakeSyntheticInput::refuse(std::uint16_t keyCode) {
  if (unreachable()) return true;
  if (keysWithoutKey.contains(keyCode)) {
    problem = "Key code " + std::to_string(keyCode) + " has no key on this keyboard.";
    return true;
  }
  problem.clear();
  return false;
}

void FakeSyntheticInput::track(std::uint16_t keyCode, bool down) {
  auto found = std::find(held.begin(), held.end(), keyCode);
  if (down && found == held.end()) held.push_back(keyCode);
  if (!down && found != held.end()) held.erase(found);
}

bool FakeSyntheticInput::key(std::uint16_t keyCode, bool down, Modifiers modifiers) {
  if (refuse(keyCode)) return false;
  posts.push_back({FakeSyntheticPost::Kind::key, keyCode, down, modifiers, {}});
  track(keyCode, down);
  return true;
}

bool FakeSyntheticInput::modifierKey(std::uint16_t keyCode, bool down) {
  if (refuse(keyCode)) return false;
  posts.push_back({FakeSyntheticPost::Kind::modifierKey, keyCode, down, {}, {}});
  track(keyCode, down);
  return true;
}

bool FakeSyntheticInput::movePointer(Point to) {
  if (unreachable()) return false;
  posts.push_back({FakeSyntheticPost::Kind::move, 0, false, {}, to});
  pointer = to;
  return true;
}

bool FakeSyntheticInput::leftButton(bool down, Point at) {
  if (unreachable()) return false;
  posts.push_back({FakeSyntheticPost::Kind::leftButton, 0, down, {}, at});
  pointer = at;
  leftDown = down;
  return true;
}

std::optional<Point> FakeSyntheticInput::pointerLocation() {
  if (unavailable) return std::nullopt;
  return pointer;
}

void FakeSyntheticInput::releaseAll() {
  ++releaseAllCount;
  while (!held.empty()) {
    posts.push_back({FakeSyntheticPost::Kind::key, held.back(), false, {}, {}});
    held.pop_back();
  }
  if (leftDown) {
    posts.push_back({FakeSyntheticPost::Kind::leftButton, 0, false, {}, pointer});
    leftDown = false;
  }
}

std::unique_ptr<SyntheticRunConditions> FakeSyntheticInput::holdRunConditions() {
  if (unavailable) return nullptr;
  ++runConditionsTaken;
  return std::make_unique<FakeRunConditions>(runConditionsHeld);
}

}  // namespace tovrel::platform::fake
