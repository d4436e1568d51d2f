// The scan line, the scroll-mode pointer dot and the scroll-area outlines.

#include <QPainter>
#include <QPainterPathStroker>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "platform/x11/overlay/QtOverlayDrawing.hpp"

namespace tovrel::platform::x11::overlay {
namespace {

QColor accentAt(double alpha) {
  QColor colour = palette::accent();
  colour.setAlphaF(static_cast<float>(alpha));
  return colour;
}

}  // namespace

Drawing progressDrawing(const ProgressContent& content, QSizeF bounds) {
  Drawing drawing;
  drawing.size = bounds;
  const QRectF track(QPointF(0, 0), bounds);
  const double fill =
      std::clamp(std::isfinite(content.fillWidth) ? content.fillWidth : 0.0, 0.0, bounds.width());
  QPainterPath line;
  line.addRect(track);
  drawing.shapes.push_back(line);
  drawing.steps.push_back([track, fill](QPainter& painter) {
    painter.fillRect(track, accentAt(0.18));
    painter.fillRect(QRectF(0, 0, fill, track.height()), palette::accent());
  });
  return drawing;
}

Drawing dotDrawing(QSizeF bounds) {
  Drawing drawing;
  drawing.size = bounds;
  const QRectF all(QPointF(0, 0), bounds);
  const QRectF white = all.adjusted(0.5, 0.5, -0.5, -0.5);
  const QRectF blue = all.adjusted(1.5, 1.5, -1.5, -1.5);
  QPainterPath disc;
  disc.addEllipse(white);
  drawing.shapes.push_back(disc);
  drawing.steps.push_back([white, blue](QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(white);
    painter.setBrush(palette::accent());
    painter.drawEllipse(blue);
  });
  return drawing;
}

Drawing outlineDrawing(const OutlineContent& content, QSizeF bounds) {
  Drawing drawing;
  drawing.size = bounds;
  if (content.active) {
    QPainterPath ring;
    ring.addRoundedRect(QRectF(QPointF(0, 0), bounds).adjusted(1.5, 1.5, -1.5, -1.5), 8, 8);
    constexpr double lineWidth = 2;
    QPainterPathStroker stroker;
    stroker.setWidth(lineWidth + 1);
    drawing.shapes.push_back(stroker.createStroke(ring));
    drawing.steps.push_back([ring](QPainter& painter) {
      painter.setPen(QPen(accentAt(0.45), lineWidth));
      painter.setBrush(Qt::NoBrush);
      painter.drawPath(ring);
    });
  }
  if (content.number >= 1) {
    // Near the top-left corner: 8 points in from the left and down from the top.
    const QRectF square(8, 8, 22, 22);
    QPainterPath badge;
    badge.addRoundedRect(square, 6, 6);
    drawing.shapes.push_back(badge);
    const TextBlock number =
        textBlock(QString::number(content.number), type(13, QFont::Bold), Qt::white);
    const QPointF at(square.center().x() - number.size.width() / 2,
                     square.center().y() - number.size.height() / 2);
    const QColor fill = accentAt(content.active ? 1.0 : 0.7);
    drawing.steps.push_back([badge, fill, number, at](QPainter& painter) {
      painter.fillPath(badge, fill);
      number.draw(painter, at);
    });
  }
  return drawing;
}

}  // namespace tovrel::platform::x11::overlay
