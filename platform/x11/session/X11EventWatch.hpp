#pragma once

// Reads one of our X connections from the Qt main loop.
//
// A socket notifier wakes only for bytes still on the socket. Any Xlib call that reads from the
// connection (every request that waits for a reply, and even a flush of pending requests) first
// takes whatever the server has already sent into the connection's own queue, where the notifier
// never sees it: an event read that way would wait for some later, unrelated one. So whoever makes
// such a call outside the drain says so afterwards, and the drain then runs on the next turn of
// the loop if anything is queued. It runs there rather than at once because the caller may itself
// be inside a handler that the drain calls.

#include <atomic>
#include <functional>
#include <memory>

class QObject;
class QSocketNotifier;
typedef struct _XDisplay Display;

namespace tovrel::platform::x11 {

class X11EventWatch {
 public:
  // On the thread whose event loop reads the connection. `drain` handles every event waiting;
  // once the connection is lost it is no longer called.
  X11EventWatch(Display* display, std::function<void()> drain);
  ~X11EventWatch();
  X11EventWatch(const X11EventWatch&) = delete;
  X11EventWatch& operator=(const X11EventWatch&) = delete;

  // A watch when called on the thread of a running Qt application; nothing elsewhere, where the
  // owner reads its events itself.
  static std::unique_ptr<X11EventWatch> onApplicationThread(Display* display,
                                                            std::function<void()> drain);

  // After a call that may have read from the connection, made outside the drain. Any thread,
  // holding whatever keeps the owner's other calls on the connection out meanwhile.
  void afterRead();

 private:
  void run();

  Display* display_;
  std::function<void()> drain_;
  std::unique_ptr<QObject> context_;  // the notifier and the queued drains go with it
  QSocketNotifier* notifier_ = nullptr;
  std::atomic<bool> queued_{false};
};

}  // namespace tovrel::platform::x11
