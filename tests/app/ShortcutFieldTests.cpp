// The shortcut field as a user works it, offscreen: key events carry native scan codes, which the
// fake application reads as key codes (0 is A, 6 Z, 53 Escape, 59 Left Control, 61 Right Option).

#include "app/settings/controls/ShortcutField.hpp"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QShortcut>
#include <QTest>
#include <QVBoxLayout>
#include <memory>

#include "app/settings/controls/KeyCaps.hpp"
#include "app/settings/controls/RecorderPill.hpp"
#include "platform/fake/FakeSystem.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

// A field in a window of its own that has the keyboard, with an owner that keeps what it was
// asked and refreshes the field from inside its answer, as a page refreshing from the model does.
class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override { testapp::ensureWidgetApp(); }

  void make(RecorderKind kind, std::optional<Gesture> gesture, bool withReplace = false) {
    window_ = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window_.get());
    ReplaceFunction onReplace;
    if (withReplace) {
      onReplace = [this](Gesture g) {
        replaced.push_back(g);
        if (answer.empty()) field->setGesture(g);
        return answer;
      };
    }
    field = new ShortcutField(
        application, QStringLiteral("Moving start"), gesture, kind,
        Gesture::modifierTap(Key::rightOption), true, QStringLiteral("None"), true,
        [this](std::optional<Gesture> g) {
          saved.push_back(g);
          if (answer.empty()) field->setGesture(g);
          return answer;
        },
        onReplace);
    layout->addWidget(field);
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }

  template <typename T = QAbstractButton>
  T* child(const char* name) {
    return field->findChild<T*>(QString::fromLatin1(name));
  }
  RecorderPill* pill() { return child<RecorderPill>("pill"); }

  void startRecording() {
    child("keyCaps")->click();
    ASSERT_TRUE(field->isRecording());
    // The pill takes the keyboard on the next turn of the loop.
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == pill(); }, 2000));
  }

  void key(QEvent::Type type, std::uint16_t code, Qt::KeyboardModifiers modifiers = {},
           bool autoRepeat = false, int qtKey = Qt::Key_unknown) {
    QKeyEvent event(type, qtKey, modifiers, code, 0, 0, QString(), autoRepeat);
    QCoreApplication::sendEvent(QApplication::focusWidget(), &event);
  }
  void tap(std::uint16_t code, Qt::KeyboardModifiers modifiers = {}) {
    key(QEvent::KeyPress, code, modifiers);
    key(QEvent::KeyRelease, code, modifiers);
  }

  platform::fake::FakeApplication application;
  std::unique_ptr<QWidget> window_;
  ShortcutField* field = nullptr;
  Problems answer;
  std::vector<std::optional<Gesture>> saved;
  std::vector<Gesture> replaced;
};

TEST_F(FieldTest, RecordsAChordAndSavesItThroughTheOwner) {
  make(RecorderKind::action, Gesture::key(Key::j));
  EXPECT_TRUE(child("restore")->isVisible()) << "J differs from the default";
  EXPECT_TRUE(child("remove")->isVisible());
  startRecording();
  EXPECT_NE(dynamic_cast<platform::SuspendsNavigation*>(QApplication::focusWidget()), nullptr);
  EXPECT_FALSE(child("save")->isEnabled());
  EXPECT_TRUE(child<QLabel>("hint")->isVisible());

  key(QEvent::KeyPress, Key::leftControl);
  key(QEvent::KeyPress, Key::z, Qt::ControlModifier);
  key(QEvent::KeyPress, Key::z, Qt::ControlModifier, true);
  key(QEvent::KeyRelease, Key::z, Qt::ControlModifier);
  key(QEvent::KeyRelease, Key::leftControl, Qt::ControlModifier);
  const Gesture controlZ = Gesture::key(Key::z, Modifiers::control);
  EXPECT_EQ(field->state().pending(), controlZ);
  EXPECT_EQ(pill()->shownText(), QStringLiteral("Ctrl Z"));
  EXPECT_EQ(pill()->accessibleName(), QStringLiteral("Recording Moving start. Ctrl Z"));
  ASSERT_TRUE(child("save")->isEnabled());

  child("save")->click();
  EXPECT_EQ(saved, (std::vector<std::optional<Gesture>>{controlZ}));
  EXPECT_FALSE(field->isRecording());
  EXPECT_EQ(field->gesture(), controlZ);
  EXPECT_FALSE(pill()->isVisible());
  auto* caps = child<KeyCapsButton>("keyCaps");
  EXPECT_EQ(caps->text(), QStringLiteral("Ctrl Z"));
  EXPECT_EQ(caps->accessibleName(), QStringLiteral("Moving start: Ctrl Z. Change"));
  EXPECT_EQ(QApplication::focusWidget(), caps) << "the keyboard stays in the field";
}

TEST_F(FieldTest, EveryAccessibilityActionOfTheKeyCapsRecordsAsAClickDoes) {
  make(RecorderKind::action, Gesture::key(Key::j));
  auto* caps = child<KeyCapsButton>("keyCaps");
  QAccessibleInterface* seen = QAccessible::queryAccessibleInterface(caps);
  ASSERT_TRUE(seen && seen->actionInterface());
  QStringList actions = seen->actionInterface()->actionNames();
  actions.removeAll(QAccessibleActionInterface::setFocusAction());
  EXPECT_TRUE(actions.contains(QAccessibleActionInterface::pressAction()));
  for (const QString& action : actions) {
    SCOPED_TRACE(action.toStdString());
    QAccessible::queryAccessibleInterface(caps)->actionInterface()->doAction(action);
    // Recording, with the keyboard in the pill, as after a click.
    ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::focusWidget() == pill(); }, 2000));
    EXPECT_TRUE(field->isRecording());
    tap(Key::z, Qt::ControlModifier);
    child("save")->click();
    EXPECT_EQ(saved.back(), Gesture::key(Key::z, Modifiers::control));
    EXPECT_FALSE(field->isRecording());
  }
}

