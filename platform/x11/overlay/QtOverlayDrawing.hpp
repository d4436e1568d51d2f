#pragma once

// How each kind of overlay content is laid out and drawn. One function per kind computes the
// whole layout; the window paints it, the sizing reads its natural size and the window's shape
// is cut from its drawn parts, so the three can never disagree. Every length is in logical
// pixels. Main thread only (fonts and text layout).

#include <QColor>
#include <QFont>
#include <QPainterPath>
#include <QRect>
#include <QRegion>
#include <QSizeF>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Overlays.hpp"
#include "platform/paint/Text.hpp"

class QPainter;

namespace tovrel::platform::x11::overlay {

// Fixed dark colours: there is no blurred material here, and the views always look dark.
namespace palette {
QColor material();   // the panels' translucent fill
QColor primary();    // text
QColor secondary();  // dimmed text
QColor accent();     // also the system blue
QColor orange();
QColor green();
}  // namespace palette

// The typeface and text layout are shared with the settings window's pictures of the labels.
using paint::TextBlock;
using paint::textBlock;
using paint::Type;
using paint::type;

// What one content looks like inside a panel.
struct Drawing {
  QSizeF size;  // what the content needs
  // Where it draws anything, together the window's shape: outlines, and whole-pixel rectangles
  // for contents whose outlines would be too many to convert on every change.
  std::vector<QPainterPath> shapes;
  std::vector<QRect> blocks;
  std::vector<std::function<void(QPainter&)>> steps;

  void paint(QPainter& painter) const;
  // The shapes at whole pixels (those whose centres they cover) and the blocks, within a window
  // of `pixels`.
  QRegion region(QSize pixels) const;
};

// The union of `rects`, built in one sweep: uniting rectangles one by one costs time in the
// square of their number.
QRegion regionOf(std::vector<QRect> rects);

// `bounds` is the panel's size; the badge, head-up display and help are laid out at their own
// size and centred in it, with their background filling it.
Drawing badgeDrawing(const BadgeContent& content, QSizeF bounds);
Drawing hudDrawing(const HudContent& content, QSizeF bounds);
Drawing helpDrawing(const HelpContent& content, QSizeF bounds);
Drawing hintCanvasDrawing(const HintCanvasContent& content, QSizeF bounds);
Drawing progressDrawing(const ProgressContent& content, QSizeF bounds);
Drawing dotDrawing(QSizeF bounds);
Drawing outlineDrawing(const OutlineContent& content, QSizeF bounds);

// Any content; `bounds` none lays the hosted views out at their natural size.
Drawing drawing(const OverlayContent& content, std::optional<QSizeF> bounds);

// The badge's, head-up display's and help's natural size in whole pixels (a window cannot be
// narrower than what it draws); none for the contents that fill whatever frame they get.
std::optional<OverlaySize> naturalSize(const OverlayContent& content);

// --- Label chips ---

// The outline of one chip in the canvas's own coordinates (y up): a rounded body with a tail to
// `tail` leaving its top edge (`tailUp`) or its bottom edge.
QPainterPath callout(const QRectF& rect, std::optional<QPointF> tail, bool tailUp, double scale);

// A chip's text, upper-cased, with its first `typed` characters faded: the layout both measures
// and draws it. Remembered: the same few labels are laid out again on every key press.
TextBlock chipLabel(std::string_view text, int typed, double fontSize);

double labelWidth(std::string_view text, double fontSize);

// `width` × `height` points at twice the pixels: the grey background, a darker block per
// rectangle of `blocks` (canvas coordinates), then the canvas. PNG bytes.
std::optional<std::vector<std::uint8_t>> labelSample(double width, double height,
                                                     const std::vector<Rect>& blocks,
                                                     const HintCanvasContent& canvas);

}  // namespace tovrel::platform::x11::overlay
