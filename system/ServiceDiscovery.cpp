#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/PlatformTexts.hpp"
#include "system/DisplayGeometry.hpp"
#include "system/NavigationService.hpp"

// The click-mode half of the service: the discovery the router asks for, its numbered snapshots,
// and carrying out the activation of the target the user chose.

namespace tovrel {

namespace {

// A repeated discovery in the same session waits this long, so that the application can finish
// what the last activation or scroll started before its tree is read again.
constexpr double repeatDelay = 0.22;
constexpr double emptyRetryDelay = 0.4;
constexpr double asleepRetryDelays[] = {0.3, 1.2};
constexpr double hoverReentryDelay = 0.25;
// Between the two clicks of a double click: far below any desktop's double-click time.
constexpr double doubleClickGap = 0.04;
// Snapshots older than the newest three are forgotten.
constexpr std::int64_t keptSnapshots = 3;

const std::string targetChanged = "This target changed. Refreshing…";

}  // namespace

void NavigationService::scheduleDiscovery(std::int64_t generation) {
  if (!targetPID_) return;
  const std::int32_t pid = *targetPID_;
  if (discoveryTask_) discoveryTask_->cancelled = true;
  discoveryTask_.reset();

  const ClickSession* session = router_.click();
  const bool delay = session && session->hasSnapshot();

  // The progress line goes where the labels are: on the screen of the first target while the
  // application still runs, else on the main screen.
  std::optional<platform::Screen> screen;
  if (session && !session->targets().empty() && platform_.workspace.application(pid)) {
    const Rect& first = session->targets().front().frame;
    screen = ScreenSpace::screen(platform_.overlays, Point{first.x, first.y});
  } else {
    const auto screens = platform_.overlays.screens();
    if (!screens.empty()) screen = screens.front();
  }

  auto task = std::make_shared<Task>();
  discoveryTask_ = task;
  const AccessibilityTargets::Extras extras = discoveryExtras(config());
  auto run = [weak = weak(), task, pid, extras, generation, screen] {
    if (task->cancelled) return;
    auto alive = weak.lock();
    if (!alive) return;
    NavigationService& self = **alive;
    // The walk starts first: showing the line costs the main thread a window, and the walk runs
    // beside it.
    AccessibilityTargets::discover(self.discovery_, pid, discoveryBudget, extras, true,
                                   [weak, task, generation](DiscoveryResult result) {
                                     auto alive = weak.lock();
                                     if (!alive || task->cancelled) return;
                                     (**alive).publish(std::move(result), generation);
                                   });
    if (screen) self.scanBar_.start(*screen, discoveryBudget.seconds);
  };
  // The task starts on a later turn of the main loop, like any other piece of main-thread work
  // the service starts, and finds out then whether it is still wanted.
  platform_.scheduler.after(delay ? repeatDelay : 0, std::move(run));
}

void NavigationService::publish(DiscoveryResult result, std::int64_t generation) {
  scanBar_.finish();
  if (router_.generation() != generation || router_.mode() != InteractionMode::click) return;

  const std::int64_t snapshot = ++snapshotCounter_;
  elementsBySnapshot_[snapshot] = std::move(result.elements);
  std::erase_if(elementsBySnapshot_,
                [&](const auto& entry) { return entry.first <= snapshot - keptSnapshots; });

  const int count = static_cast<int>(result.targets.size());
  setObserved(lastDiscovery_,
              std::optional(DiscoveryStats{count, result.elapsed * 1000, result.visitedNodes,
                                           result.truncated, result.scope, result.contentTargets}),
              Property::lastDiscovery);

  std::optional<std::string> text;
  if (result.contentTargets == 0 && result.toolkit == "Chromium") {
    text = std::string(platformText::chromiumHiddenBeforeSwitch)
               .append(platformText::chromiumAccessibilitySwitch)
               .append(platformText::chromiumHiddenBeforeEnvironment)
               .append(platformText::chromiumAccessibilityEnvironment)
               .append(platformText::chromiumHiddenBeforeGesture)
               .append(config().cursorEntry.gesture.displayName())
               .append(").");
  } else if (result.contentTargets > 0) {
    if (result.truncated)
      text = "Showing the first " + std::to_string(count) +
             " targets; this window is larger than Tovrel reads at once.";
  } else if (!result.foundWindow) {
    if (count == 0) text = "This app does not expose its window to Accessibility. Use Moving here.";
  } else if (count == 0 || result.windowCanBeFullScreen) {
    text = "No keyboard targets found in this window. Use Moving here (" +
           config().cursorEntry.gesture.displayName() + ").";
  }
  setMessage(std::move(text));

  record("Found " + std::to_string(count) + " targets in " +
         std::to_string(static_cast<long long>(result.elapsed * 1000)) + " ms");

  const bool emptyWindow = result.foundWindow && result.contentTargets == 0;
  const bool asleep = result.treeWasAsleep;
  route(RouterInput::TargetsDiscovered{generation, snapshot, std::move(result.targets)});

  // An empty window is often one whose tree is still being built: one more look per generation.
  if (emptyWindow && emptyRetryGeneration_ != generation) {
    setObserved(emptyRetryGeneration_, std::optional(generation), Property::emptyRetryGeneration);
    rescheduleDiscovery(emptyRetryDelay, generation);
  }
  if (asleep) {
    for (const double delay : asleepRetryDelays)
      rescheduleDiscovery(delay, generation);
  }
}

void NavigationService::rescheduleDiscovery(double delay, std::int64_t generation) {
  platform_.scheduler.after(delay, [weak = weak(), generation] {
    auto alive = weak.lock();
    if (!alive) return;
    NavigationService& self = **alive;
    if (self.router_.generation() != generation || self.router_.mode() != InteractionMode::click)
      return;
    self.scheduleDiscovery(generation);
  });
}

void NavigationService::activate(std::size_t index, std::int64_t snapshot, std::int64_t generation,
                                 TargetAction action) {
  if (router_.generation() != generation || router_.mode() != InteractionMode::click) return;

  const auto stale = [&] {
    setMessage(targetChanged);
    setObserved(lastActivation_, std::optional(ActivationRecord{"stale snapshot", false}),
                Property::lastActivation);
    record("Activation: stale snapshot");
    finishActivation(generation, false);
  };

  const auto found = elementsBySnapshot_.find(snapshot);
  if (found == elementsBySnapshot_.end() || index >= found->second.size()) return stale();
  // A copy: finishing routes effects, and a stop forgets every snapshot.
  const AXElementBox box = found->second[index];

  if (platform_.workspace.frontmostApplicationPid() != targetPID_ &&
      AccessibilityTargets::keyboardPanelApp(discovery_) != targetPID_)
    return stale();

  const AccessibilityTargets::Revalidation revalidation = AccessibilityTargets::revalidate(box);

  if (box.pressAction == AXElementBox::hover && revalidation.isValid()) {
    const Point point =
        ClickPoint::of(revalidation.frame(), DisplayGeometry::activeBounds(platform_.displays),
                       scale(config().appearance.hintSize))
            .point;
    postMove(point);
    setObserved(lastActivation_, std::optional(ActivationRecord{"hovered", true}),
                Property::lastActivation);
    record("Activation: hovered");
    clickHider_.hide();
    finishActivation(generation, true);
    // Hovering opened something (a menu, a tooltip) and click mode may have ended with it: come
    // back for the targets it shows.
    platform_.scheduler.after(hoverReentryDelay, [weak = weak()] {
      auto alive = weak.lock();
      if (alive && (**alive).router_.mode() == InteractionMode::off)
        (**alive).setMode(InteractionMode::click);
    });
    return;
  }

  std::optional<AccessibilityTargets::SemanticOutcome> outcome;
  if (revalidation.isValid()) outcome = AccessibilityTargets::performSemantic(box, action);
  complete(revalidation, outcome, action, &box, generation);
}

void NavigationService::complete(
    const AccessibilityTargets::Revalidation& revalidation,
    const std::optional<AccessibilityTargets::SemanticOutcome>& outcome, TargetAction action,
    const AXElementBox* box, std::int64_t finish) {
  using Kind = AccessibilityTargets::SemanticOutcome::Kind;
  const auto conclude = [&](std::string word, bool usedPointer, bool succeeded) {
    setObserved(lastActivation_, std::optional(ActivationRecord{word, usedPointer}),
                Property::lastActivation);
    record("Activation: " + word);
    if (succeeded) clickHider_.hide();
    finishActivation(finish, succeeded);
  };

  if (!revalidation.isValid() || !outcome) {
    setMessage(targetChanged);
    return conclude("target changed", false, false);
  }

  const HintTarget::Frame pointerFrame =
      box && box->clickFrame ? *box->clickFrame : revalidation.frame();
  // An item that only a click presses is clicked where a person would click it, and whatever the
  // fall-back setting says: for it the click is the press, not a stand-in for one.
  const bool itemClick = box && box->pressAction == AXElementBox::click;
  Point point =
      itemClick ? pointerFrame.center()
                : ClickPoint::of(pointerFrame, DisplayGeometry::activeBounds(platform_.displays),
                                 scale(config().appearance.hintSize))
                      .point;
  if (outcome->kind() == Kind::unsupported && box)
    point = AccessibilityTargets::reachablePoint(discovery_, *box, point);
  if (targetPID_) lastSpots_[*targetPID_] = Spot{point, false};

  using namespace platform::eventType;

  switch (outcome->kind()) {
    case Kind::pressed:
      return conclude("pressed", false, true);
    case Kind::focused:
      return conclude("focused", false, true);
    case Kind::unsupported:
      break;
  }

  switch (action) {
    case TargetAction::press:
      if (!config().clickPointerFallback && !itemClick) {
        setMessage("This control does not accept a keyboard press (" + outcome->reason() +
                   "). Try Moving.");
        return conclude("press unsupported", false, false);
      }
      if (postMove(point)) {
        postButton(point, leftMouseDown, 0, 1);
        postButton(point, leftMouseUp, 0, 1);
      }
      return conclude("pointer click", true, true);
    case TargetAction::rightClick:
      if (postMove(point)) {
        postButton(point, rightMouseDown, 1, 1);
        postButton(point, rightMouseUp, 1, 1);
      }
      return conclude("pointer right click", true, true);
    case TargetAction::doubleClick:
      if (postMove(point)) {
        postButton(point, leftMouseDown, 0, 1);
        postButton(point, leftMouseUp, 0, 1);
        // The second click a moment later, as a hand makes it: a file manager busy with what the
        // first one did (selecting the row) can miss a second that follows at once.
        platform_.scheduler.after(doubleClickGap, [weak = weak(), point] {
          if (auto alive = weak.lock()) {
            (**alive).postButton(point, leftMouseDown, 0, 2);
            (**alive).postButton(point, leftMouseUp, 0, 2);
          }
        });
      }
      return conclude("pointer double click", true, true);
    case TargetAction::movePointer:
      postMove(point);
      return conclude("pointer moved", true, true);
  }
}

void NavigationService::postButton(Point point, platform::EventType type, std::int64_t number,
                                   std::int64_t clickState) {
  if (!output_.source) return;
  platform::InputEvent event;
  event.type = type;
  event.location = point;
  event.buttonNumber = number;
  event.clickState = clickState;
  event.sourceUserData = CursorOutput::marker;
  output_.source->post(event);
}

void NavigationService::finishActivation(std::int64_t generation, bool succeeded) {
  route(RouterInput::ActivationFinished{generation, succeeded});
}

}  // namespace tovrel
