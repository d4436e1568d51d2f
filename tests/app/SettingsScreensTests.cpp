// Pictures of the settings window, every page at the window's usual and minimum sizes in light
// and dark appearance, written under the build's artifacts/settings for whoever reads the run; and
// on the way, the layout checks a reader of those pictures would make: no text cut, nothing laid
// over anything else.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <functional>

#include "app/settings/Pages.hpp"
#include "app/settings/SettingsWindowView.hpp"
#include "app/settings/Theme.hpp"
#include "app/settings/previews/LabelsPreview.hpp"
#include "app/settings/previews/ModePreview.hpp"
#include "core/LabelGenerator.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/SettingsPictures.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

class SettingsScreens : public ::testing::Test {
 protected:
  SettingsScreens() {
    testapp::ensureWidgetApp();
    model = std::make_unique<AppModel>(std::nullopt, desktop.platform, loginItems);
  }

  // The whole view on the model's current page; `prepare` runs before each picture (closing the
  // window dismisses a change on show).
  void shoot(const std::string& name, const std::function<void()>& prepare = {}) {
    shootInEveryLook(name, [this, &prepare]() -> std::unique_ptr<QWidget> {
      if (prepare) prepare();
      return std::make_unique<SettingsWindowView>(*model, [this](SettingsPage page) {
        return makePage(PageContext{*model, {}}, page);
      });
    });
  }

  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  std::unique_ptr<AppModel> model;
};

TEST_F(SettingsScreens, EveryPage) {
  for (SettingsPage page : allCases<SettingsPage>()) {
    model->setPage(page);
    std::string name(rawValue(page));
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    shoot("page-" + name);
  }
}

TEST_F(SettingsScreens, WithTheChangeBanner) {
  double speed = 1230;
  shoot("banner", [this, &speed] {
    TovrelConfig config = model->config();
    config.scrolling.maximumSpeed = speed += 10;
    ASSERT_TRUE(model->commit(config, "Scroll speed 1240 px/s").empty());
  });
}

// The mode previews at the instants that show each of their states, and the label previews at each
// label size, half-transparent and searching; light and dark.
TEST(SettingsPictures, Previews) {
  testapp::ensureWidgetApp();
  const PreviewKeys keys{"I", "J", "K", "L", "Space"};
  const std::pair<InteractionMode, std::vector<double>> instants[] = {
      {InteractionMode::cursor, {0, 0.5, 0.9, 4.2, 4.4}},
      {InteractionMode::scroll, {0.5, 1.1, 2.9}},
      {InteractionMode::click, {0.3, 0.6, 1.5, 2.0}},
  };
  for (const bool dark : {false, true}) {
    const QPalette colours = dark ? darkPalette() : lightPalette();
    const QString appearance = dark ? QStringLiteral("dark") : QStringLiteral("light");
    for (const auto& [mode, times] : instants) {
      for (const double t : times) {
        QImage picture(848, 232, QImage::Format_ARGB32_Premultiplied);
        picture.setDevicePixelRatio(2);
        picture.fill(colours.color(QPalette::Window));
        {
          QPainter painter(&picture);
          painter.translate(12, 24);
          paintModePreview(painter, QSizeF(400, 92), mode, keys, t, colours);
        }
        const QString file = artifactFolder() + QStringLiteral("/preview-%1-t%2-%3.png")
                                                    .arg(QString::fromUtf8(rawValue(mode)))
                                                    .arg(t, 0, 'f', 1)
                                                    .arg(appearance);
        EXPECT_TRUE(picture.save(file)) << file.toStdString();
      }
    }

    QApplication::setPalette(colours);
    const auto alphabet = LabelGenerator::usableAlphabet(TovrelConfig::defaultAlphabet);
    struct Variant {
      const char* name;
      AppearanceSettings::Size size;
      double opacity;
      bool search;
    };
    const Variant variants[] = {
        {"small", AppearanceSettings::Size::small, 0.92, false},
        {"regular", AppearanceSettings::Size::regular, 0.92, false},
        {"large", AppearanceSettings::Size::large, 0.92, false},
        {"half-opacity", AppearanceSettings::Size::regular, 0.5, false},
        {"search", AppearanceSettings::Size::regular, 0.92, true},
    };
    for (const Variant& variant : variants) {
      AppearanceSettings look;
      look.hintSize = variant.size;
      look.hintOpacity = variant.opacity;
      LabelsPreview preview(alphabet, variant.search, look);
      preview.resize(460, preview.heightForWidth(460));
      const QPixmap picture = preview.grab();
      const QString file =
          artifactFolder() +
          QStringLiteral("/labels-%1-%2.png").arg(QLatin1String(variant.name)).arg(appearance);
      EXPECT_TRUE(picture.save(file)) << file.toStdString();
    }
  }
}

}  // namespace
}  // namespace tovrel::settings
