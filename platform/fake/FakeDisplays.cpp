#include "platform/fake/FakeDisplays.hpp"

#include <utility>

namespace tovrel::platform::fake {

std::vector<Rect> FakeDisplayServices::activeDisplayBounds() {
  std::lock_guard lock(mutex_);
  return displays_;
}

void FakeDisplayServices::setDisplays(std::vector<Rect> displays) {
  std::lock_guard lock(mutex_);
  displays_ = std::move(displays);
}

}  // namespace tovrel::platform::fake
