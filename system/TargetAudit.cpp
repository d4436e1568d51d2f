// Two developer reports about another application's accessibility tree: the target audit (what
// click mode labels, whether a click at each label reaches its element, which pressable controls
// got no label) and the outline of the tree itself.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_set>
#include <utility>
#include <vector>

#include "system/AccessibilityTargets.hpp"
#include "system/DiscoveryText.hpp"
#include "system/DisplayGeometry.hpp"

namespace tovrel {

namespace {

using platform::AXElement;

constexpr double reportTimeout = 0.5;
constexpr double unlabelledTimeout = 0.25;
constexpr double asleepPause = 1.2;
constexpr int asleepRetries = 2;
constexpr double hitTestPause = 0.03;
constexpr int maxUnlabelledElements = 6000;
constexpr int maxUnlabelledDepth = 60;
constexpr std::size_t nameCut = 40;
constexpr std::size_t hitNameCut = 30;
constexpr double minimumSide = 4;

std::string quoted(std::string_view text, std::size_t count) {
  return "\"" + discovery::cutName(text, count) + "\"";
}

std::string joinedLines(const std::vector<std::string>& lines) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  return text + '\n';
}

bool intersects(const HintTarget::Frame& a, const HintTarget::Frame& b) {
  return std::max(a.x, b.x) < std::min(a.x + a.width, b.x + b.width) &&
         std::max(a.y, b.y) < std::min(a.y + a.height, b.y + b.height);
}

std::optional<AXElement> frontWindow(const AXElement& application) {
  if (auto window = AccessibilityTargets::elementAttribute(application, "AXFocusedWindow")) {
    return window;
  }
  return AccessibilityTargets::elementAttribute(application, "AXMainWindow");
}

// The line of a label whose click lands elsewhere, and where the pointer could go instead.
void describeMiss(DiscoveryServices& services, std::vector<std::string>& lines,
                  const HintTarget& target, const AXElementBox& box, const AXElement& hit,
                  Point clickPoint) {
  hit.setMessagingTimeout(reportTimeout);
  const std::string relation =
      AccessibilityTargets::isSelfOrDescendant(box.element, hit) ? "its ancestor" : "unrelated";
  const std::string role = AccessibilityTargets::stringAttribute(hit, "AXRole").value_or("?");
  const auto name = AccessibilityTargets::accessibleName(hit, role).value_or("");
  const auto frame = AccessibilityTargets::frame(hit);
  lines.push_back("MISS " + target.role + " " + quoted(target.name, nameCut) + " " +
                  TargetAudit::describe(target.frame) + " clicks " + relation + " " + role + " " +
                  quoted(name, hitNameCut) + " " + (frame ? TargetAudit::describe(*frame) : "?"));

  const Point reachable = AccessibilityTargets::reachablePoint(services, box, clickPoint);
  if (reachable == clickPoint) {
    lines.push_back("  no reachable point");
  } else {
    lines.push_back("  pointer goes to (" + discovery::wholeNumber(reachable.x) + "," +
                    discovery::wholeNumber(reachable.y) + ")");
  }
}

// Pressable controls in the front window that no label stands for.
void listUnlabelled(const AXElement& window, const HintTarget::Frame& windowFrame,
                    const std::unordered_set<AXElement, platform::AXElementHash>& labelled,
                    std::vector<std::string>& lines) {
  struct Entry {
    AXElement element;
    int depth;
    bool insideLabelled;
  };
  std::vector<Entry> stack{{window, 0, false}};
  int visited = 0;
  int unlabelled = 0;
  while (!stack.empty() && visited < maxUnlabelledElements) {
    Entry entry = std::move(stack.back());
    stack.pop_back();
    ++visited;
    const AXElement& element = entry.element;
    element.setMessagingTimeout(unlabelledTimeout);
    const bool isLabelled = labelled.contains(element);
    if (!isLabelled && !entry.insideLabelled) {
      const auto frame = AccessibilityTargets::frame(element);
      if (frame && frame->width >= minimumSide && frame->height >= minimumSide &&
          intersects(*frame, windowFrame) &&
          discovery::hasAction(AccessibilityTargets::actionNames(element), "AXPress")) {
        ++unlabelled;
        const std::string role =
            AccessibilityTargets::stringAttribute(element, "AXRole").value_or("");
        const auto name = AccessibilityTargets::accessibleName(element, role).value_or("");
        lines.push_back("UNLABELLED " + role + " " + quoted(name, nameCut) + " " +
                        TargetAudit::describe(*frame));
      }
    }
    if (entry.depth >= maxUnlabelledDepth) continue;
    auto children = AccessibilityTargets::childrenOf(element).value_or(std::vector<AXElement>{});
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
      stack.push_back({*child, entry.depth + 1, entry.insideLabelled || isLabelled});
    }
  }
  lines.push_back(std::to_string(unlabelled) + " pressable controls without a label");
}

}  // namespace

