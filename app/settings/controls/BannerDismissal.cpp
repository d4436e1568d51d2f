#include "app/settings/controls/BannerDismissal.hpp"

namespace tovrel::settings {

BannerDismissal::BannerDismissal(platform::Scheduler& scheduler,
                                 std::function<std::optional<std::uint64_t>()> current,
                                 std::function<void()> dismiss)
    : scheduler_(scheduler), current_(std::move(current)), dismiss_(std::move(dismiss)) {}

void BannerDismissal::shown(std::optional<std::uint64_t> change, bool timed) {
  // The same change shown again (the banner refreshed, the window reopened) keeps its wait.
  if (change == startedFor_) return;
  // A new change cancels the wait for the old one, which is no longer current, so the check
  // that follows a cancelled wait has nothing to do.
  timer_.reset();
  startedFor_ = change;
  if (change && timed) timer_ = scheduler_.schedule(showSeconds, false, [this] { finish(); });
}

void BannerDismissal::tornDown() {
  if (startedFor_) finish();
}

void BannerDismissal::finish() {
  timer_.reset();
  const std::optional<std::uint64_t> change = startedFor_;
  startedFor_.reset();
  if (change && current_() == change) dismiss_();
}

}  // namespace tovrel::settings
