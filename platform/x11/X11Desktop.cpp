#include "platform/x11/X11Desktop.hpp"

#include "platform/atspi/AtspiAccessibility.hpp"
#include "platform/desktop/QtExecutor.hpp"
#include "platform/desktop/QtScheduler.hpp"
#include "platform/x11/X11Clock.hpp"
#include "platform/x11/X11Errors.hpp"
#include "platform/x11/input/OwnEventLedger.hpp"
#include "platform/x11/input/X11EventSource.hpp"
#include "platform/x11/input/X11InputFence.hpp"
#include "platform/x11/input/X11Panels.hpp"
#include "platform/x11/input/X11SyntheticInput.hpp"
#include "platform/x11/input/X11Tap.hpp"
#include "platform/x11/overlay/QtOverlayServices.hpp"
#include "platform/x11/session/X11Access.hpp"
#include "platform/x11/session/X11Application.hpp"
#include "platform/x11/session/X11Displays.hpp"
#include "platform/x11/session/X11HotKeys.hpp"
#include "platform/x11/session/X11SystemEvents.hpp"
#include "platform/x11/session/X11Workspace.hpp"

namespace tovrel::platform::x11 {

X11EventServices::X11EventServices(std::shared_ptr<OwnEventLedger> ledger,
                                   std::unique_ptr<X11Pointer> pointer,
                                   std::shared_ptr<X11InputFence> fence)
    : ledger_(std::move(ledger)), pointer_(std::move(pointer)), fence_(std::move(fence)) {}

X11EventServices::~X11EventServices() = default;

std::unique_ptr<TapPort> X11EventServices::createTap(std::uint64_t mask, TapCallback callback) {
  return X11Tap::create(mask, std::move(callback), ledger_, {}, fence_);
}

std::unique_ptr<EventSource> X11EventServices::createSource() {
  return X11EventSource::create(ledger_, nullptr, fence_);
}

std::optional<Point> X11EventServices::pointerLocation() {
  return pointer_ ? pointer_->location() : std::nullopt;
}

bool X11EventServices::preflightListenEventAccess() {
  return pointer_ != nullptr;
}
bool X11EventServices::requestListenEventAccess() {
  return pointer_ != nullptr;
}

std::unique_ptr<X11Desktop> X11Desktop::open() {
  installErrorHandlers();
  auto pointer = X11Pointer::create();
  if (!pointer) return nullptr;
  std::unique_ptr<X11Desktop> desktop(new X11Desktop());
  desktop->ledger_ = std::make_shared<OwnEventLedger>();
  desktop->clock_ = std::make_unique<X11Clock>();
  // One fence for the tap, the pointer output and accessibility actions: whatever they open can
  // take the keyboard.
  auto fence = std::make_shared<X11InputFence>();
  desktop->events_ =
      std::make_unique<X11EventServices>(desktop->ledger_, std::move(pointer), fence);
  desktop->displays_ = std::make_unique<X11Displays>();
  desktop->hotKeys_ = std::make_unique<X11HotKeys>();
  desktop->panels_ = std::make_unique<X11Panels>();
  desktop->access_ = std::make_unique<X11Access>();
  desktop->workspace_ = std::make_unique<X11Workspace>();
  desktop->accessibility_ = std::make_unique<atspi::AtspiAccessibility>(
      [workspace = desktop->workspace_.get()] { return workspace->keyboardFocusPid(); },
      [fence] { fence->freeInput(); },
      [workspace = desktop->workspace_.get()](std::int32_t pid) {
        return workspace->clientWindows(pid);
      });
  desktop->executor_ = std::make_unique<desktop::QtExecutor>();
  desktop->scheduler_ = std::make_unique<desktop::QtScheduler>();
  desktop->systemEvents_ =
      std::make_unique<X11SystemEvents>(*desktop->workspace_, desktop->displays_.get());
  desktop->application_ = std::make_unique<X11Application>(*desktop->workspace_);
  desktop->overlays_ = std::make_unique<QtOverlayServices>();
  desktop->syntheticInput_ = std::make_unique<X11SyntheticInput>();
  desktop->platform_ = std::make_unique<Platform>(
      Platform{*desktop->clock_, *desktop->events_, *desktop->displays_, *desktop->hotKeys_,
               *desktop->panels_, *desktop->access_, *desktop->accessibility_, *desktop->workspace_,
               *desktop->executor_, *desktop->scheduler_, *desktop->systemEvents_,
               *desktop->application_, *desktop->overlays_, *desktop->syntheticInput_});
  return desktop;
}

X11ReportServices::X11ReportServices() {
  installErrorHandlers();
  // Without a display there is no pointer and no tap: the report then says so.
  access_ = std::make_unique<X11Access>();
  events_ =
      std::make_unique<X11EventServices>(std::make_shared<OwnEventLedger>(), X11Pointer::create());
  hotKeys_ = std::make_unique<X11HotKeys>();
}
X11ReportServices::~X11ReportServices() = default;
AccessServices& X11ReportServices::access() {
  return *access_;
}
EventServices& X11ReportServices::events() {
  return *events_;
}
HotKeyServices& X11ReportServices::hotKeys() {
  return *hotKeys_;
}

bool X11Desktop::reachable() {
  return openDisplay() != nullptr;
}

X11Desktop::X11Desktop() = default;
X11Desktop::~X11Desktop() = default;

}  // namespace tovrel::platform::x11
