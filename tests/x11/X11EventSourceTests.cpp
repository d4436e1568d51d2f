#include "platform/x11/input/X11EventSource.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <random>
#include <utility>
#include <vector>

namespace tovrel::platform::x11 {

// For readable failures of the step tables.
void PrintTo(const ScrollSteps::Steps& steps, std::ostream* out) {
  *out << "{" << steps.vertical << ", " << steps.horizontal << "}";
}

namespace {

// The pointer output moves by reading the pointer (whole pixels) and adding a delta.
Pixel moveRepeatedly(MoveCarry& carry, Pixel start, double dx, double dy, int times) {
  Pixel at = start;
  for (int i = 0; i < times; ++i)
    at = carry.move({at.x + dx, at.y + dy}).value();
  return at;
}

TEST(MoveCarry, SmallMovesAddUpToWholePixels) {
  MoveCarry carry;
  EXPECT_EQ(moveRepeatedly(carry, {100, 200}, 0.3, -0.3, 10), (Pixel{103, 197}));

  std::mt19937 random(7);
  std::uniform_real_distribution<double> delta(-2.5, 2.5);
  for (int trial = 0; trial < 200; ++trial) {
    MoveCarry fresh;
    double dx = delta(random), dy = delta(random);
    int times = 1 + trial % 40;
    Pixel end = moveRepeatedly(fresh, {500, 500}, dx, dy, times);
    EXPECT_LE(std::abs(end.x - (500 + dx * times)), 0.5 + 1e-9) << dx << " x" << times;
    EXPECT_LE(std::abs(end.y - (500 + dy * times)), 0.5 + 1e-9) << dy << " x" << times;
  }
}

TEST(MoveCarry, PlacingKeepsTheCarryOnlyWhereThePointerAlreadyIs) {
  MoveCarry carry;
  EXPECT_EQ(carry.move({100.3, 50}), (Pixel{100, 50}));
  EXPECT_EQ(carry.place({100.2, 50}), (Pixel{100, 50}));  // a click where the pointer is
  EXPECT_EQ(carry.move({100.3, 50}), (Pixel{101, 50}));   // 0.3 + 0.3 carried

  carry.move({300.4, 50});  // 0.4 left over, then a click elsewhere drops it
  EXPECT_EQ(carry.place({20, 20}), (Pixel{20, 20}));
  EXPECT_EQ(carry.move({20.4, 20}), (Pixel{20, 20}));
  EXPECT_EQ(carry.lastPosted(), (Pixel{20, 20}));
}

TEST(MoveCarry, RejectsNonFiniteTargetsAndClampsToTheWireRange) {
  MoveCarry carry;
  EXPECT_FALSE(carry.move({NAN, 0}));
  EXPECT_FALSE(carry.place({0, INFINITY}));
  EXPECT_EQ(carry.move({1e12, -1e12}), (Pixel{32767, -32768}));
  EXPECT_EQ(carry.move({10.2, 10}), (Pixel{10, 10}));  // no fraction carried from the clamp
  EXPECT_EQ(carry.move({10.2, 10}), (Pixel{10, 10}));
}

TEST(ClickCounter, PostsTheClicksAPressNeedsBeforeIt) {
  constexpr unsigned left = 1, right = 3;
  Pixel spot{40, 40};
  ClickCounter fresh;
  EXPECT_EQ(fresh.missingClicks(left, spot, 0, 10.0), 0);
  EXPECT_EQ(fresh.missingClicks(left, spot, 1, 10.0), 0);
  EXPECT_EQ(fresh.missingClicks(left, spot, 2, 10.0), 1);  // a double click posts both clicks
  EXPECT_EQ(fresh.missingClicks(left, spot, 3, 10.0), 2);
  EXPECT_EQ(fresh.missingClicks(left, spot, 1000, 10.0), ClickCounter::maxMissing);

  ClickCounter afterOne;
  afterOne.pressed(left, spot, 10.0);
  afterOne.released(left, spot, 10.05);
  EXPECT_EQ(afterOne.missingClicks(left, spot, 2, 10.2), 0);
  EXPECT_EQ(afterOne.missingClicks(left, spot, 3, 10.2), 1);
  EXPECT_EQ(afterOne.missingClicks(left, {41, 40}, 2, 10.2), 1);  // another spot
  EXPECT_EQ(afterOne.missingClicks(right, spot, 2, 10.2), 1);     // another button
  EXPECT_EQ(afterOne.missingClicks(left, spot, 2, 10.0 + ClickCounter::interval + 0.01), 1);

  ClickCounter dragged;  // released elsewhere: not a click
  dragged.pressed(left, spot, 10.0);
  dragged.released(left, {90, 90}, 10.1);
  EXPECT_EQ(dragged.missingClicks(left, spot, 2, 10.2), 1);
}

TEST(ClickCounter, ARunOfNumberedClicksNeedsNothingExtra) {
  constexpr unsigned middle = 2;
  ClickCounter counter;
  double now = 5.0;
  for (int state = 1; state <= 3; ++state) {
    EXPECT_EQ(counter.missingClicks(middle, {7, 7}, state, now), 0) << state;
    counter.pressed(middle, {7, 7}, now);
    counter.released(middle, {7, 7}, now + 0.01);
    now += 0.05;
  }
}

TEST(ScrollSteps, PixelsBecomeTheNearestWheelStepsWithTheRestCarried) {
  using Steps = ScrollSteps::Steps;
  struct Case {
    const char* name;
    std::vector<std::pair<std::int32_t, std::int32_t>> asked;  // vertical, horizontal pixels
    std::vector<Steps> posted;
    std::int64_t restVertical, restHorizontal;
  } cases[] = {
      // clang-format off
      {"half a step answers at once", {{25, 0}}, {{1, 0}}, -25, 0},
      {"less than half waits", {{24, 0}}, {{0, 0}}, 24, 0},
      {"the rest is carried", {{30, 0}, {30, 0}, {15, 0}}, {{1, 0}, {0, 0}, {1, 0}}, -25, 0},
      {"a step too far is paid back", {{-30, 0}, {-10, 0}, {-20, 0}, {-20, 0}},
       {{-1, 0}, {0, 0}, {0, 0}, {-1, 0}}, 20, 0},
      {"several steps at once", {{-130, 0}}, {{-3, 0}}, 20, 0},
      {"a reversal drops what the old way was owed", {{-74, 0}, {30, 0}}, {{-1, 0}, {1, 0}}, -20, 0},
      {"a reversal keeps what the old way got too much", {{-80, 0}, {10, 0}}, {{-2, 0}, {1, 0}}, -20, 0},
      {"no distance is no reversal", {{-74, 0}, {0, 0}, {-10, 0}}, {{-1, 0}, {0, 0}, {-1, 0}}, 16, 0},
      {"each axis on its own", {{-74, 40}, {30, -30}}, {{-1, 1}, {1, -1}}, -20, 10},
      // Down for a while, then up for less than half as long, in frames as a held key sends them.
      {"a short way back after a long way down",
       {{-30, 0}, {-30, 0}, {-30, 0}, {-30, 0}, {-4, 0}, {10, 0}, {10, 0}, {10, 0}},
       {{-1, 0}, {0, 0}, {-1, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {1, 0}}, -20, 0},
      // clang-format on
  };
  for (const Case& c : cases) {
    ScrollSteps steps(50);
    std::vector<Steps> posted;
    for (const auto& [vertical, horizontal] : c.asked)
      posted.push_back(steps.add(vertical, horizontal));
    EXPECT_EQ(posted, c.posted) << c.name;
    EXPECT_EQ(steps.pendingVertical(), c.restVertical) << c.name;
    EXPECT_EQ(steps.pendingHorizontal(), c.restHorizontal) << c.name;
  }
}

// Runs of one direction at a time: within a run every step goes that way and the steps stay
// within one step of the run's distance; a run that reverses the direction (or the first) posts
// its first step once half of one is asked for; and the first run loses no pixel at all.
TEST(ScrollSteps, EachRunIsPaidInItsOwnDirection) {
  constexpr std::int64_t step = ScrollSteps::defaultPixelsPerStep;
  std::mt19937 random(11);
  std::uniform_int_distribution<std::int32_t> pixels(1, 180), frames(1, 12);
  ScrollSteps steps;
  std::int64_t lastSign = 0;
  for (int run = 0; run < 300; ++run) {
    const std::int64_t sign = random() % 2 == 0 ? 1 : -1;
    const bool reversed = sign != lastSign;
    lastSign = sign;
    std::int64_t asked = 0, posted = 0;
    for (int frame = frames(random); frame > 0; --frame) {
      const std::int32_t wheel = static_cast<std::int32_t>(sign) * pixels(random);
      asked += std::abs(wheel);
      const int now = steps.add(wheel, 0).vertical;
      ASSERT_GE(now * sign, 0) << "run " << run;
      posted += now * sign;
      ASSERT_LE(std::abs(steps.pendingVertical()), step / 2) << "run " << run;
      ASSERT_LE(std::abs(posted * step - asked), step) << "run " << run;
      if (reversed && asked >= step / 2) {
        ASSERT_GE(posted, 1) << "run " << run;
      }
    }
    if (run == 0) {
      EXPECT_EQ(posted * step + steps.pendingVertical() * sign, asked);
    }
  }

  ScrollSteps flood;
  EXPECT_EQ(flood.add(INT32_MAX, INT32_MIN),
            (ScrollSteps::Steps{ScrollSteps::maxStepsPerEvent, -ScrollSteps::maxStepsPerEvent}));
  EXPECT_EQ(flood.pendingVertical(), 0);
  EXPECT_EQ(flood.pendingHorizontal(), 0);
}

TEST(X11Buttons, ButtonNumbersMapPastTheWheelButtons) {
  std::pair<std::int64_t, std::optional<unsigned>> cases[] = {
      {0, 1u},
      {1, 3u},
      {2, 2u},
      {3, 8u},
      {4, 9u},
      {5, 10u},
      {-1, std::nullopt},
      {251, std::nullopt},
  };
  for (auto [number, button] : cases)
    EXPECT_EQ(xButtonForButtonNumber(number), button) << number;
}

}  // namespace
}  // namespace tovrel::platform::x11
