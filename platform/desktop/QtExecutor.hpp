#pragma once

// Background work on a pool of threads; main-thread work through the Qt event loop.

#include "platform/Executor.hpp"

namespace tovrel::platform::desktop {

class QtExecutor : public Executor {
 public:
  QtExecutor();
  ~QtExecutor() override;

  void runDetached(std::function<void()> work) override;
  void postToMain(std::function<void()> work) override;
  void parallelFor(std::size_t count, const std::function<void(std::size_t)>& work) override;
  void runOnMain(const std::function<void()>& work) override;
};

}  // namespace tovrel::platform::desktop
