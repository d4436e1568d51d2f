#include "platform/x11/X11Clock.hpp"

#include <QCoreApplication>
#include <QThread>

namespace tovrel::platform::x11 {

X11Clock::X11Clock() : constructingThread_(QThread::currentThread()) {}

bool X11Clock::isMainThread() const {
  const QCoreApplication* app = QCoreApplication::instance();
  QThread* main = app != nullptr ? app->thread() : constructingThread_;
  return QThread::currentThread() == main;
}

}  // namespace tovrel::platform::x11
