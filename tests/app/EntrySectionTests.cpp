// A mode's entry section as a user works it, offscreen, over a real model: the recorders commit
// through it and show what it refuses.

#include "app/settings/pages/EntrySection.hpp"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>

#include "app/settings/controls/ShortcutField.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

class EntrySectionTest : public ::testing::Test {
 protected:
  EntrySectionTest() {
    testapp::ensureWidgetApp();
    model = std::make_unique<AppModel>(std::nullopt, desktop.platform, loginItems);
  }

  EntrySection& make(InteractionMode mode) {
    section = std::make_unique<EntrySection>(*model, mode, nullptr);
    section->show();
    section->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(section.get()));
    return *section;
  }

  // Records `keys` (native codes, which the in-memory desktop reads as key codes) pressed in
  // order with `modifiers` held, then presses Save.
  void record(ShortcutField& field, const std::vector<std::uint16_t>& keys,
              Qt::KeyboardModifiers modifiers) {
    field.findChild<QAbstractButton*>(QStringLiteral("keyCaps"))->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QApplication::focusWidget() == field.findChild<QWidget*>("pill"); }, 2000));
    for (std::uint16_t code : keys) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, modifiers, code, 0, 0);
      QCoreApplication::sendEvent(QApplication::focusWidget(), &press);
    }
    for (auto code = keys.rbegin(); code != keys.rend(); ++code) {
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, modifiers, *code, 0, 0);
      QCoreApplication::sendEvent(QApplication::focusWidget(), &release);
    }
    field.findChild<QAbstractButton*>(QStringLiteral("save"))->click();
  }

  QStringList problemsShown(ShortcutField& field) {
    QStringList shown;
    for (QLabel* line : field.findChildren<QLabel*>(QStringLiteral("problem")))
      if (line->isVisibleTo(&field)) shown << line->text();
    return shown;
  }

  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  std::unique_ptr<AppModel> model;
  std::unique_ptr<EntrySection> section;
};

TEST_F(EntrySectionTest, StartRecordingCommitsOrShowsWhatTheModelRefuses) {
  EntrySection& moving = make(InteractionMode::cursor);
  ShortcutField& start = *moving.startField();

  // A lone right Command tap: taken, with its change text.
  record(start, {Key::rightCommand}, {});
  EXPECT_EQ(model->config().cursorEntry.gesture, Gesture::modifierTap(Key::rightCommand));
  EXPECT_EQ(model->lastChange(), "Moving starts with Right Super tap");
  EXPECT_EQ(start.gesture(), Gesture::modifierTap(Key::rightCommand));
  EXPECT_TRUE(problemsShown(start).isEmpty());

  // Clicking's own chord: refused, the configuration stays and the field says why.
  const TovrelConfig before = model->config();
  record(start, {Key::leftCommand, Key::leftShift, Key::space},
         Qt::MetaModifier | Qt::ShiftModifier);
  EXPECT_EQ(model->config(), before);
  EXPECT_FALSE(problemsShown(start).isEmpty());
  EXPECT_FALSE(start.isRecording());
  EXPECT_EQ(start.state().pending(), TovrelConfig::defaults().clickEntry.gesture);
}

TEST_F(EntrySectionTest, TheStopRowFollowsTheSeparateStopChoiceAndUndo) {
  EntrySection& scrolling = make(InteractionMode::scroll);
  auto sameAgainShown = [&] {
    for (QLabel* label : scrolling.findChildren<QLabel*>())
      if (label->text() == QStringLiteral("Same shortcut again"))
        return label->isVisibleTo(&scrolling);
    return false;
  };
  const bool separate = model->config().scrollEntry.separateExit;
  EXPECT_EQ(scrolling.stopField()->isVisibleTo(&scrolling), separate);
  EXPECT_EQ(sameAgainShown(), !separate);

  TovrelConfig flipped = model->config();
  flipped.scrollEntry.separateExit = !separate;
  ASSERT_TRUE(model->commit(flipped, "flip").empty());
  EXPECT_EQ(scrolling.stopField()->isVisibleTo(&scrolling), !separate);
  EXPECT_EQ(sameAgainShown(), separate);

  model->undo();
  EXPECT_EQ(scrolling.stopField()->isVisibleTo(&scrolling), separate);
}

}  // namespace
}  // namespace tovrel::settings
