#include "platform/paint/Text.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextOption>
#include <algorithm>
#include <cmath>

namespace tovrel::paint {

Type type(double px, QFont::Weight weight) {
  // A whole number of pixels about sixteen times `px`; the scale brings it back to `px` exactly.
  constexpr double magnification = 16;
  const double size = std::isfinite(px) ? std::clamp(px, 0.5, 1000.0) : 12.0;
  const int pixels = std::max(1, static_cast<int>(std::lround(size * magnification)));
  Type result;
  result.font.setFamilies({QStringLiteral("Inter"), QStringLiteral("DejaVu Sans")});
  result.font.setWeight(weight);
  result.font.setPixelSize(pixels);
  result.font.setHintingPreference(QFont::PreferNoHinting);
  result.scale = size / pixels;
  return result;
}

void TextBlock::draw(QPainter& painter, QPointF topLeft) const {
  painter.save();
  painter.translate(topLeft);
  painter.scale(scale, scale);
  painter.setPen(colour);
  layout->draw(&painter, QPointF(0, 0));
  painter.restore();
}

TextBlock textBlock(const QString& text, const Type& type, const QColor& colour,
                    std::optional<double> wrapWidth,
                    const QList<QTextLayout::FormatRange>& formats) {
  TextBlock block;
  block.colour = colour;
  block.scale = type.scale;
  block.layout = std::make_shared<QTextLayout>(text, type.font);
  QTextOption option;
  option.setWrapMode(wrapWidth ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
  block.layout->setTextOption(option);
  block.layout->setFormats(formats);
  block.layout->setCacheEnabled(true);
  // Without wrapping a line takes the whole text whatever its width (kept within Qt's fixed-point
  // range).
  const double lineWidth = wrapWidth ? std::max(*wrapWidth, 1.0) / type.scale : 1e6;
  double y = 0;
  double width = 0;
  int lines = 0;
  block.layout->beginLayout();
  for (QTextLine line = block.layout->createLine(); line.isValid();
       line = block.layout->createLine()) {
    line.setLineWidth(lineWidth);
    line.setPosition(QPointF(0, y));
    if (lines++ == 0) block.ascent = line.ascent();
    y += line.height();
    width = std::max(width, line.naturalTextWidth());
  }
  block.layout->endLayout();
  if (lines == 0) {
    const QFontMetricsF metrics(type.font);
    y = metrics.height();
    block.ascent = metrics.ascent();
  }
  block.size = QSizeF(width * type.scale, y * type.scale);
  block.ascent *= type.scale;
  return block;
}

}  // namespace tovrel::paint
