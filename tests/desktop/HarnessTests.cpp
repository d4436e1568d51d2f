// Proves the desktop harness itself: input posted the way the other desktop tests post it reaches
// an ordinary application, lands where it was aimed, and leaves nothing held.
#include "DesktopHarness.hpp"

#include <X11/keysym.h>

#include <algorithm>

namespace tovrel::desktoptest {
namespace {

bool contains(const std::vector<Keycode>& codes, Keycode code) {
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

using HarnessTest = DesktopTest;

TEST_F(HarnessTest, HardwareKeysReachTheFocusedReceiverAsTyped) {
  auto receiver = startReceiver();
  ASSERT_NE(receiver, nullptr);
  ASSERT_TRUE(receiver->activate());
  auto& log = receiver->log();
  const std::size_t mark = log.size();

  const Keycode a = desktop().keycode(XK_a);
  ASSERT_NE(a, 0U);
  desktop().hardwareTap(XK_a);
  const auto press = log.waitFor(keyPress(a), 5s, mark);
  ASSERT_TRUE(press.has_value()) << "no key press in " << log.path();
  EXPECT_EQ(press->text(), "a");
  EXPECT_EQ(press->number("sym"), static_cast<long>(XK_a));
  EXPECT_EQ(press->number("repeat"), 0);
  ASSERT_TRUE(log.waitFor(keyRelease(a), 5s, mark).has_value());

  // Shifted characters and a space (percent-encoded in the log) survive the round trip.
  const std::size_t typed = log.size();
  desktop().hardwareType("Hi 5!");
  ASSERT_TRUE(log.waitFor(keyRelease(desktop().keycode(XK_exclam)), 5s, typed).has_value());
  EXPECT_EQ(log.typedText(typed), "Hi 5!");

  EXPECT_TRUE(desktop().keysDown().empty());
}

TEST_F(HarnessTest, HardwareClickAndWheelLandWhereAimed) {
  auto receiver = startReceiver({"Tovrel click target", 300, 200});
  ASSERT_NE(receiver, nullptr);
  const auto rect = receiver->rect();
  ASSERT_TRUE(rect.has_value());
  EXPECT_EQ(rect->width, 400);
  EXPECT_EQ(rect->height, 300);
  auto& log = receiver->log();
  const std::size_t mark = log.size();

  const int x = rect->x + 37;
  const int y = rect->y + 211;
  desktop().hardwareClick(x, y, 1);
  EXPECT_EQ(desktop().pointer(), std::make_pair(x, y));
  const auto press = log.waitFor(mousePress(1), 5s, mark);
  ASSERT_TRUE(press.has_value()) << "no click in " << log.path();
  EXPECT_EQ(press->number("x"), 37);
  EXPECT_EQ(press->number("y"), 211);
  EXPECT_EQ(press->number("gx"), x);
  EXPECT_EQ(press->number("gy"), y);
  ASSERT_TRUE(log.waitFor(mouseRelease(1), 5s, mark).has_value());

  desktop().hardwareButton(3, true);
  desktop().hardwareButton(3, false);
  desktop().xtestButton(4, true);  // Xvfb's own mouse has no wheel
  desktop().xtestButton(4, false);
  ASSERT_TRUE(log.waitFor(mouseRelease(3), 5s, mark).has_value());
  const auto wheel = log.waitFor(ofKind("wheel"), 5s, mark);
  ASSERT_TRUE(wheel.has_value());
  EXPECT_EQ(wheel->number("dy"), 120);
  EXPECT_EQ(wheel->number("dx"), 0);

  EXPECT_TRUE(desktop().buttonsDown().empty());
}

TEST_F(HarnessTest, HeldInputShowsUntilReleased) {
  const Keycode shift = desktop().keycode(XK_Shift_L);
  desktop().hardwareKey(shift, true);
  desktop().hardwareButton(2, true);
  EXPECT_TRUE(contains(desktop().keysDown(), shift));
  EXPECT_EQ(desktop().buttonsDown(), std::vector<int>{2});

  desktop().releaseAll();
  EXPECT_TRUE(desktop().keysDown().empty());
  EXPECT_TRUE(desktop().buttonsDown().empty());

  const Keycode control = desktop().keycode(XK_Control_L);
  desktop().xtestKey(control, true);
  EXPECT_TRUE(contains(desktop().keysDown(), control));
  desktop().xtestKey(control, false);
  EXPECT_FALSE(contains(desktop().keysDown(), control));
}

TEST_F(HarnessTest, KeysFollowTheFocusBetweenReceivers) {
  auto first = startReceiver({"Tovrel receiver one", 50, 50});
  auto second = startReceiver({"Tovrel receiver two", 600, 300});
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(first->window(), second->window());

  for (auto* target : {first.get(), second.get(), first.get()}) {
    auto* other = target == first.get() ? second.get() : first.get();
    ASSERT_TRUE(target->activate());
    EXPECT_FALSE(desktop().hasFocus(other->window()));
    const std::size_t targetMark = target->log().size();
    const std::size_t otherMark = other->log().size();
    desktop().xtestTap(XK_q);
    const auto press = target->log().waitFor(keyPress(desktop().keycode(XK_q)), 5s, targetMark);
    EXPECT_TRUE(press.has_value());
    EXPECT_EQ(other->log().typedText(otherMark), "");
  }
}

}  // namespace
}  // namespace tovrel::desktoptest
