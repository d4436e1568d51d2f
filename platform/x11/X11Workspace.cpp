#include "platform/x11/X11Workspace.hpp"

#include <unistd.h>

namespace tovrel::platform::x11 {

X11Workspace::X11Workspace() = default;
X11Workspace::~X11Workspace() = default;

std::vector<RunningApplication> X11Workspace::runningApplications() {
  return {};
}
std::optional<RunningApplication> X11Workspace::application(std::int32_t) {
  return std::nullopt;
}
std::optional<std::int32_t> X11Workspace::frontmostApplicationPid() {
  return std::nullopt;
}
std::int32_t X11Workspace::selfPid() {
  return static_cast<std::int32_t>(getpid());
}
std::vector<WindowInfo> X11Workspace::onScreenWindows() {
  return {};
}
std::optional<bool> X11Workspace::preferenceFlag(std::string_view, std::string_view) {
  return std::nullopt;
}
bool X11Workspace::fileExists(const std::string&) {
  return false;
}
std::uint64_t X11Workspace::watchTermination(std::int32_t, std::function<void()>) {
  return 0;
}
void X11Workspace::cancelWatch(std::uint64_t) {}
std::optional<std::int32_t> X11Workspace::keyboardFocusPid() {
  return std::nullopt;
}

}  // namespace tovrel::platform::x11
