#include "platform/atspi/AtspiAccessibility.hpp"

namespace tovrel::platform::atspi {

AtspiAccessibility::AtspiAccessibility(std::function<std::optional<std::int32_t>()>) {}
AtspiAccessibility::~AtspiAccessibility() = default;

AXElement AtspiAccessibility::application(std::int32_t) {
  return {};
}
AXElement AtspiAccessibility::systemWide() {
  return {};
}

}  // namespace tovrel::platform::atspi
