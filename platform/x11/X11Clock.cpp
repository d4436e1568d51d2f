#include "platform/x11/X11Clock.hpp"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <cmath>
#include <thread>

namespace tovrel::platform::x11 {

X11Clock::X11Clock() : constructingThread_(QThread::currentThread()) {}

bool X11Clock::isMainThread() const {
  const QCoreApplication* app = QCoreApplication::instance();
  QThread* main = app != nullptr ? app->thread() : constructingThread_;
  return QThread::currentThread() == main;
}

void X11Clock::sleep(double seconds) {
  if (!(seconds > 0) || !std::isfinite(seconds)) return;
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace tovrel::platform::x11
