// Discovery against the real fixture application over the real accessibility bus: what click mode
// would label, acting on it, following changes, and the scroll-area search.

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "platform/x11/X11Desktop.hpp"
#include "system/AccessibilityTargets.hpp"
#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/FixtureHarness.hpp"
#include "tests/desktop/QtTestApp.hpp"

namespace tovrel::desktoptest {
namespace {

namespace targets = AccessibilityTargets;

const std::vector<std::string> kNamedControls = {"Increment",   "Second action", "Name",
                                                 "Typing area", "Moving target", "Remember me"};

class DiscoveryTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qtApp();
    x11_ = platform::x11::X11Desktop::open();
    ASSERT_NE(x11_, nullptr);
    std::string error;
    fixture_ = FixtureApp::start({}, &error);
    ASSERT_NE(fixture_, nullptr) << error;
    // The fixture reaches the accessibility bus a little after its window shows.
    ASSERT_TRUE(pumpUntil([&] { return frameOf("Increment").has_value(); }, 10s))
        << "the fixture's controls never became discoverable";
  }

  DiscoveryServices services() { return DiscoveryServices::of(x11_->platform()); }

  DiscoveryResult discover() {
    DiscoveryServices s = services();
    return targets::discoverNow(s, fixture_->pid(), targets::Budget{}, targets::Extras{}, true);
  }

  // The frame of the target with that name in a fresh discovery.
  std::optional<HintTarget::Frame> frameOf(const std::string& name) {
    DiscoveryResult result = discover();
    const HintTarget* target = named(result, name);
    if (target == nullptr) return std::nullopt;
    return target->frame;
  }

  static const HintTarget* named(const DiscoveryResult& result, const std::string& name) {
    auto found = std::find_if(result.targets.begin(), result.targets.end(),
                              [&](const HintTarget& target) { return target.name == name; });
    return found == result.targets.end() ? nullptr : &*found;
  }
  static const AXElementBox* boxNamed(const DiscoveryResult& result, const std::string& name) {
    for (std::size_t i = 0; i < result.targets.size(); ++i) {
      if (result.targets[i].name == name) return &result.elements[i];
    }
    return nullptr;
  }

  std::unique_ptr<platform::x11::X11Desktop> x11_;
  std::unique_ptr<FixtureApp> fixture_;
};

TEST_F(DiscoveryTest, TheFrontWindowListsTheNamedControlsAndNotTheDisabledOne) {
  DiscoveryResult result = discover();
  EXPECT_TRUE(result.foundWindow);
  EXPECT_EQ(result.scope, "focused window");
  ASSERT_EQ(result.targets.size(), result.elements.size());
  for (const auto& name : kNamedControls) {
    EXPECT_NE(named(result, name), nullptr) << name;
  }
  EXPECT_EQ(named(result, "Disabled action"), nullptr);
  EXPECT_FALSE(result.truncated);
  EXPECT_GT(result.visitedNodes, static_cast<int>(kNamedControls.size()));

  // The label sits where the application draws the control.
  auto drawn = fixture_->frame("increment");
  ASSERT_TRUE(drawn.has_value());
  const HintTarget* increment = named(result, "Increment");
  EXPECT_NEAR(increment->frame.x, drawn->x, 2);
  EXPECT_NEAR(increment->frame.y, drawn->y, 2);
  EXPECT_NEAR(increment->frame.width, drawn->width, 2);
  EXPECT_NEAR(increment->frame.height, drawn->height, 2);
}

TEST_F(DiscoveryTest, PressingIncrementThroughItsActionCountsOnce) {
  DiscoveryResult result = discover();
  const AXElementBox* box = boxNamed(result, "Increment");
  ASSERT_NE(box, nullptr);
  const long long before = fixture_->number("counter");
  EXPECT_TRUE(targets::revalidate(*box).isValid());
  EXPECT_EQ(targets::performSemantic(*box, TargetAction::press),
            targets::SemanticOutcome::pressed());
  EXPECT_TRUE(fixture_->waitFor(
      [&](const QJsonObject& state) { return state.value("counter").toDouble() == before + 1; }));
  pump(200ms);
  EXPECT_EQ(fixture_->number("counter"), before + 1);
}

TEST_F(DiscoveryTest, MovedAndRemovedTargetsChangeWhatTheNextDiscoveryFinds) {
  DiscoveryResult first = discover();
  const HintTarget* moving = named(first, "Moving target");
  ASSERT_NE(moving, nullptr);
  const HintTarget::Frame original = moving->frame;
  const AXElementBox stale = *boxNamed(first, "Moving target");

  ASSERT_TRUE(FixtureApp::signal("move"));
  ASSERT_TRUE(pumpUntil(
      [&] {
        auto now = frameOf("Moving target");
        return now && (std::abs(now->x - original.x) >= 40 || std::abs(now->y - original.y) >= 40);
      },
      3s));
  EXPECT_FALSE(targets::revalidate(stale).isValid());

  ASSERT_TRUE(FixtureApp::signal("remove"));
  ASSERT_TRUE(pumpUntil([&] { return !frameOf("Moving target"); }, 3s));
  EXPECT_TRUE(frameOf("Increment").has_value());

  ASSERT_TRUE(FixtureApp::signal("restore"));
  ASSERT_TRUE(pumpUntil(
      [&] {
        auto back = frameOf("Moving target");
        return back && std::abs(back->x - original.x) < 2 && std::abs(back->y - original.y) < 2;
      },
      3s));
}

TEST_F(DiscoveryTest, TheScrollAreaSearchFindsTheFixturesScrollArea) {
  auto scroll = fixture_->frame("scroll");
  ASSERT_TRUE(scroll.has_value());
  DiscoveryServices s = services();
  std::vector<HintTarget::Frame> areas = targets::scrollAreasNow(s, fixture_->pid(), false);
  const auto matches = [&](const HintTarget::Frame& area) {
    return std::abs(area.x - scroll->x) <= 2 && std::abs(area.y - scroll->y) <= 2 &&
           std::abs(area.width - scroll->width) <= 2 && std::abs(area.height - scroll->height) <= 2;
  };
  const bool found = std::any_of(areas.begin(), areas.end(), matches);
  EXPECT_TRUE(found) << "no area matches the scroll frame among " << areas.size() << "\n"
                     << targets::outline(s, fixture_->pid(), 200);

  const Point centre{scroll->x + scroll->width / 2.0, scroll->y + scroll->height / 2.0};
  targets::ScrollContext context = targets::scrollContextNow(
      s, fixture_->pid(), Point{scroll->x + 20.0, scroll->y + 20.0}, centre, true);
  ASSERT_TRUE(context.window.has_value());
  EXPECT_FALSE(context.clickChain.empty());
  EXPECT_FALSE(context.areas.empty());
  // The pointer over the area names it as a scroll area, so scroll mode can choose it before the
  // search above has answered.
  ASSERT_TRUE(context.hover.has_value());
  EXPECT_EQ(context.hover->at, centre);
  EXPECT_TRUE(std::any_of(
      context.hover->chain.begin(), context.hover->chain.end(),
      [&](const ScrollNode& node) { return node.role == scrollAreaRole && matches(node.frame); }))
      << "no scroll area around the pointer; chain of " << context.hover->chain.size();
}

}  // namespace
}  // namespace tovrel::desktoptest
