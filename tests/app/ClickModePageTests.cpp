// The Clicking page as a user works it, offscreen, over a real model: the combined switch, the
// label size and the letters field with the problems the model finds in them.

#include "app/settings/pages/ClickModePage.hpp"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>

#include "app/settings/controls/SettingControls.hpp"
#include "app/settings/pages/ClickModeLogic.hpp"
#include "core/ConfigValidator.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
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

}  // namespace
}  // namespace tovrel::settings
