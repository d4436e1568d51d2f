#include "core/ScrollSession.hpp"

#include <algorithm>
#include <cmath>

#include "core/CursorEngine.hpp"

namespace tovrel {

namespace {

using Frame = HintTarget::Frame;

// Areas smaller than this either way are not worth a tab stop or a scroll-area region.
constexpr double minimumStop = 80;
// Frames closer than this in all four numbers are the same area reported twice.
constexpr double duplicateTolerance = 4.0;
// Containment slack, since nested areas are often reported a point off.
constexpr double edgeSlack = 1.0;
// A nested pair narrower apart than this is one scroll view with its content area.
constexpr double sameWidthTolerance = 8.0;
// A container whose inner stops cover this share of it adds nothing to step through.
constexpr double coveredShare = 0.6;
constexpr double columnWidth = 40.0;
// Panes: at least this wide, this share of the window's height, less than this share of its area.
constexpr double paneMinimumWidth = 150;
constexpr double paneHeightShare = 0.7;
constexpr double paneAreaShare = 0.85;
// A dash scrolls this share of the region within about this many seconds.
constexpr double dashShare = 0.8;
constexpr double dashSeconds = 0.16;
// The dash size when no region is known.
constexpr double defaultRegionWidth = 800;
constexpr double defaultRegionHeight = 600;
// Below this the rest of a dash would not move anything visibly.
constexpr double dashRemainderDropped = 0.5;

// Every clipped frame comes from here: a pane is recognised by exact equality with a stop, which
// holds only when both were computed by the same expressions.
Frame clip(const Frame& frame, const Frame& window) {
  const double left = std::max(frame.x, window.x);
  const double top = std::max(frame.y, window.y);
  const double right = std::min(frame.x + frame.width, window.x + window.width);
  const double bottom = std::min(frame.y + frame.height, window.y + window.height);
  return {left, top, right - left, bottom - top};
}

// `inner` lies within `outer`, allowing the slack on every side.
bool insideWithSlack(const Frame& inner, const Frame& outer) {
  return inner.x >= outer.x - edgeSlack && inner.y >= outer.y - edgeSlack &&
         inner.x + inner.width <= outer.x + outer.width + edgeSlack &&
         inner.y + inner.height <= outer.y + outer.height + edgeSlack;
}

bool nearDuplicate(const Frame& a, const Frame& b) {
  return std::abs(a.x - b.x) < duplicateTolerance && std::abs(a.y - b.y) < duplicateTolerance &&
         std::abs(a.width - b.width) < duplicateTolerance &&
         std::abs(a.height - b.height) < duplicateTolerance;
}

double column(const Frame& frame) {
  // Halves go away from zero: x = 20 is in column 1, not column 0 as rint would have it.
  return std::round(frame.x / columnWidth);
}

}  // namespace

ScrollSession::ScrollSession(ScrollProfile scrolling) : scrolling_(scrolling) {}

std::optional<ScrollSession::Frame> ScrollSession::paneShaped(const Frame& frame,
                                                              const Frame& window) {
  const Frame clipped = clip(frame, window);
  if (clipped.width >= 1 && clipped.width >= paneMinimumWidth && clipped.height >= 1 &&
      clipped.height >= paneHeightShare * window.height &&
      clipped.width * clipped.height < paneAreaShare * window.width * window.height)
    return clipped;
  return std::nullopt;
}

std::vector<ScrollSession::Frame> ScrollSession::tabStops(const std::vector<Frame>& areas,
                                                          const Frame& window) {
  // Large enough once clipped to the window.
  std::vector<Frame> clipped;
  for (const Frame& area : areas) {
    const Frame frame = clip(area, window);
    if (frame.width >= minimumStop && frame.height >= minimumStop) clipped.push_back(frame);
  }

  // The same area reported twice, a little apart.
  std::vector<Frame> distinct;
  for (const Frame& frame : clipped) {
    const bool seen = std::any_of(distinct.begin(), distinct.end(),
                                  [&](const Frame& kept) { return nearDuplicate(kept, frame); });
    if (!seen) distinct.push_back(frame);
  }

  // A scroll view and its content area of nearly the same width: one stop is enough. When the
  // inner one shares a top or bottom edge with the outer one it is the content, so the outer one
  // stays; when it is inset at both ends the outer one is only a frame around it. Pairs come from
  // the snapshot, so a frame already removed can still remove another.
  std::vector<Frame> reduced = distinct;
  for (const Frame& a : distinct) {
    for (const Frame& b : distinct) {
      if (b == a || !insideWithSlack(a, b) || !(std::abs(b.width - a.width) < sameWidthTolerance))
        continue;
      const double d = std::min(std::abs(b.y - a.y), std::abs((b.y + b.height) - (a.y + a.height)));
      const Frame victim = d < duplicateTolerance ? a : b;
      std::erase(reduced, victim);
    }
  }

  // Containers mostly covered by their inner stops, judged against the list as it stands before
  // any of them is dropped.
  std::vector<Frame> stops;
  for (const Frame& a : reduced) {
    double covered = 0;
    for (const Frame& b : reduced)
      if (b != a && insideWithSlack(b, a)) covered += b.width * b.height;
    if (covered < coveredShare * a.width * a.height) stops.push_back(a);
  }

  // Reading order in 40-point columns: down each column, columns left to right. The column is a
  // monotone function of x, so this is a strict weak ordering (by column, then y).
  std::stable_sort(stops.begin(), stops.end(), [](const Frame& a, const Frame& b) {
    return column(a) == column(b) ? a.y < b.y : a.x < b.x;
  });
  return stops;
}

std::optional<ScrollSession::Frame> ScrollSession::pane(const std::vector<ScrollNode>& chain,
                                                        const Frame& window,
                                                        const std::vector<Frame>& webPanes) {
  std::optional<Frame> candidate;
  for (const ScrollNode& node : chain) {
    if (node.role == webAreaRole) {
      if (candidate) return candidate;
    } else if (node.role == scrollAreaRole) {
      const Frame clipped = clip(node.frame, window);
      if (clipped.width >= minimumStop && clipped.height >= minimumStop &&
          clipped.width * clipped.height < paneAreaShare * window.width * window.height)
        return clipped;
    } else if (const auto shaped = paneShaped(node.frame, window)) {
      if (std::find(webPanes.begin(), webPanes.end(), *shaped) != webPanes.end())
        candidate = shaped;
    }
  }
  // A pane-shaped element counts only when a web area encloses it.
  return std::nullopt;
}

std::optional<Point> ScrollSession::setWindow(std::optional<Frame> window,
                                              const std::vector<ScrollNode>& clickChain,
                                              const std::vector<ScrollNode>& focusChain,
                                              const std::vector<Frame>& areas,
                                              std::optional<Point> resume,
                                              const std::optional<ScrollHover>& hover) {
  window_ = window;
  windowFrame_ = window;
  guess_.reset();
  if (!window) return std::nullopt;
  guess_ = Guess{clickChain, focusChain, resume, hover};
  const Frame& whole = *window;

  areas_ = tabStops(areas, whole);

  std::optional<Frame> largest;
  for (const Frame& stop : areas_) {
    if (!largest || stop.width * stop.height > largest->width * largest->height) largest = stop;
  }
  // A click elsewhere says the user is not interested in the largest stop.
  if (largest && !clickChain.empty() && !largest->contains(clickChain.front().frame.center()))
    largest.reset();

  // The pointer resting over a pane says which one the user means, as it would for the wheel.
  // Its chain tells even before the stops are known; the stops tell for panes no role names.
  const std::optional<Point> pointer =
      hover && whole.contains(hover->at) ? std::optional(hover->at) : std::nullopt;
  std::optional<Frame> hoverPane;
  if (pointer) {
    hoverPane = pane(hover->chain, whole, areas_);
    if (!hoverPane) {
      if (const auto index = innermost(*pointer)) hoverPane = areas_[*index];
    }
  }

  const std::optional<Frame> clickPane = pane(clickChain, whole, areas_);
  std::optional<Frame> chosen = clickPane;
  if (!chosen) chosen = hoverPane;
  if (!chosen) chosen = pane(focusChain, whole, areas_);
  if (!chosen) chosen = largest;
  Frame region = chosen.value_or(whole);
  // A pointer already over the chosen pane stays where the user put it.
  Point park = chosen && pointer && region.contains(*pointer) ? *pointer : region.center();

  // Where the user last clicked or scrolled wins over any guess, in the pane clicked only when
  // that pane holds it: the wheel goes where the pointer is.
  if (resume && whole.contains(*resume)) {
    region = clickPane && clickPane->contains(*resume) ? *clickPane : whole;
    park = *resume;
  }

  window_ = region;
  areaIndex_ = innermost(park);
  outlined_ = region == whole ? std::nullopt : std::optional<Frame>(region);
  return park;
}

std::optional<std::size_t> ScrollSession::innermost(Point at) const {
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < areas_.size(); ++i) {
    const Frame& stop = areas_[i];
    if (!stop.contains(at)) continue;
    if (!best || stop.width * stop.height < areas_[*best].width * areas_[*best].height) best = i;
  }
  return best;
}

