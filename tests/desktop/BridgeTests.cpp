// The input and output bridge over the real desktop: pointer output landing in an application,
// the tap letting the program's own events through, hot keys, the key-catching panel, displays and
// the readiness report.

#include <X11/keysym.h>
#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/CursorCommand.hpp"
#include "core/Keys.hpp"
#include "platform/HotKeyServices.hpp"
#include "platform/x11/X11Desktop.hpp"
#include "system/CursorOutput.hpp"
#include "system/DisplayGeometry.hpp"
#include "system/EventTap.hpp"
#include "system/Permissions.hpp"
#include "system/SystemHotKeys.hpp"
#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/QtTestApp.hpp"

namespace tovrel::desktoptest {
namespace {

using platform::EventType;
using platform::InputEvent;
namespace eventType = platform::eventType;

class BridgeTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qtApp();
    x11_ = platform::x11::X11Desktop::open();
    ASSERT_NE(x11_, nullptr);
    receiver_ = startReceiver();
    ASSERT_NE(receiver_, nullptr);
    ASSERT_TRUE(receiver_->activate());
  }

  platform::Platform& platform() { return x11_->platform(); }
  Point receiverCenter() {
    auto rect = receiver_->rect();
    return {static_cast<double>(rect->centerX()), static_cast<double>(rect->centerY())};
  }

  std::unique_ptr<platform::x11::X11Desktop> x11_;
  std::unique_ptr<Receiver> receiver_;
};

TEST_F(BridgeTest, PostedClicksAndScrollsLandOnTheWindowUnderThePointer) {
  CursorOutput output(platform().events, platform().displays, platform().clock);
  std::size_t mark = receiver_->log().size();
  Point center = receiverCenter();
  ASSERT_TRUE(output.click(center, MouseButton::left, 1));
  auto press = receiver_->log().waitFor(mousePress(1), 2s, mark);
  ASSERT_TRUE(press);
  EXPECT_NEAR(press->number("gx"), center.x, 1);
  EXPECT_NEAR(press->number("gy"), center.y, 1);
  EXPECT_TRUE(receiver_->log().waitFor(mouseRelease(1), 2s, mark));

  // Two wheel steps' worth of pixels downward, posted in small pieces that only add up together.
  mark = receiver_->log().size();
  for (int i = 0; i < 10; ++i)
    ASSERT_TRUE(output.scroll(0, -10.5));
  auto steps = [&] {
    int down = 0;
    for (const ReceiverEvent& event : receiver_->log().since(mark))
      if (event.is("wheel")) down += event.number("dy", 0) < 0 ? 1 : -1;
    return down;
  };
  pumpUntil([&] { return steps() >= 2; });
  EXPECT_EQ(steps(), 2);

  // A right click, and nothing stays held.
  mark = receiver_->log().size();
  ASSERT_TRUE(output.perform(CursorCommand::press(MouseButton::right)));
  ASSERT_TRUE(output.move(5, 0));
  output.releaseAll();
  EXPECT_TRUE(receiver_->log().waitFor(mouseRelease(3), 2s, mark));  // X numbers the right button 3
  desktop().sync();
  EXPECT_TRUE(desktop().buttonsDown().empty());
}

TEST_F(BridgeTest, TheProgramsOwnEventsPassTheTapWhileTheSameEventsFromElsewhereAreDecided) {
  std::vector<std::pair<EventType, InputEvent>> handled;
  EventTap tap(
      platform().events, platform().clock,
      [&](EventType type, const InputEvent& event) {
        handled.push_back({type, event});
        return false;
      },
      [] {});
  ASSERT_TRUE(tap.install());
  CursorOutput output(platform().events, platform().displays, platform().clock);
  Point center = receiverCenter();
  std::size_t mark = receiver_->log().size();
  ASSERT_TRUE(output.click(center, MouseButton::left, 1));
  ASSERT_TRUE(receiver_->log().waitFor(mouseRelease(1), 2s, mark));
  pump(150ms);
  for (const auto& [type, event] : handled)
    EXPECT_NE(type, eventType::leftMouseDown) << "our own click reached the handler";

  handled.clear();
  const std::size_t foreign = receiver_->log().size();
  inputWhilePumping(desktop(), [&](Desktop& other) {
    other.xtestMove(static_cast<int>(center.x) + 3, static_cast<int>(center.y));
    other.xtestButton(1, true);
    other.xtestButton(1, false);
  });
  EXPECT_TRUE(pumpUntil([&] {
    for (const auto& [type, event] : handled)
      if (type == eventType::leftMouseUp) return true;
    return false;
  })) <<
      [&] {
        std::string heard;
        for (const auto& [type, event] : handled)
          heard += " " + std::to_string(type) + "/" + std::to_string(event.sourceUserData);
        return "handled (type/marker):" + heard + "; the receiver saw the press: " +
               (receiver_->log().waitFor(mousePress(1), 0ms, foreign) ? "yes" : "no");
      }();
  bool sawDown = false;
  for (const auto& [type, event] : handled)
    if (type == eventType::leftMouseDown) {
      sawDown = true;
      EXPECT_EQ(event.sourceUserData, 0);
      EXPECT_NEAR(event.location.x, center.x + 3, 1);
    }
  EXPECT_TRUE(sawDown);
}

