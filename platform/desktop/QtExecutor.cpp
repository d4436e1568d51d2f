#include "platform/desktop/QtExecutor.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <thread>
#include <vector>

namespace tovrel::platform::desktop {

namespace {

// Runs `work`, reporting what it throws instead of letting it unwind through a thread's or the
// event loop's frames.
template <typename Work>
void guarded(const char* what, Work&& work) {
  try {
    work();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tovrel: %s failed: %s\n", what, error.what());
  } catch (...) {
    std::fprintf(stderr, "tovrel: %s failed\n", what);
  }
}

}  // namespace

QtExecutor::QtExecutor() : pool_(std::make_unique<QThreadPool>()) {
  // Background work mostly waits on other processes' answers, so a small machine still gets a few
  // threads.
  pool_->setMaxThreadCount(std::max(QThread::idealThreadCount(), 4));
}

QtExecutor::~QtExecutor() {
  pool_->waitForDone();
}

void QtExecutor::runDetached(std::function<void()> work) {
  if (!work) return;
  pool_->start([work = std::move(work)] { guarded("background work", work); });
}

void QtExecutor::postToMain(std::function<void()> work) {
  if (!work) return;
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) {
    std::fprintf(stderr, "tovrel: main-thread work dropped: there is no application\n");
    return;
  }
  QMetaObject::invokeMethod(
      app, [work = std::move(work)] { guarded("main-thread work", work); }, Qt::QueuedConnection);
}

void QtExecutor::parallelFor(std::size_t count, const std::function<void(std::size_t)>& work) {
  if (count == 0 || !work) return;
  std::atomic<std::size_t> next{0};
  const auto worker = [&] {
    for (std::size_t index = next++; index < count; index = next++)
      guarded("parallel work", [&] { work(index); });
  };
  std::vector<std::jthread> threads;
  const std::size_t threadCount = std::min(count, maxParallelThreads);
  threads.reserve(threadCount);
  for (std::size_t i = 0; i < threadCount; ++i)
    threads.emplace_back(worker);
  // The threads join as they go out of scope.
}

void QtExecutor::runOnMain(const std::function<void()>& work) {
  if (!work) return;
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() == app->thread()) {
    work();
    return;
  }
  std::exception_ptr failure;
  QMetaObject::invokeMethod(
      app,
      [&] {
        try {
          work();
        } catch (...) {
          failure = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tovrel::platform::desktop
