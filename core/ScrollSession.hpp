#pragma once

// The state of scroll mode: the window, its scrollable areas reduced to tab stops, the chosen
// region, the held direction keys with their speed ramp and the pending dashes. Scroll events go
// to whatever is under the pointer, so choosing a region yields a point to park the pointer at.
// Time comes in as the elapsed seconds of each frame; nothing here reads a clock.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/ConfigRecords.hpp"
#include "core/CursorCommand.hpp"
#include "core/HintTarget.hpp"
#include "core/Keys.hpp"

namespace tovrel {

using ScrollPoint = Point;

// Role names the region search recognises.
inline constexpr std::string_view scrollAreaRole = "AXScrollArea";
inline constexpr std::string_view webAreaRole = "AXWebArea";

// One element of an accessibility chain: an element, then its ancestors outward.
struct ScrollNode {
  std::string role;
  HintTarget::Frame frame;
  bool operator==(const ScrollNode&) const = default;
};

// Where the pointer rests when scrolling starts, with the chain of the element under it.
struct ScrollHover {
  Point at;
  std::vector<ScrollNode> chain;
  bool operator==(const ScrollHover&) const = default;
};

class ScrollSession {
 public:
  using Frame = HintTarget::Frame;

  enum class Direction { up, down, left, right };

  struct KeyResult {
    bool consumed = false;
    std::vector<CursorCommand> commands;  // always empty from the key operations
    std::optional<ScrollPoint> park;      // where to move the pointer when a region was chosen
    bool operator==(const KeyResult&) const = default;
  };

  explicit ScrollSession(ScrollProfile scrolling);

  // The chosen region scrolling acts on (the whole window or one pane of it).
  const std::optional<Frame>& window() const { return window_; }
  // The tab stops, in tab order.
  const std::vector<Frame>& areas() const { return areas_; }
  std::optional<std::size_t> areaIndex() const { return areaIndex_; }
  // The region to outline; none when the region is the whole window.
  const std::optional<Frame>& outlined() const { return outlined_; }
  const ScrollProfile& scrolling() const { return scrolling_; }
  void setScrolling(ScrollProfile scrolling) { scrolling_ = scrolling; }

  // Installs the window and its tab stops and chooses the region; returns the park point, or
  // none when `window` is none. The region is, first found: the pane last clicked in, the pane
  // under the pointer (`hover`), the pane holding the keyboard focus, the largest stop unless the
  // last click was elsewhere; else the whole window. A spot last scrolled at overrides it all.
  std::optional<Point> setWindow(std::optional<Frame> window,
                                 const std::vector<ScrollNode>& clickChain,
                                 const std::vector<ScrollNode>& focusChain,
                                 const std::vector<Frame>& areas, std::optional<Point> resume,
                                 const std::optional<ScrollHover>& hover);
  // The areas of the window's first full search. While the region is still the guess setWindow
  // made (no Tab, digit or pointer move since), it is chosen again with them; returns where to
  // park the pointer when the region changed or `pointer` lies outside it.
  std::optional<Point> areasFound(const std::vector<Frame>& areas, Point pointer);
  void areasMoved(const std::vector<Frame>& areas, Point pointer);
  void pointerMoved(Point to);

  KeyResult keyDown(const KeyEvent& event);
  // Whether `keyDown` keeps a press from the application: Tab, a digit, a direction key, or
  // typing. Shortcuts pass; nothing the session holds changes that.
  static bool owns(const KeyEvent& event);
  KeyResult keyUp(const KeyEvent& event);
  // Empty, or one scroll command.
  std::vector<CursorCommand> tick(double dt);
  // A direction is held or a dash distance remains.
  bool needsTicks() const;
  // Forgets held keys and dashes.
  void reset();

  // The frame clipped to the window when it is shaped like a pane of it, else none.
  static std::optional<Frame> paneShaped(const Frame& frame, const Frame& window);
  static std::vector<Frame> tabStops(const std::vector<Frame>& areas, const Frame& window);

  // A horizontal and vertical distance or speed in scroll pixels.
  struct Offset {
    double dx = 0;
    double dy = 0;
    bool operator==(const Offset&) const = default;
  };

  // Read-only views of the key and dash state, for diagnostics and tests.
  const std::set<Direction>& held() const { return held_; }
  double elapsed() const { return elapsed_; }
  Offset dashLeft() const { return dashLeft_; }
  Offset dashSpeed() const { return dashSpeed_; }

 private:
  static std::optional<Direction> direction(std::uint16_t code);
  // Pays out at most `amount` (at least 1) of `remaining`, which shrinks by what is paid.
  static double take(double& remaining, double amount);
  static std::optional<Frame> pane(const std::vector<ScrollNode>& chain, const Frame& window,
                                   const std::vector<Frame>& webPanes);

  std::optional<std::size_t> innermost(Point at) const;
  Point select(std::size_t index);
  std::optional<Point> area(std::size_t index);
  std::optional<Point> nextArea(bool backward);
  void startDash(Direction dir);

  std::optional<Frame> window_;
  std::vector<Frame> areas_;
  std::optional<std::size_t> areaIndex_;
  std::optional<Frame> outlined_;
  // Implementation members follow.
  std::optional<Frame> windowFrame_;  // the real window, whatever region is chosen
  // What setWindow chose the region from, kept while that choice stands unchallenged.
  struct Guess {
    std::vector<ScrollNode> clickChain;
    std::vector<ScrollNode> focusChain;
    std::optional<Point> resume;
    std::optional<ScrollHover> hover;
  };
  std::optional<Guess> guess_;
  ScrollProfile scrolling_;
  std::set<Direction> held_;
  std::map<std::uint16_t, Direction> heldCodes_;  // which held key gave which direction
  double elapsed_ = 0;                            // since the first held direction key went down
  Offset dashLeft_;
  Offset dashSpeed_;
};

}  // namespace tovrel
