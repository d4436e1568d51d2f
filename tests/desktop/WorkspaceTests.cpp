// The workspace and the executor in the private desktop: real windows of real processes, with and
// without a window manager.

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/PlatformTexts.hpp"
#include "platform/desktop/QtExecutor.hpp"
#include "platform/x11/RootOrigin.hpp"
#include "platform/x11/session/X11Workspace.hpp"
#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/QtTestApp.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tovrel::desktoptest {
namespace {

using platform::RunningApplication;
using platform::WindowInfo;
using platform::x11::X11Workspace;

class WorkspaceTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qtApp();
    workspace_ = std::make_unique<X11Workspace>();
  }

  void TearDown() override {
    workspace_.reset();
    DesktopTest::TearDown();
  }

  X11Workspace& workspace() { return *workspace_; }

  // The receiver's window with the frame its manager draws around it, in global points.
  platform::Rect outerRect(const Receiver& receiver) {
    auto inner = receiver.rect();
    if (!inner) return {};
    long extents[4] = {0, 0, 0, 0};
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    Display* display = desktop().display();
    if (XGetWindowProperty(display, receiver.window(),
                           XInternAtom(display, "_NET_FRAME_EXTENTS", False), 0, 4, False,
                           XA_CARDINAL, &type, &format, &count, &remaining, &data) == Success &&
        type == XA_CARDINAL && count == 4)
      std::copy_n(reinterpret_cast<long*>(data), 4, extents);
    if (data != nullptr) XFree(data);
    namespace origin = platform::x11::rootOrigin;
    return {static_cast<double>(origin::globalX(inner->x - static_cast<int>(extents[0]))),
            static_cast<double>(origin::globalY(inner->y - static_cast<int>(extents[2]))),
            static_cast<double>(inner->width + extents[0] + extents[1]),
            static_cast<double>(inner->height + extents[2] + extents[3])};
  }

  std::string windowClass(const Receiver& receiver) {
    XClassHint hint{};
    if (XGetClassHint(desktop().display(), receiver.window(), &hint) == 0) return {};
    std::string result = hint.res_class != nullptr ? hint.res_class : "";
    XFree(hint.res_name);
    XFree(hint.res_class);
    return result;
  }

  // Where the first window of `pid` stands in the window list; -1 when absent.
  std::ptrdiff_t position(const std::vector<WindowInfo>& windows, pid_t pid) {
    auto found = std::find_if(windows.begin(), windows.end(),
                              [pid](const WindowInfo& window) { return window.ownerPid == pid; });
    return found == windows.end() ? -1 : found - windows.begin();
  }

  std::unique_ptr<X11Workspace> workspace_;
};

