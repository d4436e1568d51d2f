#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "core/PlatformTexts.hpp"
#include "system/EventClassifier.hpp"
#include "system/NavigationService.hpp"

// The side of the service that faces the desktop: every tapped or caught event, the tap itself,
// routing suspension while the user edits text here or an excluded application is in front, the
// secure-input hot keys, and the session's notifications.

namespace tovrel {

namespace {

constexpr std::string_view sleepReason = "Navigation stopped for sleep, lock, or a user switch.";
constexpr std::string_view displaysReason =
    "The display arrangement changed, so navigation stopped.";

bool isScreenshotTool(const std::optional<std::string>& bundleID) {
  if (!bundleID) return false;
  const auto& tools = platformIds::screenshotApplications;
  return std::find(tools.begin(), tools.end(), *bundleID) != tools.end();
}

bool worksOnAnApp(InteractionMode mode) {
  return mode == InteractionMode::click || mode == InteractionMode::scroll;
}

}  // namespace

bool NavigationService::handleTapEvent(platform::EventType type,
                                       const platform::InputEvent& event) {
  namespace ev = platform::eventType;
  updateEditingState();
  auto input = EventClassifier::input(type, event, now());
  if (!input) return false;

  // Where the user last clicked or scrolled in the application in front; scroll mode resumes there.
  if (type == ev::leftMouseDown || type == ev::rightMouseDown || type == ev::scrollWheel) {
    if (frontPID_) lastSpots_[*frontPID_] = {event.location, type == ev::scrollWheel};
  }

  const bool button = input->as<RouterInput::PointerButton>() != nullptr;
  const bool moved = input->as<RouterInput::ExternalPointerMoved>() != nullptr;
  if ((button || moved) && clickHider_.hidden) clickHider_.show();

  if (mode() == InteractionMode::cursor) {
    const bool drag = type == ev::leftMouseDragged || type == ev::rightMouseDragged ||
                      type == ev::otherMouseDragged;
    if (moved || drag) placeBadge(event.location);
    if (type == ev::leftMouseUp || type == ev::leftMouseDragged) {
      // Only the start and the end of a real drag change the badge; the drags between do not.
      const bool dragging = type == ev::leftMouseDragged;
      if (mouseDragging_ != dragging) {
        mouseDragging_ = dragging;
        refreshOverlays();
      }
    }
  }

  // A screenshot tool must find the pointer where the user left it.
  bool outline = false;
  if (mode() == InteractionMode::scroll && !screenshotting_ && (moved || button)) {
    dot_.show(event.location);
    scrollParked_.reset();
    outline = true;
  }

  // One observed change of the router; a real move reports where the pointer went.
  const RouterDecision decision =
      routerHandle(std::move(*input), moved ? std::optional(event.location) : std::nullopt);
  applyEffects(decision.effects);
  if (outline) showScrollOutline(false, false);
  return decision.consumed;
}

void NavigationService::installTapIfPossible() {
  if (tap_ && tap_->isInstalled()) return;
  Weak self = weak();
  tap_ = std::make_unique<EventTap>(
      platform_.events, platform_.clock,
      [self](platform::EventType type, const platform::InputEvent& event) {
        auto service = self.lock();
        return service ? (*service)->handleTapEvent(type, event) : false;
      },
      [self] {
        if (auto service = self.lock()) (*service)->forceOff(std::string(platformText::tapPaused));
      });
  tap_->setKeyOwnership(keyOwnershipAnswer());
  // A new tap knows no keys yet: hand it the ones the current mode must be able to swallow.
  interception_.reset();
  syncKeyInterception();
  syncTapEventMask();
  if (tap_->install()) {
    setObserved(tapInstalled_, true, Property::tapInstalled);
    record("Keyboard access ready");
  } else {
    tap_.reset();
    interception_.reset();
    setObserved(tapInstalled_, false, Property::tapInstalled);
  }
}

void NavigationService::observe(platform::NotificationCenter center,
                                platform::SystemNotification notification,
                                std::function<void(const platform::NotificationInfo&)> handler) {
  if (auto token = platform_.systemEvents.observe(center, notification, std::move(handler)))
    observers_.push_back(std::move(token));
}

void NavigationService::observeSystem() {
  if (!observers_.empty()) return;
  using platform::NotificationCenter;
  using platform::NotificationInfo;
  using platform::SystemNotification;
  // Each handler holds the service weakly and does nothing once it is gone.
  const auto held = [self = weak()](auto body) {
    return [self, body](const NotificationInfo& info) {
      if (auto service = self.lock()) body(**service, info);
    };
  };
  const auto asleep = held(
      [](NavigationService& s, const NotificationInfo&) { s.forceOff(std::string(sleepReason)); });

  observe(NotificationCenter::workspace, SystemNotification::didActivateApplication,
          held([](NavigationService& s, const NotificationInfo& info) {
            s.frontmostChanged(info.pid, info.bundleIdentifier, info.localizedName);
          }));
  observe(NotificationCenter::workspace, SystemNotification::willSleep, asleep);
  observe(NotificationCenter::workspace, SystemNotification::screensDidSleep, asleep);
  observe(NotificationCenter::workspace, SystemNotification::sessionDidResignActive, asleep);
  observe(NotificationCenter::workspace, SystemNotification::didTerminateApplication,
          held([](NavigationService& s, const NotificationInfo& info) {
            s.applicationQuit(info.pid);
          }));
  observe(NotificationCenter::application, SystemNotification::didChangeScreenParameters,
          held([](NavigationService& s, const NotificationInfo&) {
            if (s.mode() != InteractionMode::off) s.forceOff(std::string(displaysReason));
          }));
  observe(NotificationCenter::application, SystemNotification::didBecomeActive,
          held([](NavigationService& s, const NotificationInfo&) {
            s.installTapIfPossible();
            s.setObserved(
                s.readiness_,
                Permissions::report(s.platform_.access, s.platform_.events, s.platform_.hotKeys),
                Property::readiness);
          }));
}

void NavigationService::frontmostChanged(std::optional<std::int32_t> pid,
                                         std::optional<std::string> bundleID,
                                         std::optional<std::string> name) {
  if (!pid) return;
  frontPID_ = pid;
  // Which keys are Moving's whatever the answer depends on what is in front, and so does whether
  // a field of this program's own has the typing.
  updateEditingState();
  syncKeyInterception();
  screenshotting_ = isScreenshotTool(bundleID);
  if (screenshotting_) return;

  if (*pid == platform_.workspace.selfPid()) {
    // Coming here to change a setting ends a mode that works on another application.
    if (worksOnAnApp(mode()) && targetPID_ && *targetPID_ != *pid)
      route(RouterInput::FocusChanged{});
    return;
  }

  if (lastExternalPID_ != pid) AccessibilityTargets::meet(discovery_, *pid);
  lastExternalPID_ = pid;
  frontBundleID_ = std::move(bundleID);
  frontName_ = std::move(name);
  if (worksOnAnApp(mode()) && (!targetPID_ || *targetPID_ != *pid))
    route(RouterInput::FocusChanged{});
  if (mode() == InteractionMode::cursor && !router_.routingSuspended()) {
    // Lets go of whatever the cursor keys held while the other application was in front.
    route(RouterInput::SuspendRouting{true});
    route(RouterInput::SuspendRouting{false});
  }
  updateExclusion();
}

void NavigationService::applicationQuit(std::optional<std::int32_t> pid) {
  if (!pid) return;
  // The name stays: the exclusion rule still describes what was last in front.
  if (lastExternalPID_ == pid) lastExternalPID_.reset();
  lastSpots_.erase(*pid);
  if (worksOnAnApp(mode()) && targetPID_ == pid) route(RouterInput::FocusChanged{});
}

void NavigationService::updateExclusion() {
  std::optional<std::string> excluded;
  if (frontBundleID_) {
    const auto& ids = config().excludedBundleIDs;
    if (std::find(ids.begin(), ids.end(), *frontBundleID_) != ids.end())
      excluded = frontName_ ? *frontName_ : *frontBundleID_;
  }
  if (excluded == excludedAppInFront_) return;
  setObserved(excludedAppInFront_, excluded, Property::excludedAppInFront);
  if (excluded && mode() != InteractionMode::off)
    forceOff("Tovrel is turned off in " + *excluded + ".");
  syncSuspension();
}

void NavigationService::syncSuspension() {
  const bool suspended = editingSettings_ || excludedAppInFront_.has_value();
  if (suspended != router_.routingSuspended()) route(RouterInput::SuspendRouting{suspended});
}

void NavigationService::updateEditingState() {
  bool editing = false;
  bool textOnly = false;
  auto& application = platform_.application;
  // In click and scroll mode the keys belong to the mode, whatever has the focus here. The
  // toolkit goes on calling this program active for a moment after another window took the focus
  // (it waits to see whether the focus comes back); the window in front says at once.
  const bool selfInFront = !frontPID_ || *frontPID_ == platform_.workspace.selfPid();
  if (selfInFront && application.isActive() && !worksOnAnApp(mode()) &&
      application.hasKeyWindow()) {
    if (auto responder = application.firstResponder()) {
      editing = responder->isText || responder->suspendsNavigation;
      textOnly = responder->isText && !responder->suspendsNavigation;
    }
  }
  if (textOnly != router_.entriesAllowedWhileSuspended()) {
    // This input never yields effects, but the taps in use follow it.
    routerHandle(RouterInput::AllowEntriesWhileSuspended{textOnly});
    syncKeyInterception();
  }
  if (editing != editingSettings_) {
    setObserved(editingSettings_, editing, Property::editingSettings);
    syncSuspension();
  }
}

void NavigationService::syncSecureHotKey() {
  if (!platform_.hotKeys.isSecureEventInputEnabled() || mode() != InteractionMode::off) {
    if (secureHotKeys_.hasHotKeys()) secureHotKeys_.unregisterAll();
    return;
  }
  if (secureHotKeys_.hasHotKeys()) return;
  if (!secureHotKeys_.isHandlerInstalled()) secureHotKeys_.installHandler();

  struct Entry {
    std::uint32_t id;
    InteractionMode mode;
    Gesture gesture;
  };
  const TovrelConfig& settings = config();
  const std::array<Entry, 3> entries = {{
      {1, InteractionMode::click, settings.clickEntry.gesture},
      {2, InteractionMode::scroll, settings.scrollEntry.gesture},
      {3, InteractionMode::cursor, settings.cursorEntry.gesture},
  }};
  constexpr Modifiers known = {Modifiers::command, Modifiers::shift, Modifiers::option,
                               Modifiers::control};
  for (const Entry& entry : entries) {
    // A hot key needs a chord: a lone modifier or a bare key cannot be registered safely.
    if (entry.gesture.isModifierTap() || (entry.gesture.modifiers() & known).isEmpty()) continue;
    secureHotKeys_.registerHotKey(entry.id, entry.gesture.keyCode(), entry.gesture.modifiers(),
                                  [self = weak(), mode = entry.mode] {
                                    if (auto service = self.lock()) (*service)->setMode(mode);
                                  });
  }
}

}  // namespace tovrel
