#pragma once

// The monitors as XRandR lists them, and the system cursor through XFixes.
//
// Discovery asks for the display list off the main thread, so the list is read once and kept
// behind a mutex; the connection's RandR events (a monitor added, moved or resized) refresh it.

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/DisplayServices.hpp"
#include "platform/x11/X11Errors.hpp"
#include "platform/x11/session/X11EventWatch.hpp"

namespace tovrel::platform::x11 {

struct MonitorInfo {
  Rect bounds;
  bool primary = false;
};

// The display list the callers expect: the primary monitor first, the rest in the server's order,
// monitors without area left out; the whole root when no monitor remains.
std::vector<Rect> orderDisplays(const std::vector<MonitorInfo>& monitors, Rect root);

class X11Displays : public DisplayServices {
 public:
  // Opens its own connection (nullptr: $DISPLAY). Built on the thread of a running Qt
  // application, it follows display changes from that thread's event loop by itself.
  explicit X11Displays(const char* displayName = nullptr);
  ~X11Displays() override;
  X11Displays(const X11Displays&) = delete;
  X11Displays& operator=(const X11Displays&) = delete;

  // Any thread.
  std::vector<Rect> activeDisplayBounds() override;
  void hideCursor() override;
  void showCursor() override;

  bool isConnected() const { return display_ != nullptr; }
  // Reads the monitors again now. Any thread.
  void refresh();
  // Handles the events waiting on the connection; refreshes after a display change. Any thread.
  void processEvents();
  // Called, on the thread that noticed it, whenever the display list changed.
  void setChangeHandler(std::function<void()> handler);

 private:
  std::vector<Rect> readLocked();
  bool drainLocked();
  // Stores `list`; true when it differs from the one before.
  bool store(std::vector<Rect> list);
  void notifyChange();

  DisplayPtr display_;
  int randrEventBase_ = -1;
  bool hasMonitors_ = false;
  bool hasXFixes_ = false;
  std::mutex connectionMutex_;  // every Xlib call on display_
  int hiddenCount_ = 0;         // under connectionMutex_

  std::mutex cacheMutex_;
  std::vector<Rect> cache_;
  std::function<void()> changeHandler_;

  std::unique_ptr<X11EventWatch> watch_;
};

}  // namespace tovrel::platform::x11
