#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include "app/settings/SettingsWindowView.hpp"
#include "app/settings/controls/ChangeBanner.hpp"
#include "core/ConfigValidator.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

TovrelConfig withSpeed(double speed) {
  TovrelConfig config;
  config.scrolling.maximumSpeed = speed;
  return config;
}

class SettingsViewTest : public ::testing::Test {
 protected:
  SettingsViewTest() {
    testapp::ensureWidgetApp();
    model = std::make_unique<AppModel>(std::nullopt, desktop.platform, loginItems);
  }

  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  std::unique_ptr<AppModel> model;
};

// Each step: at `at` seconds, commit a text (or undo, or tear the banner down); then whether a
// change text is on show at the instants given.
TEST_F(SettingsViewTest, BannerDismissalFollowsItsTextsTimes) {
  struct Step {
    double at;
    enum { commit, refused, undo, dismiss, tearDown } what;
    std::string text;
  };
  struct Row {
    const char* name;
    std::vector<Step> steps;
    std::vector<std::pair<double, std::optional<std::string>>> expected;
  };
  // The validator's sentence for a configuration it refuses.
  TovrelConfig invalid = withSpeed(900);
  invalid.clickAlphabet = std::string(1, 'a');
  const std::vector<std::string> problems = ConfigValidator::problems(invalid);
  ASSERT_EQ(problems.size(), 1u);
  const std::string refusal = problems.front();
  const std::vector<Row> rows = {
      {"one change shows for eight seconds",
       {{0, Step::commit, "A"}},
       {{7.9, "A"}, {8.0, std::nullopt}}},
      {"a newer text gets its own eight seconds",
       {{0, Step::commit, "A"}, {5, Step::commit, "B"}},
       {{8.5, "B"}, {12.9, "B"}, {13.0, std::nullopt}}},
      {"the same text again gets its own eight seconds",
       {{0, Step::commit, "A"}, {5, Step::commit, "A"}},
       {{8.0, "A"}, {12.9, "A"}, {13.0, std::nullopt}}},
      {"undo clears it and the stale wait does nothing later",
       {{0, Step::commit, "A"}, {2, Step::undo, ""}, {3, Step::commit, "C"}},
       {{2.5, std::nullopt}, {10.9, "C"}, {11.0, std::nullopt}}},
      {"the same text after undo gets its full time",
       {{0, Step::commit, "A"}, {2, Step::undo, ""}, {5, Step::commit, "A"}},
       {{2.5, std::nullopt}, {8.0, "A"}, {12.9, "A"}, {13.0, std::nullopt}}},
      {"the same text after dismiss gets its full time",
       {{0, Step::commit, "A"}, {1, Step::dismiss, ""}, {6, Step::commit, "A"}},
       {{1.5, std::nullopt}, {8.0, "A"}, {13.9, "A"}, {14.0, std::nullopt}}},
      {"a refused commit stays until a new change replaces it",
       {{0, Step::commit, "A"}, {1, Step::refused, ""}, {30, Step::commit, "B"}},
       {{20, refusal}, {37.9, "B"}, {38.0, std::nullopt}}},
      {"leaving the screen dismisses the text on show",
       {{0, Step::commit, "A"}, {1, Step::tearDown, ""}},
       {{1.0, std::nullopt}}},
      {"leaving the screen dismisses a refusal too",
       {{0, Step::refused, ""}, {20, Step::tearDown, ""}},
       {{19, refusal}, {20, std::nullopt}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    model = std::make_unique<AppModel>(std::nullopt, desktop.platform, loginItems);
    QWidget window;
    auto* banner = new ChangeBanner(*model, &window);
    window.show();
    const double start = desktop.clock.now;
    double speed = 500;
    std::size_t next = 0;
    for (const auto& [at, shown] : row.expected) {
      while (next < row.steps.size() && row.steps[next].at <= at) {
        const Step& step = row.steps[next++];
        desktop.advance(start + step.at - desktop.clock.now);
        if (step.what == Step::commit) {
          // A commit is taken only when the configuration changes.
          ASSERT_TRUE(model->commit(withSpeed(speed += 10), step.text).empty());
        } else if (step.what == Step::refused) {
          ASSERT_FALSE(model->commit(invalid, "refused").empty());
        } else if (step.what == Step::undo) {
          model->undo();
        } else if (step.what == Step::dismiss) {
          model->dismissChange();
        } else {
          banner->tornDown();
        }
      }
      desktop.advance(start + at - desktop.clock.now);
      EXPECT_EQ(model->lastChange(), shown) << "at " << at;
      EXPECT_EQ(!banner->isHidden(), shown.has_value());
    }
  }
}

TEST_F(SettingsViewTest, AChangeMadeWhileTheWindowIsClosedShowsItsFullTimeOnceItOpens) {
  QWidget window;
  auto* banner = new ChangeBanner(*model, &window);
  ASSERT_TRUE(model->commit(withSpeed(1300), "Scroll speed 1300 px/s").empty());
  desktop.advance(20);
  EXPECT_EQ(model->lastChange(), "Scroll speed 1300 px/s");
  window.show();
  EXPECT_FALSE(banner->isHidden());
  desktop.advance(7.9);
  EXPECT_TRUE(model->lastChange().has_value());
  desktop.advance(0.1);
  EXPECT_FALSE(model->lastChange().has_value());
}

TEST_F(SettingsViewTest, BannerOffersUndoWhileThereIsSomethingToUndo) {
  ChangeBanner banner(*model);
  auto* undo = banner.findChild<QPushButton*>();
  ASSERT_NE(undo, nullptr);
  EXPECT_TRUE(banner.isHidden());
  ASSERT_TRUE(model->commit(withSpeed(1300), "Scroll speed 1300 px/s").empty());
  ASSERT_TRUE(model->commit(withSpeed(1400), "Scroll speed 1400 px/s").empty());
  EXPECT_FALSE(banner.isHidden());
  EXPECT_FALSE(undo->isHidden());
  auto* text = banner.findChild<QLabel*>(QStringLiteral("changeText"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->accessibleName(), QStringLiteral("Scroll speed 1400 px/s"));

  undo->click();
  // One step back, and the banner goes although an older step remains.
  EXPECT_EQ(model->config().scrolling.maximumSpeed, 1300);
  EXPECT_EQ(model->undoStack().size(), 1u);
  EXPECT_TRUE(banner.isHidden());

  ASSERT_TRUE(model->commit(withSpeed(1500), "Scroll speed 1500 px/s").empty());
  auto* dismiss = banner.findChild<QToolButton*>();
  ASSERT_NE(dismiss, nullptr);
  EXPECT_EQ(dismiss->accessibleName(), QStringLiteral("Dismiss"));
  dismiss->click();
  EXPECT_FALSE(model->lastChange().has_value());
  EXPECT_EQ(model->config().scrolling.maximumSpeed, 1500);
}

TEST_F(SettingsViewTest, SidebarFollowsTheModelAndPagesStartAfresh) {
  std::vector<SettingsPage> made;
  SettingsWindowView view(*model, [&made](SettingsPage page) {
    made.push_back(page);
    return new QWidget;
  });
  QString title;
  view.onTitleChanged = [&title](const QString& t) { title = t; };
  QListWidget* sidebar = view.sidebar();
  // Two sections: three mode pages, then General and About standing apart.
  ASSERT_EQ(sidebar->count(), 5);
  EXPECT_EQ(sidebar->item(2)->text(), QStringLiteral("Moving"));
  EXPECT_EQ(sidebar->item(3)->text(), QStringLiteral("General"));
  EXPECT_GT(sidebar->visualItemRect(sidebar->item(3)).height(),
            sidebar->visualItemRect(sidebar->item(2)).height());
  EXPECT_EQ(made, std::vector<SettingsPage>{SettingsPage::click});

  int pageChanges = 0;
  model->observe([&pageChanges](AppModel::Property p) {
    if (p == AppModel::Property::page) ++pageChanges;
  });
  QWidget* first = view.page();
  sidebar->setCurrentRow(2);
  EXPECT_EQ(model->page(), SettingsPage::cursor);
  EXPECT_EQ(title, QStringLiteral("Tovrel — Moving"));
  EXPECT_NE(view.page(), first);

  // Choosing the row on show again, or no row, neither notifies nor remakes the page.
  QWidget* moving = view.page();
  sidebar->setCurrentRow(-1);
  sidebar->setCurrentRow(2);
  EXPECT_EQ(pageChanges, 1);
  EXPECT_EQ(view.page(), moving);
  EXPECT_EQ(sidebar->currentRow(), 2);

  model->setPage(SettingsPage::about);
  EXPECT_EQ(sidebar->currentRow(), 4);
  model->setPage(SettingsPage::cursor);
  EXPECT_EQ(made, (std::vector<SettingsPage>{SettingsPage::click, SettingsPage::cursor,
                                             SettingsPage::about, SettingsPage::cursor}));
}

TEST(SettingsViewLogic, SelectionIsWrittenOnlyForAnotherPage) {
  EXPECT_FALSE(shouldWriteSelection(std::nullopt, SettingsPage::click));
  EXPECT_FALSE(shouldWriteSelection(SettingsPage::click, SettingsPage::click));
  EXPECT_TRUE(shouldWriteSelection(SettingsPage::general, SettingsPage::click));
}

}  // namespace
}  // namespace tovrel::settings
