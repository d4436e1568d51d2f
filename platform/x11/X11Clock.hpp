#pragma once

// The program's time base: CLOCK_MONOTONIC stops while the machine sleeps, as the callers expect.

#include <ctime>

#include "platform/Clock.hpp"

class QThread;

namespace tovrel::platform::x11 {

// Seconds of CLOCK_MONOTONIC; also what the own-event ledger is stamped with.
inline double monotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class X11Clock : public Clock {
 public:
  // Without a Qt application, the thread that builds the clock counts as the main thread.
  X11Clock();

  double uptime() const override { return monotonicNow(); }
  bool isMainThread() const override;
  void sleep(double seconds) override;

 private:
  QThread* constructingThread_;
};

}  // namespace tovrel::platform::x11
