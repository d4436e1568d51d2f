#pragma once

// The program's typeface at exact sizes and text laid out in it, measured and drawn at the size
// asked for. Main thread only (fonts and text layout).

#include <QColor>
#include <QFont>
#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QTextLayout>
#include <memory>
#include <optional>

class QPainter;

namespace tovrel::paint {

// The program's typeface at a size in logical pixels. Qt rounds a font's size to whole pixels
// (11.5 would become 12), so text is laid out with a font many times larger and drawn scaled
// down by `scale`: the size stays exact and the advances unrounded.
struct Type {
  QFont font;
  double scale = 1;  // drawn size ÷ the font's size
};
Type type(double px, QFont::Weight weight);

// A laid-out text, measured and drawn at its type's drawn size: one line, or wrapped.
struct TextBlock {
  std::shared_ptr<QTextLayout> layout;
  double scale = 1;
  QSizeF size;
  double ascent = 0;
  QColor colour;
  void draw(QPainter& painter, QPointF topLeft) const;
};

// `wrapWidth` none keeps the text on one line; `formats` colour parts of it differently.
TextBlock textBlock(const QString& text, const Type& type, const QColor& colour,
                    std::optional<double> wrapWidth = std::nullopt,
                    const QList<QTextLayout::FormatRange>& formats = {});

}  // namespace tovrel::paint
