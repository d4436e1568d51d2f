#pragma once

namespace tovrel::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since boot, not counting sleep.
  virtual double uptime() const = 0;
  virtual bool isMainThread() const = 0;
  // Blocks the calling thread; a virtual clock just moves on.
  virtual void sleep(double seconds) = 0;
};

}  // namespace tovrel::platform
