#include "platform/desktop/SignalPipe.hpp"

#include <QObject>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

namespace tovrel::platform::desktop {

namespace {

// The pipe is the process's, made once and never closed: a signal may arrive at any moment, even
// while a SignalPipe is being destroyed, and its handler must always find a valid descriptor.
std::atomic<int> writeEnd{-1};
int readEnd = -1;

void onSignal(int signal) {
  const int savedErrno = errno;
  const auto number = static_cast<unsigned char>(signal);
  // A full pipe already holds requests enough to end the program: dropping this one is harmless.
  [[maybe_unused]] const ssize_t written = ::write(writeEnd.load(), &number, 1);
  errno = savedErrno;
}

void openPipe() {
  static std::once_flag once;
  static std::error_code failure;
  std::call_once(once, [] {
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
      failure = std::error_code(errno, std::generic_category());
      return;
    }
    readEnd = ends[0];
    writeEnd.store(ends[1]);
  });
  if (failure) throw std::system_error(failure, "cannot open the termination-signal pipe");
}

}  // namespace

SignalPipe::SignalPipe() = default;

SignalPipe::~SignalPipe() {
  if (!installed_) return;
  for (std::size_t i = 0; i < handledSignals.size(); ++i)
    ::sigaction(handledSignals[i], &previous_[i], nullptr);
  notifier_.reset();
}

void SignalPipe::install(std::function<void(int signal)> requested) {
  requested_ = std::move(requested);
  if (installed_) return;
  openPipe();

  notifier_ = std::make_unique<QSocketNotifier>(readEnd, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { drain(); });

  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  // Other threads' system calls carry on instead of failing with EINTR.
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < handledSignals.size(); ++i) {
    if (::sigaction(handledSignals[i], &action, &previous_[i]) != 0) {
      const std::error_code failure(errno, std::generic_category());
      for (std::size_t j = 0; j < i; ++j)
        ::sigaction(handledSignals[j], &previous_[j], nullptr);
      notifier_.reset();
      throw std::system_error(failure, "cannot handle termination signals");
    }
  }
  installed_ = true;
}

void SignalPipe::drain() {
  // Everything is read before any callback runs, and the callback is a copy: a callback that ends
  // the program may destroy this object.
  std::vector<int> arrived;
  unsigned char buffer[64];
  for (;;) {
    const ssize_t count = ::read(readEnd, buffer, sizeof buffer);
    if (count > 0) {
      arrived.insert(arrived.end(), buffer, buffer + count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    break;
  }
  const auto requested = requested_;
  if (!requested) return;
  for (const int signal : arrived)
    requested(signal);
}

}  // namespace tovrel::platform::desktop
