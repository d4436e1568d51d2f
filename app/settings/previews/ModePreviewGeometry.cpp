#include "app/settings/previews/ModePreviewGeometry.hpp"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace tovrel::settings::PreviewGeometry {
namespace {

double clamp01(double x) {
  return std::clamp(x, 0.0, 1.0);
}

// t mod `cycle`, within [0, cycle) whatever t (a negative time runs the loop backwards rather than
// leaving it).
double phase(double t, double cycle) {
  if (!std::isfinite(t)) return 0;
  const double p = std::fmod(t, cycle);
  return p < 0 ? p + cycle : p;
}

QPointF along(QPointF from, QPointF to, double fraction) {
  return from + (to - from) * fraction;
}

}  // namespace

double smoothstep(double u) {
  return u * u * (3 - 2 * u);
}

CursorFrame cursor(QSizeF size, const PreviewKeys& keys, double t) {
  const double w = size.width();
  const double h = size.height();
  CursorFrame frame;
  const double keysX = w - 14 - 118;
  frame.track = QRectF(20, 0.22 * h, std::max(40.0, keysX - 14 - 30), 0.5 * h);
  const std::array<QPointF, 4> corners = {frame.track.topLeft(), frame.track.topRight(),
                                          frame.track.bottomRight(), frame.track.bottomLeft()};
  const std::array<const std::string*, 4> directions = {&keys.right, &keys.down, &keys.left,
                                                        &keys.up};
  const double p = phase(t, 5);
  if (p < 4) {
    const int s = std::clamp(static_cast<int>(p), 0, 3);
    const double into = p - s;
    frame.pointer =
        along(corners[static_cast<std::size_t>(s)], corners[static_cast<std::size_t>((s + 1) % 4)],
              smoothstep(clamp01(into / 0.85)));
    if (into < 0.85) frame.key = *directions[static_cast<std::size_t>(s)];
  } else {
    const double c = p - 4;
    frame.pointer = corners[0];
    if (c < 0.35) frame.key = keys.click;
    frame.ringRadius = 22 * c + 4;
    frame.ringOpacity = std::max(0.0, 0.6 - 0.6 * c);
  }
  frame.pointerBox = QRectF(frame.pointer.x() - 2, frame.pointer.y() - 2, 13, 18);

  const double row1 = (h - 47) / 2;
  const double row2 = row1 + 25;
  auto cap = [&frame](const std::string& text, double x, double y, double width) {
    frame.caps.push_back({text, QRectF(x, y, width, 22), frame.key && *frame.key == text});
  };
  cap(keys.up, keysX + 25, row1, 22);
  cap(keys.left, keysX, row2, 22);
  cap(keys.down, keysX + 25, row2, 22);
  cap(keys.right, keysX + 50, row2, 22);
  cap(keys.click, keysX + 78, row2, 40);
  return frame;
}

ScrollFrame scroll(QSizeF size, double t) {
  const double w = size.width();
  const double h = size.height();
  ScrollFrame frame;
  const double p = phase(t, 4.8);
  const int s = std::clamp(static_cast<int>(p / 1.2), 0, 3);
  const double local = p - 1.2 * s;
  const double e = smoothstep(clamp01(local));
  const std::array<double, 4> horizontal = {(1 - e) * 30, e * 30, 30, 30};
  const std::array<double, 4> vertical = {0, 0, e * 30, (1 - e) * 30};
  static const std::array<std::string, 4> segmentKeys = {"H", "L", "J", "K"};
  frame.horizontalOffset = horizontal[static_cast<std::size_t>(s)];
  frame.verticalOffset = vertical[static_cast<std::size_t>(s)];
  if (local < 1) frame.key = segmentKeys[static_cast<std::size_t>(s)];

  frame.viewport = QRectF(14, 10, w - 28 - 107 - 28, h - 20);
  const QRectF& v = frame.viewport;
  const int columns = static_cast<int>(std::max(0.0, (v.width() + 30) / 60)) + 2;
  for (int r = 0; r <= 10; ++r) {
    for (int i = 0; i < columns; ++i) {
      const double width = (r + i) % 3 == 0 ? 26 : 42;
      frame.bars.push_back({QRectF(v.left() + 8 + 60 * i - frame.horizontalOffset,
                                   v.top() + 8 + 11 * r - frame.verticalOffset, width, 5),
                            r == 0 ? 0.35 : 0.22});
    }
  }
  frame.marker = QRectF(v.center().x() + 0.15 * v.width() - 4, v.center().y() - 4, 8, 8);

  const double x0 = w - 14 - 107;
  const double y = (h - 22) / 2;
  const std::array<double, 4> xs = {x0, x0 + 30, x0 + 55, x0 + 85};
  static const std::array<std::string, 4> captions = {"H", "J", "K", "L"};
  for (std::size_t i = 0; i < captions.size(); ++i)
    frame.caps.push_back(
        {captions[i], QRectF(xs[i], y, 22, 22), frame.key && *frame.key == captions[i]});
  return frame;
}

ClickFrame click(QSizeF size, double t) {
  const double w = size.width();
  const double h = size.height();
  ClickFrame frame;
  const double q = phase(t, 3) / 3;
  const double margin = 0.1 * w;
  const double gap = 0.05 * w;
  const double tileWidth = (0.8 * w - 2 * gap) / 3;
  static const std::array<std::string, 3> letters = {"A", "S", "D"};
  for (std::size_t i = 0; i < frame.tiles.size(); ++i) {
    ClickTile& tile = frame.tiles[i];
    tile.letter = letters[i];
    tile.rect = QRectF(margin + (gap + tileWidth) * static_cast<double>(i), 0.2 * h, tileWidth, 28);
    const bool target = i == 1;
    tile.clicked = target && q > 0.6;
    if (q > 0.15 && q < 0.62)
      tile.chip = QRectF(tile.rect.center().x() - 9, tile.rect.bottom() - 3, 18, 21);
    tile.typed = target && tile.chip && q > 0.45;
  }
  return frame;
}

double instant(std::optional<double> time, bool reduceMotion, double now) {
  if (time) return *time;
  return reduceMotion ? 0.5 : now;
}

double secondsSinceReferenceDate() {
  // 2001-01-01 00:00 UTC in Unix time.
  constexpr double referenceDate = 978307200;
  return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0 - referenceDate;
}

}  // namespace tovrel::settings::PreviewGeometry
