#include "system/Overlays.hpp"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>

namespace tovrel {

// ── Coordinates ──

namespace OverlayCoordinates {

double firstScreenHeight(const std::vector<platform::Screen>& screens) {
  return screens.empty() ? 0 : screens.front().frame.height;
}

Point toBottomLeft(Point topLeft, double h0) {
  return {topLeft.x, h0 - topLeft.y};
}

Rect toBottomLeft(const Rect& topLeft, double h0) {
  return {topLeft.x, h0 - (topLeft.y + topLeft.height), topLeft.width, topLeft.height};
}

Rect toTopLeft(const Rect& bottomLeft, double h0) {
  // Flipping about the same line twice gives the rectangle back.
  return toBottomLeft(bottomLeft, h0);
}

}  // namespace OverlayCoordinates

namespace ScreenSpace {

// The mouse-in-rectangle test of a bottom-left system counts the bottom edge out and the top edge
// in; flipped to top-left, that is the top edge in and the bottom edge out, which is exactly
// Frame::contains.
std::optional<platform::Screen> screen(const std::vector<platform::Screen>& screens, Point global) {
  for (const auto& candidate : screens)
    if (candidate.frame.contains(global)) return candidate;
  if (screens.empty()) return std::nullopt;
  return screens.front();
}

std::optional<platform::Screen> screen(platform::OverlayServices& overlays, Point global) {
  return screen(overlays.screens(), global);
}

}  // namespace ScreenSpace

// ── The scan progress line ──

namespace {

constexpr double startShare = 0.04;
constexpr double growingShare = 0.86;
constexpr double shortestBudget = 0.1;
constexpr double frameInterval = 1.0 / 60.0;
constexpr double fadeOutSeconds = 0.25;

}  // namespace

ScanProgressBar::ScanProgressBar(platform::OverlayServices& overlays,
                                 platform::Scheduler& scheduler, const platform::Clock& clock)
    : panel(overlays.createPanel({0, 0, 0, 0})),
      overlays_(overlays),
      scheduler_(scheduler),
      clock_(clock),
      alive_(std::make_shared<ScanProgressBar*>(this)) {
  panel->setContent(platform::ProgressContent{0});
}

ScanProgressBar::~ScanProgressBar() {
  alive_.reset();
  if (timer) timer->invalidate();
}

double ScanProgressBar::progress(double elapsed, double budget) {
  const double p =
      startShare + growingShare * (1 - std::exp(-3 * elapsed / std::max(budget, shortestBudget)));
  return std::clamp(p, 0.0, 1.0);
}

void ScanProgressBar::start(const platform::Screen& screen, double scanBudget) {
  ++run_;
  budget = scanBudget;
  started = clock_.uptime();

  const Rect& f = screen.frame;
  panel->setFrame({f.x, f.y + f.height - height, f.width, height});
  // Also stops a fade-out that is still running from the last scan.
  panel->setAlpha(1);
  trackWidth = f.width;
  setFill(startShare * trackWidth);
  panel->orderFront();

  if (timer) timer->invalidate();
  timer.reset();

  if (overlays_.reduceMotion()) {
    // A line that stands still still says that something is going on.
    setFill(trackWidth / 2);
    return;
  }
  std::weak_ptr<ScanProgressBar*> weak = alive_;
  timer = scheduler_.schedule(frameInterval, true, [weak] {
    auto alive = weak.lock();
    if (!alive) return;
    ScanProgressBar& bar = **alive;
    bar.setFill(progress(bar.clock_.uptime() - bar.started, bar.budget) * bar.trackWidth);
  });
}

void ScanProgressBar::finish() {
  if (timer) timer->invalidate();
  timer.reset();
  if (!panel->isVisible()) return;

  setFill(trackWidth);
  std::weak_ptr<ScanProgressBar*> weak = alive_;
  const std::uint64_t run = run_;
  panel->animateAlpha(0, overlays_.reduceMotion() ? 0 : fadeOutSeconds, [weak, run] {
    auto alive = weak.lock();
    // A scan that started (or a hide) since this fade began owns the panel now.
    if (!alive || (*alive)->run_ != run) return;
    (*alive)->panel->orderOut();
  });
}

void ScanProgressBar::hide() {
  ++run_;
  if (timer) timer->invalidate();
  timer.reset();
  panel->orderOut();
}

void ScanProgressBar::setFill(double width) {
  fill = width;
  panel->setContent(platform::ProgressContent{width});
}

// ── Cursor visibility ──

namespace PointerVisibility {

namespace {

bool askedOnce = false;

// The window server's private calls and the two CoreFoundation values they are called with, as
// plain pointers: they are only ever looked up by name, never linked against.
using DefaultConnection = int (*)();
using SetConnectionProperty = int (*)(int connection, int target, const void* key,
                                      const void* value);
using MakeString = const void* (*)(const void* allocator, const char* text, std::uint32_t encoding);
using Release = void (*)(const void* object);
constexpr std::uint32_t utf8Encoding = 0x08000100;

}  // namespace

// A window system that only lets the active application hide the cursor needs to be told that
// this program may hide it from the background. Those calls live in that system's private window
// server library and are looked up by name in the program's own namespace; on an X desktop they
// do not exist, and none are needed, because the X server hides the cursor for the whole screen
// whichever application is active. The request is made once: a lookup that failed would fail
// again.
void allowHidingInBackground() {
  if (askedOnce) return;
  askedOnce = true;

  void* self = dlopen(nullptr, RTLD_NOW);
  if (!self) return;
  auto defaultConnection =
      reinterpret_cast<DefaultConnection>(dlsym(self, "_CGSDefaultConnection"));
  auto setProperty =
      reinterpret_cast<SetConnectionProperty>(dlsym(self, "CGSSetConnectionProperty"));
  // The property's name and value are CoreFoundation objects, present wherever those calls are.
  auto makeString = reinterpret_cast<MakeString>(dlsym(self, "CFStringCreateWithCString"));
  auto release = reinterpret_cast<Release>(dlsym(self, "CFRelease"));
  auto booleanTrue = static_cast<const void* const*>(dlsym(self, "kCFBooleanTrue"));
  if (defaultConnection && setProperty && makeString && release && booleanTrue) {
    const int connection = defaultConnection();
    if (const void* key = makeString(nullptr, "SetsCursorInBackground", utf8Encoding)) {
      setProperty(connection, connection, key, *booleanTrue);
      release(key);
    }
  }
  dlclose(self);
}

bool requested() {
  return askedOnce;
}

}  // namespace PointerVisibility

void PointerHider::hide() {
  if (hidden) return;
  PointerVisibility::allowHidingInBackground();
  displays_.hideCursor();
  hidden = true;
}

void PointerHider::show() {
  if (!hidden) return;
  displays_.showCursor();
  hidden = false;
}

// ── The scroll-mode pointer dot ──

PointerDot::PointerDot(platform::OverlayServices& overlays, platform::DisplayServices& displays)
    : overlays_(overlays), displays_(displays) {}

void PointerDot::show(Point global) {
  if (!panel) {
    panel = overlays_.createPanel({0, 0, size, size});
    panel->setContent(platform::DotContent{});
  }
  panel->setFrame({global.x - size / 2, global.y - size / 2, size, size});
  panel->orderFront();
  // The desktop counts hides: one show before the next hide keeps the count at one, however often
  // the dot moves.
  if (cursorHidden) {
    displays_.showCursor();
  } else {
    PointerVisibility::allowHidingInBackground();
    cursorHidden = true;
  }
  displays_.hideCursor();
}

void PointerDot::hide() {
  if (panel) panel->orderOut();
  if (!cursorHidden) return;
  displays_.showCursor();
  cursorHidden = false;
}

bool PointerDot::isVisible() const {
  return panel && panel->isVisible();
}

// ── Scroll-area outlines ──

namespace {

// Only the digit keys 1 to 9 pick an area, so only as many get a number.
constexpr std::size_t numberedAreas = 9;
// The centre of an outline's number badge, from its top-left corner.
constexpr double badgeCentre = 19;
constexpr double fadeInSeconds = 0.2;

}  // namespace

ScrollOutline::ScrollOutline(platform::OverlayServices& overlays) : overlays_(overlays) {}

std::vector<ScrollOutline::Item> ScrollOutline::items(const std::optional<Rect>& current,
                                                      const std::vector<Rect>& areas,
                                                      std::optional<std::size_t> currentIndex) {
  std::vector<Item> result;
  const std::size_t count = std::min(areas.size(), numberedAreas);
  for (std::size_t i = 0; i < count; ++i)
    result.push_back({areas[i], static_cast<int>(i + 1), currentIndex == i});
  if (current) {
    // A badge hidden under the current area's outline would only be noise.
    std::erase_if(result, [&](const Item& item) {
      return !item.active &&
             current->contains({item.rect.x + badgeCentre, item.rect.y + badgeCentre});
    });
    if (!currentIndex) result.push_back({*current, 0, true});
  }
  return result;
}

void ScrollOutline::show(const std::optional<Rect>& current, const std::vector<Rect>& areas,
                         std::optional<std::size_t> currentIndex, bool fade) {
  const std::vector<Item> wanted = items(current, areas, currentIndex);
  while (panels.size() < wanted.size()) {
    panels.push_back(overlays_.createPanel({0, 0, 0, 0}));
    panels.back()->setContent(platform::OutlineContent{});
  }
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    platform::OverlayPanel& panel = *panels[i];
    const Item& item = wanted[i];
    const bool wasVisible = panel.isVisible();
    const bool moved = panel.frame() != item.rect;
    panel.setFrame(item.rect);
    panel.setContent(platform::OutlineContent{item.number, item.active});
    if (wasVisible && moved && fade) {
      panel.setAlpha(0);
      panel.animateAlpha(1, fadeInSeconds, {});
    } else if (!wasVisible || !fade) {
      panel.setAlpha(1);
    }
    // Otherwise an outline that stayed put keeps whatever fade it is in.
    panel.orderFront();
  }
  for (std::size_t i = wanted.size(); i < panels.size(); ++i)
    panels[i]->orderOut();
}

void ScrollOutline::hide() {
  for (auto& panel : panels)
    panel->orderOut();
}

}  // namespace tovrel
