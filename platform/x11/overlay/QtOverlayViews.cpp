// The badge, the click-mode head-up display and the key help: stacks of text, pills and shapes
// laid out by hand, the way a stack of views lays out its children (fixed spacing between
// neighbours, paddings around, children centred across the stack's direction).

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "platform/x11/overlay/QtOverlayDrawing.hpp"

namespace tovrel::platform::x11::overlay {
namespace {

QString text(const std::string& value) {
  return QString::fromStdString(value);
}

QColor withAlpha(QColor colour, double alpha) {
  colour.setAlphaF(static_cast<float>(alpha));
  return colour;
}

// The area the view is drawn in, and where its natural-sized content starts: centred in it.
struct Placement {
  QRectF area;
  QPointF origin;
};

Placement place(QSizeF natural, QSizeF bounds) {
  const QSizeF area = bounds.isEmpty() ? natural : bounds;
  return {QRectF(QPointF(0, 0), area),
          QPointF((area.width() - natural.width()) / 2, (area.height() - natural.height()) / 2)};
}

// The material fill in a rounded rectangle with a light border inside its edge.
void addBackground(Drawing& drawing, const QRectF& rect, double radius, double borderAlpha) {
  QPainterPath shape;
  shape.addRoundedRect(rect, radius, radius);
  drawing.shapes.push_back(shape);
  drawing.steps.push_back([shape, rect, radius, borderAlpha](QPainter& painter) {
    painter.fillPath(shape, palette::material());
    painter.setPen(QPen(withAlpha(palette::primary(), borderAlpha), 1));
    painter.setBrush(Qt::NoBrush);
    const double inner = std::max(radius - 0.5, 0.0);
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), inner, inner);
  });
}

void addText(Drawing& drawing, const TextBlock& block, QPointF topLeft) {
  drawing.steps.push_back([block, topLeft](QPainter& painter) { block.draw(painter, topLeft); });
}

void addRoundedFill(Drawing& drawing, const QRectF& rect, double radius, const QColor& colour) {
  drawing.steps.push_back([rect, radius, colour](QPainter& painter) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path, colour);
  });
}

// Text on a coloured rounded rectangle, padded.
struct Pill {
  TextBlock label;
  double padX = 0;
  double padY = 0;
  QColor fill;
  QSizeF size() const { return {label.size.width() + 2 * padX, label.size.height() + 2 * padY}; }
  void add(Drawing& drawing, QPointF topLeft) const {
    addRoundedFill(drawing, QRectF(topLeft, size()), 5, fill);
    addText(drawing, label, topLeft + QPointF(padX, padY));
  }
};

// A magnifying glass drawn in a square the size of the search row's type.
void addMagnifier(Drawing& drawing, const QRectF& box, const QColor& colour) {
  drawing.steps.push_back([box, colour](QPainter& painter) {
    const double side = box.width();
    const double radius = side * 0.33;
    const QPointF centre = box.topLeft() + QPointF(side * 0.42, side * 0.42);
    QPen pen(colour, side * 0.115);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(centre, radius, radius);
    const double diagonal = radius / std::sqrt(2.0);
    painter.drawLine(centre + QPointF(diagonal, diagonal),
                     box.topLeft() + QPointF(side, side) - QPointF(side * 0.08, side * 0.08));
  });
}

}  // namespace

Drawing badgeDrawing(const BadgeContent& content, QSizeF bounds) {
  const double s = std::isfinite(content.scale) && content.scale > 0 ? content.scale : 1.0;
  const double fontSize = 11.5 * s;
  const double dot = 7 * s;
  const double padX = 9 * s;
  const double padY = 4.5 * s;
  constexpr double spacing = 6;  // not scaled: only font, dot and padding are

  const TextBlock title =
      textBlock(text(content.title), type(fontSize, QFont::DemiBold), palette::primary());
  std::optional<TextBlock> detail;
  if (content.detail)
    detail = textBlock(text(*content.detail), type(fontSize, QFont::Normal), palette::secondary());

  double rowHeight = std::max(dot, title.size.height());
  double rowWidth = dot + spacing + title.size.width();
  if (detail) {
    rowHeight = std::max(rowHeight, detail->size.height());
    rowWidth += spacing + detail->size.width();
  }

  Drawing drawing;
  drawing.size = QSizeF(rowWidth + 2 * padX, rowHeight + 2 * padY);
  const Placement at = place(drawing.size, bounds);
  const double capsule = std::min(at.area.width(), at.area.height()) / 2;
  addBackground(drawing, at.area, capsule, 0.18);

  const double middle = at.origin.y() + padY + rowHeight / 2;
  double x = at.origin.x() + padX;
  const QRectF disc(x, middle - dot / 2, dot, dot);
  const QColor dotColour = content.dragging ? palette::orange() : palette::green();
  drawing.steps.push_back([disc, dotColour](QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(dotColour);
    painter.drawEllipse(disc);
  });
  x += dot + spacing;
  addText(drawing, title, QPointF(x, middle - title.size.height() / 2));
  x += title.size.width() + spacing;
  if (detail) addText(drawing, *detail, QPointF(x, middle - detail->size.height() / 2));
  return drawing;
}

