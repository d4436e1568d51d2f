// How Moving is entered and left, with and without a separate exit key, and the program's own
// settings window staying usable while a mode is on.

#include <QLineEdit>
#include <QWidget>

#include "app/model/AppModel.hpp"
#include "app/selftest/LiveSelfTest.hpp"
#include "system/NavigationService.hpp"

namespace tovrel::selftest {

using detail::boolText;
using detail::oneDecimal;

void LiveSelfTest::separateExitOn() {
  activateFixture();
  ensureOff();
  clickField("typing");
  auto isCursor = [this] { return navigation().mode() == InteractionMode::cursor; };
  tapModifier(Key::rightOption, isCursor, 1.0);
  tapModifier(
      Key::rightOption, [] { return false; }, 0.3);
  const bool stillOn = navigation().mode() == InteractionMode::cursor;
  press(Key::escape);
  wait(150);
  const std::string m2 = modeName();
  record({"L16",
          {"A25"},
          "Separate exit on: entry is enter-only, Escape exits",
          stillOn && m2 == "off",
          "After a second " + Gesture::modifierTap(Key::rightOption).displayName() + ": " +
              (stillOn ? "still on" : "turned off") + "; after Escape: " + m2 + ".",
          {}});
}

void LiveSelfTest::separateExitOff() {
  TovrelConfig changed = model_.config();
  changed.cursorEntry.separateExit = false;
  model_.commit(changed, "Self-test: Cursor exit uses the entry");
  activateFixture();
  ensureOff();
  auto isCursor = [this] { return navigation().mode() == InteractionMode::cursor; };
  auto isOff = [this] { return navigation().mode() == InteractionMode::off; };
  tapModifier(Key::rightOption, isCursor, 1.0);
  press(Key::escape);
  wait(150);
  const bool escapeKept = navigation().mode() == InteractionMode::cursor;
  tapModifier(Key::rightOption, isOff, 1.0);
  const bool tapTurnedOff = navigation().mode() == InteractionMode::off;
  tapModifier(Key::rightOption, isCursor, 1.0);
  pressClickEntry();
  wait(250);
  const bool switched = navigation().mode() == InteractionMode::click;
  press(Key::escape);
  wait(150);
  TovrelConfig restored = model_.config();
  restored.cursorEntry.separateExit = true;
  model_.commit(restored, "Self-test: Cursor exit restored");
  record({"L17",
          {"A26"},
          "Separate exit off: entry toggles, Escape is ordinary, the Click entry switches modes",
          escapeKept && tapTurnedOff && switched,
          "Escape kept Cursor on: " + boolText(escapeKept) +
              "; second tap turned it off: " + boolText(tapTurnedOff) +
              "; The Click shortcut switched to Click: " + boolText(switched) + ".",
          {}});
  ensureOff();
}

void LiveSelfTest::settingsEditing() {
  activateFixture();
  ensureOff();
  tapModifier(
      Key::rightOption, [this] { return navigation().mode() == InteractionMode::cursor; }, 1.0);
  if (model_.page() != SettingsPage::click) model_.setPage(SettingsPage::click);
  QWidget* window = showSettings_ ? showSettings_() : nullptr;
  wait(900);
  QLineEdit* field = window ? editableField(window) : nullptr;
  if (field == nullptr) {
    record({"L18",
            {"A15"},
            "Settings fields work while a mode is on",
            false,
            "No editable field found in Settings.",
            {}});
    ensureOff();
    return;
  }
  const QString saved = field->text();
  field->setFocus(Qt::OtherFocusReason);
  field->setCursorPosition(static_cast<int>(field->text().size()));
  wait(200);
  const Point p0 = pointer();
  type("ijk");
  wait(300);
  const std::string typed = field->text().toStdString();
  const Point p1 = pointer();
  const bool paused = navigation().editingSettings();
  const bool cursorOn = navigation().mode() == InteractionMode::cursor;
  field->setText(saved);
  field->clearFocus();
  wait(200);
  const double moved = detail::distance(p0, p1);
  record({"L18",
          {"A15"},
          "Typing in a Settings field while Cursor mode is on edits the field only",
          typed.ends_with("ijk") && paused && moved < 1 && cursorOn,
          "Field ends with “" + detail::lastCharacters(typed, 3) + "”; pointer moved " +
              oneDecimal(moved) + " px; paused for editing: " + boolText(paused) +
              "; Cursor mode still selected: " + boolText(cursorOn) + ".",
          {}});
  navigation().stopNavigation();
  window->hide();
  activateFixture();
}

}  // namespace tovrel::selftest
