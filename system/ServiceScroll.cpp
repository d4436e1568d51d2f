#include "system/NavigationService.hpp"

#include <memory>
#include <optional>
#include <utility>

// Scroll mode's side of the service: finding the front window and its scroll areas, parking the
// pointer where it hovers over nothing, following areas that moved after scrolling, and the
// numbered outlines. Every search runs away from the main thread; each answer lands there and
// counts only while its task is the current one and the router is where the task left it.

namespace tovrel {

namespace {

// Scrolling comes in bursts: look again once one has settled.
constexpr double areaRefreshDelay = 0.3;

}  // namespace

void NavigationService::findScrollWindow(std::int64_t generation) {
  if (!targetPID_) return;
  if (scrollTask_) scrollTask_->cancelled = true;
  const std::int32_t pid = *targetPID_;
  std::optional<Spot> spot;
  if (auto found = lastSpots_.find(pid); found != lastSpots_.end()) spot = found->second;
  auto task = std::make_shared<Task>();
  scrollTask_ = task;

  // The service, while it exists and this search is still wanted; main thread only.
  auto current = [weak = weak(), task, &clock = platform_.clock]() -> NavigationService* {
    auto alive = weak.lock();
    if (!alive || task->cancelled || !clock.isMainThread()) return nullptr;
    return *alive;
  };

  // The second look: the areas of the window, searched in full, which may have changed since the
  // last time scroll mode saw this application.
  auto areasFound = [current, task, pid, generation](std::optional<HintTarget::Frame> window,
                                                     std::vector<HintTarget::Frame> cached,
                                                     std::vector<HintTarget::Frame> fresh) {
    NavigationService* s = current();
    if (!s) return;
    if (s->scrollTask_ == task) s->scrollTask_.reset();
    if (s->router_.generation() != generation) return;
    s->scrollAreasByApp_[pid] = CachedScrollContext{window, fresh};
    if (fresh == cached) return;
    s->route(RouterInput::ScrollAreasMoved{generation, std::move(fresh), true});
    s->showScrollOutline(false, true);
  };

  // The first look: the window and the chains, answered at once with the areas last found in
  // the same window.
  auto contextFound = [current, areasFound, pid, spot,
                       generation](AccessibilityTargets::ScrollContext context) {
    NavigationService* s = current();
    if (!s || s->router_.generation() != generation) return;
    std::vector<HintTarget::Frame> cached;
    if (auto found = s->scrollAreasByApp_.find(pid);
        found != s->scrollAreasByApp_.end() && found->second.window == context.window)
      cached = found->second.areas;
    // Only a spot that was scrolled is worth going back to; a click only says where to look.
    std::optional<ScrollPoint> resume;
    if (spot && spot->scrolled) resume = spot->point;
    s->route(RouterInput::ScrollWindowFound{generation, context.window, context.clickChain,
                                            context.focusChain, cached, resume, context.hover});
    if (s->router_.mode() == InteractionMode::scroll &&
        !(s->parkTask_ && !s->parkTask_->cancelled)) {
      const Point here = s->pointerLocation();
      s->scrollParked_ = here;
      s->dot_.show(here);
    }
    // The answer may have ended scroll mode, and with it this search.
    if (!current()) return;
    AccessibilityTargets::scrollAreas(
        s->discovery_, pid, context.treeWasAsleep,
        [areasFound, window = context.window,
         cached = std::move(cached)](std::vector<HintTarget::Frame> fresh) mutable {
          areasFound(window, std::move(cached), std::move(fresh));
        });
  };

  std::optional<Point> clickedAt;
  if (spot) clickedAt = spot->point;
  // Where the user left the pointer, before anything of scroll mode moves it.
  const Point pointerAt = pointerLocation();
  platform_.executor.postToMain([current, contextFound, pid, clickedAt, pointerAt] {
    NavigationService* s = current();
    if (!s) return;
    AccessibilityTargets::scrollContext(s->discovery_, pid, clickedAt, pointerAt, false,
                                        contextFound);
  });
}

void NavigationService::parkPointer(double x, double y) {
  const Point near{x, y};
  // Back to exactly where the user last scrolled: that spot already scrolls the right thing.
  bool exact = false;
  if (targetPID_) {
    if (auto found = lastSpots_.find(*targetPID_);
        found != lastSpots_.end() && found->second.point == near)
      exact = found->second.scrolled;
  }
  if (parkTask_) parkTask_->cancelled = true;
  auto task = std::make_shared<Task>();
  parkTask_ = task;

  auto current = [weak = weak(), task, &clock = platform_.clock]() -> NavigationService* {
    auto alive = weak.lock();
    if (!alive || task->cancelled || !clock.isMainThread()) return nullptr;
    return *alive;
  };
  auto land = [current, near](Point target) {
    NavigationService* s = current();
    if (!s) return;
    s->parkTask_.reset();
    if (s->router_.mode() != InteractionMode::scroll) return;
    // The wheel reaches only what is under the pointer: never park outside the chosen region.
    if (const ScrollSession* session = s->router_.scroll();
        session && session->window() && !session->window()->contains(target))
      target = near;
    s->postMove(target);
    s->scrollParked_ = target;
    s->dot_.show(target);
    s->showScrollOutline(true, false);
    for (const CursorCommand& scroll : std::exchange(s->scrollsAwaitingPark_, {}))
      s->executeCursor(scroll);
  };
  platform_.executor.postToMain([current, land, exact, near] {
    NavigationService* s = current();
    if (!s) return;
    // Scroll events go to what is under the pointer: it must not rest over a box nested in the
    // chosen area that scrolls on its own, and a pointer resting on a control would make it show
    // its hover state all the while. With no area chosen, the whole window is what scrolls.
    std::optional<HintTarget::Frame> area;
    if (const ScrollSession* session = s->router_.scroll()) area = session->outlined();
    if (!exact && s->targetPID_)
      AccessibilityTargets::quietPoint(s->discovery_, *s->targetPID_, near, area, land);
    else
      land(near);
  });
}

void NavigationService::followScrolledAreas(std::int32_t pid) {
  if (areaRefresh_) areaRefresh_->cancelled = true;
  const std::int64_t generation = router_.generation();
  auto task = std::make_shared<Task>();
  areaRefresh_ = task;

  auto current = [weak = weak(), task, &clock = platform_.clock]() -> NavigationService* {
    auto alive = weak.lock();
    if (!alive || task->cancelled || !clock.isMainThread()) return nullptr;
    return *alive;
  };
  auto contextFound = [current, task, generation](AccessibilityTargets::ScrollContext context) {
    NavigationService* s = current();
    if (!s) return;
    if (s->areaRefresh_ == task) s->areaRefresh_.reset();
    if (s->router_.mode() != InteractionMode::scroll || s->router_.generation() != generation ||
        !context.window)
      return;
    s->route(RouterInput::ScrollAreasMoved{generation, std::move(context.areas), false});
    s->showScrollOutline(false, true);
  };
  platform_.scheduler.after(areaRefreshDelay, [current, contextFound, pid] {
    NavigationService* s = current();
    if (!s) return;
    AccessibilityTargets::scrollContext(s->discovery_, pid, std::nullopt, std::nullopt, true,
                                        contextFound);
  });
}

void NavigationService::showScrollOutline(bool force, bool fade) {
  const ScrollSession* session = router_.scroll();
  if (router_.mode() != InteractionMode::scroll || !session) return;
  // The areas are part of what was drawn: a page that scrolled can move the other areas while
  // the current one stays put.
  OutlineKey key{session->outlined(), session->areaIndex(), session->areas()};
  if (!force && key == lastOutline_) return;
  lastOutline_ = std::move(key);
  scrollOutline_.show(lastOutline_.frame, lastOutline_.areas, lastOutline_.index, fade);
}

void NavigationService::hideScrollOutline() {
  scrollOutline_.hide();
}

}  // namespace tovrel
