#include "app/settings/controls/KeyCapture.hpp"

namespace tovrel::settings {

std::string hintText(RecorderKind kind) {
  switch (kind) {
    case RecorderKind::entry:
      return "Tap a single modifier such as " + Key::name(Key::rightOption) +
             ", or press a key with modifiers.";
    case RecorderKind::exit:
      return "Press the key that should leave the mode. " + Key::name(Key::escape) + " records " +
             Key::name(Key::escape) + " here.";
    case RecorderKind::action:
      break;
  }
  return "Plain keys work here. Press a modifier alone to bind it as a hold.";
}

int modifierCount(Modifiers modifiers) {
  int count = 0;
  for (Modifiers flag :
       {Modifiers::command, Modifiers::shift, Modifiers::option, Modifiers::control})
    if (modifiers.contains(flag)) ++count;
  return count;
}

void HeldModifierKeys::press(std::uint16_t code) {
  if (Key::isModifierKey(code)) held_ |= static_cast<std::uint16_t>(1U << (code - 54));
}

void HeldModifierKeys::release(std::uint16_t code) {
  if (Key::isModifierKey(code)) held_ &= static_cast<std::uint16_t>(~(1U << (code - 54)));
}

bool HeldModifierKeys::isDown(std::uint16_t code) const {
  return Key::isModifierKey(code) && (held_ & (1U << (code - 54))) != 0;
}

Modifiers HeldModifierKeys::modifiers() const {
  Modifiers result;
  for (std::uint16_t code : Key::modifierKeys)
    if (isDown(code)) result |= Key::modifierFlag(code);
  return result;
}

CaptureOutcome CaptureLogic::keyDown(std::uint16_t code, Modifiers modifiers, bool isRepeat) {
  // A key pressed while a modifier is down makes a chord of it, not a tap.
  modifierCandidate_.reset();
  const Modifiers chord = modifiers & Modifiers{Modifiers::command, Modifiers::shift,
                                                Modifiers::option, Modifiers::control};
  if (code == Key::escape && kind_ != RecorderKind::exit && chord.isEmpty())
    return CaptureOutcome::cancel();
  if (isRepeat) return CaptureOutcome::nothing();
  return CaptureOutcome::of(Gesture::key(code, chord));
}

CaptureOutcome CaptureLogic::modifierKey(std::uint16_t code, bool down, Modifiers held) {
  if (!Key::isModifierKey(code)) return CaptureOutcome::nothing();
  if (down) {
    // Caps Lock is a lock here, released at once: it never becomes the candidate, nor does Fn.
    // The second key of a pair (Right Shift beside Left Shift) still counts one and takes over.
    if (modifierCount(held) == 1 && !Key::modifierFlag(code).isEmpty())
      modifierCandidate_ = code;
    else
      modifierCandidate_.reset();
    return CaptureOutcome::nothing();
  }
  if (modifierCandidate_ != code) return CaptureOutcome::nothing();
  modifierCandidate_.reset();
  if (kind_ == RecorderKind::entry) return CaptureOutcome::of(Gesture::modifierTap(code));
  return CaptureOutcome::of(Gesture::key(code, Modifiers::none));
}

}  // namespace tovrel::settings
