#pragma once

// The viewable windows of one process, read from the X server in a handful of round trips
// however many windows there are: every request of a step goes out before the first answer is
// awaited. A click-mode read lists them each time it places a window, so a trip per window
// (Xlib's way, several per window) is paid on every entry.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/atspi/AtspiWindows.hpp"

namespace tovrel::platform::x11 {

// The atoms the listing asks for (atoms are the server's, the same on every connection).
struct WindowListAtoms {
  std::uint32_t wmState = 0;
  std::uint32_t wmPid = 0;
  std::uint32_t activeWindow = 0;
  std::uint32_t netWmName = 0;
  std::uint32_t gtkFrameExtents = 0;
};

class XcbWindowList {
 public:
  // Connects to `display` (a display name, as the Xlib connection was opened with).
  XcbWindowList(const char* display, WindowListAtoms atoms);
  ~XcbWindowList();
  XcbWindowList(const XcbWindowList&) = delete;
  XcbWindowList& operator=(const XcbWindowList&) = delete;

  // The windows of `pid`, topmost first: each one's client window in root pixels, the margins
  // its toolkit draws around the content when it names them, its title and whether it is the
  // active window. Empty when the server cannot be reached. Not safe to call from two threads
  // at once.
  std::vector<atspi::ScreenWindow> windowsOf(std::int32_t pid);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tovrel::platform::x11
