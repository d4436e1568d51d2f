#pragma once

// The running applications, windows and preferences as a test sets them, and an executor that
// runs everything on the calling thread so that tests stay deterministic.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Executor.hpp"
#include "platform/Workspace.hpp"

namespace tovrel::platform::fake {

class FakeWorkspace : public WorkspaceServices {
 public:
  std::vector<RunningApplication> runningApplications() override;
  std::optional<RunningApplication> application(std::int32_t pid) override;
  std::optional<std::int32_t> frontmostApplicationPid() override;
  std::int32_t selfPid() override { return self; }
  std::vector<WindowInfo> onScreenWindows() override;
  std::optional<bool> preferenceFlag(std::string_view domain, std::string_view key) override;
  bool fileExists(const std::string& path) override;
  std::uint64_t watchTermination(std::int32_t pid, std::function<void()> terminated) override;
  void cancelWatch(std::uint64_t token) override;

  // Ends the process: it leaves the list and its watchers are called.
  void terminate(std::int32_t pid);

  std::vector<RunningApplication> apps;
  std::optional<std::int32_t> frontmost;
  std::int32_t self = 100;
  std::vector<WindowInfo> windows;  // front to back
  std::map<std::pair<std::string, std::string>, bool> preferences;
  std::set<std::string> files;
  int windowListReads = 0;

 private:
  std::mutex mutex_;
  std::map<std::uint64_t, std::pair<std::int32_t, std::function<void()>>> watches_;
  std::uint64_t nextToken_ = 1;
};

// Detached work runs at once on the calling thread (or waits in a queue when `queueDetached` is
// set); work for the main thread waits until the test drains it.
class FakeExecutor : public Executor {
 public:
  void runDetached(std::function<void()> work) override;
  void postToMain(std::function<void()> work) override;
  void parallelFor(std::size_t count, const std::function<void(std::size_t)>& work) override;
  void runOnMain(const std::function<void()>& work) override;

  // Runs what was posted to the main thread, including what that posts in turn; the number run.
  int drainMain();
  int runQueuedDetached();

  bool queueDetached = false;
  int detachedRuns = 0;
  int parallelRuns = 0;
  int mainRuns = 0;

 private:
  std::mutex mutex_;
  std::deque<std::function<void()>> main_;
  std::deque<std::function<void()>> detached_;
};

}  // namespace tovrel::platform::fake
