#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/KeyCatcherPanel.hpp"

namespace tovrel::platform::fake {

// One key-catching window of the in-memory window system. The program holds it through a handle;
// the window itself stays with the services, so a test can still hand it an event that the
// window system queued before the handle was released.
class FakeKeyCatcherPanel : public KeyCatcherPanel {
 public:
  explicit FakeKeyCatcherPanel(const PanelStyle& style) : style(style) {}

  void setKeyHandler(PanelKeyHandler handler) override { keyHandler = std::move(handler); }
  void orderFront() override;
  void makeKey() override;
  void orderOut() override;
  bool isVisible() const override { return visible; }
  bool isKey() const override { return key; }

  // Hands one key event to the handler. Answers whether the panel swallowed it: key equivalents
  // always, other key events whenever a handler took them.
  bool deliver(EventType type, const InputEvent& event, bool isKeyEquivalent = false);

  PanelStyle style;
  PanelKeyHandler keyHandler;
  bool visible = false;
  bool key = false;
  int orderFrontCount = 0;
  int makeKeyCount = 0;
  int orderOutCount = 0;
  bool released = false;  // the program's handle is gone
};

class FakePanelServices : public PanelServices {
 public:
  std::unique_ptr<KeyCatcherPanel> createKeyCatcherPanel(const PanelStyle& style) override;

  // Every panel created, oldest first.
  std::vector<std::shared_ptr<FakeKeyCatcherPanel>> panels;
};

}  // namespace tovrel::platform::fake
