#include "platform/x11/input/X11Panels.hpp"

#include <QtGui/qguiapplication_platform.h>
#include <QAccessible>
#include <QAccessibleObject>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

// After Qt: X's headers define macros (None, Bool, KeyPress, …) that break Qt's.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
// X names two event types like Qt's; only Qt's are meant below.
#undef KeyPress
#undef KeyRelease

#include <algorithm>
#include <optional>

#include "core/Keys.hpp"
#include "platform/x11/input/X11KeyTable.hpp"
#include "platform/x11/input/X11Modifiers.hpp"
#include "platform/x11/session/X11HotKeys.hpp"

namespace tovrel::platform::x11 {

// --- Modifier flags ----------------------------------------------------------------------------

std::uint64_t PanelModifierFlags::update(std::uint16_t keyCode, bool press, unsigned xState) {
  // Super and Alt sit on their usual rows; the panel has no connection to read the map from.
  std::uint64_t families = 0;
  if (xState & xModifier::shift) families |= eventFlag::shift;
  if (xState & xModifier::control) families |= eventFlag::control;
  if (xState & xModifier::mod1) families |= eventFlag::option;
  if (xState & xModifier::mod4) families |= eventFlag::command;
  // A key released while the panel did not have the keyboard leaves its family's state.
  for (std::uint64_t family :
       {eventFlag::shift, eventFlag::control, eventFlag::option, eventFlag::command})
    if (!(families & family)) heldDevices_ &= ~deviceBitsOf(family);

  for (const ModifierKey& key : modifierKeys) {
    if (key.code != keyCode) continue;
    if (press) {
      heldDevices_ |= key.deviceBit;
      families |= key.familyBit;
    } else {
      heldDevices_ &= ~key.deviceBit;
      if (!(heldDevices_ & deviceBitsOf(key.familyBit))) families &= ~key.familyBit;
    }
  }

  bool capsLock = (xState & xModifier::lock) != 0;
  if (keyCode == Key::capsLock) {
    // The lock changes with the press; the release leaves it as the press set it.
    if (press) {
      capsLock_ = !capsLock;
      capsLockKnown_ = true;
    }
    if (capsLockKnown_) capsLock = capsLock_;
  }
  return families | heldDevices_ | (capsLock ? eventFlag::alphaShift : 0);
}

// --- The window --------------------------------------------------------------------------------

namespace {

constexpr char hiddenFromAccessibility[] = "tovrelHiddenFromAccessibility";

// What assistive technology (and our own discovery) sees of the panel: an invisible node without
// name, role or children, which every walk skips.
class HiddenAccessible : public QAccessibleObject {
 public:
  explicit HiddenAccessible(QObject* object) : QAccessibleObject(object) {}
  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(QCoreApplication::instance());
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text) const override { return {}; }
  QRect rect() const override { return {}; }
  QAccessible::Role role() const override { return QAccessible::NoRole; }
  QAccessible::State state() const override {
    QAccessible::State state;
    state.invisible = true;
    state.offscreen = true;
    return state;
  }
};

QAccessibleInterface* hiddenFactory(const QString&, QObject* object) {
  if (object != nullptr && object->property(hiddenFromAccessibility).toBool())
    return new HiddenAccessible(object);
  return nullptr;
}

// The state a chord needs to be a shortcut rather than typing.
bool isShortcutChord(const QKeyEvent& key) {
  return (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0 &&
         !Key::isModifierKey(keyCodeForXKeycode(key.nativeScanCode()).value_or(0));
}

class CatcherWidget : public QWidget {
 public:
  explicit CatcherWidget(Qt::WindowFlags flags) : QWidget(nullptr, flags) {}
  PanelKeyHandler handler;

 protected:
  bool event(QEvent* event) override {
    switch (event->type()) {
      case QEvent::ShortcutOverride: {
        auto& key = static_cast<QKeyEvent&>(*event);
        // Accepted, no shortcut of this program fires. A chord goes on from here, and its press,
        // which follows, is not delivered again.
        key.accept();
        if (isShortcutChord(key) && deliver(key, true, true))
          deliveredPress_ = key.nativeScanCode();
        return true;
      }
      case QEvent::KeyPress: {
        // Handled here rather than in keyPressEvent: QWidget would take Tab for focus moves.
        auto& key = static_cast<QKeyEvent&>(*event);
        bool delivered = deliveredPress_ == key.nativeScanCode();
        deliveredPress_.reset();
        if (!delivered) deliver(key, true, false);
        return true;
      }
      case QEvent::KeyRelease: {
        auto& key = static_cast<QKeyEvent&>(*event);
        deliveredPress_.reset();
        // X repeats a held key as release–press pairs; only the presses are events here.
        if (!key.isAutoRepeat()) deliver(key, false, false);
        return true;
      }
      default:
        return QWidget::event(event);
    }
  }

  void paintEvent(QPaintEvent*) override {}

 private:
  // False when the event names no key (Qt's own shortcut checks carry no scan code).
  bool deliver(const QKeyEvent& key, bool press, bool isKeyEquivalent) {
    auto keyCode = keyCodeForXKeycode(key.nativeScanCode());
    if (!keyCode) return false;  // a key the settings cannot name
    InputEvent event;
    event.keyCode = *keyCode;
    event.flags = modifiers_.update(*keyCode, press, key.nativeModifiers());
    if (Key::isModifierKey(*keyCode)) {
      if (key.isAutoRepeat()) return true;
      event.type = eventType::flagsChanged;
    } else {
      event.type = press ? eventType::keyDown : eventType::keyUp;
      event.autorepeat = key.isAutoRepeat();
      event.text = key.text().toStdU16String();
    }
    if (handler) handler(event.type, event, isKeyEquivalent);
    return true;
  }

  PanelModifierFlags modifiers_;
  std::optional<quint32> deliveredPress_;
};

// A window the window manager manages still belongs on every workspace and in no task bar.
void markForAllWorkspaces(QWidget& widget, const PanelStyle& style) {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  Display* display = x11 != nullptr ? x11->display() : nullptr;
  if (display == nullptr) return;
  Window window = widget.winId();
  if (style.visibleOnAllWorkspaces) {
    unsigned long everyDesktop = 0xFFFFFFFF;
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_DESKTOP", False), XA_CARDINAL,
                    32, PropModeReplace, reinterpret_cast<unsigned char*>(&everyDesktop), 1);
  }
  if (style.ignoredByWindowCycling) {
    // Qt merges its own states into this property when it maps the window.
    Atom states[] = {XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False),
                     XInternAtom(display, "_NET_WM_STATE_SKIP_PAGER", False)};
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(states), 2);
  }
  XFlush(display);
}

