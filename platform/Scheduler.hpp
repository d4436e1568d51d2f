#pragma once

// Timers and delayed work on the main loop, and the wall clock.

#include <functional>
#include <memory>

namespace tovrel::platform {

// A scheduled timer; destroying it invalidates it.
class Timer {
 public:
  virtual ~Timer() = default;
  // After this the timer never fires again.
  virtual void invalidate() = 0;
  virtual bool isValid() const = 0;
};

class Scheduler {
 public:
  virtual ~Scheduler() = default;
  // A timer on the main loop that keeps firing while menus track or windows are dragged. It first
  // fires `interval` seconds from now; a repeating one then every `interval` seconds. A one-shot
  // timer is no longer valid once it has fired. Main thread only.
  virtual std::unique_ptr<Timer> schedule(double interval, bool repeats,
                                          std::function<void()> fire) = 0;
  // Runs `work` once on the main thread, `seconds` from now (at the next turn of the main loop
  // when not positive). It cannot be withdrawn: the work itself checks whether it still matters.
  virtual void after(double seconds, std::function<void()> work) = 0;
  // Seconds since the Unix epoch, by the wall clock.
  virtual double wallTime() const = 0;
};

}  // namespace tovrel::platform
