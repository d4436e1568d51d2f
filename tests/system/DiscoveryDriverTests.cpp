#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/fake/FakeAccessibility.hpp"
#include "platform/fake/FakeDisplays.hpp"
#include "platform/fake/FakeWorkspace.hpp"
#include "system/AccessibilityTargets.hpp"

namespace tovrel {
namespace {

using platform::Rect;
using platform::WindowInfo;
using platform::fake::FakeAccessibility;
using Id = FakeAccessibility::NodeId;
using Ref = FakeAccessibility::Ref;
using Strings = std::vector<std::string>;
namespace AT = AccessibilityTargets;

constexpr Rect screen{0, 0, 1920, 1080};
constexpr Rect targetWindow{100, 100, 800, 600};
const std::vector<Rect> screens{screen};

// Woken trees are remembered for the whole process, so every scene uses unused pids.
std::int32_t freshPid() {
  static std::int32_t next = 61000;
  return next++;
}

template <class List>
Strings names(const List& list) {
  Strings out;
  for (const auto& entry : list) {
    if constexpr (std::is_same_v<typename List::value_type, TargetPair>) {
      out.push_back(entry.first.name);
    } else {
      out.push_back(entry.name);
    }
  }
  return out;
}

// A front window with one button and a menu bar; status items of a clock, of this program and
// of an application that never answers; a dock; one notification banner.
struct Scene {
  platform::fake::FakeClock clock;
  FakeAccessibility ax{clock};
  platform::fake::FakeWorkspace workspace;
  platform::fake::FakeDisplayServices displays{screens};
  platform::fake::FakeExecutor executor;
  DiscoveryServices services{ax, workspace, displays, clock, executor};
  std::int32_t target = freshPid(), clockPid = freshPid(), stuckPid = freshPid();
  Id window, banner, clockBar, files;

  Id app(std::int32_t pid, std::string id, std::optional<std::string> name = std::nullopt) {
    workspace.apps.push_back({pid, std::move(id), std::move(name), std::nullopt});
    const Id node = ax.addApplication(pid);
    // A tree that cannot be switched on is never reported asleep.
    ax.setWriteResult(node, "AXManualAccessibility", platform::AXError::attributeUnsupported);
    return node;
  }
  Id item(Id parent, const std::string& role, Rect frame, const std::string& title,
          Strings actions = {"AXPress"}) {
    const Id node = ax.add(parent, role, frame, std::move(actions));
    if (!title.empty()) ax.set(node, "AXTitle", title);
    return node;
  }
  Id bar(Id application, const std::string& attribute) {
    const Id node = ax.add(application, "AXMenuBar", Rect{0, 0, 1920, 24});
    ax.set(application, attribute, Ref{node});
    return node;
  }
  void set(Id node, const std::string& attribute, FakeAccessibility::Value value) {
    ax.set(node, attribute, std::move(value));
  }

