#pragma once

namespace tovrel::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since boot, not counting sleep.
  virtual double uptime() const = 0;
  virtual bool isMainThread() const = 0;
};

}  // namespace tovrel::platform
