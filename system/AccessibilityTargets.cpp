#include "system/AccessibilityTargets.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <unordered_set>

#include "core/PlatformTexts.hpp"
#include "system/DiscoveryText.hpp"
#include "system/DisplayGeometry.hpp"

namespace tovrel {

namespace {

using platform::AXElement;
using platform::AXError;
using platform::AXValue;

// Applications whose trees this process has asked for something; never emptied, so a tree is
// woken once per process identifier.
class AwakenedApps {
 public:
  // True when the process was not in the set before.
  bool insert(std::int32_t pid) {
    std::lock_guard lock(lock_);
    return pids_.insert(pid).second;
  }

 private:
  std::mutex lock_;
  std::unordered_set<std::int32_t> pids_;
};

AwakenedApps& awakened() {
  static AwakenedApps apps;
  return apps;
}

AwakenedApps& enhanced() {
  static AwakenedApps apps;
  return apps;
}

using RoleTable = std::unordered_set<std::string_view>;

// Built once, on first use; a function-local static is safe against concurrent first use.
const RoleTable& actionableRoles() {
  static const RoleTable table = {"AXButton",      "AXLink",
                                  "AXCheckBox",    "AXRadioButton",
                                  "AXPopUpButton", "AXMenuButton",
                                  "AXMenuItem",    "AXMenuBarItem",
                                  "AXTextField",   "AXTextArea",
                                  "AXComboBox",    "AXDisclosureTriangle",
                                  "AXSearchField", "AXSecureTextField",
                                  "AXTab",         "AXSlider",
                                  "AXIncrementor", "AXColorWell",
                                  "AXDockItem",    "AXRow"};
  return table;
}
const RoleTable& textRoles() {
  static const RoleTable table = {"AXTextField", "AXTextArea", "AXComboBox", "AXSearchField",
                                  "AXSecureTextField"};
  return table;
}
const RoleTable& menuOpeningRoles() {
  static const RoleTable table = {"AXMenuBarItem", "AXMenuButton", "AXPopUpButton", "AXDockItem"};
  return table;
}
const RoleTable& windowChromeSubroles() {
  static const RoleTable table = {"AXCloseButton", "AXMinimizeButton", "AXZoomButton",
                                  "AXFullScreenButton"};
  return table;
}
const RoleTable& clickableRoles() {
  static const RoleTable table = {"AXGroup", "AXGenericElement", "AXImage",
                                  "AXCell",  "AXHeading",        "AXLayoutItem"};
  return table;
}
const RoleTable& contentRoles() {
  static const RoleTable table = {"AXSplitGroup", "AXScrollArea", "AXGroup", "AXTabGroup",
                                  "AXWebArea",    "AXList",       "AXTable", "AXOutline",
                                  "AXBrowser",    "AXLayoutArea"};
  return table;
}
const RoleTable& clippingRoles() {
  static const RoleTable table = {"AXScrollArea", "AXList",    "AXOutline",
                                  "AXTable",      "AXWebArea", "AXGroup"};
  return table;
}

constexpr std::size_t nameLimit = 120;

// A name candidate: trimmed, and nothing when absent or empty.
std::optional<std::string> nonEmpty(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  std::string result = discovery::trimmed(*text);
  if (result.empty()) return std::nullopt;
  return result;
}

}  // namespace

// ── Records ──

void DiscoveryResult::removeCovered(std::span<const HintTarget::Frame> rects) {
  if (rects.empty()) return;
  const std::size_t count = std::min(targets.size(), elements.size());
  std::vector<bool> isCovered(count, false);
  int dropped = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const HintTarget::Frame& f = targets[i].frame;
    const Point centre{f.x + f.width / 2, f.y + f.height / 2};
    isCovered[i] = std::any_of(rects.begin(), rects.end(),
                               [&](const HintTarget::Frame& r) { return r.contains(centre); });
    if (isCovered[i]) ++dropped;
  }
  if (dropped == 0) return;
  std::vector<HintTarget> keptTargets;
  std::vector<AXElementBox> keptElements;
  for (std::size_t i = 0; i < count; ++i) {
    if (isCovered[i]) continue;
    keptTargets.push_back(std::move(targets[i]));
    keptElements.push_back(std::move(elements[i]));
  }
  covered = dropped;
  contentTargets = std::max(0, contentTargets - dropped);
  targets = std::move(keptTargets);
  elements = std::move(keptElements);
}

