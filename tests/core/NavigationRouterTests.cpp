#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "TestKeys.hpp"
#include "core/NavigationRouter.hpp"

namespace tovrel {
namespace {

using namespace tovrel::testing;
using E = NavigationEffect;
using I = RouterInput;
using M = InteractionMode;
using Effects = NavigationEffects;
constexpr Modifiers shift = Modifiers::shift;
constexpr Modifiers command = Modifiers::command;
const Modifiers commandShift{Modifiers::command, Modifiers::shift};

// Modifier keys arrive with the modifiers held apart from their own family.
KeyEvent modifierDown(std::uint16_t code, Modifiers others = {}) {
  return keyEvent(KeyEvent::Kind::down, code, others);
}
KeyEvent modifierUp(std::uint16_t code, Modifiers others = {}) {
  return keyEvent(KeyEvent::Kind::up, code, others);
}

E refresh() {
  return E::RefreshOverlay{};
}
E cursorCommand(CursorCommand command) {
  return E::Cursor{command};
}

HintTarget target(std::string name, double x = 0) {
  return HintTarget{std::move(name), "AXButton", {x, 0, 40, 20}};
}

// A scenario step: a router input, a mode request or a frame tick, at a time, and the decision it
// must give (requests and ticks never consume).
struct Request {
  M mode;
};
struct Tick {
  double dt;
};
struct Step {
  std::variant<RouterInput, Request, Tick> input;
  double at;
  bool consumed;
  Effects effects;
};
struct Scenario {
  std::string name;
  std::function<void(TovrelConfig&)> configure;
  std::vector<Step> steps;
};

Step key(KeyEvent event, double at, bool consumed, Effects effects = {}) {
  return {I::Key{std::move(event)}, at, consumed, std::move(effects)};
}
Step input(RouterInput in, double at, Effects effects = {}) {
  return {std::move(in), at, false, std::move(effects)};
}

void run(const Scenario& scenario) {
  TovrelConfig config = TovrelConfig::defaults();
  if (scenario.configure) scenario.configure(config);
  NavigationRouter router(config, 0.5);
  for (std::size_t i = 0; i < scenario.steps.size(); ++i) {
    const Step& step = scenario.steps[i];
    const Point pointer{500, 400};
    RouterDecision decision = std::visit(
        [&](const auto& in) -> RouterDecision {
          using T = std::decay_t<decltype(in)>;
          if constexpr (std::is_same_v<T, Request>) {
            return {false, in.mode == M::off ? router.requestOff() : router.requestMode(in.mode)};
          } else if constexpr (std::is_same_v<T, Tick>) {
            return {false, router.tickCursor(in.dt)};
          } else {
            return router.handle(in, step.at, pointer);
          }
        },
        step.input);
    EXPECT_EQ(decision, (RouterDecision{step.consumed, step.effects}))
        << scenario.name << ", step " << i;
  }
}

const std::vector<HintTarget> threeTargets = {target("Open"), target("Save"), target("Close")};

TEST(NavigationRouter, Scenarios) {
  const KeyEvent clickChord = down(Key::space, commandShift);
  const KeyEvent scrollChord = down(Key::j, commandShift);
  const std::vector<Scenario> scenarios = {
      {"right option tap starts cursor mode and is not consumed",
       nullptr,
       {key(modifierDown(Key::rightOption), 1.0, false),
        key(modifierUp(Key::rightOption), 1.125, false, {E::Started{M::cursor}, refresh()})}},
      {"a tap too long, or with a key or a click between, starts nothing",
       nullptr,
       {key(modifierDown(Key::rightOption), 1.0, false),
        key(modifierUp(Key::rightOption), 1.5, false),
        key(modifierDown(Key::rightOption), 2.0, false), key(down(Key::x), 2.05, false),
        key(up(Key::x), 2.1, false), key(modifierUp(Key::rightOption), 2.125, false),
        key(modifierDown(Key::rightOption), 3.0, false), input(I::PointerButton{}, 3.05),
        key(modifierUp(Key::rightOption), 3.125, false)}},
      {"switching from cursor to click releases held buttons first",
       nullptr,
       {{Request{M::cursor}, 0, false, {E::Started{M::cursor}, refresh()}},
        key(down(Key::e), 1, true,
            {cursorCommand(CursorCommand::buttonDown(MouseButton::middle, 1)), refresh()}),
        key(clickChord, 2, true,
            {cursorCommand(CursorCommand::buttonUp(MouseButton::middle, 1)), E::Stopped{M::cursor},
             E::Started{M::click}, E::DiscoverTargets{3}, refresh()}),
        // The middle key's release was swallowed with its press; the chord's release too.
        key(up(Key::e), 3, true),
        key(repeat(Key::space, commandShift), 3, true),
        key(up(Key::space, commandShift), 3, true)}},
      {"the release and repeats of a stopping chord are swallowed",
       nullptr,
       {key(scrollChord, 0, true, {E::Started{M::scroll}, E::FindScrollWindow{1}, refresh()}),
        key(up(Key::j, commandShift), 0.1, true),
        key(down(Key::escape), 1, true, {E::Stopped{M::scroll}}),
        key(repeat(Key::escape), 1.5, true), key(up(Key::escape), 2, true),
        // Off again: the same key now belongs to the application.
        key(down(Key::escape), 3, false), key(up(Key::escape), 3.1, false)}},
      {"with a separate exit the entry chord does nothing, the exit stops",
       nullptr,
       {key(clickChord, 0, true, {E::Started{M::click}, E::DiscoverTargets{1}, refresh()}),
        key(up(Key::space, commandShift), 0.1, true), key(clickChord, 1, true),
        key(down(Key::escape), 2, true, {E::Stopped{M::click}})}},
      {"without a separate exit the entry chord toggles",
       [](TovrelConfig& c) { c.clickEntry.separateExit = false; },
       {key(clickChord, 0, true, {E::Started{M::click}, E::DiscoverTargets{1}, refresh()}),
        key(clickChord, 1, true, {E::Stopped{M::click}}),
        key(clickChord, 2, true, {E::Started{M::click}, E::DiscoverTargets{3}, refresh()}),
        // Escape is not an exit now: click mode has no use for it and it passes.
        key(down(Key::escape), 3, false)}},
      {"a held precision modifier does not spoil the exit",
       [](TovrelConfig& c) {
         c.cursorBindings.push_back({CursorAction::precision, Gesture::key(Key::leftShift)});
       },
       {{Request{M::cursor}, 0, false, {E::Started{M::cursor}, refresh()}},
        key(modifierDown(Key::leftShift), 1, true, {refresh()}),
        key(down(Key::escape, shift), 2, true, {E::Stopped{M::cursor}})}},
      {"a modifier-tap stop gesture stops its mode",
       [](TovrelConfig& c) { c.cursorEntry.exit = Gesture::modifierTap(Key::leftControl); },
       {{Request{M::cursor}, 0, false, {E::Started{M::cursor}, refresh()}},
        key(modifierDown(Key::leftControl), 1, false),
        key(modifierUp(Key::leftControl), 1.1, false, {E::Stopped{M::cursor}})}},
      {"click mode: stale and late discoveries change nothing, a label activates",
       nullptr,
       {key(clickChord, 0, true, {E::Started{M::click}, E::DiscoverTargets{1}, refresh()}),
        input(I::TargetsDiscovered{0, 1, threeTargets}, 0.1),
        input(I::TargetsDiscovered{1, 7, threeTargets}, 0.2, {refresh()}),
        key(down(Key::s), 1, true, {E::Activate{1, 7, 1, TargetAction::press}}),
        input(I::ActivationFinished{0, true}, 1.1),
        input(I::ActivationFinished{1, false}, 1.2, {E::DiscoverTargets{1}, refresh()}),
        input(I::ActivationFinished{1, true}, 1.3, {E::Stopped{M::click}})}},
      {"labels do not change under a typed prefix, which expires after three seconds",
       nullptr,
       {{Request{M::click}, 0, false, {E::Started{M::click}, E::DiscoverTargets{1}, refresh()}},
        input(I::TargetsDiscovered{1, 1, std::vector<HintTarget>(30, target("x"))}, 0.1,
              {refresh()}),
        key(down(Key::a), 1, true, {refresh()}),
        input(I::TargetsDiscovered{1, 2, threeTargets}, 1.5),
        input(I::TypedLabelTimeout{}, 3.99),
        input(I::TypedLabelTimeout{}, 4.0, {refresh()}),
        input(I::TargetsDiscovered{1, 2, threeTargets}, 4.1, {refresh()}),
        key(down(Key::d), 5, true, {E::Activate{2, 2, 1, TargetAction::press}})}},
      {"an expired prefix is cleared before the next letter",
       nullptr,
       {{Request{M::click}, 0, false, {E::Started{M::click}, E::DiscoverTargets{1}, refresh()}},
        input(I::TargetsDiscovered{1, 1, std::vector<HintTarget>(30, target("x"))}, 0.1,
              {refresh()}),
        key(down(Key::s), 1, true, {refresh()}),
        // "sa" would be label 26; three seconds later the "a" starts a new label instead.
        key(down(Key::a), 4.5, true, {refresh()}),
        key(down(Key::s), 4.6, true, {E::Activate{1, 1, 1, TargetAction::press}})}},
      {"click mode with clickStaysActive keeps going after an activation",
       [](TovrelConfig& c) { c.clickStaysActive = true; },
       {{Request{M::click}, 0, false, {E::Started{M::click}, E::DiscoverTargets{1}, refresh()}},
        input(I::ActivationFinished{1, true}, 1, {E::DiscoverTargets{1}, refresh()})}},
      {"arrows in click mode scroll and discover again; command shortcuts pass",
       nullptr,
       {{Request{M::click}, 0, false, {E::Started{M::click}, E::DiscoverTargets{1}, refresh()}},
        key(down(Key::upArrow), 1, true,
            {cursorCommand(CursorCommand::scroll(0, 120)), E::DiscoverTargets{1}}),
        key(down(Key::r, command), 2, true, {E::DiscoverTargets{1}, refresh()}),
        key(down(Key::c, command), 3, false),
        key(up(Key::c, command), 3.1, false)}},
      {"suspended with entries allowed: chords work, other keys reach no mode",
       nullptr,
       {{Request{M::cursor}, 0, false, {E::Started{M::cursor}, refresh()}},
        input(I::AllowEntriesWhileSuspended{true}, 0.5),
        input(I::SuspendRouting{true}, 1, {refresh()}),
        key(down(Key::l), 2, false),
        key(up(Key::l), 2.1, false),
        {Tick{0.01}, 2.2, false, {}},
        key(clickChord, 3, true,
            {E::Stopped{M::cursor}, E::Started{M::click}, E::DiscoverTargets{3}, refresh()}),
        input(I::SuspendRouting{false}, 4, {refresh()}),
        input(I::SuspendRouting{false}, 5)}},
      {"suspended without entries: everything passes",
       nullptr,
       {input(I::SuspendRouting{true}, 1, {refresh()}), key(clickChord, 2, false),
        key(modifierDown(Key::rightOption), 3, false),
        key(modifierUp(Key::rightOption), 3.1, false)}},
      {"suspension releases held buttons and a scroll session's keys",
       nullptr,
       {{Request{M::cursor}, 0, false, {E::Started{M::cursor}, refresh()}},
        key(down(Key::space, shift), 1, true,
            {cursorCommand(CursorCommand::buttonDown(MouseButton::right, 1)), refresh()}),
        input(I::SuspendRouting{true}, 2,
              {cursorCommand(CursorCommand::buttonUp(MouseButton::right, 1)), refresh()}),
        // Its release was swallowed with the press.
        key(up(Key::space, shift), 3, true)}},
      {"requests",
       nullptr,
       {{Request{M::off}, 0, false, {}},
        {Request{M::scroll}, 0, false, {E::Started{M::scroll}, E::FindScrollWindow{1}, refresh()}},
        {Request{M::scroll}, 0, false, {E::Stopped{M::scroll}}},
        {Request{M::off}, 0, false, {}}}},
      {"scroll mode: stale window ignored, current one parks, Tab steps, keys scroll",
       nullptr,
       {key(scrollChord, 0, true, {E::Started{M::scroll}, E::FindScrollWindow{1}, refresh()}),
        input(I::ScrollWindowFound{0, HintTarget::Frame{0, 0, 800, 600}, {}, {}, {}, {}, {}}, 0.1),
        input(I::ScrollWindowFound{1,
                                   HintTarget::Frame{0, 0, 1000, 800},
                                   {},
                                   {},
                                   {{0, 0, 300, 800}, {300, 0, 700, 800}},
                                   {},
                                   {}},
              0.2, {E::ParkPointer{650, 400}}),
        key(down(Key::tab), 1, true, {E::ParkPointer{150, 400}}),
        key(down(Key::j), 2, true),
        {Tick{0.5},
         2.5,
         false,
         {cursorCommand(
             CursorCommand::scroll(0, -0.5 * 900 * (0.2 + 0.8 * smoothRamp(0.5, 0.6))))}},
        key(up(Key::j), 3, true),
        {Tick{0.01}, 3.1, false, {}},
        input(I::FocusChanged{}, 4, {E::Stopped{M::scroll}})}},
      {"scroll mode from a fresh start: the first search chooses again, once",
       nullptr,
       {key(scrollChord, 0, true, {E::Started{M::scroll}, E::FindScrollWindow{1}, refresh()}),
        input(I::ScrollWindowFound{1, HintTarget::Frame{0, 0, 1000, 800}, {}, {}, {}, {}, {}}, 0.1,
              {E::ParkPointer{500, 400}}),
        input(I::ScrollAreasMoved{0, {{0, 0, 300, 800}, {300, 0, 700, 800}}, true}, 0.2),
        input(I::ScrollAreasMoved{1, {{0, 0, 300, 800}, {300, 0, 700, 800}}, true}, 0.3,
              {E::ParkPointer{650, 400}}),
        input(I::ScrollAreasMoved{1, {{0, 0, 600, 800}}, true}, 0.4),
        input(I::ScrollAreasMoved{1, {{0, 0, 300, 800}}, false}, 0.5)}},
      {"a pointer button stops cursor mode when asked to",
       [](TovrelConfig& c) { c.exitCursorOnMouse = true; },
       {{Request{M::cursor}, 0, false, {E::Started{M::cursor}, refresh()}},
        input(I::FocusChanged{}, 0.5),
        input(I::PointerButton{}, 1, {E::Stopped{M::cursor}})}},
      {"help toggles on its key and hides with the mode",
       nullptr,
       {{Request{M::cursor}, 0, false, {E::Started{M::cursor}, refresh()}},
        key(down(Key::slash, shift), 1, true, {refresh()}),
        key(repeat(Key::slash, shift), 1.2, true),
        key(up(Key::slash, shift), 1.3, true),
        input(I::ForceOff{}, 2, {E::Stopped{M::cursor}}),
        input(I::ForceOff{}, 3)}},
      {"a lost release does not swallow a later one",
       nullptr,
       {{Request{M::cursor}, 0, false, {E::Started{M::cursor}, refresh()}},
        key(down(Key::x), 1, true),
        // The release of x never arrives; the mode ends.
        input(I::ForceOff{}, 2, {E::Stopped{M::cursor}}),
        key(down(Key::x), 3, false),
        key(up(Key::x), 3.1, false)}},
      {"a release whose press reached the application reaches it too",
       nullptr,
       {key(down(Key::l), 0, false),
        {Request{M::cursor}, 0.1, false, {E::Started{M::cursor}, refresh()}},
        key(up(Key::l), 0.2, false)}},
  };
  for (const Scenario& scenario : scenarios)
    run(scenario);
}

TEST(NavigationRouter, UpdateConfigReleasesAndKeepsTheMode) {
  NavigationRouter router(TovrelConfig::defaults(), 0.4);
  router.requestMode(M::cursor);
  router.handle(I::Key{down(Key::space)}, 1, {});
  TovrelConfig changed = TovrelConfig::defaults();
  changed.modifierTapMaxMilliseconds = 400;
  EXPECT_EQ(router.updateConfig(changed),
            (Effects{cursorCommand(CursorCommand::buttonUp(MouseButton::left, 1)), refresh()}));
  EXPECT_EQ(router.mode(), M::cursor);
  EXPECT_EQ(router.generation(), 1);
  EXPECT_EQ(router.cursor().doubleClickInterval(), 0.4);
  EXPECT_EQ(router.tapRecognizer().maxDuration(), 0.4);
}

TEST(NavigationRouter, ReservedCharactersLeaveTheLabelAlphabet) {
  TovrelConfig config = TovrelConfig::defaults();
  config.clickAlphabet = "asdf./";
  config.clickControls[ClickControl::refresh] = Gesture::key(Key::d, shift);
  config.clickEntry.exit = Gesture::key(Key::a);
  NavigationRouter router(config, 0.5);
  router.requestMode(M::click);
  // "/" and "." are controls, Shift-D refreshes, A stops the mode.
  EXPECT_EQ(router.click()->alphabet(), (std::vector<std::string>{"s", "f"}));
}

TEST(NavigationRouter, TypedLabelDeadline) {
  NavigationRouter router(TovrelConfig::defaults(), 0.5);
  router.requestMode(M::click);
  router.handle(I::TargetsDiscovered{1, 1, std::vector<HintTarget>(30, target("x"))}, 0, {});
  EXPECT_FALSE(router.typedLabelDeadline());
  router.handle(I::Key{down(Key::a)}, 10, {});
  EXPECT_EQ(router.typedLabelDeadline(), 13.0);
}

// The taps the router reports in use are exactly those whose lone tap starts, switches or stops
// a mode, and while a mode is on every entry tap: over configurations, modes and suspension, every
// modifier key is tapped on a copy.
TEST(NavigationRouter, ModifierTapsInUseAreExactlyTheTapsThatActOrEnterAModeWhileOneIsOn) {
  struct Setting {
    std::string name;
    std::function<void(TovrelConfig&)> configure;
    bool suspended = false;
    bool entriesAllowed = false;
  };
  const std::vector<Setting> settings = {
      {"defaults", nullptr},
      {"cursor entry toggles", [](TovrelConfig& c) { c.cursorEntry.separateExit = false; }},
      {"left shift tap stops moving",
       [](TovrelConfig& c) { c.cursorEntry.exit = Gesture::modifierTap(Key::leftShift); }},
      {"click and scroll on taps",
       [](TovrelConfig& c) {
         c.clickEntry.gesture = Gesture::modifierTap(Key::rightControl);
         c.scrollEntry.gesture = Gesture::modifierTap(Key::leftCommand);
         c.scrollEntry.separateExit = false;
       }},
      {"no taps at all",
       [](TovrelConfig& c) { c.cursorEntry.gesture = Gesture::key(Key::m, command); }},
      {"suspended", nullptr, true},
      {"suspended for text, entries allowed", nullptr, true, true},
  };
  std::set<std::uint16_t> everUsed;
  for (const Setting& setting : settings) {
    for (M mode : {M::off, M::cursor, M::click, M::scroll}) {
      TovrelConfig config = TovrelConfig::defaults();
      if (setting.configure) setting.configure(config);
      NavigationRouter router(config, 0.5);
      if (mode != M::off) router.requestMode(mode);
      if (setting.suspended) router.handle(I::SuspendRouting{true}, 0.5, {});
      if (setting.entriesAllowed) router.handle(I::AllowEntriesWhileSuspended{true}, 0.5, {});
      const std::vector<std::uint16_t> inUse = router.modifierTapsInUse();
      for (std::uint16_t code : Key::modifierKeys) {
        NavigationRouter tapped = router;
        tapped.handle(I::Key{modifierDown(code)}, 1.0, {});
        tapped.handle(I::Key{modifierUp(code)}, 1.05, {});
        const auto entries = config.entries();
        const bool entryTap = std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
          return entry.second.gesture == Gesture::modifierTap(code);
        });
        const bool acts =
            tapped.mode() != router.mode() || tapped.generation() != router.generation() ||
            (entryTap && mode != M::off && (!setting.suspended || setting.entriesAllowed));
        const bool listed = std::find(inUse.begin(), inUse.end(), code) != inUse.end();
        EXPECT_EQ(listed, acts) << setting.name << ", mode " << static_cast<int>(mode)
                                << ", tap of " << Key::name(code);
        if (listed) everUsed.insert(code);
      }
    }
  }
  // The table reaches every kind of tap: entries, a stop gesture, several at once.
  EXPECT_EQ(everUsed, (std::set<std::uint16_t>{Key::leftCommand, Key::leftShift, Key::rightOption,
                                               Key::rightControl}));
}

