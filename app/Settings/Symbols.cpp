#include "app/Settings/Symbols.hpp"

#include <QPainter>
#include <QPixmap>

namespace tovrel::settings {

// A plain disc for every name until the drawings are in.
bool hasSymbol(std::string_view) {
  return true;
}

QSizeF symbolSize(std::string_view, double fontPixels) {
  return QSizeF(fontPixels * 1.1, fontPixels * 1.1);
}

void paintSymbol(QPainter& painter, std::string_view, const QRectF& box, const QColor& colour) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  const double side = std::min(box.width(), box.height());
  painter.drawEllipse(QRectF(box.center() - QPointF(side / 2, side / 2), QSizeF(side, side)));
  painter.restore();
}

QIcon symbolIcon(std::string_view name, const QColor& colour, int pixels) {
  QPixmap pixmap(pixels * 2, pixels * 2);
  pixmap.setDevicePixelRatio(2);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  paintSymbol(painter, name, QRectF(0, 0, pixels, pixels), colour);
  return QIcon(pixmap);
}

}  // namespace tovrel::settings