void DiscoveryResult::append(std::vector<TargetPair> pairs) {
  if (pairs.empty()) return;
  std::vector<TargetPair> all;
  all.reserve(targets.size() + pairs.size());
  for (std::size_t i = 0; i < targets.size() && i < elements.size(); ++i)
    all.emplace_back(std::move(targets[i]), std::move(elements[i]));
  for (auto& pair : pairs)
    all.push_back(std::move(pair));
  AccessibilityTargets::sortForLabels(all);
  targets.clear();
  elements.clear();
  targets.reserve(all.size());
  elements.reserve(all.size());
  for (auto& [target, box] : all) {
    targets.push_back(std::move(target));
    elements.push_back(std::move(box));
  }
}

namespace AccessibilityTargets {

// ── Role tables ──

bool isActionableRole(std::string_view role) {
  return actionableRoles().count(role) != 0;
}
bool isTextRole(std::string_view role) {
  return textRoles().count(role) != 0;
}
bool isMenuOpeningRole(std::string_view role) {
  return menuOpeningRoles().count(role) != 0;
}
bool isWindowChromeSubrole(std::string_view subrole) {
  return windowChromeSubroles().count(subrole) != 0;
}
bool isClickableRole(std::string_view role) {
  return clickableRoles().count(role) != 0;
}
bool isContentRole(std::string_view role) {
  return contentRoles().count(role) != 0;
}
bool isClippingRole(std::string_view role) {
  return clippingRoles().count(role) != 0;
}

// ── Attribute readers ──

namespace {

template <class T>
std::optional<T> typedAttribute(const AXElement& element, std::string_view attribute) {
  auto result = element.attribute(attribute);
  if (!result.ok()) return std::nullopt;
  if (const T* value = std::get_if<T>(&result.value())) return *value;
  return std::nullopt;
}

}  // namespace

std::optional<std::string> stringAttribute(const AXElement& element, std::string_view attribute) {
  return typedAttribute<std::string>(element, attribute);
}

std::optional<bool> boolAttribute(const AXElement& element, std::string_view attribute) {
  auto result = element.attribute(attribute);
  if (!result.ok()) return std::nullopt;
  if (const bool* flag = std::get_if<bool>(&result.value())) return *flag;
  if (const double* number = std::get_if<double>(&result.value())) return *number != 0;
  return std::nullopt;
}

std::optional<AXElement> elementAttribute(const AXElement& element, std::string_view attribute) {
  auto value = typedAttribute<AXElement>(element, attribute);
  if (!value || !*value) return std::nullopt;
  return value;
}

std::optional<std::vector<AXElement>> elementsAttribute(const AXElement& element,
                                                        std::string_view attribute) {
  return typedAttribute<std::vector<AXElement>>(element, attribute);
}

std::optional<std::vector<AXElement>> childrenOf(const AXElement& element) {
  return elementsAttribute(element, "AXChildren");
}

std::vector<std::string> actionNames(const AXElement& element) {
  auto result = element.actionNames();
  if (!result.ok()) return {};
  return result.value();
}

std::optional<HintTarget::Frame> frame(const AXElement& element) {
  auto position = typedAttribute<Point>(element, "AXPosition");
  if (!position) return std::nullopt;
  auto size = typedAttribute<platform::AXSize>(element, "AXSize");
  if (!size) return std::nullopt;
  // Another application's arithmetic is not ours to trust: a frame that is not finite is none.
  if (!std::isfinite(position->x) || !std::isfinite(position->y) || !std::isfinite(size->width) ||
      !std::isfinite(size->height))
    return std::nullopt;
  return HintTarget::Frame{position->x, position->y, size->width, size->height};
}

// ── Naming, visibility and search ──

std::optional<std::string> accessibleName(const AXElement& element, std::string_view role) {
  // Read lazily in order: the first non-empty candidate wins, so later ones need no message.
  auto name = [&]() -> std::optional<std::string> {
    if (auto found = nonEmpty(stringAttribute(element, "AXTitle"))) return found;
    if (auto found = nonEmpty(stringAttribute(element, "AXDescription"))) return found;
    if (auto found = nonEmpty(stringAttribute(element, "AXPlaceholderValue"))) return found;
    if (auto titleElement = elementAttribute(element, "AXTitleUIElement")) {
      titleElement->setMessagingTimeout(discovery::messagingTimeout);
      auto text = stringAttribute(*titleElement, "AXValue");
      if (!text) text = stringAttribute(*titleElement, "AXTitle");
      if (auto found = nonEmpty(text)) return found;
    }
    // A text element's value is what the user typed, not its name.
    if (!isTextRole(role)) {
      if (auto found = nonEmpty(stringAttribute(element, "AXValue"))) return found;
    }
    return nonEmpty(stringAttribute(element, "AXHelp"));
  }();
  if (!name) return std::nullopt;
  return discovery::cutName(*name, nameLimit);
}

bool isVisible(const HintTarget::Frame& rect, const HintTarget::Frame& clip,
               std::span<const platform::Rect> displays) {
  if (!(rect.width >= 4) || !(rect.height >= 4)) return false;
  const Point centre = rect.center();
  if (!clip.contains(centre)) return false;
  if (displays.empty()) return true;
  return std::any_of(displays.begin(), displays.end(),
                     [&](const platform::Rect& display) { return display.contains(centre); });
}

std::optional<AXElement> firstDescendant(const AXElement& element, std::string_view role, int depth,
                                         const std::function<bool()>& overdue) {
  std::vector<AXElement> level{element};
  for (int round = 0; round < depth; ++round) {
    std::vector<AXElement> next;
    for (const AXElement& parent : level) {
      if (overdue && overdue()) return std::nullopt;
      auto children = childrenOf(parent);
      if (!children) continue;
      for (const AXElement& child : *children) {
        child.setMessagingTimeout(discovery::messagingTimeout);
        next.push_back(child);
      }
    }
    for (const AXElement& candidate : next) {
      if (stringAttribute(candidate, "AXRole") == role) return candidate;
    }
    if (next.empty()) break;
    level = std::move(next);
  }
  return std::nullopt;
}

namespace {

// Depth first, so that a row's texts come in the order its columns show them.
void collectTexts(const AXElement& element, int depth, int maxDepth, std::size_t limit,
                  std::vector<std::string>& found) {
  if (depth > maxDepth) return;
  auto children = childrenOf(element);
  if (!children) return;
  for (const AXElement& child : *children) {
    if (found.size() >= limit) return;
    child.setMessagingTimeout(discovery::messagingTimeout);
    if (stringAttribute(child, "AXRole") == "AXStaticText") {
      auto text = stringAttribute(child, "AXValue");
      if (!text) text = stringAttribute(child, "AXTitle");
      if (auto name = nonEmpty(text)) {
        found.push_back(discovery::cutName(*name, nameLimit));
        continue;
      }
    }
    collectTexts(child, depth + 1, maxDepth, limit, found);
  }
}

}  // namespace

std::optional<std::string> title(const AXElement& element) {
  auto found = nonEmpty(stringAttribute(element, "AXTitle"));
  if (!found) return std::nullopt;
  return discovery::cutName(*found, nameLimit);
}

std::optional<std::string> firstText(const AXElement& element, int depth) {
  std::vector<std::string> found;
  collectTexts(element, depth, textDepth, 1, found);
  if (found.empty()) return std::nullopt;
  return std::move(found.front());
}

std::vector<std::string> texts(const AXElement& element, std::size_t limit, int maxDepth) {
  std::vector<std::string> found;
  collectTexts(element, 0, maxDepth, limit, found);
  return found;
}

std::optional<HintTarget::Frame> linkHitFrame(const AXElement& link,
                                              const HintTarget::Frame& linkFrame,
                                              std::span<const platform::Rect> displays) {
  constexpr std::size_t maxCollected = 12;
  constexpr int maxLevel = 2;
  struct Collected {
    bool heading;
    HintTarget::Frame frame;
  };
  std::vector<Collected> collected;
  std::vector<std::pair<AXElement, int>> stack;
  auto pushChildren = [&](const AXElement& parent, int level) {
    auto children = childrenOf(parent);
    if (!children) return;
    for (const AXElement& child : *children) {
      child.setMessagingTimeout(discovery::messagingTimeout);
      stack.emplace_back(child, level);
    }
  };
  pushChildren(link, 0);
  while (!stack.empty() && collected.size() < maxCollected) {
    auto [element, level] = std::move(stack.back());
    stack.pop_back();
    const auto role = stringAttribute(element, "AXRole");
    if (role == "AXHeading" || role == "AXStaticText" || role == "AXImage") {
      auto found = frame(element);
      if (found && found->width > 0 && found->height > 0) {
        collected.push_back({role == "AXHeading", *found});
        continue;
      }
    }
    if (level <= maxLevel) pushChildren(element, level + 1);
  }
  if (collected.size() < 2) return std::nullopt;

  const Point click = ClickPoint::of(linkFrame, displays, 1).point;
  for (const Collected& entry : collected) {
    const HintTarget::Frame grown{entry.frame.x - 2, entry.frame.y - 2, entry.frame.width + 4,
                                  entry.frame.height + 4};
    if (grown.contains(click)) return std::nullopt;
  }
  for (const Collected& entry : collected) {
    if (entry.heading) return entry.frame;
  }
  const Collected* largest = &collected.front();
  for (const Collected& entry : collected) {
    if (entry.frame.width * entry.frame.height > largest->frame.width * largest->frame.height)
      largest = &entry;
  }
  return largest->frame;
}

// ── Waking ──

bool wakeTree(DiscoveryServices& services, const AXElement& application, std::int32_t pid) {
  const bool isNew = awakened().insert(pid);
  // Written on every call: an application that restarted its accessibility support since the
  // last discovery needs asking again. For one met before, the write (a round trip through the
  // session bus) is made beside the read, which does not wait for it.
  if (!isNew) {
    services.executor.runDetached(
        [application] { application.setAttribute("AXManualAccessibility", true); });
    return false;
  }
  const bool written = application.setAttribute("AXManualAccessibility", true) == AXError::success;
  if (written) return true;
  if (embedsChromium(services, pid)) {
    application.setAttribute("AXEnhancedUserInterface", true);
    return true;
  }
  return false;
}

void meet(DiscoveryServices& services, std::int32_t pid) {
  platform::AccessibilityServices& accessibility = services.accessibility;
  services.executor.runDetached([&accessibility, pid] {
    const AXElement application = accessibility.application(pid);
    application.setMessagingTimeout(discovery::messagingTimeout);
    // Its role, the cheapest question, is read only once its bus name and toolkit are known.
    (void)application.attribute("AXRole");
  });
}

bool embedsChromium(DiscoveryServices& services, std::int32_t pid) {
  auto application = services.workspace.application(pid);
  if (!application || !application->bundlePath) return false;
  return services.workspace.fileExists(*application->bundlePath + "/" +
                                       std::string(platformIds::chromiumEmbeddedMarker));
}

bool markEnhanced(std::int32_t pid) {
  return enhanced().insert(pid);
}

}  // namespace AccessibilityTargets

}  // namespace tovrel
