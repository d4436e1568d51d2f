#pragma once

// Posts the program's synthetic pointer events: moves and drags, presses and clicks with click
// counts, and pixel scroll-wheel events. Each one carries `marker`, by which the event tap knows
// the program's own output and lets it pass. Used on the main thread only.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "core/CursorCommand.hpp"
#include "core/HintTarget.hpp"
#include "platform/Clock.hpp"
#include "platform/DisplayServices.hpp"
#include "platform/EventServices.hpp"

namespace tovrel {

class CursorOutput {
 public:
  // "TVRL", first character in the most significant byte.
  static constexpr std::int64_t marker = (std::int64_t{'T'} << 24) | (std::int64_t{'V'} << 16) |
                                         (std::int64_t{'R'} << 8) | std::int64_t{'L'};
  static_assert(marker == 0x5456524C);

  struct ButtonEvents {
    platform::EventType down = 0;
    platform::EventType up = 0;
    std::int64_t number = 0;
  };
  // Indexed by MouseButton.
  static constexpr std::array<ButtonEvents, 5> buttonTable = {{
      {platform::eventType::leftMouseDown, platform::eventType::leftMouseUp, 0},
      {platform::eventType::rightMouseDown, platform::eventType::rightMouseUp, 1},
      {platform::eventType::otherMouseDown, platform::eventType::otherMouseUp, 2},
      {platform::eventType::otherMouseDown, platform::eventType::otherMouseUp, 3},
      {platform::eventType::otherMouseDown, platform::eventType::otherMouseUp, 4},
  }};
  static const ButtonEvents& buttonEvents(MouseButton button);

  // The event source is created here; without one every post fails.
  CursorOutput(platform::EventServices& events, platform::DisplayServices& displays,
               const platform::Clock& clock);

  // False when an event could not be created. Button events go to the current pointer location.
  bool perform(const CursorCommand& command);
  // Clamped onto the displays; a non-finite component counts as 0.
  bool move(double dx, double dy);
  // Not clamped.
  bool moveTo(Point point);
  // Fractions are carried to the next call. Whole parts beyond the 32-bit wheel range are posted
  // as the range's end and the excess is dropped; a non-finite delta counts as 0.
  bool scroll(double dx, double dy, std::optional<Point> location = std::nullopt);
  bool scrollAt(double dx, double dy, Point location) { return scroll(dx, dy, location); }
  // A move to the point, then clicks with click states 1 to max(count, 1). `buttonsDown` stays.
  bool click(Point at, MouseButton button, int count);
  // Nudges the pointer one point right and back so the application under it updates its hover.
  void refreshHover();
  // Lets go of every held button (in MouseButton order) and forgets the scroll fractions.
  void releaseAll();

  bool isLeftDown() const { return buttonsDown.contains(MouseButton::left); }
  // (0, 0) when the location cannot be read.
  Point location() const;
  // A move while a button is held is a drag of that button: left before right before middle.
  std::pair<platform::EventType, std::int64_t> moveType() const;

  bool confineToCurrentDisplay = false;
  std::unique_ptr<platform::EventSource> source;
  double scrollRemainderX = 0;
  double scrollRemainderY = 0;
  std::set<MouseButton> buttonsDown;

 private:
  bool post(platform::EventType type, Point at, std::int64_t button, std::int64_t clickState);
  bool postButton(MouseButton button, bool down, std::int64_t clickState, Point at);

  platform::EventServices& events_;
  platform::DisplayServices& displays_;
  const platform::Clock& clock_;
};

}  // namespace tovrel
