#include "system/NavigationService.hpp"

// SKELETON: discovery and activation are being written.

namespace tovrel {

void NavigationService::scheduleDiscovery(std::int64_t) {}
void NavigationService::publish(DiscoveryResult, std::int64_t) {}
void NavigationService::activate(std::size_t, std::int64_t, std::int64_t, TargetAction) {}
void NavigationService::complete(const AccessibilityTargets::Revalidation&,
                                 const std::optional<AccessibilityTargets::SemanticOutcome>&,
                                 TargetAction, const AXElementBox*, std::int64_t) {}
void NavigationService::finishActivation(std::int64_t, bool) {}
void NavigationService::rescheduleDiscovery(double, std::int64_t) {}

}  // namespace tovrel
