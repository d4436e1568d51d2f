#pragma once

// Timers on the Qt main loop. Qt keeps dispatching timers inside nested loops (menus, dialogs),
// and precise timers never fire early, so a deadline armed for a moment is not met before it.

#include <memory>

#include "platform/Scheduler.hpp"

class QObject;

namespace tovrel::platform::desktop {

class QtScheduler : public Scheduler {
 public:
  // Made on the main thread, after the Qt application.
  QtScheduler();
  ~QtScheduler() override;
  QtScheduler(const QtScheduler&) = delete;
  QtScheduler& operator=(const QtScheduler&) = delete;

  std::unique_ptr<Timer> schedule(double interval, bool repeats,
                                  std::function<void()> fire) override;
  void after(double seconds, std::function<void()> work) override;
  double wallTime() const override;

 private:
  // Delayed work dies with the scheduler.
  std::unique_ptr<QObject> context_;
};

}  // namespace tovrel::platform::desktop
