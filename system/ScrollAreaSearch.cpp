// Which parts of another application's front window scroll, what lies under a clicked point and
// under the keyboard focus, and where the pointer can rest without hovering over a control.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "system/AccessibilityTargets.hpp"

namespace tovrel::AccessibilityTargets {

namespace {

using Frame = HintTarget::Frame;
using platform::AXElement;

constexpr double searchTimeout = 0.25;
constexpr double quietTimeout = 0.1;
constexpr double wakePause = 0.3;
constexpr int searchBudget = 3000;
constexpr double searchSeconds = 0.6;
constexpr std::size_t chainLimit = 60;
// However the parents of another application point, a climb ends after this many elements.
constexpr int climbLimit = 64;
constexpr int quietLevels = 4;
// Past the first places near the park point, the quiet search widens over the chosen area on a
// grid of this many steps a side, within this time.
constexpr int quietGridSteps = 8;
constexpr double quietSeconds = 0.5;
// An element reaching to within a scroll bar's width of every edge of the chosen area is the area
// itself (its viewport, its content), never a box nested in it.
constexpr double ownPartSlack = 24;
// The walk for boxes nested in the chosen area that scroll on their own: at most this many
// elements, within this time.
constexpr int boxBudget = 1500;
constexpr double boxSeconds = 0.25;
// The smallest box of a page offered as a scroll area of its own.
constexpr double minimumBox = 80;
// Children looked at for content beyond an element's frame.
constexpr std::size_t overflowChildren = 64;

constexpr double minimumScrollArea = 200;
constexpr double fillShare = 0.85;
constexpr double lineHeight = 1;
constexpr double lineSlack = 1;
constexpr double overhang = 8;
constexpr double containerSlack = 1;
constexpr double edgeSlack = 1;
constexpr double thinMinimumWidth = 40;
constexpr int listPaneItems = 2;  // more than this many thin items make a list
constexpr double cutHeightShare = 0.7;
constexpr double cutReach = 20;
constexpr double minimumRemainder = 200;
// Frames this close on every edge are one area.
constexpr double repeatSlack = 1;

constexpr std::array<std::string_view, 5> listRoles = {"AXTable", "AXOutline", "AXList",
                                                       "AXBrowser", "AXRow"};
constexpr std::array<std::string_view, 5> thinItemRoles = {"AXStaticText", "AXLink", "AXButton",
                                                           "AXImage", "AXHeading"};
constexpr std::array<std::string_view, 3> quietStopRoles = {"AXWindow", "AXScrollArea",
                                                            "AXWebArea"};
constexpr std::array<Point, 13> quietOffsets = {{{0, 0},
                                                 {0, -40},
                                                 {0, 40},
                                                 {-60, 0},
                                                 {60, 0},
                                                 {-60, -40},
                                                 {60, -40},
                                                 {-60, 40},
                                                 {60, 40},
                                                 {0, -80},
                                                 {0, 80},
                                                 {-120, 0},
                                                 {120, 0}}};

template <std::size_t N>
bool among(const std::array<std::string_view, N>& roles, const std::optional<std::string>& role) {
  return role && std::find(roles.begin(), roles.end(), *role) != roles.end();
}

double maxX(const Frame& frame) {
  return frame.x + frame.width;
}
double maxY(const Frame& frame) {
  return frame.y + frame.height;
}

// Overlap of positive area; an empty rectangle meets nothing.
bool intersects(const Frame& a, const Frame& b) {
  return a.width > 0 && a.height > 0 && b.width > 0 && b.height > 0 && a.x < maxX(b) &&
         b.x < maxX(a) && a.y < maxY(b) && b.y < maxY(a);
}

struct ScrollCandidate {
  Frame rect;
  std::optional<Frame> page;
  std::optional<Frame> pane;
  std::optional<double> top;
  std::optional<double> bottom;
  bool scrolls = false;
};

struct WalkEntry {
  AXElement element;
  std::optional<Frame> webArea;
  std::vector<std::size_t> chain;
};

struct ThinItems {
  Frame page;
  int count = 0;
};

struct FrontWindow {
  AXElement application;
  AXElement window;
  Frame frame;
};

AXElement applicationElement(DiscoveryServices& services, std::int32_t pid, double timeout) {
  AXElement application = services.accessibility.application(pid);
  application.setMessagingTimeout(timeout);
  return application;
}

std::optional<FrontWindow> frontWindow(const AXElement& application) {
  auto window = elementAttribute(application, "AXFocusedWindow");
  if (!window) window = elementAttribute(application, "AXMainWindow");
  if (!window) return std::nullopt;
  auto windowFrame = frame(*window);
  if (!windowFrame) return std::nullopt;
  return FrontWindow{application, *window, *windowFrame};
}

bool isSelf(DiscoveryServices& services, std::int32_t pid) {
  return pid == services.workspace.selfPid();
}

// Our own windows are read in-process, on the main thread; every other application's from
// wherever the caller runs.
template <class Body>
auto runFor(DiscoveryServices& services, std::int32_t pid, Body body) {
  if (!isSelf(services, pid)) return body();
  decltype(body()) result{};
  services.executor.runOnMain([&] { result = body(); });
  return result;
}

// A candidate scrolls once a descendant reaches well beyond its top or bottom, or a one-point
// line (a list's separator or scroller edge) sits on one of those edges.
void noteScrolling(std::vector<ScrollCandidate>& candidates, const std::vector<std::size_t>& chain,
                   const Frame& f) {
  if (!(f.width > 0 && f.height > 0)) return;
  for (std::size_t index : chain) {
    ScrollCandidate& candidate = candidates[index];
    if (candidate.scrolls) continue;
    const auto near = [&](const std::optional<double>& edge) {
      return edge && std::abs(f.y - *edge) <= lineSlack;
    };
    const bool line = f.height <= lineHeight && (near(candidate.top) || near(candidate.bottom));
    const bool beyond = (candidate.top && *candidate.top - f.y > overhang) ||
                        (candidate.bottom && maxY(f) - *candidate.bottom > overhang);
    if (line || beyond) candidate.scrolls = true;
  }
}

void tallyThinItem(std::vector<ThinItems>& tally, const Frame& page, const Frame& f,
                   const std::optional<std::string>& role) {
  if (!(f.height <= lineHeight && f.width >= thinMinimumWidth &&
        std::abs(f.y - maxY(page)) <= edgeSlack && among(thinItemRoles, role))) {
    return;
  }
  auto found = std::find_if(tally.begin(), tally.end(),
                            [&](const ThinItems& items) { return items.page == page; });
  if (found != tally.end()) {
    ++found->count;
  } else {
    tally.push_back({page, 1});
  }
}

bool within(const Frame& f, const Frame& container) {
  return f.x >= container.x - containerSlack && f.y >= container.y - containerSlack &&
         maxX(f) <= maxX(container) + containerSlack && maxY(f) <= maxY(container) + containerSlack;
}

// The candidate an element inside `container` makes, if any.
std::optional<ScrollCandidate> candidateFor(const Frame& f, const Frame& container,
                                            const Frame& window,
                                            const std::optional<Frame>& webArea,
                                            const std::optional<std::string>& role) {
  if (!within(f, container)) return std::nullopt;
  const auto pane = ScrollSession::paneShaped(f, window);
  const bool fillsWindow = !webArea && role == "AXGroup" &&
                           f.width * f.height >= fillShare * window.width * window.height;
  if (fillsWindow) return ScrollCandidate{f, std::nullopt, pane, f.y, maxY(f)};
  if (!pane) return std::nullopt;
  std::optional<double> top;
  std::optional<double> bottom;
  if (container.y + edgeSlack < f.y) top = f.y;
  if (maxY(f) < maxY(container) - edgeSlack) bottom = maxY(f);
  if (!top && !bottom) return std::nullopt;
  return ScrollCandidate{f, webArea, pane, top, bottom};
}

// An element's showing children, read when first asked for and never again: judging whether the
// element scrolls and walking on below it both want them.
class ShownChildren {
 public:
  explicit ShownChildren(const AXElement& element) : element_(element) {}

