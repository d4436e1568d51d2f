#include <gtest/gtest.h>

#include <QAccessible>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <cmath>
#include <optional>
#include <string>

#include "app/settings/previews/ModePreview.hpp"
#include "app/settings/previews/ModePreviewGeometry.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

const PreviewKeys keys{"I", "J", "K", "L", "Space"};
const QSizeF canvas(400, 92);

std::optional<std::string> pressed(const std::vector<PreviewKeyCap>& caps) {
  std::optional<std::string> found;
  for (const PreviewKeyCap& cap : caps) {
    if (!cap.pressed) continue;
    EXPECT_FALSE(found) << "two caps pressed";
    found = cap.text;
  }
  return found;
}

TEST(ModePreviewGeometry, CursorAtItsInstants) {
  const QRectF track(20, 0.22 * 92, 400 - 132 - 44, 0.5 * 92);
  struct Row {
    double t;
    QPointF pointer;
    std::optional<std::string> key;
    std::optional<double> ring;
  };
  const double reduced = PreviewGeometry::instant(std::nullopt, true, 1234);
  const double reducedX = track.left() + track.width() * 0.6309;
  for (const Row& row :
       {Row{0, track.topLeft(), "L", {}}, Row{0.9, track.topRight(), {}, {}},
        Row{1.5, {track.right(), track.top() + track.height() * 0.6310}, "K", {}},
        Row{2.9, track.bottomLeft(), {}, {}},
        Row{3.2, {track.left(), track.bottom() - track.height() * 0.1400}, "I", {}},
        Row{4.2, track.topLeft(), "Space", 8.4}, Row{4.4, track.topLeft(), {}, 12.8},
        Row{9.2, track.topLeft(), "Space", 8.4}, Row{reduced, {reducedX, track.top()}, "L", {}}}) {
    SCOPED_TRACE(row.t);
    const CursorFrame frame = PreviewGeometry::cursor(canvas, keys, row.t);
    EXPECT_EQ(frame.track, track);
    EXPECT_NEAR(frame.pointer.x(), row.pointer.x(), 0.05);
    EXPECT_NEAR(frame.pointer.y(), row.pointer.y(), 0.05);
    EXPECT_EQ(frame.key, row.key);
    EXPECT_EQ(pressed(frame.caps), row.key);
    ASSERT_EQ(frame.ringRadius.has_value(), row.ring.has_value());
    if (row.ring) {
      EXPECT_NEAR(*frame.ringRadius, *row.ring, 1e-9);
    }
    EXPECT_EQ(frame.pointerBox, QRectF(frame.pointer - QPointF(2, 2), QSizeF(13, 18)));
  }
  // Halfway down the right side the pointer has passed the middle (eased), still on that side.
  const CursorFrame side = PreviewGeometry::cursor(canvas, keys, 1.425);
  EXPECT_DOUBLE_EQ(side.pointer.x(), track.right());
  EXPECT_NEAR(side.pointer.y(), track.center().y(), 1e-9);
}

TEST(ModePreviewGeometry, CursorKeyBlockAndNarrowCanvas) {
  const CursorFrame frame = PreviewGeometry::cursor(canvas, keys, 0);
  const double kx = 400 - 132;
  const double row1 = (92 - 47) / 2.0;
  const std::vector<std::pair<std::string, QRectF>> caps = {
      {"I", {kx + 25, row1, 22, 22}},
      {"J", {kx, row1 + 25, 22, 22}},
      {"K", {kx + 25, row1 + 25, 22, 22}},
      {"L", {kx + 50, row1 + 25, 22, 22}},
      {"Space", {kx + 78, row1 + 25, 40, 22}}};
  ASSERT_EQ(frame.caps.size(), caps.size());
  for (std::size_t i = 0; i < caps.size(); ++i) {
    EXPECT_EQ(frame.caps[i].text, caps[i].first);
    EXPECT_EQ(frame.caps[i].rect, caps[i].second);
  }
  EXPECT_DOUBLE_EQ(frame.caps.back().rect.right(), 400 - 14);
  for (const double w : {215.0, 120.0, 0.0})
    EXPECT_EQ(PreviewGeometry::cursor(QSizeF(w, 92), keys, 0).track.width(), 40) << w;
  EXPECT_EQ(PreviewGeometry::cursor(QSizeF(217, 92), keys, 0).track.width(), 41);
}

