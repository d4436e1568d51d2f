#pragma once

// Finding an element of a real application's front window by the name a label would show.
// Header-only: only the tests that link the discovery code include it.

#include <optional>
#include <string>
#include <vector>

#include "platform/Accessibility.hpp"
#include "system/AccessibilityTargets.hpp"

namespace tovrel::desktoptest {

// The frame of the first element so named in the application's focused window, breadth first.
inline std::optional<HintTarget::Frame> frameNamed(const platform::AXElement& application,
                                                   const std::string& name, int maxDepth = 30) {
  namespace targets = AccessibilityTargets;
  auto window = targets::elementAttribute(application, "AXFocusedWindow");
  if (!window) return std::nullopt;
  std::vector<platform::AXElement> level{*window};
  for (int depth = 0; depth < maxDepth && !level.empty(); ++depth) {
    std::vector<platform::AXElement> next;
    for (const auto& element : level) {
      const auto role = targets::stringAttribute(element, "AXRole").value_or("");
      if (targets::accessibleName(element, role) == name) return targets::frame(element);
      for (auto& child : targets::childrenOf(element).value_or(std::vector<platform::AXElement>{}))
        next.push_back(std::move(child));
    }
    level = std::move(next);
  }
  return std::nullopt;
}

}  // namespace tovrel::desktoptest
