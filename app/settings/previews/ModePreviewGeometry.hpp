#pragma once

// Where everything of the animated mode previews lies at an instant: the Moving picture (a
// pointer travelling round a track, then clicking), the Scrolling picture (content sliding in a
// viewport) and the Clicking picture (three tiles getting labels, one being typed). Each frame is
// a function of the size, the key captions and the time only. Used without a display.

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace tovrel::settings {

// The captions of the Moving picture's key caps.
struct PreviewKeys {
  std::string up;
  std::string left;
  std::string down;
  std::string right;
  std::string click;
  bool operator==(const PreviewKeys&) const = default;
};

struct PreviewKeyCap {
  std::string text;
  QRectF rect;  // where it rests; a pressed cap is drawn 1 lower
  bool pressed = false;
};

struct CursorFrame {
  QRectF track;
  QPointF pointer;
  QRectF pointerBox;               // the arrow's drawing
  std::optional<std::string> key;  // the caption lit
  std::optional<double> ringRadius;
  double ringOpacity = 0;
  std::vector<PreviewKeyCap> caps;  // up, left, down, right, click
};

struct PreviewBar {
  QRectF rect;
  double opacity = 0;  // of the secondary colour
};

struct ScrollFrame {
  QRectF viewport;
  double horizontalOffset = 0;
  double verticalOffset = 0;
  std::optional<std::string> key;
  std::vector<PreviewBar> bars;     // clipped to the viewport when drawn
  QRectF marker;                    // the parked pointer's dot
  std::vector<PreviewKeyCap> caps;  // H, J, K, L
};

struct ClickTile {
  std::string letter;
  QRectF rect;
  bool clicked = false;  // filled in the mode colour
  std::optional<QRectF> chip;
  bool typed = false;  // its chip's letter has been typed
};

struct ClickFrame {
  std::array<ClickTile, 3> tiles;
};

namespace PreviewGeometry {

// u² (3 − 2u).
double smoothstep(double u);

// Loops last 5 s (Moving), 4.8 s (Scrolling) and 3 s (Clicking).
CursorFrame cursor(QSizeF size, const PreviewKeys& keys, double t);
ScrollFrame scroll(QSizeF size, double t);
ClickFrame click(QSizeF size, double t);

// The instant a preview draws: the fixed `time` when given, else 0.5 while reduce motion is on,
// else `now`, in seconds since 2001-01-01 00:00 UTC.
double instant(std::optional<double> time, bool reduceMotion, double now);

// Now, in seconds since 2001-01-01 00:00 UTC.
double secondsSinceReferenceDate();

}  // namespace PreviewGeometry

}  // namespace tovrel::settings
