// The label chips: yellow callouts with a tail pointing at their target, and the label sample
// image. Chips arrive in the canvas's own coordinates, whose origin is the bottom-left corner;
// they are built there and flipped once into the window's top-left pixels.

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPen>
#include <QTextBoundaryFinder>
#include <QTransform>
#include <algorithm>
#include <cmath>

#include "platform/x11/QtOverlayDrawing.hpp"

namespace tovrel::platform::x11::overlay {
namespace {

constexpr double normalFontSize = 10.5;

double finiteOr(double value, double fallback) {
  return std::isfinite(value) ? value : fallback;
}

// The chips' fill, top to bottom.
QLinearGradient chipGradient(const QRectF& bounds, double opacity) {
  QLinearGradient gradient(bounds.topLeft(), bounds.bottomLeft());
  auto colour = [opacity](int r, int g, int b) {
    QColor c(r, g, b);
    c.setAlphaF(static_cast<float>(opacity));
    return c;
  };
  gradient.setColorAt(0, colour(255, 247, 180));
  gradient.setColorAt(0.5, colour(250, 241, 146));
  gradient.setColorAt(1, colour(252, 227, 106));
  return gradient;
}

QPainterPath band(const QPainterPath& path, double width) {
  QPainterPathStroker stroker;
  stroker.setWidth(width);
  stroker.setJoinStyle(Qt::MiterJoin);
  return stroker.createStroke(path);
}

// The code units of the first `count` characters (as a reader counts them) of `text`.
int leadingCharacters(const QString& text, int count) {
  if (count <= 0) return 0;
  QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
  int end = 0;
  for (int i = 0; i < count; ++i) {
    const qsizetype next = characters.toNextBoundary();
    if (next < 0) break;
    end = static_cast<int>(next);
  }
  return end;
}

}  // namespace

QPainterPath callout(const QRectF& rect, std::optional<QPointF> tail, bool tailUp, double scale) {
  const double o = rect.x();
  const double r = rect.x() + rect.width();
  const double t = rect.y();
  const double u = rect.y() + rect.height();
  const double v = 4 * scale;
  const double l = 2.75 * scale;
  // The upper limit wins when the chip is too narrow for both.
  const double m = tail ? std::min(std::max(tail->x(), o + v + l), r - v - l) : (o + r) / 2;

  QPainterPath path;
  path.moveTo(o + v, u);
  if (tail && tailUp) {
    path.lineTo(m - l, u);
    path.lineTo(m, tail->y());
    path.lineTo(m + l, u);
  }
  path.lineTo(r - v, u);
  path.cubicTo(r, u, r, u, r, u - v);
  path.lineTo(r, t + v);
  path.cubicTo(r, t, r, t, r - v, t);
  if (tail && !tailUp) {
    path.lineTo(m + l, t);
    path.lineTo(m, tail->y());
    path.lineTo(m - l, t);
  }
  path.lineTo(o + v, t);
  path.cubicTo(o, t, o, t, o, t + v);
  path.lineTo(o, u - v);
  path.cubicTo(o, u, o, u, o + v, u);
  path.closeSubpath();
  return path;
}

TextBlock chipLabel(std::string_view label, int typed, double fontSize) {
  const QString upper =
      QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size())).toUpper();
  Type heavy = type(fontSize * 0.95, QFont::ExtraBold);
  // In the font's own, magnified units.
  heavy.font.setLetterSpacing(QFont::AbsoluteSpacing,
                              fontSize * 0.3 / normalFontSize / heavy.scale);
  QList<QTextLayout::FormatRange> formats;
  if (const int faded = leadingCharacters(upper, typed); faded > 0) {
    QTextLayout::FormatRange range;
    range.start = 0;
    range.length = faded;
    range.format.setForeground(QColor::fromRgbF(0, 0, 0, 0.3f));
    formats.push_back(range);
  }
  return textBlock(upper, heavy, Qt::black, std::nullopt, formats);
}