namespace TargetAudit {

std::string describe(const HintTarget::Frame& frame) {
  return "(" + discovery::wholeNumber(frame.x) + "," + discovery::wholeNumber(frame.y) + " " +
         discovery::wholeNumber(frame.width) + "x" + discovery::wholeNumber(frame.height) + ")";
}

std::string report(DiscoveryServices& services, std::int32_t pid, const DiscoveryResult& result) {
  const AXElement application = services.accessibility.application(pid);
  application.setMessagingTimeout(reportTimeout);
  const auto displays = DisplayGeometry::activeBounds(services.displays);

  std::vector<std::string> lines;
  lines.push_back("scope " + result.scope + ", targets " + std::to_string(result.targets.size()) +
                  ", visited " + std::to_string(result.visitedNodes) + ", truncated " +
                  (result.truncated ? "true" : "false") + ", " +
                  discovery::wholeNumber(result.elapsed * 1000) + " ms");

  std::unordered_set<AXElement, platform::AXElementHash> labelled;
  int misses = 0;
  const std::size_t count = std::min(result.targets.size(), result.elements.size());
  for (std::size_t i = 0; i < count; ++i) {
    const HintTarget& target = result.targets[i];
    const AXElementBox& box = result.elements[i];
    labelled.insert(box.element);
    lines.push_back("LABEL " + target.role + " " + quoted(target.name, nameCut) + " " +
                    describe(target.frame));

    // Only the application's own window content is click-checked: not its menu bar, and not
    // the items of other processes (dock, status items), which its hit tests cannot reach.
    if (box.element.pid() != pid || target.role == "AXMenuBarItem") continue;
    // An item's press is a click, which lands where a person clicks it whatever a hit test says
    // (some toolkits answer one with an item's ancestor): the report says where.
    if (box.pressAction == AXElementBox::click) {
      const Point at = AccessibilityTargets::reachablePoint(
          services, box, box.clickFrame.value_or(box.frame).center());
      lines.push_back("  pressed by a click at (" + discovery::wholeNumber(at.x) + "," +
                      discovery::wholeNumber(at.y) + ")");
      continue;
    }
    const Point point = ClickPoint::of(target.frame, displays, 1.0).point;
    const auto x = static_cast<float>(point.x);
    const auto y = static_cast<float>(point.y);
    // Some toolkits answer the first hit test from stale geometry; only the second counts.
    (void)application.elementAtPosition(x, y);
    services.clock.sleep(hitTestPause);
    const auto hit = application.elementAtPosition(x, y);
    if (!hit.ok()) continue;
    if (AccessibilityTargets::isSelfOrDescendant(hit.value(), box.element)) continue;
    ++misses;
    describeMiss(services, lines, target, box, hit.value(), point);
  }
  lines.push_back(std::to_string(misses) + " labels click something else");

  if (const auto window = frontWindow(application)) {
    if (const auto windowFrame = AccessibilityTargets::frame(*window)) {
      listUnlabelled(*window, *windowFrame, labelled, lines);
    }
  }
  return joinedLines(lines);
}

std::string runNow(DiscoveryServices& services, std::int32_t pid) {
  const AccessibilityTargets::Budget budget;
  const AccessibilityTargets::Extras extras{.menuBar = true, .dock = true};
  auto result = AccessibilityTargets::discoverNow(services, pid, budget, extras, false);
  // A tree that was just switched on fills in over the next moment.
  for (int retry = 0; retry < asleepRetries && result.treeWasAsleep; ++retry) {
    services.clock.sleep(asleepPause);
    result = AccessibilityTargets::discoverNow(services, pid, budget, extras, false);
  }

  const double start = services.clock.uptime();
  const auto context =
      AccessibilityTargets::scrollContextNow(services, pid, std::nullopt, std::nullopt, true);
  const std::string milliseconds = discovery::wholeNumber((services.clock.uptime() - start) * 1000);

  std::vector<std::string> areas;
  for (const auto& area : context.areas)
    areas.push_back("SCROLL AREA " + describe(area));
  return report(services, pid, result) + "scroll context " + milliseconds + " ms\n" +
         joinedLines(areas);
}

void run(DiscoveryServices& services, std::int32_t pid,
         std::function<void(std::string)> completion) {
  DiscoveryServices shared = services;
  services.executor.runDetached([shared, pid, completion = std::move(completion)]() mutable {
    auto text = std::make_shared<std::string>(runNow(shared, pid));
    shared.executor.postToMain(
        [completion = std::move(completion), text] { completion(std::move(*text)); });
  });
}

}  // namespace TargetAudit

