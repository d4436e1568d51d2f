#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/fake/FakeClock.hpp"
#include "platform/fake/FakeEvents.hpp"
#include "system/CursorOutput.hpp"
#include "system/EventClassifier.hpp"
#include "system/EventTap.hpp"

namespace tovrel {
namespace {

struct EventTapTest : ::testing::Test {
  platform::fake::FakeEventServices events;
  platform::fake::FakeClock clock;
  int handled = 0;
  bool swallow = true;
  int interruptions = 0;
  EventTap tap{events, clock,
               [this](platform::EventType, const platform::InputEvent&) {
                 ++handled;
                 return swallow;
               },
               [this] { ++interruptions; }};

  bool injectKey(std::int64_t userData = 0) {
    platform::InputEvent event;
    event.type = platform::eventType::keyDown;
    event.sourceUserData = userData;
    return events.inject(event);
  }
};

TEST_F(EventTapTest, InstallAndUninstallLeaveNothingBehind) {
  ASSERT_TRUE(tap.install());
  ASSERT_TRUE(tap.install());
  ASSERT_EQ(events.taps.size(), 1u);
  const auto record = events.taps[0];
  EXPECT_EQ(record->mask, EventClassifier::mask);
  EXPECT_TRUE(record->attached && record->enabled);

  tap.uninstall();
  tap.uninstall();
  EXPECT_FALSE(tap.isInstalled());
  EXPECT_EQ(record->disableCount, 1);
  EXPECT_EQ(record->sourcesRemoved, 1);
  EXPECT_TRUE(record->invalidated && record->destroyed);
  EXPECT_FALSE(injectKey());
  EXPECT_EQ(handled, 0);

  events.refuseTap = true;
  EXPECT_FALSE(tap.install());
  events.refuseTap = false;
  events.refuseMainLoopSource = true;  // a tap nobody would hear is no tap
  EXPECT_FALSE(tap.install());
  EXPECT_FALSE(tap.isInstalled());
  ASSERT_EQ(events.taps.size(), 2u);
  EXPECT_TRUE(events.taps[1]->invalidated && events.taps[1]->destroyed);
  EXPECT_FALSE(events.taps[1]->enabled);
}

TEST_F(EventTapTest, DestructorUninstalls) {
  { EventTap(events, clock, nullptr, nullptr).install(); }
  EXPECT_TRUE(events.taps.back()->invalidated && !events.taps.back()->attached);
  EXPECT_EQ(events.liveTapCount(), 0);
}

TEST_F(EventTapTest, HandlerDecidesAndOwnEventsPassWithoutIt) {
  ASSERT_TRUE(tap.install());
  EXPECT_TRUE(injectKey());
  swallow = false;
  EXPECT_FALSE(injectKey());
  swallow = true;
  EXPECT_FALSE(injectKey(CursorOutput::marker));
  EXPECT_TRUE(injectKey(CursorOutput::marker + 1));
  EXPECT_EQ(handled, 3);
}

TEST_F(EventTapTest, DisabledTapIsReenabledAndReportsEachInterruptionOnce) {
  ASSERT_TRUE(tap.install());
  for (int i = 1; i <= 2; ++i) {
    events.emitDisabled(i == 1);
    EXPECT_EQ(interruptions, i);
    EXPECT_EQ(events.taps[0]->enableCount, i + 1);
    EXPECT_TRUE(injectKey());  // delivering again
  }
  EXPECT_EQ(handled, 2);
}

TEST_F(EventTapTest, KeyInterceptionIsKeptAcrossInstalls) {
  const platform::KeyInterception entry{
      false, {{Key::space, Modifiers::command}}, {Key::rightOption}};
  const platform::KeyInterception all{true, {}, {}};
  tap.setKeyInterception(entry);
  ASSERT_TRUE(tap.install());
  tap.setKeyInterception(all);
  EXPECT_EQ(events.taps[0]->interceptions, (std::vector{entry, all}));
  tap.uninstall();
  ASSERT_TRUE(tap.install());
  EXPECT_EQ(events.taps[1]->interceptions, std::vector{all});
}

TEST_F(EventTapTest, EventMaskIsKeptAcrossInstallsAndOnlyChangesAreHandedOn) {
  const std::uint64_t all = EventClassifier::mask;
  const std::uint64_t quiet = all & ~EventClassifier::pointerMotionMask;
  const struct {
    const char* what;
    std::function<void()> act;
    std::size_t taps;
    std::uint64_t wanted;                // what the newest tap delivers now
    std::vector<std::uint64_t> changes;  // handed to the newest tap after its creation
  } steps[] = {
      {"set before the first install", [&] { tap.setEventMask(quiet); }, 0, quiet, {}},
      {"installed with it", [&] { tap.install(); }, 1, quiet, {}},
      {"the same again", [&] { tap.setEventMask(quiet); }, 1, quiet, {}},
      {"widened", [&] { tap.setEventMask(all); }, 1, all, {all}},
      {"narrowed", [&] { tap.setEventMask(quiet); }, 1, quiet, {all, quiet}},
      {"installed anew",
       [&] {
         tap.uninstall();
         tap.install();
       },
       2,
       quiet,
       {}},
  };
  for (const auto& step : steps) {
    step.act();
    ASSERT_EQ(events.taps.size(), step.taps) << step.what;
    EXPECT_EQ(tap.eventMask(), step.wanted) << step.what;
    if (step.taps == 0) continue;
    EXPECT_EQ(events.taps.back()->mask, step.wanted) << step.what;
    EXPECT_EQ(events.taps.back()->masks, step.changes) << step.what;
  }
  // Moves no longer reach the handler; keys still do.
  EXPECT_FALSE(events.inject(platform::eventType::mouseMoved, {}));
  EXPECT_TRUE(injectKey());
  EXPECT_EQ(handled, 1);
}

TEST_F(EventTapTest, CallOffTheMainThreadIsFatal) {
  ASSERT_TRUE(tap.install());
  clock.onMainThread = false;
  EXPECT_DEATH(injectKey(), "main thread");
}

}  // namespace
}  // namespace tovrel
