#pragma once

// Everything the program asks of the desktop, one interface per service. The real desktop and the
// in-memory one used by the tests both fill this in.

#include "platform/AccessServices.hpp"
#include "platform/Accessibility.hpp"
#include "platform/Application.hpp"
#include "platform/Clock.hpp"
#include "platform/DisplayServices.hpp"
#include "platform/EventServices.hpp"
#include "platform/Executor.hpp"
#include "platform/HotKeyServices.hpp"
#include "platform/KeyCatcherPanel.hpp"
#include "platform/Overlays.hpp"
#include "platform/Scheduler.hpp"
#include "platform/SyntheticInput.hpp"
#include "platform/SystemEvents.hpp"
#include "platform/Workspace.hpp"

namespace tovrel::platform {

struct Platform {
  Clock& clock;
  EventServices& events;
  DisplayServices& displays;
  HotKeyServices& hotKeys;
  PanelServices& panels;
  AccessServices& access;
  AccessibilityServices& accessibility;
  WorkspaceServices& workspace;
  Executor& executor;
  Scheduler& scheduler;
  SystemEvents& systemEvents;
  ApplicationServices& application;
  OverlayServices& overlays;
  // The live self-test's keyboard and mouse; nothing else posts through it.
  SyntheticInput& syntheticInput;
};

}  // namespace tovrel::platform
