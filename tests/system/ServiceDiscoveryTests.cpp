#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "ServiceHarness.hpp"
#include "system/DisplayGeometry.hpp"

namespace tovrel {
namespace {

using platform::Rect;
using Mode = InteractionMode;
using Outcome = AccessibilityTargets::SemanticOutcome;
using Record = NavigationService::ActivationRecord;
using Event = std::tuple<platform::EventType, std::int64_t, std::int64_t>;  // type, button, state

const std::string changedText = "This target changed. Refreshing…";

// The editor shows one window with a Save button; click mode labels no menu bar and no dock.
struct ServiceDiscovery : ServiceTest {
  platform::fake::FakeAccessibility& ax = desktop.accessibility;
  int app = ax.addApplication(editorPid);
  int window = ax.add(app, "AXWindow", Rect{100, 100, 800, 600});

  ServiceDiscovery() {
    // A tree that cannot be switched on is never reported asleep.
    ax.setWriteResult(app, "AXManualAccessibility", platform::AXError::attributeUnsupported);
    ax.set(window, "AXSubrole", std::string("AXStandardWindow"));
    ax.set(app, "AXFocusedWindow", platform::fake::FakeAccessibility::Ref{window});
    ax.set(ax.add(window, "AXButton", Rect{120, 140, 80, 24}, {"AXPress"}), "AXTitle",
           std::string("Save"));
    config.clickLabelsMenuBar = config.clickLabelsDock = false;
    service().start();
  }
  NavigationRouter& router() { return access().router(); }
  std::int64_t startClick() {
    service().setMode(Mode::click);
    desktop.settle();
    return router().generation();
  }
  long found() {
    const auto texts = logTexts();
    return std::count_if(texts.begin(), texts.end(),
                         [](auto& t) { return t.starts_with("Found"); });
  }
};

DiscoveryResult result(int targets, int content, bool window, bool fullScreen = false) {
  DiscoveryResult r;
  r.targets.assign(targets, {"T", "AXButton", {10, 300, 8, 8}});
  r.elements.resize(targets);
  r.contentTargets = content;
  r.foundWindow = window;
  r.windowCanBeFullScreen = fullScreen;
  r.elapsed = 0.0127;
  return r;
}

TEST_F(ServiceDiscovery, PublishKeepsThreeSnapshotsAndSetsTheMessage) {
  const auto generation = startClick();
  EXPECT_EQ(router().click()->targets().at(0).name, "Save");
  const std::string none = "No keyboard targets found in this window. Use Moving here (" +
                           config.cursorEntry.gesture.displayName() + ").";
  auto truncated = result(400, 390, true);
  truncated.truncated = true;
  const std::pair<DiscoveryResult, std::optional<std::string>> cases[] = {
      {truncated,
       "Showing the first 400 targets; this window is larger than Tovrel reads at once."},
      {result(3, 3, true), std::nullopt},
      {result(0, 0, false),
       "This app does not expose its window to Accessibility. Use Moving here."},
      {result(2, 0, false), std::nullopt},
      {result(0, 0, true), none},
      {result(2, 0, true), std::nullopt},
      {result(2, 0, true, true), none}};
  for (const auto& [published, message] : cases) {
    access().publish(published, generation);
    EXPECT_EQ(service().message(), message) << published.targets.size();
  }
  EXPECT_EQ(logTexts().back(), "Found 2 targets in 12 ms");
  EXPECT_NEAR(service().lastDiscovery()->milliseconds, 12.7, 1e-9);
  std::vector<std::int64_t> kept;
  for (const auto& entry : access().elementsBySnapshot())
    kept.push_back(entry.first);
  EXPECT_EQ(kept, (std::vector<std::int64_t>{6, 7, 8}));

  access().activate(0, 8, generation + 1, TargetAction::press);  // an old generation
  EXPECT_FALSE(service().lastActivation());
  for (const auto& [index, snapshot] : {std::pair{0, 5}, {2, 8}}) {  // gone; out of range
    access().activate(index, snapshot, generation, TargetAction::press);
    EXPECT_EQ(service().message(), changedText);
    EXPECT_EQ(service().lastActivation(), (Record{"stale snapshot", false}));
    EXPECT_EQ(logTexts().back(), "Activation: stale snapshot");
  }
}

TEST_F(ServiceDiscovery, AnEmptyChromiumWindowSaysHowToSwitchItsAccessibilityOn) {
  using Refs = platform::fake::FakeAccessibility::RefList;
  const int open = ax.add(window, "AXButton", Rect{220, 140, 80, 24}, {"AXPress"});
  ax.set(open, "AXTitle", std::string("Open"));
  const std::string moving = config.cursorEntry.gesture.displayName();
  const std::string browser =
      "Chromium-based apps show their content to Accessibility only when started with "
      "--force-renderer-accessibility or with ACCESSIBILITY_ENABLED=1 set. Restart this app "
      "that way, or use Moving here (" +
      moving + ").";
  const std::string none =
      "No keyboard targets found in this window. Use Moving here (" + moving + ").";
  struct Case {
    std::optional<std::string> toolkit;
    bool window;
    bool content;
    std::optional<std::string> message;
  };
  const Case cases[] = {
      {"Chromium", true, false, browser},
      {"Chromium", false, false, browser},  // not even its frame
      {"Chromium", true, true, std::nullopt},
      {"GTK", true, false, none},
      {std::nullopt, true, false, none},
      {std::nullopt, false, false,
       "This app does not expose its window to Accessibility. Use Moving here."},
  };
  for (const auto& c : cases) {
    if (c.toolkit)
      ax.set(app, "AXToolkitName", *c.toolkit);
    else
      ax.erase(app, "AXToolkitName");
    if (c.window)
      ax.set(app, "AXFocusedWindow", platform::fake::FakeAccessibility::Ref{window});
    else
      ax.erase(app, "AXFocusedWindow");
    ax.set(window, "AXChildren", c.content ? Refs{{open}} : Refs{});
    service().setMode(Mode::off);
    desktop.settle();
    startClick();
    EXPECT_EQ(service().message(), c.message)
        << c.toolkit.value_or("no toolkit") << (c.window ? " window" : " no window")
        << (c.content ? " with content" : " empty");
  }
}

TEST_F(ServiceDiscovery, EmptyWindowRetriesOnceAndAsleepTreeTwice) {
  const auto generation = startClick();
  access().publish(result(0, 0, true), generation);
  EXPECT_EQ(access().emptyRetryGeneration(), generation);
  desktop.advance(0.39);
  EXPECT_EQ(found(), 2);
  desktop.advance(0.3);  // the retry at 0.4 s waits 0.22 s more: the session has targets
  EXPECT_EQ(found(), 3);
  access().publish(result(0, 0, true), generation);
  desktop.advance(1);
  EXPECT_EQ(found(), 4);
  auto asleep = result(1, 1, true);
  asleep.treeWasAsleep = true;
  access().publish(asleep, generation);
  desktop.advance(0.6);
  EXPECT_EQ(found(), 6);
  desktop.advance(1);
  EXPECT_EQ(found(), 7);
}

TEST_F(ServiceDiscovery, NewDiscoveryCancelsTheRunningOneAndRepeatsWait) {
  desktop.executor.queueDetached = true;
  const auto generation = startClick();
  access().scheduleDiscovery(generation);
  desktop.settle();
  desktop.executor.runQueuedDetached();
  desktop.settle();
  EXPECT_EQ(found(), 1);  // the first walk's result is dropped
  desktop.executor.queueDetached = false;
  access().scheduleDiscovery(generation);
  desktop.advance(0.21);
  EXPECT_EQ(found(), 1);
  desktop.advance(0.02);
  EXPECT_EQ(found(), 2);

  // The bar goes to the first label's screen while its application runs.
  desktop.overlays.screenList.push_back({{-1280, 100, 1280, 1024}, {-1280, 100, 1280, 1024}});
  for (const bool running : {true, false}) {
    if (!running) desktop.workspace.apps.pop_back();  // the editor
    const HintTarget left{"L", "AXButton", {-500, 300, 8, 8}};
    router().handle(RouterInput::TargetsDiscovered{generation, 9, {left}}, 0, {});
    access().scheduleDiscovery(generation);
    desktop.advance(0.25);
    EXPECT_EQ(access().scanBar().panel->frame().x, running ? -1280 : 0);
  }
  access().scanBar().start(desktop.overlays.screenList[0], 0.8);
  access().publish(result(1, 1, true), generation + 1);  // only finishes the bar
  EXPECT_TRUE(
      dynamic_cast<platform::fake::FakeOverlayPanel&>(*access().scanBar().panel).animating());
  EXPECT_EQ(found(), 4);
}

TEST_F(ServiceDiscovery, CompletionPostsThePointerFallBacks) {
  using enum TargetAction;
  const Event move{5, 0, 0};
  const auto unsupported = Outcome::unsupported("no press action");
  const struct {
    std::optional<Outcome> outcome;
    TargetAction action;
    bool fallback;
    std::vector<Event> events;
    std::string word;
    std::set<platform::EventType> refused = {};
  } cases[] = {
      {std::nullopt, press, true, {}, "target changed"},
      {Outcome::pressed(), doubleClick, true, {}, "pressed"},
      {Outcome::focused(), press, true, {}, "focused"},
      {unsupported, press, true, {move, {1, 0, 1}, {2, 0, 1}}, "pointer click"},
      {unsupported, press, false, {}, "press unsupported"},
      {unsupported, rightClick, false, {move, {3, 1, 1}, {4, 1, 1}}, "pointer right click"},
      {unsupported,
       doubleClick,
       true,
       {move, {1, 0, 1}, {2, 0, 1}, {1, 0, 2}, {2, 0, 2}},
       "pointer double click"},
      {unsupported, movePointer, true, {move}, "pointer moved"},
      {unsupported, doubleClick, true, {}, "pointer double click", {5}},
      {unsupported, doubleClick, true, {move, {2, 0, 1}, {2, 0, 2}}, "pointer double click", {1}},
  };
  const Rect frame{100, 200, 60, 20};
  const Point at = ClickPoint::of(frame, DisplayGeometry::activeBounds(desktop.displays), 1).point;
  for (const auto& c : cases) {
    config.clickPointerFallback = c.fallback;
    service().apply(config);
    service().setMode(Mode::click);
    access().setMessage("before");
    desktop.events.posted.clear();
    desktop.events.refusedEventTypes = c.refused;
    access().clickHider().show();
    access().complete(c.outcome ? AccessibilityTargets::Revalidation::valid(frame)
                                : AccessibilityTargets::Revalidation::changed(),
                      c.outcome, c.action, nullptr, router().generation());
    // A double click's second click comes 40 ms after the first, as a hand makes it.
    desktop.scheduler.advance(0.035);
    const auto secondClick = std::find_if(c.events.begin(), c.events.end(),
                                          [](const Event& e) { return std::get<2>(e) == 2; });
    EXPECT_EQ(desktop.events.posted.size(), std::size_t(secondClick - c.events.begin())) << c.word;
    desktop.scheduler.advance(0.01);
    EXPECT_EQ(desktop.events.posted.size(), c.events.size()) << c.word;
    desktop.scheduler.advance(0.055);
    std::vector<Event> events;
    for (const auto& p : desktop.events.posted) {
      events.emplace_back(p.event.type, p.event.buttonNumber, p.event.clickState);
      EXPECT_TRUE(p.event.location == at && p.event.sourceUserData == CursorOutput::marker);
    }
    EXPECT_EQ(events, c.events) << c.word;
    const bool ok = c.word != "target changed" && c.word != "press unsupported";
    EXPECT_EQ(service().lastActivation(), (Record{c.word, c.word.starts_with("pointer")}));
    const auto texts = logTexts();  // a success ends with "Clicking off"
    EXPECT_EQ(texts[texts.size() - (ok ? 2 : 1)], "Activation: " + c.word);
    EXPECT_EQ(service().message(), ok          ? "before"
                                   : c.outcome ? "This control does not accept a keyboard press "
                                                 "(no press action). Try Moving."
                                               : changedText);
    EXPECT_EQ(access().clickHider().hidden, ok);
    EXPECT_EQ(service().mode(), ok ? Mode::off : Mode::click) << c.word;
    if (c.outcome) {
      EXPECT_EQ(access().lastSpot(editorPid), std::make_pair(at, false));
    }
    service().stopNavigation();
  }
  // An item only a click presses is clicked at its centre, whatever the fall-back setting says.
  const AXElementBox item{{}, "AXCell", frame, {}, std::string(AXElementBox::click), {}};
  config.clickPointerFallback = false;
  service().apply(config);
  desktop.events.posted.clear();
  access().complete(AccessibilityTargets::Revalidation::valid(frame), unsupported, press, &item,
                    router().generation());
  EXPECT_EQ(desktop.events.posted.at(1).event.location, frame.center());
}

TEST_F(ServiceDiscovery, MovePointerAndHoverThroughTheTree) {
  access().activate(0, 1, startClick(), TargetAction::movePointer);
  EXPECT_EQ(service().lastActivation(), (Record{"pointer moved", true}));
  ASSERT_EQ(desktop.events.posted.size(), 1u);
  const Point moved = desktop.events.posted[0].event.location;  // where a hit test finds Save
  EXPECT_TRUE((Rect{120, 140, 80, 24}.contains(moved))) << moved;
  EXPECT_EQ(desktop.displays.cursorHideBalance(), 1);

  const auto generation = startClick();
  access().elementsBySnapshot()[2][0].pressAction = std::string(AXElementBox::hover);
  access().activate(0, 2, generation, TargetAction::press);
  EXPECT_EQ(service().lastActivation(), (Record{"hovered", true}));
  desktop.advance(0.24);
  EXPECT_EQ(service().mode(), Mode::off);
  desktop.advance(0.02);  // click mode again, for what the hover opened
  EXPECT_EQ(service().mode(), Mode::click);

  desktop.workspace.frontmost = 4242;
  access().activate(0, 3, router().generation(), TargetAction::press);
  EXPECT_EQ(service().lastActivation(), (Record{"stale snapshot", false}));
}

}  // namespace
}  // namespace tovrel
