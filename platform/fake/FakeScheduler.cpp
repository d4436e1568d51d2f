#include "platform/fake/FakeScheduler.hpp"

#include <algorithm>
#include <cmath>

namespace tovrel::platform::fake {

namespace {

class FakeTimerHandle : public Timer {
 public:
  explicit FakeTimerHandle(std::shared_ptr<bool> valid) : valid_(std::move(valid)) {}
  ~FakeTimerHandle() override { *valid_ = false; }
  void invalidate() override { *valid_ = false; }
  bool isValid() const override { return *valid_; }

 private:
  std::shared_ptr<bool> valid_;
};

double span(double seconds) {
  return std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

}  // namespace

FakeScheduler::~FakeScheduler() = default;

std::unique_ptr<Timer> FakeScheduler::schedule(double interval, bool repeats,
                                               std::function<void()> fire) {
  ++timersCreated;
  auto valid = std::make_shared<bool>(true);
  Entry entry{clock_.now + span(interval), span(interval), repeats, std::move(fire), valid};
  queue_.emplace(std::make_pair(entry.due, sequence_++), std::move(entry));
  return std::make_unique<FakeTimerHandle>(std::move(valid));
}

void FakeScheduler::after(double seconds, std::function<void()> work) {
  Entry entry{clock_.now + span(seconds), 0, false, std::move(work), nullptr};
  queue_.emplace(std::make_pair(entry.due, sequence_++), std::move(entry));
}

int FakeScheduler::advance(double seconds) {
  const double end = clock_.now + span(seconds);
  int fired = 0;
  for (;;) {
    auto next = queue_.begin();
    while (next != queue_.end() && next->second.valid && !*next->second.valid)
      next = queue_.erase(next);
    if (next == queue_.end() || next->first.first > end) break;
    Entry entry = std::move(next->second);
    queue_.erase(next);
    clock_.now = std::max(clock_.now, entry.due);
    if (entry.repeats) {
      // A repeating timer with no interval would fire forever within one instant.
      Entry again = entry;
      again.due = entry.due + std::max(entry.interval, 1e-6);
      queue_.emplace(std::make_pair(again.due, sequence_++), std::move(again));
    } else if (entry.valid) {
      *entry.valid = false;
    }
    ++fired;
    if (entry.fire) entry.fire();
  }
  clock_.now = std::max(clock_.now, end);
  return fired;
}

std::size_t FakeScheduler::pending() const {
  return static_cast<std::size_t>(std::count_if(queue_.begin(), queue_.end(), [](const auto& item) {
    return !item.second.valid || *item.second.valid;
  }));
}

std::size_t FakeScheduler::liveTimers() const {
  return static_cast<std::size_t>(std::count_if(queue_.begin(), queue_.end(), [](const auto& item) {
    return item.second.valid && *item.second.valid;
  }));
}

}  // namespace tovrel::platform::fake
