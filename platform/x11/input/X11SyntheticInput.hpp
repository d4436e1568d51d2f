#pragma once

// The self-test's keyboard and mouse on X: XTest on a connection of its own, flushed after every
// event so each reaches the server at once. Nothing goes into the own-event ledger, so the tap
// takes these events for hardware input. The connection is opened on first use: a program that
// never runs the self-test never opens it.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/SyntheticInput.hpp"
#include "platform/x11/X11Errors.hpp"

namespace tovrel::platform::x11 {

class X11SyntheticInput : public SyntheticInput {
 public:
  // `displayName` as for XOpenDisplay (nullptr: $DISPLAY).
  explicit X11SyntheticInput(const char* displayName = nullptr);
  ~X11SyntheticInput() override;

  bool available() override;
  bool key(std::uint16_t keyCode, bool down, Modifiers modifiers = {}) override;
  bool modifierKey(std::uint16_t keyCode, bool down) override;
  void setAvoidedModifierKeys(std::vector<std::uint16_t> keyCodes) override;
  bool movePointer(Point to) override;
  bool leftButton(bool down, Point at) override;
  std::optional<Point> pointerLocation() override;
  bool leftButtonDown() override;
  void releaseAll() override;
  std::unique_ptr<SyntheticRunConditions> holdRunConditions() override;
  std::string lastProblem() const override;

 private:
  Display* connection();  // under mutex_
  bool post(std::uint16_t keyCode, bool down);
  bool fail(std::string problem);

  mutable std::mutex mutex_;
  std::string displayName_;
  bool useDefaultDisplay_ = true;
  DisplayPtr display_;
  bool triedToOpen_ = false;
  std::vector<std::uint16_t> heldKeys_;  // in the order they went down
  bool leftHeld_ = false;
  std::vector<std::uint16_t> avoided_;
  std::string problem_;
};

}  // namespace tovrel::platform::x11
