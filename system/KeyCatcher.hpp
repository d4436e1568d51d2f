#pragma once

// While another application holds secure keyboard input the tap hears no keys; during a mode an
// invisible one-point panel then takes the keyboard and feeds its key events into the same handling
// as tapped events.

#include <functional>
#include <memory>

#include "platform/HotKeyServices.hpp"
#include "platform/InputEvent.hpp"
#include "platform/KeyCatcherPanel.hpp"

namespace tovrel {

class KeyCatcher {
 public:
  // Runs on the main thread with each caught key event; the answer is not used here.
  using Handler = std::function<bool(platform::EventType, const platform::InputEvent&)>;

  KeyCatcher(platform::PanelServices& panels, platform::HotKeyServices& hotKeys, Handler handle);
  ~KeyCatcher();
  KeyCatcher(const KeyCatcher&) = delete;
  KeyCatcher& operator=(const KeyCatcher&) = delete;

  // 1×1, non-activating, transparent, above normal windows, deaf to the mouse, on every workspace.
  static platform::PanelStyle panelStyle();

  // Built on first use. Its key events reach `handle` only while secure input is on (otherwise
  // the tap already delivers them) and only key down, key up and flags changed; key equivalents
  // go the same way, and the panel swallows them so no menu shortcut fires.
  platform::KeyCatcherPanel& panel();

  Handler handle;

 private:
  void forward(platform::EventType type, const platform::InputEvent& event);

  platform::PanelServices& panels;
  platform::HotKeyServices& hotKeys;
  // The panel's handler holds this weakly: an event the window system hands over after the
  // catcher is gone reaches nothing.
  std::shared_ptr<KeyCatcher*> liveness;
  std::unique_ptr<platform::KeyCatcherPanel> panel_;
};

}  // namespace tovrel
