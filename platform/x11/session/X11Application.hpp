#pragma once

// The program's own standing on the desktop, from Qt (the application state, the active window
// and its focus widget), and bringing another application to the front through the window
// manager (or by moving the input focus when none runs).

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Application.hpp"
#include "platform/x11/X11Errors.hpp"

class QWidget;

namespace tovrel::platform::x11 {

class X11Workspace;

namespace responder {

// A widget that takes typed text: a line, a text area, a spin box or combo box one can type into,
// or the line inside such a box.
bool isTextInput(const QWidget& widget);

// What `focus`, the focus widget inside `window`, counts as. It suspends navigation when it or a
// widget above it, up to the window, adopts SuspendsNavigation.
FirstResponder describe(const QWidget& focus, const QWidget* window);

}  // namespace responder

// This program is the active application: Qt says so and one of its windows has the focus. Qt
// alone keeps saying so after the focused window was destroyed.
bool ownApplicationActive();

class X11Application : public ApplicationServices {
 public:
  // Main thread, after the Qt application. `workspace` must outlive this.
  explicit X11Application(X11Workspace& workspace);
  ~X11Application() override;
  X11Application(const X11Application&) = delete;
  X11Application& operator=(const X11Application&) = delete;

  bool isActive() override;
  bool hasKeyWindow() override;
  std::optional<FirstResponder> firstResponder() override;
  void resignFirstResponder() override;
  // Under a window manager: asks it to activate the application's window, as a pager would
  // (source indication 2), stamped with the server's current time. Without one: raises the
  // window and gives it the input focus.
  bool activate(std::int32_t pid) override;
  double doubleClickInterval() override;
  // Sends the startup-notification "remove" message for the id to the root window.
  void completeStartup(const std::string& startupId) override;
  // On X the native scan code of a Qt key event is the X keycode.
  std::optional<std::uint16_t> keyCodeOfOwnKeyEvent(std::uint32_t nativeScanCode) override;

 private:
  // The connection requests go out on, opened on first use; nullptr when the server is gone.
  Display* connection();
  // A window of ours: the source of the server-time reads and of startup messages.
  unsigned long ownWindow();
  // The server's current time, read from a property change on a window of ours; 0 (CurrentTime)
  // when it cannot be read.
  unsigned long serverTime();

  X11Workspace& workspace_;
  DisplayPtr display_;  // opened on the first activation
  bool opened_ = false;
  unsigned long clockWindow_ = 0;
  unsigned long activeWindowAtom_ = 0;
  unsigned long timeAtom_ = 0;
  unsigned long startupBeginAtom_ = 0;
  unsigned long startupMoreAtom_ = 0;
};

// The startup-notification message that ends the feedback of a launch: "remove: ID=<id>", the id
// quoted and escaped as the protocol asks.
std::string startupRemoveMessage(const std::string& startupId);

}  // namespace tovrel::platform::x11