// Random streams of keys, ticks, requests, results and system inputs over several configurations.
class RouterStream {
 public:
  RouterStream(TovrelConfig config, unsigned seed) : router_(config, 0.5), random_(seed) {}

  void run(int steps) {
    for (int i = 0; i < steps; ++i) {
      now_ += std::uniform_real_distribution<double>(0.005, 0.3)(random_);
      step();
      if (::testing::Test::HasFatalFailure()) return;
    }
    apply(I::ForceOff{}, false);
    EXPECT_EQ(router_.mode(), M::off);
    EXPECT_TRUE(router_.cursor().held().empty());
    EXPECT_FALSE(router_.cursor().leftDown());
    EXPECT_TRUE(router_.cursor().heldButtons().empty());
    for (const auto& [button, count] : buttons_)
      EXPECT_EQ(count, 0) << "button " << rawValue(button);
  }

  int keyDecisions() const { return keyDecisions_; }

 private:
  void step() {
    const auto pick = random_() % 100;
    if (pick < 55) return pressOrRelease();
    if (pick < 62) return repeatSomething();
    if (pick < 72) return tick();
    if (pick < 76) return request();
    if (pick < 84) return deliverResult();
    if (pick < 87) {
      apply(I::PointerButton{}, false);
      return;
    }
    if (pick < 89) {
      apply(I::ExternalPointerMoved{}, false);
      return;
    }
    if (pick < 91) {
      apply(I::SuspendRouting{random_() % 3 == 0}, false);
      return;
    }
    if (pick < 92) {
      apply(I::AllowEntriesWhileSuspended{random_() % 2 == 0}, false);
      return;
    }
    if (pick < 94) {
      apply(I::FocusChanged{}, false);
      return;
    }
    if (pick < 97) {
      apply(I::TypedLabelTimeout{}, false);
      return;
    }
    apply(I::ForceOff{}, false);
  }

