#include "system/NavigationService.hpp"

// SKELETON: the event road is being written.

namespace tovrel {

bool NavigationService::handleTapEvent(platform::EventType, const platform::InputEvent&) {
  return false;
}
void NavigationService::installTapIfPossible() {}
void NavigationService::observeSystem() {}
void NavigationService::observe(platform::NotificationCenter, platform::SystemNotification,
                                std::function<void(const platform::NotificationInfo&)>) {}
void NavigationService::updateExclusion() {}
void NavigationService::syncSuspension() {}
void NavigationService::updateEditingState() {}
void NavigationService::syncSecureHotKey() {}
void NavigationService::frontmostChanged(std::optional<std::int32_t>, std::optional<std::string>,
                                         std::optional<std::string>) {}
void NavigationService::applicationQuit(std::optional<std::int32_t>) {}

}  // namespace tovrel