class CatcherPanel : public KeyCatcherPanel {
 public:
  explicit CatcherPanel(const PanelStyle& style) {
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint;
    if (style.level > 0) flags |= Qt::WindowStaysOnTopHint;
    if (style.nonActivating) flags |= Qt::X11BypassWindowManagerHint;
    if (style.ignoresMouseEvents) flags |= Qt::WindowTransparentForInput;
    widget_ = std::make_unique<CatcherWidget>(flags);
    QWidget& widget = *widget_;
    widget.setProperty(hiddenFromAccessibility, !style.accessibilityElement);
    widget.setAccessibleName(QString());
    widget.setAttribute(Qt::WA_ShowWithoutActivating);  // ordering front is not making key
    widget.setAttribute(Qt::WA_TransparentForMouseEvents, style.ignoresMouseEvents);
    widget.setAttribute(Qt::WA_TranslucentBackground, !style.opaque);
    widget.setAttribute(Qt::WA_NoSystemBackground, !style.opaque);
    widget.setFocusPolicy(Qt::StrongFocus);
    const Rect& rect = style.contentRect;
    widget.setGeometry(static_cast<int>(rect.x), static_cast<int>(rect.y),
                       std::max(1, static_cast<int>(rect.width)),
                       std::max(1, static_cast<int>(rect.height)));
    if (!style.nonActivating) markForAllWorkspaces(widget, style);

    grabRetry_.setInterval(20);
    QObject::connect(&grabRetry_, &QTimer::timeout, [this] { tryGrab(); });
  }

  ~CatcherPanel() override { orderOut(); }

  void setKeyHandler(PanelKeyHandler handler) override { widget_->handler = std::move(handler); }

  void orderFront() override {
    widget_->show();
    widget_->raise();
  }

  void makeKey() override {
    orderFront();
    widget_->activateWindow();
    widget_->setFocus(Qt::ActiveWindowFocusReason);
    attempts_ = 0;
    tryGrab();
  }

  void orderOut() override {
    grabRetry_.stop();
    if (grabbed_ && widget_->windowHandle() != nullptr)
      widget_->windowHandle()->setKeyboardGrabEnabled(false);
    grabbed_ = false;
    widget_->hide();
  }

  bool isVisible() const override { return widget_->isVisible(); }
  bool isKey() const override {
    return widget_->isVisible() && (grabbed_ || widget_->isActiveWindow());
  }

 private:
  // Focus alone is not enough: the window manager may hand it elsewhere at once. The grab fails
  // until the window is mapped, and while another client holds the keyboard, so it is retried
  // for a while.
  void tryGrab() {
    constexpr int maxAttempts = 25;
    QWindow* window = widget_->windowHandle();
    grabbed_ = widget_->isVisible() && window != nullptr && window->setKeyboardGrabEnabled(true);
    if (grabbed_ || ++attempts_ >= maxAttempts || !widget_->isVisible()) {
      grabRetry_.stop();
    } else if (!grabRetry_.isActive()) {
      grabRetry_.start();
    }
  }

  std::unique_ptr<CatcherWidget> widget_;
  QTimer grabRetry_;
  int attempts_ = 0;
  bool grabbed_ = false;
};

}  // namespace

std::unique_ptr<KeyCatcherPanel> X11Panels::createKeyCatcherPanel(const PanelStyle& style) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(hiddenFactory);
    return true;
  }();
  (void)factoryInstalled;
  return std::make_unique<CatcherPanel>(style);
}

}  // namespace tovrel::platform::x11
