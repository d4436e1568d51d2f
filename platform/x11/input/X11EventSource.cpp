#include "platform/x11/input/X11EventSource.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/x11/RootOrigin.hpp"
#include "platform/x11/X11Clock.hpp"

namespace tovrel::platform::x11 {

namespace {

// X positions are signed 16-bit on the wire.
constexpr double coordinateMin = -32768;
constexpr double coordinateMax = 32767;

int toPixel(double value) {
  return static_cast<int>(std::clamp(std::floor(value + 0.5), coordinateMin, coordinateMax));
}

bool isFinite(Point point) {
  return std::isfinite(point.x) && std::isfinite(point.y);
}

namespace xButton {
constexpr unsigned left = 1;
constexpr unsigned middle = 2;
constexpr unsigned right = 3;
constexpr unsigned wheelUp = 4;
constexpr unsigned wheelDown = 5;
constexpr unsigned wheelLeft = 6;
constexpr unsigned wheelRight = 7;
}  // namespace xButton

}  // namespace

std::optional<unsigned> xButtonForButtonNumber(std::int64_t buttonNumber) {
  switch (buttonNumber) {
    case 0:
      return xButton::left;
    case 1:
      return xButton::right;
    case 2:
      return xButton::middle;
    default:
      break;
  }
  // X buttons 4–7 are the wheels; back and forward and every extra button come after them.
  if (buttonNumber < 3 || buttonNumber > 250) return std::nullopt;
  return static_cast<unsigned>(buttonNumber + 5);
}

// --- MoveCarry ---------------------------------------------------------------------------------

std::optional<Pixel> MoveCarry::move(Point target) {
  if (!isFinite(target)) return std::nullopt;
  double x = target.x + remainderX_;
  double y = target.y + remainderY_;
  Pixel pixel{toPixel(x), toPixel(y)};
  // A target clamped to the coordinate range leaves no meaningful fraction to carry.
  remainderX_ = std::abs(x - pixel.x) <= 0.5 ? x - pixel.x : 0;
  remainderY_ = std::abs(y - pixel.y) <= 0.5 ? y - pixel.y : 0;
  posted_ = pixel;
  return pixel;
}

std::optional<Pixel> MoveCarry::place(Point target) {
  if (!isFinite(target)) return std::nullopt;
  Pixel pixel{toPixel(target.x), toPixel(target.y)};
  if (posted_ != pixel) remainderX_ = remainderY_ = 0;
  posted_ = pixel;
  return pixel;
}

// --- ClickCounter ------------------------------------------------------------------------------

bool ClickCounter::continues(unsigned xButton, Pixel at, double now) const {
  return run_ && run_->button == xButton && run_->at == at && now - run_->lastPress <= interval;
}

int ClickCounter::missingClicks(unsigned xButton, Pixel at, std::int64_t clickState,
                                double now) const {
  std::int64_t have = continues(xButton, at, now) && !run_->down ? run_->clicks : 0;
  return static_cast<int>(std::clamp<std::int64_t>(clickState - 1 - have, 0, maxMissing));
}

void ClickCounter::pressed(unsigned xButton, Pixel at, double now) {
  if (!continues(xButton, at, now) || run_->down) run_ = Run{xButton, at, 0, now, true};
  run_->lastPress = now;
  run_->down = true;
}

void ClickCounter::released(unsigned xButton, Pixel at, double) {
  if (run_ && run_->down && run_->button == xButton && run_->at == at) {
    ++run_->clicks;
    run_->down = false;
  } else {
    run_.reset();  // a drag or a release of another button ends the run
  }
}

// --- ScrollSteps -------------------------------------------------------------------------------

int ScrollSteps::take(Axis& axis, std::int32_t pixels) {
  if (pixels != 0) {
    const int sign = pixels > 0 ? 1 : -1;
    // Only a rest owed to the old direction goes: one that already went too far that way is
    // paid back by the new one.
    if (sign != axis.lastSign && axis.pending * sign < 0) axis.pending = 0;
    axis.lastSign = sign;
    axis.pending += pixels;
  }
  // To the nearest step, halves away from zero; the rest keeps whichever sign it has.
  const std::int64_t half = pixelsPerStep_ / 2;
  const std::int64_t magnitude = (std::abs(axis.pending) + half) / pixelsPerStep_;
  std::int64_t steps = axis.pending < 0 ? -magnitude : magnitude;
  axis.pending -= steps * pixelsPerStep_;
  if (steps > maxStepsPerEvent || steps < -maxStepsPerEvent) {
    steps = std::clamp<std::int64_t>(steps, -maxStepsPerEvent, maxStepsPerEvent);
    axis.pending = 0;
  }
  return static_cast<int>(steps);
}

ScrollSteps::Steps ScrollSteps::add(std::int32_t wheel1, std::int32_t wheel2) {
  return {take(vertical_, wheel1), take(horizontal_, wheel2)};
}

// --- Pointer -----------------------------------------------------------------------------------

std::optional<Pixel> queryPointer(Display* display) {
  if (display == nullptr || connectionLost(display)) return std::nullopt;
  Window root = 0, child = 0;
  int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
  unsigned mask = 0;
  if (!XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rootX, &rootY, &windowX,
                     &windowY, &mask))
    return std::nullopt;
  return Pixel{rootOrigin::globalX(rootX), rootOrigin::globalY(rootY)};
}