TEST_F(WorkspaceTest, AReceiverIsListedWithItsIdentityAndItsOuterBounds) {
  auto receiver = startReceiver({"Tovrel workspace one", 180, 140});
  ASSERT_NE(receiver, nullptr);
  const pid_t pid = receiver->pid();

  std::optional<WindowInfo> window;
  const bool placed = pumpUntil(
      [&] {
        auto windows = workspace().onScreenWindows();
        auto at = position(windows, pid);
        window = at < 0 ? std::nullopt : std::optional(windows[static_cast<std::size_t>(at)]);
        return window && window->bounds == outerRect(*receiver);
      },
      5s);
  ASSERT_TRUE(window.has_value()) << "the receiver's window is not listed";
  EXPECT_TRUE(placed) << "listed at " << *window->bounds << ", framed at " << outerRect(*receiver);
  EXPECT_EQ(window->layer, 0);
  EXPECT_DOUBLE_EQ(window->alpha, 1.0);
  // The window a frame of its accessibility tree is placed by: where its content lies, and its
  // title.
  const auto inner = receiver->rect();
  ASSERT_TRUE(inner.has_value());
  const auto clients = workspace().clientWindows(pid);
  ASSERT_EQ(clients.size(), 1U);
  EXPECT_EQ(std::tie(clients[0].x, clients[0].y, clients[0].width, clients[0].height),
            std::tie(inner->x, inner->y, inner->width, inner->height));
  EXPECT_EQ(clients[0].title, "Tovrel workspace one");

  const auto apps = workspace().runningApplications();
  auto app = std::find_if(apps.begin(), apps.end(),
                          [pid](const RunningApplication& each) { return each.pid == pid; });
  ASSERT_NE(app, apps.end());
  const std::string windowClassName = windowClass(*receiver);
  ASSERT_FALSE(windowClassName.empty());
  EXPECT_EQ(app->bundleIdentifier, windowClassName);
  EXPECT_EQ(app->localizedName, windowClassName);
  EXPECT_EQ(app->bundlePath, std::filesystem::canonical(TOVREL_RECEIVER_PATH).parent_path());
  EXPECT_EQ(workspace().application(pid), *app);

  // This process has no window of its own, but /proc knows it.
  auto self = workspace().application(workspace().selfPid());
  ASSERT_TRUE(self.has_value());
  EXPECT_EQ(self->bundleIdentifier, platformIds::selfIdentifier);
  EXPECT_EQ(workspace().selfPid(), getpid());
  EXPECT_FALSE(workspace().preferenceFlag("dock", "autohide"));
  EXPECT_TRUE(workspace().fileExists(TOVREL_RECEIVER_PATH));
  EXPECT_FALSE(workspace().fileExists("/nonexistent/tovrel"));
}

TEST_F(WorkspaceTest, TheFrontApplicationFollowsActivationAndItsWindowComesFirst) {
  auto first = startReceiver({"Tovrel workspace front one", 100, 100});
  auto second = startReceiver({"Tovrel workspace front two", 260, 220});
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);

  for (Receiver* target : {first.get(), second.get(), first.get()}) {
    Receiver* other = target == first.get() ? second.get() : first.get();
    ASSERT_TRUE(target->activate());
    EXPECT_TRUE(pumpUntil([&] { return workspace().frontmostApplicationPid() == target->pid(); }))
        << "front: " << workspace().frontmostApplicationPid().value_or(0);
    EXPECT_EQ(workspace().keyboardFocusPid(), target->pid());
    for (const Receiver* each : {target, other}) {
      const auto clients = workspace().clientWindows(each->pid());
      ASSERT_EQ(clients.size(), 1U);
      EXPECT_EQ(clients[0].active, each == target);
    }
    EXPECT_TRUE(pumpUntil([&] {
      auto windows = workspace().onScreenWindows();
      auto front = position(windows, target->pid());
      return front >= 0 && front < position(windows, other->pid());
    })) << "the activated receiver's window is not listed before the other's";
  }
}

