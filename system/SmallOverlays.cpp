#include "system/Overlays.hpp"

// SKELETON: the small overlays are being written.

namespace tovrel {

namespace OverlayCoordinates {
double firstScreenHeight(const std::vector<platform::Screen>&) {
  return 0;
}
Point toBottomLeft(Point p, double) {
  return p;
}
Rect toBottomLeft(const Rect& r, double) {
  return r;
}
Rect toTopLeft(const Rect& r, double) {
  return r;
}
}  // namespace OverlayCoordinates

namespace ScreenSpace {
std::optional<platform::Screen> screen(const std::vector<platform::Screen>&, Point) {
  return std::nullopt;
}
std::optional<platform::Screen> screen(platform::OverlayServices&, Point) {
  return std::nullopt;
}
}  // namespace ScreenSpace

ScanProgressBar::ScanProgressBar(platform::OverlayServices& overlays,
                                 platform::Scheduler& scheduler, const platform::Clock& clock)
    : overlays_(overlays), scheduler_(scheduler), clock_(clock) {}
ScanProgressBar::~ScanProgressBar() = default;
double ScanProgressBar::progress(double, double) {
  return 0;
}
void ScanProgressBar::start(const platform::Screen&, double) {}
void ScanProgressBar::finish() {}
void ScanProgressBar::hide() {}
void ScanProgressBar::setFill(double) {}

namespace PointerVisibility {
void allowHidingInBackground() {}
bool requested() {
  return false;
}
}  // namespace PointerVisibility

void PointerHider::hide() {}
void PointerHider::show() {}

PointerDot::PointerDot(platform::OverlayServices& overlays, platform::DisplayServices& displays)
    : overlays_(overlays), displays_(displays) {}
void PointerDot::show(Point) {}
void PointerDot::hide() {}
bool PointerDot::isVisible() const {
  return false;
}

ScrollOutline::ScrollOutline(platform::OverlayServices& overlays) : overlays_(overlays) {}
std::vector<ScrollOutline::Item> ScrollOutline::items(const std::optional<Rect>&,
                                                      const std::vector<Rect>&,
                                                      std::optional<std::size_t>) {
  return {};
}
void ScrollOutline::show(const std::optional<Rect>&, const std::vector<Rect>&,
                         std::optional<std::size_t>, bool) {}
void ScrollOutline::hide() {}

}  // namespace tovrel
