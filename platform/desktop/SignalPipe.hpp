#pragma once

// SIGTERM, SIGINT and SIGHUP delivered on the main thread. The handler only writes the signal's
// number into a pipe, which is all a signal handler may safely do whatever thread it interrupts;
// the main loop reads the pipe and runs the callback there.

#include <signal.h>

#include <array>
#include <memory>

#include "platform/SingleInstance.hpp"

class QSocketNotifier;

namespace tovrel::platform::desktop {

class SignalPipe : public TerminationSignals {
 public:
  static constexpr std::array<int, 3> handledSignals = {SIGTERM, SIGINT, SIGHUP};

  SignalPipe();
  // The signals get back the handling they had before install. One SignalPipe at a time.
  ~SignalPipe() override;
  SignalPipe(const SignalPipe&) = delete;
  SignalPipe& operator=(const SignalPipe&) = delete;

  // On the main thread, after the Qt application. A second call only replaces the callback.
  // Throws std::system_error when the pipe or a handler cannot be set up.
  void install(std::function<void(int signal)> requested) override;

 private:
  void drain();

  std::function<void(int)> requested_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::array<struct sigaction, handledSignals.size()> previous_{};
  bool installed_ = false;
};

}  // namespace tovrel::platform::desktop
