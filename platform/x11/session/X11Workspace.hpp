#pragma once

// Running applications, the one in front and the on-screen windows, from the window manager's
// EWMH properties (the root's children and the input focus without a window manager); process
// ends through pidfds.
//
// The workspace has an X connection of its own behind a mutex, so every method may be called
// from any thread. Make it on the main thread, after the Qt application: termination callbacks
// run there.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Workspace.hpp"
#include "platform/atspi/AtspiWindows.hpp"

namespace tovrel::platform::x11 {

namespace windowList {

// The window types EWMH names, as far as the list tells them apart.
enum class WindowType {
  Normal,
  Dialog,
  Utility,
  Desktop,
  Dock,
  Toolbar,
  Menu,
  Splash,
  DropdownMenu,
  PopupMenu,
  Tooltip,
  Notification,
  Combo,
  Dnd,
};

// Layers: ordinary windows lie at 0, everything layered above them higher.
inline constexpr int normalLayer = 0;
inline constexpr int floatingLayer = 3;  // kept above, toolbars, torn-off menus, splash screens
inline constexpr int dockLayer = 20;
inline constexpr int popUpLayer = 24;  // menus, tooltips, notifications, unmanaged windows

// The layer of a window with these types (the first the list knows decides, as EWMH orders them
// by preference), kept above or not, bypassing the window manager or not. Nothing for the
// desktop, which the list leaves out.
std::optional<int> windowLayer(const std::vector<WindowType>& types, bool keptAbove,
                               bool overrideRedirect);

// A child of the root window. `client` is the managed window it frames (itself when not
// reparented), 0 when it frames none.
struct RootChild {
  unsigned long window = 0;
  unsigned long client = 0;
  bool overrideRedirect = false;
};

// The windows front to back: the managed clients in the manager's stacking order (`stacking`,
// bottom to top), and every window that bypasses the manager placed where the server stacks it
// among them (`tree`, the root's children bottom to top). Clients appear as themselves, the
// others as their root child.
std::vector<unsigned long> frontToBack(const std::vector<unsigned long>& stacking,
                                       const std::vector<RootChild>& tree);

// A window an application could be brought to the front by.
struct Candidate {
  unsigned long window = 0;
  std::optional<std::int32_t> pid;
  std::optional<int> layer;  // as windowLayer gives it; nothing for the desktop
  bool hidden = false;       // minimised
};

// The window that brings `pid` to the front, from the candidates bottom to top: its topmost
// shown window of an ordinary or floating layer (not the desktop, docks, menus, tooltips or
// notifications), else its topmost such hidden one; 0 when it has none.
unsigned long activationTarget(const std::vector<Candidate>& bottomToTop, std::int32_t pid);

}  // namespace windowList

class X11Workspace : public WorkspaceServices {
 public:
  X11Workspace();
  ~X11Workspace() override;
  X11Workspace(const X11Workspace&) = delete;
  X11Workspace& operator=(const X11Workspace&) = delete;

  std::vector<RunningApplication> runningApplications() override;
  std::optional<RunningApplication> application(std::int32_t pid) override;
  std::optional<std::int32_t> frontmostApplicationPid() override;
  std::int32_t selfPid() override;
  std::vector<WindowInfo> onScreenWindows() override;
  // No Linux desktop keeps the flags asked for where they can be read: always absent.
  std::optional<bool> preferenceFlag(std::string_view domain, std::string_view key) override;
  bool fileExists(const std::string& path) override;
  std::uint64_t watchTermination(std::int32_t pid, std::function<void()> terminated) override;
  void cancelWatch(std::uint64_t token) override;

  // The process owning the window that has the keyboard focus.
  std::optional<std::int32_t> keyboardFocusPid();

  // The window to bring the application `pid` to the front by (activationTarget): a managed
  // client window when a window manager runs, else a viewable child of the root that does not
  // bypass the manager. Nothing when it has none.
  struct ActivationWindow {
    unsigned long window = 0;
    bool managed = false;
  };
  std::optional<ActivationWindow> activationWindow(std::int32_t pid);

  // The viewable windows of the process `pid` (override-redirect ones too), topmost first, as the
  // application made them: the client window's rectangle in root pixels, the margins its toolkit
  // draws around the content (shadows, resize borders) when it says so (left, right, top,
  // bottom), its title and whether it is the active window.
  using ClientWindow = atspi::ScreenWindow;
  std::vector<ClientWindow> clientWindows(std::int32_t pid);

 private:
  struct Connection;
  struct Watches;
  std::unique_ptr<Connection> connection_;
  std::unique_ptr<Watches> watches_;
};

}  // namespace tovrel::platform::x11