TEST_F(BridgeTest, AHotKeyChordRunsItsActionAndIsGoneOnceUnregistered) {
  int runs = 0;
  {
    SystemHotKeys hotKeys(platform().hotKeys);
    hotKeys.registerHotKey(1, Key::j, Modifiers{Modifiers::control, Modifiers::shift},
                           [&] { ++runs; });
    ASSERT_TRUE(hotKeys.hasHotKeys());
    auto chord = [&](Desktop& other) {
      other.hardwareKey(other.keycode(XK_Control_L), true);
      other.hardwareKey(other.keycode(XK_Shift_L), true);
      other.hardwareKey(other.keycode(XK_j), true);
      other.hardwareKey(other.keycode(XK_j), false);
      other.hardwareKey(other.keycode(XK_Shift_L), false);
      other.hardwareKey(other.keycode(XK_Control_L), false);
    };
    inputWhilePumping(desktop(), chord);
    EXPECT_TRUE(pumpUntil([&] { return runs == 1; }));
    // With Caps Lock on the chord still works: the lock variants are grabbed too.
    inputWhilePumping(desktop(), [&](Desktop& other) {
      other.hardwareTap(XK_Caps_Lock);
      chord(other);
      other.hardwareTap(XK_Caps_Lock);
    });
    EXPECT_TRUE(pumpUntil([&] { return runs == 2; }));
  }
  // Destroyed: the chord reaches the application again.
  std::size_t mark = receiver_->log().size();
  inputWhilePumping(desktop(), [&](Desktop& other) {
    other.hardwareKey(other.keycode(XK_Control_L), true);
    other.hardwareTap(XK_j);
    other.hardwareKey(other.keycode(XK_Control_L), false);
  });
  EXPECT_TRUE(receiver_->log().waitFor(keyPress(desktop().keycode(XK_j)), 2s, mark));
  EXPECT_EQ(runs, 2);
}

// Grabbing or giving up a chord reads the connection, taking in a press of another chord that
// had just come; nothing more arrives to wake the main loop, so that press must run by itself.
TEST_F(BridgeTest, AChordPressedJustBeforeAnotherIsGrabbedOrGivenUpRunsWithoutFurtherInput) {
  platform::HotKeyServices& hotKeys = platform().hotKeys;
  const std::uint32_t mask = platform::hotKeyModifier::control | platform::hotKeyModifier::shift;
  int runs = 0;
  auto handler = hotKeys.installHandler([&](const platform::HotKeyID* id) {
    if (id == nullptr || id->id != 1) return platform::hotKeyStatus::eventNotHandled;
    ++runs;
    return platform::hotKeyStatus::noError;
  });
  auto pressed = hotKeys.registerHotKey(Key::j, mask, {0, 1});
  ASSERT_NE(pressed, nullptr);
  std::unique_ptr<platform::HotKeyRegistration> other;
  struct Case {
    const char* read;
    std::function<void()> act;
  };
  const Case cases[] = {
      {"grabbing another chord",
       [&] {
         other = hotKeys.registerHotKey(Key::k, mask, {0, 2});
         EXPECT_NE(other, nullptr);
       }},
      {"giving another chord up", [&] { other.reset(); }},
  };
  const Keycode control = desktop().keycode(XK_Control_L);
  const Keycode shift = desktop().keycode(XK_Shift_L);
  const Keycode j = desktop().keycode(XK_j);
  for (int round = 0; round < 3; ++round)
    for (const Case& c : cases) {
      const int before = runs;
      for (Keycode code : {control, shift, j})
        desktop().xtestKey(code, true);
      for (Keycode code : {j, shift, control})
        desktop().xtestKey(code, false);
      // The server handles the input before the next request: after a second round trip the
      // press is on the hot keys' socket, still unread.
      desktop().sync();
      c.act();
      EXPECT_TRUE(pumpUntil([&] { return runs > before; }))
          << "the press went unheard after " << c.read << " (round " << round << ")";
      ASSERT_EQ(runs, before + 1);
    }
}

