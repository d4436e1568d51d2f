#include <algorithm>
#include <tuple>

#include "ServiceHarness.hpp"
#include "system/EventClassifier.hpp"

namespace tovrel {
namespace {

using platform::SystemNotification;
namespace ev = platform::eventType;
using Mode = InteractionMode;

constexpr std::int32_t mailPid = 300;

class EventRoadTest : public ServiceTest {
 protected:
  EventRoadTest() {
    desktop.workspace.apps.push_back({mailPid, "org.example.Mail", "Mail", std::nullopt});
    config.excludedBundleIDs = {"org.example.Mail"};
  }
  // A fresh, started service in `mode`.
  void restart(Mode mode = Mode::off) {
    destroyService();
    service().start();
    if (mode != Mode::off) service().setMode(mode);
    desktop.settle();
  }
  void post(SystemNotification notification, std::optional<std::int32_t> pid = std::nullopt,
            std::optional<std::string> id = std::nullopt,
            std::optional<std::string> name = std::nullopt) {
    desktop.systemEvents.post(notification, {pid, id, name});
  }
  void bringFront(std::int32_t pid, std::optional<std::string> id,
                  std::optional<std::string> name) {
    post(SystemNotification::didActivateApplication, pid, id, name);
  }
  // The modifier keys whose taps the tap was last told the program takes.
  std::vector<std::uint16_t> tapsInUse() {
    return desktop.events.liveTap()->interceptions.back().modifierTaps;
  }
};

TEST_F(EventRoadTest, OwnAndUnclassifiedEventsPassWithoutReachingTheRouter) {
  restart(Mode::cursor);
  platform::InputEvent own;
  own.keyCode = Key::escape;  // the cursor exit
  own.sourceUserData = CursorOutput::marker;
  for (auto type : {ev::keyDown, ev::leftMouseDown})
    EXPECT_FALSE(desktop.events.inject(type, own));
  access().clickHider().hidden = true;
  EXPECT_FALSE(access().handleTapEvent(ev::tabletPointer, {}));
  EXPECT_TRUE(access().clickHider().hidden);
  EXPECT_EQ(access().lastSpotCount(), 0u);
  EXPECT_EQ(service().mode(), Mode::cursor);
  pointer(ev::mouseMoved, {5, 5});
  EXPECT_FALSE(access().clickHider().hidden);
  EXPECT_TRUE(key(Key::escape, true));
  EXPECT_EQ(service().mode(), Mode::off);
}

// Pointer moves wake the program only while something follows them: a mode, or a pointer a click
// hid until the next move. Keys, buttons and the wheel are heard all the time.
TEST_F(EventRoadTest, PointerMovesAreHeardOnlyWhileSomethingFollowsThem) {
  using namespace platform::eventFlag;
  using Outcome = AccessibilityTargets::SemanticOutcome;
  restart();
  const auto mask = [&] { return desktop.events.liveTap()->mask; };
  const auto chord = [&](std::uint16_t code) {
    key(code, true, command | shift | leftCommand | leftShift);
    key(code, false, command | shift | leftCommand | leftShift);
  };
  const auto escape = [&] {
    key(Key::escape, true);
    key(Key::escape, false);
  };
  const struct {
    const char* what;
    std::function<void()> act;
    Mode mode;
    bool hidden;
    bool moves;
  } steps[] = {
      {"started", [] {}, Mode::off, false, false},
      {"Moving", [&] { tapRightOption(); }, Mode::cursor, false, true},
      {"Moving ended", escape, Mode::off, false, false},
      {"Clicking", [&] { chord(Key::space); }, Mode::click, false, true},
      {"a press ends Clicking and hides the pointer",
       [&] {
         access().complete(AccessibilityTargets::Revalidation::valid({100, 200, 60, 20}),
                           Outcome::pressed(), TargetAction::press, nullptr,
                           access().router().generation());
       },
       Mode::off, true, true},
      {"a button shows it",
       [&] {
         pointer(ev::leftMouseDown, {5, 5});
       },
       Mode::off, false, false},
      {"Clicking again", [&] { chord(Key::space); }, Mode::click, false, true},
      {"a press hides the pointer again",
       [&] {
         access().complete(AccessibilityTargets::Revalidation::valid({100, 200, 60, 20}),
                           Outcome::pressed(), TargetAction::press, nullptr,
                           access().router().generation());
       },
       Mode::off, true, true},
      {"the first move shows it",
       [&] {
         pointer(ev::mouseMoved, {6, 6});
       },
       Mode::off, false, false},
      {"a move while off reaches nothing",
       [&] {
         pointer(ev::mouseMoved, {7, 7});
       },
       Mode::off, false, false},
      {"Scrolling", [&] { chord(Key::j); }, Mode::scroll, false, true},
      {"Scrolling ended", escape, Mode::off, false, false},
  };
  for (const auto& step : steps) {
    step.act();
    EXPECT_EQ(service().mode(), step.mode) << step.what;
    EXPECT_EQ(access().clickHider().hidden, step.hidden) << step.what;
    EXPECT_EQ(mask() & EventClassifier::pointerMotionMask,
              step.moves ? EventClassifier::pointerMotionMask : 0)
        << step.what;
    EXPECT_EQ(mask() | EventClassifier::pointerMotionMask, EventClassifier::mask) << step.what;
  }
}

TEST_F(EventRoadTest, ButtonsAndWheelRecordTheFrontApplicationsSpot) {
  restart();
  const Point at{12, 34};
  const std::pair<platform::EventType, std::optional<bool>> cases[] = {
      {ev::leftMouseDown, false},
      {ev::rightMouseDown, false},
      {ev::scrollWheel, true},
      {ev::leftMouseUp, std::nullopt},
      {ev::mouseMoved, std::nullopt}};
  for (const auto& [type, scrolled] : cases) {
    access().setLastSpot(editorPid, {0, 0}, false);
    pointer(type, at);
    const auto spot = access().lastSpot(editorPid);
    EXPECT_EQ(scrolled ? std::optional(std::pair(at, *scrolled)) : std::pair(Point{}, false), spot)
        << type;
  }
}

TEST_F(EventRoadTest, RealLeftDragRefreshesTheBadgeOnlyWhenItStartsAndEnds) {
  restart(Mode::cursor);
  OverlayModel& model = access().overlayModel();
  // A refresh writes the flag back, so a flag changed behind the service's back shows none ran.
  for (auto type : {ev::leftMouseDragged, ev::leftMouseUp}) {
    const bool dragging = type == ev::leftMouseDragged;
    pointer(type, {10, 10});
    EXPECT_EQ(access().mouseDragging(), dragging);
    EXPECT_EQ(model.badgeDragging(), dragging);
    model.setBadgeDragging(!dragging);
    pointer(type, {20, 20});
    EXPECT_EQ(model.badgeDragging(), !dragging);
  }
}

TEST_F(EventRoadTest, ScreenshotToolLeavesTheScrollDotAndParkedPointAlone) {
  restart(Mode::scroll);
  access().scrollParked() = Point{1, 1};
  pointer(ev::mouseMoved, {50, 60});
  EXPECT_FALSE(access().scrollParked());
  const Rect dotFrame = access().dot().panel->frame();
  bringFront(400, "flameshot", "Flameshot");
  access().scrollParked() = Point{1, 1};
  pointer(ev::mouseMoved, {200, 300});
  EXPECT_EQ(access().dot().panel->frame(), dotFrame);
  EXPECT_TRUE(access().scrollParked());
  EXPECT_EQ(access().lastExternalPID(), editorPid);
  EXPECT_EQ(service().mode(), Mode::scroll);
}

TEST_F(EventRoadTest, OwnActivationStopsOnlyAModeWorkingOnAnotherApplication) {
  for (bool selfTarget : {false, true}) {
    for (Mode mode : {Mode::click, Mode::scroll}) {
      desktop.application.active = desktop.application.keyWindow = selfTarget;
      restart(mode);
      bringFront(desktop.workspace.self, "local.tovrel.Tovrel", "Tovrel");
      EXPECT_EQ(service().mode(), selfTarget ? mode : Mode::off);
      EXPECT_EQ(access().lastExternalPID(), editorPid);
    }
  }
}

TEST_F(EventRoadTest, ExcludedApplicationSuspendsWhileOffAndStopsARunningMode) {
  for (Mode mode : {Mode::off, Mode::cursor}) {
    restart(mode);
    bringFront(mailPid, "org.example.Mail", "Mail");
    EXPECT_EQ(service().excludedAppInFront(), "Mail");
    EXPECT_TRUE(access().router().routingSuspended());
    // Mail's own Alt taps reach it untouched.
    EXPECT_EQ(tapsInUse(), std::vector<std::uint16_t>{});
    EXPECT_EQ(service().mode(), Mode::off);
    EXPECT_EQ(service().message().value_or("none"),
              mode == Mode::off ? "none" : "Tovrel is turned off in Mail.");
    int changes = 0;
    const auto token = service().observe([&](auto) { ++changes; });
    bringFront(mailPid, "org.example.Mail", "Mail");
    EXPECT_EQ(changes, 0);
    service().removeObserver(token);
  }
  bringFront(editorPid, "org.example.Editor", "Editor");
  EXPECT_FALSE(access().router().routingSuspended());
  EXPECT_EQ(tapsInUse(), std::vector<std::uint16_t>{Key::rightOption});
  bringFront(mailPid, "org.example.Mail", std::nullopt);
  EXPECT_EQ(service().excludedAppInFront(), "org.example.Mail");
}

TEST_F(EventRoadTest, FocusedInputsSuspendRoutingOutsideClickAndScroll) {
  // `tapTaken`: the right Alt tap does something, or is an entry while a mode is on, so
  // applications must not take it as theirs.
  struct Case {
    Mode mode;
    platform::FirstResponder responder;
    bool editing, entriesPass, tapTaken;
  } cases[] = {{Mode::off, {true, false}, true, true, true},
               {Mode::off, {false, true}, true, false, false},
               {Mode::off, {true, true}, true, false, false},
               {Mode::cursor, {true, false}, true, true, true},
               {Mode::click, {true, false}, false, false, true},
               {Mode::scroll, {true, false}, false, false, true}};
  for (const Case& c : cases) {
    desktop.application.active = desktop.application.keyWindow = false;
    restart(c.mode);
    desktop.application.active = desktop.application.keyWindow = true;
    desktop.application.responder = c.responder;
    bringFront(desktop.workspace.self, "local.tovrel.Tovrel", "Tovrel");
    EXPECT_EQ(service().editingSettings(), c.editing);
    EXPECT_EQ(access().router().routingSuspended(), c.editing);
    EXPECT_EQ(access().router().entriesAllowedWhileSuspended(), c.entriesPass);
    EXPECT_EQ(tapsInUse(), c.tapTaken ? std::vector<std::uint16_t>{Key::rightOption}
                                      : std::vector<std::uint16_t>{});
    if (c.mode == Mode::cursor) {
      // Another window takes the focus while the toolkit still calls this program active: Moving's
      // keys are Moving's at once, on the tap's own thread too.
      bringFront(editorPid, "org.example.Editor", "Editor");
      EXPECT_FALSE(service().editingSettings());
      EXPECT_FALSE(access().router().routingSuspended());
      platform::InputEvent press;
      press.type = platform::eventType::keyDown;
      press.keyCode = Key::l;
      press.text = u"l";
      EXPECT_EQ(desktop.events.liveTap()->ownership(press.type, press), true);
    }
    if (c.mode != Mode::off) continue;
    tapRightOption();  // the cursor entry
    EXPECT_EQ(service().mode(), c.entriesPass ? Mode::cursor : Mode::off);
  }
}

// From a shortcut field to a text field: routing stays suspended, but the entry tap works again.
TEST_F(EventRoadTest, TheEntryTapIsTakenAgainWhenTheFocusMovesToATextField) {
  restart();
  desktop.application.active = desktop.application.keyWindow = true;
  desktop.application.responder = platform::FirstResponder{false, true};
  bringFront(desktop.workspace.self, "local.tovrel.Tovrel", "Tovrel");
  EXPECT_EQ(tapsInUse(), std::vector<std::uint16_t>{});
  desktop.application.responder = platform::FirstResponder{true, false};
  access().updateEditingState();
  EXPECT_TRUE(access().router().routingSuspended());
  EXPECT_EQ(tapsInUse(), std::vector<std::uint16_t>{Key::rightOption});
}

TEST_F(EventRoadTest, SessionEventsStopNavigationWithTheirReason) {
  const std::string asleep = "Navigation stopped for sleep, lock, or a user switch.";
  struct Case {
    std::function<void()> happen;
    std::string reason;
    bool evenWhenOff;
  } cases[] = {
      {[&] { post(SystemNotification::willSleep); }, asleep, true},
      {[&] { post(SystemNotification::screensDidSleep); }, asleep, true},
      {[&] { post(SystemNotification::sessionDidResignActive); }, asleep, true},
      {[&] { post(SystemNotification::didChangeScreenParameters); },
       "The display arrangement changed, so navigation stopped.", false},
      {[&] { desktop.events.emitDisabled(true); }, std::string(platformText::tapPaused), true}};
  for (const Case& c : cases) {
    for (Mode mode : {Mode::off, Mode::cursor}) {
      restart(mode);
      c.happen();
      EXPECT_EQ(service().mode(), Mode::off);
      const bool told = mode != Mode::off || c.evenWhenOff;
      EXPECT_EQ(service().message().value_or("none"), told ? c.reason : "none");
      const auto log = logTexts();
      EXPECT_EQ(std::count(log.begin(), log.end(), c.reason), told ? 1 : 0);
    }
  }
}

TEST_F(EventRoadTest, SleepReleasesAHeldDrag) {
  config.cursorBindings.push_back({CursorAction::dragHold, Gesture::key(Key::d)});
  restart(Mode::cursor);
  key(Key::d, true);
  ASSERT_EQ(desktop.events.posted.back().event.type, ev::leftMouseDown);
  post(SystemNotification::willSleep);
  const auto& posted = desktop.events.posted;
  EXPECT_TRUE(std::any_of(posted.begin(), posted.end(),
                          [](const auto& p) { return p.event.type == ev::leftMouseUp; }));
}

TEST_F(EventRoadTest, TargetQuittingStopsClickModeAndKeepsTheFrontName) {
  restart(Mode::click);
  access().setLastSpot(editorPid, {1, 2}, false);
  post(SystemNotification::didTerminateApplication, mailPid);
  EXPECT_EQ(service().mode(), Mode::click);
  post(SystemNotification::didTerminateApplication, editorPid);
  EXPECT_EQ(service().mode(), Mode::off);
  EXPECT_FALSE(access().lastExternalPID());
  EXPECT_FALSE(access().lastSpot(editorPid));
  EXPECT_EQ(access().frontName(), "Editor");
}

TEST_F(EventRoadTest, SecureInputHotKeysCoverChordsWithModifiersWhileOff) {
  desktop.hotKeys.secureInput = true;
  config.clickEntry.gesture = Gesture::modifierTap(Key::rightCommand);
  config.scrollEntry.gesture = Gesture::key(Key::j);
  config.cursorEntry.gesture = Gesture::key(Key::k, {Modifiers::control, Modifiers::option});
  restart();
  access().syncSecureHotKey();
  EXPECT_EQ(access().secureHotKeys().count(), 1u);
  ASSERT_EQ(desktop.hotKeys.registrationsOf(3).size(), 1u);
  EXPECT_EQ(desktop.hotKeys.registrationsOf(3)[0].keyCode, Key::k);
  desktop.hotKeys.press({SystemHotKeys::signature, 3});
  EXPECT_EQ(service().mode(), Mode::cursor);
  access().syncSecureHotKey();
  EXPECT_FALSE(access().secureHotKeys().hasHotKeys());
  service().stopNavigation();
  access().syncSecureHotKey();
  EXPECT_TRUE(access().secureHotKeys().isRegistered(3));
  desktop.hotKeys.secureInput = false;
  desktop.advance(NavigationService::secureWatchInterval);
  EXPECT_FALSE(access().secureHotKeys().hasHotKeys());
}

TEST_F(EventRoadTest, ChangedEntryChordsAreHotKeysAtOnceUnderSecureInput) {
  using Chord = std::tuple<std::uint32_t, std::uint16_t, std::uint32_t>;  // id, key, mask
  auto registered = [&] {
    std::vector<Chord> chords;
    for (const auto& entry : desktop.hotKeys.registrations)
      chords.emplace_back(entry.id.id, entry.keyCode, entry.modifierMask);
    std::ranges::sort(chords);
    return chords;
  };
  const Modifiers controlOption{Modifiers::control, Modifiers::option};
  const std::uint32_t controlOptionMask = hotKeyModifierMask(controlOption);
  struct Case {
    const char* name;
    bool secure;
    bool started;
    std::function<void(TovrelConfig&)> change;
    std::vector<Chord> expected;
  };
  const TovrelConfig defaults = TovrelConfig::defaults();
  const std::uint32_t scrollMask = hotKeyModifierMask(defaults.scrollEntry.gesture.modifiers());
  const Chord scroll{2, defaults.scrollEntry.gesture.keyCode(), scrollMask};
  const Case cases[] = {
      {"click chord moved",
       true,
       true,
       [&](TovrelConfig& c) { c.clickEntry.gesture = Gesture::key(Key::k, controlOption); },
       {{1, Key::k, controlOptionMask}, scroll}},
      {"cursor tap became a chord",
       true,
       true,
       [&](TovrelConfig& c) { c.cursorEntry.gesture = Gesture::key(Key::m, controlOption); },
       {{1, defaults.clickEntry.gesture.keyCode(),
         hotKeyModifierMask(defaults.clickEntry.gesture.modifiers())},
        scroll,
        {3, Key::m, controlOptionMask}}},
      {"click chord became a tap",
       true,
       true,
       [&](TovrelConfig& c) { c.clickEntry.gesture = Gesture::modifierTap(Key::rightCommand); },
       {scroll}},
      {"no secure input",
       false,
       true,
       [&](TovrelConfig& c) { c.clickEntry.gesture = Gesture::key(Key::k, controlOption); },
       {}},
      {"not started",
       true,
       false,
       [&](TovrelConfig& c) { c.clickEntry.gesture = Gesture::key(Key::k, controlOption); },
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    desktop.hotKeys.secureInput = c.secure;
    destroyService();
    if (c.started) {
      service().start();
      access().syncSecureHotKey();  // as the first check after the start would
    }
    TovrelConfig changed = config;
    c.change(changed);
    service().apply(changed);
    // No check has run since: what is registered now came from apply itself.
    EXPECT_EQ(registered(), c.expected);
    if (!c.expected.empty()) {
      desktop.hotKeys.press({SystemHotKeys::signature, std::get<0>(c.expected.front())});
      EXPECT_NE(service().mode(), Mode::off);
      service().stopNavigation();
    }
  }
}

TEST_F(EventRoadTest, RefusedTapIsRetriedWhenTheProgramBecomesActive) {
  desktop.events.refuseTap = true;
  restart();
  EXPECT_FALSE(service().tapInstalled());
  desktop.events.refuseTap = false;
  post(SystemNotification::didBecomeActive);
  EXPECT_TRUE(service().tapInstalled());
  EXPECT_EQ(logTexts().back(), "Keyboard access ready");
  ASSERT_NE(desktop.events.liveTap(), nullptr);
  EXPECT_FALSE(desktop.events.liveTap()->interceptions.empty());
  const auto* live = desktop.events.liveTap();
  post(SystemNotification::didBecomeActive);
  service().start();
  EXPECT_EQ(desktop.events.liveTap(), live);
  EXPECT_EQ(access().observerCount(), 7u);
}

}  // namespace
}  // namespace tovrel
