#include "platform/x11/input/X11EventSource.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tovrel::platform::x11 {
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

TEST(ScrollSteps, PixelsBecomeWheelStepsWithTheRestCarried) {
  ScrollSteps steps(50);
  EXPECT_EQ(steps.add(30, 0), (ScrollSteps::Steps{0, 0}));
  EXPECT_EQ(steps.add(30, 0), (ScrollSteps::Steps{1, 0}));
  EXPECT_EQ(steps.pendingVertical(), 10);

  ScrollSteps down(50);
  EXPECT_EQ(down.add(-75, 0), (ScrollSteps::Steps{-1, 0}));
  EXPECT_EQ(down.pendingVertical(), -25);
  EXPECT_EQ(down.add(30, 120), (ScrollSteps::Steps{0, 2}));  // -25 + 30 = 5: no step back up
  EXPECT_EQ(down.pendingVertical(), 5);
  EXPECT_EQ(down.pendingHorizontal(), 20);
}

TEST(ScrollSteps, NoPixelIsLostAndFloodsAreCut) {
  std::mt19937 random(11);
  std::uniform_int_distribution<std::int32_t> pixels(-180, 180);
  ScrollSteps steps;
  std::int64_t asked = 0, posted = 0;
  for (int i = 0; i < 500; ++i) {
    std::int32_t wheel = pixels(random);
    asked += wheel;
    posted += steps.add(wheel, 0).vertical * std::int64_t{ScrollSteps::defaultPixelsPerStep};
    ASSERT_LT(std::abs(steps.pendingVertical()), ScrollSteps::defaultPixelsPerStep);
  }
  EXPECT_EQ(posted + steps.pendingVertical(), asked);

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
