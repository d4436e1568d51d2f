#include "platform/x11/session/X11Application.hpp"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyleHints>
#include <QTextEdit>
#include <QWidget>

#include "platform/x11/input/X11KeyTable.hpp"
#include "platform/x11/session/X11Workspace.hpp"

// After Qt: X's headers define macros (None, Bool, …) that break Qt's.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tovrel::platform::x11 {

namespace responder {

namespace {

// A box one can type into: a spin box that is not read-only, an editable combo box. Nothing for
// any other widget.
std::optional<bool> editableBox(const QWidget* widget) {
  if (const auto* spin = qobject_cast<const QAbstractSpinBox*>(widget)) return !spin->isReadOnly();
  if (const auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->isEditable();
  return std::nullopt;
}

bool isTextArea(const QWidget* widget) {
  return qobject_cast<const QTextEdit*>(widget) != nullptr ||
         qobject_cast<const QPlainTextEdit*>(widget) != nullptr;
}

}  // namespace

bool isTextInput(const QWidget& widget) {
  if (auto box = editableBox(&widget)) return *box;
  const QWidget* parent = widget.parentWidget();
  if (qobject_cast<const QLineEdit*>(&widget) != nullptr) {
    // The line inside a box takes text exactly when the box does.
    if (auto box = editableBox(parent)) return *box;
    return true;
  }
  if (isTextArea(&widget)) return true;
  // A text area's viewport may hold the focus in its place.
  if (isTextArea(parent))
    return static_cast<const QAbstractScrollArea*>(parent)->viewport() == &widget;
  return false;
}

FirstResponder describe(const QWidget& focus, const QWidget* window) {
  FirstResponder result;
  result.isText = isTextInput(focus);
  for (const QWidget* widget = &focus; widget != nullptr; widget = widget->parentWidget()) {
    if (dynamic_cast<const SuspendsNavigation*>(widget) != nullptr) {
      result.suspendsNavigation = true;
      break;
    }
    if (widget == window || widget->isWindow()) break;
  }
  return result;
}

}  // namespace responder

namespace {

bool haveGuiApplication() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

bool haveWidgetApplication() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// The focus widget of the active window; nothing without an active window or when nothing in it
// has the focus.
QWidget* focusInActiveWindow(QWidget** windowOut = nullptr) {
  if (!haveWidgetApplication()) return nullptr;
  QWidget* window = QApplication::activeWindow();
  QWidget* focus = QApplication::focusWidget();
  if (windowOut != nullptr) *windowOut = window;
  if (window == nullptr || focus == nullptr) return nullptr;
  if (focus != window && !window->isAncestorOf(focus)) return nullptr;
  return focus;
}

// Qt's own default, for a program without a GUI application.
constexpr double fallbackDoubleClickInterval = 0.4;

}  // namespace

bool ownApplicationActive() {
  return haveGuiApplication() && QGuiApplication::applicationState() == Qt::ApplicationActive &&
         QGuiApplication::focusWindow() != nullptr;
}

X11Application::X11Application(X11Workspace& workspace) : workspace_(workspace) {}

X11Application::~X11Application() = default;

bool X11Application::isActive() {
  return ownApplicationActive();
}

bool X11Application::hasKeyWindow() {
  return haveWidgetApplication() && QApplication::activeWindow() != nullptr;
}

std::optional<FirstResponder> X11Application::firstResponder() {
  QWidget* window = nullptr;
  QWidget* focus = focusInActiveWindow(&window);
  if (focus == nullptr) return std::nullopt;
  return responder::describe(*focus, window);
}

void X11Application::resignFirstResponder() {
  QWidget* window = nullptr;
  QWidget* focus = focusInActiveWindow(&window);
  if (focus != nullptr && focus != window) focus->clearFocus();
}

Display* X11Application::connection() {
  if (!opened_) {
    opened_ = true;
    display_ = openDisplay();
    if (display_ != nullptr) {
      char* names[] = {const_cast<char*>("_NET_ACTIVE_WINDOW"), const_cast<char*>("_TOVREL_TIME"),
                       const_cast<char*>("_NET_STARTUP_INFO_BEGIN"),
                       const_cast<char*>("_NET_STARTUP_INFO")};
      Atom atoms[4] = {0, 0, 0, 0};
      XInternAtoms(display_.get(), names, 4, False, atoms);
      activeWindowAtom_ = atoms[0];
      timeAtom_ = atoms[1];
      startupBeginAtom_ = atoms[2];
      startupMoreAtom_ = atoms[3];
    }
  }
  Display* display = display_.get();
  if (display == nullptr || connectionLost(display)) return nullptr;
  return display;
}

unsigned long X11Application::ownWindow() {
  if (clockWindow_ == 0) {
    Display* display = display_.get();
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    attributes.override_redirect = True;
    clockWindow_ =
        XCreateWindow(display, DefaultRootWindow(display), -1, -1, 1, 1, 0, CopyFromParent,
                      InputOnly, CopyFromParent, CWEventMask | CWOverrideRedirect, &attributes);
  }
  return clockWindow_;
}

bool X11Application::activate(std::int32_t pid) {
  auto target = workspace_.activationWindow(pid);
  if (!target) return false;
  Display* display = connection();
  if (display == nullptr) return false;
  const Window window = target->window;
  if (target->managed) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.send_event = True;
    event.xclient.display = display;
    event.xclient.window = window;
    event.xclient.message_type = activeWindowAtom_;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // a pager asks: the manager does not second-guess it
    event.xclient.data.l[1] = static_cast<long>(serverTime());
    event.xclient.data.l[2] = 0;
    ErrorTrap trap(display);
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    return trap.check();
  }
  // The window may be gone by now.
  ErrorTrap trap(display);
  XRaiseWindow(display, window);
  XSetInputFocus(display, window, RevertToParent, CurrentTime);
  return trap.check();
}

