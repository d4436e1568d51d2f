#include "platform/x11/input/X11Tap.hpp"

// Qt before X11: the X headers define macros (Bool, Status) that break Qt's.
#include <QCoreApplication>
#include <QMetaObject>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <utility>

#include "platform/x11/X11Clock.hpp"
#include "platform/x11/X11Errors.hpp"
#include "platform/x11/input/OwnEventLedger.hpp"
#include "platform/x11/input/X11TapShared.hpp"

namespace tovrel::platform::x11 {

// Runs on the main thread: the callback sees the event, and a waiting worker gets the answer.
void deliverToMainThread(const std::shared_ptr<X11Tap::Shared>& shared, EventType type,
                         InputEvent event, std::uint64_t ticket, bool decidedByTap) {
  {
    std::lock_guard lock(shared->mutex);
    ++shared->delivered;
  }
  const double sent = monotonicNow();
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [shared, type, event = std::move(event), ticket, decidedByTap, sent] {
        TapCallback callback;
        bool stalled = false;
        {
          std::lock_guard lock(shared->mutex);
          // A key the tap decided for this thread, acted on a whole second later: the mode went
          // without this program that long. One report for all that waited together.
          const double now = monotonicNow();
          if (decidedByTap && now - sent >= X11Tap::stallReport &&
              sent > shared->lastLateKeyReport) {
            shared->lastLateKeyReport = now;
            ++shared->statistics.stallsReported;
            stalled = true;
          }
          // An event heard just before its type left the mask is not wanted any more.
          const bool wanted = (shared->mask & eventMaskBit(type)) != 0 ||
                              type == eventType::tapDisabledByTimeout ||
                              type == eventType::tapDisabledByUserInput;
          if (shared->alive && shared->enabled && shared->sourceAttached && wanted)
            callback = shared->callback;
        }
        X11InputFence* fence = shared->fence.get();
        if (fence) fence->beginDecision();
        // Main-thread only: a change asked for while the worker waits is applied by the worker
        // before it lets the keyboard go, and must not be waited for here.
        const bool outer = shared->deciding;
        shared->deciding = ticket != 0;
        bool swallow = callback ? callback(type, event) : false;
        shared->deciding = outer;
        const bool freeInput = fence && fence->decisionWantsFreeInput();
        if (ticket != 0) {
          std::lock_guard lock(shared->mutex);
          // Asked before the answer wakes the worker, so that it ends the grab instead of keeping
          // it until the key is released.
          if (freeInput && swallow) fence->requestEnd();
          shared->answers[ticket] = swallow;
          if (--shared->outstanding == 0) {
            // An answer a whole second late: the keyboard went without this program that long.
            stalled = shared->takeDueStall(monotonicNow()) || stalled;
            shared->stalledSince.reset();
            shared->stallReported = false;
          }
          shared->answered.notify_all();
        }
        if (freeInput) {
          if (ticket != 0)
            fence->waitGrabEnded();
          else
            fence->endGrab();  // a grab an earlier key left
        }
        if (fence) fence->endDecision();
        {
          std::lock_guard lock(shared->mutex);
          ++shared->handled;
        }
        if (stalled) deliverToMainThread(shared, eventType::tapDisabledByTimeout, {}, 0);
      },
      Qt::QueuedConnection);
}

namespace {

class MainLoopSource : public TapSource {
 public:
  explicit MainLoopSource(std::shared_ptr<X11Tap::Shared> shared) : shared_(std::move(shared)) {
    std::lock_guard lock(shared_->mutex);
    shared_->sourceAttached = true;
  }
  ~MainLoopSource() override {
    std::lock_guard lock(shared_->mutex);
    shared_->sourceAttached = false;
  }

 private:
  std::shared_ptr<X11Tap::Shared> shared_;
};

}  // namespace

