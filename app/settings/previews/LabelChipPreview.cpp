#include "app/settings/previews/LabelChipPreview.hpp"

#include <QPainter>
#include <QPen>
#include <cmath>

#include "app/settings/controls/AccessibilityHidden.hpp"
#include "app/settings/previews/LabelPreviewModel.hpp"
#include "platform/paint/Chip.hpp"

namespace tovrel::settings {
namespace {

paint::TextBlock chipLetters(std::string_view label, int typed, double scale) {
  const ChipMetrics m = chipMetrics(scale);
  return paint::chipText(label, typed, m.fontSize, m.letterSpacing);
}

}  // namespace

QSizeF labelChipSize(std::string_view label, double scale) {
  return chipSize(chipLetters(label, 0, scale).size, scale);
}

void paintLabelChip(QPainter& painter, const QRectF& rect, std::string_view label, int typed,
                    double scale, double opacity) {
  const ChipMetrics m = chipMetrics(scale);
  const QPainterPath shape = paint::calloutShape(rect, m.tail, m.radius);
  painter.save();
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  painter.fillPath(shape, paint::chipGradient(rect, fillOpacity(opacity)));
  QPen outline(QColor::fromRgbF(0, 0, 0, 0.6f), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
  outline.setMiterLimit(10);
  painter.strokePath(shape, outline);
  const paint::TextBlock letters = chipLetters(label, typed, scale);
  const QRectF body = rect.adjusted(0, m.tail, 0, 0);
  letters.draw(painter, QPointF(body.center().x() - letters.size.width() / 2,
                                body.center().y() - letters.size.height() / 2));
  painter.restore();
}

QRectF paintLabelChip(QPainter& painter, QPointF topCentre, std::string_view label, int typed,
                      double scale, double opacity) {
  const QSizeF size = labelChipSize(label, scale);
  const QRectF rect(topCentre.x() - size.width() / 2, topCentre.y(), size.width(), size.height());
  paintLabelChip(painter, rect, label, typed, scale, opacity);
  return rect;
}

LabelChipPreview::LabelChipPreview(std::string label, int typed, double scale, double opacity,
                                   QWidget* parent)
    : QWidget(parent), label_(std::move(label)), typed_(typed), scale_(scale), opacity_(opacity) {
  hideFromAccessibility(this);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void LabelChipPreview::setLabel(std::string label, int typed) {
  label_ = std::move(label);
  typed_ = typed;
  updateGeometry();
  update();
}

void LabelChipPreview::setScale(double scale) {
  scale_ = scale;
  updateGeometry();
  update();
}

void LabelChipPreview::setOpacity(double opacity) {
  opacity_ = opacity;
  update();
}

QSize LabelChipPreview::sizeHint() const {
  // The outline's half pixel may stand out on each side.
  const QSizeF size = labelChipSize(label_, scale_);
  return QSize(static_cast<int>(std::ceil(size.width())) + 2,
               static_cast<int>(std::ceil(size.height())) + 2);
}

void LabelChipPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QSizeF size = labelChipSize(label_, scale_);
  paintLabelChip(
      painter, QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size),
      label_, typed_, scale_, opacity_);
}

}  // namespace tovrel::settings
