#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "ServiceHarness.hpp"

namespace tovrel {
namespace {

using platform::Rect;
using Strings = std::vector<std::string>;
using Mode = InteractionMode;

// The primary screen, one left of it and a tiny one right of it; hosted panels are 120 × 24.
struct ServiceOverlays : ServiceTest {
  ServiceOverlays() {
    desktop.overlays.screenList.push_back({{-1280, 100, 1280, 1024}, {-1280, 100, 1280, 1000}});
    desktop.overlays.screenList.push_back({{1440, 0, 100, 20}, {1440, 0, 100, 20}});
  }
  NavigationRouter& router() { return access().router(); }
  const OverlayModel& model() { return service().overlayModel(); }
  // Straight to the router: its effects are not carried out.
  void press(std::uint16_t code, Modifiers mods = {}, std::optional<std::string> text = {},
             bool down = true) {
    const bool types = text.has_value();
    router().handle(RouterInput::Key{KeyEvent(down ? KeyEvent::Kind::down : KeyEvent::Kind::up,
                                              code, mods, false, {}, types, std::move(text))},
                    desktop.clock.now, {});
  }
  void clickWith(int count, double x) {
    router().requestMode(Mode::click);
    std::vector<HintTarget> targets(count, {"T", "AXButton", {}});
    for (int i = 0; i < count; ++i)
      targets[i].frame = {x + 60 * i, 300, 50, 20};
    router().handle(RouterInput::TargetsDiscovered{router().generation(), 1, targets}, 0, {});
    access().refreshOverlays();
  }
  // The chip texts on every screen, sorted, and whether one is selected.
  std::pair<Strings, bool> chips() {
    Strings texts;
    bool selected = false;
    for (const auto& panel : access().hints().panels)
      for (const auto& chip : std::get<platform::HintCanvasContent>(panel->content()).chips) {
        texts.push_back(chip.text);
        selected = selected || chip.selected;
      }
    std::sort(texts.begin(), texts.end());
    return {texts, selected};
  }
  Rect frame(HostedOverlay* overlay) {
    return overlay->isVisible() ? overlay->panel->frame() : Rect{};
  }
};

TEST_F(ServiceOverlays, BadgeDetailNamesWhatIsHeldAndPaused) {
  config.appearance.badgeSize = AppearanceSettings::Size::large;
  const struct {
    bool suspended, editing, mouseDragging;
    std::vector<std::uint16_t> keys;
    std::optional<std::string> detail;
  } cases[] = {{false, false, false, {}, std::nullopt},
               {true, false, false, {}, "paused here"},
               {true, true, false, {}, "paused while editing"},
               {false, false, false, {Key::s, Key::a}, "Precision · Boost"},
               {false, false, true, {Key::a}, "Precision · Dragging"}};
  for (const auto& c : cases) {
    router().requestMode(Mode::cursor);
    router().handle(RouterInput::SuspendRouting{c.suspended}, 0, {});
    access().editingSettings() = c.editing;
    access().mouseDragging() = c.mouseDragging;
    for (auto key : c.keys)
      press(key);
    access().refreshOverlays();
    EXPECT_EQ(model().badgeDetail(), c.detail);
    EXPECT_EQ(model().badgeDragging(), c.mouseDragging);
    EXPECT_DOUBLE_EQ(model().badgeScale(), 1.3);
    EXPECT_TRUE(access().badge()->isVisible());
    router().requestOff();
  }
}

TEST_F(ServiceOverlays, KeyHeldButtonDragsOnceThePointerMoved) {
  router().requestMode(Mode::cursor);
  press(Key::space);  // holds the left button
  access().keyDragMoved() = true;
  press(Key::space, {}, {}, false);
  access().refreshOverlays();
  EXPECT_FALSE(access().keyDragMoved());
  press(Key::space);
  press(Key::l);
  access().refreshOverlays();
  EXPECT_EQ(model().badgeDetail(), std::nullopt);
  access().lastTick() = desktop.clock.now - 0.01;
  access().tick();
  EXPECT_EQ(model().badgeDetail(), "Dragging");
  EXPECT_TRUE(model().badgeDragging());
}

TEST_F(ServiceOverlays, BadgeStaysFourPointsInsideItsScreen) {
  using enum AppearanceSettings::BadgePlacement;
  const struct {
    AppearanceSettings::BadgePlacement placement;
    Point pointer, topLeft;
  } cases[] = {{nearPointer, {300, 400}, {316, 418}},   {nearPointer, {1430, 400}, {1316, 418}},
               {nearPointer, {300, 890}, {316, 872}},   {nearPointer, {-10, 1110}, {-124, 1096}},
               {nearPointer, {1450, 5}, {1416, 4}},     {screenCorner, {300, 400}, {1308, 37}},
               {screenCorner, {-600, 500}, {-132, 112}}};
  for (const auto& c : cases) {
    desktop.events.pointer = c.pointer;
    auto settings = config;
    settings.appearance.badgePlacement = c.placement;
    router().updateConfig(settings);
    router().requestMode(Mode::cursor);
    access().placeBadge();
    EXPECT_EQ(frame(access().badge()), (Rect{c.topLeft.x, c.topLeft.y, 120, 24})) << c.pointer;
    router().requestOff();
  }
  access().badge()->orderOut();
  access().placeBadge(Point{300, 400});  // only in cursor mode
  EXPECT_FALSE(access().badge()->isVisible());
}

TEST_F(ServiceOverlays, HelpListsBoundActionsByGroup) {
  std::erase_if(config.cursorBindings,
                [](auto& b) { return group(b.action) == CursorActionGroup::buttons; });
  config.cursorBindings.push_back({CursorAction::moveUp, Gesture::key(Key::u)});
  config.cursorEntry.separateExit = false;
  router().requestMode(Mode::cursor);
  press(Key::slash, Modifiers::shift);
  desktop.events.pointer = {-100, 500};
  access().refreshOverlays();
  Strings groups;
  for (const auto& entry : model().helpRows())
    groups.push_back(entry.group);
  EXPECT_EQ(groups, (Strings{"Move", "Scroll", "Hold keys", "Other"}));
  EXPECT_EQ(model().helpRows()[0].rows[0], (platform::HelpRow{"Move up", "I, U"}));
  EXPECT_EQ(model().helpExit(), config.cursorEntry.gesture.displayName());
  EXPECT_EQ(frame(access().help()), (Rect{-700, 600, 120, 24}));  // the left screen's centre
  press(Key::slash, Modifiers::shift);
  access().refreshOverlays();
  EXPECT_FALSE(access().help()->isVisible());
}

TEST_F(ServiceOverlays, ClickLabelsAndTheirDisplay) {
  config.clickSearchFirst = true;
  clickWith(12, -1000);
  EXPECT_EQ(
      chips(),
      std::make_pair(Strings{"1", "2", "3", "4", "5", "6", "7", "8", "9", "·", "·", "·"}, true));
  EXPECT_EQ(model().hudLine(), "Enter activates · Tab next · Backspace on empty goes back · " +
                                   config.clickEntry.exit.displayName() + " exits");
  EXPECT_EQ(frame(access().hud()), (Rect{-700, 112, 120, 24}));  // atop the first target's screen
  // The search line names the keys the controls are bound to.
  router().requestOff();
  config.clickControls[ClickControl::activateSelected] =
      Gesture::key(Key::space, Modifiers::control);
  config.clickControls[ClickControl::nextTarget] = Gesture::key(Key::n, Modifiers::control);
  router().updateConfig(config);
  clickWith(12, -1000);
  EXPECT_EQ(model().hudLine(),
            "Ctrl Space activates · Ctrl N next · Backspace on empty goes back · " +
                config.clickEntry.exit.displayName() + " exits");
  router().requestOff();
  access().refreshOverlays();
  EXPECT_TRUE(std::none_of(access().hints().panels.begin(), access().hints().panels.end(),
                           [](const auto& panel) { return panel->isVisible(); }));

  config.clickSearchFirst = false;
  config.clickEntry.separateExit = false;
  config.clickRequireReturn = true;
  config.clickControls.erase(ClickControl::startSearch);
  config.clickControls[ClickControl::cycleAction] = Gesture::key(Key::g);
  router().updateConfig(config);
  clickWith(3, 10);
  EXPECT_FALSE(chips().second);  // no selection before a letter is typed
  EXPECT_FALSE(access().hud()->isVisible());
  EXPECT_EQ(model().hudLine(), "Type a label · / search · G change action · " +
                                   config.clickEntry.gesture.displayName() + " exits");
  press(Key::a, {}, router().click()->labels().at(1));
  press(Key::g);
  access().setMessage("Hello");
  access().refreshOverlays();
  EXPECT_EQ(chips(), std::make_pair(Strings{router().click()->labels().at(1)}, true));
  EXPECT_EQ(model().hudAction(), "Right click");
  EXPECT_EQ(frame(access().hud()), (Rect{660, 37, 120, 24}));
}

}  // namespace
}  // namespace tovrel
