#pragma once

// When the change banner goes away by itself: every commit shows for a fixed time from the
// moment it is on show, a text committed again included; a newer commit gets its own time. A
// refused commit stays until it is dismissed or replaced. When the banner leaves the screen its
// wait ends at once, and a change still current then is dismissed.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Scheduler.hpp"

namespace tovrel::settings {

class BannerDismissal {
 public:
  static constexpr double showSeconds = 8;

  // `current` reads the model's count of the change on show (none while there is no change
  // text); `dismiss` clears it.
  BannerDismissal(platform::Scheduler& scheduler,
                  std::function<std::optional<std::uint64_t>()> current,
                  std::function<void()> dismiss);

  // The change shown now, by its count (none: no banner); an untimed one waits for no clock.
  void shown(std::optional<std::uint64_t> change, bool timed = true);
  // The banner left the screen.
  void tornDown();
  bool waiting() const { return timer_ != nullptr; }

 private:
  void finish();

  platform::Scheduler& scheduler_;
  std::function<std::optional<std::uint64_t>()> current_;
  std::function<void()> dismiss_;
  std::optional<std::uint64_t> startedFor_;
  std::unique_ptr<platform::Timer> timer_;
};

}  // namespace tovrel::settings