namespace AccessibilityTargets {

std::string outline(DiscoveryServices& services, std::int32_t pid, int maxNodes) {
  const AXElement application = services.accessibility.application(pid);
  application.setMessagingTimeout(reportTimeout);
  (void)application.setAttribute("AXManualAccessibility", true);

  std::vector<AXElement> roots;
  if (auto window = frontWindow(application)) {
    roots.push_back(*window);
  } else {
    roots = elementsAttribute(application, "AXWindows").value_or(std::vector<AXElement>{});
  }
  if (roots.empty()) return "no window\n";

  std::vector<std::pair<AXElement, int>> stack;
  for (auto root = roots.rbegin(); root != roots.rend(); ++root)
    stack.emplace_back(*root, 0);
  std::vector<std::string> lines;
  while (!stack.empty()) {
    if (static_cast<int>(lines.size()) >= maxNodes) break;
    auto [element, depth] = std::move(stack.back());
    stack.pop_back();
    element.setMessagingTimeout(reportTimeout);

    const std::string role = stringAttribute(element, "AXRole").value_or("?");
    const auto subrole = stringAttribute(element, "AXSubrole");
    const auto frame = AccessibilityTargets::frame(element);
    std::string actions;
    for (const auto& action : actionNames(element)) {
      if (action.starts_with("AXScroll")) continue;
      if (!actions.empty()) actions += ',';
      actions += action;
    }
    const auto name = accessibleName(element, role).value_or("");
    const bool disabled = boolAttribute(element, "AXEnabled") == false;

    lines.push_back(std::string(static_cast<std::size_t>(depth) * 2, ' ') + role +
                    (subrole ? "/" + *subrole : "") + " " +
                    (frame ? TargetAudit::describe(*frame) : "(no frame)") + " [" + actions + "]" +
                    (disabled ? " disabled" : "") + " " + quoted(name, nameCut));

    auto children = childrenOf(element).value_or(std::vector<AXElement>{});
    for (auto child = children.rbegin(); child != children.rend(); ++child)
      stack.emplace_back(*child, depth + 1);
  }
  return joinedLines(lines);
}

}  // namespace AccessibilityTargets

}  // namespace tovrel
