#include "app/shell/ModeIcons.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <array>
#include <cstdlib>
#include <string_view>

#include "app/shell/MenuModel.hpp"
#include "core/EnumTable.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::shell {
namespace {

// Pixmaps need a GUI application; the first test that needs one makes it for the whole program.
QImage picture(const QIcon& icon, int size) {
  return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

struct Coverage {
  int opaque = 0;  // pixels the glyph covers
  int light = 0;   // of those, light ones (the glyph)
  int dark = 0;    // and dark ones (its rim)
  bool cornersClear = true;
};

Coverage measure(const QImage& image) {
  Coverage c;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = image.pixelColor(x, y);
      if (pixel.alpha() < 200) continue;
      ++c.opaque;
      if (pixel.lightness() > 200) ++c.light;
      if (pixel.lightness() < 60) ++c.dark;
    }
  }
  const int last = image.width() - 1;
  for (auto [x, y] : {std::pair{0, 0}, {last, 0}, {0, last}, {last, last}})
    c.cornersClear = c.cornersClear && image.pixelColor(x, y).alpha() == 0;
  return c;
}

TEST(ModeIcons, EachModeHasAGlyphWithARimAtEveryTraySize) {
  testapp::ensureWidgetApp();
  for (InteractionMode mode : allCases<InteractionMode>()) {
    const auto symbol = statusSymbol(mode);
    const QIcon icon = modeIcon(symbol);
    ASSERT_FALSE(icon.isNull()) << symbol;
    for (int size : trayIconSizes) {
      const QImage image = picture(icon, size);
      ASSERT_EQ(image.size(), QSize(size, size)) << symbol;
      const Coverage c = measure(image);
      const int area = size * size;
      // Enough glyph to read, but not a filled square: the panel must show through.
      EXPECT_GT(c.opaque, area / 8) << symbol << " at " << size;
      EXPECT_LT(c.opaque, area * 3 / 4) << symbol << " at " << size;
      EXPECT_TRUE(c.cornersClear) << symbol << " at " << size;
      // Light on dark panels, dark rim on light ones.
      EXPECT_GT(c.light, c.opaque / 5) << symbol << " at " << size;
      EXPECT_GT(c.dark, c.opaque / 20) << symbol << " at " << size;
    }
  }
}

TEST(ModeIcons, TheFourGlyphsDiffer) {
  testapp::ensureWidgetApp();
  const auto modes = allCases<InteractionMode>();
  for (int size : {16, 24}) {
    std::array<QImage, modes.size()> images;
    for (std::size_t i = 0; i < modes.size(); ++i)
      images[i] = picture(modeIcon(statusSymbol(modes[i])), size);
    for (std::size_t i = 0; i < modes.size(); ++i) {
      for (std::size_t j = i + 1; j < modes.size(); ++j) {
        // Differ in a good share of the pixels, not in a stray one.
        int differing = 0;
        for (int y = 0; y < size; ++y)
          for (int x = 0; x < size; ++x)
            differing += std::abs(images[i].pixelColor(x, y).alpha() -
                                  images[j].pixelColor(x, y).alpha()) > 128;
        EXPECT_GT(differing, size * size / 10)
            << statusSymbol(modes[i]) << " vs " << statusSymbol(modes[j]) << " at " << size;
      }
    }
  }
}

TEST(ModeIcons, UnknownSymbolGivesNoIconAndTheProgramAlwaysHasOne) {
  testapp::ensureWidgetApp();
  EXPECT_TRUE(modeIcon("").isNull());
  EXPECT_TRUE(modeIcon("Keyboard").isNull());
  const QIcon app = appIcon();
  ASSERT_FALSE(app.isNull());
  EXPECT_GT(measure(picture(app, 48)).opaque, 48 * 48 / 2);
}

}  // namespace
}  // namespace tovrel::shell
