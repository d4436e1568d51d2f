#include "platform/atspi/AtspiAccessibility.hpp"

#include <utility>

#include "platform/atspi/AtspiNode.hpp"

namespace tovrel::platform::atspi {

AtspiAccessibility::AtspiAccessibility(
    std::function<std::optional<std::int32_t>()> keyboardFocusPid,
    std::function<void()> beforeAction, WindowsOfProcess windowsOf)
    : shared_(std::make_shared<Shared>()) {
  shared_->windowsOf = std::move(windowsOf);
  shared_->keyboardFocusPid = std::move(keyboardFocusPid);
  shared_->beforeAction = std::move(beforeAction);
}

AtspiAccessibility::~AtspiAccessibility() = default;

AXElement AtspiAccessibility::application(std::int32_t pid) {
  return applicationElement(shared_, pid);
}

AXElement AtspiAccessibility::systemWide() {
  return systemWideElement(shared_);
}

}  // namespace tovrel::platform::atspi
