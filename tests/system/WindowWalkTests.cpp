#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "platform/fake/FakeAccessibility.hpp"
#include "platform/fake/FakeClock.hpp"
#include "platform/fake/FakeDisplays.hpp"
#include "platform/fake/FakeWorkspace.hpp"
#include "system/AccessibilityTargets.hpp"

namespace tovrel {
namespace {

namespace AT = AccessibilityTargets;
using platform::fake::FakeAccessibility;
using Frame = HintTarget::Frame;
using Id = FakeAccessibility::NodeId;
using Names = std::vector<std::string>;
const std::vector<std::string> press = {"AXPress"};

struct WindowWalkTest : ::testing::Test {
  struct App {
    std::int32_t pid;
    Id app;
    Id window;
  };
  // The woken-tree sets live for the whole process, so every application gets its own pid.
  static std::int32_t freshPid() {
    static std::int32_t next = 740000;
    return ++next;
  }
  App makeApp(std::optional<Frame> windowFrame = Frame{0, 0, 1000, 800}) {
    App made{freshPid(), 0, 0};
    made.app = ax.addApplication(made.pid);
    made.window = ax.add(made.app, "AXWindow", windowFrame);
    ax.set(made.app, "AXFocusedWindow", FakeAccessibility::Ref{made.window});
    return made;
  }
  Id add(Id parent, const std::string& role, std::optional<Frame> frame, const std::string& title,
         std::vector<std::string> actions = press) {
    const Id node = ax.add(parent, role, frame, std::move(actions));
    if (!title.empty()) ax.set(node, "AXTitle", title);
    return node;
  }
  DiscoveryResult walk(const App& app) {
    return AT::discoverSynchronously(services, app.pid, budget, displays.activeDisplayBounds());
  }
  static Names names(const DiscoveryResult& result) {
    Names out;
    for (const auto& target : result.targets)
      out.push_back(target.name);
    return out;
  }
  static Names sorted(Names names) {
    std::sort(names.begin(), names.end());
    return names;
  }
  static std::size_t indexOf(const DiscoveryResult& result, const std::string& name) {
    const Names all = names(result);
    return static_cast<std::size_t>(std::find(all.begin(), all.end(), name) - all.begin());
  }

