#pragma once

// What the pictures of click-mode labels in the settings window are made of, apart from drawing:
// a chip's measures at a label size, which mock buttons carry which chip, and where the preview's
// parts lie. Used without a display.

#include <QRectF>
#include <QSizeF>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/ConfigRecords.hpp"

namespace tovrel::settings {

// 0.85, 1.0 and 1.3 for small, regular and large labels.
double sizeScale(AppearanceSettings::Size size);

// A chip's measures at a size factor, in logical pixels.
struct ChipMetrics {
  double fontSize = 0;           // heavy weight
  double letterSpacing = 0;      // between letters
  double horizontalPadding = 0;  // left and right of the text
  double minimumWidth = 0;       // of the body
  double minimumHeight = 0;      // of the body
  double tail = 0;               // the room above the body the tail takes
  double radius = 0;             // of the body's corners
};
ChipMetrics chipMetrics(double scale);

// A chip's whole size (tail included) around text of `textSize`.
QSizeF chipSize(QSizeF textSize, double scale);

// How far a chip hangs below the bottom of the cell it labels: its own bottom edge lies this far
// below the cell's, so its tail points up at the name.
double chipOffset(double scale);

// Where a chip of `size` goes below `cell`: centred under it, `chipOffset` down.
QRectF chipRect(const QRectF& cell, QSizeF size, double scale);

// A label fill opacity as the file may hold it, made drawable: within 0…1, 1 when not a number.
double fillOpacity(double opacity);

// One mock button of the labels preview.
struct LabelsPreviewCell {
  bool matched = true;              // the search keeps it
  std::optional<std::string> chip;  // the label it carries
  double opacity = 1;               // the whole cell's, chip included
  bool operator==(const LabelsPreviewCell&) const = default;
};

// The query the search variant shows as typed.
inline constexpr std::string_view previewQuery = "sa";

// One cell per button, in order. Without `search` every button is matched and carries its label
// from the label generator over `alphabet` (none when the alphabet cannot label them all); with it
// only the names containing the query (in any case) are matched, and they are numbered 1, 2, …
// in order. Unmatched cells are dimmed and carry no chip.
std::vector<LabelsPreviewCell> labelsPreviewCells(const std::vector<std::string>& alphabet,
                                                  bool search,
                                                  const std::vector<std::string>& buttons);

// Where the preview's parts lie in a preview `width` wide.
struct LabelsPreviewLayout {
  std::optional<QRectF> searchBar;
  std::vector<QRectF> cells;
  QSizeF size;  // the whole preview's
};

// Margins 14 (30 at the bottom, where the last row's chips hang), a search bar `barHeight` high
// and 12 above the grid when `search`, and three columns 14 apart of cells `cellHeight` high,
// rows 28 apart. Columns are never narrower than 10.
LabelsPreviewLayout labelsPreviewLayout(double width, bool search, std::size_t count,
                                        double cellHeight, double barHeight);

// The narrowest preview whose columns keep their minimum width.
double labelsPreviewMinimumWidth();

}  // namespace tovrel::settings
