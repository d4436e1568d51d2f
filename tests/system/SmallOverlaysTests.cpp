#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "platform/fake/FakeDesktop.hpp"
#include "system/Overlays.hpp"

namespace tovrel {
namespace {

using platform::Screen;
using platform::fake::FakeOverlayPanel;
using platform::fake::FakeOverlays;

FakeOverlayPanel& fake(platform::OverlayPanel& panel) {
  return static_cast<FakeOverlayPanel&>(panel);
}

// A desktop whose fades report their end even when they were stopped, late, as some toolkits do.
struct LateFades : FakeOverlays {
  struct Panel : FakeOverlayPanel {
    Panel(LateFades& owner, Rect rect) : FakeOverlayPanel(owner, rect), owner(owner) {}
    void animateAlpha(double target, double seconds, std::function<void()> done) override {
      owner.late.push_back(done);
      FakeOverlayPanel::animateAlpha(target, seconds, std::move(done));
    }
    LateFades& owner;
  };
  std::unique_ptr<platform::OverlayPanel> createPanel(Rect rect) override {
    return std::make_unique<Panel>(*this, rect);
  }
  std::vector<std::function<void()>> late;
};

struct ScanProgressBarTest : ::testing::Test {
  platform::fake::FakeDesktop desktop;
  LateFades overlays;
  ScanProgressBar bar{overlays, desktop.scheduler, desktop.clock};
  const Screen screen{{1440, -100, 1280, 1024}, {1440, -75, 1280, 999}};

