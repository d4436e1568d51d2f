// Acting on a chosen target: checking that the stored element is still the same control, acting
// through the accessibility interface where the element allows it, and otherwise finding a point
// where a synthetic click really lands on it.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/Unicode.hpp"
#include "system/AccessibilityTargets.hpp"
#include "system/DiscoveryText.hpp"

namespace tovrel::AccessibilityTargets {

namespace {

using Frame = HintTarget::Frame;
using platform::AXElement;
using platform::AXError;

// Smaller moves are layout jitter (a scroller appearing, a rounding change), not another control.
constexpr double moveTolerance = 3;
constexpr double rowContentShare = 0.7;
constexpr int hitClimbLimit = 40;
constexpr double hitTimeout = 0.1;
constexpr std::size_t pointLimit = 10;
constexpr int pointWalkDepth = 2;
constexpr double pointMinimumSide = 2;
// Some toolkits build what lies under a point only when first asked; the second pass sees it.
constexpr double settlePause = 0.03;
constexpr std::size_t actionNameCut = 20;

constexpr std::array<std::string_view, 3> pointRoles = {"AXStaticText", "AXImage", "AXHeading"};

std::string errorText(AXError error) {
  return std::to_string(platform::code(error));
}

platform::AXValue yes() {
  return platform::AXValue(std::in_place_type<bool>, true);
}

double overlapArea(const Frame& a, const Frame& b) {
  const double width = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
  const double height = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
  if (width <= 0 || height <= 0) return 0;
  return width * height;
}

}  // namespace

Revalidation revalidate(const AXElementBox& box) {
  const auto live = frame(box.element);
  if (!live) return Revalidation::changed();
  const auto role = stringAttribute(box.element, "AXRole");
  if (!role || *role != box.role) return Revalidation::changed();
  const Frame& stored = box.frame;
  const bool close = std::abs(live->x - stored.x) < moveTolerance &&
                     std::abs(live->y - stored.y) < moveTolerance &&
                     std::abs(live->width - stored.width) < moveTolerance &&
                     std::abs(live->height - stored.height) < moveTolerance;
  if (!close) return Revalidation::changed();
  if (boolAttribute(box.element, "AXEnabled") == false) return Revalidation::changed();
  return Revalidation::valid(*live);
}

SemanticOutcome performSemantic(const AXElementBox& box, TargetAction action) {
  using Outcome = SemanticOutcome;
  switch (action) {
    case TargetAction::doubleClick:
    case TargetAction::movePointer:
      return Outcome::unsupported("needs the pointer");
    case TargetAction::rightClick: {
      if (!discovery::hasAction(box.actions, "AXShowMenu"))
        return Outcome::unsupported("no menu action");
      const AXError error = box.element.performAction("AXShowMenu");
      if (error == AXError::success) return Outcome::pressed();
      return Outcome::unsupported("menu error " + errorText(error));
    }
    case TargetAction::press:
      break;
  }

  // Nothing but a click presses such an item: the caller clicks it.
  if (box.pressAction == AXElementBox::click) return Outcome::unsupported("pressed by a click");
  if (box.pressAction && *box.pressAction != AXElementBox::hover) {
    const AXError error = box.element.performAction(*box.pressAction);
    if (error == AXError::success) return Outcome::pressed();
    return Outcome::unsupported(unicode::prefixCharacters(*box.pressAction, actionNameCut) +
                                " error " + errorText(error));
  }
  if (isTextRole(box.role)) {
    const AXError error = box.element.setAttribute("AXFocused", yes());
    if (error == AXError::success) return Outcome::focused();
    return Outcome::unsupported("focus error " + errorText(error));
  }
  const bool pressable = discovery::hasAction(box.actions, "AXPress");
  if (box.role == "AXRow" && !pressable) {
    const AXError error = box.element.setAttribute("AXSelected", yes());
    if (error != AXError::success) return Outcome::unsupported("select error " + errorText(error));
    if (boolAttribute(box.element, "AXSelected") == true) return Outcome::pressed();
    return Outcome::unsupported("row not selectable");
  }
  if (!pressable) return Outcome::unsupported("no press action");

  AXElement target = box.element;
  if (box.role == "AXRow") {
    if (auto content = rowContent(box)) target = std::move(*content);
  }
  const AXError error = target.performAction("AXPress");
  if (error == AXError::success) return Outcome::pressed();
  // Toolkits that run a menu's loop inside the press answer only once the menu closes, so "no
  // answer in time" is what a successful press of a menu-opening control looks like.
  if (error == AXError::cannotComplete && isMenuOpeningRole(box.role)) return Outcome::pressed();
  return Outcome::unsupported("press error " + errorText(error));
}

std::optional<AXElement> rowContent(const AXElementBox& box) {
  const auto children = childrenOf(box.element);
  if (!children) return std::nullopt;
  const Frame& row = box.frame;
  for (const AXElement& child : *children) {
    if (stringAttribute(child, "AXRole") != "AXGroup") continue;
    if (!discovery::hasAction(actionNames(child), "AXPress")) continue;
    const auto f = frame(child);
    if (!f) continue;
    if (overlapArea(*f, row) >= rowContentShare * row.width * row.height) return child;
  }
  return std::nullopt;
}

namespace {

enum class Reach { no, yes, throughControl };

// Whether each of `holders` holds nothing but the way down to the control below it: then the
// control is what the item shows (a button wrapping its content, a row filling its cell), not one
// that a click would press instead of the item.
bool holdsOnly(const std::vector<AXElement>& holders) {
  return std::all_of(holders.begin(), holders.end(), [](const AXElement& holder) {
    const auto children = childrenOf(holder);
    return children && children->size() == 1;
  });
}

// Whether `candidate` is `target` or lies within it, and whether a control of its own (a link or a
// check box in a row's cell) stands between them.
Reach reaches(const AXElement& candidate, const AXElement& target) {
  const auto targetRole = stringAttribute(target, "AXRole");
  const auto targetFrame = frame(target);
  // The climb so far, from the candidate up, and where in it the outermost control stands.
  std::vector<AXElement> seen;
  std::optional<std::size_t> control;
  const auto arrived = [&](const AXElement& at) {
    if (!control) return Reach::yes;
    std::vector<AXElement> holders(seen.begin() + static_cast<std::ptrdiff_t>(*control) + 1,
                                   seen.end());
    holders.push_back(at);
    return holdsOnly(holders) ? Reach::yes : Reach::throughControl;
  };
  AXElement element = candidate;
  for (int step = 0; step < hitClimbLimit; ++step) {
    if (element == target) return arrived(element);
    const auto role = stringAttribute(element, "AXRole");
    if (targetFrame && role == targetRole && frame(element) == targetFrame) return arrived(element);
    if (role && isActionableRole(*role)) control = seen.size();
    seen.push_back(element);
    auto parent = elementAttribute(element, "AXParent");
    if (!parent || std::find(seen.begin(), seen.end(), *parent) != seen.end()) return Reach::no;
    element = std::move(*parent);
  }
  return Reach::no;
}

}  // namespace

bool isSelfOrDescendant(const AXElement& candidate, const AXElement& target) {
  return reaches(candidate, target) != Reach::no;
}

Point reachablePoint(DiscoveryServices& services, const AXElementBox& box, Point preferred) {
  const auto pid = box.element.pid();
  if (!pid) return preferred;
  const AXElement application = services.accessibility.application(*pid);
  application.setMessagingTimeout(hitTimeout);

  const Frame f = frame(box.element).value_or(box.frame);
  std::vector<Point> points = {preferred, f.center()};

  struct Entry {
    AXElement element;
    int depth;
  };
  // In the order a reader meets them, so that an item's first text (its name) is tried first.
  std::vector<Entry> stack;
  const auto children = childrenOf(box.element).value_or(std::vector<AXElement>{});
  for (auto child = children.rbegin(); child != children.rend(); ++child)
    stack.push_back({*child, 0});
  while (!stack.empty() && points.size() < pointLimit) {
    Entry entry = std::move(stack.back());
    stack.pop_back();
    const auto role = stringAttribute(entry.element, "AXRole");
    if (role && std::find(pointRoles.begin(), pointRoles.end(), *role) != pointRoles.end()) {
      const auto inner = frame(entry.element);
      if (inner && inner->width >= pointMinimumSide && inner->height >= pointMinimumSide) {
        if (f.contains(inner->center())) points.push_back(inner->center());
        continue;
      }
    }
    if (entry.depth > pointWalkDepth) continue;
    const auto children = childrenOf(entry.element);
    if (!children) continue;
    for (auto child = children->rbegin(); child != children->rend(); ++child) {
      stack.push_back({*child, entry.depth + 1});
    }
  }

  const auto hitTest = [&](const Point& point) {
    return application.elementAtPosition(static_cast<float>(point.x), static_cast<float>(point.y));
  };
  for (const Point& point : points)
    hitTest(point);
  services.clock.sleep(settlePause);
  // An item is pressed where a person clicks it: on it, and not on a control it holds (a link in a
  // grid's cell, a check box in a row), which a click would press instead.
  const bool item = box.pressAction == AXElementBox::click;
  for (const Point& point : points) {
    auto hit = hitTest(point);
    if (!hit.ok()) continue;
    const Reach reach = reaches(hit.value(), box.element);
    if (reach == Reach::yes || (reach == Reach::throughControl && !item)) return point;
  }
  return preferred;
}

}  // namespace tovrel::AccessibilityTargets
