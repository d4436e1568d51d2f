#include <algorithm>
#include <cmath>

#include "system/DisplayGeometry.hpp"
#include "system/Overlays.hpp"

namespace tovrel {

namespace {

// Chip geometry at the normal label size; every length scales with fontSize / 10.5.
constexpr double normalFontSize = 10.5;
constexpr double chipHeight = 15.5;
constexpr double tailHeight = 3.5;
constexpr double textAllowance = 8.5;
constexpr double minimumChipWidth = 17;

// The same rectangle with a non-negative size (frames from other applications are stored as
// given).
Rect standardized(const Rect& rect) {
  return {std::min(rect.x, rect.x + rect.width), std::min(rect.y, rect.y + rect.height),
          std::abs(rect.width), std::abs(rect.height)};
}

// Open intersection: rectangles that only touch along an edge do not intersect; a rectangle with
// an undefined edge intersects nothing.
bool intersects(const Rect& first, const Rect& second) {
  const Rect a = standardized(first);
  const Rect b = standardized(second);
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

Rect grownByOne(const Rect& rect) {
  return {rect.x - 1, rect.y - 1, rect.width + 2, rect.height + 2};
}

bool isFree(const Rect& candidate, const std::vector<Rect>& placed) {
  return std::none_of(placed.begin(), placed.end(),
                      [&](const Rect& other) { return intersects(candidate, grownByOne(other)); });
}

// Global bottom-left to the canvas of the panel with this frame (global bottom-left).
Rect toCanvas(const Rect& bottomLeft, const Rect& panelFrame) {
  return {bottomLeft.x - panelFrame.x, bottomLeft.y - panelFrame.y, bottomLeft.width,
          bottomLeft.height};
}

}  // namespace

HintOverlay::HintOverlay(platform::OverlayServices& overlays, platform::DisplayServices& displays)
    : overlays_(overlays), displays_(displays) {}

double HintOverlay::fontSize(AppearanceSettings::Size size) {
  return normalFontSize * scale(size);
}

void HintOverlay::render(const std::vector<Item>& items, std::optional<Rect> highlight,
                         const AppearanceSettings& appearance) {
  ensurePanels();
  if (panels.empty()) return;
  const double size = fontSize(appearance.hintSize);
  // An undefined opacity would hide the labels altogether; it draws them opaque instead.
  const double opacity =
      std::isnan(appearance.hintOpacity) ? 1.0 : std::clamp(appearance.hintOpacity, 0.6, 1.0);
  const double h0 = OverlayCoordinates::firstScreenHeight(overlays_.screens());
  const std::optional<Rect> globalHighlight =
      highlight ? std::optional(OverlayCoordinates::toBottomLeft(standardized(*highlight), h0))
                : std::nullopt;

  for (std::size_t i = 0; i < panels.size(); ++i) {
    const Rect frame = OverlayCoordinates::toBottomLeft(panelFrames[i], h0);
    platform::HintCanvasContent canvas;
    canvas.chips = layout(items, frame, size);
    if (globalHighlight && intersects(*globalHighlight, frame))
      canvas.highlight = toCanvas(*globalHighlight, frame);
    canvas.fontSize = size;
    canvas.opacity = opacity;
    panels[i]->setContent(std::move(canvas));
    panels[i]->orderFront();
  }
}

void HintOverlay::clear() {
  // Kept for the next labels: a new window per entry costs its first showing every time.
  for (const auto& panel : panels)
    panel->orderOut();
}

void HintOverlay::ensurePanels() {
  std::vector<Rect> frames;
  for (const platform::Screen& screen : overlays_.screens())
    frames.push_back(screen.frame);
  if (frames == panelFrames && panels.size() == frames.size()) return;

  clear();
  panels.clear();
  for (const Rect& frame : frames) {
    std::unique_ptr<platform::OverlayPanel> panel = overlays_.createPanel(frame);
    panel->setContent(platform::HintCanvasContent{});
    panels.push_back(std::move(panel));
  }
  panelFrames = std::move(frames);
}

std::vector<platform::HintChip> HintOverlay::layout(const std::vector<Item>& items,
                                                    const Rect& panelFrame, double fontSize) {
  return layout(
      items, panelFrame, fontSize, OverlayCoordinates::firstScreenHeight(overlays_.screens()),
      DisplayGeometry::activeBounds(displays_),
      [this](const std::string& text, double size) { return overlays_.labelWidth(text, size); });
}

std::vector<platform::HintChip> HintOverlay::layout(
    const std::vector<Item>& items, const Rect& panelFrame, double fontSize, double h0,
    const std::vector<Rect>& displays,
    const std::function<double(const std::string&, double)>& labelWidth) {
  const double s = fontSize / normalFontSize;
  const double height = chipHeight * s;
  std::vector<platform::HintChip> chips;
  std::vector<Rect> placed;

  for (const Item& item : items) {
    const Rect target = OverlayCoordinates::toBottomLeft(standardized(item.frame), h0);
    if (!intersects(target, panelFrame)) continue;

    const double width = std::max(minimumChipWidth * s,
                                  std::round(textAllowance * s + labelWidth(item.label, fontSize)));
    const Point click =
        OverlayCoordinates::toBottomLeft(ClickPoint::of(item.frame, displays, s).point, h0);
    const Point anchor{click.x - panelFrame.x, click.y - panelFrame.y};

    // Centred below the anchor, kept a point inside the panel's sides (the right side wins on a
    // panel too narrow for both).
    double x = std::max(std::round(anchor.x - width / 2), 1.0);
    x = std::min(x, panelFrame.width - width - 1);
    const Rect preferred{x, std::round(anchor.y - tailHeight * s - height), width, height};

    std::optional<Rect> chosen;
    bool offset = false;
    if (isFree(preferred, placed)) chosen = preferred;
    // Sideways first, alternating right and left, still pointing at the anchor; off the panel is
    // allowed.
    for (int step = 1; step <= 4 && !chosen; ++step)
      for (const int side : {1, -1}) {
        Rect shifted = preferred;
        shifted.x += side * step * (width + 1);
        if (isFree(shifted, placed)) {
          chosen = shifted;
          break;
        }
      }
    // Then further down, detached from the anchor.
    for (int step = 1; step <= 3 && !chosen; ++step) {
      Rect lowered = preferred;
      lowered.y -= step * (height + 1);
      if (isFree(lowered, placed)) {
        chosen = lowered;
        offset = true;
      }
    }
    const Rect rect = chosen.value_or(preferred);

    placed.push_back(rect);
    chips.push_back({item.label, item.typed, rect, anchor, item.selected, offset, true});
  }
  return chips;
}

namespace LabelSample {

std::optional<std::vector<std::uint8_t>> png(platform::OverlayServices& overlays,
                                             const std::vector<std::string>& labels) {
  const double width = 34 * static_cast<double>(labels.size()) + 40;
  // The canvas keeps its initial font size and opacity; the chips are measured at the normal
  // label size.
  platform::HintCanvasContent canvas;
  std::vector<Rect> blocks;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const Point anchor{32 + 34 * static_cast<double>(i), 40};
    const double chipWidth =
        std::max(minimumChipWidth,
                 std::round(textAllowance + overlays.labelWidth(labels[i], normalFontSize)));
    const Rect rect{std::round(anchor.x - chipWidth / 2), 21, chipWidth, chipHeight};
    canvas.chips.push_back({labels[i], 0, rect, anchor, false, false, true});
    // The labelled target the chip hangs from.
    blocks.push_back({anchor.x - 10, anchor.y - 3, 20, 16});
  }
  return overlays.renderLabelSample(width, 60, blocks, canvas);
}

}  // namespace LabelSample

}  // namespace tovrel
