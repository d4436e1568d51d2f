#include "app/settings/controls/KeyCaps.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <utility>

#include "app/settings/Theme.hpp"

namespace tovrel::settings {

namespace {

constexpr double radius = 6;
constexpr double shadowOffset = 1;

QSizeF inset(bool large) {
  return large ? QSizeF(12, 5) : QSizeF(9, 3);
}

}  // namespace

QFont keyCapsFont(bool large) {
  return large ? font(TextStyle::title3, QFont::DemiBold) : font(TextStyle::body, QFont::Medium);
}

QSize keyCapsSize(const QString& text, bool large) {
  const QFontMetricsF metrics(keyCapsFont(large));
  const QSizeF padding = inset(large);
  const double width = metrics.horizontalAdvance(text) + 2 * padding.width();
  const double height = metrics.height() + 2 * padding.height() + shadowOffset;
  return QSize(static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height)));
}

void paintKeyCaps(QPainter& painter, const QRectF& box, const QString& text, bool placeholder,
                  bool large, const QPalette& palette) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF plate = box.adjusted(0, 0, 0, -shadowOffset);
  QPainterPath shape;
  shape.addRoundedRect(plate, radius, radius);
  painter.fillPath(shape.translated(0, shadowOffset), QColor::fromRgbF(0, 0, 0, 0.08f));
  painter.fillPath(shape, colour(Colour::controlBackground, palette));
  // A line of width 1 drawn inside the plate's edge.
  QPainterPath outline;
  outline.addRoundedRect(plate.adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
  painter.setPen(QPen(colour(Colour::separator, palette), 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(outline);
  painter.setFont(keyCapsFont(large));
  painter.setPen(colour(placeholder ? Colour::secondary : Colour::primary, palette));
  painter.drawText(plate, Qt::AlignCenter | Qt::TextSingleLine, text);
  painter.restore();
}

KeyCaps::KeyCaps(QString text, bool placeholder, bool large, QWidget* parent)
    : QWidget(parent), text_(std::move(text)), placeholder_(placeholder), large_(large) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void KeyCaps::setText(QString text, bool placeholder) {
  if (text == text_ && placeholder == placeholder_) return;
  text_ = std::move(text);
  placeholder_ = placeholder;
  updateGeometry();
  update();
}

void KeyCaps::setLarge(bool large) {
  if (large == large_) return;
  large_ = large;
  updateGeometry();
  update();
}

QSize KeyCaps::sizeHint() const {
  return keyCapsSize(text_, large_);
}

void KeyCaps::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintKeyCaps(painter, QRectF(rect()), text_, placeholder_, large_, palette());
}

KeyCapsButton::KeyCapsButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::PointingHandCursor);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void KeyCapsButton::setCaps(const QString& text, bool placeholder, bool large) {
  if (text == this->text() && placeholder == placeholder_ && large == large_) return;
  setText(text);
  placeholder_ = placeholder;
  large_ = large;
  updateGeometry();
  update();
}

QSize KeyCapsButton::sizeHint() const {
  // Room for the focus ring around the cap.
  return keyCapsSize(text(), large_) + QSize(4, 4);
}

void KeyCapsButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRectF cap = QRectF(rect()).adjusted(2, 2, -2, -2);
  paintKeyCaps(painter, cap, text(), placeholder_, large_, palette());
  if (isDown()) {
    QPainterPath shape;
    shape.addRoundedRect(cap.adjusted(0, 0, 0, -shadowOffset), radius, radius);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, colour(Colour::primary, palette(), 0.08));
  }
  if (hasFocus()) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour(Colour::accent, palette(), 0.6), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), radius + 1, radius + 1);
  }
}

}  // namespace tovrel::settings
