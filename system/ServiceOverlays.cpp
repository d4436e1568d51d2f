#include "system/NavigationService.hpp"

// SKELETON: the overlay contents are being written.

namespace tovrel {

void NavigationService::refreshOverlays() {}
void NavigationService::placeBadge(std::optional<Point>) {}
void NavigationService::fillHelp() {}
HostedOverlay& NavigationService::badge() {
  return *badge_;
}
HostedOverlay& NavigationService::hud() {
  return *hud_;
}
HostedOverlay& NavigationService::help() {
  return *help_;
}

}  // namespace tovrel
