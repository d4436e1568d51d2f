#include "platform/atspi/AtspiWindows.hpp"

#include "platform/atspi/AtspiRoles.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <limits>
#include <tuple>

namespace tovrel::platform::atspi {

ToolkitConventions conventionsOf(std::string_view toolkitName, std::string_view version) {
  if (toolkitName == "Qt") return {.listsActions = true};
  // The browsers are bridged as GTK 3 is.
  if (toolkitName == "Gecko" || toolkitName == "Chromium")
    return {.cachesItems = true, .offersFramesAndActions = true};
  if (toolkitName != "GTK" && toolkitName != "gtk") return {};
  int major = 0;
  const auto [end, error] = std::from_chars(version.data(), version.data() + version.size(), major);
  if (error != std::errc()) return {};
  if (major < 4) return {.cachesItems = true};
  return {true, true, true, true, true, true};
}

std::string_view ownName(std::string_view reported, std::optional<std::uint32_t> role,
                         const ToolkitConventions& conventions) {
  if (!conventions.typeNameForNoName) return reported;
  // A text reports what it shows; only an empty label stands in with its own type.
  const auto shows = [&](Role r) { return role && *role == static_cast<std::uint32_t>(r); };
  const bool text = shows(Role::label) || shows(Role::staticText) || shows(Role::paragraph) ||
                    shows(Role::caption) || shows(Role::heading);
  // A widget name an application gave that only says what kind of widget it is.
  for (std::string_view word :
       {"button", "label", "image", "icon", "box", "row", "cell", "item", "entry", "widget"})
    if (!text && reported == word) return {};
  // The toolkit's own widgets and its companion library's; an application's own widget types
  // carry names of its choosing, which only their siblings tell from a word a person reads.
  for (std::string_view prefix : {"Gtk", "Adw"}) {
    if (reported.size() <= prefix.size() || reported.substr(0, prefix.size()) != prefix) continue;
    const std::string_view rest = reported.substr(prefix.size());
    const auto isAsciiUpper = [](char c) { return c >= 'A' && c <= 'Z'; };
    const auto isIdentifier = [&](char c) {
      return isAsciiUpper(c) || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    };
    if (!isAsciiUpper(rest.front()) || !std::all_of(rest.begin(), rest.end(), isIdentifier))
      continue;
    if (!text || rest.ends_with("Label") || rest.ends_with("Inscription")) return {};
  }
  return reported;
}

std::optional<Shift> windowShift(const std::vector<ScreenWindow>& windows, int x, int y, int width,
                                 int height, long tolerance, const FrameIdentity& identity) {
  std::optional<Shift> best;
  // The misfit, then whether the title differs, then whether the active state does; the first
  // window listed (the topmost) wins what is left.
  std::tuple<long, bool, bool> bestRank{std::numeric_limits<long>::max(), true, true};
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
    const std::tuple<long, bool, bool> rank{
        misfit, !identity.name.empty() && window.title != identity.name,
        identity.active.has_value() && window.active != *identity.active};
    if (misfit <= tolerance && (!best || rank < bestRank)) {
      bestRank = rank;
      best = Shift{window.x + left - x, window.y + top - y};
    }
  }
  return best;
}

}  // namespace tovrel::platform::atspi
