#include <gtest/gtest.h>

#include <limits>
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
using platform::Rect;
using platform::fake::FakeAccessibility;
using Id = FakeAccessibility::NodeId;
using Ref = FakeAccessibility::Ref;

// Woken trees are remembered for the whole process, so every scene gets unused pids.
std::int32_t freshPid() {
  static std::int32_t next = 62000;
  return next++;
}

struct Desk {
  platform::fake::FakeClock clock;
  FakeAccessibility ax{clock};
  platform::fake::FakeWorkspace workspace;
  platform::fake::FakeDisplayServices displays{{Rect{0, 0, 1920, 1080}}};
  platform::fake::FakeExecutor executor;
  DiscoveryServices services{ax, workspace, displays, clock, executor};
  std::int32_t pid = freshPid();
  Id app = ax.addApplication(pid);

  Id item(Id parent, const std::string& role, std::optional<Rect> frame, const std::string& title,
          std::vector<std::string> actions = {"AXPress"}) {
    const Id node = ax.add(parent, role, frame, std::move(actions));
    if (!title.empty()) ax.set(node, "AXTitle", title);
    return node;
  }
  Id window(Rect frame) { return ax.add(app, "AXWindow", frame); }
};

TEST(TargetAudit, ReportLines) {
  Desk desk;
  const Id window = desk.window({0, 100, 800, 600});
  desk.ax.set(desk.app, "AXMainWindow", Ref{window});
  std::vector<TargetPair> pairs;
  const auto label = [&](Id node, const std::string& name) {
    const auto frame = *AccessibilityTargets::frame(desk.ax.element(node));
    const std::string role =
        *AccessibilityTargets::stringAttribute(desk.ax.element(node), "AXRole");
    pairs.push_back({{name, role, frame}, {desk.ax.element(node), role, frame, {}, {}, {}}});
  };
  // The click lands on a child of the button: fine.
  const Id open = desk.item(window, "AXButton", Rect{20, 120, 100, 30}, "Open");
  desk.item(open, "AXImage", Rect{20, 130, 100, 20}, "", {"AXPress"});
  label(open, "Open");
  // Hidden under a later sibling; the name is cut to 40 characters, a letter kept with its accent.
  const std::string longName = std::string(36, 'a') +
                               "e\xCC\x81\xC3\xA8\xC3\xAA"
                               "e\xCC\x88\xC3\xBC";
  label(desk.item(window, "AXButton", Rect{200, 120, 100, 30}, "Hidden"), longName);
  desk.item(window, "AXGroup", Rect{180, 110, 200, 60}, "Overlay covering the whole toolbar area",
            {});
  // Only its lower edge is covered: the pointer can go to its centre.
  label(desk.item(window, "AXButton", Rect{420, 120, 100, 30}, "Partial"), "Partial");
  desk.item(window, "AXGroup", Rect{400, 138, 140, 12}, "", {});
  // The hit test answers the button's container.
  const Id holder = desk.item(window, "AXGroup", Rect{590, 110, 100, 60}, "", {});
  const Id tiny = desk.item(holder, "AXButton", Rect{600, 120, 40, 30}, "Tiny");
  desk.ax.addHit(desk.pid, {600, 120, 40, 30}, holder);
  label(tiny, "Tiny");
  const Id card = desk.item(window, "AXGroup", Rect{20, 300, 300, 100}, "Card");
  desk.item(desk.ax.add(card, "AXGroup"), "AXButton", Rect{40, 320, 50, 20}, "Inside");
  label(card, "Card");
  // A grid's tile, which the toolkit's hit test answers with the grid: a click presses it.
  const Id grid = desk.item(window, "AXTable", Rect{20, 450, 300, 100}, "", {});
  const Id tile = desk.item(grid, "AXCell", Rect{30, 460, 80, 60}, "", {});
  desk.ax.addHit(desk.pid, {30, 460, 80, 60}, grid);
  pairs.push_back({{"Tile", "AXCell", {30, 460, 80, 60}},
                   {desk.ax.element(tile),
                    "AXCell",
                    {30, 460, 80, 60},
                    {},
                    std::string(AXElementBox::click),
                    {}}});
  // Never click-checked: a menu-bar item and another process's item, both over the window.
  label(desk.item(desk.app, "AXMenuBarItem", Rect{700, 650, 40, 22}, "File"), "File");
  desk.ax.addHit(desk.pid, {700, 650, 40, 22}, window);
  Desk dock;
  const Id files = dock.item(dock.app, "AXDockItem", Rect{720, 600, 40, 40}, "Files");
  pairs.push_back({{"Files", "AXDockItem", {720, 600, 40, 40}},
                   {dock.ax.element(files), "AXDockItem", {720, 600, 40, 40}, {}, {}, {}}});
  desk.item(window, "AXButton", Rect{500, 300, 60, 30}, "Lost");
  desk.item(window, "AXButton", Rect{900, 300, 60, 30}, "Outside the window");
  desk.item(window, "AXButton", Rect{600, 300, 3, 3}, "Too small");

  DiscoveryResult result;
  result.scope = "focused window";
  result.visitedNodes = 42;
  result.truncated = true;
  result.elapsed = 0.01299;
  result.append(pairs);  // reading order, as a discovery hands them over
  const std::string cut = std::string(36, 'a') +
                          "e\xCC\x81\xC3\xA8\xC3\xAA"
                          "e\xCC\x88";
  EXPECT_EQ(TargetAudit::report(desk.services, desk.pid, result),
            "scope focused window, targets 8, visited 42, truncated true, 12 ms\n"
            "LABEL AXButton \"Open\" (20,120 100x30)\n"
            "LABEL AXButton \"" +
                cut +
                "\" (200,120 100x30)\n"
                "MISS AXButton \"" +
                cut +
                "\" (200,120 100x30) clicks unrelated AXGroup "
                "\"Overlay covering the whole too\" (180,110 200x60)\n"
                "  no reachable point\n"
                "LABEL AXButton \"Partial\" (420,120 100x30)\n"
                "MISS AXButton \"Partial\" (420,120 100x30) clicks unrelated AXGroup \"\" "
                "(400,138 140x12)\n"
                "  pointer goes to (470,135)\n"
                "LABEL AXButton \"Tiny\" (600,120 40x30)\n"
                "MISS AXButton \"Tiny\" (600,120 40x30) clicks its ancestor AXGroup \"\" "
                "(590,110 100x60)\n"
                "  no reachable point\n"
                "LABEL AXGroup \"Card\" (20,300 300x100)\n"
                "LABEL AXCell \"Tile\" (30,460 80x60)\n"
                "  pressed by a click at (70,490)\n"
                "LABEL AXDockItem \"Files\" (720,600 40x40)\n"
                "LABEL AXMenuBarItem \"File\" (700,650 40x22)\n"
                "3 labels click something else\n"
                "UNLABELLED AXButton \"Lost\" (500,300 60x30)\n"
                "1 pressable controls without a label\n");
}

