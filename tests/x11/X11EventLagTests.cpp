#include "platform/x11/input/X11EventLag.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tovrel::platform::x11 {
namespace {

struct Reading {
  std::uint32_t serverTime;  // ms
  double now;                // s
  double lateness;           // s, as expected
};

struct Case {
  const char* name;
  std::vector<Reading> readings;
};

TEST(X11EventLagTests, LatenessIsMeasuredFromTheQuickestDelivery) {
  const std::vector<Case> cases = {
      {"steady delivery is never late",
       {{1000, 50.000, 0}, {1100, 50.100, 0}, {1500, 50.500, 0}, {9000, 58.000, 0}}},
      {"jitter counts from the quickest",
       {{1000, 50.010, 0}, {1100, 50.105, 0}, {1200, 50.230, 0.025}}},
      {"a stop of two and a half seconds",
       {{1000, 50.000, 0}, {2000, 51.000, 0}, {2100, 53.600, 2.5}, {2200, 53.610, 2.41}}},
      {"the stamps wrap at 32 bits",
       {{0xFFFFFF00u, 10.000, 0}, {0x00000064u, 10.356, 0}, {0x000003E8u, 13.000, 1.744}}},
      {"a stamp of another device a little older",
       {{5000, 20.000, 0}, {4990, 20.001, 0.011}, {5010, 20.011, 0.001}}},
      {"an early delivery lowers the offset",
       {{1000, 50.300, 0}, {1100, 50.100, 0}, {1200, 50.200, 0}, {1300, 50.700, 0.4}}},
  };
  for (const Case& test : cases) {
    X11EventLag lag;
    for (const Reading& reading : test.readings)
      EXPECT_NEAR(lag.lateness(reading.serverTime, reading.now), reading.lateness, 1e-6)
          << test.name << " at " << reading.now;
  }
}

TEST(X11EventLagTests, ClocksThatDriftApartNeverAddUpToAStall) {
  // The tap's clock runs 0.1 % fast against the server's: 3.6 s an hour.
  X11EventLag lag;
  double worst = 0;
  for (int second = 0; second < 3600; ++second)
    worst = std::max(
        worst, lag.lateness(static_cast<std::uint32_t>(second * 1000), 100.0 + second * 1.001));
  EXPECT_LT(worst, 0.2);
  // A real stall still shows.
  EXPECT_NEAR(lag.lateness(3600 * 1000, 100.0 + 3600 * 1.001 + 1.5), 1.5, 0.2);
}

}  // namespace
}  // namespace tovrel::platform::x11
