#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <string>
#include <vector>

#include "app/settings/previews/LabelChipPreview.hpp"
#include "app/settings/previews/LabelPreviewModel.hpp"
#include "app/settings/previews/LabelsPreview.hpp"
#include "core/LabelGenerator.hpp"
#include "platform/paint/Chip.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

using Size = AppearanceSettings::Size;

std::vector<std::string> usable(std::string_view letters) {
  return LabelGenerator::usableAlphabet(letters);
}

std::vector<std::optional<std::string>> chips(const std::vector<LabelsPreviewCell>& cells) {
  std::vector<std::optional<std::string>> out;
  for (const LabelsPreviewCell& cell : cells)
    out.push_back(cell.chip);
  return out;
}

TEST(LabelChipMetrics, ScaleWithTheLabelSize) {
  struct Row {
    Size size;
    double scale, offset, font, spacing, minimumWidth, tail;
  };
  for (const Row& row : {Row{Size::small, 0.85, 13.15, 8.5, 0.255, 14.45, 2.975},
                         Row{Size::regular, 1.0, 16, 10, 0.3, 17, 3.5},
                         Row{Size::large, 1.3, 21.7, 13, 0.39, 22.1, 4.55}}) {
    SCOPED_TRACE(row.scale);
    const double scale = sizeScale(row.size);
    EXPECT_DOUBLE_EQ(scale, row.scale);
    EXPECT_NEAR(chipOffset(scale), row.offset, 1e-9);
    const ChipMetrics m = chipMetrics(scale);
    EXPECT_NEAR(m.fontSize, row.font, 1e-9);
    EXPECT_NEAR(m.letterSpacing, row.spacing, 1e-9);
    EXPECT_NEAR(m.minimumWidth, row.minimumWidth, 1e-9);
    EXPECT_NEAR(m.tail, row.tail, 1e-9);
    // A one-letter label keeps the minimum body; a long one grows by its padding.
    EXPECT_NEAR(chipSize(QSizeF(5, 5), scale).width(), row.minimumWidth, 1e-9);
    EXPECT_NEAR(chipSize(QSizeF(5, 5), scale).height(), 15.5 * scale + row.tail, 1e-9);
    EXPECT_NEAR(chipSize(QSizeF(40, 30), scale).width(), 40 + 8.5 * scale, 1e-9);
    EXPECT_NEAR(chipSize(QSizeF(40, 30), scale).height(), 30 + row.tail, 1e-9);
    // The chip hangs centred below its cell, its bottom the offset below the cell's.
    const QRectF cell(10, 20, 60, 28);
    const QRectF chip = chipRect(cell, QSizeF(20, 19), scale);
    EXPECT_DOUBLE_EQ(chip.center().x(), cell.center().x());
    EXPECT_NEAR(chip.bottom() - cell.bottom(), row.offset, 1e-9);
  }
}

TEST(LabelChipMetrics, FillOpacityIsKeptDrawable) {
  for (const auto& [given, drawn] : std::vector<std::pair<double, double>>{
           {0.5, 0.5}, {5, 1}, {-1, 0}, {0, 0}, {std::nan(""), 1}, {INFINITY, 1}})
    EXPECT_DOUBLE_EQ(fillOpacity(given), drawn) << given;
}

TEST(LabelsPreviewCells, LabelsFollowTheAlphabet) {
  const auto buttons = LabelsPreview::sampleButtons();
  struct Row {
    std::string letters;
    std::vector<std::optional<std::string>> chips;
  };
  for (const Row& row :
       std::vector<Row>{{"abcdefghijklmnopqrstuvwxyz", {"a", "b", "c", "d", "e", "f"}},
                        {"qw", {"qqq", "qqw", "qwq", "qww", "wqq", "wqw"}},
                        {"x", std::vector<std::optional<std::string>>(6)},
                        {"", std::vector<std::optional<std::string>>(6)}}) {
    SCOPED_TRACE(row.letters);
    const auto cells = labelsPreviewCells(usable(row.letters), false, buttons);
    EXPECT_EQ(chips(cells), row.chips);
    for (const LabelsPreviewCell& cell : cells) {
      EXPECT_TRUE(cell.matched);
      EXPECT_EQ(cell.opacity, 1.0);
    }
  }
}

TEST(LabelsPreviewCells, SearchNumbersTheMatchesInOrder) {
  const auto alphabet = usable("asdfghjkl");
  auto cells = labelsPreviewCells(alphabet, true, LabelsPreview::sampleButtons());
  ASSERT_EQ(cells.size(), 6u);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const bool save = i == 2;
    EXPECT_EQ(cells[i].matched, save) << i;
    EXPECT_EQ(cells[i].chip, save ? std::optional<std::string>("1") : std::nullopt) << i;
    EXPECT_EQ(cells[i].opacity, save ? 1.0 : 0.35) << i;
  }
  // Case is ignored and the count runs on past unmatched names.
  cells = labelsPreviewCells(alphabet, true, {"SAVE", "Open", "Salt", "Visa"});
  EXPECT_EQ(chips(cells), (std::vector<std::optional<std::string>>{"1", {}, "2", "3"}));
  // No chip for a match the alphabet cannot label.
  cells = labelsPreviewCells(usable("a"), true, {"Save"});
  EXPECT_TRUE(cells[0].matched);
  EXPECT_EQ(cells[0].chip, std::nullopt);
}

