// The Clicking page as a user works it, offscreen, over a real model: the combined switch, the
// label size and the letters field with the problems the model finds in them.

#include "app/Settings/ClickModePage.hpp"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>

#include "app/Settings/ClickModeLogic.hpp"
#include "app/Settings/SettingControls.hpp"
#include "core/ConfigValidator.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/SettingsPictures.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

using Size = AppearanceSettings::Size;

TEST(ClickModeLogic, TheMenuBarAndPanelSwitchIsOnForEitherFlagAndWritesBoth) {
  const struct {
    bool menuBar, panel, shown;
  } cases[] = {{false, false, false}, {true, false, true}, {false, true, true}, {true, true, true}};
  for (const auto& c : cases) {
    TovrelConfig config = TovrelConfig::defaults();
    config.clickLabelsMenuBar = c.menuBar;
    config.clickLabelsDock = c.panel;
    EXPECT_EQ(menuBarAndPanelShown(config), c.shown) << c.menuBar << c.panel;
    for (const bool on : {false, true}) {
      const ClickEdit edit = setMenuBarAndPanel(config, on);
      EXPECT_EQ(edit.config.clickLabelsMenuBar, on);
      EXPECT_EQ(edit.config.clickLabelsDock, on);
      EXPECT_EQ(edit.change,
                on ? "Menu bar and panel labelled" : "Menu bar and panel not labelled");
      TovrelConfig rest = edit.config;
      rest.clickLabelsMenuBar = c.menuBar;
      rest.clickLabelsDock = c.panel;
      EXPECT_EQ(rest, config) << "nothing else changes";
    }
  }
}

TEST(ClickModeLogic, LabelSizesReadCapitalisedAndChangeInLowerCase) {
  const struct {
    Size size;
    const char* title;
    const char* change;
  } cases[] = {{Size::small, "Small", "Label size small"},
               {Size::regular, "Regular", "Label size regular"},
               {Size::large, "Large", "Label size large"}};
  for (const auto& c : cases) {
    EXPECT_EQ(labelSizeTitle(c.size), QString::fromLatin1(c.title));
    EXPECT_EQ(labelSizeNamed(QString::fromLatin1(c.title)), c.size);
    const ClickEdit edit = setLabelSize(TovrelConfig::defaults(), c.size);
    EXPECT_EQ(edit.config.appearance.hintSize, c.size);
    EXPECT_EQ(edit.change, c.change);
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

  void submit(ClickModePage& page, const QString& letters) {
    page.lettersField()->setText(letters);
    QTest::keyClick(page.lettersField(), Qt::Key_Return);
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
  EXPECT_FALSE(model->config().clickLabelsMenuBar);
  EXPECT_FALSE(model->config().clickLabelsDock);
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
  EXPECT_EQ(field.objectName(), QStringLiteral("labelLetters"));

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
  const std::vector<std::string> sentences = ConfigValidator::problems(refused);
  ASSERT_FALSE(sentences.empty());
  submit(*page, QStringLiteral("AAAA"));
  EXPECT_EQ(page->letterProblems()->problems().size(), static_cast<qsizetype>(sentences.size()));
  for (const std::string& sentence : sentences)
    EXPECT_TRUE(page->letterProblems()->problems().contains(QString::fromStdString(sentence)));
  EXPECT_EQ(field.text(), QStringLiteral("AAAA"));
  EXPECT_EQ(model->config().clickAlphabet, "asdfjkl");

  // The stored letters again: nothing committed, the problems cleared.
  submit(*page, QStringLiteral("asdfjkl"));
  EXPECT_TRUE(page->letterProblems()->problems().isEmpty());
  EXPECT_EQ(model->undoStack().size(), undoSteps);

  // A refusal, then a good save, clears the problems too.
  submit(*page, QStringLiteral("a"));
  EXPECT_FALSE(page->letterProblems()->problems().isEmpty());
  submit(*page, QStringLiteral("qwerty"));
  EXPECT_TRUE(page->letterProblems()->problems().isEmpty());
  EXPECT_EQ(model->config().clickAlphabet, "qwerty");

  // The field follows the configuration only when the page comes on screen.
  model->undo();
  EXPECT_EQ(field.text(), QStringLiteral("qwerty"));
  field.setText(QStringLiteral("unsaved"));
  page->hide();
  page->show();
  EXPECT_EQ(field.text(), QStringLiteral("asdfjkl"));
  field.setText(QStringLiteral("unsaved"));
  page = make();
  EXPECT_EQ(page->lettersField()->text(), QStringLiteral("asdfjkl"));
}

TEST_F(ClickModePageTest, Pictures) {
  // As a user with access sees it: no access card.
  model->navigation().recheckReadiness();
  shootInEveryLook("clicking", [this] { return std::unique_ptr<QWidget>(make()); });
  shootInEveryLook("clicking-refused-letters", [this] {
    auto page = make();
    submit(*page, QStringLiteral("A A"));
    EXPECT_FALSE(page->letterProblems()->problems().isEmpty());
    return std::unique_ptr<QWidget>(std::move(page));
  });
  TovrelConfig config = model->config();
  config.appearance.hintSize = Size::large;
  ASSERT_TRUE(model->commit(config, "Label size large").empty());
  shootInEveryLook("clicking-large", [this] { return std::unique_ptr<QWidget>(make()); });
}

}  // namespace
}  // namespace tovrel::settings