double labelWidth(std::string_view text, double fontSize) {
  return chipLabel(text, 0, fontSize).size.width();
}

Drawing hintCanvasDrawing(const HintCanvasContent& content, QSizeF bounds) {
  Drawing drawing;
  drawing.size = bounds;
  const double height = bounds.height();
  const double fontSize = content.fontSize > 0 ? finiteOr(content.fontSize, 11) : 11;
  const double s = fontSize / normalFontSize;
  const double opacity = std::clamp(finiteOr(content.opacity, 1), 0.0, 1.0);
  const QTransform flip(1, 0, 0, -1, 0, height);
  auto flipped = [height](const Rect& rect) {
    return QRectF(rect.x, height - rect.y - rect.height, rect.width, rect.height);
  };

  if (content.highlight) {
    QPainterPath ring;
    ring.addRoundedRect(flipped(*content.highlight).adjusted(-2, -2, 2, 2), 5, 5);
    constexpr double ringWidth = 2.5;
    drawing.shapes.push_back(band(ring, ringWidth + 1));
    drawing.steps.push_back([ring](QPainter& painter) {
      painter.setPen(QPen(palette::accent(), ringWidth));
      painter.setBrush(Qt::NoBrush);
      painter.drawPath(ring);
    });
  }

  for (const HintChip& chip : content.chips) {
    const QRectF body(chip.rect.x, chip.rect.y, chip.rect.width, chip.rect.height);
    std::optional<QPointF> tail;
    if (!chip.offset) tail = QPointF(chip.anchor.x, chip.anchor.y);
    const QPainterPath path = flip.map(callout(body, tail, chip.tailUp, s));
    const double lineWidth = chip.selected ? 2 : 1;
    drawing.shapes.push_back(path);
    drawing.shapes.push_back(band(path, lineWidth + 1));

    const TextBlock label = chipLabel(chip.text, chip.typed, fontSize);
    const double textX = std::round(chip.rect.x + chip.rect.width / 2 - label.size.width() / 2);
    // Placed in the canvas's upward coordinates, then flipped: the text's box spans
    // [bottom, bottom + height] there.
    const double bottom = chip.rect.y + chip.rect.height / 2 - label.size.height() / 2 + 0.25 * s;
    const QPointF textTopLeft(textX, height - bottom - label.size.height());

    const bool selected = chip.selected;
    drawing.steps.push_back([path, opacity, selected, label, textTopLeft](QPainter& painter) {
      painter.fillPath(path, chipGradient(path.boundingRect(), opacity));
      QPen pen(selected ? QColor(Qt::black) : QColor::fromRgbF(0, 0, 0, 0.6f), selected ? 2 : 1);
      pen.setJoinStyle(Qt::MiterJoin);
      painter.setPen(pen);
      painter.setBrush(Qt::NoBrush);
      painter.drawPath(path);
      label.draw(painter, textTopLeft);
    });
  }
  return drawing;
}

std::optional<std::vector<std::uint8_t>> labelSample(double width, double height,
                                                     const std::vector<Rect>& blocks,
                                                     const HintCanvasContent& canvas) {
  if (!std::isfinite(width) || !std::isfinite(height) || width <= 0 || height <= 0)
    return std::nullopt;
  constexpr double pixelsPerPoint = 2;
  QImage image(static_cast<int>(std::lround(width * pixelsPerPoint)),
               static_cast<int>(std::lround(height * pixelsPerPoint)),
               QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return std::nullopt;
  image.setDevicePixelRatio(pixelsPerPoint);
  image.fill(QColor::fromRgbF(0.96f, 0.96f, 0.96f));
  {
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    for (const Rect& block : blocks)
      painter.fillRect(QRectF(block.x, height - block.y - block.height, block.width, block.height),
                       QColor::fromRgbF(0.7f, 0.7f, 0.7f));
    hintCanvasDrawing(canvas, QSizeF(width, height)).paint(painter);
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return std::nullopt;
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

}  // namespace tovrel::platform::x11::overlay