std::unique_ptr<X11Pointer> X11Pointer::create(const char* displayName) {
  DisplayPtr display = openDisplay(displayName);
  if (!display) return nullptr;
  return std::unique_ptr<X11Pointer>(new X11Pointer(std::move(display)));
}

std::optional<Point> X11Pointer::location() {
  std::lock_guard lock(mutex_);
  auto pixel = queryPointer(display_.get());
  if (!pixel) return std::nullopt;
  return Point{static_cast<double>(pixel->x), static_cast<double>(pixel->y)};
}

// --- X11EventSource ----------------------------------------------------------------------------

std::unique_ptr<X11EventSource> X11EventSource::create(std::shared_ptr<OwnEventLedger> ledger,
                                                       const char* displayName,
                                                       std::shared_ptr<X11InputFence> fence) {
  if (!ledger) return nullptr;
  DisplayPtr display = openDisplay(displayName);
  if (!display) return nullptr;
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display.get(), &eventBase, &errorBase, &major, &minor)) return nullptr;
  // Our fake input must not be held back by another client's server grab.
  XTestGrabControl(display.get(), True);
  return std::unique_ptr<X11EventSource>(
      new X11EventSource(std::move(display), std::move(ledger), std::move(fence)));
}

bool X11EventSource::post(const InputEvent& event, bool hasLocation) {
  if (fence_) {
    namespace type = eventType;
    const bool press = event.type == type::leftMouseDown || event.type == type::rightMouseDown ||
                       event.type == type::otherMouseDown;
    auto later = [this, alive = std::weak_ptr<int>(lifetime_), event, hasLocation] {
      if (alive.lock()) postNow(event, hasLocation);
    };
    if (fence_->holdDuringDecision(std::move(later), press)) return !connectionLost(display_.get());
    if (press) fence_->freeInput();
  }
  return postNow(event, hasLocation);
}

bool X11EventSource::postNow(const InputEvent& event, bool hasLocation) {
  if (connectionLost(display_.get())) return false;
  namespace type = eventType;
  switch (event.type) {
    case type::mouseMoved:
    case type::leftMouseDragged:
    case type::rightMouseDragged:
    case type::otherMouseDragged: {
      // X has no drag type: a motion while a button is down is a drag.
      auto pixel = carry_.move(event.location);
      if (!pixel) return false;
      postMotion(*pixel, event.sourceUserData);
      return finish();
    }
    case type::leftMouseDown:
    case type::leftMouseUp:
      return postButtonEvent(event, xButton::left, event.type == type::leftMouseDown);
    case type::rightMouseDown:
    case type::rightMouseUp:
      return postButtonEvent(event, xButton::right, event.type == type::rightMouseDown);
    case type::otherMouseDown:
    case type::otherMouseUp: {
      auto button = xButtonForButtonNumber(event.buttonNumber);
      if (!button) return false;
      return postButtonEvent(event, *button, event.type == type::otherMouseDown);
    }
    case type::scrollWheel:
      return postScroll(event, hasLocation);
    default:
      return false;
  }
}

