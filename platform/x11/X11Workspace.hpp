#pragma once

// Running applications, the one in front and the on-screen windows, from the window manager's
// EWMH properties (the input focus without a window manager); process ends through pidfds.

#include "platform/Workspace.hpp"

namespace tovrel::platform::x11 {

class X11Workspace : public WorkspaceServices {
 public:
  X11Workspace();
  ~X11Workspace() override;

  std::vector<RunningApplication> runningApplications() override;
  std::optional<RunningApplication> application(std::int32_t pid) override;
  std::optional<std::int32_t> frontmostApplicationPid() override;
  std::int32_t selfPid() override;
  std::vector<WindowInfo> onScreenWindows() override;
  std::optional<bool> preferenceFlag(std::string_view domain, std::string_view key) override;
  bool fileExists(const std::string& path) override;
  std::uint64_t watchTermination(std::int32_t pid, std::function<void()> terminated) override;
  void cancelWatch(std::uint64_t token) override;

  // The process owning the window that has the keyboard focus.
  std::optional<std::int32_t> keyboardFocusPid();
};

}  // namespace tovrel::platform::x11