  platform::fake::FakeClock clock;
  FakeAccessibility ax{clock};
  platform::fake::FakeWorkspace workspace;
  platform::fake::FakeDisplayServices displays;
  platform::fake::FakeExecutor executor;
  DiscoveryServices services{ax, workspace, displays, clock, executor};
  AT::Budget budget;
  App a = makeApp();
};

TEST_F(WindowWalkTest, EarlyReturnsReportTheWokenTree) {
  ax.erase(a.app, "AXFocusedWindow");
  auto result = walk(a);
  EXPECT_EQ(result.scope, "no window");
  EXPECT_FALSE(result.foundWindow);
  EXPECT_TRUE(result.targets.empty());
  EXPECT_EQ(result.elapsed, 0);
  EXPECT_TRUE(result.treeWasAsleep);  // just switched on: worth a second attempt
  EXPECT_FALSE(walk(a).treeWasAsleep);

  // A main window serves when nothing is focused; one without a frame ends the walk.
  const App frameless = makeApp(std::nullopt);
  ax.erase(frameless.app, "AXFocusedWindow");
  ax.set(frameless.app, "AXMainWindow", FakeAccessibility::Ref{frameless.window});
  add(frameless.window, "AXButton", Frame{0, 0, 50, 20}, "Hidden");
  result = walk(frameless);
  EXPECT_TRUE(result.foundWindow);
  EXPECT_EQ(result.scope, "focused window");
  EXPECT_TRUE(result.treeWasAsleep);
  EXPECT_TRUE(result.targets.empty());
  EXPECT_EQ(result.windowFrame, std::nullopt);
}

TEST_F(WindowWalkTest, RootScopes) {
  enum Extra { sheet = 1, popover = 2, menu = 4 };
  struct Case {
    int extras;
    std::string scope;
    Names names;
  };
  const std::vector<Case> cases = {
      {0, "focused window", {"InWindow"}},
      {sheet | popover, "sheet", {"InSheet"}},
      {popover, "popover", {"InPopover"}},
      {sheet | popover | menu, "menu", {"Copy"}},
  };
  for (const Case& c : cases) {
    const App app = makeApp();
    add(app.window, "AXButton", Frame{10, 10, 80, 20}, "InWindow");
    if (c.extras & sheet) {
      const Id s = ax.add(app.window, "AXSheet", Frame{100, 100, 400, 300});
      add(s, "AXButton", Frame{110, 110, 80, 20}, "InSheet");
    }
    if (c.extras & popover) {
      const Id p = ax.add(ax.add(app.window, "AXGroup", Frame{0, 0, 10, 10}), "AXPopover",
                          Frame{500, 100, 200, 200});
      add(p, "AXButton", Frame{510, 110, 80, 20}, "InPopover");
    }
    if (c.extras & menu) {
      const Id m = ax.add(app.app, "AXMenu", Frame{300, 300, 200, 100});
      add(m, "AXMenuItem", Frame{300, 300, 200, 20}, "Copy");
    }
    const auto result = walk(app);
    EXPECT_EQ(result.scope, c.scope);
    EXPECT_EQ(names(result), c.names) << c.scope;
    EXPECT_EQ(result.windowFrame, (Frame{0, 0, 1000, 800})) << c.scope;
  }
}

TEST_F(WindowWalkTest, BudgetLimits) {
  for (int i = 0; i < 3; ++i)
    add(a.window, "AXButton", Frame{10, 30.0 * i, 80, 20}, "B" + std::to_string(i));
  for (int maxNodes : {0, -5}) {
    budget.maxNodes = maxNodes;
    const auto result = walk(a);
    EXPECT_TRUE(result.truncated);
    EXPECT_EQ(result.visitedNodes, 0);
    EXPECT_TRUE(result.targets.empty());
  }
  budget = {};
  budget.maxTargets = 2;
  auto result = walk(a);
  EXPECT_TRUE(result.truncated);
  EXPECT_EQ(names(result), (Names{"B0", "B1"}));

  // Depth: a node at the limit is processed, its children are not; later branches still are.
  budget = {};
  budget.maxDepth = 3;
  const App deep = makeApp();
  Id node = ax.add(ax.add(deep.window, "AXGroup", Frame{0, 0, 500, 500}), "AXGroup",
                   Frame{0, 0, 500, 500});
  node = add(node, "AXButton", Frame{10, 10, 80, 20}, "AtLimit");
  add(node, "AXButton", Frame{10, 10, 40, 10}, "TooDeep");
  add(deep.window, "AXButton", Frame{10, 600, 80, 20}, "Sibling");
  result = walk(deep);
  EXPECT_TRUE(result.truncated);
  EXPECT_EQ(names(result), (Names{"AtLimit", "Sibling"}));
  EXPECT_EQ(result.visitedNodes, 5);
}

TEST_F(WindowWalkTest, EligibilityAndDuplicates) {
  const Id off = add(a.window, "AXButton", Frame{10, 10, 200, 40}, "Off");
  ax.set(off, "AXEnabled", false);
  add(off, "AXButton", Frame{20, 15, 50, 20}, "On");
  const Id outer = add(a.window, "AXButton", Frame{10, 100, 200, 40}, "Outer");
  add(outer, "AXButton", Frame{10, 100, 200, 40}, "SameFrame");
  add(outer, "AXGroup", Frame{10, 100, 200, 40}, "SameGroup");
  add(a.window, "AXButton", Frame{10.2, 300.7, 80, 20}, "Twin");
  add(a.window, "AXButton", Frame{10.9, 300.1, 80, 20}, "Twin");
  add(a.window, "AXButton", Frame{10, 400, 80, 20}, "Pair");
  add(a.window, "AXButton", Frame{11, 400, 80, 20}, "Pair");
  // A text field inside a row is reached through the row.
  const Id row = add(a.window, "AXRow", Frame{0, 500, 600, 24}, "");
  add(add(row, "AXGroup", Frame{0, 500, 300, 24}, "", {}), "AXStaticText", Frame{0, 500, 100, 24},
      "Row text", {});
  add(row, "AXTextField", Frame{300, 500, 200, 24}, "Field in row");
  EXPECT_EQ(sorted(names(walk(a))), (Names{"On", "Outer", "Pair", "Pair", "Row text", "Twin"}));
}

TEST_F(WindowWalkTest, ListItemsAreClickedAndNamedByTheTextsThatTellThemApart) {
  const Id grid = ax.add(a.window, "AXTable", Frame{0, 0, 600, 400});
  for (const std::string font : {"Serif", "Sans"}) {  // each tile shows "Aa" in its font
    const Id tile = add(grid, "AXCell", Frame{font == "Sans" ? 300.0 : 0, 0, 280, 150}, "", {});
    ax.set(tile, "AXFocusable", true);
    add(tile, "AXStaticText", Frame{}, "Aa", {});
    add(tile, "AXStaticText", Frame{}, font, {});
  }
  ax.set(add(grid, "AXRow", Frame{0, 250, 280, 20}, "Selectable row", {}), "AXSelectable", true);
  add(grid, "AXCell", Frame{0, 200, 280, 20}, "Unfocusable", {});
  const Id row = add(grid, "AXRow", Frame{0, 300, 280, 20}, "Pressable row");
  ax.set(add(row, "AXCell", Frame{0, 300, 100, 20}, "In a row", {}), "AXFocusable", true);
  const Id swatch = add(grid, "AXCell", Frame{300, 300, 50, 40}, "Swatch", {});
  ax.set(swatch, "AXFocusable", true);
  add(swatch, "AXButton", Frame{303, 303, 44, 34}, "Filling button");  // the item itself
  // A tree view's cells offer an action that does nothing a click does; an icon's has no name.
  ax.set(add(grid, "AXCell", Frame{0, 350, 100, 20}, "Tree cell"), "AXSelectable", true);
  ax.set(add(grid, "AXCell", Frame{100, 350, 20, 20}, ""), "AXSelectable", true);
  // File grids whose tiles name themselves by the application's widget type, as this toolkit
  // does for a widget nobody named, and show the file's name deep inside: two files, and a folder
  // of one. A tile that shows its name, and one that shows nothing, keep theirs.
  ax.set(a.app, "AXTypeNamesForNoName", true);
  const auto tile = [&](Id list, double x, const std::string& name, const std::string& shows) {
    const Id made = add(list, "AXCell", Frame{x, 500, 140, 130}, name, {});
    ax.set(made, "AXFocusable", true);
    Id box = ax.add(made, "AXGroup");
    for (int level = 0; level < 4; ++level)
      box = ax.add(box, "AXGroup");
    add(box, "AXStaticText", Frame{}, shows, {});
  };
  const Id files = ax.add(a.window, "AXTable", Frame{0, 500, 300, 200});
  tile(files, 0, "FileGridCell", "ImageMagick");
  tile(files, 150, "FileGridCell", "notes.txt");
  tile(ax.add(a.window, "AXTable", Frame{300, 500, 150, 200}), 300, "FileGridCell", "report.txt");
  tile(ax.add(a.window, "AXTable", Frame{450, 500, 150, 200}), 450, "GitHub", "GitHub");
  const Id other = ax.add(a.window, "AXList", Frame{700, 500, 200, 200});
  ax.set(add(other, "AXRow", Frame{700, 500, 200, 30}, "ThingRow", {}), "AXFocusable", true);
  // A row whose only name of its own is its tool tip shows its name.
  const Id place = add(other, "AXRow", Frame{700, 550, 200, 30}, "", {});
  ax.set(place, "AXFocusable", true);
  ax.set(place, "AXDescription", "Open your personal folder");
  add(ax.add(place, "AXGroup"), "AXStaticText", Frame{}, "Home", {});
  const auto result = walk(a);
  EXPECT_EQ(names(result), (Names{"Serif", "Sans", "Selectable row", "Pressable row",
                                  "Filling button", "Tree cell", "ImageMagick", "notes.txt",
                                  "report.txt", "GitHub", "ThingRow", "Home"}));
  for (std::size_t i = 0; i < result.elements.size(); ++i)
    EXPECT_EQ(result.elements[i].pressAction == AXElementBox::click, i != 3 && i != 4) << i;

  // Where the toolkit never stands in a type, a name every item gives itself is theirs (a list
  // of one site's pages).
  const App pages = makeApp();
  const Id list = ax.add(pages.window, "AXList", Frame{0, 0, 400, 400});
  for (const std::string page : {"Pull requests", "Issues"}) {
    const Id row = add(list, "AXRow", Frame{0, page == "Issues" ? 40.0 : 0, 400, 30}, "GitHub", {});
    ax.set(row, "AXFocusable", true);
    add(row, "AXStaticText", Frame{}, page, {});
  }
  EXPECT_EQ(names(walk(pages)), (Names{"GitHub", "GitHub"}));
}

TEST_F(WindowWalkTest, NamingFallbacks) {
  struct Case {
    std::string role;
    std::vector<std::string> actions;
    std::optional<std::string> roleDescription;
    Frame size;
    std::optional<std::string> expected;
  };
  const Frame usual{0, 0, 80, 20};
  const std::vector<Case> cases = {
      {"AXButton", {}, std::nullopt, usual, std::nullopt},
      {"AXButton", press, std::nullopt, usual, "Item"},
      {"AXLink", {}, "link", usual, "link"},
      {"AXSecureTextField", {}, std::nullopt, usual, "Password field"},
      {"AXSearchField", {}, std::nullopt, usual, "Text field"},
      {"AXTextArea", {}, std::nullopt, usual, "Text area"},
      {"AXStaticText", press, "text", {0, 0, 40, 40}, "text"},
      {"AXStaticText", press, std::nullopt, {0, 0, 40, 20}, std::nullopt},
      {"AXMenuItem", press, "menu item", {0, 0, 80, 8}, std::nullopt},  // a separator
  };
  for (const Case& c : cases) {
    const App app = makeApp();
    const Id node =
        add(app.window, c.role, Frame{100, 100, c.size.width, c.size.height}, "", c.actions);
    if (c.roleDescription) ax.set(node, "AXRoleDescription", *c.roleDescription);
    const auto result = walk(app);
    EXPECT_EQ(names(result), c.expected ? Names{*c.expected} : Names{}) << c.role;
  }
}

TEST_F(WindowWalkTest, ClippedAndBorrowedFrames) {
  const Id scroll = ax.add(a.window, "AXScrollArea", Frame{0, 100, 400, 200});
  add(scroll, "AXButton", Frame{10, 260, 100, 60}, "Half");
  add(scroll, "AXButton", Frame{10, 400, 100, 60}, "Outside");
  const Id group = ax.add(a.window, "AXGroup", Frame{500, 100, 100, 50});
  add(group, "AXButton", Frame{500, 130, 100, 40}, "GroupsDoNotClip");
  const Id narrow = ax.add(a.window, "AXGroup", Frame{0, 400, 300, 24});
  add(narrow, "AXCheckBox", Frame{5, 410, 2, 2}, "Agree");
  const Id wide = ax.add(a.window, "AXGroup", Frame{0, 500, 500, 24});
  add(wide, "AXCheckBox", Frame{5, 510, 2, 2}, "Wide");
  const Id looping = add(a.window, "AXRadioButton", Frame{5, 600, 2, 2}, "OwnParent");
  ax.set(looping, "AXParent", FakeAccessibility::Ref{looping});

  const auto result = walk(a);
  ASSERT_EQ(names(result), (Names{"GroupsDoNotClip", "Half", "Agree"}));
  struct Expected {
    Frame target;
    Frame box;
    std::optional<Frame> click;
  };
  const std::vector<Expected> expected = {
      {{500, 130, 100, 40}, {500, 130, 100, 40}, std::nullopt},
      {{10, 260, 100, 40}, {10, 260, 100, 60}, Frame{10, 260, 100, 40}},
      {{0, 400, 300, 24}, {5, 410, 2, 2}, Frame{0, 400, 300, 24}},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(result.targets[i].frame, expected[i].target) << i;
    EXPECT_EQ(result.elements[i].frame, expected[i].box) << i;
    EXPECT_EQ(result.elements[i].clickFrame, expected[i].click) << i;
  }
}

TEST_F(WindowWalkTest, ClickableCandidatesAndHoverTargets) {
  // Window area 800000; 0.4 of it is 320000.
  add(a.window, "AXGroup", Frame{0, 0, 700, 500}, "Big");
  add(a.window, "AXImage", Frame{0, 600, 100, 40}, "");
  add(a.window, "AXImage", Frame{200, 600, 40, 40}, "");
  const Id captioned = add(a.window, "AXImage", Frame{300, 600, 120, 60}, "");
  const Id caption = ax.add(captioned, "AXStaticText", Frame{300, 600, 100, 20});
  ax.set(caption, "AXValue", std::string(100, 'c'));
  const Id cell = add(a.window, "AXCell", Frame{500, 600, 200, 40}, "Cell");
  add(cell, "AXButton", Frame{510, 605, 50, 20}, "InCell");
  // Below a target, even drawn outside it, nothing becomes a candidate.
  const Id holder = add(a.window, "AXButton", Frame{800, 0, 50, 20}, "Holder");
  add(holder, "AXImage", Frame{800, 300, 40, 40}, "");
  const Id card = add(a.window, "AXGroup", Frame{0, 700, 200, 50}, "Card");
  add(card, "AXButton", Frame{150, 710, 0, 20}, "Reveal");
  const Id nameless = add(a.window, "AXGroup", Frame{300, 700, 200, 50}, "");
  add(nameless, "AXButton", Frame{450, 710, 20, 0}, "Reveal2");

  const auto result = walk(a);
  EXPECT_EQ(sorted(names(result)), sorted(Names{"Button", std::string(80, 'c'), "Holder", "InCell",
                                                "Card", "Show actions"}));
  const auto& hover = result.elements.at(indexOf(result, "Card"));
  EXPECT_EQ(hover.pressAction, std::string(AXElementBox::hover));
  EXPECT_EQ(hover.role, "AXGroup");
  EXPECT_TRUE(hover.actions.empty());
  EXPECT_EQ(result.elements.at(indexOf(result, "Button")).frame, (Frame{200, 600, 40, 40}));
  EXPECT_EQ(result.elements.at(indexOf(result, "Button")).actions, press);
}

TEST_F(WindowWalkTest, ChromeFirstAndWindowFacts) {
  const Id scroll = ax.add(a.window, "AXScrollArea", Frame{0, 100, 1000, 700});
  for (int i = 0; i < 5; ++i)
    add(scroll, "AXButton", Frame{10, 120 + 30.0 * i, 80, 20}, "Doc" + std::to_string(i));
  const Id close = add(a.window, "AXButton", Frame{5, 5, 12, 12}, "Close");
  ax.set(close, "AXSubrole", std::string("AXCloseButton"));
  ax.set(a.window, "AXSubrole", std::string("AXStandardWindow"));
  auto result = walk(a);
  EXPECT_EQ(result.targets.size(), 6u);
  EXPECT_EQ(result.contentTargets, 5);
  EXPECT_TRUE(result.windowCanBeFullScreen);
  EXPECT_EQ(result.visitedNodes, 8);

  budget.maxNodes = 3;  // the window, its close button, the scroll area
  result = walk(a);
  EXPECT_EQ(names(result), Names{"Close"});
  EXPECT_TRUE(result.truncated);

  // A bar inside the content, after a long page: a read out of budget has still reached the
  // bar's button, one level down, before the page's own, two levels down.
  const App nested = makeApp();
  const Id box = ax.add(nested.window, "AXGroup", Frame{0, 0, 1000, 800});
  const Id page =
      ax.add(ax.add(box, "AXGroup", Frame{0, 60, 1000, 740}), "AXGroup", Frame{0, 60, 1000, 740});
  for (int i = 0; i < 5; ++i)
    add(page, "AXButton", Frame{10, 100 + 30.0 * i, 80, 20}, "Row" + std::to_string(i));
  add(ax.add(box, "AXToolbar", Frame{0, 0, 1000, 50}), "AXButton", Frame{10, 10, 60, 30}, "Open");
  budget.maxNodes = 6;  // the window, the box, the page's two groups, the bar and its button
  result = walk(nested);
  EXPECT_EQ(names(result), Names{"Open"});
  EXPECT_TRUE(result.truncated);

  const App plain = makeApp();
  ax.set(plain.window, "AXFullScreen", false);
  EXPECT_FALSE(walk(plain).windowCanBeFullScreen);
  ax.set(plain.window, "AXFullScreen", 1.0);
  EXPECT_TRUE(walk(plain).windowCanBeFullScreen);
}

TEST_F(WindowWalkTest, LinkWakingOncePerProcess) {
  auto enhancedWrites = [&](Id app) {
    const auto writes = ax.writes();
    return std::count_if(writes.begin(), writes.end(), [&](const auto& w) {
      return w.node == app && w.attribute == "AXEnhancedUserInterface";
    });
  };
  EXPECT_TRUE(walk(a).treeWasAsleep);  // woken by this first walk
  add(a.window, "AXLink", Frame{10, 10, 80, 20}, "One", {"AXShowMenu"});
  add(a.window, "AXLink", Frame{10, 40, 80, 20}, "Two", {});
  EXPECT_TRUE(walk(a).treeWasAsleep);
  EXPECT_FALSE(walk(a).treeWasAsleep);
  EXPECT_EQ(enhancedWrites(a.app), 1);

  const App pressing = makeApp();
  add(pressing.window, "AXLink", Frame{10, 10, 80, 20}, "One", {});
  add(pressing.window, "AXLink", Frame{10, 40, 80, 20}, "Two", press);
  walk(pressing);
  EXPECT_EQ(enhancedWrites(pressing.app), 0);
}

TEST_F(WindowWalkTest, TimeBudgetInVirtualTime) {
  // Three levels down, so that neither the root's chrome sorting nor the popover search reads
  // the 300 roles up front.
  const App tall = makeApp(Frame{0, 0, 1000, 20000});
  const Id list = ax.add(ax.add(tall.window, "AXScrollArea", Frame{0, 0, 1000, 20000}), "AXList",
                         Frame{0, 0, 1000, 20000});
  for (int i = 0; i < 300; ++i)
    add(list, "AXButton", Frame{10, 30.0 * i, 80, 20}, "B" + std::to_string(i));
  ax.messageCost = 0.01;
  const auto result = walk(tall);
  EXPECT_TRUE(result.truncated);
  EXPECT_GT(result.elapsed, budget.seconds);
  EXPECT_LT(result.elapsed, budget.seconds + 0.15);  // stopped before the next node
  ASSERT_FALSE(result.targets.empty());
  EXPECT_LT(result.targets.size(), 300u);
  EXPECT_EQ(result.targets.back().name, "B" + std::to_string(result.targets.size() - 1));
}

TEST_F(WindowWalkTest, UnresponsiveNodeCostsItsTimeOut) {
  const Id slow = add(a.window, "AXGroup", Frame{0, 0, 100, 100}, "Slow");
  add(a.window, "AXButton", Frame{10, 200, 80, 20}, "Fine");
  ax.setUnresponsive(slow);
  budget.seconds = 5;
  const auto result = walk(a);
  EXPECT_EQ(names(result), Names{"Fine"});
  EXPECT_EQ(ax.timeoutSetOn(slow), 0.25);
  EXPECT_GT(ax.messages(slow), 0);
  EXPECT_NEAR(result.elapsed, 0.25 * ax.messages(slow), 1e-9);
}

TEST_F(WindowWalkTest, HostileTreesEndWell) {
  // A child list that leads back to the window ends on the depth limit, each target once.
  const Id loop = ax.add(a.window, "AXGroup", Frame{0, 0, 500, 500});
  add(loop, "AXButton", Frame{10, 10, 80, 20}, "Loop");
  ax.set(loop, "AXChildren", FakeAccessibility::RefList{{loop + 1, a.window}});
  auto result = walk(a);
  EXPECT_TRUE(result.truncated);
  EXPECT_EQ(names(result), Names{"Loop"});

  // Non-finite frames are no frames; beyond any integer's range, positions stay distinct.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const App wild = makeApp(Frame{0, 0, 1e31, 800});
  const Id broken = add(wild.window, "AXButton", Frame{nan, 10, 80, 20}, "Broken");
  add(broken, "AXButton", Frame{10, 10, 80, 20}, "Child");
  add(wild.window, "AXButton", Frame{0, 100, std::numeric_limits<double>::infinity(), 20},
      "Endless");
  add(wild.window, "AXButton", Frame{1e30, 200, 100, 20}, "Far");
  add(wild.window, "AXButton", Frame{2e30, 200, 100, 20}, "Far");
  result = walk(wild);
  EXPECT_EQ(names(result), (Names{"Child", "Far", "Far"}));
}

}  // namespace
}  // namespace tovrel
