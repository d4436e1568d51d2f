// Moving, end to end: keys pass through while off, Alt shortcuts do not start it, a right Alt tap
// does, held keys move promptly and evenly, and the keys click, scroll and drag.

#include <algorithm>
#include <cmath>

#include "app/model/AppModel.hpp"
#include "app/selftest/LiveSelfTest.hpp"
#include "system/NavigationService.hpp"

namespace tovrel::selftest {

using detail::boolText;
using detail::distance;
using detail::oneDecimal;
using detail::whole;

namespace {

// What right Alt with A types under the run's keymap (US, Macintosh variant): right Alt selects
// the third level, where A has "å". A plain A types "a", so the character shows that the chord
// reached the application whole.
constexpr const char* optionAText = "å";

}  // namespace

void LiveSelfTest::offPassThrough() {
  activateFixture();
  clickField("typing");
  const Point p0 = pointer();
  auto mouseEvents = [this] {
    return padCount("leftDown") + padCount("rightDown") + padCount("otherDown");
  };
  const double s0 = mouseEvents();
  type("ijklrewq");
  for (std::uint16_t arrow : {Key::upArrow, Key::downArrow, Key::leftArrow, Key::rightArrow})
    press(arrow);
  wait(300);
  const std::string typed = fixtureText("typing");
  const Point p1 = pointer();
  const double s1 = mouseEvents();
  const double moved = distance(p0, p1);
  const bool passed = typed.ends_with("ijklrewq") && moved < 1 && s1 == s0 &&
                      navigation().mode() == InteractionMode::off;
  record({"L01",
          {"A03"},
          "Off: I J K L R E W Q and arrows type normally",
          passed,
          "Field received “" + typed + "”; pointer moved " + oneDecimal(moved) +
              " px; mouse events " + detail::shortestDecimal(s1 - s0) + "; mode " + modeName() +
              ".",
          {}});
}

void LiveSelfTest::optionShortcutDoesNotEnter() {
  clickField("typing");
  const std::size_t n0 = detail::characterCount(fixtureText("typing"));
  holdModifier(Key::rightOption);
  wait(40);
  press(Key::a, Modifiers::option);
  wait(40);
  releaseModifier(Key::rightOption);
  wait(150);
  const std::string m1 = modeName();
  const std::string t1 = fixtureText("typing");
  holdModifier(Key::rightOption);
  wait(450);
  releaseModifier(Key::rightOption);
  wait(150);
  const std::string m2 = modeName();
  const bool passed = m1 == "off" && m2 == "off" && detail::characterCount(t1) == n0 + 1 &&
                      t1.ends_with(optionAText);
  record({"L02",
          {"A05"},
          Key::modifierName(Modifiers::option) + "-letter and a long " +
              Key::modifierName(Modifiers::option) + " hold do not start Cursor mode",
          passed,
          "After " + Key::modifierName(Modifiers::option) + "-A: " + m1 + ", field gained “" +
              detail::lastCharacters(t1, 1) + "”; after a 450 ms hold: " + m2 + ".",
          {}});
}

void LiveSelfTest::cursorEntry() {
  activateFixture();
  pointAt("pad", 0.5, 0.5);
  wait(250);
  const Point p0 = pointer();
  const double b0 = padCount("leftDown") + padCount("rightDown");
  const bool ok = tapModifier(
      Key::rightOption, [this] { return navigation().mode() == InteractionMode::cursor; }, 1.0);
  wait(200);
  const bool visible = visibleOverlayCount() >= 1;
  const double moved = distance(p0, pointer());
  const bool passed =
      ok && moved < 1 && padCount("leftDown") + padCount("rightDown") == b0 && visible;
  record({"L03",
          {"A04"},
          Gesture::modifierTap(Key::rightOption).displayName() +
              " starts Cursor mode without clicking or moving",
          passed,
          "Mode " + modeName() + "; pointer moved " + oneDecimal(moved) + " px; badge visible " +
              boolText(visible) + ".",
          {}});
}

void LiveSelfTest::movement() {
  ensureCursor();
  pointAt("pad", 0.15, 0.5);
  wait(250);
  const double x0 = pointer().x;
  const double t0 = pacer_.now();
  keyDown(Key::l);
  std::optional<double> firstMotion;
  while (pacer_.now() - t0 < 0.4) {
    if (!firstMotion && pointer().x != x0) firstMotion = pacer_.now() - t0;
    wait(2);
  }
  const double xRelease = pointer().x;
  const double tRelease = pacer_.now();
  keyUp(Key::l);
  double lastMotion = tRelease;
  Point last = pointer();
  while (pacer_.now() - tRelease < 0.3) {
    const Point now = pointer();
    if (now.x != last.x || now.y != last.y) {
      lastMotion = pacer_.now();
      last = now;
    }
    wait(2);
  }
  const double moved = xRelease - x0;
  const double firstMs = firstMotion ? *firstMotion * 1000 : -1000;
  const double stopMs = (lastMotion - tRelease) * 1000;
  const bool passed = moved > 20 && firstMotion && *firstMotion < 0.05 && stopMs < 40;
  record({"L04",
          {"A06"},
          "Holding L moves right smoothly and stops on release",
          passed,
          "First motion after " + oneDecimal(firstMs) + " ms; moved " + oneDecimal(moved) +
              " px in 400 ms with no key repeats; last motion " + oneDecimal(stopMs) +
              " ms after release.",
          {{"firstMotionMs", firstMs}, {"stopAfterReleaseMs", stopMs}, {"distance400ms", moved}}});
}

void LiveSelfTest::diagonal() {
  ensureCursor();
  pointAt("pad", 0.2, 0.2);
  wait(250);
  const Point p0 = pointer();
  keyDown(Key::l);
  keyDown(Key::k);
  wait(300);
  keyUp(Key::l);
  keyUp(Key::k);
  wait(80);
  const Point p1 = pointer();
  pointAt("pad", 0.2, 0.5);
  wait(250);
  const double x2 = pointer().x;
  keyDown(Key::l);
  wait(300);
  keyUp(Key::l);
  wait(80);
  const double x3 = pointer().x;
  const double dx = p1.x - p0.x;
  const double dy = p1.y - p0.y;
  const double length = std::hypot(dx, dy);
  const double straight = x3 - x2;
  const double ratio = straight > 0 ? length / straight : 0;
  const bool passed = ratio > 0.8 && ratio < 1.2 && std::abs(dx - dy) <= 0.2 * std::max(dx, dy);
  record({"L05",
          {"A07"},
          "Diagonal movement is normalized",
          passed,
          "Diagonal moved " + oneDecimal(dx) + " × " + oneDecimal(dy) + " px (length " +
              oneDecimal(length) + "); straight moved " + oneDecimal(straight) +
              " px in the same time; ratio " + oneDecimal(ratio) + ".",
          {{"diagonalToStraightRatio", ratio}}});
}

void LiveSelfTest::clicks() {
  ensureCursor();
  pointAt("pad", 0.5, 0.5);
  wait(250);
  const double l0 = padCount("leftDown");
  press(Key::space);
  wait(120);
  press(Key::space);
  wait(250);
  const double r0 = padCount("rightDown");
  const double o0 = padCount("otherDown");
  press(Key::space, Modifiers::shift);
  press(Key::e);
  wait(250);
  const double left = padCount("leftDown") - l0;
  const double clickCount = padCount("maxClickCount");
  const double right = padCount("rightDown") - r0;
  const double middle = padCount("otherDown") - o0;
  const bool passed = left == 2 && clickCount >= 2 && right == 1 && middle == 1;
  record({"L06",
          {"M1"},
          "Space clicks (twice = double-click), Shift-Space right-clicks, E middle-clicks",
          passed,
          "Left downs +" + whole(left) + ", max click count " + whole(clickCount) + ", right +" +
              whole(right) + ", middle +" + whole(middle) + ".",
          {}});
}

void LiveSelfTest::scrolling() {
  ensureCursor();
  pointAt("scroll", 0.5, 0.5);
  wait(250);
  const double y0 = fixtureNumber("scrollY");
  keyDown(Key::downArrow);
  wait(350);
  keyUp(Key::downArrow);
  wait(250);
  const double y1 = fixtureNumber("scrollY");
  keyDown(Key::upArrow);
  wait(200);
  keyUp(Key::upArrow);
  wait(250);
  const double y2 = fixtureNumber("scrollY");
  record({"L07",
          {"M1"},
          "Down/Up arrows scroll the area under the pointer",
          y1 > y0 + 20 && y2 < y1,
          "Scrolled from " + oneDecimal(y0) + " to " + oneDecimal(y1) + " px with Down, back to " +
              oneDecimal(y2) + " with Up. Direction follows this desktop’s scrolling setting.",
          {{"scrolledDown", y1 - y0}}});
}

void LiveSelfTest::drag() {
  ensureCursor();
  pointAt("pad", 0.2, 0.5);
  wait(250);
  const double d0 = padCount("dragDistance");
  const double u0 = padCount("leftUp");
  keyDown(Key::space);
  wait(80);
  keyDown(Key::l);
  wait(250);
  keyUp(Key::l);
  wait(80);
  keyUp(Key::space);
  wait(250);
  const double dragged = padCount("dragDistance") - d0;
  const double released = padCount("leftUp") - u0;
  const bool down = leftButtonDown();
  record({"L08",
          {"M1"},
          "Holding Space drags while I J K L move",
          dragged > 20 && released == 1 && !down,
          "Dragged " + oneDecimal(dragged) + " px; button released " + whole(released) +
              " time(s); button still down: " + boolText(down) + ".",
          {}});
}

void LiveSelfTest::exitWhileDragging() {
  ensureCursor();
  clickField("typing");
  ensureCursor();
  pointAt("pad", 0.2, 0.3);
  wait(250);
  const std::string t0 = fixtureText("typing");
  const double u0 = padCount("leftUp");
  holdModifier(Key::leftCommand);
  wait(60);
  keyDown(Key::l, Modifiers::command);
  wait(200);
  press(Key::escape, Modifiers::command);
  wait(60);
  const Point p1 = pointer();
  wait(200);
  const double drift = distance(p1, pointer());
  keyUp(Key::l, Modifiers::command);
  releaseModifier(Key::leftCommand);
  wait(200);
  const double released = padCount("leftUp") - u0;
  const bool down = leftButtonDown();
  const bool unchanged = fixtureText("typing") == t0;
  const bool passed = navigation().mode() == InteractionMode::off && released == 1 && drift < 1 &&
                      !down && unchanged;
  record({"L09",
          {"A08"},
          "Escape while dragging and moving stops motion and releases the button",
          passed,
          "Mode " + modeName() + "; button released " + whole(released) + "×; drift after exit " +
              oneDecimal(drift) + " px; no keys leaked into the field: " + boolText(unchanged) +
              ".",
          {}});
}

}  // namespace tovrel::selftest
