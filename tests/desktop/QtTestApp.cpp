#include "tests/desktop/QtTestApp.hpp"

#include <QApplication>
#include <atomic>
#include <thread>

#include "tests/desktop/DesktopHarness.hpp"

namespace tovrel::desktoptest {

void qtApp() {
  static int argc = 1;
  static char name[] = "tovrel-desktop-tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  (void)app;
}

void pump(std::chrono::milliseconds duration) {
  auto end = std::chrono::steady_clock::now() + duration;
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  } while (std::chrono::steady_clock::now() < end);
}

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (true) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

void inputWhilePumping(Desktop& desktop, const std::function<void(Desktop&)>& act) {
  std::atomic<bool> done = false;
  std::thread typist([&] {
    auto other = Desktop::open();
    if (other) act(*other);
    done = true;
  });
  pumpUntil([&] { return done.load(); }, std::chrono::seconds(30));
  typist.join();
  desktop.sync();
  pump(std::chrono::milliseconds(20));
}

}  // namespace tovrel::desktoptest
