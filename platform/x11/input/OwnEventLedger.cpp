#include "platform/x11/input/OwnEventLedger.hpp"

#include <algorithm>

namespace tovrel::platform::x11 {

void OwnEventLedger::record(Kind kind, unsigned detail, std::int64_t userData, double now) {
  std::lock_guard lock(mutex_);
  if (listeners_ == 0) return;
  expire(now);
  entries_.push_back({kind, kind == Kind::motion ? 0 : detail, userData, now});
}

std::optional<std::int64_t> OwnEventLedger::match(Kind kind, unsigned detail, double now) {
  std::lock_guard lock(mutex_);
  expire(now);
  if (kind == Kind::motion) detail = 0;
  // Events of one kind arrive in the order they were posted, but a motion may overtake a button
  // in the ledger's view when the server coalesces; so the oldest entry of the same kind decides.
  auto found = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& entry) {
    return entry.kind == kind && entry.detail == detail;
  });
  if (found == entries_.end()) return std::nullopt;
  std::int64_t userData = found->userData;
  entries_.erase(found);
  return userData;
}

void OwnEventLedger::listen(bool listening) {
  std::lock_guard lock(mutex_);
  listeners_ += listening ? 1 : -1;
  if (listeners_ == 0) entries_.clear();
}

std::size_t OwnEventLedger::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void OwnEventLedger::expire(double now) {
  while (!entries_.empty() && now - entries_.front().time > lifetime)
    entries_.pop_front();
}

}  // namespace tovrel::platform::x11
