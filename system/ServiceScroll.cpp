#include "system/NavigationService.hpp"

// SKELETON: scroll-mode support is being written.

namespace tovrel {

void NavigationService::findScrollWindow(std::int64_t) {}
void NavigationService::parkPointer(double, double) {}
void NavigationService::followScrolledAreas(std::int32_t) {}
void NavigationService::showScrollOutline(bool, bool) {}
void NavigationService::hideScrollOutline() {}

}  // namespace tovrel