unsigned long X11Application::serverTime() {
  Display* display = display_.get();
  ownWindow();
  if (clockWindow_ == 0) return CurrentTime;
  // Appending nothing still changes the property, and the notice carries the server's time.
  static const unsigned char nothing[1] = {0};
  XChangeProperty(display, clockWindow_, timeAtom_, XA_STRING, 8, PropModeAppend, nothing, 0);
  XSync(display, False);
  unsigned long time = CurrentTime;
  XEvent event;
  while (XCheckTypedWindowEvent(display, clockWindow_, PropertyNotify, &event))
    time = event.xproperty.time;
  return time;
}

std::string startupRemoveMessage(const std::string& startupId) {
  std::string quoted = "\"";
  for (char c : startupId) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return "remove: ID=" + quoted + "\"";
}

void X11Application::completeStartup(const std::string& startupId) {
  if (startupId.empty()) return;
  Display* display = connection();
  if (display == nullptr) return;
  const Window source = ownWindow();
  if (source == 0) return;
  // The message travels in pieces of 20 bytes, its closing NUL included; the first piece says
  // where a message begins.
  const std::string message = startupRemoveMessage(startupId);
  const std::size_t length = message.size() + 1;
  ErrorTrap trap(display);
  for (std::size_t offset = 0; offset < length; offset += 20) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.send_event = True;
    event.xclient.display = display;
    event.xclient.window = source;
    event.xclient.message_type = offset == 0 ? startupBeginAtom_ : startupMoreAtom_;
    event.xclient.format = 8;
    for (std::size_t i = 0; i < 20 && offset + i < message.size(); ++i)
      event.xclient.data.b[i] = message[offset + i];
    XSendEvent(display, DefaultRootWindow(display), False, PropertyChangeMask, &event);
  }
  XFlush(display);
  trap.check();
}

std::optional<std::uint16_t> X11Application::keyCodeOfOwnKeyEvent(std::uint32_t nativeScanCode) {
  return keyCodeForXKeycode(nativeScanCode);
}

double X11Application::doubleClickInterval() {
  if (!haveGuiApplication()) return fallbackDoubleClickInterval;
  return QGuiApplication::styleHints()->mouseDoubleClickInterval() / 1000.0;
}

}  // namespace tovrel::platform::x11
