#pragma once

// How late the tap reads the server's input. The server stamps each event with its own clock in
// milliseconds; against the tap's clock the difference is the delivery delay plus a fixed offset.
// The smallest difference seen lately stands for the offset, so an event that comes much later
// than that was waiting for this process: the process was stopped (a debugger, SIGSTOP) or could
// not run, and a key that waited for it kept the whole keyboard frozen. Raw events are sent at
// once whatever grabs another client holds, so only this process's own delay shows.

#include <cstdint>
#include <optional>

namespace tovrel::platform::x11 {

class X11EventLag {
 public:
  // The offset is taken from the smallest difference over two windows of this length, so that
  // clocks drifting apart over hours never add up to a stall.
  static constexpr double window = 60.0;

  // An event stamped `serverTime` (server milliseconds, wrapping at 2^32) read at `now` (seconds
  // of the tap's clock). Answers how many seconds later than the quickest delivery it came.
  double lateness(std::uint32_t serverTime, double now);

 private:
  std::optional<double> current_;  // smallest difference in this window, in seconds
  std::optional<double> previous_;
  double windowStart_ = 0;
  std::optional<std::uint32_t> lastServerTime_;
  double unwrapped_ = 0;  // server time in seconds, carried across the 32-bit wrap
};

}  // namespace tovrel::platform::x11
