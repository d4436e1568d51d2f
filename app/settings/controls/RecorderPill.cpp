#include "app/settings/controls/RecorderPill.hpp"

#include <QFocusEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <cmath>

#include "app/settings/Theme.hpp"
#include "app/settings/controls/ShortcutFieldState.hpp"

namespace tovrel::settings {

namespace {

constexpr double radius = 6;
constexpr double lineWidth = 1.5;
constexpr int leastWidth = 120;

QFont pillFont() {
  return font(TextStyle::body, QFont::Medium);
}

}  // namespace

Modifiers modifiersOf(Qt::KeyboardModifiers modifiers) {
  Modifiers result;
  if (modifiers & Qt::MetaModifier) result |= Modifiers::command;
  if (modifiers & Qt::ShiftModifier) result |= Modifiers::shift;
  if (modifiers & Qt::AltModifier) result |= Modifiers::option;
  if (modifiers & Qt::ControlModifier) result |= Modifiers::control;
  return result;
}

RecorderPill::RecorderPill(platform::ApplicationServices& application, QWidget* parent)
    : QWidget(parent), application_(application) {
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setContent(QString(), std::nullopt);
}

void RecorderPill::setContent(const QString& title, const std::optional<Gesture>& pending) {
  const QString text = QString::fromStdString(fieldText::pill(pending));
  setAccessibleName(
      QString::fromStdString(fieldText::pillAccessibleName(title.toStdString(), pending)));
  if (text == text_ && pending.has_value() == hasPending_) return;
  text_ = text;
  hasPending_ = pending.has_value();
  updateGeometry();
  update();
}

QSize RecorderPill::sizeHint() const {
  const QFontMetricsF metrics(pillFont());
  const int width = static_cast<int>(std::ceil(metrics.horizontalAdvance(text_) + 2 * 10));
  const int height = static_cast<int>(std::ceil(metrics.height() + 2 * 4));
  return QSize(std::max(width, leastWidth), height);
}

bool RecorderPill::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride:
      // Every key is ours while recording: no window shortcut, menu item or default button.
      event->accept();
      return true;
    case QEvent::KeyPress:
      // Handled here rather than in keyPressEvent so Tab and Backtab are recorded, not used to
      // move the focus.
      key(static_cast<QKeyEvent&>(*event), true);
      return true;
    case QEvent::KeyRelease:
      key(static_cast<QKeyEvent&>(*event), false);
      return true;
    default:
      return QWidget::event(event);
  }
}

void RecorderPill::key(QKeyEvent& event, bool pressed) {
  event.accept();
  const auto code = application_.keyCodeOfOwnKeyEvent(event.nativeScanCode());
  if (!code) return;
  if (Key::isModifierKey(*code)) {
    // Modifier keys arrive as presses and releases; what the recorder wants is the change of the
    // held set after each. A held modifier's repeats change nothing.
    if (event.isAutoRepeat()) return;
    if (pressed)
      held_.press(*code);
    else
      held_.release(*code);
    report(capture_.modifierKey(*code, pressed, held_.modifiers()));
    return;
  }
  if (!pressed) return;
  // The toolkit's modifiers cover keys held since before the pill had the focus; the held set
  // covers a right Alt the keyboard map makes a level switch rather than Alt.
  const Modifiers modifiers = modifiersOf(event.modifiers()) | held_.modifiers();
  report(capture_.keyDown(*code, modifiers, event.isAutoRepeat()));
}

void RecorderPill::report(const CaptureOutcome& outcome) {
  switch (outcome.kind) {
    case CaptureOutcome::Kind::nothing:
      break;
    case CaptureOutcome::Kind::gesture:
      if (onGesture_) onGesture_(outcome.gesture);
      break;
    case CaptureOutcome::Kind::cancel:
      if (onCancel_) onCancel_();
      break;
  }
}

void RecorderPill::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Each time it appears the pill hears afresh.
  capture_.reset();
  held_.clear();
  // Asked on the next turn of the loop, when the pill is really in its window.
  QTimer::singleShot(0, this, [pill = QPointer<RecorderPill>(this)] {
    if (pill && pill->isVisible() && pill->window() != nullptr)
      pill->setFocus(Qt::OtherFocusReason);
  });
}

void RecorderPill::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  // Keys released while the focus is elsewhere never reach the pill: start over when it returns.
  capture_.reset();
  held_.clear();
}

void RecorderPill::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& colours = palette();
  const QRectF box = QRectF(rect());
  QPainterPath shape;
  shape.addRoundedRect(box, radius, radius);
  painter.fillPath(shape, colour(Colour::accent, colours, 0.12));
  const double half = lineWidth / 2;
  painter.setPen(QPen(colour(Colour::accent, colours), lineWidth));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(box.adjusted(half, half, -half, -half), radius - half, radius - half);
  painter.setFont(pillFont());
  painter.setPen(colour(hasPending_ ? Colour::primary : Colour::secondary, colours));
  painter.drawText(box.adjusted(10, 4, -10, -4), Qt::AlignCenter | Qt::TextSingleLine, text_);
}

}  // namespace tovrel::settings
