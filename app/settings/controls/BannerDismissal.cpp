#include "app/settings/controls/BannerDismissal.hpp"

namespace tovrel::settings {

BannerDismissal::BannerDismissal(platform::Scheduler& scheduler,
                                 std::function<std::optional<std::string>()> current,
                                 std::function<void()> dismiss)
    : scheduler_(scheduler), current_(std::move(current)), dismiss_(std::move(dismiss)) {}

void BannerDismissal::shown(const std::optional<std::string>& text) {
  if (text == startedFor_ && (timer_ || !text)) return;
  // A new text cancels the wait for the old one; the old one is no longer current, so the check
  // that follows a cancelled wait has nothing to do.
  timer_.reset();
  startedFor_ = text;
  if (!text) return;
  timer_ = scheduler_.schedule(showSeconds, false, [this] { finish(); });
}

void BannerDismissal::tornDown() {
  if (!timer_) return;
  finish();
}

void BannerDismissal::finish() {
  timer_.reset();
  const std::optional<std::string> text = startedFor_;
  startedFor_.reset();
  if (text && current_() == text) dismiss_();
}

}  // namespace tovrel::settings
