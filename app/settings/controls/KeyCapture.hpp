#pragma once

// What the shortcut recorder makes of the keys pressed while it records, apart from any widget:
// which gesture a key or a lone modifier stands for, and when Escape gives up instead.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/Keys.hpp"

namespace tovrel::settings {

// What is being recorded; it decides what Escape and a lone modifier mean.
enum class RecorderKind {
  entry,   // a mode's start gesture: Escape cancels, a lone modifier is a tap
  exit,    // a mode's stop gesture: Escape is recorded, a lone modifier is that key alone
  action,  // a cursor-mode action binding: Escape cancels, a lone modifier is held as a key
};

// The line under the recorder that says what to press.
std::string hintText(RecorderKind kind);

// How many of Command, Shift, Option and Control are in the set (0 to 4); other bits never count.
int modifierCount(Modifiers modifiers);

// The modifier keys held down, by key code. Unlike the toolkit's modifier state it tells left
// from right and is already up to date on the modifier key's own event.
class HeldModifierKeys {
 public:
  // A press or release of a modifier key (54 to 63); any other code changes nothing.
  void press(std::uint16_t code);
  void release(std::uint16_t code);
  bool isDown(std::uint16_t code) const;
  // The modifiers the held keys account for. Caps Lock and Fn account for none.
  Modifiers modifiers() const;
  void clear() { held_ = 0; }

 private:
  std::uint16_t held_ = 0;  // bit i: key code 54 + i is down
};

// What one key event means to the recorder.
struct CaptureOutcome {
  enum class Kind { nothing, gesture, cancel };
  Kind kind = Kind::nothing;
  Gesture gesture;

  static CaptureOutcome nothing() { return {}; }
  static CaptureOutcome cancel() { return {Kind::cancel, Gesture()}; }
  static CaptureOutcome of(Gesture gesture) { return {Kind::gesture, gesture}; }
  bool operator==(const CaptureOutcome&) const = default;
};

// One recording's decisions. A lone modifier is reported on its release, and only when no other
// key or modifier joined it while it was down; there is no time limit between press and release.
//
// Caps Lock is a lock on this desktop, not a held modifier, so Escape typed with Caps Lock on
// simply cancels where Escape cancels.
class CaptureLogic {
 public:
  explicit CaptureLogic(RecorderKind kind = RecorderKind::action) : kind_(kind) {}

  // A key that is not a modifier key went down. `modifiers` are those held with it (Command,
  // Shift, Option, Control; nothing else enters a gesture).
  CaptureOutcome keyDown(std::uint16_t code, Modifiers modifiers, bool isRepeat);
  // A modifier key (54 to 63) went down or up; `held` are the modifiers of every modifier key
  // down after the event.
  CaptureOutcome modifierKey(std::uint16_t code, bool down, Modifiers held);

  RecorderKind kind() const { return kind_; }
  void setKind(RecorderKind kind) { kind_ = kind; }
  // The modifier key that is down alone and is reported when it comes up.
  std::optional<std::uint16_t> modifierCandidate() const { return modifierCandidate_; }
  void reset() { modifierCandidate_.reset(); }

 private:
  RecorderKind kind_;
  std::optional<std::uint16_t> modifierCandidate_;
};

}  // namespace tovrel::settings
