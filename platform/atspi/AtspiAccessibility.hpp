#pragma once

// Other applications' accessibility trees over AT-SPI; this program's own through Qt in-process.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Accessibility.hpp"

namespace tovrel::platform::atspi {

class AtspiAccessibility : public AccessibilityServices {
 public:
  explicit AtspiAccessibility(std::function<std::optional<std::int32_t>()> keyboardFocusPid);
  ~AtspiAccessibility() override;

  AXElement application(std::int32_t pid) override;
  AXElement systemWide() override;
};

}  // namespace tovrel::platform::atspi
