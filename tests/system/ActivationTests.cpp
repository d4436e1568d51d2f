#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/FakeAccessibility.hpp"
#include "platform/fake/FakeDisplays.hpp"
#include "platform/fake/FakeWorkspace.hpp"
#include "system/AccessibilityTargets.hpp"

namespace tovrel {
namespace {

using platform::AXError;
using platform::fake::FakeAccessibility;
using Frame = HintTarget::Frame;
using Id = FakeAccessibility::NodeId;
using Change = std::function<void(FakeAccessibility&, Id)>;
namespace AT = AccessibilityTargets;
using Outcome = AT::SemanticOutcome;
using AT::Revalidation;

struct ActivationTest : ::testing::Test {
  platform::fake::FakeClock clock;
  FakeAccessibility ax{clock};
  platform::fake::FakeWorkspace workspace;
  platform::fake::FakeDisplayServices displays;
  platform::fake::FakeExecutor executor;
  DiscoveryServices services{ax, workspace, displays, clock, executor};
  const std::int32_t pid = 4105;
  Id app = ax.addApplication(pid);
  Id window = ax.add(app, "AXWindow", Frame{0, 0, 1000, 800});

  AXElementBox box(Id node, std::string role, Frame frame, std::vector<std::string> actions = {},
                   std::optional<std::string> pressAction = std::nullopt) {
    return {ax.element(node),   std::move(role),        frame,
            std::move(actions), std::move(pressAction), std::nullopt};
  }
};

TEST_F(ActivationTest, RevalidationToleratesSmallMovesOnly) {
  const Frame stored{100, 100, 50, 20};
  const auto moved = [](Frame f) { return [=](auto& ax, Id n) { ax.setFrame(n, f); }; };
  const struct {
    Change change;
    std::optional<Frame> valid;
  } cases[] = {
      {[](auto&, Id) {}, stored},
      {moved({103, 100, 50, 20}), {}},
      {moved({102.9, 100, 50, 20}), Frame{102.9, 100, 50, 20}},
      {moved({100, 97, 50, 20}), {}},
      {moved({100, 100, 53, 20}), {}},
      {moved({100, 100, 50, 17.1}), Frame{100, 100, 50, 17.1}},
      {moved({100, 100, 50, 23}), {}},
      {[](auto& ax, Id n) { ax.setFrame(n, std::nullopt); }, {}},
      {[](auto& ax, Id n) { ax.set(n, "AXRole", std::string("AXLink")); }, {}},
      {[](auto& ax, Id n) { ax.set(n, "AXEnabled", false); }, {}},
      {[](auto& ax, Id n) { ax.set(n, "AXEnabled", true); }, stored},
      {[](auto& ax, Id n) { ax.failAttribute(n, "AXEnabled", AXError::cannotComplete); }, stored},
      {[](auto& ax, Id n) { ax.destroy(n); }, {}},
  };
  for (const auto& c : cases) {
    const Id node = ax.add(window, "AXButton", stored);
    c.change(ax, node);
    const auto expected = c.valid ? Revalidation::valid(*c.valid) : Revalidation::changed();
    EXPECT_EQ(AT::revalidate(box(node, "AXButton", stored)), expected) << &c - cases;
  }
}

std::string text(const Outcome& outcome) {
  if (outcome.kind() == Outcome::Kind::pressed) return "pressed";
  if (outcome.kind() == Outcome::Kind::focused) return "focused";
  return outcome.reason();
}

TEST_F(ActivationTest, SemanticActionsAndTheirReasons) {
  using enum TargetAction;
  using E = AXError;
  const auto ok = E::success;
  const std::string hover(AXElementBox::hover);
  const std::vector<std::string> P{"AXPress"}, menu{"AXPress", "AXShowMenu"};
  const struct {
    std::string role;
    std::vector<std::string> actions;
    std::optional<std::string> pressAction;
    TargetAction action;
    AXError error;  // of every action and write tried
    bool asks;      // the application is sent a message
    std::string expected;
    std::string performed = "";
    bool keep = true;  // a written value reads back
  } cases[] = {
      {"AXButton", menu, {}, doubleClick, ok, false, "needs the pointer"},
      {"AXButton", menu, {}, movePointer, ok, false, "needs the pointer"},
      {"AXButton", P, {}, rightClick, ok, false, "no menu action"},
      {"AXButton", menu, {}, rightClick, ok, true, "pressed", "AXShowMenu"},
      {"AXButton", menu, {}, rightClick, E::failure, true, "menu error -25200"},
      {"AXButton", P, "AXRaise", press, ok, true, "pressed", "AXRaise"},
      {"AXButton", P, "Scroll to visible part", press, E::failure, true,
       "Scroll to visible pa error -25200"},
      {"AXButton", P, "Öffne die Überschrift", press, E::failure, true,
       "Öffne die Überschrif error -25200"},
      {"AXTextField", {}, hover, press, ok, true, "focused"},
      {"AXSearchField", P, {}, press, E::attributeUnsupported, true, "focus error -25205"},
      {"AXRow", {}, hover, press, ok, true, "pressed"},
      {"AXRow", {}, {}, press, ok, true, "row not selectable", "", false},
      {"AXRow", {}, {}, press, E::failure, true, "select error -25200"},
      {"AXCell", P, std::string(AXElementBox::click), press, ok, false, "pressed by a click"},
      {"AXButton", {"AXShowMenu"}, {}, press, ok, false, "no press action"},
      {"AXButton", P, hover, press, ok, true, "pressed", "AXPress"},
      {"AXPopUpButton", P, {}, press, E::cannotComplete, true, "pressed"},
      {"AXButton", P, {}, press, E::cannotComplete, true, "press error -25204"},
      {"AXMenuButton", P, {}, press, E::failure, true, "press error -25200"},
  };
  for (const auto& c : cases) {
    auto actions = c.actions;
    if (c.pressAction && *c.pressAction != hover) actions.push_back(*c.pressAction);
    const Id node = ax.add(window, c.role, Frame{10, 10, 40, 20}, actions);
    if (c.error != ok) {
      for (const auto& action : actions)
        ax.setActionResult(node, action, c.error);
      ax.setWriteResult(node, "AXFocused", c.error);
      ax.setWriteResult(node, "AXSelected", c.error);
    }
    if (!c.keep) ax.setWriteResult(node, "AXSelected", ok, false);
    const int messagesBefore = ax.messages();
    const auto outcome = AT::performSemantic(
        box(node, c.role, {10, 10, 40, 20}, c.actions, c.pressAction), c.action);
    EXPECT_EQ(text(outcome), c.expected) << &c - cases;
    std::string performed;
    for (const auto& p : ax.performed())
      if (p.node == node) performed += p.action;
    EXPECT_EQ(performed, c.performed) << &c - cases;
    EXPECT_EQ(ax.messages() != messagesBefore, c.asks) << &c - cases;
  }
  const auto writes = ax.writes();
  EXPECT_TRUE(std::any_of(writes.begin(), writes.end(), [](const auto& w) {
    return w.attribute == "AXFocused" && w.value == platform::AXValue(true);
  }));
  // The actions found at discovery decide, not the element's actions now.
  const Id grown = ax.add(window, "AXButton", Frame{}, {"AXPress"});
  EXPECT_EQ(AT::performSemantic(box(grown, "AXButton", {}), press),
            Outcome::unsupported("no press action"));
}

TEST_F(ActivationTest, RowsPressTheContentThatFillsThem) {
  const Frame row{0, 0, 200, 50};
  const struct {
    std::vector<std::pair<std::string, std::optional<Frame>>> children;  // all can be pressed
    int pressed;  // the child pressed, -1 for the row
  } cases[] = {
      {{{"AXGroup", Frame{0, 0, 140, 50}}}, 0},
      {{{"AXGroup", Frame{0, 0, 138, 50}}}, -1},
      {{{"AXGroup", Frame{60, 0, 300, 50}}}, 0},
      {{{"AXGroup", Frame{61, 0, 300, 50}}}, -1},
      {{{"AXStaticText", row}}, -1},
      {{{"AXGroup", std::nullopt}}, -1},
      {{{"AXGroup", Frame{0, 0, 9, 9}}, {"AXGroup", row}}, 1},
      {{}, -1},
  };
  for (const auto& c : cases) {
    const Id node = ax.add(window, "AXRow", row, {"AXPress"});
    std::vector<Id> children;
    for (const auto& [role, frame] : c.children)
      children.push_back(ax.add(node, role, frame, {"AXPress"}));
    ax.add(node, "AXGroup", row);  // fills the row but cannot be pressed
    EXPECT_EQ(AT::performSemantic(box(node, "AXRow", row, {"AXPress"}), TargetAction::press),
              Outcome::pressed());
    const Id expected = c.pressed < 0 ? node : children[static_cast<std::size_t>(c.pressed)];
    EXPECT_EQ(ax.performed().back().node, expected) << &c - cases;
  }
}

TEST_F(ActivationTest, HitsOnTheElementItsContentOrItsTwinReachIt) {
  const Frame frame{100, 100, 50, 20};
  const Id target = ax.add(window, "AXButton", frame);
  std::vector<Id> below{ax.add(target, "AXStaticText", Frame{100, 100, 10, 10})};
  for (int i = 0; i < 42; ++i)
    below.push_back(ax.add(below.back(), "AXGroup", Frame{0, 0, 1, 1}));
  const Id cycle = ax.add(window, "AXGroup");
  ax.set(cycle, "AXParent", FakeAccessibility::Ref{ax.add(cycle, "AXGroup")});
  const Id bare = ax.add(window, "AXButton");
  const Id unnamed = ax.add(window, "AXGroup", Frame{5, 5, 5, 5});
  ax.failAttribute(unnamed, "AXRole", AXError::cannotComplete);
  const Id unnamedTwin = ax.add(window, "AXGroup", Frame{5, 5, 5, 5});
  ax.erase(unnamedTwin, "AXRole");
  const struct {
    Id candidate, target;
    bool reaches;
  } cases[] = {
      {target, target, true},
      {below[0], target, true},
      {below[38], target, true},  // 39 steps above it
      {below[39], target, false},
      {ax.add(window, "AXButton", frame), target, true},
      {ax.add(window, "AXButton", Frame{100, 100, 50, 21}), target, false},
      {ax.add(window, "AXLink", frame), target, false},
      {cycle, target, false},
      {ax.add(window, "AXButton"), bare, false},
      {bare, bare, true},
      {unnamedTwin, unnamed, true},
      {ax.add(window, "AXGroup", Frame{5, 5, 5, 5}), unnamed, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AT::isSelfOrDescendant(ax.element(c.candidate), ax.element(c.target)), c.reaches)
        << &c - cases;
  }
  EXPECT_LE(ax.messages(cycle), 6);  // left at the first repeat
}

TEST_F(ActivationTest, ReachablePointTriesFewPointsTwice) {
  const Frame frame{0, 0, 400, 100};
  const Id element = ax.add(window, "AXButton", frame, {"AXPress"});
  const Id first = ax.add(element, "AXStaticText", Frame{5, 10, 20, 20});
  const Id group = ax.add(element, "AXGroup", Frame{0, 40, 400, 40});
  Id deep = group;
  for (int level = 0; level < 3; ++level)
    deep = ax.add(deep, "AXGroup", Frame{0, 40, 400, 40});
  ax.add(deep, "AXStaticText", Frame{300, 10, 20, 20});  // five levels down: not looked at
  ax.add(group, "AXImage", Frame{-50, 0, 20, 20});       // centre outside the element
  std::vector<Id> texts;
  for (int i = 0; i < 9; ++i)
    texts.push_back(ax.add(group, "AXStaticText", Frame{30.0 * i + 5, 45, 20, 20}));
  const Id cover = ax.add(window, "AXGroup", Frame{0, 0, 1000, 800});
  const Point preferred{390, 90};
  ax.addHit(pid, Frame{-1000, -1000, 3000, 3000}, cover);
  // Every point once, then again up to the one that reaches the element.
  const auto reach = [&](Frame area, Id node, int secondPass = 10) {
    ax.addHit(pid, area, node);
    const int hits = ax.hitTests();
    const double start = clock.now;
    const Point point = AT::reachablePoint(services, box(element, "AXButton", frame), preferred);
    EXPECT_NEAR(clock.now - start, 0.03, 1e-9);
    EXPECT_EQ(ax.hitTests() - hits, 10 + secondPass);
    ax.addHit(pid, area, cover);
    return point;
  };
  // Only eight fit after the two given points, in reading order: the first text, then the group's
  // first seven.
  EXPECT_EQ(reach({14, 19, 2, 2}, first, 3), (Point{15, 20}));
  EXPECT_EQ(reach({194, 54, 2, 2}, texts[6]), (Point{195, 55}));
  EXPECT_EQ(reach({224, 54, 2, 2}, texts[7]), preferred);
  EXPECT_NEAR(ax.timeoutSetOn(app), 0.1, 1e-12);

  ax.addHit(pid, Frame{200, 50, 1, 1}, ax.add(window, "AXButton", frame));  // a twin
  const int hits = ax.hitTests();
  EXPECT_EQ(AT::reachablePoint(services, box(element, "AXButton", frame), preferred),
            (Point{200, 50}));
  EXPECT_EQ(ax.hitTests() - hits, 10 + 2);

  ax.setPidUnreadable(element);
  const double start = clock.now;
  EXPECT_EQ(AT::reachablePoint(services, box(element, "AXButton", frame), {7, 8}), (Point{7, 8}));
  EXPECT_EQ(ax.hitTests() - hits, 12);
  EXPECT_EQ(clock.now, start);
}

TEST_F(ActivationTest, AnItemIsClickedOnItsTextNotOnAControlItHolds) {
  // A grid's row whose middle cell is a link: the row's centre lies on the link.
  const Frame rowFrame{0, 100, 600, 30};
  const Id row = ax.add(window, "AXRow", rowFrame);
  const Id name =
      ax.add(ax.add(row, "AXCell", Frame{0, 100, 200, 30}), "AXStaticText", Frame{10, 105, 40, 20});
  const Id link = ax.add(ax.add(row, "AXCell", Frame{200, 100, 200, 30}), "AXLink",
                         Frame{200, 100, 200, 30}, {"AXPress"});
  const Id linkText = ax.add(link, "AXStaticText", Frame{210, 105, 180, 20});
  ax.add(ax.add(row, "AXCell", Frame{400, 100, 200, 30}), "AXStaticText", Frame{410, 105, 60, 20});
  ax.addHit(pid, rowFrame, row);
  ax.addHit(pid, Frame{200, 100, 200, 30}, linkText);
  ax.addHit(pid, Frame{10, 105, 40, 20}, name);
  const Point centre = rowFrame.center();
  EXPECT_EQ(AT::reachablePoint(services, box(row, "AXRow", rowFrame, {}, "Tovrel.click"), centre),
            (Point{30, 115}));
  // A press that is not a click of the item lands anywhere within it.
  EXPECT_EQ(AT::reachablePoint(services, box(row, "AXRow", rowFrame), centre), centre);
  // Nothing but the control: the centre, as before.
  ax.addHit(pid, Frame{10, 105, 40, 20}, linkText);
  ax.addHit(pid, rowFrame, linkText);
  EXPECT_EQ(AT::reachablePoint(services, box(row, "AXRow", rowFrame, {}, "Tovrel.click"), centre),
            centre);

  // What wraps all an item shows (a button holding an option's text, a row filling a cell) is the
  // item's own: a point on it reaches the item, where its padding answers with the list.
  for (const auto& [role, wrapper] :
       {std::pair("AXRow", "AXButton"), std::pair("AXCell", "AXRow")}) {
    const Frame item{0, 300, 600, 40};
    const Id held = ax.add(window, role, item);
    const Id inner = ax.add(held, wrapper, Frame{6, 306, 400, 28}, {"AXPress"});
    const Id text = ax.add(inner, "AXStaticText", Frame{10, 310, 80, 20});
    ax.addHit(pid, item, window);
    ax.addHit(pid, Frame{6, 306, 400, 28}, inner);
    ax.addHit(pid, Frame{10, 310, 80, 20}, text);
    EXPECT_EQ(AT::reachablePoint(services, box(held, role, item, {}, "Tovrel.click"), {590, 320}),
              item.center())
        << wrapper;
  }
}

}  // namespace
}  // namespace tovrel
