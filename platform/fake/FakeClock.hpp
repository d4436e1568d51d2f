#pragma once

#include "platform/Clock.hpp"

namespace tovrel::platform::fake {

// Time stands still until a test advances it; every call happens on the "main thread" unless a
// test says otherwise.
class FakeClock : public Clock {
 public:
  double uptime() const override { return now; }
  bool isMainThread() const override { return onMainThread; }
  void sleep(double seconds) override {
    if (seconds > 0) now += seconds;
  }
  void advance(double seconds) { now += seconds; }

  double now = 1000.0;
  bool onMainThread = true;
};

}  // namespace tovrel::platform::fake
