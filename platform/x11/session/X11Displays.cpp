#include "platform/x11/session/X11Displays.hpp"

// After Qt: X's headers define macros (None, Bool, KeyPress, …) that break Qt's.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>

#include "platform/x11/RootOrigin.hpp"

namespace tovrel::platform::x11 {

std::vector<Rect> orderDisplays(const std::vector<MonitorInfo>& monitors, Rect root) {
  std::vector<Rect> list;
  for (bool primaryPass : {true, false})
    for (const MonitorInfo& monitor : monitors)
      if (monitor.primary == primaryPass && monitor.bounds.width > 0 && monitor.bounds.height > 0)
        list.push_back(monitor.bounds);
  if (list.empty() && root.width > 0 && root.height > 0) list.push_back(root);
  return list;
}

X11Displays::X11Displays(const char* displayName) : display_(openDisplay(displayName)) {
  if (!display_) return;
  Display* display = display_.get();
  Window root = DefaultRootWindow(display);

  int errorBase = 0, major = 0, minor = 0;
  if (XRRQueryExtension(display, &randrEventBase_, &errorBase) &&
      XRRQueryVersion(display, &major, &minor)) {
    hasMonitors_ = major > 1 || (major == 1 && minor >= 5);
    XRRSelectInput(display, root,
                   RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  } else {
    randrEventBase_ = -1;
  }
  // Defining or deleting a monitor sends no RandR event, only a configure notice on the root.
  XSelectInput(display, root, StructureNotifyMask);
  int fixesEvent = 0, fixesError = 0;
  // XFixes refuses its requests until the client has announced the version it speaks.
  hasXFixes_ = XFixesQueryExtension(display, &fixesEvent, &fixesError) &&
               XFixesQueryVersion(display, &major, &minor) && major >= 4;
  refresh();

  watch_ = X11EventWatch::onApplicationThread(display, [this] { processEvents(); });
}

X11Displays::~X11Displays() {
  watch_.reset();
  if (!display_) return;
  std::lock_guard lock(connectionMutex_);
  if (hiddenCount_ > 0 && hasXFixes_) {
    XFixesShowCursor(display_.get(), DefaultRootWindow(display_.get()));
    XFlush(display_.get());
  }
}

std::vector<Rect> X11Displays::activeDisplayBounds() {
  std::lock_guard lock(cacheMutex_);
  return cache_;
}

void X11Displays::hideCursor() {
  if (!display_ || !hasXFixes_) return;
  std::lock_guard lock(connectionMutex_);
  // The server counts hides per client too; one hide on the first call keeps the two in step.
  if (hiddenCount_++ > 0) return;
  XFixesHideCursor(display_.get(), DefaultRootWindow(display_.get()));
  XFlush(display_.get());
  // Sending reads too: a display change that came meanwhile now waits in the queue.
  if (watch_) watch_->afterRead();
}

void X11Displays::showCursor() {
  if (!display_ || !hasXFixes_) return;
  std::lock_guard lock(connectionMutex_);
  if (hiddenCount_ == 0 || --hiddenCount_ > 0) return;
  XFixesShowCursor(display_.get(), DefaultRootWindow(display_.get()));
  XFlush(display_.get());
  if (watch_) watch_->afterRead();
}

void X11Displays::refresh() {
  if (!display_) return;
  bool changed = false;
  {
    std::lock_guard lock(connectionMutex_);
    changed = store(readLocked());
    // Events read along with the reply are no longer seen by the socket; a change among them may
    // be newer than what was just read.
    while (drainLocked())
      changed = store(readLocked()) || changed;
  }
  if (changed) notifyChange();
}

void X11Displays::processEvents() {
  if (!display_) return;
  bool changed = false;
  {
    std::lock_guard lock(connectionMutex_);
    // Only a different list counts: a new refresh rate moves nothing on screen.
    while (drainLocked())
      changed = store(readLocked()) || changed;
  }
  if (changed) notifyChange();
}

void X11Displays::setChangeHandler(std::function<void()> handler) {
  std::lock_guard lock(cacheMutex_);
  changeHandler_ = std::move(handler);
}

std::vector<Rect> X11Displays::readLocked() {
  Display* display = display_.get();
  if (connectionLost(display)) return {};
  Window root = DefaultRootWindow(display);
  std::vector<MonitorInfo> monitors;
  if (hasMonitors_) {
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(display, root, True, &count);
    for (int i = 0; info != nullptr && i < count; ++i)
      monitors.push_back({{static_cast<double>(info[i].x), static_cast<double>(info[i].y),
                           static_cast<double>(info[i].width), static_cast<double>(info[i].height)},
                          info[i].primary != 0});
    if (info != nullptr) XRRFreeMonitors(info);
  }
  int screen = DefaultScreen(display);
  Rect whole{0, 0, static_cast<double>(DisplayWidth(display, screen)),
             static_cast<double>(DisplayHeight(display, screen))};
  if (connectionLost(display)) return {};
  std::vector<Rect> displays = orderDisplays(monitors, whole);
  if (!displays.empty()) {
    rootOrigin::set(static_cast<int>(displays.front().x), static_cast<int>(displays.front().y));
    double originX = displays.front().x;
    double originY = displays.front().y;
    for (Rect& rect : displays) {
      rect.x -= originX;
      rect.y -= originY;
    }
  }
  return displays;
}

bool X11Displays::drainLocked() {
  Display* display = display_.get();
  bool changed = false;
  while (!connectionLost(display) && XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == ConfigureNotify && event.xconfigure.window == DefaultRootWindow(display)) {
      XRRUpdateConfiguration(&event);  // keeps Xlib's idea of the root size current
      changed = true;
    } else if (randrEventBase_ < 0) {
      continue;
    } else if (event.type == randrEventBase_ + RRScreenChangeNotify) {
      XRRUpdateConfiguration(&event);  // keeps Xlib's idea of the root size current
      changed = true;
    } else if (event.type == randrEventBase_ + RRNotify) {
      changed = true;
    }
  }
  return changed;
}

bool X11Displays::store(std::vector<Rect> list) {
  std::lock_guard lock(cacheMutex_);
  bool changed = list != cache_;
  cache_ = std::move(list);
  return changed;
}

void X11Displays::notifyChange() {
  std::function<void()> handler;
  {
    std::lock_guard lock(cacheMutex_);
    handler = changeHandler_;
  }
  if (handler) handler();
}

}  // namespace tovrel::platform::x11
