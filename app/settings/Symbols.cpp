#include "app/settings/Symbols.hpp"

#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPixmap>
#include <QPolygonF>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <numbers>

namespace tovrel::settings {

namespace {

// Drawings are made on a grid where 20 units are the height of text of the requested size, so a
// round symbol is as tall as the text beside it. Every drawing is one filled path: strokes are
// turned into outlines, and details inside a filled shape are subtracted from it, so they show
// whatever lies behind the symbol.
constexpr double unitsPerFont = 20;

struct Drawing {
  QSizeF box;  // in grid units
  QPainterPath path;
};

QPainterPath stroke(const QPainterPath& line, double width) {
  QPainterPathStroker stroker;
  stroker.setWidth(width);
  stroker.setCapStyle(Qt::RoundCap);
  stroker.setJoinStyle(Qt::RoundJoin);
  return stroker.createStroke(line).simplified();
}

QPainterPath polyline(std::initializer_list<QPointF> points) {
  QPainterPath line;
  bool first = true;
  for (QPointF p : points) {
    if (first)
      line.moveTo(p);
    else
      line.lineTo(p);
    first = false;
  }
  return line;
}

QPainterPath circle(QPointF centre, double radius) {
  QPainterPath path;
  path.addEllipse(centre, radius, radius);
  return path;
}

QPainterPath roundedRect(const QRectF& rect, double radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

QPainterPath closedPolygon(const QPolygonF& polygon) {
  QPainterPath shape;
  shape.addPolygon(polygon);
  shape.closeSubpath();
  return shape;
}

// A filled polygon whose corners are rounded by `radius`.
QPainterPath softPolygon(const QPolygonF& polygon, double radius) {
  const QPainterPath shape = closedPolygon(polygon);
  return shape.united(stroke(shape, 2 * radius));
}

QPainterPath capsule(QPointF from, QPointF to, double width) {
  return stroke(polyline({from, to}), width);
}

QPainterPath unite(std::initializer_list<QPainterPath> parts) {
  QPainterPath whole;
  for (const QPainterPath& part : parts)
    whole = whole.united(part);
  return whole.simplified();
}

const QPainterPath& disc() {
  static const QPainterPath path = circle({10, 10}, 10);
  return path;
}

QPainterPath cross(QPointF centre, double half, double width) {
  return unite({capsule(centre - QPointF(half, half), centre + QPointF(half, half), width),
                capsule(centre + QPointF(half, -half), centre + QPointF(-half, half), width)});
}

QPainterPath checkStroke(double width) {
  return stroke(polyline({{5.6, 10.4}, {8.7, 13.5}, {14.5, 6.9}}), width);
}

// The classic pointer, tip at the top left, in a 13 × 18 box.
QPolygonF arrowOutline(QPointF origin) {
  QPolygonF arrow(
      {{1, 0.8}, {1, 15.6}, {4.7, 12.2}, {7.1, 17.6}, {9.4, 16.6}, {7.1, 11.3}, {12, 11.3}});
  arrow.translate(origin);
  return arrow;
}

// The exclamation mark of the warning triangles: a bar and a dot.
QPainterPath exclamation(double width) {
  return unite({capsule({11, 7.4}, {11, 12.6}, width), circle({11, 15.7}, width * 0.62)});
}

QPolygonF warningTriangle() {
  return QPolygonF({{11, 1.6}, {20.6, 18.6}, {1.4, 18.6}});
}

QPainterPath gear() {
  QPainterPath body = circle({10, 10}, 7.2);
  for (int tooth = 0; tooth < 8; ++tooth) {
    QTransform turn;
    turn.translate(10, 10);
    turn.rotate(45.0 * tooth);
    body = body.united(turn.map(roundedRect(QRectF(-1.8, -10, 3.6, 5), 1)));
  }
  return body.simplified().subtracted(circle({10, 10}, 3.1));
}

QPainterPath pointingHand() {
  // Drawn upright, index finger up, the other fingers curled into the palm and the thumb at its
  // side, then tilted so the finger points up and to the left.
  const QPainterPath finger = capsule({6.2, 2.4}, {6.2, 12}, 3.6);
  const QPainterPath palm = roundedRect(QRectF(4.2, 9.6, 11, 10.4), 3.8);
  const QPainterPath knuckles =
      unite({capsule({9.3, 10.6}, {9.3, 13}, 2.9), capsule({12.1, 11.2}, {12.1, 13.4}, 2.9),
             capsule({14.2, 12.4}, {14.2, 14.4}, 2.4)});
  const QPainterPath thumb = capsule({5.4, 15.6}, {2.4, 12}, 3);
  const QPainterPath creases =
      unite({capsule({10.7, 12.6}, {10.7, 14.6}, 0.7), capsule({13.3, 13.4}, {13.3, 15.2}, 0.7)});
  const QPainterPath upright = unite({finger, palm, knuckles, thumb}).subtracted(creases);
  QTransform tilt;
  tilt.translate(10, 10);
  tilt.rotate(-32);
  tilt.translate(-9.4, -11.2);
  return tilt.map(upright);
}

QPainterPath raisedHand() {
  QPainterPath hand = roundedRect(QRectF(3.6, 8.6, 11.6, 10.8), 4.4);
  const double tops[] = {5.0, 2.4, 2.8, 5.2};
  for (int finger = 0; finger < 4; ++finger) {
    const double x = 5.1 + finger * 2.85;
    hand = hand.united(capsule({x, tops[finger]}, {x, 12}, 2.5));
  }
  hand = hand.united(capsule({5, 15.2}, {1.6, 10.4}, 2.7));
  return hand.simplified();
}

QPainterPath scroll() {
  QPainterPath sheet;
  sheet.addRect(QRectF(3, 3, 12, 14));
  const QPainterPath top = roundedRect(QRectF(1, 0.8, 16, 4.4), 2.2);
  const QPainterPath bottom = roundedRect(QRectF(1, 14.8, 16, 4.4), 2.2);
  const QPainterPath lines =
      unite({capsule({5.8, 8}, {12.2, 8}, 1.3), capsule({5.8, 11.4}, {10.6, 11.4}, 1.3)});
  // The curled ends of the rolls.
  const QPainterPath curls = unite({circle({3.2, 3}, 1), circle({3.2, 17}, 1)});
  return unite({sheet, top, bottom}).subtracted(lines).subtracted(curls);
}

QPainterPath motionArrow() {
  QPainterPath arrow = softPolygon(arrowOutline({9.5, 1}), 0.6);
  const QPainterPath lines =
      unite({capsule({1.2, 8.2}, {6.4, 8.2}, 1.8), capsule({2.8, 12.2}, {7.6, 12.2}, 1.8),
             capsule({1.2, 16.2}, {6.2, 16.2}, 1.8)});
  return unite({arrow, lines});
}

QPainterPath uturn() {
  QPainterPath line;
  line.moveTo(3.6, 6);
  line.lineTo(11.8, 6);
  line.arcTo(QRectF(7.3, 6, 9, 9), 90, -180);
  line.lineTo(8.5, 15);
  const QPainterPath head = polyline({{7.6, 2}, {3.6, 6}, {7.6, 10}});
  return unite({stroke(line, 2), stroke(head, 2)});
}

QPainterPath lock() {
  QPainterPath shackle;
  shackle.moveTo(4.2, 9.5);
  shackle.lineTo(4.2, 6);
  shackle.arcTo(QRectF(4.2, 1.8, 7.6, 8.4), 180, -180);
  shackle.lineTo(11.8, 9.5);
  return unite({roundedRect(QRectF(1.2, 8.6, 13.6, 10.6), 2.4), stroke(shackle, 2.2)});
}

QPainterPath dashedSquare() {
  QPainterPath outline = roundedRect(QRectF(1.5, 1.5, 17, 17), 4.6);
  QPainterPathStroker stroker;
  stroker.setWidth(1.5);
  stroker.setCapStyle(Qt::FlatCap);
  stroker.setDashPattern({2.2, 1.6});
  return stroker.createStroke(outline);
}

const std::map<std::string_view, Drawing, std::less<>>& drawings() {
  static const auto table = [] {
    std::map<std::string_view, Drawing, std::less<>> t;
    const QSizeF square(20, 20);
    t["checkmark.circle.fill"] = {square, disc().subtracted(checkStroke(2.2))};
    t["checkmark"] = {{18, 16}, stroke(polyline({{2, 8.6}, {6.8, 13.3}, {16, 2.8}}), 2.3)};
    t["exclamationmark.triangle.fill"] = {
        {22, 20}, softPolygon(warningTriangle(), 1.3).subtracted(exclamation(2.1))};
    t["exclamationmark.triangle"] = {
        {22, 20}, unite({stroke(closedPolygon(warningTriangle()), 1.7), exclamation(1.8)})};
    {
      QPolygonF octagon;
      for (int corner = 0; corner < 8; ++corner) {
        const double angle = (22.5 + 45.0 * corner) * std::numbers::pi / 180;
        octagon << QPointF(10 + 9.3 * std::cos(angle), 10 + 9.3 * std::sin(angle));
      }
      t["xmark.octagon.fill"] = {square,
                                 softPolygon(octagon, 0.7).subtracted(cross({10, 10}, 3.3, 2.1))};
    }
    t["xmark.circle.fill"] = {square, disc().subtracted(cross({10, 10}, 3.4, 2))};
    t["minus.circle.fill"] = {square, disc().subtracted(capsule({5.6, 10}, {14.4, 10}, 2.2))};
    t["info.circle.fill"] = {
        square,
        disc().subtracted(unite({capsule({10, 9.4}, {10, 14.6}, 2.2), circle({10, 5.8}, 1.4)}))};
    t["xmark"] = {{16, 16}, cross({8, 8}, 5.6, 2.2)};
    t["arrow.uturn.backward"] = {{20, 18}, uturn()};
    t["gearshape.fill"] = {square, gear()};
    t["lock.fill"] = {{16, 20}, lock()};
    t["hand.point.up.left.fill"] = {square, pointingHand()};
    t["hand.raised.fill"] = {{18, 20}, raisedHand()};
    t["scroll.fill"] = {{18, 20}, scroll()};
    t["cursorarrow"] = {{13, 18}, softPolygon(arrowOutline({0, 0}), 0.5)};
    t["cursorarrow.motionlines"] = {{23, 20}, motionArrow()};
    t["magnifyingglass"] = {square, unite({stroke(circle({8.2, 8.2}, 5.9), 2.2),
                                           capsule({12.6, 12.6}, {18, 18}, 2.8)})};
    t["app.dashed"] = {square, dashedSquare()};
    return t;
  }();
  return table;
}

const Drawing* find(std::string_view name) {
  const auto& table = drawings();
  const auto found = table.find(name);
  return found == table.end() ? nullptr : &found->second;
}

}  // namespace

bool hasSymbol(std::string_view name) {
  return find(name) != nullptr;
}

QSizeF symbolSize(std::string_view name, double fontPixels) {
  const Drawing* drawing = find(name);
  const QSizeF box = drawing != nullptr ? drawing->box : QSizeF(unitsPerFont, unitsPerFont);
  return box * (fontPixels / unitsPerFont);
}

QPainterPath symbolPath(std::string_view name, const QRectF& box) {
  const Drawing* drawing = find(name);
  if (drawing == nullptr || box.isEmpty()) return {};
  const double scale =
      std::min(box.width() / drawing->box.width(), box.height() / drawing->box.height());
  const QSizeF drawn = drawing->box * scale;
  QTransform place;
  place.translate(box.center().x() - drawn.width() / 2, box.center().y() - drawn.height() / 2);
  place.scale(scale, scale);
  return place.map(drawing->path);
}

void paintSymbol(QPainter& painter, std::string_view name, const QRectF& box,
                 const QColor& colour) {
  const QPainterPath path = symbolPath(name, box);
  if (path.isEmpty()) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(path, colour);
  painter.restore();
}

QIcon symbolIcon(std::string_view name, const QColor& colour, int pixels) {
  QIcon icon;
  for (int ratio : {1, 2}) {
    QPixmap pixmap(pixels * ratio, pixels * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paintSymbol(painter, name, QRectF(0, 0, pixels, pixels), colour);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace tovrel::settings
