#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/fake/FakeSystem.hpp"
#include "system/Overlays.hpp"

namespace tovrel {
namespace {

using platform::fake::FakeOverlayPanel;
using View = HostedOverlay::View;

TEST(OverlayModel, RendersOnlyOnChange) {
  platform::fake::FakeOverlays overlays;
  OverlayModel model;
  HostedOverlay badge(overlays, model, View::badge);
  HostedOverlay hud(overlays, model, View::hud);
  const auto shown = [](const HostedOverlay& overlay) {
    return static_cast<const FakeOverlayPanel&>(*overlay.panel).content();
  };
  EXPECT_EQ(shown(badge), platform::OverlayContent(platform::BadgeContent{"Moving", {}, false, 1}));
  EXPECT_EQ(shown(hud),
            platform::OverlayContent(platform::HudContent{"Clicking", "", "", {}, 0, {}, {}}));
  EXPECT_EQ(helpView(model), (platform::HelpContent{{}, ""}));

  // Each call sets a new value and is then repeated: only the first redraws.
  const std::vector<std::function<void()>> setters = {
      [&] { model.setBadgeTitle("Dragging"); }, [&] { model.setBadgeDetail(""); },
      [&] { model.setBadgeDragging(true); },    [&] { model.setBadgeScale(1.5); },
      [&] { model.setHudQuery(""); },           [&] { model.setHudQuery("sa"); },
      [&] { model.setHudCount(12); },           [&] { model.setHudAction("Press"); },
      [&] { model.setHelpExit("Escape"); }};
  for (std::size_t i = 0; i < setters.size(); ++i) {
    setters[i]();
    setters[i]();
    EXPECT_EQ(badge.renders, static_cast<int>(i) + 2) << "setter " << i;
    EXPECT_EQ(hud.renders, badge.renders);
  }
  EXPECT_EQ(shown(badge),
            platform::OverlayContent(platform::BadgeContent{"Dragging", "", true, 1.5}));
  EXPECT_EQ(clickHUDView(model).query, "sa");
  model.setHudQuery(std::nullopt);
  EXPECT_EQ(clickHUDView(model).query, std::nullopt);

  // The help redraws on every assignment, equal or not.
  const int before = badge.renders;
  const std::vector<HelpEntry> rows = {{"Move", {{"Left", "H"}, {"Right", "L"}}}, {"Click", {}}};
  model.setHelpRows(rows);
  model.setHelpRows(rows);
  EXPECT_EQ(badge.renders, before + 2);
  EXPECT_EQ(helpView(model),
            (platform::HelpContent{{{"Move", {{"Left", "H"}, {"Right", "L"}}}, {"Click", {}}},
                                   "Escape"}));
}

TEST(HostedOverlay, PlacesShowsAndLetsGo) {
  platform::fake::FakeOverlays overlays;
  overlays.hostedSize = {180, 30};
  OverlayModel model;
  auto help = std::make_unique<HostedOverlay>(overlays, model, View::help);
  auto& panel = static_cast<FakeOverlayPanel&>(*help->panel);
  EXPECT_EQ(panel.frame(), (Rect{0, 0, 10, 10}));
  help->place({40, 60});
  help->place({50, 70});
  EXPECT_EQ(panel.frame(), (Rect{50, 70, 180, 30}));
  EXPECT_EQ(panel.ordersFront, 1);  // already showing the second time
  help->orderOut();
  EXPECT_FALSE(help->isVisible());
  // A model outliving its overlay must not call into it (the sanitizer watches this).
  help.reset();
  model.setHelpExit("Escape");
  EXPECT_TRUE(overlays.panels().empty());
}

}  // namespace
}  // namespace tovrel
