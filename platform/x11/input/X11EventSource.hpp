#pragma once

// The program's synthetic pointer events, posted through XTest on a connection of their own.
//
// XTest speaks whole root pixels, wheel buttons and bare button presses, while the callers speak
// fractional points, pixel scroll distances and click counts. The three small value classes below
// bridge that gap; they touch no server so they can be checked on their own.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "core/HintTarget.hpp"
#include "platform/EventServices.hpp"
#include "platform/x11/X11Errors.hpp"
#include "platform/x11/input/OwnEventLedger.hpp"
#include "platform/x11/input/X11InputFence.hpp"

namespace tovrel::platform::x11 {

struct Pixel {
  int x = 0;
  int y = 0;
  bool operator==(const Pixel&) const = default;
};

// The X button for a button number (0 left, 1 right, 2 middle, 3 back, 4 forward, then the extra
// buttons in order); nothing for a number X cannot press.
std::optional<unsigned> xButtonForButtonNumber(std::int64_t buttonNumber);

// Turns fractional targets into whole pixels without losing the fractions. The callers move by
// reading the pointer (whole pixels) and adding a delta, so a delta below half a pixel would
// never move it at all; the fraction left over by each move is added to the next one instead.
class MoveCarry {
 public:
  // The pixel for a motion to `target`, carrying the leftover fraction of earlier motions. Nothing
  // when the target is not a finite point.
  std::optional<Pixel> move(Point target);
  // The pixel for a button event or a warp at `target`: exactly the nearest pixel. The carry is
  // kept only when that is the pixel posted last (a click where the pointer already is).
  std::optional<Pixel> place(Point target);
  std::optional<Pixel> lastPosted() const { return posted_; }

 private:
  std::optional<Pixel> posted_;
  double remainderX_ = 0;
  double remainderY_ = 0;
};

// X has no click count: applications count presses of one button at one spot that follow each
// other quickly. To make a press with click state n read as the n-th click, the clicks before it
// that this source did not just post are posted first.
class ClickCounter {
 public:
  // How long after a press the next press still continues the count: the double-click time the
  // common toolkits use by default (400 ms), so our own run of clicks is seen as one run.
  static constexpr double interval = 0.4;
  // Never post more than this many clicks ahead of one press.
  static constexpr int maxMissing = 9;

  // How many whole clicks (press and release) must go before a press of `xButton` at `at` with
  // `clickState` so that it counts as that click.
  int missingClicks(unsigned xButton, Pixel at, std::int64_t clickState, double now) const;
  void pressed(unsigned xButton, Pixel at, double now);
  void released(unsigned xButton, Pixel at, double now);

 private:
  struct Run {
    unsigned button = 0;
    Pixel at;
    int clicks = 0;  // completed press–release pairs
    double lastPress = 0;
    bool down = false;
  };
  bool continues(unsigned xButton, Pixel at, double now) const;

  std::optional<Run> run_;
};

// Turns pixel scroll distances into wheel steps, carrying what is left over. A step goes out once
// half of it has been asked for, so a short scroll answers at once and the carried rest keeps the
// total within half a step of what was asked. When a direction reverses, what was still owed to
// the old one is dropped: it would only hold back the new one.
class ScrollSteps {
 public:
  // One wheel step in the common toolkits scrolls three lines, about 45–60 pixels of text; 50
  // keeps the distance the caller asks for close to what the application then scrolls, and keeps
  // a slow scroll from ticking more than a few times a second.
  static constexpr int defaultPixelsPerStep = 50;
  // Posting more steps than this for one event only floods the application; the rest is dropped.
  static constexpr int maxStepsPerEvent = 100;

  struct Steps {
    int vertical = 0;    // positive: up
    int horizontal = 0;  // positive: left
    bool operator==(const Steps&) const = default;
  };

  explicit ScrollSteps(int pixelsPerStep = defaultPixelsPerStep) : pixelsPerStep_(pixelsPerStep) {}
  Steps add(std::int32_t wheel1, std::int32_t wheel2);
  std::int64_t pendingVertical() const { return vertical_.pending; }
  std::int64_t pendingHorizontal() const { return horizontal_.pending; }

 private:
  struct Axis {
    std::int64_t pending = 0;
    int lastSign = 0;  // of the last distance asked for on this axis; 0 before the first
  };
  int take(Axis& axis, std::int32_t pixels);

  int pixelsPerStep_;
  Axis vertical_;
  Axis horizontal_;
};

// The pointer's root position; nothing when it is on another screen or the connection failed.
std::optional<Pixel> queryPointer(Display* display);

// The pointer location for the event services, on a connection of its own. Any thread.
class X11Pointer {
 public:
  // Nothing when no X server answers.
  static std::unique_ptr<X11Pointer> create(const char* displayName = nullptr);
  std::optional<Point> location();

 private:
  explicit X11Pointer(DisplayPtr display) : display_(std::move(display)) {}
  std::mutex mutex_;
  DisplayPtr display_;
};

// Main thread only, like its one user, the pointer output.
class X11EventSource : public EventSource {
 public:
  // Nothing when no X server answers, it has no XTest or there is no ledger. Every event is
  // written into `ledger` (the one the tap reads) before it is posted.
  // With a fence, events posted while the tap decides a key go out once it has answered, and a
  // button press first has the tap end a keyboard grab (a menu the click opens needs its own).
  static std::unique_ptr<X11EventSource> create(std::shared_ptr<OwnEventLedger> ledger,
                                                const char* displayName = nullptr,
                                                std::shared_ptr<X11InputFence> fence = {});

  bool post(const InputEvent& event, bool hasLocation = true) override;

 private:
  X11EventSource(DisplayPtr display, std::shared_ptr<OwnEventLedger> ledger,
                 std::shared_ptr<X11InputFence> fence)
      : display_(std::move(display)), ledger_(std::move(ledger)), fence_(std::move(fence)) {}

  bool postNow(const InputEvent& event, bool hasLocation);

  void postMotion(Pixel to, std::int64_t userData);
  void postButton(unsigned xButton, bool press, std::int64_t userData);
  bool postButtonEvent(const InputEvent& event, unsigned xButton, bool press);
  bool postScroll(const InputEvent& event, bool hasLocation);
  void postSteps(unsigned xButton, int count, std::int64_t userData);
  bool finish();

  DisplayPtr display_;
  std::shared_ptr<OwnEventLedger> ledger_;
  std::shared_ptr<X11InputFence> fence_;
  // Held posts check it: the source may be gone when they are sent.
  std::shared_ptr<int> lifetime_ = std::make_shared<int>();
  MoveCarry carry_;
  ClickCounter clicks_;
  ScrollSteps scroll_;
};

}  // namespace tovrel::platform::x11