  Modifiers heldFlags(std::uint16_t except = 0xFFFF) const {
    Modifiers flags;
    for (std::uint16_t code : down_) {
      if (Key::isModifierKey(code) && Key::modifierFlag(code) != Key::modifierFlag(except))
        flags |= Key::modifierFlag(code);
    }
    return flags;
  }

  void pressOrRelease() {
    static const std::vector<std::uint16_t> pool = {
        Key::i,          Key::j,           Key::k,           Key::l,           Key::h,
        Key::space,      Key::e,           Key::w,           Key::a,           Key::s,
        Key::d,          Key::slash,       Key::upArrow,     Key::downArrow,   Key::tab,
        Key::returnKey,  Key::deleteKey,   Key::period,      Key::r,           Key::escape,
        Key::x,          Key::g,           Key::digits[0],   Key::digits[4],   Key::leftShift,
        Key::leftShift,  Key::leftCommand, Key::leftCommand, Key::rightOption, Key::rightOption,
        Key::leftControl};
    const std::uint16_t code = pool[random_() % pool.size()];
    const bool isDown = !down_.contains(code);
    const bool modifier = Key::isModifierKey(code);
    const Modifiers modifiers = modifier ? heldFlags(code) : heldFlags();
    if (isDown)
      down_.insert(code);
    else
      down_.erase(code);
    KeyEvent event = keyEvent(isDown ? KeyEvent::Kind::down : KeyEvent::Kind::up, code, modifiers);
    // Now and then the tap has let the press through already, as it does when the router has no
    // use for it (or would have had, had it not moved on): nothing acts on it, its release passes.
    const bool byTap = isDown && random_() % 5 == 0;
    const RouterDecision decision = apply(I::Key{event, byTap}, true);
    if (byTap) {
      EXPECT_EQ(decision, RouterDecision::passThrough);
    }
    ++keyDecisions_;
    if (isDown) {
      pressConsumed_[code] = decision.consumed;
    } else if (auto found = pressConsumed_.find(code); found != pressConsumed_.end()) {
      EXPECT_EQ(decision.consumed, found->second) << "release of " << code;
      pressConsumed_.erase(found);
    }
  }

