#pragma once

// Follows what decides whether Tovrel can read the keyboard, for as long as it lives: the service's
// readiness and tap, and whether pictures of the window assume access.

#include <cstdint>
#include <functional>

#include "app/model/AppModel.hpp"

namespace tovrel::settings {

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
