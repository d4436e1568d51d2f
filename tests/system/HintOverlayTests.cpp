#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "platform/fake/FakeDisplays.hpp"
#include "platform/fake/FakeSystem.hpp"
#include "system/DisplayGeometry.hpp"
#include "system/Overlays.hpp"

namespace tovrel {
namespace {

using Item = HintOverlay::Item;
using platform::HintCanvasContent;
using platform::HintChip;

// Six points a character at the normal size, as the fake desktop measures.
double measure(const std::string& text, double fontSize) {
  return static_cast<double>(text.size()) * 6 * fontSize / 10.5;
}

std::vector<HintChip> layOut(const std::vector<Item>& items, double fontSize = 10.5,
                             const Rect& panel = {0, 0, 1440, 900}) {
  return HintOverlay::layout(items, panel, fontSize, 900, {{0, 0, 1440, 900}}, measure);
}

bool overlapsGrown(const Rect& a, const Rect& b) {
  return a.x < b.x + b.width + 1 && b.x - 1 < a.x + a.width && a.y < b.y + b.height + 1 &&
         b.y - 1 < a.y + a.height;
}

TEST(HintLayout, CrowdedClickPoint) {
  // Click point (720, 783) bottom-left; two letters give a 21-wide chip at (710, 764).
  const std::vector<HintChip> chips =
      layOut(std::vector(13, Item{"ab", 2, {700, 100, 40, 20}, true}));
  const int across[] = {0, 1, -1, 2, -2, 3, -3, 4, -4, 0, 0, 0, 0};  // chip widths + 1, right
  const int down[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 0};        // chip heights + 1, lower
  ASSERT_EQ(chips.size(), 13u);
  for (std::size_t i = 0; i < chips.size(); ++i) {
    const Rect rect{710.0 + 22 * across[i], 764 - 16.5 * down[i], 21, 15.5};
    EXPECT_EQ(chips[i], (HintChip{"ab", 2, rect, {720, 783}, true, down[i] > 0, true})) << i;
  }
}

TEST(HintLayout, SizesAndPanels) {
  // s = 1.3: width round(11.05 + 15.6), the click point 3.9 above the bottom; s = 0.85: the
  // minimum width 14.45 beats round(7.225 + 5.1) for one letter.
  const std::vector<HintChip> large = layOut({{"ab", 0, {700, 100, 40, 20}}}, 13.65);
  const std::vector<HintChip> small = layOut({{"a", 0, {700, 100, 40, 20}}}, 8.925);
  const Rect expected[] = {{707, 759, 27, 20.15}, {713, 766, 14.45, 13.175}};
  for (int i = 0; i < 2; ++i) {
    const Rect rect = (i == 0 ? large : small).at(0).rect;
    EXPECT_NEAR(rect.x, expected[i].x, 1e-9);
    EXPECT_NEAR(rect.y, expected[i].y, 1e-9);
    EXPECT_NEAR(rect.width, expected[i].width, 1e-9);
    EXPECT_NEAR(rect.height, expected[i].height, 1e-9);
  }
  EXPECT_TRUE(layOut({{"ab", 0, {1440, 100, 40, 20}}}).empty());  // starts at the panel's edge
}

TEST(HintLayout, GeneratedTargetsStayApart) {
  std::mt19937 random(20240611);
  std::uniform_real_distribution<double> coordinate(0, 200), extent(-10, 60);
  std::uniform_int_distribution<int> letters(1, 3);
  const std::vector<Rect> displays = {{0, 0, 1440, 900}, {1440, 0, 1440, 900}};
  int dropped = 0, overlapping = 0;
  for (const double fontSize : {8.925, 10.5, 13.65}) {
    const double s = fontSize / 10.5, height = 15.5 * s;
    std::vector<Item> items;  // all on the second screen's panel, near its left edge
    for (int i = 0; i < 120; ++i)
      items.push_back(
          {std::string(letters(random), 'k'),
           0,
           {1450 + coordinate(random), coordinate(random), extent(random), extent(random)}});
    const auto chips =
        HintOverlay::layout(items, {1440, 0, 1440, 900}, fontSize, 900, displays, measure);
    ASSERT_EQ(chips.size(), items.size());
    const auto isFree = [&](double x, double y, std::size_t before) {
      for (std::size_t j = 0; j < before; ++j)
        if (overlapsGrown({x, y, chips[before].rect.width, height}, chips[j].rect)) return false;
      return true;
    };
    for (std::size_t i = 0; i < chips.size(); ++i) {
      const Rect& rect = chips[i].rect;
      const Point click = ClickPoint::of(items[i].frame, displays, s).point;
      EXPECT_EQ(chips[i].anchor, (Point{click.x - 1440, 900 - click.y})) << i;
      const double preferredY = std::round(chips[i].anchor.y - 3.5 * s - height);
      const double drops = (preferredY - rect.y) / (height + 1);
      EXPECT_NEAR(drops, std::round(drops), 1e-9) << i;
      EXPECT_EQ(chips[i].offset, drops > 0.5) << i;  // only lowered chips lose the tail
      dropped += chips[i].offset;
      if (isFree(rect.x, rect.y, i)) continue;
      // The fall-back: at its preferred place, once every other place was taken.
      ++overlapping;
      EXPECT_EQ(rect.y, preferredY) << i;
      for (int k = 1; k <= 4; ++k)
        EXPECT_FALSE(isFree(rect.x + k * (rect.width + 1), rect.y, i) ||
                     isFree(rect.x - k * (rect.width + 1), rect.y, i) ||
                     (k < 4 && isFree(rect.x, rect.y - k * (height + 1), i)))
            << i;
    }
  }
  EXPECT_GT(dropped, 0);  // the scenes reach both fall-backs
  EXPECT_GT(overlapping, 0);
}

struct HintOverlayTest : ::testing::Test {
  HintOverlayTest() { overlays.screenList = {{{0, 0, 1440, 900}, {0, 25, 1440, 875}}}; }
  const HintCanvasContent& canvas(std::size_t panel) {
    return std::get<HintCanvasContent>(hints.panels.at(panel)->content());
  }
  platform::fake::FakeOverlays overlays;
  platform::fake::FakeDisplayServices displays{{{0, 0, 1440, 900}}};
  HintOverlay hints{overlays, displays};
};

TEST_F(HintOverlayTest, FontSizeAndOpacity) {
  using Size = AppearanceSettings::Size;
  for (const auto& [size, opacity, fontSize, drawn] :
       {std::tuple{Size::small, 0.2, 8.925, 0.6}, std::tuple{Size::regular, 0.8, 10.5, 0.8},
        std::tuple{Size::large, 1.5, 13.65, 1.0}}) {
    hints.render({{"ab", 0, {700, 100, 40, 20}}}, std::nullopt,
                 {.hintSize = size, .hintOpacity = opacity});
    EXPECT_NEAR(canvas(0).fontSize, fontSize, 1e-9);
    EXPECT_NEAR(canvas(0).opacity, drawn, 1e-9);
  }
  EXPECT_EQ(overlays.panelsCreated, 1);  // the same screen keeps its panel
}

TEST_F(HintOverlayTest, ScreensDecideThePanels) {
  // The second screen is 100 shorter, so its canvas starts 100 above the first screen's bottom.
  overlays.screenList.push_back({{1440, 0, 1000, 800}, {1440, 0, 1000, 800}});
  displays.setDisplays({{0, 0, 1440, 900}, {1440, 0, 1000, 800}});
  const Rect straddling{1420, 100, 40, 20};
  hints.render({{"ab", 0, straddling}}, straddling, {});
  ASSERT_EQ(hints.panels.size(), 2u);
  EXPECT_EQ(canvas(0).chips.at(0).rect, (Rect{1418, 764, 21, 15.5}));  // ends 1 before the edge
  EXPECT_EQ(canvas(1).chips.at(0).rect, (Rect{1, 664, 21, 15.5}));     // starts at 1
  EXPECT_EQ(canvas(1).highlight, (Rect{-20, 680, 40, 20}));
  EXPECT_TRUE(hints.panels[1]->isVisible());

  overlays.screenList[1].frame.width = 1280;  // a new resolution: every panel is made again
  hints.render({}, Rect{1500, 100, 40, 20}, {});
  EXPECT_EQ(overlays.panelsCreated, 4);
  EXPECT_EQ(overlays.panels().size(), 2u);
  EXPECT_EQ(canvas(0).highlight, std::nullopt);
  hints.clear();
  EXPECT_FALSE(hints.panels[0]->isVisible());
  EXPECT_FALSE(hints.panels[1]->isVisible());
  hints.render({{"ab", 0, straddling}}, straddling, {});  // the same screens: the same panels
  EXPECT_EQ(overlays.panelsCreated, 4);
  EXPECT_TRUE(hints.panels[1]->isVisible());
}

TEST(LabelSample, ThreeLabels) {
  platform::fake::FakeOverlays overlays;
  LabelSample::png(overlays, {"a", "bc", "def"});  // text 6, 12, 18 wide
  ASSERT_EQ(overlays.samples.size(), 1u);
  const auto& sample = overlays.samples[0];
  EXPECT_EQ(std::pair(sample.width, sample.height), std::pair(142.0, 60.0));
  EXPECT_EQ(sample.blocks,
            (std::vector<Rect>{{22, 37, 20, 16}, {56, 37, 20, 16}, {90, 37, 20, 16}}));
  const std::vector<HintChip> chips = {{"a", 0, {24, 21, 17, 15.5}, {32, 40}},
                                       {"bc", 0, {56, 21, 21, 15.5}, {66, 40}},
                                       {"def", 0, {87, 21, 27, 15.5}, {100, 40}}};
  EXPECT_EQ(sample.canvas, (HintCanvasContent{chips, std::nullopt, 11, 1}));
}

}  // namespace
}  // namespace tovrel