void X11EventSource::postMotion(Pixel to, std::int64_t userData) {
  ledger_->record(OwnEventLedger::Kind::motion, 0, userData, monotonicNow());
  XTestFakeMotionEvent(display_.get(), -1, rootOrigin::rootX(to.x), rootOrigin::rootY(to.y),
                       CurrentTime);
}

void X11EventSource::postButton(unsigned xButton, bool press, std::int64_t userData) {
  ledger_->record(press ? OwnEventLedger::Kind::buttonPress : OwnEventLedger::Kind::buttonRelease,
                  xButton, userData, monotonicNow());
  XTestFakeButtonEvent(display_.get(), xButton, press ? True : False, CurrentTime);
}

bool X11EventSource::postButtonEvent(const InputEvent& event, unsigned xButton, bool press) {
  auto pixel = carry_.place(event.location);
  if (!pixel) return false;
  // A button event happens at its location: bring the pointer there first unless it already is.
  if (queryPointer(display_.get()) != pixel) postMotion(*pixel, event.sourceUserData);
  if (press) {
    int missing = clicks_.missingClicks(xButton, *pixel, event.clickState, monotonicNow());
    for (int i = 0; i < missing; ++i) {
      postButton(xButton, true, event.sourceUserData);
      clicks_.pressed(xButton, *pixel, monotonicNow());
      postButton(xButton, false, event.sourceUserData);
      clicks_.released(xButton, *pixel, monotonicNow());
    }
    postButton(xButton, true, event.sourceUserData);
    clicks_.pressed(xButton, *pixel, monotonicNow());
  } else {
    postButton(xButton, false, event.sourceUserData);
    clicks_.released(xButton, *pixel, monotonicNow());
  }
  return finish();
}

void X11EventSource::postSteps(unsigned xButton, int count, std::int64_t userData) {
  for (int i = 0; i < count; ++i) {
    postButton(xButton, true, userData);
    postButton(xButton, false, userData);
  }
}

bool X11EventSource::postScroll(const InputEvent& event, bool hasLocation) {
  if (hasLocation && !isFinite(event.location)) return false;
  ScrollSteps::Steps steps = scroll_.add(event.scrollWheel1, event.scrollWheel2);
  if (steps == ScrollSteps::Steps{}) return true;

  // Wheel buttons go to the window under the pointer: a scroll elsewhere visits that spot and
  // comes back, leaving the carried fraction of the pointer's own motion as it was.
  std::optional<Pixel> back;
  if (hasLocation) {
    Pixel at{toPixel(event.location.x), toPixel(event.location.y)};
    back = queryPointer(display_.get());
    if (back == at) {
      back.reset();
    } else {
      postMotion(at, event.sourceUserData);
    }
  }
  std::int64_t userData = event.sourceUserData;
  postSteps(steps.vertical > 0 ? xButton::wheelUp : xButton::wheelDown, std::abs(steps.vertical),
            userData);
  postSteps(steps.horizontal > 0 ? xButton::wheelLeft : xButton::wheelRight,
            std::abs(steps.horizontal), userData);
  if (back) postMotion(*back, userData);
  return finish();
}

bool X11EventSource::finish() {
  // A round trip, not just a flush: the next move is computed from the pointer read on another
  // connection, which must already see this one, or motion is lost at every frame.
  XSync(display_.get(), False);
  return !connectionLost(display_.get());
}

}  // namespace tovrel::platform::x11
