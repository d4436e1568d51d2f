#pragma once

// The session's notifications on a Linux desktop:
// - an application coming to the front: the window manager's active window (the input focus's
//   top-level window without a manager), watched on an X connection of its own, reported once per
//   application rather than once per window;
// - an application quitting: every application reported in front is watched until it ends;
// - sleep and the session being locked or switched away from: logind on the system bus;
// - the screens going to sleep: the screen saver's ActiveChanged signal on the session bus;
// - the display arrangement changing: the display list's own change notice;
// - this program becoming the active application: Qt's application state.
// A source the desktop lacks (no system bus, no logind, no screen saver) stays silent. Each source
// starts with the first observer of one of its notifications.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "platform/SystemEvents.hpp"
#include "platform/Workspace.hpp"

namespace tovrel::platform::x11 {

class X11Displays;

namespace systemWatch {

// The centre a notification is posted on: observers registered on another centre never hear it.
NotificationCenter centerOf(SystemNotification notification);

// The registered handlers, in registration order.
class ObserverList {
 public:
  using Handler = std::function<void(const NotificationInfo&)>;

  std::uint64_t add(NotificationCenter center, SystemNotification notification, Handler handler);
  void remove(std::uint64_t token);
  // Calls every handler of `notification` registered on its centre. A handler removed by an
  // earlier one is not called; one added meanwhile waits for the next notification.
  void post(SystemNotification notification, const NotificationInfo& info);
  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    NotificationCenter center;
    SystemNotification notification;
    Handler handler;
  };
  std::map<std::uint64_t, Entry> entries_;
  std::uint64_t next_ = 1;
};

// Which application is in front, told window by window. The desktop says which window is active;
// only a change of the process behind it is news.
class FrontTracker {
 public:
  struct Step {
    bool report = false;  // another application came to the front
    bool watch = false;   // start watching this process for its end
    bool operator==(const Step&) const = default;
  };

  // The application in front when watching starts: known from now on, never reported.
  Step seed(std::optional<std::int32_t> pid);
  // The owner of the active window now; nothing when no window is active or it has no owner,
  // which changes nothing.
  Step seen(std::optional<std::int32_t> pid);
  // A watched process ended: true the first time (its end is news); it is forgotten, so a later
  // process given the same id is news again.
  bool ended(std::int32_t pid);
  std::optional<std::int32_t> front() const { return front_; }

 private:
  Step take(std::int32_t pid, bool report);

  std::optional<std::int32_t> front_;
  std::set<std::int32_t> watched_;
};

}  // namespace systemWatch

class X11SystemEvents : public SystemEvents {
 public:
  // Main thread, after the Qt application. `workspace` (and `displays` when given) must outlive
  // this; the display list's change handler becomes this object's.
  X11SystemEvents(WorkspaceServices& workspace, X11Displays* displays);
  ~X11SystemEvents() override;
  X11SystemEvents(const X11SystemEvents&) = delete;
  X11SystemEvents& operator=(const X11SystemEvents&) = delete;

  // Main thread.
  std::unique_ptr<Observation> observe(
      NotificationCenter center, SystemNotification notification,
      std::function<void(const NotificationInfo&)> handler) override;
  void post(SystemNotification notification, const NotificationInfo& info = {}) override;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace tovrel::platform::x11
