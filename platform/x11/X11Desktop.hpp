#pragma once

// The real desktop: every platform service over X11, AT-SPI and Qt, wired together so that the
// tap recognises what the pointer output posts. Made once, on the main thread, after the Qt
// application.

#include <memory>

#include "platform/Platform.hpp"

namespace tovrel::platform::atspi {
class AtspiAccessibility;
}
namespace tovrel::platform::desktop {
class QtExecutor;
class QtScheduler;
}  // namespace tovrel::platform::desktop

namespace tovrel::platform::x11 {

class OwnEventLedger;
class X11InputFence;
class X11Access;
class X11Clock;
class X11Displays;
class X11HotKeys;
class X11Panels;
class X11Pointer;
class X11Workspace;
class X11SystemEvents;
class X11Application;
class QtOverlayServices;
class X11SyntheticInput;

class X11EventServices : public EventServices {
 public:
  X11EventServices(std::shared_ptr<OwnEventLedger> ledger, std::unique_ptr<X11Pointer> pointer,
                   std::shared_ptr<X11InputFence> fence = {});
  ~X11EventServices() override;

  std::unique_ptr<TapPort> createTap(std::uint64_t mask, TapCallback callback) override;
  std::unique_ptr<EventSource> createSource() override;
  std::optional<Point> pointerLocation() override;
  // X lets every client read raw input once it has XInput 2.2: there is nothing to ask for.
  bool preflightListenEventAccess() override;
  bool requestListenEventAccess() override;

 private:
  std::shared_ptr<OwnEventLedger> ledger_;
  std::unique_ptr<X11Pointer> pointer_;
  std::shared_ptr<X11InputFence> fence_;
};

// What a permission report reads, without a Qt GUI and without a display: made for the diagnosis,
// which answers before any window exists. Needs a QCoreApplication for the bus calls.
class X11ReportServices {
 public:
  X11ReportServices();
  ~X11ReportServices();
  AccessServices& access();
  EventServices& events();
  HotKeyServices& hotKeys();

 private:
  std::unique_ptr<X11Access> access_;
  std::unique_ptr<X11EventServices> events_;
  std::unique_ptr<X11HotKeys> hotKeys_;
};

class X11Desktop {
 public:
  // Nothing when no X server answers.
  static std::unique_ptr<X11Desktop> open();
  // Whether the X server of $DISPLAY answers a connection now.
  static bool reachable();
  ~X11Desktop();

  Platform& platform() { return *platform_; }

 private:
  X11Desktop();

  std::shared_ptr<OwnEventLedger> ledger_;
  std::unique_ptr<X11Clock> clock_;
  std::unique_ptr<X11EventServices> events_;
  std::unique_ptr<X11Displays> displays_;
  std::unique_ptr<X11HotKeys> hotKeys_;
  std::unique_ptr<X11Panels> panels_;
  std::unique_ptr<X11Access> access_;
  std::unique_ptr<atspi::AtspiAccessibility> accessibility_;
  std::unique_ptr<X11Workspace> workspace_;
  std::unique_ptr<desktop::QtExecutor> executor_;
  std::unique_ptr<desktop::QtScheduler> scheduler_;
  // After the workspace and the displays, which they use: they go first.
  std::unique_ptr<X11SystemEvents> systemEvents_;
  std::unique_ptr<X11Application> application_;
  std::unique_ptr<QtOverlayServices> overlays_;
  std::unique_ptr<X11SyntheticInput> syntheticInput_;
  std::unique_ptr<Platform> platform_;
};

}  // namespace tovrel::platform::x11