Point ScrollSession::select(std::size_t index) {
  areaIndex_ = index;
  window_ = areas_[index];
  outlined_ = areas_[index];
  return areas_[index].center();
}

std::optional<Point> ScrollSession::area(std::size_t index) {
  if (index >= areas_.size()) return std::nullopt;
  guess_.reset();
  return select(index);
}

std::optional<Point> ScrollSession::nextArea(bool backward) {
  const std::size_t n = areas_.size();
  if (n == 0) return std::nullopt;
  guess_.reset();
  if (!areaIndex_) return select(backward ? n - 1 : 0);
  return select(backward ? (*areaIndex_ + n - 1) % n : (*areaIndex_ + 1) % n);
}

void ScrollSession::pointerMoved(Point to) {
  guess_.reset();
  if (const auto index = innermost(to)) select(*index);
}

std::optional<Point> ScrollSession::areasFound(const std::vector<Frame>& areas, Point pointer) {
  if (!windowFrame_) return std::nullopt;
  if (!guess_) {
    areasMoved(areas, pointer);
    return std::nullopt;
  }
  const Guess guess = std::move(*guess_);
  const std::optional<Frame> before = window_;
  const auto park =
      setWindow(windowFrame_, guess.clickChain, guess.focusChain, areas, guess.resume, guess.hover);
  guess_.reset();
  if (window_ == before && window_ && window_->contains(pointer)) {
    if (const auto index = innermost(pointer)) areaIndex_ = index;
    return std::nullopt;
  }
  return park;
}