  const std::optional<std::vector<AXElement>>& get() {
    if (!read_) {
      list_ = childrenOf(element_);
      read_ = true;
    }
    return list_;
  }

 private:
  const AXElement& element_;
  bool read_ = false;
  std::optional<std::vector<AXElement>> list_;
};

// Content reaching beyond the element's frame: the element scrolls it. A scrolled box has content
// before its first visible child or after its last, so its first and last children are looked at
// first, showing or not. Each child is a read that may wait out its time-out, so no verdict once
// the deadline passes before the children have told.
std::optional<bool> overflows(const AXElement& element, const Frame& f, ShownChildren& shown,
                              const platform::Clock& clock, double deadline) {
  const auto all = elementsAttribute(element, "AXAllChildren");
  const auto& children = all ? all : shown.get();
  if (!children || children->empty()) return false;
  const std::size_t n = children->size();
  std::vector<std::size_t> order{n - 1};
  if (n > 1) order.push_back(0);
  for (std::size_t i = 1; i + 1 < n && order.size() < overflowChildren; ++i)
    order.push_back(i);
  for (std::size_t index : order) {
    if (!(clock.uptime() < deadline)) return std::nullopt;
    const auto c = frame((*children)[index]);
    if (!c || !(c->width > 0 && c->height > 0)) continue;
    if (f.y - c->y > overhang || maxY(*c) - maxY(f) > overhang || f.x - c->x > overhang ||
        maxX(*c) - maxX(f) > overhang)
      return true;
  }
  return false;
}

bool spans(const Frame& f, const Frame& area) {
  return f.x <= area.x + ownPartSlack && f.y <= area.y + ownPartSlack &&
         maxX(f) >= maxX(area) - ownPartSlack && maxY(f) >= maxY(area) - ownPartSlack;
}

// A box of a page that scrolls on its own, as a page's scroll area of its own: a container (a
// focusable control whose content is cut, such as a card link whose picture is cropped, is no
// box), whole in view, not the page itself, focusable (browsers let the keyboard into what the
// user can scroll, and not into a box that only hides or spills what it holds), and holding
// content beyond its frame.
bool isPageBox(const AXElement& element, const std::optional<std::string>& role, const Frame& f,
               const Frame& page, ShownChildren& shown, const platform::Clock& clock,
               double deadline) {
  if (!role || !isContentRole(*role)) return false;
  if (!(f.width >= minimumBox && f.height >= minimumBox) || !within(f, page) || spans(f, page))
    return false;
  if (boolAttribute(element, "AXFocusable") != true) return false;
  return overflows(element, f, shown, clock, deadline).value_or(false);
}

// One area reached twice (a toolkit's scrolled window found as a scroll area and again as the pane
// its content cuts; two rounding of one frame) is one area: a person would number it once.
std::vector<Frame> withoutRepeats(std::vector<Frame> found) {
  std::vector<Frame> kept;
  for (const Frame& f : found) {
    const bool listed = std::any_of(kept.begin(), kept.end(), [&](const Frame& k) {
      return std::abs(k.x - f.x) <= repeatSlack && std::abs(k.y - f.y) <= repeatSlack &&
             std::abs(maxX(k) - maxX(f)) <= repeatSlack &&
             std::abs(maxY(k) - maxY(f)) <= repeatSlack;
    });
    if (!listed) kept.push_back(f);
  }
  return kept;
}

std::vector<Frame> searchAreas(DiscoveryServices& services, const AXElement& window,
                               const Frame& windowFrame, int maxNodes) {
  const double deadline = services.clock.uptime() + searchSeconds;
  std::vector<Frame> found;
  std::vector<ScrollCandidate> candidates;
  std::vector<ThinItems> thinItems;
  bool sawWebArea = false;

  std::vector<WalkEntry> stack;
  stack.push_back({window, std::nullopt, {}});
  int visited = 0;
  while (!stack.empty()) {
    if (visited >= maxNodes || !(services.clock.uptime() < deadline)) break;
    WalkEntry entry = std::move(stack.back());
    stack.pop_back();

    const auto role = stringAttribute(entry.element, "AXRole");
    ++visited;
    const auto f = frame(entry.element);
    const auto& webArea = entry.webArea;
    std::vector<std::size_t> chain = std::move(entry.chain);

    if (f) {
      noteScrolling(candidates, chain, *f);
      if (webArea) tallyThinItem(thinItems, *webArea, *f, role);
    }

    std::optional<Frame> container;
    if (f && role == scrollAreaRole && f->width >= minimumScrollArea &&
        f->height >= minimumScrollArea) {
      found.push_back(*f);
    } else if (f && webArea) {
      container = *webArea;
    } else if (!webArea && among(listRoles, role)) {
      // Lists outside pages are long but never what the user means by "the scrollable part".
      continue;
    } else if (f && !webArea && role == "AXGroup") {
      container = windowFrame;
    }
    ShownChildren shown(entry.element);
    if (container) {
      if (auto candidate = candidateFor(*f, *container, windowFrame, webArea, role)) {
        candidates.push_back(std::move(*candidate));
        chain.push_back(candidates.size() - 1);
      }
      // Pane-shaped or not: what a box has scrolled out of view is not showing, so the walk below
      // it need never meet anything past its edges (rows that end on its bottom edge leave none
      // showing there), and only the frames of all its children tell.
      if (webArea && isPageBox(entry.element, role, *f, *webArea, shown, services.clock, deadline))
        found.push_back(*f);
    }

    if (f && f->width > 0 && f->height > 0 && !intersects(*f, windowFrame)) continue;

    std::optional<Frame> childWebArea = webArea;
    if (role == webAreaRole) {
      sawWebArea = true;
      if (!webArea) childWebArea = f;
    }
    const auto& children = shown.get();
    if (!children) continue;
    for (auto child = children->rbegin(); child != children->rend(); ++child) {
      stack.push_back({*child, childWebArea, chain});
    }
  }

  std::vector<Frame> listPanes;
  for (const ThinItems& items : thinItems) {
    if (items.count > listPaneItems) listPanes.push_back(items.page);
  }
  std::vector<Frame> panes;
  for (const ScrollCandidate& candidate : candidates) {
    if (!candidate.scrolls) continue;
    if (candidate.page &&
        std::find(listPanes.begin(), listPanes.end(), *candidate.page) != listPanes.end()) {
      continue;
    }
    if (candidate.pane) panes.push_back(*candidate.pane);
  }
  found.insert(found.end(), panes.begin(), panes.end());

  // A window-filling group that scrolls as a whole but holds fixed side panels: what scrolls is
  // the part beside them. Pages lay themselves out, so this is only done without web areas.
  if (!sawWebArea) {
    for (const ScrollCandidate& candidate : candidates) {
      if (!candidate.scrolls || candidate.pane) continue;
      Frame remainder = candidate.rect;
      const std::vector<Frame> sofar = found;
      for (const Frame& cut : sofar) {
        if (!(cut.height >= cutHeightShare * remainder.height) || !intersects(cut, remainder)) {
          continue;
        }
        if (cut.x - remainder.x < cutReach) {
          const double right = maxX(remainder);
          remainder.x = maxX(cut);
          remainder.width = right - remainder.x;
        } else if (maxX(remainder) - maxX(cut) < cutReach) {
          remainder.width = cut.x - remainder.x;
        }
      }
      if (remainder.width >= minimumRemainder && remainder != candidate.rect) {
        found.push_back(remainder);
      }
    }
  }
  return withoutRepeats(std::move(found));
}

std::vector<ScrollNode> ancestry(const std::optional<AXElement>& start) {
  std::vector<ScrollNode> chain;
  if (!start) return chain;
  std::vector<AXElement> seen;
  AXElement element = *start;
  for (int step = 0; step < climbLimit; ++step) {
    if (std::find(seen.begin(), seen.end(), element) != seen.end()) break;
    seen.push_back(element);
    const auto role = stringAttribute(element, "AXRole");
    if (!role || *role == "AXWindow" || *role == "AXApplication") break;
    if (const auto f = frame(element)) {
      chain.push_back({*role, *f});
      if (chain.size() >= chainLimit) break;
    }
    auto parent = elementAttribute(element, "AXParent");
    if (!parent) break;
    element = std::move(*parent);
  }
  return chain;
}

bool isQuiet(std::optional<AXElement> element) {
  for (int level = 0; level < quietLevels; ++level) {
    if (!element) return true;
    const auto role = stringAttribute(*element, "AXRole");
    if (!role || among(quietStopRoles, role)) return true;
    if (isActionableRole(*role) || *role == "AXImage") return false;
    const auto help = stringAttribute(*element, "AXHelp");
    if (help && !help->empty()) return false;
    element = elementAttribute(*element, "AXParent");
  }
  return true;
}

// Whether the wheel at a point reaches `area`, or a box nested in it that scrolls on its own: a
// scroll area, a list outside a page (those hide the rows they scroll away, so their content cannot
// be measured), or anything whose content reaches beyond its frame. Two witnesses, since neither
// is enough alone: the boxes found by walking the window over the area, which a browser exposes as
// plain sections whatever their role or children; and the chain of the element the hit test
// answers at the point, for what the walk had no time to reach. Verdicts are kept per element:
// neighbouring points share most of their ancestors.
class NestedScrollers {
 public:
  NestedScrollers(const Frame& area, const platform::Clock& clock) : area_(area), clock_(clock) {}

