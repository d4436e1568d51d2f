// The Clicking page as a user works it, offscreen, over a real model: the combined switch, the
// label size and the letters field with the problems the model finds in them.

#include "app/settings/pages/ClickModePage.hpp"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <iterator>

#include "app/settings/Pages.hpp"
#include "app/settings/SettingsWindowView.hpp"
#include "app/settings/controls/ChangeBanner.hpp"
#include "app/settings/controls/SettingControls.hpp"
#include "app/settings/pages/ClickModeLogic.hpp"
#include "core/ConfigValidator.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/FailingFileSystem.hpp"
#include "tests/app/SettingsPictures.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

using Size = AppearanceSettings::Size;

TEST(ClickModeLogic, TheMenuBarAndPanelSwitchIsOnForEitherFlagAndWritesBoth) {
  for (auto [menuBar, panel] :
       {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
    TovrelConfig config = TovrelConfig::defaults();
    config.clickLabelsMenuBar = menuBar;
    config.clickLabelsDock = panel;
    EXPECT_EQ(menuBarAndPanelShown(config), menuBar || panel) << menuBar << panel;
    for (const bool on : {false, true}) {
      const ClickEdit edit = setMenuBarAndPanel(config, on);
      EXPECT_EQ(edit.change,
                on ? "Menu bar and panel labelled" : "Menu bar and panel not labelled");
      // Both flags written, nothing else.
      TovrelConfig expected = config;
      expected.clickLabelsMenuBar = expected.clickLabelsDock = on;
      EXPECT_EQ(edit.config, expected);
    }
  }
}

TEST(ClickModeLogic, LabelSizesReadCapitalisedAndChangeInLowerCase) {
  for (auto [size, title] :
       {std::pair{Size::small, "Small"}, {Size::regular, "Regular"}, {Size::large, "Large"}}) {
    EXPECT_EQ(labelSizeTitle(size), QString::fromLatin1(title));
    EXPECT_EQ(labelSizeNamed(QString::fromLatin1(title)), size);
    const ClickEdit edit = setLabelSize(TovrelConfig::defaults(), size);
    EXPECT_EQ(edit.config.appearance.hintSize, size);
    EXPECT_EQ(edit.change, "Label size " + QString::fromLatin1(title).toLower().toStdString());
  }
  EXPECT_EQ(labelSizeNamed(QStringLiteral("large")), std::nullopt);
  // Unicode lower-casing of the whole text, and no other cleaning.
  EXPECT_EQ(
      setLabelLetters(TovrelConfig::defaults(), QStringLiteral("ÄB c1;A")).config.clickAlphabet,
      "äb c1;a");
}

class ClickModePageTest : public ::testing::Test {
 protected:
  ClickModePageTest() {
    testapp::ensureWidgetApp();
    model = std::make_unique<AppModel>(std::nullopt, desktop.platform, loginItems);
  }

  std::unique_ptr<ClickModePage> make() {
    auto page = std::make_unique<ClickModePage>(PageContext{*model, {}});
    page->show();
    return page;
  }

  static QStringList submit(ClickModePage& page, const QString& letters) {
    page.lettersField()->setText(letters);
    QTest::keyClick(page.lettersField(), Qt::Key_Return);
    return page.letterProblems()->problems();
  }

  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  std::unique_ptr<AppModel> model;
};

TEST_F(ClickModePageTest, TheSwitchAndThePickerCommitWithTheirTexts) {
  TovrelConfig config = model->config();
  config.clickLabelsMenuBar = true;
  config.clickLabelsDock = false;
  ASSERT_TRUE(model->commit(config, "set up").empty());
  auto page = make();
  SwitchButton& panel = *page->menuBarAndPanelSwitch();
  EXPECT_TRUE(panel.isOn());
  panel.click();
  EXPECT_FALSE(model->config().clickLabelsMenuBar || model->config().clickLabelsDock);
  EXPECT_EQ(model->lastChange(), "Menu bar and panel not labelled");
  EXPECT_FALSE(panel.isOn());

  for (QAbstractButton* segment : page->sizePicker()->findChildren<QAbstractButton*>())
    if (segment->text() == QStringLiteral("Large")) segment->click();
  EXPECT_EQ(model->config().appearance.hintSize, Size::large);
  EXPECT_EQ(model->lastChange(), "Label size large");
  // An undo elsewhere shows on the picker at once.
  model->undo();
  EXPECT_EQ(page->sizePicker()->selected(), QStringLiteral("Regular"));
}

TEST_F(ClickModePageTest, AccessibilityActionsCommitAsClicksDo) {
  auto page = make();
  const auto toggle = [](QWidget* control) {
    QAccessibleInterface* seen = QAccessible::queryAccessibleInterface(control);
    ASSERT_TRUE(seen && seen->actionInterface());
    seen->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
  };
  const bool labelled = menuBarAndPanelShown(model->config());
  toggle(page->menuBarAndPanelSwitch());
  EXPECT_EQ(menuBarAndPanelShown(model->config()), !labelled);
  EXPECT_EQ(menuBarAndPanelShown(model->navigation().config()), !labelled);
  EXPECT_EQ(model->lastChange(),
            labelled ? "Menu bar and panel not labelled" : "Menu bar and panel labelled");
  EXPECT_EQ(page->menuBarAndPanelSwitch()->isOn(), !labelled);

  for (QAbstractButton* segment : page->sizePicker()->findChildren<QAbstractButton*>())
    if (segment->text() == QStringLiteral("Small")) toggle(segment);
  EXPECT_EQ(model->config().appearance.hintSize, Size::small);
  EXPECT_EQ(model->lastChange(), "Label size small");
  EXPECT_EQ(page->sizePicker()->selected(), QStringLiteral("Small"));
}

TEST_F(ClickModePageTest, LettersSaveOnReturnAndShowWhatIsRefused) {
  auto page = make();
  QLineEdit& field = *page->lettersField();
  const std::string stored = model->config().clickAlphabet;
  EXPECT_EQ(field.text().toStdString(), stored);

  // Typing saves nothing until Return; upper case is stored lower-case, the field keeps it.
  field.clear();
  QTest::keyClicks(&field, QStringLiteral("ASDFJKL"));
  EXPECT_EQ(model->config().clickAlphabet, stored);
  QTest::keyClick(&field, Qt::Key_Return);
  EXPECT_EQ(model->config().clickAlphabet, "asdfjkl");
  EXPECT_EQ(model->lastChange(), "Label letters updated");
  EXPECT_EQ(field.text(), QStringLiteral("ASDFJKL"));

  // Refused: the validator's sentences under the rows, the typed text and the stored letters kept.
  const std::size_t undoSteps = model->undoStack().size();
  TovrelConfig refused = model->config();
  refused.clickAlphabet = "aaaa";
  QStringList sentences;
  for (const std::string& sentence : ConfigValidator::problems(refused))
    sentences << QString::fromStdString(sentence);
  ASSERT_FALSE(sentences.isEmpty());
  EXPECT_EQ(submit(*page, QStringLiteral("AAAA")), sentences);
  EXPECT_EQ(field.text(), QStringLiteral("AAAA"));
  EXPECT_EQ(model->config().clickAlphabet, "asdfjkl");

  // The stored letters again: nothing committed, the problems cleared.
  EXPECT_TRUE(submit(*page, QStringLiteral("asdfjkl")).isEmpty());
  EXPECT_EQ(model->undoStack().size(), undoSteps);
  // A refusal, then a good save, clears the problems too.
  EXPECT_FALSE(submit(*page, QStringLiteral("a")).isEmpty());
  EXPECT_TRUE(submit(*page, QStringLiteral("qwerty")).isEmpty());
  EXPECT_EQ(model->config().clickAlphabet, "qwerty");

  // The field follows the configuration only when the page comes on screen.
  model->undo();
  EXPECT_EQ(field.text(), QStringLiteral("qwerty"));
  field.setText(QStringLiteral("unsaved"));
  page->hide();
  page->show();
  EXPECT_EQ(field.text(), QStringLiteral("asdfjkl"));
  field.setText(QStringLiteral("unsaved"));
  EXPECT_EQ(make()->lettersField()->text(), QStringLiteral("asdfjkl"));
}

TEST_F(ClickModePageTest, Pictures) {
  // As a user with access sees it: no access card.
  model->navigation().recheckReadiness();
  const auto page = [this] { return std::unique_ptr<QWidget>(make()); };
  shootInEveryLook("clicking", page);
  shootInEveryLook("clicking-refused-letters", [this] {
    auto made = make();
    EXPECT_FALSE(submit(*made, QStringLiteral("A A")).isEmpty());
    return std::unique_ptr<QWidget>(std::move(made));
  });
  TovrelConfig config = model->config();
  config.appearance.hintSize = Size::large;
  ASSERT_TRUE(model->commit(config, "Label size large").empty());
  shootInEveryLook("clicking-large", page);
}

// The whole window on a settings folder that refuses writes: a switch's failed save is reported
// in the banner under the page, and an older change's text and Undo do not stay standing.
TEST(ClickingPageFlow, AFailedSaveIsReportedWhereTheChangeWasMade) {
  testapp::ensureWidgetApp();
  QTemporaryDir folder;
  const std::string file = folder.filePath(QStringLiteral("config.json")).toStdString();
  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  testapp::FailingFileSystem files;
  AppModel model(ConfigStore(file, files), desktop.platform, loginItems);
  SettingsWindowView view(model, [&model](SettingsPage page) {
    return makePage(PageContext{model, {}}, page);
  });
  view.resize(900, 640);
  view.show();
  const auto switchNamed = [&view](const char* title) {
    for (SwitchButton* button : view.page()->findChildren<SwitchButton*>())
      if (button->accessibleName() == QLatin1String(title)) return button;
    return static_cast<SwitchButton*>(nullptr);
  };
  ChangeBanner& banner = *view.banner();
  auto* text = banner.findChild<QLabel*>(QStringLiteral("changeText"));
  auto* undo = banner.findChild<QPushButton*>();
  ASSERT_TRUE(text && undo);

  // An earlier change, with its Undo.
  switchNamed("Confirm with Enter")->click();
  ASSERT_EQ(model.lastChange(), "Confirm with Enter on");
  EXPECT_TRUE(undo->isVisibleTo(&banner));
  std::ifstream saved(file);
  const std::string onDisk((std::istreambuf_iterator<char>(saved)), {});
  const TovrelConfig before = model.config();

  files.failing = true;
  files.cause = std::errc::permission_denied;
  SwitchButton* stays = switchNamed("Stay on after clicking");
  ASSERT_NE(stays, nullptr);
  const bool was = stays->isOn();
  stays->click();
  EXPECT_EQ(stays->isOn(), was);
  EXPECT_EQ(model.config(), before);
  EXPECT_EQ(model.navigation().config(), before);
  std::ifstream after(file);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), {}), onDisk);
  const QString sentence = QString::fromStdString("Settings could not be saved: " + files.reason);
  EXPECT_TRUE(sentence.contains(QStringLiteral("Permission denied")));
  EXPECT_FALSE(banner.isHidden());
  EXPECT_EQ(text->accessibleName(), sentence);
  EXPECT_EQ(text->text(), sentence);  // whole, not cut short
  EXPECT_FALSE(undo->isVisibleTo(&banner));
  // A failure waits to be read: it outlasts a change's time.
  desktop.advance(60);
  EXPECT_FALSE(banner.isHidden());

  // The next change taken replaces it, with its Undo and its own time.
  files.failing = false;
  stays->click();
  EXPECT_EQ(stays->isOn(), !was);
  EXPECT_EQ(text->accessibleName(), QStringLiteral("Stay on after clicking ") +
                                        (was ? QStringLiteral("off") : QStringLiteral("on")));
  EXPECT_TRUE(undo->isVisibleTo(&banner));
  desktop.advance(8);
  EXPECT_TRUE(banner.isHidden());
}

}  // namespace
}  // namespace tovrel::settings
