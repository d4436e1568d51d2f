#include "platform/x11/input/X11InputFence.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace tovrel::platform::x11 {
namespace {

// A stand-in for the tap's thread: ends its grab whenever it is woken with a request.
class GrabHolder {
 public:
  explicit GrabHolder(X11InputFence& fence) : fence_(fence) {
    fence_.setWaker(this, [this] { woken_ = true; });
    thread_ = std::thread([this] {
      while (!stop_) {
        if (woken_.exchange(false) && fence_.takeRequest()) {
          ++ended_;
          fence_.reportGrab(false);
        }
        std::this_thread::yield();
      }
    });
  }
  ~GrabHolder() {
    stop_ = true;
    thread_.join();
    fence_.clearWaker(this);
  }
  int ended() const { return ended_; }

 private:
  X11InputFence& fence_;
  std::atomic<bool> woken_{false};
  std::atomic<bool> stop_{false};
  std::atomic<int> ended_{0};
  std::thread thread_;
};

TEST(X11InputFence, PostsDuringADecisionWaitForItsEndAndKeepTheirOrder) {
  X11InputFence fence;
  std::vector<std::string> sent;
  const auto post = [&](std::string what) { return [&sent, what] { sent.push_back(what); }; };

  EXPECT_FALSE(fence.holdDuringDecision(post("outside"), true));  // the caller sends it itself

  fence.beginDecision();
  EXPECT_TRUE(fence.holdDuringDecision(post("move"), false));
  EXPECT_FALSE(fence.decisionWantsFreeInput());
  EXPECT_TRUE(fence.holdDuringDecision(post("press"), true));
  EXPECT_TRUE(fence.holdDuringDecision(post("release"), false));
  EXPECT_TRUE(fence.decisionWantsFreeInput());
  EXPECT_TRUE(sent.empty());
  fence.endDecision();
  EXPECT_EQ(sent, (std::vector<std::string>{"move", "press", "release"}));

  // The next decision starts clean.
  fence.beginDecision();
  EXPECT_FALSE(fence.decisionWantsFreeInput());
  fence.freeInput();  // an action inside the decision only asks
  EXPECT_TRUE(fence.decisionWantsFreeInput());
  fence.endDecision();
}

TEST(X11InputFence, AnotherThreadIsNeverHeldInsideTheMainThreadsDecision) {
  X11InputFence fence;
  fence.beginDecision();
  bool held = true;
  std::thread([&] { held = fence.holdDuringDecision([] {}, true); }).join();
  EXPECT_FALSE(held);
  EXPECT_FALSE(fence.decisionWantsFreeInput());
  fence.endDecision();
}

TEST(X11InputFence, AnActionEndsAHeldGrabAndWaitsForIt) {
  X11InputFence fence;
  fence.freeInput();  // no tap: nothing to wait for
  GrabHolder holder(fence);
  fence.freeInput();  // no grab held: the tap is not bothered
  EXPECT_EQ(holder.ended(), 0);
  fence.reportGrab(true);
  fence.freeInput();
  EXPECT_EQ(holder.ended(), 1);
  EXPECT_TRUE(fence.waitGrabEnded());
}

TEST(X11InputFence, AnotherTapLeavingKeepsTheRunningTapAnswering) {
  X11InputFence fence;
  GrabHolder holder(fence);
  // A tap made only to see whether one can be made, and dropped again: it never ran.
  int probe = 0;
  fence.clearWaker(&probe);
  fence.reportGrab(true);
  fence.freeInput();
  EXPECT_EQ(holder.ended(), 1) << "the running tap was never asked to end its grab";
  // One that ran and was replaced: its leaving does not disconnect its successor either.
  int earlier = 0;
  {
    X11InputFence replaced;
    replaced.setWaker(&earlier, [] {});
    GrabHolder successor(replaced);
    replaced.clearWaker(&earlier);
    replaced.reportGrab(true);
    EXPECT_TRUE(replaced.endGrab());
    EXPECT_EQ(successor.ended(), 1);
  }
}

TEST(X11InputFence, ATapThatNeverAnswersHoldsAnActionBackOnlyForTheBound) {
  X11InputFence fence;
  int stalled = 0;
  fence.setWaker(&stalled, [] {});  // a tap whose thread is stalled
  fence.reportGrab(true);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(fence.endGrab());
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::milliseconds(static_cast<int>(X11InputFence::grabEndBound * 1000)));
  // The tap going away releases whoever waits.
  fence.clearWaker(&stalled);
  EXPECT_TRUE(fence.waitGrabEnded());
}

}  // namespace
}  // namespace tovrel::platform::x11
