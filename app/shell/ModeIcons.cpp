#include "app/shell/ModeIcons.hpp"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <QTransform>
#include <algorithm>
#include <initializer_list>

namespace tovrel::shell {

namespace {

// Glyphs are drawn on a 24-unit square; the rim needs 1.5 units of margin at 16 pixels, so every
// glyph keeps inside [2, 22].
constexpr double grid = 24.0;
constexpr double glyphBox = 20.0;

const QColor glyphFill(244, 244, 244);
const QColor glyphRim(24, 24, 24, 235);

QPainterPath polygon(std::initializer_list<QPointF> points) {
  QPainterPath path;
  path.addPolygon(QPolygonF(QList<QPointF>(points)));
  path.closeSubpath();
  return path;
}

QPainterPath roundedRect(double x, double y, double w, double h, double radius) {
  QPainterPath path;
  path.addRoundedRect(QRectF(x, y, w, h), radius, radius);
  return path;
}

// Centres the glyph on the grid and shrinks it when it would reach into the rim's margin.
QPainterPath fitted(const QPainterPath& path) {
  const QRectF bounds = path.boundingRect();
  const double scale = std::min({1.0, glyphBox / bounds.width(), glyphBox / bounds.height()});
  QTransform transform;
  transform.translate(grid / 2, grid / 2);
  transform.scale(scale, scale);
  transform.translate(-bounds.center().x(), -bounds.center().y());
  return transform.map(path);
}

QPainterPath keyboardGlyph() {
  QPainterPath body = roundedRect(2, 5.5, 20, 13, 2.5);
  QPainterPath keys;
  for (double x : {4.5, 7.7, 10.9, 14.1, 17.3})
    keys.addRect(x, 8, 2.2, 2.2);
  for (double x : {6.1, 9.3, 12.5, 15.7})
    keys.addRect(x, 11.2, 2.2, 2.2);
  keys.addRect(7, 14.4, 10, 1.9);
  return body.subtracted(keys);
}

QPainterPath pointerGlyph() {
  QPainterPath arrow = polygon(
      {{10.5, 2.5}, {10.5, 19}, {14, 15.6}, {16.6, 21.2}, {19.2, 20}, {16.6, 14.5}, {21.5, 14.5}});
  for (auto [x, y] : {std::pair{3.0, 6.0}, {2.0, 10.6}, {3.0, 15.2}})
    arrow.addPath(roundedRect(x, y, 8.5 - x, 1.9, 0.95));
  return arrow;
}

// Overlapping parts are united: the rim is stroked along every outline, so an outline left inside
// the glyph would show as a dark line across it.
QPainterPath handGlyph() {
  QPainterPath hand = roundedRect(9, 2, 3.6, 11, 1.8);    // the pointing finger
  hand = hand.united(roundedRect(7.5, 10, 11, 10, 3));    // the palm
  hand = hand.united(roundedRect(11, 8.2, 7.5, 5, 2.5));  // the curled fingers
  QTransform thumbTilt;
  thumbTilt.translate(9.7, 13.5);
  thumbTilt.rotate(30);
  thumbTilt.translate(-9.7, -13.5);
  hand = hand.united(thumbTilt.map(roundedRect(4.2, 12, 5.5, 3, 1.5)));
  QTransform towardUpperLeft;
  towardUpperLeft.translate(12, 12);
  towardUpperLeft.rotate(-28);
  towardUpperLeft.translate(-12, -12);
  return towardUpperLeft.map(hand);
}

QPainterPath scrollGlyph() {
  // A wheel between an arrow up and an arrow down.
  QPainterPath path = polygon({{12, 2}, {17.5, 7}, {6.5, 7}});
  path.addPath(roundedRect(9.8, 8.6, 4.4, 6.8, 2.2));
  path.addPath(polygon({{12, 22}, {17.5, 17}, {6.5, 17}}));
  return path;
}

QImage renderGlyph(const QPainterPath& glyph, int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  const double unitsPerPixel = grid / size;
  painter.scale(1 / unitsPerPixel, 1 / unitsPerPixel);
  // The rim is stroked on the outline and the fill then covers its inner half, so the rim lies
  // wholly outside the glyph and stays about a pixel wide at every size.
  const double rimPixels = std::max(1.0, size / 20.0);
  QPen rim(glyphRim, 2 * rimPixels * unitsPerPixel, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  painter.strokePath(glyph, rim);
  painter.fillPath(glyph, glyphFill);
  return image;
}

QIcon iconFrom(const QPainterPath& glyph) {
  QIcon icon;
  for (int size : trayIconSizes)
    icon.addPixmap(QPixmap::fromImage(renderGlyph(glyph, size)));
  return icon;
}

// The same picture as the installed scalable icon: an indigo tile, a key cap, a pointer on it.
QImage renderAppIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 128.0, size / 128.0);
  painter.fillPath(roundedRect(8, 8, 112, 112, 26), QColor(0x4f, 0x46, 0xe5));
  painter.fillPath(roundedRect(26, 30, 64, 64, 14), QColor(0xc7, 0xc6, 0xf2));
  painter.fillPath(roundedRect(26, 24, 64, 62, 14), QColor(0xff, 0xff, 0xff));
  const QPainterPath pointer =
      polygon({{62, 52}, {62, 108}, {74, 96}, {83, 114}, {93, 109.5}, {84, 92}, {101, 92}});
  painter.strokePath(pointer, QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.fillPath(pointer, QColor(0x11, 0x18, 0x27));
  return image;
}

}  // namespace

QIcon modeIcon(std::string_view symbol) {
  if (symbol == "keyboard") return iconFrom(fitted(keyboardGlyph()));
  if (symbol == "cursorarrow.motionlines") return iconFrom(fitted(pointerGlyph()));
  if (symbol == "hand.point.up.left") return iconFrom(fitted(handGlyph()));
  if (symbol == "scroll") return iconFrom(fitted(scrollGlyph()));
  return {};
}

QIcon appIcon() {
  constexpr auto themeName = "local.tovrel.Tovrel";
  // A theme that lists the icon may still fail to draw it (the file is scalable and an image
  // plugin is missing), so the theme's icon counts only when it gives a picture.
  if (QIcon::hasThemeIcon(themeName)) {
    QIcon themed = QIcon::fromTheme(themeName);
    if (!themed.pixmap(32, 32).isNull()) return themed;
  }
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addPixmap(QPixmap::fromImage(renderAppIcon(size)));
  return icon;
}

}  // namespace tovrel::shell