  double shown() const {
    return std::get<platform::ProgressContent>(bar.panel->content()).fillWidth;
  }
  FakeOverlayPanel& panel() { return fake(*bar.panel); }
};

TEST_F(ScanProgressBarTest, ProgressApproachesNinetyPercent) {
  const struct {
    double elapsed, budget, expected;
  } cases[] = {{0, 0.8, 0.04},     {0.8, 0.8, 0.857183},  {2.4, 0.8, 0.899894}, {0.1, 0, 0.857183},
               {0.3, 0, 0.899894}, {0.1, 0.05, 0.857183}, {1e9, 1, 0.9},        {-1e9, 1, 0}};
  for (const auto& c : cases)
    EXPECT_NEAR(ScanProgressBar::progress(c.elapsed, c.budget), c.expected, 1e-6)
        << c.elapsed << " of " << c.budget;
}

TEST_F(ScanProgressBarTest, GrowsAlongTheBottomOfTheScreenAndFades) {
  bar.start(screen, 2.0);
  EXPECT_EQ(bar.panel->frame(), (Rect{1440, 921, 1280, 3}));
  EXPECT_NEAR(shown(), 0.04 * 1280, 1e-9);
  // Within a frame of one and of three budgets.
  for (auto [budgets, expected] : {std::pair{1.0, 0.857183}, std::pair{3.0, 0.899894}}) {
    desktop.scheduler.advance(2.0 * budgets - (desktop.clock.now - bar.started));
    EXPECT_NEAR(shown() / 1280, expected, 2e-3) << budgets;
  }
  bar.start(screen, 0.8);  // again from the start, with one timer
  EXPECT_NEAR(shown(), 0.04 * 1280, 1e-9);
  EXPECT_EQ(desktop.scheduler.liveTimers(), 1u);

  bar.finish();
  EXPECT_EQ(desktop.scheduler.liveTimers(), 0u);
  EXPECT_EQ(shown(), 1280);
  EXPECT_EQ(panel().animationTarget(), 0);
  EXPECT_EQ(panel().animationSeconds(), 0.25);
  EXPECT_TRUE(panel().completeAnimation());
  EXPECT_FALSE(bar.panel->isVisible());
}

TEST_F(ScanProgressBarTest, ReducedMotionAndAnAbsentLine) {
  overlays.reducedMotion = true;
  bar.start(screen, 0.8);
  desktop.scheduler.advance(5);
  EXPECT_EQ(shown(), 640);
  bar.finish();  // removed without a fade
  EXPECT_FALSE(bar.panel->isVisible());
  EXPECT_FALSE(panel().animating());

  // Finishing a line that is not on screen only stops its timer.
  overlays.reducedMotion = false;
  bar.start(screen, 0.8);
  bar.panel->orderOut();
  bar.finish();
  EXPECT_EQ(desktop.scheduler.liveTimers(), 0u);
  EXPECT_NEAR(shown(), 0.04 * 1280, 1e-9);
  EXPECT_FALSE(panel().animating());
}

TEST_F(ScanProgressBarTest, AnOldFadeLeavesANewScanAlone) {
  for (bool hideFirst : {false, true}) {
    overlays.late.clear();
    bar.start(screen, 0.8);
    bar.finish();
    if (hideFirst) bar.hide();
    bar.start(screen, 0.8);
    ASSERT_EQ(overlays.late.size(), 1u);
    overlays.late.front()();  // the first fade ends only now
    EXPECT_TRUE(bar.panel->isVisible()) << hideFirst;
    bar.finish();
    overlays.completeAnimations();
    EXPECT_FALSE(bar.panel->isVisible());
  }
}

TEST(PointerDotTest, HidesTheCursorExactlyOnce) {
  platform::fake::FakeDesktop desktop;
  PointerDot dot(desktop.overlays, desktop.displays);
  for (Point p : {Point{100, 200}, Point{0, 0}, Point{100, 200}}) {
    dot.show(p);
    EXPECT_EQ(desktop.displays.cursorHideBalance(), 1);
    EXPECT_EQ(dot.panel->frame(), (Rect{p.x - 4, p.y - 4, 8, 8}));
  }
  EXPECT_EQ(desktop.overlays.panelsCreated, 1);
  EXPECT_TRUE(PointerVisibility::requested());
  for (int i = 0; i < 2; ++i) {
    dot.hide();
    EXPECT_EQ(desktop.displays.cursorHideBalance(), 0);
  }

  PointerHider hider(desktop.displays);
  const int shows = desktop.displays.showCount;
  hider.show();
  EXPECT_EQ(desktop.displays.showCount, shows);
  hider.hide();
  hider.hide();
  EXPECT_EQ(desktop.displays.cursorHideBalance(), 1);
  hider.show();
  EXPECT_EQ(desktop.displays.cursorHideBalance(), 0);
}

TEST(ScreenSpaceTest, HalfOpenScreensFallBackToTheMainOne) {
  const Screen main{{0, 0, 1440, 900}, {0, 25, 1440, 875}};
  const Screen side{{1440, -100, 1920, 1080}, {1440, -100, 1920, 1080}};
  const struct {
    Point p;
    Screen expected;
  } cases[] = {{{1439.9, 899.9}, main}, {{1440, -100}, side}, {{3359.9, 979.9}, side},
               {{3360, 10}, side},      {{100, 900}, side},   {{10, 10}, main}};
  // The side screen listed first: only the fall-back gives it for points on no screen.
  for (const auto& c : cases)
    EXPECT_EQ(ScreenSpace::screen({side, main}, c.p), c.expected) << c.p;
  EXPECT_EQ(ScreenSpace::screen({main, side}, {100, 900}), main);
  EXPECT_EQ(ScreenSpace::screen({}, {0, 0}), std::nullopt);

  namespace C = OverlayCoordinates;
  EXPECT_EQ(C::firstScreenHeight({main, side}), 900);
  EXPECT_EQ(C::toBottomLeft(Point{10, 30}, 900), (Point{10, 870}));
  EXPECT_EQ(C::toBottomLeft(Rect{10, 30, 100, 50}, 900), (Rect{10, 820, 100, 50}));
}

using Item = ScrollOutline::Item;

std::vector<Rect> rowOfAreas(int count) {
  std::vector<Rect> areas;
  for (int i = 0; i < count; ++i)
    areas.push_back({100.0 * i, 0, 90, 90});
  return areas;
}

TEST(ScrollOutlineTest, NumbersNineAndHidesBadgesUnderTheCurrentArea) {
  const auto areas = rowOfAreas(12);
  std::vector<Item> nine;
  for (int i = 0; i < 9; ++i)
    nine.push_back({areas[i], i + 1, false});
  // The tenth and later areas carry no number, and an area with an index gets no extra outline.
  EXPECT_EQ(ScrollOutline::items(areas[10], areas, 10), nine);
  auto withCurrent = nine;
  withCurrent.push_back({areas[10], 0, true});
  EXPECT_EQ(ScrollOutline::items(areas[10], areas, std::nullopt), withCurrent);

  const Rect current{0, 0, 500, 500};
  const struct {
    Rect area;
    bool kept;
  } cases[] = {{{10, 10, 100, 100}, false}, {{-19, -19, 40, 40}, false},
               {{480.9, 0, 40, 40}, false}, {{481, 0, 40, 40}, true},
               {{0, 481, 40, 40}, true},    {{-20, 0, 600, 600}, true}};
  for (const auto& c : cases) {
    EXPECT_EQ(ScrollOutline::items(current, {c.area}, std::nullopt).size(), c.kept ? 2u : 1u)
        << c.area;
    EXPECT_EQ(ScrollOutline::items(current, {c.area}, 0), (std::vector<Item>{{c.area, 1, true}}));
  }
}

TEST(ScrollOutlineTest, ReusesPanelsAndFadesMovedOutlines) {
  FakeOverlays overlays;
  ScrollOutline outline(overlays);
  auto areas = rowOfAreas(3);
  outline.show(std::nullopt, areas, 1, true);
  ASSERT_EQ(outline.panels.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    auto& panel = fake(*outline.panels[i]);
    EXPECT_TRUE(panel.isVisible() && !panel.animating());  // nothing fades in from nowhere
    EXPECT_EQ(panel.frame(), areas[i]);
    EXPECT_EQ(std::get<platform::OutlineContent>(panel.content()),
              (platform::OutlineContent{static_cast<int>(i + 1), i == 1}));
  }

  areas[0].y = 40;
  outline.show(std::nullopt, areas, 1, true);
  auto& moved = fake(*outline.panels[0]);
  EXPECT_EQ(moved.alpha(), 0);
  EXPECT_EQ(moved.animationTarget(), 1);
  EXPECT_EQ(moved.animationSeconds(), 0.2);
  EXPECT_FALSE(fake(*outline.panels[1]).animating());
  outline.show(std::nullopt, areas, 1, true);
  EXPECT_TRUE(moved.animating());  // a fade under way goes on
  outline.show(std::nullopt, areas, 1, false);
  EXPECT_EQ(moved.alpha(), 1);
  EXPECT_FALSE(moved.animating());

  outline.show(std::nullopt, {areas[2]}, std::nullopt, false);
  EXPECT_EQ(overlays.panels().size(), 3u);
  EXPECT_EQ(overlays.visiblePanels().size(), 1u);
  EXPECT_EQ(outline.panels[0]->frame(), areas[2]);
  outline.hide();
  EXPECT_TRUE(overlays.visiblePanels().empty());
}

}  // namespace
}  // namespace tovrel
