#pragma once

// How the tap's thread hands a press to the main thread and waits, a bounded time, for the
// answer; or decides it itself from the key ownership, once the main thread has handled every
// event before it. Internal to the X11 tap: lives on the tap's thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>

#include "platform/InputEvent.hpp"
#include "platform/x11/input/X11Tap.hpp"

namespace tovrel::platform::x11 {

class X11TapHandoff {
 public:
  explicit X11TapHandoff(std::shared_ptr<X11Tap::Shared> shared) : shared_(std::move(shared)) {}

  // Whether the key ownership swallows the press; nothing when it cannot tell, or while the main
  // thread is still busy with an earlier event. `counted`: the decision is taken, not just asked.
  std::optional<bool> decidedAtOnce(const InputEvent& event, bool counted = true);
  // A ticket for an answer the keyboard waits for; 0 while the main thread is still busy with an
  // earlier one (the event then goes by the rules of a late answer).
  std::uint64_t takeTicket();
  // The main thread's answer, or false once the bound ran out (the answer is then dropped).
  bool awaitAnswer(std::uint64_t ticket);
  bool wasLate(std::uint64_t ticket) const { return lateTickets_.contains(ticket); }

 private:
  std::shared_ptr<X11Tap::Shared> shared_;
  std::set<std::uint64_t> lateTickets_;
};

}  // namespace tovrel::platform::x11
