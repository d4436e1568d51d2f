#include "platform/desktop/QtScheduler.hpp"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <cmath>

namespace tovrel::platform::desktop {

namespace {

// Whole milliseconds, never negative; a non-finite interval counts as 0.
int milliseconds(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0) return 0;
  const double ms = std::ceil(seconds * 1000.0);
  return ms > 2'000'000'000.0 ? 2'000'000'000 : static_cast<int>(ms);
}

class QtTimer : public Timer {
 public:
  QtTimer(double interval, bool repeats, std::function<void()> fire)
      : timer_(new QTimer()), fire_(std::move(fire)), repeats_(repeats) {
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setSingleShot(!repeats);
    timer_->setInterval(milliseconds(interval));
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] {
      if (!repeats_) valid_ = false;
      // The callback may destroy this timer: keep what it needs on the stack.
      auto fire = fire_;
      if (fire) fire();
    });
    timer_->start();
  }
  // The timer may be destroyed from inside its own callback: let Qt delete the QTimer once the
  // signal has returned.
  ~QtTimer() override {
    timer_->stop();
    QObject::disconnect(timer_, nullptr, nullptr, nullptr);
    timer_->deleteLater();
  }

  void invalidate() override {
    valid_ = false;
    timer_->stop();
  }
  bool isValid() const override { return valid_; }

 private:
  QTimer* timer_;
  std::function<void()> fire_;
  bool repeats_;
  bool valid_ = true;
};

}  // namespace

QtScheduler::QtScheduler() : context_(std::make_unique<QObject>()) {}
QtScheduler::~QtScheduler() = default;

std::unique_ptr<Timer> QtScheduler::schedule(double interval, bool repeats,
                                             std::function<void()> fire) {
  return std::make_unique<QtTimer>(interval, repeats, std::move(fire));
}

void QtScheduler::after(double seconds, std::function<void()> work) {
  QTimer::singleShot(milliseconds(seconds), Qt::PreciseTimer, context_.get(),
                     [work = std::move(work)] { work(); });
}

double QtScheduler::wallTime() const {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace tovrel::platform::desktop
