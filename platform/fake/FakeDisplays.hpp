#pragma once

// The in-memory displays: a list a test sets, and a cursor whose hides and shows are counted.

#include <mutex>
#include <utility>
#include <vector>

#include "platform/DisplayServices.hpp"

namespace tovrel::platform::fake {

class FakeDisplayServices : public DisplayServices {
 public:
  FakeDisplayServices() = default;
  explicit FakeDisplayServices(std::vector<Rect> displays) : displays_(std::move(displays)) {}

  // Read from any thread, like the desktop's list.
  std::vector<Rect> activeDisplayBounds() override;
  void setDisplays(std::vector<Rect> displays);

  void hideCursor() override { ++hideCount; }
  void showCursor() override { ++showCount; }
  // Hides not yet undone; 0 when the cursor is visible.
  int cursorHideBalance() const { return hideCount - showCount; }

  int hideCount = 0;
  int showCount = 0;

 private:
  mutable std::mutex mutex_;
  std::vector<Rect> displays_;
};

}  // namespace tovrel::platform::fake
