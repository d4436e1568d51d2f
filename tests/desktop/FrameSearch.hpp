#pragma once

// Finding an element of a real application's front window by the name a label would show.
// Header-only: only the tests that link the discovery code include it.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Accessibility.hpp"
#include "system/AccessibilityTargets.hpp"

namespace tovrel::desktoptest {

using ElementWanted = std::function<bool(const platform::AXElement&, const std::string& role)>;

// The first element `wanted` accepts in the application's focused window, breadth first.
inline std::optional<platform::AXElement> elementWhere(const platform::AXElement& application,
                                                       const ElementWanted& wanted,
                                                       int maxDepth = 30) {
  namespace targets = AccessibilityTargets;
  auto window = targets::elementAttribute(application, "AXFocusedWindow");
  if (!window) return std::nullopt;
  std::vector<platform::AXElement> level{*window};
  for (int depth = 0; depth < maxDepth && !level.empty(); ++depth) {
    std::vector<platform::AXElement> next;
    for (const auto& element : level) {
      const auto role = targets::stringAttribute(element, "AXRole").value_or("");
      if (wanted(element, role)) return element;
      for (auto& child : targets::childrenOf(element).value_or(std::vector<platform::AXElement>{}))
        next.push_back(std::move(child));
    }
    level = std::move(next);
  }
  return std::nullopt;
}

// The frame of the first element so named in the application's focused window, breadth first.
inline std::optional<HintTarget::Frame> frameNamed(const platform::AXElement& application,
                                                   const std::string& name, int maxDepth = 30) {
  const auto element = elementWhere(
      application,
      [&](const platform::AXElement& candidate, const std::string& role) {
        return AccessibilityTargets::accessibleName(candidate, role) == name;
      },
      maxDepth);
  return element ? AccessibilityTargets::frame(*element) : std::nullopt;
}

}  // namespace tovrel::desktoptest
