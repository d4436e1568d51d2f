#include "system/CursorOutput.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <type_traits>
#include <variant>
#include <vector>

#include "system/DisplayGeometry.hpp"

namespace tovrel {

namespace {

double finiteOrZero(double value) {
  return std::isfinite(value) ? value : 0;
}

bool isFinite(Point point) {
  return std::isfinite(point.x) && std::isfinite(point.y);
}

// The wheel takes 32-bit deltas; nothing the engine produces comes near the limits.
std::int32_t wheelDelta(double whole) {
  constexpr double low = std::numeric_limits<std::int32_t>::min();
  constexpr double high = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(whole, low, high));
}

}  // namespace

const CursorOutput::ButtonEvents& CursorOutput::buttonEvents(MouseButton button) {
  const auto index = static_cast<std::size_t>(button);
  return buttonTable[index < buttonTable.size() ? index : 0];
}

CursorOutput::CursorOutput(platform::EventServices& events, platform::DisplayServices& displays,
                           const platform::Clock& clock)
    : source(events.createSource()), events_(events), displays_(displays), clock_(clock) {}

bool CursorOutput::perform(const CursorCommand& command) {
  return std::visit(
      [&](const auto& c) -> bool {
        using C = std::decay_t<decltype(c)>;
        if constexpr (std::is_same_v<C, CursorCommand::Move>) {
          return move(c.dx, c.dy);
        } else if constexpr (std::is_same_v<C, CursorCommand::Scroll>) {
          return scroll(c.dx, c.dy);
        } else if constexpr (std::is_same_v<C, CursorCommand::Press>) {
          buttonsDown.insert(c.button);
          return postButton(c.button, true, 1, location());
        } else if constexpr (std::is_same_v<C, CursorCommand::Release>) {
          buttonsDown.erase(c.button);
          return postButton(c.button, false, 1, location());
        } else if constexpr (std::is_same_v<C, CursorCommand::Click>) {
          const Point at = location();
          const bool down = postButton(c.button, true, c.clickCount, at);
          const bool up = postButton(c.button, false, c.clickCount, at);
          return down && up;
        } else if constexpr (std::is_same_v<C, CursorCommand::ButtonDown>) {
          buttonsDown.insert(c.button);
          return postButton(c.button, true, c.clickCount, location());
        } else {
          static_assert(std::is_same_v<C, CursorCommand::ButtonUp>);
          buttonsDown.erase(c.button);
          return postButton(c.button, false, c.clickCount, location());
        }
      },
      command.value());
}

bool CursorOutput::move(double dx, double dy) {
  if (!clock_.isMainThread()) {
    std::fputs("tovrel: the pointer was moved off the main thread\n", stderr);
    std::abort();
  }
  const Point current = location();
  Point target{current.x + finiteOrZero(dx), current.y + finiteOrZero(dy)};
  const std::vector<platform::Rect> bounds = DisplayGeometry::activeBounds(displays_);
  std::optional<platform::Rect> confinedTo;
  if (confineToCurrentDisplay) {
    auto display = std::find_if(bounds.begin(), bounds.end(),
                                [&](const platform::Rect& rect) { return rect.contains(current); });
    if (display != bounds.end()) confinedTo = *display;
  }
  if (confinedTo)
    target = DisplayGeometry::nearest(target, std::span(&*confinedTo, 1));
  else
    target = DisplayGeometry::nearest(target, bounds);
  return moveTo(target);
}

bool CursorOutput::moveTo(Point point) {
  const auto [type, button] = moveType();
  return post(type, point, button, 0);
}

bool CursorOutput::scroll(double dx, double dy, std::optional<Point> location) {
  const double totalX = finiteOrZero(dx) + scrollRemainderX;
  const double totalY = finiteOrZero(dy) + scrollRemainderY;
  const double wholeX = std::trunc(totalX);
  const double wholeY = std::trunc(totalY);
  scrollRemainderX = totalX - wholeX;
  scrollRemainderY = totalY - wholeY;
  if (wholeX == 0 && wholeY == 0) return true;
  if (!source || (location && !isFinite(*location))) return false;
  platform::InputEvent event;
  event.type = platform::eventType::scrollWheel;
  event.scrollWheel1 = wheelDelta(wholeY);
  event.scrollWheel2 = wheelDelta(wholeX);
  event.sourceUserData = marker;
  if (location) event.location = *location;
  return source->post(event, location.has_value());
}

bool CursorOutput::click(Point at, MouseButton button, int count) {
  if (!moveTo(at)) return false;
  bool posted = true;
  for (int state = 1; state <= std::max(count, 1); ++state) {
    posted = postButton(button, true, state, at) && posted;
    posted = postButton(button, false, state, at) && posted;
  }
  return posted;
}

void CursorOutput::refreshHover() {
  const Point at = location();
  moveTo({at.x + 1, at.y});
  moveTo(at);
}

void CursorOutput::releaseAll() {
  for (MouseButton button : buttonsDown)
    postButton(button, false, 1, location());
  buttonsDown.clear();
  scrollRemainderX = 0;
  scrollRemainderY = 0;
}

Point CursorOutput::location() const {
  return events_.pointerLocation().value_or(Point{});
}

std::pair<platform::EventType, std::int64_t> CursorOutput::moveType() const {
  if (buttonsDown.contains(MouseButton::left)) return {platform::eventType::leftMouseDragged, 0};
  if (buttonsDown.contains(MouseButton::right)) return {platform::eventType::rightMouseDragged, 1};
  if (buttonsDown.contains(MouseButton::middle)) return {platform::eventType::otherMouseDragged, 2};
  return {platform::eventType::mouseMoved, 0};
}

bool CursorOutput::post(platform::EventType type, Point at, std::int64_t button,
                        std::int64_t clickState) {
  // No event can be made at a point that is not on any plane.
  if (!source || !isFinite(at)) return false;
  platform::InputEvent event;
  event.type = type;
  event.location = at;
  event.buttonNumber = button;
  event.clickState = clickState;
  event.sourceUserData = marker;
  return source->post(event, true);
}

bool CursorOutput::postButton(MouseButton button, bool down, std::int64_t clickState, Point at) {
  const ButtonEvents& table = buttonEvents(button);
  return post(down ? table.down : table.up, at, table.number, clickState);
}

}  // namespace tovrel