  // Walks the window in front, within the budget, noting the boxes inside the area that scroll.
  void walk(const AXElement& window, double deadline) {
    struct Entry {
      AXElement element;
      bool inPage;
    };
    std::vector<Entry> stack{{window, false}};
    int visited = 0;
    while (!stack.empty() && visited < boxBudget && clock_.uptime() < deadline) {
      Entry entry = std::move(stack.back());
      stack.pop_back();
      ++visited;
      const auto role = stringAttribute(entry.element, "AXRole");
      const auto f = frame(entry.element);
      const bool sized = f && f->width > 0 && f->height > 0;
      // Elements off the area hold nothing that lies under it; a frame of no size tells nothing.
      if (sized && !intersects(*f, area_)) continue;
      ShownChildren shown(entry.element);
      if (sized && visited > 1 && !spans(*f, area_) && role &&
          scrolls(entry.element, *role, *f, entry.inPage, shown, deadline).value_or(false)) {
        boxes_.push_back(*f);
        continue;
      }
      // Past the deadline (perhaps among this element's children) nothing read now would be walked.
      if (!(clock_.uptime() < deadline)) return;
      const bool inPage = entry.inPage || role == webAreaRole;
      const auto& children = shown.get();
      if (!children) continue;
      for (auto child = children->rbegin(); child != children->rend(); ++child)
        stack.push_back({*child, inPage});
    }
  }

