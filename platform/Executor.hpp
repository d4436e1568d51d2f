#pragma once

// Where work runs: the main thread, background tasks and a parallel loop.

#include <cstddef>
#include <functional>

namespace tovrel::platform {

class Executor {
 public:
  virtual ~Executor() = default;
  // Runs `work` on a background thread, soon, at user-initiated priority.
  virtual void runDetached(std::function<void()> work) = 0;
  // Runs `work` on the main thread, after what is queued there now. Safe from any thread.
  virtual void postToMain(std::function<void()> work) = 0;
  // Runs work(0) … work(count − 1), as many at once as the machine allows, and returns when
  // all have finished.
  virtual void parallelFor(std::size_t count, const std::function<void(std::size_t)>& work) = 0;
  // Runs `work` on the main thread and returns once it has: directly when called there, else
  // by waiting for the main thread to take it.
  virtual void runOnMain(const std::function<void()>& work) = 0;
};

}  // namespace tovrel::platform
