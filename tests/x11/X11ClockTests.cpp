#include "platform/x11/X11Clock.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <thread>

namespace tovrel::platform::x11 {
namespace {

TEST(X11Clock, UptimeNeverGoesBackAndOnlyOneThreadIsMain) {
  X11Clock clock;
  double previous = clock.uptime();
  for (int i = 0; i < 1000; ++i) {
    double now = clock.uptime();
    ASSERT_GE(now, previous);
    previous = now;
  }
  EXPECT_NEAR(clock.uptime(), monotonicNow(), 1.0);

  // With an application the main thread is its thread; without one, the clock's builder.
  bool builderIsMain = QCoreApplication::instance() == nullptr ||
                       QCoreApplication::instance()->thread() == QThread::currentThread();
  EXPECT_EQ(clock.isMainThread(), builderIsMain);
  bool otherIsMain = true;
  std::thread([&] { otherIsMain = clock.isMainThread(); }).join();
  EXPECT_FALSE(otherIsMain);
}

}  // namespace
}  // namespace tovrel::platform::x11
