#include "platform/desktop/SignalPipe.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QThread>

#include <signal.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

namespace tovrel::platform::desktop {
namespace {

// A full application, so that tests of windows in the same program can share it.
void ensureApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "tovrel-app-tests";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
}

bool pumpUntil(const std::function<bool()>& done) {
  // Generous: a machine busy with builds may hold the main loop up for seconds.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

struct Heard {
  int signal;
  bool onMainThread;
  bool operator==(const Heard&) const = default;
};

TEST(SignalPipe, EachSignalReachesTheCallbackOnceOnTheMainThread) {
  ensureApplication();
  std::vector<Heard> first;
  std::vector<Heard> second;
  auto recorder = [](std::vector<Heard>& into) {
    return [&into](int signal) {
      into.push_back({signal, QThread::currentThread() == QCoreApplication::instance()->thread()});
    };
  };
  {
    SignalPipe pipe;
    pipe.install(recorder(first));
    // A signal that arrives on another thread still lands on the main one.
    std::thread([] { ::raise(SIGTERM); }).join();
    ASSERT_TRUE(pumpUntil([&] { return first.size() >= 1; }));
    ::raise(SIGHUP);
    ASSERT_TRUE(pumpUntil([&] { return first.size() >= 2; }));

    // Installing again hands the next signals to the new callback only.
    pipe.install(recorder(second));
    ::raise(SIGINT);
    ::raise(SIGINT);
    ASSERT_TRUE(pumpUntil([&] { return second.size() >= 2; }));
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(first, (std::vector<Heard>{{SIGTERM, true}, {SIGHUP, true}}));
  EXPECT_EQ(second, (std::vector<Heard>{{SIGINT, true}, {SIGINT, true}}));

  struct sigaction now {};
  for (const int signal : SignalPipe::handledSignals) {
    ASSERT_EQ(::sigaction(signal, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, SIG_DFL) << "signal " << signal << " has its old handling back";
  }
}

}  // namespace
}  // namespace tovrel::platform::desktop
