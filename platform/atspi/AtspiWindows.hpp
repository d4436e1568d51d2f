#pragma once

// Toolkits that report where their elements are relative to their own window rather than the
// screen (GTK 4 has no notion of screen coordinates), and where such a window's content lies on
// the screen, from what the window system knows of the application's windows.

#include <array>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovrel::platform::atspi {

// One of an application's windows as the window system places it: the rectangle in root pixels
// and, when the toolkit says so, the margins it draws around its content (left, right, top,
// bottom); its title, and whether it is the desktop's active window. Listed topmost first.
struct ScreenWindow {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  std::optional<std::array<int, 4>> margins;
  std::string title{};
  bool active = false;
};
using WindowsOfProcess = std::function<std::vector<ScreenWindow>(std::int32_t pid)>;

// What an application's toolkit means by its states and extents.
struct ToolkitConventions {
  // Elements inside a showing window report only "visible", never "showing".
  bool visibleMeansShowing = false;
  // Extents are relative to the element's top-level window, whatever coordinate type is asked.
  bool windowRelativeExtents = false;
  // An element that has no name reports its widget's type name ("GtkListItemWidget") instead.
  bool typeNameForNoName = false;
  // Lists its elements' actions whole (GetActions) with nothing missing; elsewhere listing them
  // makes the accessibility bridge fetch translated names and descriptions the toolkit may lack
  // and complain of (an office suite logs two lines per action), and a Gecko browser lists every
  // name as ";;": each name is asked by its index there.
  bool listsActions = false;
  // Describes the objects it keeps in its cache in one answer (Cache.GetItems): role, states,
  // interfaces, name, description, parent and how many children, as they are when it answers.
  // GTK 4 keeps every object a client has met; the ATK bridge (GTK 3, the browsers) keeps the
  // whole tree but what a list or table manages itself, once any client listens for an event.
  // Qt's cache answers nothing.
  bool cachesItems = false;
  // Every element but the application answers frames and actions, so those are asked at once,
  // beside the element's first questions, instead of after its interfaces. Where an element
  // lacks one, the ATK bridge complains of the question in the application's log, and Qt's
  // closed menus and separators do lack frames: the others are asked their interfaces first.
  bool offersFramesAndActions = false;
};
ToolkitConventions conventionsOf(std::string_view toolkitName, std::string_view version);
// The name an element of the AT-SPI `role` (when known) reports, or "" where that is only its
// widget type's name, or a word for its kind, standing in for none: such a name says what the
// toolkit built, not what a person sees. A text's name is what it shows, whatever it reads like.
std::string_view ownName(std::string_view reported, std::optional<std::uint32_t> role,
                         const ToolkitConventions& conventions);

// What the accessibility tree says of a top-level besides its frame: its name (a window's title)
// and, when known, whether it is the active window.
struct FrameIdentity {
  std::string_view name;
  std::optional<bool> active;
};

// Where, in root pixels, the origin of a top-level element that reports its own frame as
// (`x`, `y`, `width`, `height`) lies: the content of the window whose size fits the element's
// best. Windows that draw no margins they name are taken to draw even ones (as many pixels on
// either side). Of windows that fit as well (two windows of one size are common), the one whose
// title is the element's name, then the one as active as the element, then the topmost. The
// shift to add to the element's coordinates; nothing when no window fits within `tolerance`
// pixels (width and height together).
struct Shift {
  int dx = 0;
  int dy = 0;
  bool operator==(const Shift&) const = default;
};
inline constexpr long windowTolerance = std::numeric_limits<long>::max();
std::optional<Shift> windowShift(const std::vector<ScreenWindow>& windows, int x, int y, int width,
                                 int height, long tolerance = windowTolerance,
                                 const FrameIdentity& identity = {});

}  // namespace tovrel::platform::atspi