std::unique_ptr<X11Tap> X11Tap::create(std::uint64_t mask, TapCallback callback,
                                       std::shared_ptr<OwnEventLedger> ledger,
                                       const std::string& displayName,
                                       std::shared_ptr<X11InputFence> fence) {
  if (QCoreApplication::instance() == nullptr) return nullptr;
  installErrorHandlers();
  // Protected against a lost connection: the tap then stops, the program does not.
  Display* display = openDisplay(displayName.empty() ? nullptr : displayName.c_str()).release();
  if (display == nullptr) return nullptr;
  int opcode = 0;
  int event = 0;
  int error = 0;
  int major = 2;
  int minor = 2;
  int testEvent = 0;
  int testError = 0;
  int testMajor = 0;
  int testMinor = 0;
  if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error) ||
      XIQueryVersion(display, &major, &minor) != Success || major * 100 + minor < 202 ||
      !XTestQueryExtension(display, &testEvent, &testError, &testMajor, &testMinor)) {
    DisplayCloser{}(display);
    return nullptr;
  }
  auto shared = std::make_shared<Shared>();
  shared->display = display;
  shared->mask = mask;
  shared->callback = std::move(callback);
  shared->ledger = std::move(ledger);
  shared->fence = std::move(fence);
  return std::unique_ptr<X11Tap>(new X11Tap(std::move(shared)));
}

X11Tap::X11Tap(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

X11Tap::~X11Tap() {
  invalidate();
}

void X11Tap::enable(bool enabled) {
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->alive || shared_->enabled == enabled) return;
    shared_->enabled = enabled;
    ++shared_->requested;
    if (enabled && !shared_->thread.joinable()) {
      if (::pipe2(shared_->wakePipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        shared_->enabled = false;
        return;
      }
      shared_->thread = std::thread([shared = shared_] { runTapWorker(shared); });
      if (shared_->fence)
        shared_->fence->setWaker(shared_.get(), [weak = std::weak_ptr<Shared>(shared_)] {
          if (auto shared = weak.lock()) shared->wake();
        });
    }
  }
  shared_->wake();
  // An enabled tap hears what follows at once (the program's own events included, or their
  // ledger entries would wait for nothing). Never called from inside a decision, so the worker is
  // free to apply it. The bound is for a worker that died: a busy machine can take seconds to
  // start one, and a tap that returned before listening would miss the program's own next events,
  // whose ledger entries would then mark someone else's events as the program's.
  if (enabled) waitUntilApplied(5.0);
}

bool X11Tap::isEnabled() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->alive && shared_->enabled;
}

std::unique_ptr<TapSource> X11Tap::addToMainLoop() {
  return std::make_unique<MainLoopSource>(shared_);
}

void X11Tap::invalidate() {
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->alive) return;
    shared_->alive = false;
    shared_->enabled = false;
    shared_->callback = nullptr;
    ++shared_->requested;
    shared_->answered.notify_all();
  }
  shared_->wake();
  if (shared_->thread.joinable()) shared_->thread.join();
  if (shared_->fence) shared_->fence->clearWaker(shared_.get());
  if (shared_->display) DisplayCloser{}(shared_->display);
  shared_->display = nullptr;
  for (int& fd : shared_->wakePipe)
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
}

void X11Tap::setKeyOwnership(KeyOwnership owner) {
  auto ownership = owner ? std::make_shared<const KeyOwnership>(std::move(owner)) : nullptr;
  std::lock_guard lock(shared_->mutex);
  shared_->ownership = std::move(ownership);
}

void X11Tap::setKeyInterception(const KeyInterception& interception) {
  bool grabsEveryKey = false;
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->alive || shared_->interception == interception) return;
    grabsEveryKey = interception.allKeys && !shared_->interception.allKeys && shared_->enabled;
    shared_->interception = interception;
    ++shared_->requested;
  }
  shared_->wake();
  // A mode that starts from something the keyboard did not wait for (a modifier tap, a menu)
  // shows itself only once every key of the front window is grabbed: a key typed as soon as it
  // shows must not reach the application. Inside a decision the worker applies the change itself
  // before the keyboard moves on.
  if (grabsEveryKey && !shared_->deciding) waitUntilApplied(grabsBound);
}

void X11Tap::setEventMask(std::uint64_t mask) {
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->alive || shared_->mask == mask) return;
    shared_->mask = mask;
    ++shared_->requested;
  }
  shared_->wake();
}

void X11Tap::freeInputAfterAnswer() {
  if (shared_->fence) shared_->fence->freeInput();
}

X11Tap::Statistics X11Tap::statistics() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->statistics;
}

bool X11Tap::waitUntilApplied(double timeoutSeconds) const {
  std::unique_lock lock(shared_->mutex);
  if (!shared_->thread.joinable()) return true;
  return shared_->applied.wait_for(
      lock, std::chrono::microseconds(static_cast<long>(timeoutSeconds * 1e6)),
      [&] { return shared_->appliedVersion == shared_->requested || !shared_->alive; });
}

}  // namespace tovrel::platform::x11
