#include "app/settings/controls/ShortcutFieldState.hpp"

#include <utility>

namespace tovrel::settings {

void ShortcutFieldState::startRecording() {
  pending_.reset();
  problems_.clear();
  recording_ = true;
}

void ShortcutFieldState::gestureReported(Gesture gesture) {
  if (recording_) pending_ = gesture;
}

void ShortcutFieldState::cancel() {
  recording_ = false;
  pending_.reset();
}

void ShortcutFieldState::save(const SaveFunction& onSave) {
  if (auto gesture = gestureToSave()) saveAnswered(onSave ? onSave(*gesture) : Problems{});
}

void ShortcutFieldState::saveAnswered(Problems problems) {
  problems_ = std::move(problems);
  recording_ = false;
  if (problems_.empty()) pending_.reset();
}

void ShortcutFieldState::keepExisting() {
  problems_.clear();
  recording_ = false;
  pending_.reset();
}

std::optional<Gesture> ShortcutFieldState::gestureToReplace() const {
  if (problems_.empty()) return std::nullopt;
  return pending_;
}

void ShortcutFieldState::replace(const ReplaceFunction& onReplace) {
  if (!onReplace) return;
  if (auto gesture = gestureToReplace()) replaceAnswered(onReplace(*gesture));
}

void ShortcutFieldState::replaceAnswered(Problems problems) {
  problems_ = std::move(problems);
  if (problems_.empty()) {
    recording_ = false;
    pending_.reset();
  }
}

void ShortcutFieldState::chooseAnother() {
  problems_.clear();
  pending_.reset();
  recording_ = true;
}

void ShortcutFieldState::restoreDefault(std::optional<Gesture> defaultGesture,
                                        const SaveFunction& onSave) {
  if (defaultGesture && onSave) buttonAnswered(onSave(defaultGesture));
}

void ShortcutFieldState::remove(const SaveFunction& onSave) {
  if (onSave) buttonAnswered(onSave(std::nullopt));
}

bool ShortcutFieldState::showsReplace(bool ownerCanReplace) const {
  return ownerCanReplace && pending_.has_value() && !problems_.empty();
}

bool ShortcutFieldState::showsRestore(const std::optional<Gesture>& gesture,
                                      const std::optional<Gesture>& defaultGesture) {
  return defaultGesture.has_value() && gesture != defaultGesture;
}

bool ShortcutFieldState::showsRemove(const std::optional<Gesture>& gesture, bool allowsClear) {
  return gesture.has_value() && allowsClear;
}

namespace fieldText {

std::string keyCaps(const std::optional<Gesture>& gesture, const std::string& placeholder) {
  return gesture ? gesture->displayName() : placeholder;
}

std::string changeHelp(const std::string& title) {
  return "Change " + title;
}

std::string keyCapsAccessibleName(const std::string& title, const std::optional<Gesture>& gesture) {
  return title + ": " + (gesture ? gesture->displayName() : std::string("none")) + ". Change";
}

std::string restoreHelp(const Gesture& defaultGesture) {
  return "Restore default: " + defaultGesture.displayName();
}

std::string restoreAccessibleName(const std::string& title) {
  return "Restore default for " + title;
}

std::string removeAccessibleName(const std::string& title, const Gesture& gesture) {
  return "Remove " + gesture.displayName() + " from " + title;
}

std::string pill(const std::optional<Gesture>& pending) {
  return pending ? pending->displayName() : std::string(pressKeys);
}

std::string pillAccessibleName(const std::string& title, const std::optional<Gesture>& pending) {
  return "Recording " + title + ". " +
         (pending ? pending->displayName() : std::string("No key yet"));
}

}  // namespace fieldText

}  // namespace tovrel::settings
