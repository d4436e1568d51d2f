#pragma once

// Overlay windows: floating, click-through panels that never take the keyboard, never activate
// the program, show on every workspace and above full-screen windows, and are hidden from the
// accessibility tree. What a panel shows is one of a few fixed kinds of content, drawn by the
// backend; where and when it shows is decided above this layer.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/HintTarget.hpp"
#include "platform/DisplayServices.hpp"

namespace tovrel::platform {

// A screen as the window system lists it: its whole frame and the part not taken by panels and
// docks, in global top-left coordinates.
struct Screen {
  Rect frame;
  Rect visibleFrame;
  bool operator==(const Screen&) const = default;
};

struct OverlaySize {
  double width = 0;
  double height = 0;
  bool operator==(const OverlaySize&) const = default;
};

// The cursor-mode badge: a dot (green, orange while dragging), the title and an optional dimmed
// detail, every size multiplied by `scale`.
struct BadgeContent {
  std::string title = "Moving";
  std::optional<std::string> detail;
  bool dragging = false;
  double scale = 1.0;
  bool operator==(const BadgeContent&) const = default;
};

// The click-mode head-up display.
struct HudContent {
  std::string title = "Clicking";
  std::string app;
  std::string line;
  std::optional<std::string> query;  // none hides the search row; empty shows its placeholder
  std::int64_t count = 0;
  std::optional<std::string> action;   // none hides the action pill
  std::optional<std::string> message;  // none hides the message
  bool operator==(const HudContent&) const = default;
};

struct HelpRow {
  std::string action;
  std::string keys;
  bool operator==(const HelpRow&) const = default;
};

struct HelpGroup {
  std::string group;
  std::vector<HelpRow> rows;
  bool operator==(const HelpGroup&) const = default;
};

// The cursor-mode key help.
struct HelpContent {
  std::vector<HelpGroup> rows;
  std::string exit;
  bool operator==(const HelpContent&) const = default;
};

// One label chip. Canvas coordinates: the origin is the panel's bottom-left corner and y grows
// upward.
struct HintChip {
  std::string text;  // drawn upper-cased
  int typed = 0;     // leading letters drawn faded
  Rect rect;         // the chip's body
  Point anchor;      // the tip of the tail
  bool selected = false;
  bool offset = false;  // moved away from its anchor: drawn without a tail
  bool tailUp = true;   // the tail leaves the top edge
  bool operator==(const HintChip&) const = default;
};

// A full-screen layer of label chips, with an optional highlight ring (canvas coordinates, origin
// bottom-left) drawn beneath them. `opacity` fades the chips' fill only.
struct HintCanvasContent {
  std::vector<HintChip> chips;
  std::optional<Rect> highlight;
  double fontSize = 11;
  double opacity = 1;
  bool operator==(const HintCanvasContent&) const = default;
};

// The scan line: a translucent accent track the size of the panel with an opaque accent fill
// from its left edge.
struct ProgressContent {
  double fillWidth = 0;
  bool operator==(const ProgressContent&) const = default;
};

// The scroll-mode pointer dot: a white disc with a blue disc inside.
struct DotContent {
  bool operator==(const DotContent&) const = default;
};

// One scroll-area outline: a blue frame when active, and a numbered badge near the top-left
// corner when `number` is at least 1.
struct OutlineContent {
  int number = 0;
  bool active = false;
  bool operator==(const OutlineContent&) const = default;
};

using OverlayContent = std::variant<std::monostate, BadgeContent, HudContent, HelpContent,
                                    HintCanvasContent, ProgressContent, DotContent, OutlineContent>;

class OverlayPanel {
 public:
  virtual ~OverlayPanel() = default;
  // Replaces what the panel shows and redraws it.
  virtual void setContent(OverlayContent content) = 0;
  virtual const OverlayContent& content() const = 0;
  // The size the content needs (badge, head-up display and help: their natural size; the others
  // fill whatever frame they get).
  virtual OverlaySize fittingSize() = 0;
  // Global top-left coordinates; takes effect at once.
  virtual void setFrame(Rect frame) = 0;
  virtual Rect frame() const = 0;
  // Shows the panel above other windows without activating the program.
  virtual void orderFront() = 0;
  virtual void orderOut() = 0;
  virtual bool isVisible() const = 0;
  // Draws the content again as it stands.
  virtual void redisplay() = 0;
  // Whole-window opacity, 0…1. Setting it stops a running animation.
  virtual void setAlpha(double alpha) = 0;
  virtual double alpha() const = 0;
  // Takes the opacity to `target` over `seconds` (at once when not positive) and then calls
  // `completion` on the main thread. A later setAlpha, animateAlpha or orderOut stops it; a
  // stopped animation's completion is never called.
  virtual void animateAlpha(double target, double seconds, std::function<void()> completion) = 0;
};

class OverlayServices {
 public:
  virtual ~OverlayServices() = default;
  // Main thread only, every member. `contentRect` in global top-left coordinates.
  virtual std::unique_ptr<OverlayPanel> createPanel(Rect contentRect) = 0;
  // In the window system's order, the main screen first; empty when there is none.
  virtual std::vector<Screen> screens() = 0;
  // The width of a label chip's text as drawn at `fontSize`: upper-cased, heavy weight at
  // 0.95 × fontSize, kerning 0.3 × fontSize / 10.5.
  virtual double labelWidth(std::string_view text, double fontSize) = 0;
  // The user asked the desktop for less motion.
  virtual bool reduceMotion() = 0;
  // The program's panels on screen now, whoever made them.
  virtual std::size_t visiblePanelCount() = 0;
  // A PNG of `width` × `height` points at twice the pixels: a light grey background, a darker
  // block per rectangle of `blocks` (canvas coordinates, origin bottom-left), then the canvas's
  // chips. Nothing when it cannot be encoded.
  virtual std::optional<std::vector<std::uint8_t>> renderLabelSample(
      double width, double height, const std::vector<Rect>& blocks,
      const HintCanvasContent& canvas) = 0;
};

}  // namespace tovrel::platform
