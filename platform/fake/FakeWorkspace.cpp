#include "platform/fake/FakeWorkspace.hpp"

namespace tovrel::platform::fake {

std::vector<RunningApplication> FakeWorkspace::runningApplications() {
  std::lock_guard lock(mutex_);
  return apps;
}

std::optional<RunningApplication> FakeWorkspace::application(std::int32_t pid) {
  std::lock_guard lock(mutex_);
  for (const auto& app : apps) {
    if (app.pid == pid) return app;
  }
  return std::nullopt;
}

std::optional<std::int32_t> FakeWorkspace::frontmostApplicationPid() {
  std::lock_guard lock(mutex_);
  return frontmost;
}

std::vector<WindowInfo> FakeWorkspace::onScreenWindows() {
  std::lock_guard lock(mutex_);
  ++windowListReads;
  return windows;
}

std::optional<bool> FakeWorkspace::preferenceFlag(std::string_view domain, std::string_view key) {
  std::lock_guard lock(mutex_);
  auto found = preferences.find({std::string(domain), std::string(key)});
  if (found == preferences.end()) return std::nullopt;
  return found->second;
}

bool FakeWorkspace::fileExists(const std::string& path) {
  std::lock_guard lock(mutex_);
  return files.count(path) != 0;
}

std::uint64_t FakeWorkspace::watchTermination(std::int32_t pid, std::function<void()> terminated) {
  bool running = false;
  {
    std::lock_guard lock(mutex_);
    for (const auto& app : apps)
      running = running || app.pid == pid;
    if (running) {
      watches_[nextToken_] = {pid, std::move(terminated)};
      return nextToken_++;
    }
  }
  terminated();
  return 0;
}

void FakeWorkspace::cancelWatch(std::uint64_t token) {
  std::lock_guard lock(mutex_);
  watches_.erase(token);
}

void FakeWorkspace::terminate(std::int32_t pid) {
  std::vector<std::function<void()>> callbacks;
  {
    std::lock_guard lock(mutex_);
    std::erase_if(apps, [pid](const RunningApplication& app) { return app.pid == pid; });
    for (auto watch = watches_.begin(); watch != watches_.end();) {
      if (watch->second.first == pid) {
        callbacks.push_back(std::move(watch->second.second));
        watch = watches_.erase(watch);
      } else {
        ++watch;
      }
    }
  }
  for (auto& callback : callbacks)
    callback();
}

void FakeExecutor::runDetached(std::function<void()> work) {
  if (queueDetached) {
    std::lock_guard lock(mutex_);
    detached_.push_back(std::move(work));
    return;
  }
  ++detachedRuns;
  work();
}

void FakeExecutor::postToMain(std::function<void()> work) {
  std::lock_guard lock(mutex_);
  main_.push_back(std::move(work));
}

void FakeExecutor::parallelFor(std::size_t count, const std::function<void(std::size_t)>& work) {
  ++parallelRuns;
  for (std::size_t i = 0; i < count; ++i)
    work(i);
}

void FakeExecutor::runOnMain(const std::function<void()>& work) {
  ++mainRuns;
  work();
}

int FakeExecutor::drainMain() {
  int run = 0;
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(mutex_);
      if (main_.empty()) return run;
      work = std::move(main_.front());
      main_.pop_front();
    }
    work();
    ++run;
  }
}

int FakeExecutor::runQueuedDetached() {
  int run = 0;
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard lock(mutex_);
      if (detached_.empty()) return run;
      work = std::move(detached_.front());
      detached_.pop_front();
    }
    ++detachedRuns;
    work();
    ++run;
  }
}

}  // namespace tovrel::platform::fake
