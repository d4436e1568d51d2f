#include "platform/atspi/QtSelfAccessibility.hpp"

namespace tovrel::platform::atspi {

AXElement selfApplication(std::int32_t) {
  return {};
}

}  // namespace tovrel::platform::atspi
