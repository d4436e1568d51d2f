#include "platform/x11/input/X11TapHandoff.hpp"

#include <chrono>
#include <mutex>

#include "platform/x11/X11Clock.hpp"
#include "platform/x11/input/X11TapShared.hpp"

namespace tovrel::platform::x11 {

std::optional<bool> X11TapHandoff::decidedAtOnce(const InputEvent& event, bool counted) {
  std::shared_ptr<const TapPort::KeyOwnership> ownership;
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->ownership || shared_->outstanding != 0 || shared_->handled != shared_->delivered)
      return std::nullopt;
    ownership = shared_->ownership;
  }
  const std::optional<bool> swallow = (*ownership)(event.type, event);
  if (!swallow || !counted) return swallow;
  std::lock_guard lock(shared_->mutex);
  ++shared_->statistics.decidedAtOnce;
  return swallow;
}

std::uint64_t X11TapHandoff::takeTicket() {
  std::unique_lock lock(shared_->mutex);
  if (shared_->outstanding == 0) {
    ++shared_->outstanding;
    return shared_->nextTicket++;
  }
  ++shared_->statistics.passedWhileBusy;
  if (shared_->takeDueStall(monotonicNow())) {
    lock.unlock();
    deliverToMainThread(shared_, eventType::tapDisabledByTimeout, {}, 0);
  }
  return 0;
}

bool X11TapHandoff::awaitAnswer(std::uint64_t ticket) {
  const double asked = monotonicNow();
  std::unique_lock lock(shared_->mutex);
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::microseconds(static_cast<long>(X11Tap::decisionBound * 1e6));
  shared_->answered.wait_until(
      lock, deadline, [&] { return shared_->answers.contains(ticket) || !shared_->alive; });
  auto found = shared_->answers.find(ticket);
  if (found == shared_->answers.end()) {
    ++shared_->statistics.lateDecisions;
    if (!shared_->stalledSince) shared_->stalledSince = asked;
    // The answer, when it comes, is dropped.
    lateTickets_.insert(ticket);
    return false;
  }
  bool swallow = found->second;
  shared_->answers.erase(found);
  for (auto late = lateTickets_.begin(); late != lateTickets_.end();)
    if (shared_->answers.erase(*late) > 0)
      late = lateTickets_.erase(late);
    else
      ++late;
  ++shared_->statistics.decisions;
  return swallow;
}

}  // namespace tovrel::platform::x11
