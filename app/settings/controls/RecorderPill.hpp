#pragma once

// The shortcut field while it records: a capsule that shows the key heard so far and is itself the
// widget that hears the keys. It takes the keyboard as soon as it is on screen and keeps every key
// from the window's shortcuts, its default button and focus navigation, so Ctrl chords, Return,
// Escape and Tab are recorded rather than acted on. It adopts SuspendsNavigation: while it has the
// focus the navigation service routes nothing and starts no mode.

#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

#include "app/settings/controls/KeyCapture.hpp"
#include "platform/Application.hpp"

class QKeyEvent;

namespace tovrel::settings {

// The toolkit's modifiers in the program's vocabulary: Meta (the Super key) is Command, Alt is
// Option.
Modifiers modifiersOf(Qt::KeyboardModifiers modifiers);

class RecorderPill : public QWidget, public platform::SuspendsNavigation {
 public:
  // `application` tells the key codes of the events; it must outlive the pill.
  explicit RecorderPill(platform::ApplicationServices& application, QWidget* parent = nullptr);

  void setKind(RecorderKind kind) { capture_.setKind(kind); }
  RecorderKind kind() const { return capture_.kind(); }
  // Called with each gesture heard, and when Escape gives up where it does.
  void setOnGesture(std::function<void(Gesture)> onGesture) { onGesture_ = std::move(onGesture); }
  void setOnCancel(std::function<void()> onCancel) { onCancel_ = std::move(onCancel); }
  // What the capsule shows and says: the title of what is recorded and the gesture heard so far.
  void setContent(const QString& title, const std::optional<Gesture>& pending);
  const QString& shownText() const { return text_; }
  bool showsPending() const { return hasPending_; }

  const CaptureLogic& capture() const { return capture_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  bool event(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void key(QKeyEvent& event, bool pressed);
  void report(const CaptureOutcome& outcome);

  platform::ApplicationServices& application_;
  CaptureLogic capture_;
  HeldModifierKeys held_;
  std::function<void(Gesture)> onGesture_;
  std::function<void()> onCancel_;
  QString text_;
  bool hasPending_ = false;
};

}  // namespace tovrel::settings