  bool inBox(Point at) const {
    return std::any_of(boxes_.begin(), boxes_.end(),
                       [&](const Frame& box) { return box.contains(at); });
  }

  bool under(Point at, std::optional<AXElement> element) {
    if (inBox(at)) return true;
    std::vector<AXElement> seen;
    for (int step = 0; element && step < climbLimit; ++step) {
      if (std::find(seen.begin(), seen.end(), *element) != seen.end()) return false;
      seen.push_back(*element);
      const auto role = stringAttribute(*element, "AXRole");
      if (!role || *role == "AXWindow" || *role == "AXApplication") return false;
      const auto f = frame(*element);
      if (f && f->width > 0 && f->height > 0) {
        if (spans(*f, area_)) return false;
        ShownChildren shown(*element);
        const double unbounded = std::numeric_limits<double>::infinity();
        if (scrolls(*element, *role, *f, std::nullopt, shown, unbounded).value_or(false)) {
          // The places nearby mostly lie in it too: none of them needs a hit test of its own.
          if (std::find(boxes_.begin(), boxes_.end(), *f) == boxes_.end()) boxes_.push_back(*f);
          return true;
        }
      }
      element = elementAttribute(*element, "AXParent");
    }
    return false;
  }

 private:
  // `inPage` is known when walking down; climbing up, it is found out only when needed. A verdict
  // the deadline cut short is not kept: the climb from a point the hit test answers judges the
  // element again, whole.
  std::optional<bool> scrolls(const AXElement& element, const std::string& role, const Frame& f,
                              std::optional<bool> inPage, ShownChildren& shown, double deadline) {
    for (const auto& [known, verdict] : verdicts_)
      if (known == element) return verdict;
    const bool list = among(listRoles, std::optional<std::string>(role));
    std::optional<bool> verdict =
        role == scrollAreaRole || (list && !(inPage ? *inPage : pageAbove(element)));
    if (!*verdict) verdict = overflows(element, f, shown, clock_, deadline);
    if (verdict) verdicts_.emplace_back(element, *verdict);
    return verdict;
  }