TEST_F(BridgeTest, TheKeyCatchingPanelTakesTheKeyboardAndHandsKeysOn) {
  auto panel = platform().panels.createKeyCatcherPanel(platform::PanelStyle{});
  ASSERT_NE(panel, nullptr);
  std::vector<std::pair<EventType, InputEvent>> caught;
  panel->setKeyHandler([&](EventType type, const InputEvent& event, bool) {
    caught.push_back({type, event});
  });
  panel->orderFront();
  panel->makeKey();
  ASSERT_TRUE(pumpUntil([&] { return panel->isKey(); }, 3s));
  std::size_t mark = receiver_->log().size();
  inputWhilePumping(desktop(), [](Desktop& other) {
    other.hardwareTap(XK_k);
    other.hardwareKey(other.keycode(XK_Shift_R), true);
    other.hardwareKey(other.keycode(XK_Shift_R), false);
  });
  ASSERT_TRUE(pumpUntil([&] { return caught.size() >= 4; }));
  EXPECT_EQ(caught[0].first, eventType::keyDown);
  EXPECT_EQ(caught[0].second.keyCode, Key::k);
  EXPECT_EQ(caught[1].first, eventType::keyUp);
  EXPECT_EQ(caught[2].first, eventType::flagsChanged);
  EXPECT_EQ(caught[2].second.keyCode, Key::rightShift);
  EXPECT_TRUE(caught[2].second.flags & platform::eventFlag::rightShift);
  EXPECT_FALSE(caught[3].second.flags & platform::eventFlag::rightShift);
  panel->orderOut();
  pump(50ms);
  // Keys never reached the application while the panel had them.
  for (const ReceiverEvent& event : receiver_->log().since(mark))
    EXPECT_FALSE(event.is("key-press")) << event;
}

TEST_F(BridgeTest, DisplaysAndTheReadinessReportDescribeThisDesktop) {
  auto displays = DisplayGeometry::activeBounds(platform().displays);
  ASSERT_FALSE(displays.empty());
  EXPECT_EQ(displays.front().width, 1280);
  EXPECT_EQ(displays.front().height, 800);
  PermissionReport report =
      Permissions::report(platform().access, platform().events, platform().hotKeys);
  EXPECT_TRUE(report.activeTapCreatable);
  EXPECT_TRUE(report.listenEventAccess);
  EXPECT_FALSE(report.secureInputActive);
  EXPECT_EQ(report.status(), ReadinessStatus::ready);
  EXPECT_FALSE(report.osVersion.empty());
}

}  // namespace
}  // namespace tovrel::desktoptest

namespace tovrel::desktoptest {
namespace {

// Two monitors with the primary one on the right: global coordinates start at its corner.
TEST_F(BridgeTest, GlobalCoordinatesStartAtThePrimaryMonitor) {
  auto xrandr = [](const std::string& arguments) {
    return std::system(("xrandr " + arguments + " >/dev/null 2>&1").c_str()) == 0;
  };
  if (!xrandr("--setmonitor Left 400/100x800/200+0+0 none") ||
      !xrandr("--setmonitor '*Right' 880/200x800/200+400+0 screen"))
    GTEST_SKIP() << "xrandr cannot define monitors here";
  auto restore = [&] {
    xrandr("--delmonitor Left");
    xrandr("--delmonitor Right");
  };
  auto displays = platform::x11::X11Desktop::open();
  ASSERT_NE(displays, nullptr);
  auto bounds = DisplayGeometry::activeBounds(displays->platform().displays);
  CursorOutput output(displays->platform().events, displays->platform().displays,
                      displays->platform().clock);
  bool moved = output.moveTo({10, 20});
  desktop().sync();
  auto [rootX, rootY] = desktop().pointer();
  auto location = output.location();
  restore();
  ASSERT_EQ(bounds.size(), 2u);
  EXPECT_EQ(bounds[0], (platform::Rect{0, 0, 880, 800}));
  EXPECT_EQ(bounds[1], (platform::Rect{-400, 0, 400, 800}));
  ASSERT_TRUE(moved);
  EXPECT_EQ(rootX, 410);
  EXPECT_EQ(rootY, 20);
  EXPECT_EQ(location, (Point{10, 20}));
}

}  // namespace
}  // namespace tovrel::desktoptest
