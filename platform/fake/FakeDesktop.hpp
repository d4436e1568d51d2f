#pragma once

// The whole in-memory desktop in one object, with the Platform the program is given.

#include <algorithm>

#include "platform/Platform.hpp"
#include "platform/fake/FakeAccess.hpp"
#include "platform/fake/FakeAccessibility.hpp"
#include "platform/fake/FakeClock.hpp"
#include "platform/fake/FakeDisplays.hpp"
#include "platform/fake/FakeEvents.hpp"
#include "platform/fake/FakeHotKeys.hpp"
#include "platform/fake/FakePanels.hpp"
#include "platform/fake/FakeScheduler.hpp"
#include "platform/fake/FakeSyntheticInput.hpp"
#include "platform/fake/FakeSystem.hpp"
#include "platform/fake/FakeWorkspace.hpp"

namespace tovrel::platform::fake {

struct FakeDesktop {
  // One 1440 × 900 screen with a 25-point bar at the top; the program (pid 100) is running and
  // trusted.
  FakeDesktop() {
    displays.setDisplays({{0, 0, 1440, 900}});
    overlays.screenList = {{{0, 0, 1440, 900}, {0, 25, 1440, 875}}};
    access.trusted = true;
    workspace.apps.push_back({workspace.self, "local.tovrel.Tovrel", "Tovrel", std::nullopt});
  }

  // Runs what waits for the main thread and what falls due within `seconds`, alternately, until
  // the time is up and nothing is left to run now.
  void advance(double seconds) {
    const double end = clock.now + (seconds > 0 ? seconds : 0);
    for (;;) {
      int ran = executor.drainMain();
      ran += scheduler.advance(0);
      if (ran > 0) continue;
      if (clock.now >= end) break;
      // Step to the next moment something may fall due, at most to the end.
      scheduler.advance(std::min(end - clock.now, 0.001));
    }
  }
  void settle() { advance(0); }

  FakeClock clock;
  FakeEventServices events;
  FakeDisplayServices displays;
  FakeHotKeyServices hotKeys;
  FakePanelServices panels;
  FakeAccessServices access;
  FakeAccessibility accessibility{clock};
  FakeWorkspace workspace;
  FakeExecutor executor;
  FakeScheduler scheduler{clock};
  FakeSystemEvents systemEvents;
  FakeApplication application;
  FakeOverlays overlays;
  FakeSyntheticInput syntheticInput;
  Platform platform{clock,        events,        displays,  hotKeys,       panels,
                    access,       accessibility, workspace, executor,      scheduler,
                    systemEvents, application,   overlays,  syntheticInput};
};

}  // namespace tovrel::platform::fake
