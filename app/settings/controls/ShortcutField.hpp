#pragma once

// The one control through which the settings window records a key gesture. Idle it shows the
// gesture as a key cap, with buttons to restore the default and to remove the gesture; pressed, it
// records the next chord or lone modifier tap and hands it to its owner only on "Save". The owner
// commits the change and answers with the problems that refused it, which the field shows with
// ways out: keep the existing setting, take the key over ("Replace"), or record another.
//
// The field never writes the configuration itself. Its view state (recording, the gesture heard,
// the problems) belongs to it and survives the owner refreshing the gesture from the model, even
// from inside the owner's own save or replace function.

#include <QString>
#include <QWidget>
#include <optional>

#include "app/settings/controls/KeyCapture.hpp"
#include "app/settings/controls/ShortcutFieldState.hpp"
#include "platform/Application.hpp"

class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace tovrel::settings {

class KeyCapsButton;
class RecorderPill;

class ShortcutField : public QWidget {
 public:
  // `title` says what the gesture is for ("Moving start"); `placeholder` is the cap's text while
  // no gesture is set; `prominent` makes the caps large. A field without `defaultGesture` has no
  // restore button; `allowsClear` offers to remove a set gesture. `application` must outlive the
  // field.
  ShortcutField(platform::ApplicationServices& application, QString title,
                std::optional<Gesture> gesture, RecorderKind kind,
                std::optional<Gesture> defaultGesture, bool allowsClear, QString placeholder,
                bool prominent, SaveFunction onSave, ReplaceFunction onReplace = {},
                QWidget* parent = nullptr);
  ~ShortcutField() override;

  // The owner's refresh from the model: the view state stays as it is.
  void setGesture(std::optional<Gesture> gesture);
  void setDefaultGesture(std::optional<Gesture> defaultGesture);
  void setOnSave(SaveFunction onSave);
  void setOnReplace(ReplaceFunction onReplace);
  void setTitle(QString title);
  void setPlaceholder(QString placeholder);

  const std::optional<Gesture>& gesture() const { return gesture_; }
  const std::optional<Gesture>& defaultGesture() const { return defaultGesture_; }
  RecorderKind kind() const { return kind_; }
  const QString& title() const { return title_; }
  const ShortcutFieldState& state() const { return state_; }
  bool isRecording() const { return state_.recording(); }

  // What the key cap does: record afresh.
  void startRecording();
  // What "Save" does; nothing while nothing is pending.
  void save();

 private:
  void cancel();
  void replace();
  // The restore (`restore` true) and remove buttons.
  void askOwner(bool restore);
  // Shows what the state and the settings say; builds nothing but the problem lines.
  void refresh();
  void refreshIcons();
  void changeEvent(QEvent* event) override;

  platform::ApplicationServices& application_;
  QString title_;
  std::optional<Gesture> gesture_;
  RecorderKind kind_;
  std::optional<Gesture> defaultGesture_;
  bool allowsClear_;
  QString placeholder_;
  bool prominent_;
  SaveFunction onSave_;
  ReplaceFunction onReplace_;
  ShortcutFieldState state_;

  RecorderPill* pill_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* save_ = nullptr;
  KeyCapsButton* keyCaps_ = nullptr;
  QToolButton* restore_ = nullptr;
  QToolButton* remove_ = nullptr;
  QLabel* hint_ = nullptr;
  QWidget* problems_ = nullptr;
  QVBoxLayout* problemLines_ = nullptr;
  QPushButton* keepExisting_ = nullptr;
  QPushButton* replace_ = nullptr;
  QPushButton* chooseAnother_ = nullptr;
  Problems shownProblems_;
};

}  // namespace tovrel::settings
