#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/fake/FakeClock.hpp"
#include "platform/fake/FakeDisplays.hpp"
#include "platform/fake/FakeEvents.hpp"
#include "system/CursorOutput.hpp"
#include "system/EventTap.hpp"

namespace tovrel {
namespace {

namespace type = platform::eventType;
using C = CursorCommand;
using B = MouseButton;

struct CursorOutputTest : ::testing::Test {
  platform::fake::FakeEventServices events;
  platform::fake::FakeDisplayServices displays{{{0, 0, 1920, 1080}, {1920, 0, 1920, 1080}}};
  platform::fake::FakeClock clock;
  CursorOutput output{events, displays, clock};

  const platform::InputEvent& last() const { return events.posted.back().event; }
  // "type/button number/click state" of every posted event.
  std::string posted() const {
    std::string result;
    for (const auto& p : events.posted) {
      result += (result.empty() ? "" : " ") + std::to_string(p.event.type) + "/" +
                std::to_string(p.event.buttonNumber) + "/" + std::to_string(p.event.clickState);
    }
    return result;
  }
};

TEST_F(CursorOutputTest, ScrollCarriesFractions) {
  EXPECT_TRUE(output.scroll(0, 0.4) && output.scroll(0, 0.4) && events.posted.empty());
  EXPECT_TRUE(output.scroll(0, 0.4));
  ASSERT_EQ(events.posted.size(), 1u);
  EXPECT_EQ(last().scrollWheel1, 1);
  EXPECT_FALSE(events.posted.back().hasLocation);
  EXPECT_NEAR(output.scrollRemainderY, 0.2, 1e-12);

  output.releaseAll();
  EXPECT_TRUE(output.scroll(0, -1.5));
  EXPECT_EQ(last().scrollWheel1, -1);
  EXPECT_NEAR(output.scrollRemainderY, -0.5, 1e-12);
  EXPECT_TRUE(output.scrollAt(2.75, -0.5, {40, 50}));
  EXPECT_EQ((std::array{last().scrollWheel1, last().scrollWheel2}), (std::array{-1, 2}));
  EXPECT_TRUE(last().location == (Point{40, 50}) && events.posted.back().hasLocation);
  EXPECT_NEAR(output.scrollRemainderY, 0, 1e-12);
  EXPECT_NEAR(output.scrollRemainderX, 0.75, 1e-12);

  EXPECT_TRUE(output.scroll(-1e12, 5e9));  // beyond the wheel's range: clamped
  EXPECT_EQ(last().scrollWheel1, std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(last().scrollWheel2, std::numeric_limits<std::int32_t>::min());
  EXPECT_TRUE(output.scroll(std::nan(""), std::numeric_limits<double>::infinity()));
  EXPECT_EQ(events.posted.size(), 4u);  // non-finite deltas count as nothing
}

TEST_F(CursorOutputTest, MovesStayOnTheDisplays) {
  struct Case {
    bool confine;
    bool withDisplays;
    Point start;
    double dx, dy;
    Point expected;
  };
  const std::vector<Case> cases = {
      {true, true, {2500, 500}, -5000, 0, {1920, 500}},
      {false, true, {2500, 500}, -5000, 0, {0, 500}},
      {true, true, {2500, 500}, -100, 900, {2400, 1079.5}},
      {false, true, {100, 500}, 1e6, 0, {3839.5, 500}},
      {true, true, {-50, 500}, -10, 0, {0, 500}},  // not on a display: the nearest of all
      {true, false, {10, 10}, -5000, 0, {-4990, 10}},
      {false, true, {10, 10}, std::nan(""), 5, {10, 15}},
  };
  const auto two = displays.activeDisplayBounds();
  for (const Case& c : cases) {
    displays.setDisplays(c.withDisplays ? two : std::vector<platform::Rect>{});
    output.confineToCurrentDisplay = c.confine;
    events.pointer = c.start;
    EXPECT_TRUE(output.move(c.dx, c.dy));
    EXPECT_EQ(last().location, c.expected) << c.start << " + " << c.dx << ", " << c.dy;
  }
}

TEST_F(CursorOutputTest, HeldButtonsTurnMovesIntoDrags) {
  const std::vector<std::pair<std::vector<B>, std::array<std::int64_t, 2>>> cases = {
      {{}, {5, 0}},           {{B::left}, {6, 0}}, {{B::right}, {7, 1}},
      {{B::middle}, {27, 2}}, {{B::back}, {5, 0}}, {{B::forward, B::middle, B::left}, {6, 0}},
  };
  for (const auto& [held, expected] : cases) {
    for (B b : held)
      output.perform(C::press(b));
    output.perform(C::move(3, 4));
    EXPECT_EQ((std::array<std::int64_t, 2>{last().type, last().buttonNumber}), expected);
    for (B b : held)
      output.perform(C::release(b));
    output.perform(C::move(3, 4));
    EXPECT_EQ(last().type, type::mouseMoved);
  }
}

TEST_F(CursorOutputTest, ButtonsAndClicks) {
  events.pointer = {7, 8};
  for (const C& command : {C::click(B::right, 2), C::buttonDown(B::back, 3),
                           C::buttonUp(B::back, 3), C::press(B::forward), C::release(B::forward)})
    ASSERT_TRUE(output.perform(command));
  EXPECT_EQ(posted(), "3/1/2 4/1/2 25/3/3 26/3/3 25/4/1 26/4/1");
  EXPECT_EQ(last().location, (Point{7, 8}));

  events.posted.clear();
  ASSERT_TRUE(output.click({300, 200}, B::middle, 0));
  ASSERT_TRUE(output.click({300, 200}, B::left, 3));
  EXPECT_EQ(posted(), "5/0/0 25/2/1 26/2/1 5/0/0 1/0/1 2/0/1 1/0/2 2/0/2 1/0/3 2/0/3");
  EXPECT_EQ(last().location, (Point{300, 200}));
  EXPECT_TRUE(output.buttonsDown.empty());

  output.refreshHover();
  EXPECT_EQ(events.posted.end()[-2].event.location, (Point{301, 200}));
  EXPECT_EQ(last().location, (Point{300, 200}));
}

TEST_F(CursorOutputTest, ReleaseAllLetsGoOfEveryButton) {
  output.perform(C::buttonDown(B::right, 2));
  output.perform(C::press(B::left));
  output.scroll(0.3, 0.6);
  events.posted.clear();
  output.releaseAll();
  EXPECT_EQ(posted(), "2/0/1 4/1/1");
  EXPECT_TRUE(output.buttonsDown.empty());
  EXPECT_EQ(output.scrollRemainderX, 0);
  EXPECT_EQ(output.scrollRemainderY, 0);
}

TEST_F(CursorOutputTest, OwnEventsCarryTheMarkerAndPassTheTap) {
  int consulted = 0;
  EventTap tap(
      events, clock,
      [&](platform::EventType, const platform::InputEvent&) { return ++consulted > 0; }, nullptr);
  ASSERT_TRUE(tap.install());
  for (const C& command : {C::press(B::left), C::move(10, 10), C::release(B::left), C::scroll(3, 3),
                           C::click(B::right, 2)})
    output.perform(command);
  output.click({5, 5}, B::right, 2);
  ASSERT_EQ(events.posted.size(), 11u);
  for (const auto& p : events.posted)
    EXPECT_TRUE(p.event.sourceUserData == 0x5456524C && !p.swallowed);
  EXPECT_EQ(consulted, 0);
}

TEST_F(CursorOutputTest, EventsThatCannotBeCreatedAreReported) {
  events.refusedEventTypes = {type::mouseMoved};
  EXPECT_FALSE(output.click({1, 1}, B::left, 1));
  EXPECT_TRUE(events.posted.empty());
  events.refusedEventTypes = {type::leftMouseUp};
  EXPECT_FALSE(output.click({1, 1}, B::left, 2));
  EXPECT_EQ(events.posted.size(), 3u);  // the move and both downs
  EXPECT_FALSE(output.moveTo({std::nan(""), 0}));

  events.refuseSource = true;
  CursorOutput sourceless(events, displays, clock);
  EXPECT_FALSE(sourceless.perform(C::press(B::left)));
  EXPECT_TRUE(sourceless.isLeftDown() && sourceless.scroll(0, 0.5));
  EXPECT_FALSE(sourceless.scroll(0, 2));

  events.pointerReadable = false;
  EXPECT_EQ(output.location(), (Point{0, 0}));
}

TEST_F(CursorOutputTest, MoveOffTheMainThreadIsFatal) {
  clock.onMainThread = false;
  EXPECT_DEATH(output.move(1, 1), "main thread");
}

}  // namespace
}  // namespace tovrel
