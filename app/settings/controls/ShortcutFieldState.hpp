#pragma once

// The shortcut field's own state, what it lets the user do in each state, and every text it shows
// or gives to assistive technology, apart from any widget.
//
// The owner's functions (save, replace) may refresh or even rebuild the page that holds the field.
// Each transition that calls one is therefore also offered in two halves: what to hand to the
// owner, and what the owner's answer does. A widget calls the owner itself between the halves and
// goes on only if it still exists.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/Keys.hpp"

namespace tovrel::settings {

// The owner's answer to a change: the problems that refused it, none when it was accepted.
using Problems = std::vector<std::string>;
// Asked to set the gesture; nothing asks to remove it.
using SaveFunction = std::function<Problems(std::optional<Gesture>)>;
// Asked to take the gesture over from the binding it conflicts with.
using ReplaceFunction = std::function<Problems(Gesture)>;

class ShortcutFieldState {
 public:
  bool recording() const { return recording_; }
  const std::optional<Gesture>& pending() const { return pending_; }
  const Problems& problems() const { return problems_; }

  // The key cap was pressed: record afresh.
  void startRecording();
  // The recorder heard a gesture; a later one replaces it. Ignored unless recording.
  void gestureReported(Gesture gesture);
  // "Cancel", or Escape where it cancels: the problems stay.
  void cancel();

  // "Save": always closes the recorder; a refusal keeps the pending gesture for "Replace".
  // Nothing happens while nothing is pending.
  void save(const SaveFunction& onSave);
  std::optional<Gesture> gestureToSave() const { return pending_; }
  void saveAnswered(Problems problems);

  // "Keep existing".
  void keepExisting();
  // "Replace": only when there are problems and a pending gesture; a refusal changes nothing but
  // the problems shown.
  void replace(const ReplaceFunction& onReplace);
  std::optional<Gesture> gestureToReplace() const;
  void replaceAnswered(Problems problems);
  // "Choose another key".
  void chooseAnother();

  // The restore and remove buttons: whatever the owner answers is shown.
  void restoreDefault(std::optional<Gesture> defaultGesture, const SaveFunction& onSave);
  void remove(const SaveFunction& onSave);
  void buttonAnswered(Problems problems) { problems_ = std::move(problems); }

  bool saveEnabled() const { return pending_.has_value(); }
  // "Replace" is offered with problems when the owner can replace and something is pending.
  bool showsReplace(bool ownerCanReplace) const;
  static bool showsRestore(const std::optional<Gesture>& gesture,
                           const std::optional<Gesture>& defaultGesture);
  static bool showsRemove(const std::optional<Gesture>& gesture, bool allowsClear);

 private:
  bool recording_ = false;
  std::optional<Gesture> pending_;
  Problems problems_;
};

// The texts of the field. `title` says what the gesture is for ("Moving start").
namespace fieldText {

inline constexpr const char* cancel = "Cancel";
inline constexpr const char* save = "Save";
inline constexpr const char* keepExisting = "Keep existing";
inline constexpr const char* replace = "Replace";
inline constexpr const char* chooseAnother = "Choose another key";
inline constexpr const char* removeHelp = "Remove this key";
inline constexpr const char* pressKeys = "Press keys…";

// The key cap: the gesture, or the placeholder when there is none.
std::string keyCaps(const std::optional<Gesture>& gesture, const std::string& placeholder);
std::string changeHelp(const std::string& title);
std::string keyCapsAccessibleName(const std::string& title, const std::optional<Gesture>& gesture);
std::string restoreHelp(const Gesture& defaultGesture);
std::string restoreAccessibleName(const std::string& title);
std::string removeAccessibleName(const std::string& title, const Gesture& gesture);
std::string pill(const std::optional<Gesture>& pending);
std::string pillAccessibleName(const std::string& title, const std::optional<Gesture>& pending);

}  // namespace fieldText

}  // namespace tovrel::settings