void ScrollSession::areasMoved(const std::vector<Frame>& areas, Point pointer) {
  if (!windowFrame_) return;
  areas_ = tabStops(areas, *windowFrame_);
  if (const auto index = innermost(pointer)) {
    select(*index);
  } else {
    areaIndex_.reset();
    outlined_.reset();
    window_ = windowFrame_;
  }
}

std::optional<ScrollSession::Direction> ScrollSession::direction(std::uint16_t code) {
  switch (code) {
    case Key::h:
      return Direction::left;
    case Key::j:
      return Direction::down;
    case Key::k:
      return Direction::up;
    case Key::l:
      return Direction::right;
    default:
      return std::nullopt;
  }
}

bool ScrollSession::owns(const KeyEvent& event) {
  const bool digit =
      std::find(Key::digits.begin(), Key::digits.end(), event.code) != Key::digits.end();
  if (digit && event.modifiers.isEmpty()) return true;
  // Typing keys are swallowed so they do not reach the application; shortcuts pass.
  return event.modifiers.isDisjoint(shortcutModifiers) &&
         (event.code == Key::tab || direction(event.code) || event.typesCharacter);
}

ScrollSession::KeyResult ScrollSession::keyDown(const KeyEvent& event) {
  if (!owns(event)) return {false, {}, std::nullopt};
  const bool noCommandModifiers = event.modifiers.isDisjoint(shortcutModifiers);
  const bool shift = event.modifiers.contains(Modifiers::shift);

  if (event.code == Key::tab && noCommandModifiers) return {true, {}, nextArea(shift)};

  const auto digit = std::find(Key::digits.begin(), Key::digits.end(), event.code);
  if (digit != Key::digits.end() && event.modifiers.isEmpty())
    return {true, {}, area(static_cast<std::size_t>(digit - Key::digits.begin()))};

  if (const auto dir = direction(event.code); dir && noCommandModifiers) {
    if (event.isRepeat) return {true, {}, std::nullopt};
    if (shift) {
      startDash(*dir);
    } else {
      if (held_.empty()) elapsed_ = 0;
      held_.insert(*dir);
      heldCodes_[event.code] = *dir;
    }
    return {true, {}, std::nullopt};
  }
  return {true, {}, std::nullopt};
}

