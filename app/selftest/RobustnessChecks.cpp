// Situations ordinary use rarely produces on demand: a window with nothing accessible, another
// application taking the focus during a discovery, and the machine going to sleep mid-drag.

#include "app/model/AppModel.hpp"
#include "app/selftest/LiveSelfTest.hpp"
#include "platform/Platform.hpp"
#include "system/NavigationService.hpp"

namespace tovrel::selftest {

using detail::boolText;

void LiveSelfTest::inaccessibleCanvas() {
  ensureOff();
  auto started = launch({"--state", statePath("canvas-state.json").string(), "--canvas"});
  if (!started) {
    record({"L19", {"A14"}, "Inaccessible canvas", false, "Canvas fixture did not start.", {}});
    return;
  }
  terminate(canvas_);
  canvas_ = started;
  activate(*canvas_);
  pressClickEntry();
  waitFor(2.0, [this] { return labelled(); });
  const ClickSession* click = navigation().router().click();
  const long labels = click ? static_cast<long>(click->targets().size()) : -1;
  const auto& discovery = navigation().lastDiscovery();
  const long content = discovery ? discovery->contentTargets : -1;
  const std::string message = navigation().message().value_or("");
  press(Key::escape);
  wait(150);
  // The service points to Moving by the name the person sees for it.
  record({"L19",
          {"A14"},
          "Click on an inaccessible canvas says so and points to Cursor mode",
          content == 0 && message.find("Moving") != std::string::npos,
          "Content targets: " + std::to_string(content) + " (window buttons labelled: " +
              std::to_string(labels) + "); message: “" + message + "”.",
          {}});
}

void LiveSelfTest::focusChangeDuringDiscovery() {
  activateFixture();
  ensureOff();
  pressClickEntry();
  // Without Click on (its session labelling or still reading the window) before the switch, an
  // entry that did nothing would pass for one that was ended.
  const bool clickOn = waitFor(1.0, [this] {
    return navigation().mode() == InteractionMode::click &&
           navigation().router().click() != nullptr;
  });
  auto other = launch({"--state", statePath("switch-state.json").string(), "--canvas"});
  wait(600);
  // A launch that failed took nothing: without an instance there is no focus to have taken.
  const bool tookFocus = other && platform().workspace.frontmostApplicationPid() ==
                                      static_cast<std::int32_t>(other->pid);
  const bool noSession = navigation().router().click() == nullptr;
  const std::size_t overlays = visibleOverlayCount();
  record({"L20",
          {"A19"},
          "Switching apps during discovery ends Click without publishing old labels",
          clickOn && tookFocus && navigation().mode() == InteractionMode::off && noSession &&
              overlays == 0,
          "Click on before the switch: " + boolText(clickOn) +
              "; other app took focus: " + boolText(tookFocus) + "; mode " + modeName() +
              "; snapshot " + (noSession ? "discarded" : "still present") + "; overlays " +
              std::to_string(overlays) + ".",
          {}});
  terminate(other);
  activateFixture();
}

void LiveSelfTest::forcedStopWhileDragging() {
  activateFixture();
  ensureOff();
  pointAt("pad", 0.4, 0.4);
  wait(250);
  tapModifier(
      Key::rightOption, [this] { return navigation().mode() == InteractionMode::cursor; }, 1.0);
  holdModifier(Key::leftCommand);
  wait(150);
  const double u0 = padCount("leftUp");
  platform().systemEvents.post(platform::SystemNotification::willSleep);
  wait(250);
  const bool released = padCount("leftUp") == u0 + 1 && !leftButtonDown();
  releaseModifier(Key::leftCommand);
  wait(100);
  record({"L21",
          {"A20"},
          "Sleep notification mid-drag releases the button and turns Tovrel off (simulated "
          "notification)",
          released && navigation().mode() == InteractionMode::off,
          "Button released: " + boolText(released) + "; mode " + modeName() +
              ". Real sleep, lock, and permission revocation were not exercised by this test.",
          {}});
}

}  // namespace tovrel::selftest
