#include "app/settings/previews/LabelsPreview.hpp"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "app/settings/Symbols.hpp"
#include "app/settings/Theme.hpp"
#include "app/settings/controls/AccessibilityHidden.hpp"
#include "app/settings/previews/LabelChipPreview.hpp"
#include "app/settings/previews/LabelPreviewModel.hpp"

namespace tovrel::settings {
namespace {

constexpr double barPadding = 8;
constexpr double barItemGap = 6;
constexpr double caretHeight = 14;
constexpr double caretWidth = 1.5;

void fillRounded(QPainter& painter, const QRectF& rect, double radius, const QColor& colour) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  painter.fillPath(path, colour);
}

int whole(double length) {
  return static_cast<int>(std::ceil(length - 1e-6));
}

void paintSearchBar(QPainter& painter, const QRectF& bar, const QPalette& palette) {
  fillRounded(painter, bar, 7, QColor::fromRgbF(0, 0, 0, 0.06f));
  const QRectF inner = bar.adjusted(barPadding, barPadding, -barPadding, -barPadding);
  const QFont body = font(TextStyle::body);
  const QSizeF glass = symbolSize("magnifyingglass", body.pixelSize());
  double x = inner.left();
  paintSymbol(painter, "magnifyingglass",
              QRectF(x, inner.center().y() - glass.height() / 2, glass.width(), glass.height()),
              colour(Colour::secondary, palette));
  x += glass.width() + barItemGap;

  QFont typed = font(TextStyle::body, QFont::Medium);
  const QString query = QString::fromUtf8(previewQuery.data(), previewQuery.size());
  const QFontMetricsF typedMetrics(typed);
  const double queryWidth = typedMetrics.horizontalAdvance(query);
  painter.setFont(typed);
  painter.setPen(colour(Colour::primary, palette));
  painter.drawText(QRectF(x, inner.top(), queryWidth + 1, inner.height()), Qt::AlignVCenter, query);
  x += queryWidth + barItemGap;
  painter.fillRect(QRectF(x, inner.center().y() - caretHeight / 2, caretWidth, caretHeight),
                   colour(Colour::accent, palette));

  const QFont caption = font(TextStyle::caption);
  painter.setFont(caption);
  painter.setPen(colour(Colour::secondary, palette));
  painter.drawText(inner, Qt::AlignVCenter | Qt::AlignRight, QStringLiteral("2 results"));
}

}  // namespace

LabelsPreview::LabelsPreview(std::vector<std::string> alphabet, bool search,
                             AppearanceSettings appearance, std::vector<std::string> buttons,
                             QWidget* parent)
    : QWidget(parent),
      alphabet_(std::move(alphabet)),
      search_(search),
      appearance_(appearance),
      buttons_(std::move(buttons)) {
  hideFromAccessibility(this);
  QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  policy.setHeightForWidth(true);
  setSizePolicy(policy);
}

std::vector<std::string> LabelsPreview::sampleButtons() {
  return {"Back", "Share", "Save", "Name", "Cancel", "Done"};
}

void LabelsPreview::setAlphabet(std::vector<std::string> alphabet) {
  if (alphabet == alphabet_) return;
  alphabet_ = std::move(alphabet);
  changed();
}

void LabelsPreview::setSearch(bool search) {
  if (search == search_) return;
  search_ = search;
  changed();
}

void LabelsPreview::setAppearance(const AppearanceSettings& appearance) {
  if (appearance == appearance_) return;
  appearance_ = appearance;
  changed();
}

void LabelsPreview::setButtons(std::vector<std::string> buttons) {
  if (buttons == buttons_) return;
  buttons_ = std::move(buttons);
  changed();
}

void LabelsPreview::changed() {
  updateGeometry();
  update();
}

double LabelsPreview::cellHeight() const {
  return std::max(28.0, QFontMetricsF(settings::font(TextStyle::body)).height());
}

double LabelsPreview::barHeight() const {
  const QFont body = settings::font(TextStyle::body);
  const double content = std::max({caretHeight, QFontMetricsF(body).height(),
                                   symbolSize("magnifyingglass", body.pixelSize()).height()});
  return content + 2 * barPadding;
}

QSize LabelsPreview::sizeHint() const {
  // Wide enough for the sample names side by side at the body size.
  constexpr int preferredWidth = 360;
  return QSize(preferredWidth, heightForWidth(preferredWidth));
}

QSize LabelsPreview::minimumSizeHint() const {
  const int width = whole(labelsPreviewMinimumWidth());
  return QSize(width, heightForWidth(width));
}

int LabelsPreview::heightForWidth(int width) const {
  return whole(labelsPreviewLayout(width, search_, buttons_.size(), cellHeight(), barHeight())
                   .size.height());
}

void LabelsPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  const QPalette& colours = palette();
  const LabelsPreviewLayout layout =
      labelsPreviewLayout(width(), search_, buttons_.size(), cellHeight(), barHeight());
  fillRounded(painter, QRectF(0, 0, width(), layout.size.height()), 10,
              colour(Colour::teal, colours, 0.06));
  if (layout.searchBar) paintSearchBar(painter, *layout.searchBar, colours);

  const std::vector<LabelsPreviewCell> cells = labelsPreviewCells(alphabet_, search_, buttons_);
  const double scale = sizeScale(appearance_.hintSize);
  const QFont body = settings::font(TextStyle::body);
  const QFontMetricsF metrics(body);
  painter.setFont(body);
  for (std::size_t i = 0; i < cells.size() && i < layout.cells.size(); ++i) {
    const QRectF& rect = layout.cells[i];
    const LabelsPreviewCell& cell = cells[i];
    painter.save();
    painter.setOpacity(cell.opacity);
    fillRounded(painter, rect, 6, colour(Colour::secondary, colours, 0.15));
    painter.setPen(colour(Colour::primary, colours));
    const QString name = metrics.elidedText(QString::fromStdString(buttons_[i]), Qt::ElideRight,
                                            std::max(rect.width() - 4, 0.0));
    painter.drawText(rect, Qt::AlignCenter, name);
    if (cell.chip)
      paintLabelChip(painter, chipRect(rect, labelChipSize(*cell.chip, scale), scale), *cell.chip,
                     0, scale, appearance_.hintOpacity);
    painter.restore();
  }
}

}  // namespace tovrel::settings
