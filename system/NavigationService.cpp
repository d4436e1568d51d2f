#include "system/NavigationService.hpp"

// SKELETON: the service core is being written.

namespace tovrel {

NavigationService::NavigationService(platform::Platform& platform, TovrelConfig config)
    : platform_(platform),
      discovery_(DiscoveryServices::of(platform)),
      alive_(std::make_shared<NavigationService*>(this)),
      router_(config, platform.application.doubleClickInterval()),
      output_(platform.events, platform.displays, platform.clock),
      hints_(platform.overlays, platform.displays),
      scanBar_(platform.overlays, platform.scheduler, platform.clock),
      dot_(platform.overlays, platform.displays),
      scrollOutline_(platform.overlays),
      clickHider_(platform.displays),
      secureHotKeys_(platform.hotKeys) {}

NavigationService::~NavigationService() = default;

void NavigationService::start() {}
void NavigationService::shutdown() {}
void NavigationService::setMode(InteractionMode) {}
void NavigationService::stopNavigation() {}
void NavigationService::apply(const TovrelConfig&) {}
void NavigationService::recheckReadiness() {}
std::uint64_t NavigationService::observe(std::function<void(Property)>) {
  return 0;
}
void NavigationService::removeObserver(std::uint64_t) {}
double NavigationService::currentSpeed() const {
  return 0;
}
std::optional<std::string> NavigationService::clickTargetCandidate() {
  return std::nullopt;
}
void NavigationService::applyEffects(const NavigationEffects&) {}
void NavigationService::execute(const NavigationEffect&) {}
void NavigationService::executeStarted(InteractionMode) {}
void NavigationService::executeStopped(InteractionMode) {}
void NavigationService::executeCursor(const CursorCommand&) {}
void NavigationService::forceOff(const std::string&) {}
void NavigationService::record(const std::string&) {}
void NavigationService::updateTimers() {}
void NavigationService::tick() {}
void NavigationService::checkStillAllowed() {}
void NavigationService::syncKeyInterception() {}
RouterDecision NavigationService::routerHandle(RouterInput, std::optional<Point>) {
  return {};
}
void NavigationService::route(RouterInput) {}
Point NavigationService::pointerLocation() {
  return {};
}
double NavigationService::now() const {
  return 0;
}
bool NavigationService::clickKeyHoldsLeft() const {
  return false;
}
bool NavigationService::secureInputOn() {
  return false;
}
void NavigationService::showKeyCatcher() {}
KeyCatcher& NavigationService::keyCatcher() {
  return *keyCatcher_;
}
bool NavigationService::postMove(Point) {
  return false;
}
void NavigationService::notify(Property) {}
std::string NavigationService::routerSummary() const {
  return {};
}
void NavigationService::setMessage(std::optional<std::string>) {}

}  // namespace tovrel
