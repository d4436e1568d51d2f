#include "platform/x11/input/X11InputFence.hpp"

#include <chrono>
#include <utility>

namespace tovrel::platform::x11 {

void X11InputFence::beginDecision() {
  std::lock_guard lock(mutex_);
  deciding_ = true;
  decidingThread_ = std::this_thread::get_id();
  wantsFreeInput_ = false;
}

bool X11InputFence::decisionWantsFreeInput() const {
  std::lock_guard lock(mutex_);
  return deciding_ && wantsFreeInput_;
}

void X11InputFence::endDecision() {
  std::vector<std::function<void()>> held;
  {
    std::lock_guard lock(mutex_);
    deciding_ = false;
    wantsFreeInput_ = false;
    held.swap(held_);
  }
  for (auto& post : held)
    post();
}

bool X11InputFence::inDecisionOnThisThread() const {
  return deciding_ && decidingThread_ == std::this_thread::get_id();
}

bool X11InputFence::holdDuringDecision(std::function<void()> post, bool isButtonPress) {
  std::lock_guard lock(mutex_);
  if (!inDecisionOnThisThread()) return false;
  if (isButtonPress) wantsFreeInput_ = true;
  held_.push_back(std::move(post));
  return true;
}

void X11InputFence::freeInput() {
  {
    std::lock_guard lock(mutex_);
    if (inDecisionOnThisThread()) {
      wantsFreeInput_ = true;
      return;
    }
    if (!grabHeld_) return;
  }
  endGrab();
}

void X11InputFence::setWaker(const void* tap, std::function<void()> waker) {
  std::lock_guard lock(mutex_);
  wakerTap_ = tap;
  waker_ = std::move(waker);
}

void X11InputFence::clearWaker(const void* tap) {
  std::lock_guard lock(mutex_);
  if (tap != wakerTap_) return;
  // No tap: nothing holds a grab, and nobody is left to answer a request.
  wakerTap_ = nullptr;
  waker_ = nullptr;
  grabHeld_ = false;
  requested_ = false;
  changed_.notify_all();
}

void X11InputFence::reportGrab(bool held) {
  std::lock_guard lock(mutex_);
  grabHeld_ = held;
  if (!held) requested_ = false;
  changed_.notify_all();
}

bool X11InputFence::takeRequest() {
  std::lock_guard lock(mutex_);
  return std::exchange(requested_, false);
}

void X11InputFence::requestEnd() {
  std::function<void()> waker;
  {
    std::lock_guard lock(mutex_);
    if (!grabHeld_ || !waker_) return;
    requested_ = true;
    waker = waker_;
  }
  // Woken even when it is about to be answered: it may have stopped waiting for this answer (it
  // came late), and would otherwise keep the grab until the key is released.
  waker();
}

bool X11InputFence::endGrab() {
  requestEnd();
  return waitGrabEnded();
}

bool X11InputFence::waitGrabEnded() {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::microseconds(static_cast<long>(grabEndBound * 1e6)),
                           [&] { return !grabHeld_ || !waker_; });
}

}  // namespace tovrel::platform::x11