  void repeatSomething() {
    for (std::uint16_t code : down_) {
      if (Key::isModifierKey(code)) continue;
      const RouterDecision decision =
          apply(I::Key{keyEvent(KeyEvent::Kind::down, code, heldFlags(), true)}, true);
      // A repeat of a swallowed press is swallowed too.
      if (pressConsumed_[code]) {
        EXPECT_TRUE(decision.consumed);
      }
      return;
    }
  }

  void tick() {
    const bool needed = router_.cursorNeedsTicks();
    if (router_.mode() == M::off || router_.routingSuspended()) {
      EXPECT_FALSE(needed);
    }
    const Effects effects = router_.tickCursor(random_() % 2 ? 1.0 / 120 : 0.05);
    account(effects);
    if (!needed) {
      EXPECT_TRUE(effects.empty());
    }
  }

  void request() {
    const M mode = static_cast<M>(random_() % 4);
    const std::int64_t before = router_.generation();
    const Effects effects = mode == M::off ? router_.requestOff() : router_.requestMode(mode);
    checkGeneration(before, effects);
    account(effects);
  }

  void deliverResult() {
    // Results tagged with the current generation or a stale one.
    const std::int64_t generation = router_.generation() - (random_() % 4 == 0 ? 1 : 0);
    switch (random_() % 4) {
      case 0: {
        std::vector<HintTarget> targets;
        const auto count = random_() % 40;
        for (unsigned i = 0; i < count; ++i)
          targets.push_back(target(random_() % 2 ? "Save" : "Open file", i * 10.0));
        apply(I::TargetsDiscovered{generation, ++snapshot_, std::move(targets)}, false);
        return;
      }
      case 1:
        apply(I::ActivationFinished{generation, random_() % 2 == 0}, false);
        return;
      case 2: {
        std::vector<HintTarget::Frame> areas;
        for (int i = 0; i < 4; ++i)
          areas.push_back({i * 200.0, 0, 180 + random_() % 50 * 1.0, 300});
        apply(I::ScrollWindowFound{generation,
                                   HintTarget::Frame{0, 0, 900, 700},
                                   {},
                                   {},
                                   areas,
                                   std::nullopt,
                                   std::nullopt},
              false);
        return;
      }
      default:
        apply(I::ScrollAreasMoved{generation, {{0, 0, 400, 400}}, random_() % 2 == 0}, false);
        return;
    }
  }