TEST(TargetAudit, FrameText) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(TargetAudit::describe({12.9, 40.2, 300.99, 22}), "(12,40 300x22)");
  EXPECT_EQ(TargetAudit::describe({-0.5, -3.7, 1e12, 0}), "(0,-3 1000000000000x0)");
  EXPECT_EQ(TargetAudit::describe({nan, inf, -inf, 5}), "(?,? ?x5)");
}

TEST(TargetAudit, RunRetriesAsleepTreeAndListsScrollAreas) {
  Desk desk;  // the tree switches on at the first walk
  const Id window = desk.window({0, 0, 1000, 800});
  desk.ax.set(desk.app, "AXFocusedWindow", Ref{window});
  desk.item(window, "AXButton", Rect{10, 10, 80, 24}, "Go");
  desk.item(window, "AXScrollArea", Rect{300.7, 250.2, 400.9, 300.5}, "", {});
  const double before = desk.clock.now;
  std::optional<std::string> text;
  TargetAudit::run(desk.services, desk.pid, [&](std::string audit) { text = std::move(audit); });
  EXPECT_FALSE(text);
  desk.executor.drainMain();
  ASSERT_TRUE(text);
  int wakes = 0;
  for (const auto& write : desk.ax.writes())
    wakes += write.attribute == "AXManualAccessibility";
  EXPECT_EQ(wakes, 3);  // two walks, then the scroll search
  EXPECT_GE(desk.clock.now - before, 1.2);
  EXPECT_EQ(text->rfind("scope focused window, targets 1, visited ", 0), 0U) << *text;
  EXPECT_TRUE(
      text->ends_with("\nLABEL AXButton \"Go\" (10,10 80x24)\n0 labels click something else\n"
                      "0 pressable controls without a label\nscroll context 0 ms\n"
                      "SCROLL AREA (300,250 400x300)\n"))
      << *text;
}

TEST(TargetAudit, Outline) {
  Desk desk;
  EXPECT_EQ(AccessibilityTargets::outline(desk.services, desk.pid, 50), "no window\n");
  const Id one = desk.item(desk.app, "AXWindow", Rect{0, 0, 400, 300}, "One", {});
  desk.ax.set(one, "AXSubrole", std::string("AXStandardWindow"));
  const Id ok = desk.item(one, "AXButton", Rect{10, 20, 80, 24}, "OK",
                          {"AXScrollToVisible", "AXPress", "AXShowMenu"});
  desk.ax.set(ok, "AXEnabled", false);
  desk.item(one, "AXGroup", std::nullopt, "", {});
  const Id two = desk.item(desk.app, "AXWindow", Rect{400.5, 0, 300, 200}, "Two", {});
  desk.ax.set(desk.item(two, "AXStaticText", Rect{410, 10, 50, 20}, "", {}), "AXValue",
              std::string(45, 'x'));
  desk.ax.failAttribute(desk.item(two, "AXCell", Rect{410, 40, 5, 5}, "", {"AXScrollLeft"}),
                        "AXRole", AXError::cannotComplete);
  desk.ax.set(desk.app, "AXWindows", FakeAccessibility::RefList{{one, two}});

  EXPECT_EQ(AccessibilityTargets::outline(desk.services, desk.pid, 50),
            "AXWindow/AXStandardWindow (0,0 400x300) [] \"One\"\n"
            "  AXButton (10,20 80x24) [AXPress,AXShowMenu] disabled \"OK\"\n"
            "  AXGroup (no frame) [] \"\"\n"
            "AXWindow (400,0 300x200) [] \"Two\"\n"
            "  AXStaticText (410,10 50x20) [] \"" +
                std::string(40, 'x') +
                "\"\n"
                "  ? (410,40 5x5) [] \"\"\n");
  EXPECT_EQ(AccessibilityTargets::outline(desk.services, desk.pid, 1),
            "AXWindow/AXStandardWindow (0,0 400x300) [] \"One\"\n");
  desk.ax.set(desk.app, "AXMainWindow", Ref{two});
  EXPECT_EQ(AccessibilityTargets::outline(desk.services, desk.pid, 1),
            "AXWindow (400,0 300x200) [] \"Two\"\n");
  EXPECT_EQ(desk.ax.writes().back().attribute, "AXManualAccessibility");
}

}  // namespace
}  // namespace tovrel
