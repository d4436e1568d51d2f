#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <regex>
#include <set>
#include <tuple>

#include "tests/system/ServiceHarness.hpp"

namespace tovrel {
namespace {

using platform::KeyInterception;
using Chord = KeyInterception::Chord;
using Mode = InteractionMode;
using ::testing::Contains;

class NavigationServiceTest : public ServiceTest {
 protected:
  std::size_t movesTo(Point point) const {
    return std::count_if(desktop.events.posted.begin(), desktop.events.posted.end(), [&](auto& p) {
      return p.event.type == platform::eventType::mouseMoved && p.event.location == point &&
             p.event.sourceUserData == CursorOutput::marker;
    });
  }
  // A fresh service, started; discovery and the scroll searches never finish.
  void restart() {
    destroyService();
    desktop.executor.queueDetached = true;
    service().start();
  }
  // Types the first letter of the first label straight into the router at `time`.
  void typeLabelLetter(double time) {
    const std::string letter = access().router().click()->labels().front().substr(0, 1);
    std::uint16_t code = 0;
    for (const auto& [c, text] : Key::printableCodes())
      if (text.size() == 1 && std::tolower(text[0]) == letter[0]) code = c;
    const KeyEvent event(KeyEvent::Kind::down, code, {}, false, false, true, letter);
    access().router().handle(RouterInput::Key{event}, time, {});
  }
};

TEST_F(NavigationServiceTest, ExecutorOrderingAndPendingScrollReturn) {
  // Off: a pending return waits through an empty batch, which only re-arms the timers.
  access().scrollHome() = Point{100, 100};
  access().scrollParked() = Point{300, 400};  // where the pointer is
  access().execute(NavigationEffect::Stopped{Mode::scroll});
  access().labelTimerDeadline() = 42.0;  // not the router's: re-arming forgets it
  access().applyEffects({});
  EXPECT_FALSE(access().labelTimerDeadline());
  EXPECT_TRUE(access().hasPendingScrollReturn());
  EXPECT_EQ(movesTo({100, 100}), 0u);
  access().applyEffects({NavigationEffect::RefreshOverlay{}});
  EXPECT_FALSE(access().hasPendingScrollReturn());
  EXPECT_EQ(movesTo({100, 100}), 1u);

  // Refresh effects are skipped; the batch refreshes once (the badge is placed once).
  restart();
  service().setMode(Mode::cursor);
  ASSERT_NE(access().badge(), nullptr);
  auto& badge = static_cast<platform::fake::FakeOverlayPanel&>(*access().badge()->panel);
  const int frames = badge.frameSets;
  access().applyEffects({});
  EXPECT_EQ(badge.frameSets, frames);
  const NavigationEffect refresh = NavigationEffect::RefreshOverlay{};
  access().applyEffects({refresh, refresh, refresh});
  EXPECT_EQ(badge.frameSets, frames + 1);
}

TEST_F(NavigationServiceTest, ScrollReturnOnlyWithinTwoPointsAndOnlyWhenOff) {
  struct Case {
    double offset;
    Mode next;
    std::size_t moves;
  };
  for (const Case& c :
       {Case{1.9, Mode::off, 1}, Case{2.0, Mode::off, 0}, Case{0.0, Mode::cursor, 0}}) {
    SCOPED_TRACE(c.offset);
    restart();
    service().setMode(Mode::scroll);
    ASSERT_EQ(service().mode(), Mode::scroll);
    access().scrollHome() = Point{100, 100};
    access().scrollParked() = Point{500, 500};
    desktop.events.pointer = {500 + c.offset, 500};
    const std::size_t before = movesTo({100, 100});
    service().setMode(c.next);
    service().stopNavigation();  // a dropped return does not come back later
    EXPECT_FALSE(access().hasPendingScrollReturn());
    EXPECT_EQ(movesTo({100, 100}) - before, c.moves);
  }
}

TEST_F(NavigationServiceTest, StartWithoutAnAppInFrontStopsAtOnce) {
  desktop.workspace.frontmost = desktop.workspace.self;  // no last external application
  desktop.application.active = true;                     // active, but without a key window
  for (Mode mode : {Mode::click, Mode::scroll}) {
    restart();
    service().setMode(mode);
    const std::string modeName(name(mode));
    EXPECT_EQ(service().message(),
              modeName + " needs an app in front. Switch to the app, then try again.");
    EXPECT_EQ(service().mode(), Mode::off);
    EXPECT_THAT(logTexts(), ::testing::Not(Contains(modeName + " on")));
    EXPECT_FALSE(access().interception()->allKeys);
  }
}

TEST_F(NavigationServiceTest, TickStepsAreTimeSinceArmingCappedAndTheTimerFollowsTheRouter) {
  restart();
  service().setMode(Mode::cursor);
  EXPECT_EQ(access().tickTimer(), nullptr);
  key(Key::l, true);  // move right
  ASSERT_NE(access().tickTimer(), nullptr);
  desktop.clock.now += 0.02;
  access().tick();
  EXPECT_NEAR(access().router().cursor().moveElapsed(), 0.02, 1e-9);
  desktop.clock.now += 0.3;
  access().tick();
  EXPECT_NEAR(access().router().cursor().moveElapsed(), 0.07, 1e-9);

  for (int step = 0; step < 6; ++step) {
    if (step == 3) key(Key::l, false);
    desktop.advance(0.05);
    EXPECT_EQ(access().tickTimer() != nullptr, access().router().cursorNeedsTicks());
  }
  EXPECT_EQ(access().tickTimer(), nullptr);
  EXPECT_FALSE(access().lastTick());
  EXPECT_EQ(service().currentSpeed(), 0.0);
}

TEST_F(NavigationServiceTest, LabelTimerArmsForTheRouterDeadline) {
  restart();
  service().setMode(Mode::click);
  std::vector<HintTarget> targets(60);  // two-letter labels
  NavigationRouter& router = access().router();
  router.handle(RouterInput::TargetsDiscovered{router.generation(), 1, targets}, 0, {});

  typeLabelLetter(desktop.clock.now - 10);  // a deadline already past: 0.01 second
  access().applyEffects({});
  EXPECT_EQ(access().labelTimerDeadline(), router.typedLabelDeadline());
  desktop.advance(0.009);
  EXPECT_TRUE(access().labelTimerDeadline());
  desktop.advance(0.002);
  EXPECT_FALSE(access().labelTimerDeadline());
  EXPECT_EQ(router.click()->typedPrefix(), "");

  typeLabelLetter(desktop.clock.now);
  access().applyEffects({});
  const int created = desktop.scheduler.timersCreated;
  access().applyEffects({});  // the same deadline keeps its timer
  EXPECT_EQ(desktop.scheduler.timersCreated, created);
  EXPECT_NE(access().labelTimer(), nullptr);
}

TEST_F(NavigationServiceTest, WatchdogKeepsTheKeyCatcherUpAndStopsWhenTrustIsLost) {
  restart();
  service().setMode(Mode::cursor);
  desktop.hotKeys.secureInput = true;  // after the start: only the watchdog can notice
  desktop.advance(1.0);
  ASSERT_NE(access().keyCatcher(), nullptr);
  EXPECT_TRUE(desktop.panels.panels.back()->visible && desktop.panels.panels.back()->key);

  desktop.hotKeys.secureInput = false;
  desktop.access.trusted = false;
  desktop.advance(1.0);
  const std::string reason =
      "Accessibility access was turned off, so Tovrel stopped. Allow access again to continue.";
  EXPECT_EQ(service().mode(), Mode::off);
  EXPECT_EQ(desktop.events.liveTapCount(), 0);
  EXPECT_EQ(service().message(), reason);
  EXPECT_THAT(logTexts(), Contains(reason));
  EXPECT_FALSE(service().readiness().accessibilityTrusted);
  EXPECT_FALSE(desktop.panels.panels.back()->visible);
}

TEST_F(NavigationServiceTest, LogKeepsTheNewestEighty) {
  int changes = 0;
  service().observe([&](auto p) { changes += p == NavigationService::Property::log; });
  for (int i = 0; i <= 80; ++i)
    access().record("entry " + std::to_string(i));
  EXPECT_EQ(changes, 82);  // the 81st entry: appended, then trimmed
  ASSERT_EQ(service().log().size(), 80u);
  EXPECT_EQ(service().log().front().text, "entry 1");
  EXPECT_DOUBLE_EQ(service().log().back().date, desktop.scheduler.wallTime());
  const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  std::set<std::string> ids;
  for (const auto& entry : service().log())
    if (std::regex_match(entry.id, uuid)) ids.insert(entry.id);
  EXPECT_EQ(ids.size(), 80u);  // well-formed and distinct
}

TEST_F(NavigationServiceTest, SetModeWithoutTapExplainsWhy) {
  const std::string cannotRead = "Tovrel cannot read the keyboard right now. See Diagnostics.";
  const std::string noAccess =
      "Allow Accessibility access first. Tovrel cannot take over the keyboard yet.";
  // trusted, tap creatable, secure input
  for (const auto& [trusted, creatable, secure, text] :
       {std::tuple{false, false, false, noAccess}, std::tuple{true, false, false, cannotRead},
        std::tuple{false, true, false, cannotRead}, std::tuple{false, false, true, cannotRead}}) {
    destroyService();
    desktop.access.trusted = trusted;
    desktop.events.refuseTap = !creatable;
    desktop.hotKeys.secureInput = secure;
    int messages = 0;
    service().observe([&](auto p) { messages += p == NavigationService::Property::message; });
    const auto generation = access().router().generation();
    service().setMode(Mode::click);
    service().setMode(Mode::click);
    EXPECT_EQ(service().message(), text);
    EXPECT_EQ(messages, 1);  // the same text again is no change
    EXPECT_EQ(access().router().generation(), generation);
  }
}

TEST_F(NavigationServiceTest, SetModeBringsBackTheLastExternalApp) {
  using Activations = std::vector<std::int32_t>;
  // mode, this program in front, the editor still running, activations
  for (const auto& [mode, selfInFront, running, activations] :
       {std::tuple{Mode::cursor, false, true, Activations{}},
        std::tuple{Mode::cursor, true, true, Activations{editorPid}},
        std::tuple{Mode::cursor, true, false, Activations{}},
        std::tuple{Mode::click, false, true, Activations{editorPid}}}) {
    desktop.workspace.frontmost = editorPid;
    restart();
    if (selfInFront) desktop.workspace.frontmost = desktop.workspace.self;
    if (!running) desktop.workspace.apps.pop_back();
    desktop.application.activations.clear();
    service().setMode(mode);
    EXPECT_EQ(desktop.application.activations, activations);
    EXPECT_EQ(service().mode(), mode);
    if (!running) desktop.workspace.apps.push_back({editorPid, "org.example.Editor", "Editor", {}});
  }
}

TEST_F(NavigationServiceTest, ShutdownReleasesEverythingAndLateCallbacksDoNothing) {
  desktop.hotKeys.secureInput = true;
  restart();
  desktop.advance(1.0);  // hot keys for the two entry chords
  ASSERT_FALSE(desktop.hotKeys.registrations.empty());
  service().setMode(Mode::cursor);
  key(Key::l, true);
  access().dot().show({10, 10});
  access().clickHider().hide();
  access().execute(NavigationEffect::Activate{0, 1, 0, TargetAction::press});  // queued

  service().shutdown();
  EXPECT_EQ(service().mode(), Mode::off);
  EXPECT_EQ(desktop.events.liveTapCount(), 0);
  EXPECT_EQ(desktop.displays.cursorHideBalance(), 0);
  EXPECT_TRUE(desktop.hotKeys.registrations.empty());
  EXPECT_EQ(desktop.systemEvents.observerCount(), 0u);
  EXPECT_EQ(desktop.scheduler.liveTimers(), 0u);

  // Destroyed while running: its timers die with it, queued work finds it gone.
  restart();
  service().setMode(Mode::cursor);
  key(Key::l, true);
  access().execute(NavigationEffect::Activate{0, 1, 0, TargetAction::press});
  const std::size_t posted = desktop.events.posted.size();
  destroyService();
  EXPECT_EQ(desktop.scheduler.liveTimers(), 0u);
  desktop.advance(2.0);
  EXPECT_EQ(desktop.events.posted.size(), posted);
}

TEST_F(NavigationServiceTest, KeyInterceptionFollowsTheMode) {
  using namespace platform::eventFlag;
  const Modifiers cmdShift{Modifiers::command, Modifiers::shift};
  restart();
  const auto last = [&] { return desktop.events.liveTap()->interceptions.back(); };
  // The right Option tap needs no grab, but it is the program's.
  const KeyInterception entries{
      false, {Chord{Key::space, cmdShift}, Chord{Key::j, cmdShift}}, {Key::rightOption}};
  EXPECT_EQ(last(), entries);

  EXPECT_TRUE(key(Key::space, true, command | shift | leftCommand | leftShift));
  EXPECT_EQ(service().mode(), Mode::click);
  EXPECT_EQ(last(), (KeyInterception{true, {}, {Key::rightOption}}));
  key(Key::space, false, command | shift | leftCommand | leftShift);
  EXPECT_TRUE(key(Key::escape, true));
  EXPECT_EQ(service().mode(), Mode::off);
  EXPECT_EQ(last(), entries);

  TovrelConfig changed = config;
  changed.scrollEntry.gesture = Gesture::key(Key::k, Modifiers::control);
  service().apply(changed);
  EXPECT_EQ(last(),
            (KeyInterception{false,
                             {Chord{Key::space, cmdShift}, Chord{Key::k, Modifiers::control}},
                             {Key::rightOption},
                             {}}));

  // Moving with Escape as its stop: the entry tap does nothing until Moving ends, yet a second tap
  // stays the program's. Moving names its own keys, which stay its own even when an answer comes
  // late; Clicking, whose keys are the labels, names none.
  tapRightOption();
  ASSERT_EQ(service().mode(), Mode::cursor);
  const KeyInterception moving = last();
  EXPECT_TRUE(moving.allKeys);
  EXPECT_EQ(moving.modifierTaps, std::vector<std::uint16_t>{Key::rightOption});
  for (std::uint16_t code : {Key::i, Key::j, Key::k, Key::l, Key::space})
    EXPECT_NE(std::find(moving.modeKeys.begin(), moving.modeKeys.end(), Chord{code, {}}),
              moving.modeKeys.end())
        << Key::name(code);
  EXPECT_EQ(std::find(moving.modeKeys.begin(), moving.modeKeys.end(), Chord{Key::escape, {}}),
            moving.modeKeys.end());
  // The tap decides a press on its own: it passes exactly when the mode has no use for it.
  const auto passes = [&](std::uint16_t code, std::u16string text, std::uint64_t flags = 0) {
    platform::InputEvent event;
    event.type = platform::eventType::keyDown;
    event.keyCode = code;
    event.text = std::move(text);
    event.flags = flags;
    return !desktop.events.liveTap()->ownership(event.type, event).value();
  };
  using platform::eventFlag::control;
  const struct {
    std::uint16_t code;
    std::u16string text;
    std::uint64_t flags;
    bool moving, clicking;
  } presses[] = {
      {Key::j, u"j", 0, false, false},         // Moving's, a label letter
      {Key::q, u"q", 0, false, false},         // typing never leaks
      {Key::c, u"\x03", control, true, true},  // a shortcut
      {Key::f1, u"", 0, true, true},           // a key that types nothing
      {Key::tab, u"\t", 0, true, false},       // Clicking's next target
  };
  for (const auto& press : presses)
    EXPECT_EQ(passes(press.code, press.text, press.flags), press.moving) << Key::name(press.code);
  service().setMode(Mode::click);
  EXPECT_EQ(last(), (KeyInterception{true, {}, {Key::rightOption}, {}}));
  for (const auto& press : presses)
    EXPECT_EQ(passes(press.code, press.text, press.flags), press.clicking) << Key::name(press.code);

  // This program's own windows get the whole tap: its shortcut recorder takes it as a shortcut.
  EXPECT_TRUE(last().withholdModifierTaps);
  desktop.workspace.frontmost = desktop.workspace.self;
  restart();
  EXPECT_EQ(last(), (KeyInterception{false, entries.chords, {Key::rightOption}, {}, false}));
}

// A click, an activation or reading the front window needs the keyboard as the applications
// would have it without the tap; moving the pointer does not.
TEST_F(NavigationServiceTest, OnlyKeysThatClickOrReadTheFrontWindowFreeTheInput) {
  using namespace platform::eventFlag;
  service().start();
  desktop.settle();
  const auto requests = [&] { return desktop.events.liveTap()->freeInputRequests; };
  ASSERT_NE(desktop.events.liveTap(), nullptr);
  struct Step {
    const char* what;
    std::function<void()> act;
    int freed;  // requests so far
  };
  const std::vector<Step> steps = {
      {"Moving starts", [&] { tapRightOption(); }, 0},
      {"L moves", [&] { key(Key::l, true), key(Key::l, false); }, 0},
      {"Space clicks", [&] { key(Key::space, true), key(Key::space, false); }, 1},
      {"Escape stops", [&] { key(Key::escape, true), key(Key::escape, false); }, 1},
      {"Clicking starts",
       [&] {
         key(Key::space, true, command | shift);
         key(Key::space, false, command | shift);
       },
       2},
  };
  for (const Step& step : steps) {
    step.act();
    desktop.settle();
    EXPECT_EQ(requests(), step.freed) << step.what;
  }
  EXPECT_EQ(service().mode(), Mode::click);
}

}  // namespace
}  // namespace tovrel
