// The discovery driver: the window walk plus what click mode labels outside the front window
// (notification banners, the menu bar, status items, the dock), with covered targets dropped.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/PlatformTexts.hpp"
#include "core/StageTrace.hpp"
#include "system/AccessibilityTargets.hpp"
#include "system/DiscoveryText.hpp"
#include "system/DisplayGeometry.hpp"

namespace tovrel {

namespace AccessibilityTargets {

namespace {

using platform::AXElement;
using platform::Rect;

// Other applications may answer slowly or not at all, so every element gets a short time-out
// before it is read.
constexpr double walkTimeout = 0.25;  // the menu bar, the dock and every bar item
constexpr double notificationTimeout = 0.15;
constexpr double statusTimeout = 0.08;
constexpr double keyboardPanelTimeout = 0.2;

constexpr int maxNotificationElements = 300;
constexpr int maxNotificationLevel = 7;
constexpr double minimumSide = 4;
constexpr double closeButtonSide = 20;
constexpr double closeButtonInset = 8;

bool onDisplay(Point point, std::span<const Rect> displays) {
  if (displays.empty()) return true;
  return std::ranges::any_of(displays,
                             [&](const Rect& display) { return display.contains(point); });
}

// Large enough to hit, and shown on some display (any when the list is empty).
bool showsOnDisplay(const HintTarget::Frame& frame, std::span<const Rect> displays) {
  return frame.width >= minimumSide && frame.height >= minimumSide &&
         onDisplay(frame.center(), displays);
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

template <std::size_t N>
std::optional<std::int32_t> firstRunning(const std::vector<platform::RunningApplication>& apps,
                                         const std::array<std::string_view, N>& identifiers) {
  for (const auto& app : apps) {
    if (std::ranges::find(identifiers, app.bundleIdentifier) != identifiers.end()) return app.pid;
  }
  return std::nullopt;
}

std::vector<AXElement> childrenOrNone(const AXElement& element) {
  return childrenOf(element).value_or(std::vector<AXElement>{});
}

// The close action of a banner: the system names it "Close" (with the banner's text on the next
// line) or "Clear".
std::optional<std::string> closeAction(const std::vector<std::string>& actions) {
  for (const auto& action : actions) {
    if (startsWith(action, "Name:Close\n") || startsWith(action, "Name:Clear")) return action;
  }
  return std::nullopt;
}

AXElementBox box(const AXElement& element, const std::string& role, const HintTarget::Frame& frame,
                 std::vector<std::string> actions,
                 std::optional<std::string> pressAction = std::nullopt) {
  return AXElementBox{element,     role, frame, std::move(actions), std::move(pressAction),
                      std::nullopt};
}

// One slot per status-item application; each worker writes only its own.
class UncheckedResults {
 public:
  explicit UncheckedResults(std::size_t count) : slots_(count) {}

  void set(std::size_t index, std::vector<TargetPair> pairs) {
    std::lock_guard lock(lock_);
    slots_.at(index) = std::move(pairs);
  }

  std::vector<TargetPair> joined() {
    std::lock_guard lock(lock_);
    std::vector<TargetPair> all;
    for (auto& slot : slots_) {
      for (auto& pair : slot)
        all.push_back(std::move(pair));
    }
    return all;
  }

 private:
  std::vector<std::vector<TargetPair>> slots_;
  std::mutex lock_;
};

// What the discovery does besides the window, decided while the window is walked.
struct Plan {
  bool menuBar = false;
  std::optional<std::int32_t> dockPid;
  std::vector<StatusApp> statusApps;
  std::optional<std::int32_t> notificationPid;
};

Plan prepare(DiscoveryServices& services, const Extras& extras) {
  Plan plan;
  plan.menuBar = extras.menuBar && !menuBarAutoHides(services);
  const auto apps = services.workspace.runningApplications();
  if (extras.dock) {
    const auto hides =
        services.workspace.preferenceFlag(platformIds::dockDomain, platformIds::dockAutoHideKey);
    if (hides != true) plan.dockPid = firstRunning(apps, platformIds::dockApplications);
  }
  if (plan.menuBar) {
    const std::int32_t self = services.workspace.selfPid();
    for (const auto& app : apps) {
      if (app.pid != self) plan.statusApps.push_back({app.pid, app.localizedName});
    }
  }
  plan.notificationPid = firstRunning(apps, platformIds::notificationCenterApplications);
  return plan;
}

bool isFullScreen(const DiscoveryResult& result, std::span<const Rect> displays) {
  if (!result.windowCanBeFullScreen || !result.windowFrame) return false;
  return std::ranges::find(displays, *result.windowFrame) != displays.end();
}

// The application's own menu bar, when it has one outside its windows.
std::vector<TargetPair> menuBarTargets(DiscoveryServices& services, std::int32_t pid,
                                       std::span<const Rect> displays) {
  const AXElement application = services.accessibility.application(pid);
  application.setMessagingTimeout(walkTimeout);
  const auto menuBar = elementAttribute(application, "AXMenuBar");
  if (!menuBar) return {};
  menuBar->setMessagingTimeout(walkTimeout);
  return barItems(childrenOrNone(*menuBar), std::nullopt, displays);
}

// With no `prepared` plan, the plan is made beside the window's walk: what comes after the window
// (the running applications, read from the window system and /proc) is needed only then.
DiscoveryResult body(DiscoveryServices& services, std::int32_t pid, const Budget& budget,
                     bool checkCovering, const Extras& wanted, std::optional<Plan> prepared) {
  const double start = services.clock.uptime();
  const std::vector<Rect> displays = DisplayGeometry::activeBounds(services.displays);
  DiscoveryResult result;
  if (prepared) {
    result = discoverSynchronously(services, pid, budget, displays);
  } else {
    services.executor.parallelFor(2, [&](std::size_t index) {
      if (index == 0)
        result = discoverSynchronously(services, pid, budget, displays);
      else
        prepared = prepare(services, wanted);
    });
  }
  const Plan plan = std::move(prepared).value_or(Plan{});

  std::vector<TargetPair> notes;
  if (plan.notificationPid) {
    stageTrace::Scope scope(stageTrace::Stage::extras);
    notes = notificationTargets(services, *plan.notificationPid, displays);
  }
  if (checkCovering) {
    stageTrace::Scope scope(stageTrace::Stage::covering);
    std::vector<HintTarget::Frame> covering;
    for (const auto& note : notes)
      covering.push_back(note.first.frame);
    for (const auto& window : windowsAbove(services, pid))
      covering.push_back(window);
    result.removeCovered(covering);
  }
  result.append(std::move(notes));

  // A full-screen window hides the menu bar and the dock.
  if (isFullScreen(result, displays)) return result;

  stageTrace::Scope scope(stageTrace::Stage::extras);
  std::vector<TargetPair> extras;
  auto add = [&extras](std::vector<TargetPair> pairs) {
    for (auto& pair : pairs)
      extras.push_back(std::move(pair));
  };
  if (plan.menuBar) {
    add(menuBarTargets(services, pid, displays));
    add(statusTargets(services, plan.statusApps, displays));
  }
  if (plan.dockPid) add(dockTargets(services, *plan.dockPid, displays));
  result.append(std::move(extras));

  result.elapsed = services.clock.uptime() - start;
  return result;
}

}  // namespace

DiscoveryResult discoverNow(DiscoveryServices& services, std::int32_t pid, const Budget& budget,
                            const Extras& extras, bool checkCovering) {
  // This program's own tree can only be read on its main thread.
  if (pid == services.workspace.selfPid()) {
    // The main thread is kept for what only it can read.
    const Plan plan = prepare(services, extras);
    DiscoveryResult result;
    services.executor.runOnMain(
        [&] { result = body(services, pid, budget, checkCovering, extras, plan); });
    return result;
  }
  return body(services, pid, budget, checkCovering, extras, std::nullopt);
}

void discover(DiscoveryServices& services, std::int32_t pid, const Budget& budget,
              const Extras& extras, bool checkCovering,
              std::function<void(DiscoveryResult)> completion) {
  DiscoveryServices shared = services;
  services.executor.runDetached([shared, pid, budget, extras, checkCovering,
                                 completion = std::move(completion)]() mutable {
    auto result =
        std::make_shared<DiscoveryResult>(discoverNow(shared, pid, budget, extras, checkCovering));
    shared.executor.postToMain(
        [completion = std::move(completion), result] { completion(std::move(*result)); });
  });
}

std::vector<TargetPair> notificationTargets(DiscoveryServices& services, std::int32_t pid,
                                            std::span<const Rect> displays) {
  const AXElement application = services.accessibility.application(pid);
  application.setMessagingTimeout(notificationTimeout);
  std::vector<std::pair<AXElement, int>> stack;
  for (auto& window :
       elementsAttribute(application, "AXWindows").value_or(std::vector<AXElement>{}))
    stack.emplace_back(std::move(window), 0);

  std::vector<TargetPair> pairs;
  int handled = 0;
  while (!stack.empty() && handled < maxNotificationElements) {
    auto [element, level] = std::move(stack.back());
    stack.pop_back();
    ++handled;
    element.setMessagingTimeout(notificationTimeout);

    const auto role = stringAttribute(element, "AXRole");
    const auto subrole = stringAttribute(element, "AXSubrole");
    const auto frame = AccessibilityTargets::frame(element);
    const bool shown = frame && showsOnDisplay(*frame, displays);

    if (shown && subrole && startsWith(*subrole, "AXNotificationCenter")) {
      const auto actions = actionNames(element);
      if (discovery::hasAction(actions, "AXPress")) {
        const std::string bannerRole = role.value_or("AXGroup");
        // accessibleName never gives an empty name; an empty text stands for none.
        const std::string named = accessibleName(element, bannerRole).value_or(std::string());
        const std::string bannerName = named.empty() ? "Notification" : named;
        pairs.push_back({HintTarget{bannerName, bannerRole, *frame},
                         box(element, bannerRole, *frame, actions)});
        if (const auto close = closeAction(actions)) {
          const HintTarget::Frame button{frame->x - closeButtonInset, frame->y - closeButtonInset,
                                         closeButtonSide, closeButtonSide};
          pairs.push_back(
              {HintTarget{"Close " + (named.empty() ? std::string("notification") : named),
                          "AXButton", button},
               box(element, bannerRole, *frame, actions, *close)});
        }
        continue;
      }
    }
    if (shown && role == "AXButton") {
      const auto actions = actionNames(element);
      if (discovery::hasAction(actions, "AXPress")) {
        if (auto name = accessibleName(element, "AXButton"); name && !name->empty()) {
          pairs.push_back(
              {HintTarget{*name, "AXButton", *frame}, box(element, "AXButton", *frame, actions)});
        }
      }
      continue;
    }
    if (level > maxNotificationLevel) continue;
    for (auto& child : childrenOrNone(element))
      stack.emplace_back(std::move(child), level + 1);
  }
  return pairs;
}

std::vector<HintTarget::Frame> windowsAbove(DiscoveryServices& services, std::int32_t pid) {
  const std::int32_t self = services.workspace.selfPid();
  std::vector<HintTarget::Frame> above;
  for (const auto& window : services.workspace.onScreenWindows()) {
    if (window.layer && *window.layer != 0) continue;
    if (window.ownerPid == pid) return above;
    if (window.ownerPid == self || window.alpha <= 0.1) continue;
    if (!window.bounds) continue;
    const Rect& bounds = *window.bounds;
    if (std::isfinite(bounds.x) && std::isfinite(bounds.y) && std::isfinite(bounds.width) &&
        std::isfinite(bounds.height)) {
      above.push_back(bounds);
    }
  }
  // The target shows no window, so nothing of it can be covered.
  return {};
}

std::vector<TargetPair> barItems(const std::vector<AXElement>& elements,
                                 const std::optional<std::string>& fallbackName,
                                 std::span<const Rect> displays) {
  std::vector<TargetPair> pairs;
  for (const auto& element : elements) {
    element.setMessagingTimeout(walkTimeout);
    const auto role = stringAttribute(element, "AXRole");
    if (!role || !isActionableRole(*role)) continue;
    const auto frame = AccessibilityTargets::frame(element);
    if (!frame || !showsOnDisplay(*frame, displays)) continue;
    if (boolAttribute(element, "AXEnabled") == false) continue;
    auto name = accessibleName(element, *role);
    if (!name || name->empty()) name = fallbackName;
    if (!name || name->empty()) continue;
    pairs.push_back(
        {HintTarget{*name, *role, *frame}, box(element, *role, *frame, actionNames(element))});
  }
  return pairs;
}

std::vector<TargetPair> statusTargets(DiscoveryServices& services,
                                      const std::vector<StatusApp>& apps,
                                      std::span<const Rect> displays) {
  UncheckedResults results(apps.size());
  services.executor.parallelFor(apps.size(), [&](std::size_t index) {
    const StatusApp& app = apps[index];
    const AXElement application = services.accessibility.application(app.pid);
    application.setMessagingTimeout(statusTimeout);
    const auto bar = elementAttribute(application, "AXExtrasMenuBar");
    if (!bar) return;
    bar->setMessagingTimeout(statusTimeout);
    std::vector<TargetPair> kept;
    for (auto& pair : barItems(childrenOrNone(*bar), app.name, displays)) {
      const HintTarget::Frame& frame = pair.first.frame;
      const Point topCentre{frame.x + frame.width / 2, frame.y};
      // Unlike the other extras, an empty display list keeps nothing here.
      if (std::ranges::any_of(displays, [&](const Rect& d) { return d.contains(topCentre); }))
        kept.push_back(std::move(pair));
    }
    results.set(index, std::move(kept));
  });
  return results.joined();
}

std::vector<TargetPair> dockTargets(DiscoveryServices& services, std::int32_t pid,
                                    std::span<const Rect> displays) {
  const AXElement application = services.accessibility.application(pid);
  application.setMessagingTimeout(walkTimeout);
  std::vector<TargetPair> pairs;
  for (const auto& child : childrenOrNone(application)) {
    child.setMessagingTimeout(walkTimeout);
    if (stringAttribute(child, "AXRole") != "AXList") continue;
    std::vector<AXElement> items;
    for (auto& item : childrenOrNone(child)) {
      item.setMessagingTimeout(walkTimeout);
      if (stringAttribute(item, "AXSubrole") != "AXSeparatorDockItem") items.push_back(item);
    }
    for (auto& pair : barItems(items, std::nullopt, displays))
      pairs.push_back(std::move(pair));
  }
  return pairs;
}

bool menuBarAutoHides(DiscoveryServices& services) {
  return services.workspace.preferenceFlag("", platformIds::menuBarAutoHideKey).value_or(false);
}

std::optional<std::int32_t> keyboardPanelApp(DiscoveryServices& services) {
  const AXElement systemWide = services.accessibility.systemWide();
  systemWide.setMessagingTimeout(keyboardPanelTimeout);
  const auto focused = elementAttribute(systemWide, "AXFocusedApplication");
  if (!focused) return std::nullopt;
  const auto pid = focused->pid();
  if (!pid || *pid == services.workspace.selfPid()) return std::nullopt;
  if (services.workspace.frontmostApplicationPid() == pid) return std::nullopt;
  focused->setMessagingTimeout(keyboardPanelTimeout);
  if (!elementAttribute(*focused, "AXFocusedWindow")) return std::nullopt;
  return pid;
}

}  // namespace AccessibilityTargets

}  // namespace tovrel
