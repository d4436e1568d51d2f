#pragma once

// The program's own clicks and accessibility actions must not happen while the tap holds a
// keyboard grab: what they open — a menu, a combo box's list — takes a grab of its own, X refuses
// it while ours is active, and the popup never opens (or opens without the keyboard). A key the tap
// swallows keeps its grab until the key is released, so before such an action the fence has the
// tap end that grab. The tap lets the key go with a release of its own, so the hand's release
// reaches no application (a modifier key excepted: its release does).
//
// Inside a key decision the tap has not answered yet and cannot end the grab: the pointer events
// the program posts meanwhile are held, and the grab ends as soon as the answer is given, before
// the held events go out. Accessibility actions never run inside a decision (the service runs
// them after the tap callback has returned).

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tovrel::platform::x11 {

class X11InputFence {
 public:
  // How long an action waits for the tap to end its grab; a tap that does not answer in time
  // (gone, or its thread stalled) does not hold the action back for longer.
  static constexpr double grabEndBound = 0.1;

  // ---- the tap's main-thread side, around the callback of a press being decided
  void beginDecision();
  // True when something in the decision needs the input free: the grab must end with the answer.
  bool decisionWantsFreeInput() const;
  // Sends what was held, in order.
  void endDecision();

  // ---- the program's own input
  // A pointer event about to be posted: inside a decision it is kept for `endDecision` (and a
  // button press there asks for the grab to end); true when it was kept.
  bool holdDuringDecision(std::function<void()> post, bool isButtonPress);
  // Before an action that may open a popup: ends a grab the tap holds and waits for it (bounded).
  // Inside a decision it only asks for the grab to end with the answer.
  void freeInput();

  // ---- the tap
  // How the fence wakes the running tap's thread. One tap at a time answers the fence: `tap` names
  // it, and only its own leaving disconnects it. Another tap that comes and goes (one made only to
  // see whether a tap can be made) must not leave the running one's grabs unseen.
  void setWaker(const void* tap, std::function<void()> waker);
  void clearWaker(const void* tap);
  // The tap's thread reports whether it holds a grab after each key it handled.
  void reportGrab(bool held);
  // The tap's thread takes a pending request to end its grab.
  bool takeRequest();
  // Asks the tap's thread to end its grab and waits until it reports none held (bounded); the
  // requesting side of `takeRequest`. False when the bound ran out.
  bool endGrab();
  // Asks without waiting, for the answer that is about to be given (the tap's thread is woken too,
  // in case it gave up waiting for that answer).
  void requestEnd();
  bool waitGrabEnded();

 private:
  bool inDecisionOnThisThread() const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool grabHeld_ = false;
  bool requested_ = false;
  std::function<void()> waker_;
  const void* wakerTap_ = nullptr;

  // Main thread only.
  std::thread::id decidingThread_;
  bool deciding_ = false;
  bool wantsFreeInput_ = false;
  std::vector<std::function<void()>> held_;
};

}  // namespace tovrel::platform::x11
