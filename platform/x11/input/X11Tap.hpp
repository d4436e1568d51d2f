#pragma once

// The session's active input tap on X11. Its own thread owns its own X connection and
//  - observes every key and button with XInput2 raw events on the root window (modifier taps,
//    pointer input, activity, the program's own synthetic events), and pointer motion only while
//    the mask asks for moves or drags;
//  - decides key presses through passive synchronous grabs: while navigation is off only the entry
//    chords on the root window, while a mode is on every key on every managed top-level window,
//    so the window manager's own root shortcuts keep their priority;
//  - keeps the press of a modifier whose tap the program takes from the applications, deciding it
//    on its own thread;
//  - decides a press at once, on its own thread, when the key ownership can tell, once the main
//    thread has handled every event before it: the main thread then only acts on it;
//  - hands every other event to the main thread and waits a bounded time for the answer: a
//    keyboard that waits on a busy program would freeze the whole desktop.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/EventServices.hpp"

namespace tovrel::platform::x11 {

class OwnEventLedger;
class X11InputFence;

class X11Tap : public TapPort {
 public:
  // How long a frozen keyboard waits for the main thread before the key passes.
  static constexpr double decisionBound = 0.040;
  // A main thread that has not answered for this long has lost the keyboard: the tap reports
  // itself disabled by a time-out once it answers again.
  static constexpr double stallReport = 1.0;
  // How long the main thread waits for the grabs of a mode it starts outside a decision.
  static constexpr double grabsBound = 0.25;

  // Nothing when there is no display, no XInput 2.2, no XTest or no Qt application to deliver
  // into. The tap does nothing until enabled. With a fence, the program's own clicks and actions
  // can have the tap end a keyboard grab first.
  static std::unique_ptr<X11Tap> create(std::uint64_t mask, TapCallback callback,
                                        std::shared_ptr<OwnEventLedger> ledger,
                                        const std::string& displayName = {},
                                        std::shared_ptr<X11InputFence> fence = {});
  ~X11Tap() override;

  void enable(bool enabled) override;
  bool isEnabled() const override;
  std::unique_ptr<TapSource> addToMainLoop() override;
  void invalidate() override;
  void setKeyInterception(const KeyInterception& interception) override;
  void setEventMask(std::uint64_t mask) override;
  void setKeyOwnership(KeyOwnership owner) override;
  void freeInputAfterAnswer() override;

  struct Statistics {
    std::uint64_t decisions = 0;      // presses the main thread decided in time
    std::uint64_t decidedAtOnce = 0;  // presses the key ownership decided without asking
    std::uint64_t answeredEarly = 0;  // of those, passes answered before their grab's event came
    std::uint64_t lateDecisions = 0;  // presses passed because the answer came too late
    std::uint64_t passedWhileBusy = 0;
    std::uint64_t grabConflicts = 0;   // chords or windows another client had grabbed first
    std::uint64_t grabsEnded = 0;      // grabs ended early so that a click or action could run
    std::uint64_t foreignKeys = 0;     // presses another client's grab took from us
    std::uint64_t stallsReported = 0;  // answers or reads a second late, reported as a time-out
    std::size_t grabbedWindows = 0;
    // When the tap read the last key press it heard, and when the answer that let it go left for
    // the server (seconds of CLOCK_MONOTONIC): where a key's time through the tap goes.
    double lastPressRead = 0;
    double lastPressAnswered = 0;
  };
  Statistics statistics() const;
  // Blocks until the tap thread has applied every change asked of it so far (tests, benchmarks).
  bool waitUntilApplied(double timeoutSeconds) const;

  struct Shared;
  class Worker;

 private:
  explicit X11Tap(std::shared_ptr<Shared> shared);
  std::shared_ptr<Shared> shared_;
};

}  // namespace tovrel::platform::x11
