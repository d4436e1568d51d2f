#pragma once

// When the change banner goes away by itself: every new change text shows for a fixed time from
// its commit; a newer text gets its own time; the same text again keeps the running one. When the
// banner leaves the screen early its wait ends at once, and a text still current then is dismissed.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/Scheduler.hpp"

namespace tovrel::settings {

class BannerDismissal {
 public:
  static constexpr double showSeconds = 8;

  // `current` reads the model's change text; `dismiss` clears it.
  BannerDismissal(platform::Scheduler& scheduler,
                  std::function<std::optional<std::string>()> current,
                  std::function<void()> dismiss);

  // The change text shown now (none: no banner).
  void shown(const std::optional<std::string>& text);
  // The banner left the screen.
  void tornDown();
  bool waiting() const { return timer_ != nullptr; }

 private:
  void finish();

  platform::Scheduler& scheduler_;
  std::function<std::optional<std::string>()> current_;
  std::function<void()> dismiss_;
  std::optional<std::string> startedFor_;
  std::unique_ptr<platform::Timer> timer_;
};

}  // namespace tovrel::settings
