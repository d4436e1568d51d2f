#pragma once

// Timers and delayed work in virtual time: nothing fires until a test advances the clock.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "platform/Scheduler.hpp"
#include "platform/fake/FakeClock.hpp"

namespace tovrel::platform::fake {

class FakeScheduler : public Scheduler {
 public:
  explicit FakeScheduler(FakeClock& clock) : clock_(clock) {}
  ~FakeScheduler() override;

  std::unique_ptr<Timer> schedule(double interval, bool repeats,
                                  std::function<void()> fire) override;
  void after(double seconds, std::function<void()> work) override;
  double wallTime() const override { return wallOffset + clock_.now; }

  // Fires, in time order (then in the order they were scheduled), everything due up to `now`
  // plus `seconds`, moving the clock to each firing's time; the clock ends at that moment. Work
  // scheduled while firing fires too when it falls due within the span. The number fired.
  int advance(double seconds);
  // Fires what is due now without moving the clock.
  int runDue() { return advance(0); }
  // Scheduled timers and delayed work not fired or invalidated yet.
  std::size_t pending() const;
  // Timers scheduled and not invalidated (a one-shot one until it fires).
  std::size_t liveTimers() const;

  double wallOffset = 1.7e9;
  int timersCreated = 0;

 private:
  struct Entry {
    double due = 0;
    double interval = 0;
    bool repeats = false;
    std::function<void()> fire;
    std::shared_ptr<bool> valid;  // null for delayed work
  };
  FakeClock& clock_;
  std::multimap<std::pair<double, std::uint64_t>, Entry> queue_;
  std::uint64_t sequence_ = 0;
};

}  // namespace tovrel::platform::fake
