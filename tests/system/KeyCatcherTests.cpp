#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/Keys.hpp"
#include "platform/fake/FakeHotKeys.hpp"
#include "platform/fake/FakePanels.hpp"
#include "system/KeyCatcher.hpp"

namespace tovrel {
namespace {

namespace type = platform::eventType;
using platform::InputEvent;

InputEvent keyEvent(platform::EventType t, std::uint16_t code, std::uint64_t flags = 0) {
  InputEvent event;
  event.type = t;
  event.keyCode = code;
  event.flags = flags;
  return event;
}

struct KeyCatcherTest : ::testing::Test {
  platform::fake::FakePanelServices panels;
  platform::fake::FakeHotKeyServices hotKeys;
  std::vector<std::pair<platform::EventType, InputEvent>> handled;
  std::unique_ptr<KeyCatcher> catcher =
      std::make_unique<KeyCatcher>(panels, hotKeys, [this](auto t, const InputEvent& event) {
        handled.emplace_back(t, event);
        return true;
      });

  std::shared_ptr<platform::fake::FakeKeyCatcherPanel> window() {
    catcher->panel();
    return panels.panels.back();
  }
};

TEST_F(KeyCatcherTest, PanelIsBuiltOnceOnFirstUse) {
  EXPECT_TRUE(panels.panels.empty());
  EXPECT_EQ(&catcher->panel(), &catcher->panel());
  ASSERT_EQ(panels.panels.size(), 1u);
  const platform::PanelStyle& style = panels.panels[0]->style;
  EXPECT_EQ(style.contentRect, (platform::Rect{0, 0, 1, 1}));
  EXPECT_EQ(style.level, 25);
  EXPECT_TRUE(style.nonActivating && style.ignoresMouseEvents && style.canBecomeKey &&
              style.visibleOnAllWorkspaces && style.ignoredByWindowCycling);
  EXPECT_FALSE(style.opaque || style.hasShadow || style.hidesOnDeactivate || style.canBecomeMain ||
               style.accessibilityElement);
}

TEST_F(KeyCatcherTest, ForwardsOnlyKeyEventsAndOnlyUnderSecureInput) {
  auto panel = window();
  for (bool secure : {false, true}) {
    hotKeys.secureInput = secure;
    for (platform::EventType t : {type::keyDown, type::keyUp, type::flagsChanged,
                                  type::leftMouseDown, type::mouseMoved, type::scrollWheel}) {
      handled.clear();
      panel->deliver(t, keyEvent(t, Key::j));
      const bool expected = secure && t >= type::keyDown && t <= type::flagsChanged;
      EXPECT_EQ(handled,
                (expected ? decltype(handled){{t, keyEvent(t, Key::j)}} : decltype(handled){}))
          << secure << " " << t;
    }
  }
}

TEST_F(KeyCatcherTest, KeyEquivalentIsSwallowedAndHandled) {
  auto panel = window();
  const auto commandQ = keyEvent(type::keyDown, Key::q, platform::eventFlag::command);
  hotKeys.secureInput = true;
  EXPECT_TRUE(panel->deliver(type::keyDown, commandQ, true));
  EXPECT_EQ(handled, (decltype(handled){{type::keyDown, commandQ}}));
}

TEST_F(KeyCatcherTest, NothingIsCalledOnceTheCatcherIsGone) {
  auto panel = window();
  hotKeys.secureInput = true;
  // Escape ends navigation and the owner drops the catcher while the handler still runs.
  catcher->handle = [this](platform::EventType t, const InputEvent& event) {
    catcher.reset();
    handled.emplace_back(t, event);
    return true;
  };
  panel->deliver(type::keyDown, keyEvent(type::keyDown, Key::escape));
  EXPECT_EQ(handled.size(), 1u);
  EXPECT_TRUE(panel->released);
  // An event the window system queued before the close.
  panel->deliver(type::keyUp, keyEvent(type::keyUp, Key::escape));
  EXPECT_EQ(handled.size(), 1u);
}

}  // namespace
}  // namespace tovrel
