#include "platform/x11/session/X11SystemEvents.hpp"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <tuple>
#include <vector>

namespace tovrel::platform::x11::systemWatch {
namespace {

using N = SystemNotification;
using C = NotificationCenter;

// Each notification reaches exactly the observers on its own centre, in the order they came.
TEST(SystemWatchObservers, ANotificationReachesOnlyTheObserversOfItsOwnCentreInOrder) {
  const std::map<N, C> centres = {
      {N::didActivateApplication, C::workspace},  {N::willSleep, C::workspace},
      {N::screensDidSleep, C::workspace},         {N::sessionDidResignActive, C::workspace},
      {N::didTerminateApplication, C::workspace}, {N::didChangeScreenParameters, C::application},
      {N::didBecomeActive, C::application},
  };
  ObserverList list;
  std::vector<std::tuple<N, C, int, std::int32_t>> calls;
  for (const auto& [notification, unused] : centres)
    for (C centre : {C::workspace, C::application})
      for (int copy = 0; copy < 2; ++copy)
        list.add(centre, notification, [&calls, notification, centre, copy](const auto& info) {
          calls.emplace_back(notification, centre, copy, info.pid.value_or(0));
        });
  for (const auto& [notification, centre] : centres) {
    EXPECT_EQ(centerOf(notification), centre);
    calls.clear();
    list.post(notification, {7, "id", "Name"});
    EXPECT_EQ(calls, (decltype(calls){{notification, centre, 0, 7}, {notification, centre, 1, 7}}))
        << int(notification);
  }
}

TEST(SystemWatchObservers, HandlersMayRemoveOthersAddNewOnesAndFail) {
  // Removed before its turn: skipped; added meanwhile: not called this time; a failure stops
  // no one after it.
  ObserverList list;
  std::vector<int> calls;
  std::uint64_t third = 0;
  list.add(C::workspace, N::willSleep, [&](const NotificationInfo&) {
    calls.push_back(1);
    list.remove(third);
    list.add(C::workspace, N::willSleep, [&](const NotificationInfo&) { calls.push_back(4); });
  });
  list.add(C::workspace, N::willSleep, [&](const NotificationInfo&) {
    calls.push_back(2);
    throw std::runtime_error("handler failure");
  });
  third =
      list.add(C::workspace, N::willSleep, [&](const NotificationInfo&) { calls.push_back(3); });
  list.post(N::willSleep, {});
  EXPECT_EQ(calls, (std::vector<int>{1, 2}));
  EXPECT_EQ(list.size(), 3u);
}

// The tracker against a plain model, over random sequences of active-window owners (nothing
// among them) and process ends.
TEST(SystemWatchFront, ReportsExactlyWhenTheFrontProcessChangesAndWatchesEachOnce) {
  std::mt19937 random(20240607);
  for (int run = 0; run < 200; ++run) {
    FrontTracker tracker;
    std::optional<std::int32_t> front;
    std::set<std::int32_t> watched;
    std::uniform_int_distribution<int> pick(0, 5);  // 0: no owner; 1…4 pids; 5: an end
    const std::optional<std::int32_t> seed =
        run % 3 == 0 ? std::nullopt : std::optional<std::int32_t>(run % 4 + 1);
    const auto first = tracker.seed(seed);
    EXPECT_FALSE(first.report);
    EXPECT_EQ(first.watch, seed.has_value());
    front = seed;
    if (seed) watched.insert(*seed);
    for (int step = 0; step < 60; ++step) {
      const int choice = pick(random);
      if (choice == 5) {
        const std::int32_t pid = std::uniform_int_distribution<int>(1, 4)(random);
        EXPECT_EQ(tracker.ended(pid), watched.erase(pid) > 0);
        if (front == pid) front.reset();
        EXPECT_EQ(tracker.front(), front);
        continue;
      }
      const auto pid = choice == 0 ? std::nullopt : std::optional<std::int32_t>(choice);
      FrontTracker::Step expected;
      if (pid) {
        expected.report = front != pid;
        expected.watch = watched.insert(*pid).second;
        front = pid;
      }
      ASSERT_EQ(tracker.seen(pid), expected) << "run " << run << " step " << step;
      EXPECT_EQ(tracker.front(), front);
    }
  }
}

}  // namespace
}  // namespace tovrel::platform::x11::systemWatch
