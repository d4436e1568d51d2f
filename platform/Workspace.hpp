#pragma once

// The running applications, the one in front, the on-screen windows and the preferences the
// discovery code consults.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DisplayServices.hpp"

namespace tovrel::platform {

struct RunningApplication {
  std::int32_t pid = 0;
  // The application's identity: its desktop-file id, else its window class, else its
  // executable's name. The program's own is "local.tovrel.Tovrel".
  std::string bundleIdentifier;
  std::optional<std::string> localizedName;
  // The folder the application's executable lives in, when known.
  std::optional<std::string> bundlePath;
  bool operator==(const RunningApplication&) const = default;
};

// One on-screen window, as the window list describes it.
struct WindowInfo {
  std::int32_t ownerPid = 0;
  // 0 for ordinary windows; panels, docks, menus, notifications and keep-above windows are
  // layered above them. Absent when the list does not say.
  std::optional<int> layer;
  double alpha = 1.0;
  std::optional<Rect> bounds;  // global top-left coordinates, frame included
  bool operator==(const WindowInfo&) const = default;
};

class WorkspaceServices {
 public:
  virtual ~WorkspaceServices() = default;
  // In a stable order (the workspace's own).
  virtual std::vector<RunningApplication> runningApplications() = 0;
  virtual std::optional<RunningApplication> application(std::int32_t pid) = 0;
  virtual std::optional<std::int32_t> frontmostApplicationPid() = 0;
  virtual std::int32_t selfPid() = 0;
  // On-screen windows without desktop elements, front to back.
  virtual std::vector<WindowInfo> onScreenWindows() = 0;
  // A flag from a preference domain; nothing when the domain, the key or a flag is missing.
  // The empty domain is the user's global domain.
  virtual std::optional<bool> preferenceFlag(std::string_view domain, std::string_view key) = 0;
  virtual bool fileExists(const std::string& path) = 0;
  // Calls `terminated` on the main thread once the process has ended (at once when it has
  // already). Returns a token for cancelWatch, 0 when the process cannot be watched.
  virtual std::uint64_t watchTermination(std::int32_t pid, std::function<void()> terminated) = 0;
  virtual void cancelWatch(std::uint64_t token) = 0;
};

}  // namespace tovrel::platform
