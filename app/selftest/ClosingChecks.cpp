// The last checks: Scrolling on the fixture's scroll area, a long fixed sequence of mode changes
// that must leave nothing held, and the program's own processor time while it idles.

#include <sys/resource.h>

#include <algorithm>

#include "app/model/AppModel.hpp"
#include "app/selftest/LiveSelfTest.hpp"
#include "system/NavigationService.hpp"

namespace tovrel::selftest {

using detail::boolText;
using detail::distance;
using detail::oneDecimal;

namespace {

double processorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1'000'000;
}

}  // namespace

void LiveSelfTest::scrollMode() {
  ensureOff();
  activateFixture();
  pointAt("scroll", 0.5, 0.5);
  wait(200);
  const Point p0 = pointer();
  const double y0 = fixtureNumber("scrollY");
  // The chord is the run's own setting, not whatever the configuration says.
  press(Key::j, {Modifiers::command, Modifiers::control});
  const bool started = waitFor(2.0, [this] {
    const ScrollSession* scroll = navigation().router().scroll();
    return navigation().mode() == InteractionMode::scroll && scroll != nullptr &&
           scroll->window().has_value();
  });
  wait(200);
  const Point p1 = pointer();
  keyDown(Key::j);
  wait(600);
  keyUp(Key::j);
  wait(300);
  const double y1 = fixtureNumber("scrollY");
  press(Key::k, Modifiers::shift);
  wait(500);
  const double y2 = fixtureNumber("scrollY");
  press(Key::escape);
  wait(300);
  const Point p2 = pointer();
  const bool passed = started && y0 + 20 < y1 && y2 < y1 - 50 && distance(p0, p2) < 2 &&
                      navigation().mode() == InteractionMode::off;
  const auto& log = navigation().log();
  std::string recent;
  for (std::size_t index = log.size() > 3 ? log.size() - 3 : 0; index < log.size(); ++index)
    recent += (recent.empty() ? "" : " / ") + log[index].text;
  record({"L24",
          {"Scroll"},
          "Scroll mode scrolls what is under the pointer",
          passed,
          "Started: " + boolText(started) + "; pointer moved " + oneDecimal(distance(p0, p1)) +
              " px away; J scrolled " + oneDecimal(y0) + " → " + oneDecimal(y1) +
              " px; Shift-K back to " + oneDecimal(y2) + " px; pointer returned within " +
              oneDecimal(distance(p0, p2)) + " px; mode " + modeName() + ". Log: " + recent,
          {}});
}

void LiveSelfTest::stability() {
  activateFixture();
  ensureOff();
  pointAt("pad", 0.5, 0.5);
  wait(200);
  press(Key::escape);
  wait(18);
  for (int kind : detail::stabilityKinds(150)) {
    switch (kind) {
      case 0:
        tapModifier(
            Key::rightOption, [] { return false; }, 0);
        break;
      case 1:
        pressClickEntry();
        break;
      case 2:
        holdModifier(Key::leftCommand);
        wait(10);
        releaseModifier(Key::leftCommand);
        break;
      case 3:
        keyDown(Key::j);
        wait(15);
        keyUp(Key::j);
        break;
      default:
        press(Key::escape);
        break;
    }
    wait(18);
  }
  press(Key::escape);
  wait(300);
  if (navigation().mode() != InteractionMode::off) {
    press(Key::escape);
    wait(200);
  }
  const bool off = navigation().mode() == InteractionMode::off;
  const bool down = leftButtonDown();
  const std::size_t overlays = visibleOverlayCount();
  const auto held = navigation().router().cursor().held();
  std::size_t heldCount = 0;
  for (CursorAction action : allCases<CursorAction>())
    if (held.contains(action)) ++heldCount;
  record({"L22",
          {"Stability"},
          "150 generated enter/switch/drag/exit steps leave nothing held",
          off && !down && overlays == 0 && held.empty(),
          "Mode " + modeName() + "; left button down " + boolText(down) + "; overlays " +
              std::to_string(overlays) + "; held actions " + std::to_string(heldCount) + ".",
          {}});
}

void LiveSelfTest::idleCPU() {
  ensureOff();
  const double cpu0 = processorSeconds();
  const auto t0 = std::chrono::system_clock::now();
  wait(5000);
  const double cpu1 = processorSeconds();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::system_clock::now() - t0).count();
  const double used = cpu1 - cpu0;
  const double percent = elapsed > 0 ? used / elapsed * 100 : 0;
  record({"L23",
          {"Performance"},
          "Idle CPU while Off over 5 s",
          percent < 1.0,
          "Tovrel used " + oneDecimal(used * 1000) + " ms of CPU in 5 s (" + oneDecimal(percent) +
              "%).",
          {{"idleCPUPercent", percent}}});
}

}  // namespace tovrel::selftest
