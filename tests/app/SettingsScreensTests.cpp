// Pictures of the settings window, every page at the window's usual and minimum sizes in light
// and dark appearance, written under the build's artifacts/settings for whoever reads the run; and
// on the way, the layout checks a reader of those pictures would make: no text cut, nothing laid
// over anything else.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QPixmap>
#include <QScrollArea>
#include <QSplitterHandle>
#include <functional>

#include "app/Settings/LabelsPreview.hpp"
#include "app/Settings/ModePreview.hpp"
#include "app/Settings/Pages.hpp"
#include "app/Settings/SettingsWindowView.hpp"
#include "app/Settings/Theme.hpp"
#include "core/LabelGenerator.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

QString artifactFolder() {
  const QString folder = QStringLiteral(TOVREL_ARTIFACT_DIR "/settings");
  QDir().mkpath(folder);
  return folder;
}

QString describe(const QWidget* widget) {
  QString name = QString::fromLatin1(widget->metaObject()->className());
  if (!widget->objectName().isEmpty()) name += QStringLiteral("#") + widget->objectName();
  const QRect g = widget->geometry();
  name += QStringLiteral("(%1,%2 %3x%4)").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height());
  if (widget->parentWidget() && !widget->parentWidget()->objectName().isEmpty())
    name += QStringLiteral(" in ") + widget->parentWidget()->objectName();
  if (const auto* label = qobject_cast<const QLabel*>(widget))
    name += QStringLiteral(" \"") + label->text() + QStringLiteral("\"");
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
    name += QStringLiteral(" \"") + button->text() + QStringLiteral("\"");
  return name;
}

// What a reader of the picture would object to: a text wider or taller than its widget, or two
// visible siblings laid over each other.
std::vector<std::string> layoutFaults(const QWidget& root) {
  std::vector<std::string> faults;
  const QList<QWidget*> widgets = root.findChildren<QWidget*>();
  for (const QWidget* widget : widgets) {
    if (!widget->isVisibleTo(&root)) continue;
    if (const auto* label = qobject_cast<const QLabel*>(widget);
        label && !label->text().isEmpty() && label->textFormat() != Qt::RichText) {
      const QRect inside = label->contentsRect();
      if (label->wordWrap()) {
        if (label->heightForWidth(label->width()) > label->height() + 1)
          faults.push_back("text cut: " + describe(label).toStdString());
      } else if (label->fontMetrics().horizontalAdvance(label->text()) > inside.width() + 1) {
        faults.push_back("text cut: " + describe(label).toStdString());
      }
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget);
        button && !button->text().isEmpty() &&
        button->width() < button->minimumSizeHint().width()) {
      faults.push_back("button squeezed: " + describe(button).toStdString());
    }
    // Siblings: the children of a widget, leaving out the scroll area's own parts.
    if (qobject_cast<const QAbstractScrollArea*>(widget)) continue;
    QList<QWidget*> children;
    for (QObject* child : widget->children())
      // A splitter's handle reaches over its neighbours on purpose, to be easier to grab; a
      // decoration that lets the mouse through (a highlight behind a section) lies under them.
      if (auto* w = qobject_cast<QWidget*>(child);
          w && w->isVisibleTo(&root) && !w->isWindow() && !qobject_cast<QSplitterHandle*>(w) &&
          !w->testAttribute(Qt::WA_TransparentForMouseEvents))
        children.push_back(w);
    for (qsizetype i = 0; i < children.size(); ++i)
      for (qsizetype j = i + 1; j < children.size(); ++j)
        if (children[i]->geometry().intersects(children[j]->geometry()))
          faults.push_back("overlap: " + describe(children[i]).toStdString() + " and " +
                           describe(children[j]).toStdString());
  }
  return faults;
}

class SettingsScreens : public ::testing::Test {
 protected:
  SettingsScreens() {
    testapp::ensureWidgetApp();
    model = std::make_unique<AppModel>(std::nullopt, desktop.platform, loginItems);
  }

  // Shoots the view at each size and appearance; `name` names the pictures. `prepare` runs before
  // each picture (closing the window dismisses a change on show).
  void shoot(const std::string& name, const std::function<void()>& prepare = {}) {
    for (const bool dark : {false, true}) {
      for (const QSize size : {QSize(940, 680), QSize(720, 540)}) {
        SCOPED_TRACE(name + (dark ? " dark " : " light ") + std::to_string(size.width()));
        if (prepare) prepare();
        SettingsWindowView view(*model, [this](SettingsPage page) {
          return makePage(PageContext{*model, {}}, page);
        });
        // As the desktop gives it: to the whole application.
        QApplication::setPalette(dark ? darkPalette() : lightPalette());
        view.setAutoFillBackground(true);
        view.resize(size);
        view.show();
        QCoreApplication::processEvents();
        for (const std::string& fault : layoutFaults(view))
          ADD_FAILURE() << fault;
        const QString file = artifactFolder() +
                             QStringLiteral("/%1%2-%3.png")
                                 .arg(QString::fromStdString(name))
                                 .arg(size.width() == 940 ? QString() : QStringLiteral("-minimum"))
                                 .arg(dark ? "dark" : "light");
        const QPixmap picture = view.grab();
        EXPECT_FALSE(picture.isNull());
        EXPECT_TRUE(picture.save(file)) << file.toStdString();
        view.hide();
      }
    }
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
    ASSERT_TRUE(model->commit(config, "Scroll speed 1240 pt/s").empty());
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
