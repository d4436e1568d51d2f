#pragma once

// What happens to the session around the program: applications coming to the front and quitting,
// sleep, the screens going to sleep, the session being locked or switched away from, the display
// arrangement changing, and the program itself becoming the active application.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tovrel::platform {

// Where a notification is posted: the workspace's own centre (applications, sleep, the session)
// or the application's (displays, the program's activation).
enum class NotificationCenter { workspace, application };

enum class SystemNotification {
  didActivateApplication,     // workspace: another application (or this one) came to the front
  willSleep,                  // workspace: the machine is about to sleep
  screensDidSleep,            // workspace: the screens went dark or the screen saver started
  sessionDidResignActive,     // workspace: the session was locked or switched away from
  didTerminateApplication,    // workspace: an application quit
  didChangeScreenParameters,  // application: a display was added, removed, moved or resized
  didBecomeActive,            // application: this program became the active application
};

// The application a workspace notification is about; every member may be missing.
struct NotificationInfo {
  std::optional<std::int32_t> pid;
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> localizedName;
  bool operator==(const NotificationInfo&) const = default;
};

// A registered observer; destroying it removes the registration.
class Observation {
 public:
  virtual ~Observation() = default;
};

class SystemEvents {
 public:
  virtual ~SystemEvents() = default;
  // `handler` runs on the main thread for every such notification from now on. An application
  // coming to the front is reported once per application, not once per window.
  virtual std::unique_ptr<Observation> observe(
      NotificationCenter center, SystemNotification notification,
      std::function<void(const NotificationInfo&)> handler) = 0;
  // Delivers a notification to this program's own observers as if the desktop had sent it; the
  // live self-test simulates a sleep this way. Main thread.
  virtual void post(SystemNotification notification, const NotificationInfo& info = {}) = 0;
};

}  // namespace tovrel::platform
