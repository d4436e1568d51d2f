#include "system/KeyCatcher.hpp"

#include <utility>

namespace tovrel {

KeyCatcher::KeyCatcher(platform::PanelServices& panels, platform::HotKeyServices& hotKeys,
                       Handler handle)
    : handle(std::move(handle)),
      panels(panels),
      hotKeys(hotKeys),
      liveness(std::make_shared<KeyCatcher*>(this)) {}

KeyCatcher::~KeyCatcher() {
  // Before the panel goes, so nothing it delivers while closing reaches a half-destroyed catcher.
  liveness.reset();
}

platform::PanelStyle KeyCatcher::panelStyle() {
  platform::PanelStyle style;
  style.contentRect = {0, 0, 1, 1};
  style.nonActivating = true;
  style.opaque = false;
  style.hasShadow = false;
  style.level = 25;
  style.ignoresMouseEvents = true;
  style.hidesOnDeactivate = false;
  style.canBecomeKey = true;
  style.canBecomeMain = false;
  style.visibleOnAllWorkspaces = true;
  style.ignoredByWindowCycling = true;
  style.accessibilityElement = false;
  return style;
}

platform::KeyCatcherPanel& KeyCatcher::panel() {
  if (!panel_) {
    panel_ = panels.createKeyCatcherPanel(panelStyle());
    std::weak_ptr<KeyCatcher*> weak = liveness;
    // Key equivalents take the same road; the panel swallows them whatever happens here.
    panel_->setKeyHandler(
        [weak](platform::EventType type, const platform::InputEvent& event, bool) {
          if (auto alive = weak.lock()) (*alive)->forward(type, event);
        });
  }
  return *panel_;
}

void KeyCatcher::forward(platform::EventType type, const platform::InputEvent& event) {
  if (!hotKeys.isSecureEventInputEnabled()) return;
  if (type != platform::eventType::keyDown && type != platform::eventType::keyUp &&
      type != platform::eventType::flagsChanged)
    return;
  if (!handle) return;
  // A copy: the handler may end navigation and, with it, this catcher.
  Handler current = handle;
  current(type, event);
}

}  // namespace tovrel