TEST_F(WorkspaceTest, ProcessEndsAreReportedOnTheMainThreadOnce) {
  auto receiver = startReceiver({"Tovrel workspace doomed", 120, 120});
  ASSERT_NE(receiver, nullptr);
  QThread* main = QCoreApplication::instance()->thread();

  int calls = 0;
  bool onMain = false;
  bool cancelledCalled = false;
  std::atomic<int> fromWorkerCalls = 0;
  std::uint64_t token = workspace().watchTermination(receiver->pid(), [&] {
    ++calls;
    onMain = QThread::currentThread() == main;
  });
  EXPECT_NE(token, 0U);
  std::uint64_t cancelled =
      workspace().watchTermination(receiver->pid(), [&] { cancelledCalled = true; });
  workspace().cancelWatch(cancelled);
  std::thread([&] {
    workspace().watchTermination(receiver->pid(), [&] {
      if (QThread::currentThread() == QCoreApplication::instance()->thread()) ++fromWorkerCalls;
    });
  }).join();
  pump(20ms);
  EXPECT_EQ(calls, 0);

  ASSERT_EQ(kill(receiver->pid(), SIGKILL), 0);
  ASSERT_TRUE(pumpUntil([&] { return calls > 0 && fromWorkerCalls > 0; }, 5s));
  EXPECT_TRUE(onMain);
  pump(50ms);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(fromWorkerCalls, 1);
  EXPECT_FALSE(cancelledCalled);

  // A process that is already gone is reported through the main loop, and cannot be cancelled.
  const pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  ASSERT_EQ(waitpid(child, nullptr, 0), child);
  bool goneCalled = false;
  EXPECT_EQ(workspace().watchTermination(child, [&] { goneCalled = true; }), 0U);
  EXPECT_FALSE(goneCalled);
  EXPECT_TRUE(pumpUntil([&] { return goneCalled; }));

  // A thread's id names no process leader: pidfds refuse it, so it is polled instead.
  std::atomic<bool> release = false;
  std::atomic<pid_t> tid = 0;
  std::thread worker([&] {
    tid = gettid();
    while (!release)
      std::this_thread::sleep_for(1ms);
  });
  while (tid == 0)
    std::this_thread::yield();
  bool threadEnded = false;
  EXPECT_NE(workspace().watchTermination(tid, [&] { threadEnded = true; }), 0U);
  pump(300ms);  // longer than one poll
  EXPECT_FALSE(threadEnded);
  release = true;
  worker.join();
  EXPECT_TRUE(pumpUntil([&] { return threadEnded; }));
}

TEST_F(WorkspaceTest, TheExecutorRunsWorkWhereItBelongs) {
  platform::desktop::QtExecutor executor;
  QThread* main = QThread::currentThread();

  std::atomic<QThread*> postedOn = nullptr;
  std::atomic<QThread*> detachedOn = nullptr;
  std::thread([&] { executor.postToMain([&] { postedOn = QThread::currentThread(); }); }).join();
  executor.runDetached([&] { detachedOn = QThread::currentThread(); });
  EXPECT_TRUE(pumpUntil([&] { return postedOn != nullptr && detachedOn != nullptr; }));
  EXPECT_EQ(postedOn, main);
  EXPECT_NE(detachedOn, main);

  QThread* directOn = nullptr;
  executor.runOnMain([&] { directOn = QThread::currentThread(); });
  EXPECT_EQ(directOn, main);
  std::atomic<QThread*> blockingOn = nullptr;
  std::atomic<bool> returned = false;
  std::atomic<bool> rethrown = false;
  std::thread caller([&] {
    executor.runOnMain([&] { blockingOn = QThread::currentThread(); });
    try {
      executor.runOnMain([] { throw std::runtime_error("expected"); });
    } catch (const std::runtime_error&) {
      rethrown = true;
    }
    returned = true;
  });
  EXPECT_TRUE(pumpUntil([&] { return returned.load(); }));
  caller.join();
  EXPECT_EQ(blockingOn, main);
  EXPECT_TRUE(rethrown);

  constexpr std::size_t count = 300;
  std::vector<std::atomic<int>> runs(count);
  std::atomic<int> running = 0;
  std::atomic<int> mostAtOnce = 0;
  std::atomic<bool> ranOnMain = false;
  executor.parallelFor(count, [&](std::size_t index) {
    const int now = ++running;
    for (int seen = mostAtOnce; now > seen && !mostAtOnce.compare_exchange_weak(seen, now);) {
    }
    if (QThread::currentThread() == main) ranOnMain = true;
    ++runs[index];
    std::this_thread::sleep_for(1ms);
    --running;
    if (index % 50 == 7) throw std::runtime_error("one index failing stops no other");
  });
  for (std::size_t index = 0; index < count; ++index)
    EXPECT_EQ(runs[index], 1) << "index " << index;
  EXPECT_LE(mostAtOnce, 32);
  EXPECT_FALSE(ranOnMain);
  executor.parallelFor(0, [&](std::size_t) { ranOnMain = true; });
  EXPECT_FALSE(ranOnMain);
}

}  // namespace
}  // namespace tovrel::desktoptest