Drawing hudDrawing(const HudContent& content, QSizeF bounds) {
  constexpr double width = 440;
  constexpr double padding = 12;
  constexpr double columnSpacing = 6;
  constexpr double headerSpacing = 8;
  constexpr double minimumSpacer = 12;
  constexpr double inner = width - 2 * padding;

  // Header: title pill, application name, spacer, action pill, count.
  const Pill titlePill{textBlock(text(content.title), type(12, QFont::Bold), palette::primary()), 7,
                       2, withAlpha(palette::accent(), 0.85)};
  std::optional<Pill> actionPill;
  if (content.action)
    actionPill =
        Pill{textBlock(text(*content.action), type(11, QFont::DemiBold), palette::primary()), 6, 2,
             withAlpha(palette::orange(), 0.8)};
  const TextBlock count =
      textBlock(QStringLiteral("%1 targets").arg(static_cast<qlonglong>(content.count)),
                type(11, QFont::Normal), palette::secondary());
  // The name keeps to one line: it gets what the others leave and is cut short with an ellipsis.
  double fixed = titlePill.size().width() + headerSpacing + headerSpacing + minimumSpacer +
                 headerSpacing + count.size.width();
  if (actionPill) fixed += actionPill->size().width() + headerSpacing;
  const double nameRoom = std::max(inner - fixed, 0.0);
  const Type nameType = type(12, QFont::Medium);
  const QString name =
      QFontMetricsF(nameType.font)
          .elidedText(text(content.app), Qt::ElideRight, nameRoom / nameType.scale);
  const TextBlock app = textBlock(name, nameType, palette::primary());
  double headerHeight =
      std::max({titlePill.size().height(), app.size.height(), count.size.height()});
  if (actionPill) headerHeight = std::max(headerHeight, actionPill->size().height());

  // Search row: glass, query or placeholder, caret.
  constexpr double searchFont = 14;
  constexpr double searchPadX = 8;
  constexpr double searchPadY = 5;
  constexpr double searchSpacing = 4;
  constexpr double caretWidth = 1.5;
  constexpr double caretHeight = 14;
  std::optional<TextBlock> query;
  double searchHeight = 0;
  if (content.query) {
    const bool empty = content.query->empty();
    const double room = inner - 2 * searchPadX - searchFont - 2 * searchSpacing - caretWidth;
    query = textBlock(empty ? QStringLiteral("Type to search") : text(*content.query),
                      type(searchFont, QFont::Normal),
                      empty ? palette::secondary() : palette::primary(), room);
    searchHeight = std::max({searchFont, query->size.height(), caretHeight}) + 2 * searchPadY;
  }

  std::optional<TextBlock> message;
  if (content.message)
    message = textBlock(text(*content.message), type(12, QFont::Medium), palette::orange(), inner);
  const TextBlock line =
      textBlock(text(content.line), type(11, QFont::Normal), palette::secondary(), inner);

  double height = padding + headerHeight;
  if (query) height += columnSpacing + searchHeight;
  if (message) height += columnSpacing + message->size.height();
  height += columnSpacing + line.size.height() + padding;

  Drawing drawing;
  drawing.size = QSizeF(width, height);
  const Placement at = place(drawing.size, bounds);
  addBackground(drawing, at.area, 12, 0.15);

  const double left = at.origin.x() + padding;
  const double right = left + inner;
  double y = at.origin.y() + padding;
  {
    const double middle = y + headerHeight / 2;
    auto top = [middle](double h) { return middle - h / 2; };
    titlePill.add(drawing, QPointF(left, top(titlePill.size().height())));
    addText(drawing, app,
            QPointF(left + titlePill.size().width() + headerSpacing, top(app.size.height())));
    const double countX = right - count.size.width();
    addText(drawing, count, QPointF(countX, top(count.size.height())));
    if (actionPill) {
      const double actionX = countX - headerSpacing - actionPill->size().width();
      actionPill->add(drawing, QPointF(actionX, top(actionPill->size().height())));
    }
    y += headerHeight;
  }
  if (query) {
    y += columnSpacing;
    const QRectF row(left, y, inner, searchHeight);
    addRoundedFill(drawing, row, 6, withAlpha(palette::primary(), 0.08));
    const double middle = row.center().y();
    double x = left + searchPadX;
    addMagnifier(drawing, QRectF(x, middle - searchFont / 2, searchFont, searchFont),
                 palette::secondary());
    x += searchFont + searchSpacing;
    addText(drawing, *query, QPointF(x, middle - query->size.height() / 2));
    x += query->size.width() + searchSpacing;
    const QRectF caret(x, middle - caretHeight / 2, caretWidth, caretHeight);
    drawing.steps.push_back(
        [caret](QPainter& painter) { painter.fillRect(caret, palette::accent()); });
    y += searchHeight;
  }
  if (message) {
    y += columnSpacing;
    addText(drawing, *message, QPointF(left, y));
    y += message->size.height();
  }
  y += columnSpacing;
  addText(drawing, line, QPointF(left, y));
  return drawing;
}

