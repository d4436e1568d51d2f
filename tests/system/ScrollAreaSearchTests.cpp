#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "platform/fake/FakeAccessibility.hpp"
#include "platform/fake/FakeDisplays.hpp"
#include "platform/fake/FakeWorkspace.hpp"
#include "system/AccessibilityTargets.hpp"

namespace tovrel {
namespace {

using platform::fake::FakeAccessibility;
using Frame = HintTarget::Frame;
using Id = FakeAccessibility::NodeId;
using Build = std::function<void(FakeAccessibility&, Id window)>;
using Ref = FakeAccessibility::Ref;
namespace AT = AccessibilityTargets;

struct ScrollAreaSearchTest : ::testing::Test {
  platform::fake::FakeClock clock;
  FakeAccessibility ax{clock};
  platform::fake::FakeWorkspace workspace;
  platform::fake::FakeDisplayServices displays;
  platform::fake::FakeExecutor executor;
  DiscoveryServices services{ax, workspace, displays, clock, executor};
  // Fresh processes per test: the set of woken trees lives as long as the test program.
  static std::int32_t freshPid() {
    static std::int32_t next = 41040;
    return next += 10;
  }
  std::int32_t pid = freshPid();
  Id app = ax.addApplication(pid);
  Id window = ax.add(app, "AXWindow", Frame{0, 0, 1000, 800});

