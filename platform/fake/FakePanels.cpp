#include "platform/fake/FakePanels.hpp"

namespace tovrel::platform::fake {

namespace {

class PanelHandle : public KeyCatcherPanel {
 public:
  explicit PanelHandle(std::shared_ptr<FakeKeyCatcherPanel> panel) : panel(std::move(panel)) {}
  ~PanelHandle() override {
    panel->visible = false;
    panel->key = false;
    panel->released = true;
  }

  void setKeyHandler(PanelKeyHandler handler) override { panel->setKeyHandler(std::move(handler)); }
  void orderFront() override { panel->orderFront(); }
  void makeKey() override { panel->makeKey(); }
  void orderOut() override { panel->orderOut(); }
  bool isVisible() const override { return panel->isVisible(); }
  bool isKey() const override { return panel->isKey(); }

 private:
  std::shared_ptr<FakeKeyCatcherPanel> panel;
};

}  // namespace

void FakeKeyCatcherPanel::orderFront() {
  ++orderFrontCount;
  visible = true;
}

void FakeKeyCatcherPanel::makeKey() {
  ++makeKeyCount;
  if (style.canBecomeKey) key = true;
}

void FakeKeyCatcherPanel::orderOut() {
  ++orderOutCount;
  visible = false;
  key = false;
}

bool FakeKeyCatcherPanel::deliver(EventType type, const InputEvent& event, bool isKeyEquivalent) {
  // A copy: the handler may release the panel while it runs.
  PanelKeyHandler handler = keyHandler;
  if (handler) handler(type, event, isKeyEquivalent);
  return isKeyEquivalent || static_cast<bool>(handler);
}

std::unique_ptr<KeyCatcherPanel> FakePanelServices::createKeyCatcherPanel(const PanelStyle& style) {
  panels.push_back(std::make_shared<FakeKeyCatcherPanel>(style));
  return std::make_unique<PanelHandle>(panels.back());
}

}  // namespace tovrel::platform::fake