  RouterDecision apply(RouterInput input, bool isKey) {
    const std::int64_t before = router_.generation();
    // What the tap asks of the router's copy on its own thread is the router's own answer.
    std::optional<bool> owned;
    if (const auto* key = input.as<I::Key>();
        key && !key->passedByTap && key->event.kind == KeyEvent::Kind::down) {
      owned = router_.ownsKeyDown(key->event);
      if (keyDecisions_ % 5 == 0) {
        EXPECT_EQ(router_.keyOwnershipCopy()->ownsKeyDown(key->event), *owned);
      }
    }
    RouterDecision decision = router_.handle(std::move(input), now_, {300, 300});
    if (owned) {
      EXPECT_EQ(decision.consumed, *owned) << decision;
    }
    if (!isKey) {
      EXPECT_FALSE(decision.consumed);
    }
    checkGeneration(before, decision.effects);
    account(decision.effects);
    return decision;
  }

  // The generation moves exactly once per start and once per stop, and a session exists exactly
  // while its mode is on.
  void checkGeneration(std::int64_t before, const Effects& effects) {
    std::int64_t changes = 0;
    for (const E& effect : effects)
      changes += effect.as<E::Started>() || effect.as<E::Stopped>() ? 1 : 0;
    EXPECT_EQ(router_.generation() - before, changes);
    EXPECT_EQ(router_.click() != nullptr, router_.mode() == M::click);
    EXPECT_EQ(router_.scroll() != nullptr, router_.mode() == M::scroll);
  }

