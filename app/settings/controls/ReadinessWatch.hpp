#pragma once

// What decides whether Tovrel can read the keyboard, and a watch that follows it for as long as it
// lives: the service's readiness and tap, and whether pictures of the window assume access.

#include <cstdint>
#include <functional>

#include "app/model/AppModel.hpp"

namespace tovrel::settings {

// Whether Tovrel can read shortcuts and find controls: the one rule the access card and the About
// page answer by. Pictures of the window assume so; otherwise the tap must be installed and the
// desktop's accessibility switched on, since Clicking and Scrolling read other applications
// through it. A password field holding the keyboard is told apart, not counted here.
inline bool keyboardAccessAllowed(bool assumesAccess, bool tapInstalled, bool accessibilityOn) {
  return assumesAccess || (tapInstalled && accessibilityOn);
}
inline bool keyboardAccessAllowed(const AppModel& model) {
  const NavigationService& navigation = model.navigation();
  return keyboardAccessAllowed(model.assumesAccessForSnapshots(), navigation.tapInstalled(),
                               navigation.readiness().accessibilityTrusted);
}

class ReadinessWatch {
 public:
  ReadinessWatch(AppModel& model, std::function<void()> changed) : model_(model) {
    modelToken_ = model_.observe([changed](AppModel::Property property) {
      if (property == AppModel::Property::assumesAccessForSnapshots) changed();
    });
    navigationToken_ = model_.navigation().observe([changed](NavigationService::Property property) {
      if (property == NavigationService::Property::readiness ||
          property == NavigationService::Property::tapInstalled)
        changed();
    });
  }
  ~ReadinessWatch() {
    model_.removeObserver(modelToken_);
    model_.navigation().removeObserver(navigationToken_);
  }
  ReadinessWatch(const ReadinessWatch&) = delete;
  ReadinessWatch& operator=(const ReadinessWatch&) = delete;

 private:
  AppModel& model_;
  std::uint64_t modelToken_ = 0;
  std::uint64_t navigationToken_ = 0;
};

}  // namespace tovrel::settings
