#pragma once

// One click-mode label chip as the settings window pictures it, drawn with the same fill, text
// and outline as the labels on screen.

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QWidget>
#include <string>
#include <string_view>

class QPainter;

namespace tovrel::settings {

// The chip's whole size for `label` at a size factor.
QSizeF labelChipSize(std::string_view label, double scale);

// Draws the chip filling `rect` (its tail at the top): the fill at `opacity` (kept within 0…1),
// the letters, upper-cased with the first `typed` faded, and the outline opaque.
void paintLabelChip(QPainter& painter, const QRectF& rect, std::string_view label, int typed,
                    double scale, double opacity);
// The same at its own size, the tail's tip at `topCentre`; returns where it drew.
QRectF paintLabelChip(QPainter& painter, QPointF topCentre, std::string_view label, int typed,
                      double scale, double opacity);

// The chip as a widget of exactly its size, hidden from accessibility.
class LabelChipPreview : public QWidget {
 public:
  LabelChipPreview(std::string label, int typed, double scale, double opacity,
                   QWidget* parent = nullptr);

  void setLabel(std::string label, int typed);
  void setScale(double scale);
  void setOpacity(double opacity);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string label_;
  int typed_;
  double scale_;
  double opacity_;
};

}  // namespace tovrel::settings
