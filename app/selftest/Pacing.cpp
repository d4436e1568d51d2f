#include "app/selftest/Pacing.hpp"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace tovrel::selftest {

double EventLoopPacer::now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void EventLoopPacer::sleep(int milliseconds) {
  if (interrupted_) throw Interrupted();
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  bool elapsed = false;
  QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
    elapsed = true;
    loop.quit();
  });
  timer.start(std::max(0, milliseconds));
  loop.exec();
  // Only the application quitting ends the loop early: every later sleep would return at once too.
  if (!elapsed) {
    interrupted_ = true;
    throw Interrupted();
  }
}

bool waitFor(Pacer& pacer, double timeout, const std::function<bool()>& condition) {
  const double deadline = pacer.now() + timeout;
  while (pacer.now() < deadline) {
    if (condition()) return true;
    pacer.sleep(pollMilliseconds);
  }
  return condition();
}

}  // namespace tovrel::selftest
