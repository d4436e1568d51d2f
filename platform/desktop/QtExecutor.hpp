#pragma once

// Background work on a pool of threads; main-thread work through the Qt event loop. Made on the
// main thread, after the Qt application. Work that throws is reported and dropped, except on
// runOnMain, which hands the exception back to its caller.

#include <memory>

#include "platform/Executor.hpp"

class QThreadPool;

namespace tovrel::platform::desktop {

class QtExecutor : public Executor {
 public:
  // At most this many threads work on one parallelFor at once.
  static constexpr std::size_t maxParallelThreads = 32;

  QtExecutor();
  // Waits for the detached work still running.
  ~QtExecutor() override;
  QtExecutor(const QtExecutor&) = delete;
  QtExecutor& operator=(const QtExecutor&) = delete;

  void runDetached(std::function<void()> work) override;
  void postToMain(std::function<void()> work) override;
  // Each index runs once on its own worker threads (never the caller's); an index that throws
  // does not stop the others.
  void parallelFor(std::size_t count, const std::function<void(std::size_t)>& work) override;
  void runOnMain(const std::function<void()>& work) override;

 private:
  std::unique_ptr<QThreadPool> pool_;
};

}  // namespace tovrel::platform::desktop
