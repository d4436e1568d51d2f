#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "ServiceHarness.hpp"

namespace tovrel {
namespace {

using platform::Rect;
using platform::fake::FakeAccessibility;
using Id = FakeAccessibility::NodeId;
using Mode = InteractionMode;

// The editor's window holds two scroll areas side by side; the right one is the larger.
struct ServiceScroll : ServiceTest {
  FakeAccessibility& ax = desktop.accessibility;
  Id app = ax.addApplication(editorPid);
  Id window = ax.add(app, "AXWindow", Rect{100, 100, 800, 600});
  Id left = ax.add(window, "AXScrollArea", Rect{100, 100, 300, 600});
  Id right = ax.add(window, "AXScrollArea", Rect{400, 100, 500, 600});
  const std::vector<Rect> both{{100, 100, 300, 600}, {400, 100, 500, 600}};

  ServiceScroll() {
    // The pointer starts beside the window, where it says nothing of which area is meant.
    desktop.events.pointer = {50, 400};
    // A tree that cannot be switched on is never reported asleep.
    ax.setWriteResult(app, "AXManualAccessibility", platform::AXError::attributeUnsupported);
    ax.set(app, "AXFocusedWindow", FakeAccessibility::Ref{window});
    service().start();
  }
  NavigationRouter& router() { return access().router(); }
  const ScrollSession& session() { return *router().scroll(); }
  void enter() {
    service().setMode(Mode::scroll);
    desktop.settle();
  }
  // Scroll mode once on and off, so that the editor's areas are known.
  void warm() {
    enter();
    service().stopNavigation();
    desktop.settle();
  }
  // Runs the searches that are waiting, then what they hand to the main thread.
  int answer() {
    const int searches = desktop.executor.runQueuedDetached();
    desktop.settle();
    return searches;
  }
};

TEST_F(ServiceScroll, KnownAreasAnswerAtOnceAndFreshOnesFollow) {
  for (bool resized : {false, true}) {
    warm();
    ax.setFrame(window, Rect{100, 100, 800, resized ? 601.0 : 600.0});
    desktop.executor.queueDetached = true;
    enter();
    answer();  // the window and the chains
    EXPECT_EQ(session().areas(), resized ? std::vector<Rect>{} : both) << resized;
    // Where the pointer stands now says nothing of the user's choice; only their moves would.
    desktop.events.pointer = {200, 400};
    EXPECT_EQ(answer(), 2);  // the areas and the quiet point
    EXPECT_EQ(session().areas(), both);
    // Fresh areas choose the region as known ones would have: the largest, since the pointer
    // started beside the window; and the pointer is parked in it.
    EXPECT_EQ(session().outlined(), both[1]) << resized;
    EXPECT_EQ(session().areaIndex(), 1u) << resized;
    EXPECT_EQ(answer(), resized ? 1 : 0);  // the quiet point in the area chosen again
    EXPECT_TRUE(both[1].contains(desktop.events.pointer)) << desktop.events.pointer << resized;
    EXPECT_EQ(access().cachedAreas(editorPid), both);
    EXPECT_FALSE(access().scrollTaskRunning());
    desktop.executor.queueDetached = false;
    service().stopNavigation();
  }
}

TEST_F(ServiceScroll, OnlyAScrolledSpotIsResumed) {
  const Point spot{200, 300};
  for (bool scrolled : {false, true}) {
    warm();
    access().setLastSpot(editorPid, spot, scrolled);
    const int hitTests = ax.hitTests();
    enter();
    // The click chain picks the left pane either way; only a scroll brings the pointer back
    // there, and to exactly there, without looking for a quieter point.
    EXPECT_EQ(session().outlined(), both[0]);
    EXPECT_EQ(access().scrollParked(), (scrolled ? spot : Point{250, 400}));
    EXPECT_EQ(desktop.events.pointer, access().scrollParked());
    EXPECT_EQ(ax.hitTests() - hitTests > 1, !scrolled) << scrolled;
    EXPECT_TRUE(access().dot().isVisible());
    service().stopNavigation();
  }
}

TEST_F(ServiceScroll, ParksWhereTheWheelReachesTheChosenArea) {
  // A box under the larger area's centre, and every place near it, scrolls on its own.
  const Rect box{500, 250, 300, 300};
  ax.add(ax.add(right, "AXGroup", box), "AXGroup", Rect{500, 250, 300, 900});
  warm();
  enter();
  ASSERT_EQ(session().outlined(), both[1]);
  const Point parked = *access().scrollParked();
  EXPECT_TRUE(both[1].contains(parked)) << parked;
  EXPECT_FALSE(box.contains(parked)) << parked;
  EXPECT_EQ(desktop.events.pointer, parked);
}

TEST_F(ServiceScroll, AWindowlessAppParksWhereThePointerIs) {
  ax.erase(app, "AXFocusedWindow");
  enter();
  EXPECT_EQ(access().scrollParked(), (Point{50, 400}));
  EXPECT_EQ(access().dot().panel->frame(), (Rect{46, 396, 8, 8}));
  EXPECT_FALSE(access().parkTaskRunning());
}

// The pointer resting over an area when scrolling starts chooses it and stays where it is, whether
// or not the areas are known yet. Beside the window it leaves the choice to the largest area,
// known at once or once the search has found it.
TEST_F(ServiceScroll, ThePointerOverAnAreaChoosesIt) {
  const struct {
    Point pointer;
    bool known;
    std::optional<Rect> outlined;
    bool stays;
  } cases[] = {
      {{200, 400}, false, both[0], true}, {{200, 400}, true, both[0], true},
      {{700, 300}, false, both[1], true}, {{700, 300}, true, both[1], true},
      {{50, 400}, false, both[1], false}, {{50, 400}, true, both[1], false},
  };
  for (const auto& c : cases) {
    if (c.known) warm();
    desktop.events.pointer = c.pointer;
    enter();
    EXPECT_EQ(session().outlined(), c.outlined) << c.pointer << c.known;
    EXPECT_EQ(access().scrollParked() == c.pointer, c.stays) << c.pointer << c.known;
    EXPECT_EQ(desktop.events.pointer, access().scrollParked()) << c.pointer << c.known;
    service().stopNavigation();
    desktop.settle();
    access().forgetScrollAreas();
  }
}

TEST_F(ServiceScroll, AnswersAfterScrollModeEndedChangeNothing) {
  desktop.executor.queueDetached = true;
  enter();
  answer();
  service().stopNavigation();  // the areas and the quiet point are still out
  const Point home = desktop.events.pointer;
  answer();
  EXPECT_EQ(access().cachedScrollApps(), 0u);
  EXPECT_EQ(desktop.events.pointer, home);
  EXPECT_FALSE(access().dot().isVisible());
}

TEST_F(ServiceScroll, ThePointerGoesHomeUnlessTheUserMovedIt) {
  const struct {
    double moved;
    bool switchToCursor;
    bool home;
  } cases[] = {{0, false, true}, {1.9, false, true}, {2.0, false, false}, {0, true, false}};
  for (const auto& c : cases) {
    const Point home = desktop.events.pointer;
    enter();
    const Point parked = *access().scrollParked();
    ASSERT_NE(parked, home);
    desktop.events.pointer = {parked.x, parked.y + c.moved};
    service().setMode(c.switchToCursor ? Mode::cursor : Mode::off);
    EXPECT_FALSE(access().hasPendingScrollReturn());
    EXPECT_EQ(desktop.events.pointer, (c.home ? home : Point{parked.x, parked.y + c.moved}))
        << c.moved << c.switchToCursor;
    service().stopNavigation();
    desktop.events.pointer = home;
  }
}

TEST_F(ServiceScroll, ScrollingRefreshesTheAreasOnceItSettles) {
  enter();
  desktop.executor.queueDetached = true;
  ax.setFrame(left, Rect{100, 150, 300, 500});
  const NavigationEffect scroll = NavigationEffect::Cursor{CursorCommand::Scroll{0, -40}};
  access().execute(scroll);
  desktop.advance(0.1);
  access().execute(scroll);
  desktop.advance(0.29);
  EXPECT_EQ(answer(), 0);
  desktop.advance(0.011);
  EXPECT_EQ(answer(), 2);  // the search, and the switch it keeps on beside it
  EXPECT_EQ(session().areas().front(), (Rect{100, 150, 300, 500}));
  EXPECT_FALSE(access().areaRefreshRunning());
  EXPECT_EQ(answer(), 0);
}

TEST_F(ServiceScroll, AScrollBeforeTheParkLandsWaitsForIt) {
  warm();
  desktop.executor.queueDetached = true;
  enter();
  answer();  // the window and the chains: the known areas choose the larger one
  ASSERT_EQ(session().outlined(), both[1]);
  ASSERT_TRUE(access().parkTaskRunning());
  const auto wheel = [&] {
    return std::count_if(
        desktop.events.posted.begin(), desktop.events.posted.end(),
        [](const auto& p) { return p.event.type == platform::eventType::scrollWheel; });
  };
  const auto before = wheel();
  access().execute(NavigationEffect::Cursor{CursorCommand::Scroll{0, -40}});
  EXPECT_EQ(wheel(), before) << "the wheel turned where the pointer rested before";
  EXPECT_EQ(desktop.events.pointer, (Point{50, 400}));
  answer();
  EXPECT_TRUE(both[1].contains(desktop.events.pointer)) << desktop.events.pointer;
  EXPECT_GT(wheel(), before);
  desktop.executor.queueDetached = false;
}

TEST_F(ServiceScroll, AMovedNeighbourRedrawsTheOutlines) {
  warm();
  enter();
  ASSERT_EQ(session().areaIndex(), 1u);
  auto& panels = access().scrollOutline().panels;
  ASSERT_GE(panels.size(), 2u);
  EXPECT_EQ(panels[0]->frame(), both[0]);
  ax.setFrame(left, Rect{100, 150, 300, 500});
  access().followScrolledAreas(editorPid);
  desktop.advance(0.3);
  EXPECT_EQ(session().areaIndex(), 1u);
  EXPECT_EQ(panels[0]->frame(), (Rect{100, 150, 300, 500}));
  EXPECT_TRUE(static_cast<platform::fake::FakeOverlayPanel&>(*panels[0]).animating());
}

}  // namespace
}  // namespace tovrel