Drawing helpDrawing(const HelpContent& content, QSizeF bounds) {
  constexpr double padding = 18;
  constexpr double columnSpacing = 12;
  constexpr double headerSpacing = 8;  // the stack's usual gap, kept beside the spacer
  constexpr double groupSpacing = 24;
  constexpr double rowSpacing = 4;
  constexpr double keySpacing = 8;
  constexpr double actionBox = 110;

  const TextBlock title =
      textBlock(QStringLiteral("Moving keys"), type(15, QFont::Bold), palette::primary());
  const TextBlock hint = textBlock(
      QStringLiteral("? hides this \u00B7 ") + text(content.exit) + QStringLiteral(" exits"),
      type(11, QFont::Normal), palette::secondary());
  const double headerHeight = std::max(title.size.height(), hint.size.height());
  const double headerWidth = title.size.width() + headerSpacing + hint.size.width();

  struct Line {
    TextBlock action;
    TextBlock keys;
    double height = 0;
  };
  struct Column {
    TextBlock name;
    std::vector<Line> lines;
    QSizeF size;
  };
  std::vector<Column> columns;
  const Type groupFont = type(10, QFont::DemiBold);
  const Type actionFont = type(12, QFont::Normal);
  const Type keysFont = type(12, QFont::DemiBold);
  double columnsWidth = 0;
  double columnsHeight = 0;
  for (const HelpGroup& group : content.rows) {
    Column column{textBlock(text(group.group).toUpper(), groupFont, palette::secondary()), {}, {}};
    double width = column.name.size.width();
    double height = column.name.size.height();
    for (const HelpRow& row : group.rows) {
      Line line{textBlock(text(row.action), actionFont, palette::primary(), actionBox),
                textBlock(text(row.keys), keysFont, palette::primary()), 0};
      line.height = std::max(line.action.size.height(), line.keys.size.height());
      width = std::max(width, actionBox + keySpacing + line.keys.size.width());
      height += rowSpacing + line.height;
      column.lines.push_back(std::move(line));
    }
    column.size = QSizeF(width, height);
    columnsWidth += (columns.empty() ? 0 : groupSpacing) + width;
    columnsHeight = std::max(columnsHeight, height);
    columns.push_back(std::move(column));
  }

  const double inner = std::max(headerWidth, columnsWidth);
  double height = padding + headerHeight + padding;
  if (!columns.empty()) height += columnSpacing + columnsHeight;

  Drawing drawing;
  drawing.size = QSizeF(inner + 2 * padding, height);
  const Placement at = place(drawing.size, bounds);
  addBackground(drawing, at.area, 14, 0.15);

  const double left = at.origin.x() + padding;
  double y = at.origin.y() + padding;
  const double middle = y + headerHeight / 2;
  addText(drawing, title, QPointF(left, middle - title.size.height() / 2));
  addText(drawing, hint,
          QPointF(left + inner - hint.size.width(), middle - hint.size.height() / 2));
  y += headerHeight + columnSpacing;

  double x = left;
  for (const Column& column : columns) {
    double rowY = y;
    addText(drawing, column.name, QPointF(x, rowY));
    rowY += column.name.size.height();
    for (const Line& line : column.lines) {
      rowY += rowSpacing;
      const double lineMiddle = rowY + line.height / 2;
      addText(drawing, line.action, QPointF(x, lineMiddle - line.action.size.height() / 2));
      addText(drawing, line.keys,
              QPointF(x + actionBox + keySpacing, lineMiddle - line.keys.size.height() / 2));
      rowY += line.height;
    }
    x += column.size.width() + groupSpacing;
  }
  return drawing;
}

}  // namespace tovrel::platform::x11::overlay
