#pragma once

// What the tap's main-thread side and its worker thread share. Internal to the X11 tap.

#include <X11/Xlib.h>
#include <unistd.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/x11/input/X11InputFence.hpp"
#include "platform/x11/input/X11Tap.hpp"

namespace tovrel::platform::x11 {

struct X11Tap::Shared {
  mutable std::mutex mutex;
  std::condition_variable answered;
  mutable std::condition_variable applied;

  // Asked by the main thread, carried out by the worker.
  bool alive = true;
  bool enabled = false;
  bool sourceAttached = false;
  KeyInterception interception;
  std::uint64_t requested = 0;
  std::uint64_t appliedVersion = 0;

  TapCallback callback;
  std::shared_ptr<const TapPort::KeyOwnership> ownership;  // may be empty
  // Events handed to the main thread, and those it has handled: equal, the main thread has seen
  // every key before the one in hand.
  std::uint64_t delivered = 0;
  std::uint64_t handled = 0;
  std::uint64_t mask = 0;  // the worker follows a change once it applies the next request
  std::shared_ptr<OwnEventLedger> ledger;
  std::shared_ptr<X11InputFence> fence;  // may be empty

  // Decisions in flight.
  std::uint64_t nextTicket = 1;
  std::map<std::uint64_t, bool> answers;
  int outstanding = 0;
  std::optional<double> stalledSince;  // when the late answer was asked for
  double lastLateKeyReport = 0;        // when a key the tap decided was last reported late
  bool stallReported = false;
  bool deciding = false;  // the main thread is answering a key the keyboard waits for

  Statistics statistics;

  Display* display = nullptr;
  std::array<int, 2> wakePipe{-1, -1};
  std::thread thread;

  // With the mutex held: whether the keyboard has waited a whole second for an answer, and that
  // was not reported yet. It counts as reported from here on.
  bool takeDueStall(double now) {
    if (!stalledSince || stallReported || now - *stalledSince < X11Tap::stallReport) return false;
    stallReported = true;
    ++statistics.stallsReported;
    return true;
  }

  void wake() const {
    if (wakePipe[1] >= 0) {
      char byte = 1;
      [[maybe_unused]] ssize_t written = ::write(wakePipe[1], &byte, 1);
    }
  }
};

// Hands one event to the callback on the main thread; with a ticket, the answer goes back to the
// worker waiting for it.
// `decidedByTap`: a press the tap decided itself, whose handling a second late is reported as a
// stall.
void deliverToMainThread(const std::shared_ptr<X11Tap::Shared>& shared, EventType type,
                         InputEvent event, std::uint64_t ticket, bool decidedByTap = false);

// The worker thread's body: returns when the tap is invalidated or the X server is gone.
void runTapWorker(std::shared_ptr<X11Tap::Shared> shared);

}  // namespace tovrel::platform::x11