ScrollSession::KeyResult ScrollSession::keyUp(const KeyEvent& event) {
  const auto found = heldCodes_.find(event.code);
  if (found == heldCodes_.end()) {
    // The release of a dash key or of a key pressed again while held is swallowed as well.
    return {direction(event.code).has_value(), {}, std::nullopt};
  }
  const Direction released = found->second;
  heldCodes_.erase(found);
  const bool stillHeld = std::any_of(heldCodes_.begin(), heldCodes_.end(),
                                     [&](const auto& entry) { return entry.second == released; });
  if (!stillHeld) held_.erase(released);
  if (held_.empty()) elapsed_ = 0;
  return {true, {}, std::nullopt};
}

void ScrollSession::startDash(Direction dir) {
  const double width = window_ ? window_->width : defaultRegionWidth;
  const double height = window_ ? window_->height : defaultRegionHeight;
  switch (dir) {
    case Direction::up:
      dashLeft_.dy += dashShare * height;
      break;
    case Direction::down:
      dashLeft_.dy += -dashShare * height;
      break;
    case Direction::right:
      dashLeft_.dx += dashShare * width;
      break;
    case Direction::left:
      dashLeft_.dx += -dashShare * width;
      break;
  }
  // Whatever earlier dashes left is paid out within the same time as the new one.
  dashSpeed_ = {std::abs(dashLeft_.dx) / dashSeconds, std::abs(dashLeft_.dy) / dashSeconds};
}

double ScrollSession::take(double& remaining, double amount) {
  if (remaining == 0) return 0;
  const double step =
      std::copysign(std::min(std::abs(remaining), std::max(amount, 1.0)), remaining);
  remaining -= step;
  if (std::abs(remaining) < dashRemainderDropped) remaining = 0;
  return step;
}

std::vector<CursorCommand> ScrollSession::tick(double dt) {
  // A frame without positive finite time moves nothing (and must not poison the ramp).
  if (!std::isfinite(dt) || dt <= 0) return {};

  double dx = 0;
  double dy = 0;
  if (!held_.empty()) {
    elapsed_ += dt;
    const double step = dt * scrolling_.maximumSpeed * scrollRamp(elapsed_, scrolling_.rampSeconds);
    const auto amount = [&](Direction dir) { return held_.contains(dir) ? step : 0.0; };
    // Opposite keys cancel; diagonals are not normalised.
    dx = amount(Direction::right) - amount(Direction::left);
    dy = amount(Direction::up) - amount(Direction::down);
  }

  dx += take(dashLeft_.dx, dt * dashSpeed_.dx);
  dy += take(dashLeft_.dy, dt * dashSpeed_.dy);

  if (dx == 0 && dy == 0) return {};
  const double sign = scrolling_.reverse ? -1 : 1;
  return {CursorCommand::scroll(dx * sign, dy * sign)};
}

bool ScrollSession::needsTicks() const {
  return !held_.empty() || dashLeft_.dx != 0 || dashLeft_.dy != 0;
}

void ScrollSession::reset() {
  held_.clear();
  heldCodes_.clear();
  elapsed_ = 0;
  dashLeft_ = {};
}

}  // namespace tovrel
