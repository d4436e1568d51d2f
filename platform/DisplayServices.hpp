#pragma once

// The active displays and the system cursor.

#include <vector>

#include "core/HintTarget.hpp"

namespace tovrel::platform {

// x, y, width, height in global top-left coordinates.
using Rect = HintTarget::Frame;

class DisplayServices {
 public:
  virtual ~DisplayServices() = default;
  // In the order of the active display list, the main display first; empty when it cannot be
  // read. Safe to call from any thread.
  virtual std::vector<Rect> activeDisplayBounds() = 0;
  // Balanced: every hide is undone by one show.
  virtual void hideCursor() = 0;
  virtual void showCursor() = 0;
};

}  // namespace tovrel::platform
