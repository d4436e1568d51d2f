#pragma once

// A one-point, invisible window that takes the keyboard while the tap cannot hear it, and hands
// every key event it receives on.

#include <functional>
#include <memory>

#include "platform/DisplayServices.hpp"
#include "platform/InputEvent.hpp"

namespace tovrel::platform {

// How the panel is built; the backend honours what its window system can.
struct PanelStyle {
  Rect contentRect{0, 0, 1, 1};
  bool nonActivating = true;
  bool opaque = false;
  bool hasShadow = false;
  int level = 25;  // the status-bar level: above normal and floating windows
  bool ignoresMouseEvents = true;
  bool hidesOnDeactivate = false;
  bool canBecomeKey = true;
  bool canBecomeMain = false;
  bool visibleOnAllWorkspaces = true;
  bool ignoredByWindowCycling = true;
  bool accessibilityElement = false;
};

// Key down, key up and flags changed (types 10–12) are delivered as such; a key equivalent (a
// shortcut the window system would otherwise hand to menus) arrives with `isKeyEquivalent` and is
// always swallowed by the panel.
using PanelKeyHandler = std::function<void(EventType, const InputEvent&, bool isKeyEquivalent)>;

class KeyCatcherPanel {
 public:
  virtual ~KeyCatcherPanel() = default;
  virtual void setKeyHandler(PanelKeyHandler handler) = 0;
  virtual void orderFront() = 0;
  virtual void makeKey() = 0;
  virtual void orderOut() = 0;
  virtual bool isVisible() const = 0;
  virtual bool isKey() const = 0;
};

class PanelServices {
 public:
  virtual ~PanelServices() = default;
  virtual std::unique_ptr<KeyCatcherPanel> createKeyCatcherPanel(const PanelStyle& style) = 0;
};

}  // namespace tovrel::platform
