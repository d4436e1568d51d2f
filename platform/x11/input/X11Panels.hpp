#pragma once

// The key-catching panel as a one-pixel Qt window that takes the keyboard.
//
// X has no window that receives keys without being focused: making the panel key focuses it and
// grabs the keyboard for it. A non-activating panel bypasses the window manager, so it never
// becomes the active window, never shows in a task bar or window switcher, and sits on every
// workspace.

#include <cstdint>
#include <memory>

#include "platform/KeyCatcherPanel.hpp"

namespace tovrel::platform::x11 {

// The modifier flags of the panel's key events. The X state of a key event is the state before
// it and says nothing of left and right, so the modifier keys seen go on top of it.
class PanelModifierFlags {
 public:
  // The flags after a press or release of `keyCode` (the settings' key code), given the X
  // modifier state from before that event.
  std::uint64_t update(std::uint16_t keyCode, bool press, unsigned xState);

 private:
  std::uint64_t heldDevices_ = 0;
  bool capsLock_ = false;
  bool capsLockKnown_ = false;
};

// Needs a running QApplication; main thread only.
class X11Panels : public PanelServices {
 public:
  std::unique_ptr<KeyCatcherPanel> createKeyCatcherPanel(const PanelStyle& style) override;
};

}  // namespace tovrel::platform::x11