TEST_F(FieldTest, ALoneModifierIsATapAndEscapeCancels) {
  make(RecorderKind::entry, std::nullopt);
  EXPECT_TRUE(child<KeyCapsButton>("keyCaps")->isPlaceholder());
  EXPECT_FALSE(child("remove")->isVisible()) << "nothing to remove";
  startRecording();
  // An unknown key (no code) and a Caps Lock tap leave nothing pending.
  tap(200);
  tap(Key::capsLock);
  EXPECT_EQ(field->state().pending(), std::nullopt);
  tap(Key::rightOption);
  EXPECT_EQ(field->state().pending(), Gesture::modifierTap(Key::rightOption));
  EXPECT_EQ(pill()->shownText(), QStringLiteral("Right Alt tap"));

  tap(Key::escape);
  EXPECT_FALSE(field->isRecording());
  EXPECT_EQ(field->state().pending(), std::nullopt);
  EXPECT_TRUE(saved.empty()) << "cancel commits nothing";

  // Each new recording hears afresh: a press from before does not complete a tap.
  startRecording();
  key(QEvent::KeyPress, Key::rightOption);
  child("cancel")->click();
  startRecording();
  key(QEvent::KeyRelease, Key::rightOption);
  EXPECT_EQ(field->state().pending(), std::nullopt);
}

TEST_F(FieldTest, ARefusalShowsTheProblemsAndTheWaysOut) {
  make(RecorderKind::action, Gesture::key(Key::j), true);
  startRecording();
  tap(Key::a);
  answer = {"A already clicks.", "A is in the label alphabet."};
  child("save")->click();
  EXPECT_FALSE(field->isRecording());
  EXPECT_EQ(field->gesture(), Gesture::key(Key::j)) << "the owner committed nothing";
  EXPECT_EQ(field->state().pending(), Gesture::key(Key::a));
  QStringList lines;
  for (QLabel* line : field->findChildren<QLabel*>(QStringLiteral("problem")))
    if (line->isVisible()) lines << line->text();
  EXPECT_EQ(lines, (QStringList{"A already clicks.", "A is in the label alphabet."}));
  for (const char* name : {"keepExisting", "replace", "chooseAnother"})
    EXPECT_TRUE(child(name)->isVisible()) << name;

  answer = {"Clicking needs a key."};
  child("replace")->click();
  EXPECT_EQ(field->state().problems(), answer) << "a refused replace shows the new problems";
  answer = {};
  child("replace")->click();
  EXPECT_EQ(replaced, (std::vector<Gesture>{Gesture::key(Key::a), Gesture::key(Key::a)}));
  EXPECT_EQ(field->gesture(), Gesture::key(Key::a));
  EXPECT_FALSE(child<QWidget>("problems")->isVisible());

  // The restore button asks for the default; a refusal there shows with "Choose another key".
  answer = {"Right Alt is taken."};
  child("restore")->click();
  EXPECT_EQ(saved.back(), Gesture::modifierTap(Key::rightOption));
  EXPECT_TRUE(child<QWidget>("problems")->isVisible());
  child("chooseAnother")->click();
  EXPECT_TRUE(field->isRecording());
  EXPECT_FALSE(child<QWidget>("problems")->isVisible());
}

TEST_F(FieldTest, AnOwnerThatDeletesTheFieldWhileSavingIsSafe) {
  make(RecorderKind::action, Gesture::key(Key::j));
  startRecording();
  tap(Key::a);
  field->setOnSave([this](std::optional<Gesture>) {
    delete field;
    return Problems{"gone"};
  });
  QPointer<ShortcutField> watched(field);
  field->save();
  EXPECT_TRUE(watched.isNull());
}

// Keys offered to the window's shortcuts first, as the window system delivers them.
void deliver(QWidget* target, int qtKey, std::uint16_t code, Qt::KeyboardModifiers modifiers) {
  if (qt_sendShortcutOverrideEvent(target, 0, qtKey, modifiers)) return;
  QKeyEvent press(QEvent::KeyPress, qtKey, modifiers, code, 0, 0);
  QCoreApplication::sendEvent(target, &press);
}

TEST_F(FieldTest, AWindowShortcutDoesNotFireWhileRecording) {
  make(RecorderKind::action, Gesture::key(Key::j));
  int undos = 0;
  auto* undo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), window_.get());
  QObject::connect(undo, &QShortcut::activated, [&] { ++undos; });

  child("keyCaps")->setFocus();
  deliver(QApplication::focusWidget(), Qt::Key_Z, Key::z, Qt::ControlModifier);
  ASSERT_EQ(undos, 1) << "the shortcut works while the field is idle";

  startRecording();
  deliver(QApplication::focusWidget(), Qt::Key_Z, Key::z, Qt::ControlModifier);
  EXPECT_EQ(undos, 1);
  EXPECT_EQ(field->state().pending(), Gesture::key(Key::z, Modifiers::control));
  // Return is a key like any other here, not the default button.
  deliver(QApplication::focusWidget(), Qt::Key_Return, Key::returnKey, {});
  EXPECT_TRUE(field->isRecording());
  EXPECT_EQ(field->state().pending(), Gesture::key(Key::returnKey));
  EXPECT_TRUE(saved.empty());
}

}  // namespace
}  // namespace tovrel::settings
