#include "app/settings/previews/LabelPreviewModel.hpp"

#include <QString>
#include <algorithm>
#include <cmath>

#include "core/LabelGenerator.hpp"

namespace tovrel::settings {
namespace {

constexpr double margin = 14;
constexpr double bottomMargin = 30;
constexpr double barSpacing = 12;
constexpr int columns = 3;
constexpr double columnGap = 14;
constexpr double rowGap = 28;
constexpr double minimumColumn = 10;

}  // namespace

double sizeScale(AppearanceSettings::Size size) {
  return scale(size);
}

ChipMetrics chipMetrics(double scale) {
  return ChipMetrics{10 * scale,   0.3 * scale, 4.25 * scale, 17 * scale,
                     15.5 * scale, 3.5 * scale, 4 * scale};
}

QSizeF chipSize(QSizeF textSize, double scale) {
  const ChipMetrics m = chipMetrics(scale);
  return QSizeF(std::max(m.minimumWidth, textSize.width() + 2 * m.horizontalPadding),
                std::max(m.minimumHeight, textSize.height()) + m.tail);
}

double chipOffset(double scale) {
  return scale * 19 - 3;
}

QRectF chipRect(const QRectF& cell, QSizeF size, double scale) {
  const double bottom = cell.bottom() + chipOffset(scale);
  return QRectF(cell.center().x() - size.width() / 2, bottom - size.height(), size.width(),
                size.height());
}

double fillOpacity(double opacity) {
  return std::isnan(opacity) ? 1.0 : std::clamp(opacity, 0.0, 1.0);
}

std::vector<LabelsPreviewCell> labelsPreviewCells(const std::vector<std::string>& alphabet,
                                                  bool search,
                                                  const std::vector<std::string>& buttons) {
  // Called once for all cells: the generator numbers them together.
  const std::vector<std::string> labels =
      LabelGenerator::labels(static_cast<std::int64_t>(buttons.size()), alphabet);
  const QString query = QString::fromUtf8(previewQuery.data(), previewQuery.size());
  std::vector<LabelsPreviewCell> cells;
  cells.reserve(buttons.size());
  int matches = 0;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    LabelsPreviewCell cell;
    cell.matched = !search || QString::fromStdString(buttons[i]).toLower().contains(query);
    if (cell.matched) ++matches;
    if (cell.matched && i < labels.size()) cell.chip = search ? std::to_string(matches) : labels[i];
    cell.opacity = cell.matched ? 1.0 : 0.35;
    cells.push_back(std::move(cell));
  }
  return cells;
}

LabelsPreviewLayout labelsPreviewLayout(double width, bool search, std::size_t count,
                                        double cellHeight, double barHeight) {
  LabelsPreviewLayout layout;
  const double inner = std::max(width - 2 * margin, columns * minimumColumn + 2 * columnGap);
  const double column = (inner - (columns - 1) * columnGap) / columns;
  double y = margin;
  if (search) {
    layout.searchBar = QRectF(margin, y, inner, barHeight);
    y += barHeight + barSpacing;
  }
  const std::size_t rows = (count + columns - 1) / columns;
  for (std::size_t i = 0; i < count; ++i) {
    const auto row = static_cast<double>(i / columns);
    const auto col = static_cast<double>(i % columns);
    layout.cells.emplace_back(margin + col * (column + columnGap), y + row * (cellHeight + rowGap),
                              column, cellHeight);
  }
  if (rows > 0)
    y += static_cast<double>(rows) * cellHeight + static_cast<double>(rows - 1) * rowGap;
  layout.size = QSizeF(inner + 2 * margin, y + bottomMargin);
  return layout;
}

double labelsPreviewMinimumWidth() {
  return 2 * margin + columns * minimumColumn + (columns - 1) * columnGap;
}

}  // namespace tovrel::settings
