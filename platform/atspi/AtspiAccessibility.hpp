#pragma once

// Other applications' accessibility trees over AT-SPI, spoken directly over D-Bus; this program's
// own windows are read in-process instead (a blocking call to ourselves from the main thread
// would wait for an answer only the main thread can give).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Accessibility.hpp"
#include "platform/atspi/AtspiWindows.hpp"

namespace tovrel::platform::atspi {

struct Shared;

class AtspiAccessibility : public AccessibilityServices {
 public:
  // Made on the main thread once the Qt application exists; its elements may then be used from
  // any thread. `keyboardFocusPid` names the process owning the keyboard focus, for the
  // system-wide element's "AXFocusedApplication". `beforeAction` runs before every action is
  // performed: what an action opens (a menu) may need the keyboard free. `windowsOf` lists a
  // process's windows on the screen, for toolkits that place their elements only within them.
  explicit AtspiAccessibility(std::function<std::optional<std::int32_t>()> keyboardFocusPid = {},
                              std::function<void()> beforeAction = {},
                              WindowsOfProcess windowsOf = {});
  ~AtspiAccessibility() override;

  AXElement application(std::int32_t pid) override;
  AXElement systemWide() override;

 private:
  std::shared_ptr<Shared> shared_;
};

}  // namespace tovrel::platform::atspi
