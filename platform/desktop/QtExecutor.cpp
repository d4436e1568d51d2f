#include "platform/desktop/QtExecutor.hpp"

namespace tovrel::platform::desktop {

QtExecutor::QtExecutor() = default;
QtExecutor::~QtExecutor() = default;

void QtExecutor::runDetached(std::function<void()> work) {
  work();
}
void QtExecutor::postToMain(std::function<void()> work) {
  work();
}
void QtExecutor::parallelFor(std::size_t count, const std::function<void(std::size_t)>& work) {
  for (std::size_t i = 0; i < count; ++i)
    work(i);
}
void QtExecutor::runOnMain(const std::function<void()>& work) {
  work();
}

}  // namespace tovrel::platform::desktop
