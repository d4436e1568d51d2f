#include "platform/x11/session/X11EventWatch.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>

// After Qt: X's headers define macros (None, Bool, KeyPress, …) that break Qt's.
#include <X11/Xlib.h>

#include "platform/x11/X11Errors.hpp"

namespace tovrel::platform::x11 {

X11EventWatch::X11EventWatch(Display* display, std::function<void()> drain)
    : display_(display), drain_(std::move(drain)), context_(std::make_unique<QObject>()) {
  notifier_ = new QSocketNotifier(ConnectionNumber(display), QSocketNotifier::Read, context_.get());
  QObject::connect(notifier_, &QSocketNotifier::activated, context_.get(), [this] { run(); });
}

X11EventWatch::~X11EventWatch() = default;

std::unique_ptr<X11EventWatch> X11EventWatch::onApplicationThread(Display* display,
                                                                  std::function<void()> drain) {
  QCoreApplication* app = QCoreApplication::instance();
  if (display == nullptr || app == nullptr || app->thread() != QThread::currentThread())
    return nullptr;
  return std::make_unique<X11EventWatch>(display, std::move(drain));
}

void X11EventWatch::afterRead() {
  if (connectionLost(display_) || XEventsQueued(display_, QueuedAlready) == 0) return;
  // One pending drain takes everything queued by then, however many reads came before it.
  if (queued_.exchange(true)) return;
  QMetaObject::invokeMethod(
      context_.get(),
      [this] {
        queued_ = false;
        if (notifier_->isEnabled()) run();
      },
      Qt::QueuedConnection);
}

void X11EventWatch::run() {
  drain_();
  // A closed socket stays readable: stop listening rather than spin.
  if (connectionLost(display_)) notifier_->setEnabled(false);
}

}  // namespace tovrel::platform::x11
