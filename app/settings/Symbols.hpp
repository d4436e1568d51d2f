#pragma once

// The symbols the settings window shows, drawn by the program itself so they look the same on
// every desktop theme and under a headless server. One table, looked up by the symbol's name
// ("checkmark.circle.fill", "gearshape.fill", "xmark", …).

#include <QColor>
#include <QIcon>
#include <QPainterPath>
#include <QRectF>
#include <QSizeF>
#include <string_view>

class QPainter;

namespace tovrel::settings {

// Whether the table draws this name.
bool hasSymbol(std::string_view name);

// The box a symbol takes beside text of `fontPixels`: its width and height in logical pixels.
QSizeF symbolSize(std::string_view name, double fontPixels);

// The symbol's outline filling `box` (its aspect kept, centred); empty for an unknown name. Details
// cut out of a filled shape are holes in the path.
QPainterPath symbolPath(std::string_view name, const QRectF& box);

// Draws the symbol filling `box` (its aspect kept, centred) in `colour`. An unknown name draws
// nothing.
void paintSymbol(QPainter& painter, std::string_view name, const QRectF& box, const QColor& colour);

// The symbol as an icon of `pixels` square, for buttons and list rows.
QIcon symbolIcon(std::string_view name, const QColor& colour, int pixels);

}  // namespace tovrel::settings
