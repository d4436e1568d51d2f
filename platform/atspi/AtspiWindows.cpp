#include "platform/atspi/AtspiWindows.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <limits>

namespace tovrel::platform::atspi {

ToolkitConventions conventionsOf(std::string_view toolkitName, std::string_view version) {
  if (toolkitName != "GTK" && toolkitName != "gtk") return {};
  int major = 0;
  const auto [end, error] = std::from_chars(version.data(), version.data() + version.size(), major);
  if (error != std::errc() || major < 4) return {};
  return {true, true};
}

std::optional<Shift> windowShift(const std::vector<ScreenWindow>& windows, int x, int y, int width,
                                 int height, long tolerance) {
  std::optional<Shift> best;
  long bestMisfit = std::numeric_limits<long>::max();
  for (const ScreenWindow& window : windows) {
    int left = 0;
    int top = 0;
    int innerWidth = window.width;
    int innerHeight = window.height;
    if (window.margins) {
      const auto [l, r, t, b] = *window.margins;
      left = l, top = t;
      innerWidth -= l + r;
      innerHeight -= t + b;
    } else {
      // A content smaller than the window sits in its middle (the same margin on each side, and
      // the fewer pixels the likelier the window); a window no larger than its content has none.
      left = std::max(0, (window.width - width) / 2);
      top = std::max(0, (window.height - height) / 2);
    }
    const long misfit = std::labs(static_cast<long>(innerWidth) - width) +
                        std::labs(static_cast<long>(innerHeight) - height);
    if (misfit <= tolerance && misfit < bestMisfit) {
      bestMisfit = misfit;
      best = Shift{window.x + left - x, window.y + top - y};
    }
  }
  return best;
}

}  // namespace tovrel::platform::atspi