  Scene() {
    item(bar(app(workspace.self, "local.tovrel.Tovrel"), "AXExtrasMenuBar"), "AXMenuBarItem",
         {1700, 0, 24, 22}, "Tovrel");
    const Id editor = app(target, "editor");
    window = ax.add(editor, "AXWindow", targetWindow);
    set(window, "AXSubrole", std::string("AXStandardWindow"));
    set(editor, "AXFocusedWindow", Ref{window});
    item(window, "AXButton", {120, 140, 80, 24}, "Save");
    const Id menu = bar(editor, "AXMenuBar");
    item(menu, "AXMenuBarItem", {10, 0, 40, 22}, "File");
    set(item(menu, "AXMenuBarItem", {60, 0, 40, 22}, "Edit"), "AXEnabled", false);
    item(menu, "AXStaticText", {110, 0, 40, 22}, "Label");
    item(menu, "AXMenuBarItem", {160, 0, 3, 22}, "Thin");

    clockBar = bar(app(clockPid, "clock", "Clock"), "AXExtrasMenuBar");
    item(clockBar, "AXMenuBarItem", {1800, 0, 30, 22}, "");       // named after its application
    item(clockBar, "AXMenuBarItem", {1750, -5, 30, 22}, "Edge");  // top edge above the screen
    const Id stuck = app(stuckPid, "stuck");
    item(bar(stuck, "AXExtrasMenuBar"), "AXMenuBarItem", {1500, 0, 30, 22}, "Stuck");
    ax.setUnresponsive(stuck);

    const Id dock = app(freshPid(), "plank");
    const Id list = ax.add(dock, "AXList", Rect{800, 1030, 500, 50});
    files = item(list, "AXDockItem", {900, 1040, 40, 40}, "Files");
    set(item(list, "AXDockItem", {950, 1040, 10, 40}, "Sep"), "AXSubrole",
        std::string("AXSeparatorDockItem"));
    set(item(list, "AXDockItem", {1000, 1040, 40, 40}, "Off"), "AXEnabled", false);
    item(ax.add(dock, "AXList"), "AXDockItem", {1100, 1040, 40, 40}, "Trash");
    item(ax.add(dock, "AXGroup"), "AXDockItem", {1200, 1040, 40, 40}, "Loose");

    const Id notes = app(freshPid(), "xfce4-notifyd");
    const Id popup = ax.add(notes, "AXWindow", Rect{1500, 40, 400, 300});
    set(notes, "AXWindows", FakeAccessibility::RefList{{popup}});
    banner = item(popup, "AXGroup", {1500, 60, 300, 80}, "Mail arrived",
                  {"AXPress", "Name:Close\nTarget:0x0"});
    set(banner, "AXSubrole", std::string("AXNotificationCenterBanner"));
  }
  DiscoveryResult discover(AT::Extras extras = {}, bool covering = false) {
    return AT::discoverNow(services, target, AT::Budget{}, extras, covering);
  }
};

const Strings everything = {"File",  "Clock", "Close Mail arrived", "Mail arrived", "Save",
                            "Files", "Trash"};
const Strings noExtras = {"Close Mail arrived", "Mail arrived", "Save"};

TEST(DiscoveryDriver, ExtrasFollowChoicesAndPreferences) {
  const Strings noBar = {"Close Mail arrived", "Mail arrived", "Save", "Files", "Trash"};
  const Strings noDock = {"File", "Clock", "Close Mail arrived", "Mail arrived", "Save"};
  struct Case {
    AT::Extras extras;
    std::optional<bool> hideMenuBar, dockHides;
    Strings expected;  // in reading order: the extras are sorted in with the walk's targets
  };
  for (const Case& c : std::vector<Case>{{{}, {}, {}, everything},
                                         {{}, false, false, everything},
                                         {{false, true}, {}, {}, noBar},
                                         {{}, true, {}, noBar},
                                         {{true, false}, {}, {}, noDock},
                                         {{}, {}, true, noDock}}) {
    Scene scene;
    if (c.hideMenuBar) scene.workspace.preferences[{"", "_HIHideMenuBar"}] = *c.hideMenuBar;
    if (c.dockHides) scene.workspace.preferences[{"dock", "autohide"}] = *c.dockHides;
    const DiscoveryResult result = scene.discover(c.extras);
    EXPECT_EQ(names(result.targets), c.expected);
    ASSERT_EQ(result.elements.size(), result.targets.size());
    for (std::size_t i = 0; i < result.targets.size(); ++i) {  // boxes stay with their targets
      EXPECT_EQ(result.elements[i].element == scene.ax.element(scene.files),
                result.targets[i].name == "Files");
    }
  }
}

TEST(DiscoveryDriver, FullScreenWindowKeepsOnlyNotifications) {
  struct Case {
    Rect frame;
    std::optional<bool> fullScreen;
    const char* subrole;
    bool extras;
  };
  for (const Case& c : std::vector<Case>{{screen, true, "AXDialog", false},
                                         {screen, {}, "AXStandardWindow", false},
                                         {screen, {}, "AXDialog", true},
                                         {targetWindow, true, "AXDialog", true}}) {
    Scene scene;
    scene.ax.messageCost = 0.001;
    scene.ax.setFrame(scene.window, c.frame);
    scene.set(scene.window, "AXSubrole", std::string(c.subrole));
    if (c.fullScreen) scene.set(scene.window, "AXFullScreen", *c.fullScreen);
    const double before = scene.clock.now;
    const DiscoveryResult result = scene.discover();
    const double spent = scene.clock.now - before;
    EXPECT_EQ(names(result.targets), c.extras ? everything : noExtras) << c.subrole;
    if (c.extras) {
      EXPECT_NEAR(result.elapsed, spent, 1e-9);
    } else {  // the walk's own time, without the banners' messages
      EXPECT_GT(result.elapsed, 0);
      EXPECT_LT(result.elapsed, spent - 0.005);
    }
  }
}

TEST(DiscoveryDriver, CoveredTargetsAreDropped) {
  const WindowInfo own{0, 0, 1.0, targetWindow};  // owner 0 stands for the target
  const auto cover = [](std::int32_t owner, std::optional<int> layer, double alpha) {
    return WindowInfo{owner, layer, alpha, Rect{140, 130, 100, 50}};  // over Save's centre
  };
  struct Case {
    std::vector<WindowInfo> windows;
    bool bannerOverSave, checkCovering, covered;
  };
  for (const Case& c : std::vector<Case>{
           {{cover(555, 0, 1.0), own}, false, true, true},
           {{cover(555, std::nullopt, 1.0), own}, false, true, true},
           {{cover(555, 0, 1.0), own}, false, false, false},
           {{cover(555, 0, 0.05), own}, false, true, false},
           {{cover(555, 3, 1.0), own}, false, true, false},
           {{cover(100, 0, 1.0), own}, false, true, false},  // this program's window
           {{own, cover(555, 0, 1.0)}, false, true, false},
           {{cover(555, 0, 1.0)}, false, true, false},  // the target shows no window
           {{own}, true, true, true},
       }) {
    Scene scene;
    for (WindowInfo window : c.windows) {
      if (window.ownerPid == 0) window.ownerPid = scene.target;
      scene.workspace.windows.push_back(window);
    }
    if (c.bannerOverSave) scene.ax.setFrame(scene.banner, Rect{100, 120, 300, 80});
    const DiscoveryResult result = scene.discover({false, false}, c.checkCovering);
    EXPECT_EQ(names(result.targets),
              c.covered ? Strings(noExtras.begin(), noExtras.end() - 1) : noExtras);
    EXPECT_EQ(result.covered, c.covered ? 1 : 0);
    EXPECT_EQ(scene.workspace.windowListReads, c.checkCovering ? 1 : 0);
  }
}

TEST(DiscoveryDriver, NotificationBannersAndButtons) {
  Scene scene;
  const std::int32_t pid = freshPid();
  const Id center = scene.app(pid, "other-notifyd");
  const Id popup = scene.ax.add(center, "AXWindow");
  scene.set(center, "AXWindows", FakeAccessibility::RefList{{popup}});
  const auto banner = [&](double x, double y, const std::string& title, Strings actions) {
    const Id node = scene.item(popup, "AXGroup", {x, y, 300, 80}, title, std::move(actions));
    scene.set(node, "AXSubrole", std::string("AXNotificationCenterBanner"));
    return node;
  };
  const Id named = banner(1500, 60, "Mail arrived",
                          {"AXShowMenu", "AXPress", "Name:Close\nTarget:0x0", "Name:Clear"});
  banner(1500, 160, "", {"AXPress", "Name:Clear All"});
  scene.item(banner(1500, 260, "Quiet", {"AXPress"}), "AXButton", {1510, 270, 40, 20}, "Inner");
  banner(1500, 360, "Unpressable", {"Name:Clear"});
  // Off screen, so not a banner: its children are searched.
  scene.item(banner(-600, 460, "Elsewhere", {"AXPress"}), "AXButton", {1510, 470, 40, 20}, "Reply");
  scene.item(popup, "AXButton", {1500, 560, 100, 20}, "Do Not Disturb");
  scene.item(popup, "AXButton", {1500, 600, 100, 20}, "");
  Id level = popup;
  for (int depth = 1; depth <= 7; ++depth)
    level = scene.ax.add(level, "AXGroup");
  scene.item(level, "AXButton", {1500, 700, 100, 20}, "Deep 8");
  scene.item(scene.ax.add(level, "AXGroup"), "AXButton", {1500, 740, 100, 20}, "Deep 9");

  const auto pairs = AT::notificationTargets(scene.services, pid, screens);
  Strings found = names(pairs);
  std::ranges::sort(found);
  EXPECT_EQ(found, (Strings{"Close Mail arrived", "Close notification", "Deep 8", "Do Not Disturb",
                            "Mail arrived", "Notification", "Quiet", "Reply"}));
  const auto close = std::ranges::find_if(
      pairs, [](const TargetPair& pair) { return pair.first.name == "Close Mail arrived"; });
  ASSERT_NE(close, pairs.end());
  const auto& [closeTarget, closeBox] = *close;
  EXPECT_EQ(closeTarget.role, "AXButton");
  EXPECT_EQ(closeTarget.frame, (HintTarget::Frame{1492, 52, 20, 20}));
  EXPECT_EQ(closeBox.element, scene.ax.element(named));
  EXPECT_EQ(closeBox.role, "AXGroup");
  EXPECT_EQ(closeBox.frame, (HintTarget::Frame{1500, 60, 300, 80}));
  EXPECT_EQ(closeBox.pressAction, "Name:Close\nTarget:0x0");
  EXPECT_DOUBLE_EQ(scene.ax.timeoutSetOn(named), 0.15);
}

TEST(DiscoveryDriver, StatusItemsSkipWhoeverDoesNotAnswer) {
  Scene scene;
  const std::vector<AT::StatusApp> apps = {
      {scene.stuckPid, "Stuck"}, {scene.clockPid, "Clock"}, {freshPid(), std::nullopt}};
  const double before = scene.clock.now;
  EXPECT_EQ(names(AT::statusTargets(scene.services, apps, screens)), Strings{"Clock"});
  EXPECT_NEAR(scene.clock.now - before, 0.08, 1e-9);  // the one unanswered message
  EXPECT_DOUBLE_EQ(scene.ax.timeoutSetOn(scene.clockBar), 0.08);
  // Without displays no status item is kept, although the bar items themselves pass.
  EXPECT_TRUE(AT::statusTargets(scene.services, apps, {}).empty());
  const auto items = *AT::childrenOf(scene.ax.element(scene.clockBar));
  EXPECT_EQ(names(AT::barItems(items, "Clock", {})), (Strings{"Clock", "Edge"}));
}

TEST(DiscoveryDriver, KeyboardPanelApp) {
  struct Case {
    bool focusedApp, isSelf, hasWindow;
    std::optional<bool> frontmostIsPanel;
    bool found;
  };
  for (const Case& c : std::vector<Case>{{false, false, true, false, false},
                                         {true, true, true, false, false},
                                         {true, false, true, true, false},
                                         {true, false, false, false, false},
                                         {true, false, true, false, true},
                                         {true, false, true, std::nullopt, true}}) {
    Scene scene;
    const std::int32_t pid = c.isSelf ? scene.workspace.self : freshPid();
    const Id panel = scene.ax.addApplication(pid);
    if (c.hasWindow) scene.set(panel, "AXFocusedWindow", Ref{scene.ax.add(panel, "AXWindow")});
    const Id system = scene.ax.systemWideNode();
    if (c.focusedApp) scene.set(system, "AXFocusedApplication", Ref{panel});
    if (c.frontmostIsPanel) scene.workspace.frontmost = *c.frontmostIsPanel ? pid : freshPid();
    EXPECT_EQ(AT::keyboardPanelApp(scene.services), c.found ? std::optional(pid) : std::nullopt);
    EXPECT_DOUBLE_EQ(scene.ax.timeoutSetOn(system), 0.2);
  }
}

TEST(DiscoveryDriver, RunsInBackgroundAndOwnTreeOnMain) {
  Scene scene;
  std::optional<DiscoveryResult> delivered;
  AT::discover(scene.services, scene.target, {}, {}, false,
               [&](DiscoveryResult result) { delivered = std::move(result); });
  EXPECT_EQ(scene.executor.detachedRuns, 1);
  EXPECT_FALSE(delivered);  // handed over on the main thread only
  scene.executor.drainMain();
  ASSERT_TRUE(delivered);
  EXPECT_EQ(names(delivered->targets), everything);
  EXPECT_EQ(scene.executor.mainRuns, 0);

  const auto own = AT::discoverNow(scene.services, scene.workspace.self, {}, {false, false}, false);
  EXPECT_EQ(scene.executor.mainRuns, 1);
  EXPECT_EQ(own.scope, "no window");
  EXPECT_EQ(names(own.targets), (Strings{"Close Mail arrived", "Mail arrived"}));
}

}  // namespace
}  // namespace tovrel
