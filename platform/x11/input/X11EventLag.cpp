#include "platform/x11/input/X11EventLag.hpp"

#include <algorithm>

namespace tovrel::platform::x11 {

double X11EventLag::lateness(std::uint32_t serverTime, double now) {
  // Differences of the 32-bit stamps are exact across the wrap; a stamp older than the last one
  // (events of two devices interleaved) steps back.
  const auto step = static_cast<std::int32_t>(serverTime - lastServerTime_.value_or(serverTime));
  unwrapped_ += step / 1000.0;
  lastServerTime_ = serverTime;
  const double difference = now - unwrapped_;
  if (!current_ || now - windowStart_ >= window) {
    previous_ = current_;
    current_.reset();
    windowStart_ = now;
  }
  current_ = std::min(current_.value_or(difference), difference);
  const double quickest = std::min(current_.value_or(difference), previous_.value_or(difference));
  return std::max(0.0, difference - quickest);
}

}  // namespace tovrel::platform::x11