  static bool pageAbove(const AXElement& element) {
    std::vector<AXElement> seen;
    std::optional<AXElement> above = elementAttribute(element, "AXParent");
    for (int step = 0; above && step < climbLimit; ++step) {
      if (std::find(seen.begin(), seen.end(), *above) != seen.end()) return false;
      seen.push_back(*above);
      const auto role = stringAttribute(*above, "AXRole");
      if (role == webAreaRole) return true;
      if (!role || *role == "AXWindow" || *role == "AXApplication") return false;
      above = elementAttribute(*above, "AXParent");
    }
    return false;
  }

  Frame area_;
  const platform::Clock& clock_;
  std::vector<Frame> boxes_;
  std::vector<std::pair<AXElement, bool>> verdicts_;
};

// The places to try, nearest first: the fixed offsets around the park point, then, within the
// chosen area, a grid over all of it.
std::vector<Point> quietCandidates(Point near, const std::optional<Frame>& area) {
  std::vector<Point> points;
  for (const Point& offset : quietOffsets) {
    const Point at{near.x + offset.x, near.y + offset.y};
    if (!area || area->contains(at)) points.push_back(at);
  }
  if (!area) return points;
  std::vector<Point> grid;
  for (int row = 0; row < quietGridSteps; ++row) {
    for (int column = 0; column < quietGridSteps; ++column) {
      grid.push_back({area->x + area->width * (column + 0.5) / quietGridSteps,
                      area->y + area->height * (row + 0.5) / quietGridSteps});
    }
  }
  const auto distance = [&](const Point& p) {
    return (p.x - near.x) * (p.x - near.x) + (p.y - near.y) * (p.y - near.y);
  };
  std::stable_sort(grid.begin(), grid.end(),
                   [&](const Point& a, const Point& b) { return distance(a) < distance(b); });
  points.insert(points.end(), grid.begin(), grid.end());
  return points;
}

}  // namespace

std::vector<Frame> scrollAreasNow(DiscoveryServices& services, std::int32_t pid, bool afterWaking) {
  return runFor(services, pid, [&]() -> std::vector<Frame> {
    // Our own tree is never asleep, and the main thread also serves the keyboard.
    if (afterWaking && !isSelf(services, pid)) services.clock.sleep(wakePause);
    const auto front = frontWindow(applicationElement(services, pid, searchTimeout));
    if (!front) return {};
    return searchAreas(services, front->window, front->frame, searchBudget);
  });
}

void scrollAreas(DiscoveryServices& services, std::int32_t pid, bool afterWaking,
                 std::function<void(std::vector<Frame>)> completion) {
  services.executor.runDetached(
      [services, pid, afterWaking, completion = std::move(completion)]() mutable {
        auto areas = scrollAreasNow(services, pid, afterWaking);
        services.executor.postToMain(
            [completion = std::move(completion), areas = std::move(areas)]() mutable {
              completion(std::move(areas));
            });
      });
}

ScrollContext scrollContextNow(DiscoveryServices& services, std::int32_t pid,
                               std::optional<Point> clickedAt, std::optional<Point> pointerAt,
                               bool areas) {
  return runFor(services, pid, [&]() -> ScrollContext {
    const AXElement application = applicationElement(services, pid, searchTimeout);
    const bool woke = wakeTree(services, application, pid);
    if (woke && areas && !isSelf(services, pid)) services.clock.sleep(wakePause);

    const auto front = frontWindow(application);
    if (!front) return {};

    ScrollContext context;
    context.window = front->frame;
    const auto chainAt = [&](Point at) -> std::optional<std::vector<ScrollNode>> {
      if (!front->frame.contains(at)) return std::nullopt;
      auto hit = application.elementAtPosition(static_cast<float>(at.x), static_cast<float>(at.y));
      if (!hit.ok()) return std::nullopt;
      return ancestry(hit.value());
    };
    if (clickedAt) context.clickChain = chainAt(*clickedAt).value_or(std::vector<ScrollNode>{});
    if (pointerAt) {
      if (auto chain = chainAt(*pointerAt))
        context.hover = ScrollHover{*pointerAt, std::move(*chain)};
    }
    context.focusChain = ancestry(elementAttribute(application, "AXFocusedUIElement"));
    if (areas) context.areas = searchAreas(services, front->window, front->frame, searchBudget);
    context.treeWasAsleep = woke;
    return context;
  });
}

void scrollContext(DiscoveryServices& services, std::int32_t pid, std::optional<Point> clickedAt,
                   std::optional<Point> pointerAt, bool areas,
                   std::function<void(ScrollContext)> completion) {
  services.executor.runDetached(
      [services, pid, clickedAt, pointerAt, areas, completion = std::move(completion)]() mutable {
        auto context = scrollContextNow(services, pid, clickedAt, pointerAt, areas);
        services.executor.postToMain(
            [completion = std::move(completion), context = std::move(context)]() mutable {
              completion(std::move(context));
            });
      });
}

Point quietPointNow(DiscoveryServices& services, std::int32_t pid, Point near,
                    std::optional<Frame> area) {
  const AXElement application = applicationElement(services, pid, quietTimeout);
  const double deadline = services.clock.uptime() + quietSeconds;
  std::optional<NestedScrollers> nested;
  if (area) nested.emplace(*area, services.clock);
  // The walk waits for the application's first answer: one that does not answer would only spend
  // the time the places around the park point need.
  bool walked = false;
  // The wheel reaching the chosen area matters more than a control showing its hover state.
  std::optional<Point> reaches;
  const std::vector<Point> candidates = quietCandidates(near, area);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    // The places around the park point are always tried; the wide search only while time is left.
    if (i >= quietOffsets.size() && !(services.clock.uptime() < deadline)) break;
    const Point& at = candidates[i];
    if (nested && nested->inBox(at)) continue;
    auto hit = application.elementAtPosition(static_cast<float>(at.x), static_cast<float>(at.y));
    if (!hit.ok()) continue;
    if (nested && !walked) {
      walked = true;
      // Its own time, not what is left: an application slow to answer the first hit tests is
      // the one whose hit tests can least be trusted to name the boxes.
      if (const auto front = frontWindow(application))
        nested->walk(front->window, services.clock.uptime() + boxSeconds);
    }
    if (nested) {
      // A window answering for a place inside the chosen area names nothing there: a browser
      // still building its page answers so over a box as well.
      if (stringAttribute(hit.value(), "AXRole") == "AXWindow") continue;
      if (nested->under(at, hit.value())) continue;
    }
    if (isQuiet(hit.value())) return at;
    if (!reaches) reaches = at;
  }
  if (reaches) return *reaches;
  // Out of time before any place was found to reach the area: one outside every box found is
  // still better than the park point, which may lie in one.
  if (nested)
    for (const Point& at : candidates)
      if (!nested->inBox(at)) return at;
  return near;
}

void quietPoint(DiscoveryServices& services, std::int32_t pid, Point near,
                std::optional<Frame> area, std::function<void(Point)> completion) {
  services.executor.runDetached(
      [services, pid, near, area, completion = std::move(completion)]() mutable {
        const Point point = quietPointNow(services, pid, near, area);
        services.executor.postToMain(
            [completion = std::move(completion), point] { completion(point); });
      });
}

}  // namespace tovrel::AccessibilityTargets