TEST(ModePreviewGeometry, ScrollAtItsInstants) {
  struct Row {
    double t, horizontal, vertical;
    std::optional<std::string> key;
  };
  for (const Row& row :
       {Row{0, 30, 0, "H"}, Row{0.5, 15, 0, "H"}, Row{1.1, 0, 0, {}}, Row{1.7, 15, 0, "L"},
        Row{2.9, 30, 15, "J"}, Row{4.1, 30, 15, "K"}, Row{4.7, 30, 0, {}}, Row{5.3, 15, 0, "H"}}) {
    SCOPED_TRACE(row.t);
    const ScrollFrame frame = PreviewGeometry::scroll(canvas, row.t);
    EXPECT_NEAR(frame.horizontalOffset, row.horizontal, 1e-9);
    EXPECT_NEAR(frame.verticalOffset, row.vertical, 1e-9);
    EXPECT_EQ(frame.key, row.key);
    EXPECT_EQ(pressed(frame.caps), row.key);
    // The first bar moves against the offsets.
    EXPECT_NEAR(frame.bars.front().rect.left(), 14 + 8 - row.horizontal, 1e-9);
    EXPECT_NEAR(frame.bars.front().rect.top(), 10 + 8 - row.vertical, 1e-9);
  }
  const ScrollFrame frame = PreviewGeometry::scroll(canvas, 0);
  EXPECT_EQ(frame.viewport, QRectF(14, 10, 400 - 163, 72));
  const int columns = static_cast<int>((237 + 30) / 60) + 2;
  ASSERT_EQ(frame.bars.size(), static_cast<std::size_t>(11 * columns));
  EXPECT_EQ(frame.bars[0].rect.width(), 26);  // r + i = 0
  EXPECT_EQ(frame.bars[1].rect.width(), 42);
  EXPECT_EQ(frame.bars[0].opacity, 0.35);
  EXPECT_EQ(frame.bars[static_cast<std::size_t>(columns)].opacity, 0.22);
  EXPECT_EQ(frame.marker, QRectF(14 + 118.5 + 0.15 * 237 - 4, 10 + 36 - 4, 8, 8));
  const std::vector<double> xs = {279, 309, 334, 364};
  for (std::size_t i = 0; i < 4; ++i)
    EXPECT_EQ(frame.caps[i].rect, QRectF(xs[i], 35, 22, 22)) << i;
}

TEST(ModePreviewGeometry, ClickAtItsInstants) {
  struct Row {
    double t;
    bool chips, typed, clicked;
  };
  for (const Row& row :
       {Row{0.3, false, false, false}, Row{0.6, true, false, false}, Row{1.5, true, true, false},
        Row{2.0, false, false, true}, Row{3.6, true, false, false}}) {
    SCOPED_TRACE(row.t);
    const ClickFrame frame = PreviewGeometry::click(canvas, row.t);
    for (std::size_t i = 0; i < 3; ++i) {
      const ClickTile& tile = frame.tiles[i];
      EXPECT_EQ(tile.chip.has_value(), row.chips) << i;
      EXPECT_EQ(tile.typed, i == 1 && row.typed) << i;
      EXPECT_EQ(tile.clicked, i == 1 && row.clicked) << i;
      if (tile.chip) {
        EXPECT_EQ(*tile.chip, QRectF(tile.rect.center().x() - 9, tile.rect.bottom() - 3, 18, 21));
      }
    }
  }
  const ClickFrame frame = PreviewGeometry::click(canvas, 0);
  const double width = (320 - 40) / 3.0;
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(frame.tiles[i].rect,
              QRectF(40 + (20 + width) * static_cast<double>(i), 18.4, width, 28));
  EXPECT_EQ(frame.tiles[1].letter, "S");
}

TEST(ModePreviewGeometry, TheInstantDrawn) {
  EXPECT_EQ(PreviewGeometry::instant(2.5, true, 99), 2.5);
  EXPECT_EQ(PreviewGeometry::instant(std::nullopt, true, 99), 0.5);
  EXPECT_EQ(PreviewGeometry::instant(std::nullopt, false, 99), 99);
  // Past 2024-01-01 (725 846 400 s after the reference date) and before 2100.
  const double now = PreviewGeometry::secondsSinceReferenceDate();
  EXPECT_GT(now, 725846400);
  EXPECT_LT(now, 3124137600);
}

TEST(ModePreviewPaint, FramesRenderWithoutAWindow) {
  testapp::ensureWidgetApp();
  QPalette light;
  for (const InteractionMode mode :
       {InteractionMode::cursor, InteractionMode::scroll, InteractionMode::click}) {
    QImage image(848, 232, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::white);
    {
      QPainter painter(&image);
      painter.translate(12, 12);
      paintModePreview(painter, QSizeF(400, 92), mode, keys, 1.6, light);
    }
    EXPECT_EQ(image.size(), QSize(848, 232));
    // Something beyond the faint background was drawn inside the frame, nothing outside it.
    int marked = 0;
    for (int y = 24; y < 208; ++y)
      for (int x = 24; x < 824; ++x)
        if (qGray(image.pixel(x, y)) < 200) ++marked;
    EXPECT_GT(marked, 100) << static_cast<int>(mode);
    EXPECT_EQ(image.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(842, 226), qRgb(255, 255, 255));
  }
}

TEST(ModePreviewWidget, AnimatesOnlyWhileShownAndMoving) {
  testapp::ensureWidgetApp();
  ModePreview preview(InteractionMode::cursor, keys, std::nullopt, false);
  EXPECT_EQ(preview.sizeHint().height(), 92);
  EXPECT_FALSE(preview.isAnimating());
  preview.show();
  EXPECT_TRUE(preview.isAnimating());
  preview.setReduceMotion(true);
  EXPECT_FALSE(preview.isAnimating());
  preview.setReduceMotion(false);
  EXPECT_TRUE(preview.isAnimating());
  preview.setTime(4.15);
  EXPECT_FALSE(preview.isAnimating());
  preview.setTime(std::nullopt);
  preview.hide();
  EXPECT_FALSE(preview.isAnimating());
  ModePreview still(InteractionMode::click, keys, 1.6, false);
  still.show();
  EXPECT_FALSE(still.isAnimating());
  // Screen readers and the discovery of our own windows pass over it.
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&still);
  ASSERT_NE(accessible, nullptr);
  EXPECT_TRUE(accessible->state().invisible);
  EXPECT_EQ(accessible->childCount(), 0);
  QWidget plain;
  plain.show();
  EXPECT_FALSE(QAccessible::queryAccessibleInterface(&plain)->state().invisible);
}

}  // namespace
}  // namespace tovrel::settings