  void account(const Effects& effects) {
    for (const E& effect : effects) {
      const auto* cursor = effect.as<E::Cursor>();
      if (!cursor) continue;
      if (auto* d = cursor->command.as<CursorCommand::ButtonDown>()) ++buttons_[d->button];
      if (auto* u = cursor->command.as<CursorCommand::ButtonUp>()) {
        EXPECT_GT(buttons_[u->button]--, 0) << "up without down";
      }
      if (cursor->command.as<CursorCommand::Press>()) ++buttons_[MouseButton::left];
      if (cursor->command.as<CursorCommand::Release>()) {
        EXPECT_GT(buttons_[MouseButton::left]--, 0) << "release without press";
      }
    }
  }

  NavigationRouter router_;
  std::mt19937 random_;
  double now_ = 0;
  std::set<std::uint16_t> down_;
  std::map<std::uint16_t, bool> pressConsumed_;
  std::map<MouseButton, int> buttons_;
  std::int64_t snapshot_ = 0;
  int keyDecisions_ = 0;
};

TEST(NavigationRouter, RandomStreamsKeepTheirInvariants) {
  std::vector<std::function<void(TovrelConfig&)>> variants = {
      [](TovrelConfig&) {},
      [](TovrelConfig& c) {
        c.cursorEntry.separateExit = false;
        c.clickEntry.separateExit = false;
        c.scrollEntry.separateExit = false;
        c.clickRequireReturn = true;
      },
      [](TovrelConfig& c) {
        c.cursorBindings.push_back({CursorAction::dragHold, Gesture::key(Key::g)});
        c.cursorBindings.push_back({CursorAction::precision, Gesture::key(Key::leftShift)});
        c.exitCursorOnMouse = true;
        c.clickStaysActive = true;
      },
      [](TovrelConfig& c) {
        c.cursorBindings.push_back({CursorAction::dragHold, Gesture::key(Key::g)});
        c.dragStyle = DragStyle::toggle;
        c.clickSearchFirst = true;
        c.cursorEntry.exit = Gesture::modifierTap(Key::leftControl);
      },
  };
  int decisions = 0;
  for (unsigned seed = 1; seed <= 40; ++seed) {
    TovrelConfig config = TovrelConfig::defaults();
    variants[seed % variants.size()](config);
    RouterStream stream(config, seed);
    stream.run(400);
    decisions += stream.keyDecisions();
    if (HasFailure()) {
      ADD_FAILURE() << "seed " << seed;
      return;
    }
  }
  EXPECT_GT(decisions, 5000);
}

}  // namespace
}  // namespace tovrel
