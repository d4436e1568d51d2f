#pragma once

// The program's global coordinates put the main (primary) display's top-left corner at the
// origin, with y growing downward; X root coordinates start at the corner of the box around all
// monitors instead. The two differ only when a monitor lies left of or above the primary one.
// The display list keeps this offset current; every place that turns root pixels into global
// points or back reads it.

#include <atomic>

namespace tovrel::platform::x11::rootOrigin {

inline std::atomic<int> x{0};
inline std::atomic<int> y{0};

inline void set(int rootX, int rootY) {
  x.store(rootX, std::memory_order_relaxed);
  y.store(rootY, std::memory_order_relaxed);
}

// Root pixel → global point, and back.
inline int globalX(int rootX) {
  return rootX - x.load(std::memory_order_relaxed);
}
inline int globalY(int rootY) {
  return rootY - y.load(std::memory_order_relaxed);
}
inline int rootX(int globalX) {
  return globalX + x.load(std::memory_order_relaxed);
}
inline int rootY(int globalY) {
  return globalY + y.load(std::memory_order_relaxed);
}

}  // namespace tovrel::platform::x11::rootOrigin