TEST(LabelsPreviewLayout, GridOfThreeColumnsWithRoomForTheChips) {
  for (const bool search : {false, true}) {
    SCOPED_TRACE(search);
    const auto layout = labelsPreviewLayout(400, search, 6, 28, 32);
    ASSERT_EQ(layout.cells.size(), 6u);
    EXPECT_EQ(layout.searchBar.has_value(), search);
    const double top = search ? 14 + 32 + 12 : 14;
    const double column = (400 - 28 - 28) / 3.0;
    for (std::size_t i = 0; i < 6; ++i) {
      EXPECT_NEAR(layout.cells[i].left(), 14 + static_cast<double>(i % 3) * (column + 14), 1e-9);
      EXPECT_NEAR(layout.cells[i].top(), top + static_cast<double>(i / 3) * (28 + 28), 1e-9);
      EXPECT_NEAR(layout.cells[i].width(), column, 1e-9);
    }
    EXPECT_NEAR(layout.size.height(), layout.cells.back().bottom() + 30, 1e-9);
    // The largest chip of the last row still ends inside the preview.
    EXPECT_LE(layout.cells.back().bottom() + chipOffset(1.3), layout.size.height());
  }
  // Too narrow a width keeps the columns' minimum.
  const auto narrow = labelsPreviewLayout(20, false, 3, 28, 0);
  EXPECT_NEAR(narrow.cells[2].right() + 14, labelsPreviewMinimumWidth(), 1e-9);
}

TEST(CalloutShape, TailOnTheTopEdgeAndRoundedCorners) {
  const QRectF rect(10, 20, 40, 30);
  const QPainterPath path = paint::calloutShape(rect, 5, 4);
  EXPECT_EQ(path.boundingRect(), rect);
  // Start, tail base, tip, tail base: body's top is 25, half the base 4.
  ASSERT_GE(path.elementCount(), 5);
  const std::vector<QPointF> expected = {{14, 25}, {26, 25}, {30, 20}, {34, 25}, {46, 25}};
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(QPointF(path.elementAt(static_cast<int>(i))), expected[i]) << i;
  EXPECT_TRUE(path.contains(QPointF(30, 21)));       // inside the tail
  EXPECT_FALSE(path.contains(QPointF(24, 22)));      // beside it
  EXPECT_FALSE(path.contains(QPointF(10.5, 25.5)));  // the rounded corner cut away
  EXPECT_TRUE(path.contains(QPointF(11, 40)));
  EXPECT_FALSE(path.contains(QPointF(49.5, 49.5)));
  // The corner's arc passes radius·(1 − 1/√2) in from the corner on its diagonal.
  const double in = 4 * (1 - 1 / std::sqrt(2.0));
  EXPECT_TRUE(path.contains(QPointF(50 - in - 0.1, 50 - in - 0.1)));
  EXPECT_FALSE(path.contains(QPointF(50 - in + 0.1, 50 - in + 0.1)));
  // A radius beyond half the body is held to it, and a tail beyond the height to the height.
  EXPECT_EQ(paint::calloutShape(QRectF(0, 0, 10, 30), 5, 50).boundingRect(), QRectF(0, 0, 10, 30));
  EXPECT_EQ(paint::calloutShape(QRectF(0, 0, 10, 6), 9, 1).boundingRect(), QRectF(0, 0, 10, 6));
}

// Paints the chip at 4× on white; the darkest and the yellowest pixels tell letters from fill.
TEST(LabelChipPaint, OpacityFadesTheFillOnly) {
  testapp::ensureWidgetApp();
  auto render = [](double opacity) {
    QImage image(160, 160, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(4, 4);
    paintLabelChip(painter, QPointF(20, 10), "ab", 1, 1.0, opacity);
    return image;
  };
  auto darkest = [](const QImage& image) {
    int least = 255;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        least = std::min(least, qGray(image.pixel(x, y)));
    return least;
  };
  auto yellowest = [](const QImage& image) {
    int most = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        most = std::max(most, c.red() - c.blue());
      }
    return most;
  };
  const QImage full = render(1);
  const QImage half = render(0.5);
  EXPECT_LT(darkest(full), 40);
  EXPECT_EQ(darkest(half), darkest(full));  // the solid B stays black
  EXPECT_GT(yellowest(full), 120);
  EXPECT_NEAR(yellowest(half), yellowest(full) / 2, 8);
  EXPECT_EQ(render(7), full);  // clamped like 1
}

TEST(LabelsPreviewWidget, HeightFollowsTheSearchBarAndRows) {
  testapp::ensureWidgetApp();
  LabelsPreview preview(usable("asdf"), false, AppearanceSettings{});
  const int plain = preview.heightForWidth(360);
  EXPECT_EQ(preview.sizeHint().height(), plain);
  preview.setSearch(true);
  EXPECT_GT(preview.heightForWidth(360), plain);
  preview.setSearch(false);
  preview.setButtons({"One", "Two", "Three", "Four"});
  EXPECT_GE(preview.heightForWidth(360), plain);  // still two rows
  preview.setButtons({"One"});
  EXPECT_LT(preview.heightForWidth(360), plain);
  preview.resize(360, preview.heightForWidth(360));
  EXPECT_FALSE(preview.grab().toImage().isNull());
}

}  // namespace
}  // namespace tovrel::settings