  ScrollAreaSearchTest() { ax.set(app, "AXFocusedWindow", Ref{window}); }
  std::vector<Frame> areas() { return AT::scrollAreasNow(services, pid, false); }
};

const Frame area500{10, 10, 500, 400};

Build inside(const char* role, Frame outer, Frame inner = area500) {
  return [=](auto& ax, Id w) { ax.add(ax.add(w, role, outer), "AXScrollArea", inner); };
}
// A window-filling group whose content reaches `overhang` below it, beside a side panel.
Build sidebar(std::optional<Frame> panel, double overhang, bool webArea = false) {
  return [=](auto& ax, Id w) {
    const Id group = ax.add(w, "AXGroup", Frame{0, 0, 1000, 720});
    if (panel) ax.add(group, "AXScrollArea", *panel);
    ax.add(group, "AXStaticText", Frame{300, 700, 100, 20 + overhang});
    if (webArea) ax.add(w, "AXWebArea", Frame{900, 750, 50, 40});
  };
}
// A page with a pane under a 50-point header and thin items along the page's bottom edge.
Build page(Frame evidence, int thinItems = 0, double thinWidth = 50) {
  return [=](auto& ax, Id w) {
    const Id web = ax.add(w, "AXWebArea", Frame{0, 0, 1000, 800});
    ax.add(ax.add(web, "AXGroup", Frame{0, 50, 400, 750}), "AXStaticText", evidence);
    for (int i = 0; i < thinItems; ++i)
      ax.add(web, "AXStaticText", Frame{100.0 * i, 800, thinWidth, 1});
  };
}

// A page holding a box of `box` whose content is `content`; browsers let the keyboard into a box
// the user can scroll.
Build pageBox(Frame box, Frame content, bool focusable = true, const char* role = "AXGroup") {
  return [=](auto& ax, Id w) {
    const Id b = ax.add(ax.add(w, "AXWebArea", Frame{0, 0, 1000, 800}), role, box);
    ax.add(b, "AXStaticText", content);
    if (focusable) ax.set(b, "AXFocusable", true);
  };
}

TEST_F(ScrollAreaSearchTest, FindsScrollingRegions) {
  const Frame text{10, 41, 100, 20}, pane{0, 50, 400, 750}, left{0, 0, 250, 720},
      box{100, 100, 420, 160}, tall{100, 100, 420, 600};
  const struct {
    Build build;
    std::vector<Frame> expected;
  } cases[] = {
      {inside("AXGroup", {1200, 0, 0, 0}), {area500}},  // empty: never off the window
      {inside("AXGroup", {0, 0, 0, 0}, {10, 10, 199, 400}), {}},
      {inside("AXGroup", {1200, 0, 300, 300}), {}},  // off the window
      {inside("AXList", {0, 0, 1000, 800}), {}},
      {inside("AXOutline", {0, 0, 1000, 800}), {}},
      {[](auto& ax, Id w) { inside("AXTable", {})(ax, ax.add(w, "AXWebArea", Frame{})); },
       {area500}},
      {sidebar(left, 9), {left, {250, 0, 750, 720}}},
      {sidebar(left, 8), {left}},
      {sidebar(Frame{750, 0, 250, 720}, 9), {{750, 0, 250, 720}, {0, 0, 750, 720}}},
      {sidebar(Frame{0, 0, 800, 720}, 9), {{0, 0, 800, 720}, {800, 0, 200, 720}}},
      {sidebar(Frame{0, 0, 801, 720}, 9), {{0, 0, 801, 720}}},
      {sidebar(std::nullopt, 9), {}},
      {sidebar(left, 9, true), {left}},
      {page(text), {pane}},
      {page({10, 42, 100, 20}), {}},
      {page({0, 50.5, 400, 1}), {pane}},  // a line on the pane's top
      {page({0, 50.5, 400, 2}), {}},
      {page(text, 2), {pane}},
      {page(text, 3), {}},  // the page is a list
      {page(text, 3, 39), {pane}},
      {pageBox(box, {100, 100, 420, 1500}), {box}},
      {pageBox(box, {100, -600, 420, 700}), {box}},  // scrolled to its end
      {pageBox(box, {100, 100, 420, 1500}, false), {}},
      {pageBox(box, {100, 100, 420, 160}), {}},
      {pageBox({100, 100, 420, 79}, {100, 100, 420, 1500}), {}},
      {pageBox({100, 700, 420, 160}, {100, 700, 420, 1500}), {}},  // not whole in view
      {pageBox({0, 0, 1000, 800}, {0, 0, 1000, 3000}), {}},        // the page itself
      {pageBox(box, {100, 100, 420, 1500}, true, "AXList"), {box}},
      // Pane-shaped, with rows that end on its bottom edge: those past it are not showing, and
      // only all its children tell that it scrolls.
      {[=](auto& ax, Id w) {
         const Id b = ax.add(ax.add(w, "AXWebArea", Frame{0, 0, 1000, 800}), "AXGroup", tall);
         ax.set(b, "AXFocusable", true);
         const Id shown = ax.add(b, "AXGroup", tall);
         const Id past = ax.add(b, "AXGroup", Frame{100, 700, 420, 60});
         ax.set(b, "AXChildren", FakeAccessibility::RefList{{shown}});
         ax.set(b, "AXAllChildren", FakeAccessibility::RefList{{shown, past}});
       },
       {tall}},
      // A card link whose picture its frame crops: a control, not a box.
      {pageBox(box, {100, 60, 420, 300}, true, "AXLink"), {}},
      // A toolkit's scrolled window whose viewport is a scroll area too: one area.
      {[](auto& ax, Id w) {
         ax.add(ax.add(w, "AXScrollArea", area500), "AXScrollArea", Frame{10.5, 10, 500, 400.5});
       },
       {area500}},
  };
  for (const auto& c : cases) {
    FakeAccessibility fresh(clock);
    const Id a = fresh.addApplication(pid);
    const Id w = fresh.add(a, "AXWindow", Frame{0, 0, 1000, 800});
    fresh.set(a, "AXMainWindow", Ref{w});
    c.build(fresh, w);
    DiscoveryServices own{fresh, workspace, displays, clock, executor};
    EXPECT_EQ(AT::scrollAreasNow(own, pid, false), c.expected) << &c - cases;
  }
}

TEST_F(ScrollAreaSearchTest, StopsAtTheNodeBudgetAndTheDeadline) {
  for (int i = 0; i < 2998; ++i)
    ax.add(window, "AXStaticText");
  const Id last = ax.add(window, "AXScrollArea", area500);  // node 3000
  ax.add(window, "AXScrollArea", Frame{20, 20, 500, 400});
  EXPECT_EQ(areas(), std::vector<Frame>{area500});
  ax.destroy(last);
  EXPECT_EQ(areas(), std::vector<Frame>{});

  // A node that never answers costs more than the whole search may take.
  const Id other = ax.add(app, "AXWindow", Frame{0, 0, 1000, 800});
  ax.set(app, "AXFocusedWindow", Ref{other});
  ax.setUnresponsive(ax.add(other, "AXGroup", Frame{0, 0, 10, 10}));
  const Id after = ax.add(other, "AXScrollArea", area500);
  EXPECT_EQ(areas(), std::vector<Frame>{});
  EXPECT_EQ(ax.messages(after), 0);
}

TEST_F(ScrollAreaSearchTest, ChainsFromTheClickThePointerAndTheFocus) {
  ax.setFrame(window, Frame{100, 100, 800, 600});
  const Id area = ax.add(window, "AXScrollArea", Frame{100, 100, 800, 600});
  const Id button = ax.add(area, "AXButton", Frame{200, 200, 100, 30});
  ax.addHit(pid, Frame{210, 210, 5, 5}, ax.add(button, "AXImage"));  // no frame: not listed
  ax.set(app, "AXFocusedUIElement", Ref{ax.add(area, "AXTextField", Frame{200, 300, 200, 30})});
  const ScrollNode areaNode{"AXScrollArea", {100, 100, 800, 600}};
  const ScrollNode buttonNode{"AXButton", {200, 200, 100, 30}};
  const std::vector<ScrollNode> focus{{"AXTextField", {200, 300, 200, 30}}, areaNode};
  const struct {
    std::optional<Point> click;
    std::vector<ScrollNode> chain;
  } cases[] = {{Point{250, 210}, {buttonNode, areaNode}},
               {Point{211, 211}, {buttonNode, areaNode}},
               {Point{100, 100}, {areaNode}},
               {Point{900, 300}, {}},
               {Point{300, 700}, {}},
               {std::nullopt, {}}};
  for (const auto& c : cases) {
    const int hitsBefore = ax.hitTests();
    const auto context = AT::scrollContextNow(services, pid, c.click, std::nullopt, false);
    EXPECT_EQ(context.window, (Frame{100, 100, 800, 600}));
    EXPECT_EQ(context.clickChain, c.chain);
    EXPECT_EQ(context.focusChain, focus);
    EXPECT_EQ(ax.hitTests() - hitsBefore, c.chain.empty() ? 0 : 1);
    EXPECT_TRUE(context.areas.empty());
    EXPECT_FALSE(context.hover.has_value());

    // The pointer at the same place gives the same chain, and the place with it.
    const auto pointed = AT::scrollContextNow(services, pid, std::nullopt, c.click, false);
    EXPECT_TRUE(pointed.clickChain.empty());
    if (c.chain.empty()) {
      EXPECT_FALSE(pointed.hover.has_value());
    } else {
      EXPECT_EQ(pointed.hover, (ScrollHover{*c.click, c.chain}));
    }
  }
  EXPECT_EQ(AT::scrollContextNow(services, pid, {}, {}, true).areas, std::vector{areaNode.frame});
  ax.erase(app, "AXFocusedWindow");
  EXPECT_TRUE(AT::scrollContextNow(services, pid, Point{250, 210}, Point{250, 210}, true)
                  .focusChain.empty());
}

TEST_F(ScrollAreaSearchTest, ChainsEndOnCyclesAndAfterSixtyNodes) {
  const Id a = ax.add(window, "AXGroup");
  const Id b = ax.add(a, "AXGroup");
  ax.set(a, "AXParent", Ref{b});
  ax.set(app, "AXFocusedUIElement", Ref{b});
  EXPECT_TRUE(AT::scrollContextNow(services, pid, {}, {}, false).focusChain.empty());
  ax.setFrame(a, Frame{1, 1, 5, 5});
  ax.setFrame(b, Frame{2, 2, 5, 5});
  EXPECT_EQ(AT::scrollContextNow(services, pid, {}, {}, false).focusChain.size(), 2u);

  Id deepest = window;
  for (int i = 0; i < 70; ++i)
    deepest = ax.add(deepest, "AXGroup", Frame{0, 0, 100.0 - i, 100});
  ax.set(app, "AXFocusedUIElement", Ref{deepest});
  const auto chain = AT::scrollContextNow(services, pid, {}, {}, false).focusChain;
  ASSERT_EQ(chain.size(), 60u);
  EXPECT_EQ(chain.front().frame.width, 31);
}

TEST_F(ScrollAreaSearchTest, WakingWaitsOnlyForOtherProcesses) {
  ax.add(window, "AXScrollArea", area500);
  const double start = clock.now;
  EXPECT_TRUE(AT::scrollContextNow(services, pid, {}, {}, true).treeWasAsleep);
  EXPECT_NEAR(clock.now - start, 0.3, 1e-9);
  const auto context = AT::scrollContextNow(services, pid, {}, {}, true);
  EXPECT_FALSE(context.treeWasAsleep);
  EXPECT_EQ(context.areas.size(), 1u);
  EXPECT_EQ(AT::scrollAreasNow(services, pid, true).size(), 1u);
  EXPECT_NEAR(clock.now - start, 0.6, 1e-9);
  EXPECT_EQ(executor.mainRuns, 0);
  EXPECT_NEAR(ax.timeoutSetOn(app), 0.25, 1e-12);

  // Our own windows are read on the main thread, which must not stall.
  workspace.self = pid + 1;
  const Id own = ax.addApplication(pid + 1);
  ax.set(own, "AXFocusedWindow", Ref{ax.add(own, "AXWindow", Frame{})});
  EXPECT_TRUE(AT::scrollContextNow(services, pid + 1, {}, {}, true).treeWasAsleep);
  AT::scrollAreasNow(services, pid + 1, true);
  EXPECT_EQ(executor.mainRuns, 2);
  EXPECT_NEAR(clock.now - start, 0.6, 1e-9);

  std::vector<double> answers;  // the asynchronous forms answer on the main thread
  AT::scrollAreas(services, pid, false, [&](auto a) { answers.push_back(a.size()); });
  AT::scrollContext(services, pid, {}, {}, true,
                    [&](auto c) { answers.push_back(c.areas.size()); });
  AT::quietPoint(services, pid, {20, 20}, std::nullopt, [&](Point p) { answers.push_back(p.y); });
  EXPECT_TRUE(answers.empty());
  EXPECT_EQ(executor.drainMain(), 3);
  EXPECT_EQ(answers, (std::vector<double>{1, 1, 20}));
}

TEST_F(ScrollAreaSearchTest, QuietPointAvoidsControls) {
  const Id area = ax.add(window, "AXScrollArea", Frame{0, 0, 1000, 600});
  ax.add(window, "AXWebArea", Frame{0, 600, 500, 200});
  ax.add(area, "AXButton", Frame{400, 400, 100, 30});
  ax.add(area, "AXStaticText", Frame{400, 355, 100, 20});
  ax.set(ax.add(area, "AXStaticText", Frame{0, 0, 1000, 100}), "AXHelp", std::string("tip"));
  Id text = ax.add(area, "AXButton", Frame{600, 100, 300, 100});  // text 3 levels inside
  for (const char* role : {"AXGroup", "AXGroup", "AXStaticText"})
    text = ax.add(text, role, Frame{600, 100, 300, 100});
  Id deep = ax.add(area, "AXLink", Frame{600, 300, 300, 50});  // text 4 levels inside
  for (const char* role : {"AXGroup", "AXGroup", "AXGroup", "AXStaticText"})
    deep = ax.add(deep, role, Frame{600, 300, 300, 50});
  ax.add(area, "AXImage", Frame{100, 300, 100, 100});
  ax.addHit(pid, Frame{0, 250, 50, 50}, std::nullopt);
  const struct {
    Point near, expected;
  } cases[] = {{{20, 700}, {20, 700}},   {{200, 200}, {200, 200}}, {{990, 790}, {990, 790}},
               {{450, 410}, {450, 370}}, {{450, 50}, {450, 130}},  {{650, 150}, {590, 150}},
               {{650, 320}, {650, 320}}, {{150, 350}, {90, 350}},  {{10, 260}, {10, 220}}};
  for (const auto& c : cases)
    EXPECT_EQ(AT::quietPointNow(services, pid, c.near), c.expected) << c.near;
  EXPECT_NEAR(ax.timeoutSetOn(app), 0.1, 1e-12);

  ax.addHit(pid, Frame{-1000, -1000, 3000, 3000}, text);
  const int before = ax.hitTests();
  EXPECT_EQ(AT::quietPointNow(services, pid, {500, 500}), (Point{500, 500}));
  EXPECT_EQ(ax.hitTests() - before, 13);
}

// A page in a browser: the page is the chosen area, and a small box under its centre scrolls on
// its own. Wheel steps over the box would scroll the box, not the page.
TEST_F(ScrollAreaSearchTest, QuietPointKeepsClearOfScrollersNestedInTheArea) {
  const Frame chosen{0, 100, 1000, 700}, box{300, 300, 400, 260};
  const Point centre = chosen.center();
  const Point belowBox{437.5, 581.25};  // the grid point nearest the centre outside the box
  using Inside = std::function<void(FakeAccessibility&, Id page, Id pane)>;
  const auto nestedBox = [&](const char* role, Frame content) -> Inside {
    return [=](auto& ax, Id page, Id) { ax.add(ax.add(page, role, box), "AXGroup", content); };
  };
  const Frame overflowing{301, 310, 398, 1500}, fitting{301, 310, 398, 240};
  // A box of plain paragraphs, one every 35 points from `first`, that the hit test passes by: it
  // answers with the page wherever the box is, as a browser can. Like a browser, the box lists
  // among its children only the paragraphs it shows, those within its frame.
  const auto paragraphs = [&](double first, int count) -> Inside {
    return [=, this](auto& ax, Id page, Id) {
      const Id section = ax.add(page, "AXGroup", box);
      FakeAccessibility::RefList all, showing;
      for (int i = 0; i < count; ++i) {
        const Frame f{301, first + 35.0 * i, 398, 19};
        const Id paragraph = ax.add(section, "AXGroup", f);
        all.ids.push_back(paragraph);
        if (box.contains({f.x, f.y}) && box.contains({f.x, f.y + f.height - 1}))
          showing.ids.push_back(paragraph);
      }
      ax.set(section, "AXChildren", showing);
      ax.set(section, "AXAllChildren", all);
      ax.addHit(pid, box, page);
    };
  };
  std::optional<Id> slow;
  Id window = 0;
  const struct {
    const char* what;
    Inside build;
    std::optional<Frame> area;
    Point expected;
  } cases[] = {
      {"content beyond the box", nestedBox("AXGroup", overflowing), chosen, belowBox},
      {"content above the box", nestedBox("AXGroup", {301, -900, 398, 1200}), chosen, belowBox},
      {"content beside the box", nestedBox("AXGroup", {301, 310, 900, 240}), chosen, belowBox},
      {"a scroll area in the page", nestedBox("AXScrollArea", fitting), chosen, belowBox},
      {"a box that does not scroll", nestedBox("AXGroup", fitting), chosen, centre},
      {"paragraphs past the box's bottom", paragraphs(310, 12), chosen, belowBox},
      {"paragraphs scrolled above the box", paragraphs(-30, 12), chosen, belowBox},
      {"paragraphs that fit the box", paragraphs(310, 7), chosen, centre},
      {"a list in the page", nestedBox("AXList", fitting), chosen, centre},
      {"a list outside a page",
       [&](auto& ax, Id, Id pane) { ax.add(ax.add(pane, "AXList", box), "AXRow", fitting); },
       chosen, belowBox},
      {"no area chosen: the window scrolls", nestedBox("AXGroup", overflowing), std::nullopt,
       centre},
      {"the area's own viewport",
       [&](auto& ax, Id page, Id) {
         ax.add(ax.add(page, "AXGroup", Frame{2, 102, 980, 690}), "AXGroup",
                Frame{300, -200, 400, 3000});
       },
       chosen, centre},
      {"only controls outside the box",
       [&](auto& ax, Id page, Id pane) {
         ax.add(page, "AXButton", chosen);
         nestedBox("AXGroup", overflowing)(ax, page, pane);
       },
       chosen, belowBox},
      {"a box aside whose children each wait out their time-out",
       [&](auto& ax, Id page, Id) {
         ax.defaultTimeout = 0.1;
         slow = ax.add(page, "AXGroup", Frame{20, 600, 200, 150});
         FakeAccessibility::RefList all;
         for (int i = 0; i < 64; ++i)
           all.ids.push_back(ax.add(*slow, "AXGroup"));
         for (const Id child : all.ids)
           ax.setUnresponsive(child);
         ax.set(*slow, "AXAllChildren", all);
       },
       chosen, centre},
      {"an application too slow for the walk to reach the box",
       [&](auto& ax, Id page, Id pane) {
         ax.messageCost = 0.02;
         nestedBox("AXGroup", overflowing)(ax, page, pane);
       },
       chosen, belowBox},
      {"a browser still building its page answers with the window at the box's centre",
       [&](auto& ax, Id page, Id pane) {
         ax.messageCost = 0.02;
         nestedBox("AXGroup", overflowing)(ax, page, pane);
         ax.addHit(pid, Frame{centre.x - 5, centre.y - 5, 10, 10}, window);
       },
       chosen, belowBox},
  };
  for (const auto& c : cases) {
    FakeAccessibility fresh(clock);
    const Id a = fresh.addApplication(pid);
    const Id w = window = fresh.add(a, "AXWindow", Frame{0, 0, 1000, 800});
    fresh.set(a, "AXMainWindow", Ref{w});
    const Id pane = fresh.add(fresh.add(w, "AXGroup", chosen), "AXScrollArea", chosen);
    const Id page = fresh.add(pane, "AXWebArea", chosen);
    const Id heading = fresh.add(page, "AXHeading", Frame{0, 120, 1000, 40});
    c.build(fresh, page, pane);
    DiscoveryServices own{fresh, workspace, displays, clock, executor};
    const double start = clock.now;
    EXPECT_EQ(AT::quietPointNow(own, pid, centre, c.area), c.expected) << c.what;
    // The walk's 0.25 s, overrun by one read at most.
    EXPECT_LE(clock.now - start, 0.25 + fresh.defaultTimeout) << c.what;
    // The heading is read only when there is an area to walk and time to reach it, and nothing
    // of it twice.
    EXPECT_EQ(fresh.messages(heading) > 0, c.area && fresh.messageCost == 0) << c.what;
    for (const auto& [attribute, count] : fresh.reads(heading))
      EXPECT_EQ(count, 1) << c.what << ", " << attribute;
    if (const auto box = std::exchange(slow, std::nullopt)) {
      EXPECT_EQ(fresh.messages(*box), 4);  // out of time: the children it shows are never asked
    }
  }
}

TEST_F(ScrollAreaSearchTest, TheWideQuietSearchEndsInTime) {
  // A scrolling box under every place the search tries: once the walk has found it, no place in
  // it costs a hit test.
  const Frame chosen{0, 0, 1000, 800};
  const Id box = ax.add(window, "AXGroup", Frame{30, 30, 940, 740});
  ax.add(box, "AXGroup", Frame{30, 30, 940, 3000});
  int before = ax.hitTests();
  EXPECT_EQ(AT::quietPointNow(services, pid, {500, 400}, chosen), (Point{500, 400}));
  EXPECT_EQ(ax.hitTests() - before, 1);

  // A control under every place: the fixed places, then the whole grid, and no more.
  ax.destroy(box);
  ax.addHit(pid, Frame{-1000, -1000, 3000, 3000}, ax.add(window, "AXButton", chosen));
  before = ax.hitTests();
  EXPECT_EQ(AT::quietPointNow(services, pid, {500, 400}, chosen), (Point{500, 400}));
  EXPECT_EQ(ax.hitTests() - before, 13 + 64);

  // An application that never answers: the fixed places are tried, the grid is not.
  ax.setUnresponsive(app);
  before = ax.messages(app);
  const double start = clock.now;
  EXPECT_EQ(AT::quietPointNow(services, pid, {500, 400}, chosen), (Point{500, 400}));
  EXPECT_EQ(ax.messages(app) - before, 13);
  EXPECT_NEAR(clock.now - start, 1.3, 1e-9);
}

}  // namespace
}  // namespace tovrel
