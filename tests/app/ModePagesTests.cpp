// The Moving and Scrolling pages: the binding edits over whole configurations, the speed picker and
// the scroll speed's change, then each page worked offscreen over a real model, and their pictures.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/Settings/ActionBindingRow.hpp"
#include "app/Settings/CursorModePage.hpp"
#include "app/Settings/ModePageLogic.hpp"
#include "app/Settings/ScrollModePage.hpp"
#include "app/Settings/SettingControls.hpp"
#include "app/Settings/ShortcutField.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/SettingsPictures.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

using A = CursorAction;

constexpr Gesture space = Gesture::key(Key::space);
constexpr Gesture returnKey = Gesture::key(Key::returnKey);
constexpr Gesture keyA = Gesture::key(Key::a);
constexpr Gesture keyB = Gesture::key(Key::b);
constexpr Gesture keyF = Gesture::key(Key::f);
constexpr Gesture commandReturn = Gesture::key(Key::returnKey, Modifiers::command);

TovrelConfig withBindings(std::vector<CursorBinding> bindings) {
  TovrelConfig config = TovrelConfig::defaults();
  config.cursorBindings = std::move(bindings);
  return config;
}

// ---- The edits

enum class Op { replace, add, takeOver };

TEST(BindingEdits, ReplaceAddAndTakeOverOverTheBindingList) {
  const struct {
    const char* name;
    std::vector<CursorBinding> before;
    Op op;
    std::optional<Gesture> gesture;  // the new gesture
    std::optional<Gesture> old;      // the recorder's gesture
    std::vector<CursorBinding> after;
    std::string change;  // empty: nothing to commit
  } cases[] = {
      {"clearing the first of two keeps the second in its place",
       {{A::leftClick, space}, {A::rightClick, keyA}, {A::leftClick, returnKey}},
       Op::replace,
       std::nullopt,
       space,
       {{A::rightClick, keyA}, {A::leftClick, returnKey}},
       "Left click: removed Space"},
      {"replacing keeps the position",
       {{A::leftClick, space}, {A::rightClick, keyA}, {A::leftClick, returnKey}},
       Op::replace,
       keyF,
       space,
       {{A::leftClick, keyF}, {A::rightClick, keyA}, {A::leftClick, returnKey}},
       "Left click: F"},
      {"adding appends",
       {{A::leftClick, space}, {A::rightClick, keyA}},
       Op::add,
       commandReturn,
       std::nullopt,
       {{A::leftClick, space}, {A::rightClick, keyA}, {A::leftClick, commandReturn}},
       "Left click: added Command Return"},
      {"adding nothing commits nothing",
       {{A::leftClick, space}},
       Op::add,
       std::nullopt,
       std::nullopt,
       {},
       ""},
      {"taking over from two other actions in one edit, appended from the add recorder",
       {{A::leftClick, space},
        {A::rightClick, keyA},
        {A::middleClick, keyA},
        {A::rightClick, keyB}},
       Op::takeOver,
       keyA,
       std::nullopt,
       {{A::leftClick, space}, {A::rightClick, keyB}, {A::leftClick, keyA}},
       "A moved to Left click"},
      {"taking over with the old gesture keeps its place",
       {{A::leftClick, space}, {A::rightClick, keyA}, {A::leftClick, returnKey}},
       Op::takeOver,
       keyA,
       space,
       {{A::leftClick, keyA}, {A::leftClick, returnKey}},
       "A moved to Left click"},
      {"taking over a gesture the action has already leaves two equal bindings",
       {{A::leftClick, space}, {A::leftClick, keyA}},
       Op::takeOver,
       keyA,
       space,
       {{A::leftClick, keyA}, {A::leftClick, keyA}},
       "A moved to Left click"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const TovrelConfig before = withBindings(c.before);
    std::optional<PageEdit> edit;
    if (c.op == Op::replace) edit = bindingEdit::replace(before, A::leftClick, *c.old, c.gesture);
    if (c.op == Op::add) edit = bindingEdit::add(before, A::leftClick, c.gesture);
    if (c.op == Op::takeOver) edit = bindingEdit::takeOver(before, A::leftClick, *c.gesture, c.old);
    ASSERT_EQ(edit.has_value(), !c.change.empty());
    if (!edit) continue;
    EXPECT_EQ(edit->config.cursorBindings, c.after);
    EXPECT_EQ(edit->change, c.change);
    // Nothing but the bindings changes.
    TovrelConfig rest = edit->config;
    rest.cursorBindings = before.cursorBindings;
    EXPECT_EQ(rest, before);
  }
}

TEST(SpeedPicker, EachPresetIsChosenByNameWithoutCustom) {
  const std::vector<std::string> presets = {"Gentle", "Balanced", "Fast"};
  for (const std::string& name : presets) {
    SCOPED_TRACE(name);
    const auto chosen = speedPicker::choose(TovrelConfig::defaults(), name);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->change, "Speed: " + name);
    EXPECT_EQ(speedPicker::segments(chosen->config.motion), presets);
    EXPECT_EQ(speedPicker::selected(chosen->config.motion), name);
  }
}

// ---- The pages at work

class ModePagesTest : public ::testing::Test {
 protected:
  ModePagesTest() {
    testapp::ensureWidgetApp();
    model = std::make_unique<AppModel>(std::nullopt, desktop.platform, loginItems);
  }

  template <class Page>
  Page& make() {
    auto made = std::make_unique<Page>(PageContext{*model, {}});
    Page& page = *made;
    page.resize(720, 540);
    page.show();
    page.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&page));
    shown = std::move(made);
    return page;
  }

  // Records `code` with `modifiers` held, then presses Save.
  static void record(ShortcutField& field, std::uint16_t code, Qt::KeyboardModifiers modifiers) {
    field.findChild<QAbstractButton*>(QStringLiteral("keyCaps"))->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QApplication::focusWidget() == field.findChild<QWidget*>("pill"); }, 2000));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, modifiers, code, 0, 0);
    QCoreApplication::sendEvent(QApplication::focusWidget(), &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, modifiers, code, 0, 0);
    QCoreApplication::sendEvent(QApplication::focusWidget(), &release);
    field.findChild<QAbstractButton*>(QStringLiteral("save"))->click();
  }

  static QStringList problemsShown(ShortcutField& field) {
    QStringList shown;
    for (QLabel* line : field.findChildren<QLabel*>(QStringLiteral("problem")))
      if (line->isVisibleTo(&field)) shown << line->text();
    return shown;
  }

  static std::vector<std::optional<Gesture>> shownGestures(const ActionBindingRow& row) {
    std::vector<std::optional<Gesture>> gestures;
    for (ShortcutField* field : row.gestureFields())
      gestures.push_back(field->gesture());
    return gestures;
  }

  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  std::unique_ptr<AppModel> model;
  std::unique_ptr<QWidget> shown;
};

TEST_F(ModePagesTest, BindingRowsRecordAddTakeOverAndRemoveInPlace) {
  CursorModePage& page = make<CursorModePage>();
  ActionBindingRow& left = *page.leftClickRow();
  ASSERT_EQ(shownGestures(left), (std::vector<std::optional<Gesture>>{space}));
  ShortcutField* spaceField = left.gestureFields().front();
  ShortcutField& add = *left.addField();

  // A free key into the add recorder: appended, its recorder placed before the add recorder.
  record(add, Key::f, {});
  EXPECT_EQ(model->lastChange(), "Left click: added F");
  EXPECT_EQ(gesturesOf(model->config(), A::leftClick), (std::vector<Gesture>{space, keyF}));
  ASSERT_EQ(shownGestures(left), (std::vector<std::optional<Gesture>>{space, keyF}));
  EXPECT_EQ(left.gestureFields().front(), spaceField);
  EXPECT_TRUE(problemsShown(add).isEmpty());

  // Middle click's key: refused with problems, then taken over by Replace.
  const TovrelConfig before = model->config();
  record(add, Key::e, {});
  EXPECT_EQ(model->config(), before);
  EXPECT_FALSE(problemsShown(add).isEmpty());
  add.findChild<QAbstractButton*>(QStringLiteral("replace"))->click();
  EXPECT_EQ(model->lastChange(), "E moved to Left click");
  EXPECT_TRUE(problemsShown(add).isEmpty());
  EXPECT_TRUE(gesturesOf(model->config(), A::middleClick).empty());
  ASSERT_EQ(shownGestures(left),
            (std::vector<std::optional<Gesture>>{space, keyF, Gesture::key(Key::e)}));

  // Replacing Space on its own recorder keeps the recorder and the place.
  record(*spaceField, Key::returnKey, {});
  EXPECT_EQ(model->lastChange(), "Left click: Return");
  ASSERT_EQ(left.gestureFields().front(), spaceField);
  EXPECT_EQ(spaceField->gesture(), returnKey);

  // Removing it: the next recorder keeps its gesture and moves up.
  ShortcutField* fField = left.gestureFields()[1];
  spaceField->findChild<QAbstractButton*>(QStringLiteral("remove"))->click();
  EXPECT_EQ(model->lastChange(), "Left click: removed Return");
  ASSERT_EQ(left.gestureFields().size(), 2u);
  EXPECT_EQ(left.gestureFields().front(), fField);
  EXPECT_EQ(fField->gesture(), keyF);
}

TEST_F(ModePagesTest, TheSpeedPickerOffersCustomOnlyWhileNoPresetApplies) {
  TovrelConfig custom = model->config();
  custom.motion.initialSpeed += 7;
  ASSERT_TRUE(model->commit(custom, "custom").empty());
  CursorModePage& page = make<CursorModePage>();
  SegmentedControl& picker = *page.speedPicker();
  EXPECT_EQ(picker.segments(), QStringList({"Gentle", "Balanced", "Fast", "Custom"}));
  EXPECT_EQ(picker.selected(), "Custom");
  const auto segment = [&](const QString& name) {
    for (QAbstractButton* button : picker.findChildren<QAbstractButton*>())
      if (button->text() == name && button->isVisibleTo(&picker)) return button;
    return static_cast<QAbstractButton*>(nullptr);
  };

  segment("Custom")->click();
  EXPECT_EQ(model->lastChange(), "custom");

  segment("Balanced")->click();
  EXPECT_EQ(model->lastChange(), "Speed: Balanced");
  EXPECT_EQ(model->config().motion, MotionProfile::balanced());
  EXPECT_EQ(picker.segments(), QStringList({"Gentle", "Balanced", "Fast"}));
  EXPECT_EQ(picker.selected(), "Balanced");
}

TEST_F(ModePagesTest, TheScrollSpeedStoresWhatIsTypedWithinItsRange) {
  ScrollModePage& page = make<ScrollModePage>();
  QLineEdit& field = *page.speedSlider()->field();
  const struct {
    const char* typed;
    double stored;
    const char* change;
  } cases[] = {
      {"234.7", 234.7, "Scroll speed 234 pt/s"},
      {"50", 100, "Scroll speed 100 pt/s"},
      {"9000", 4000, "Scroll speed 4000 pt/s"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    field.setFocus();
    field.selectAll();
    QTest::keyClicks(&field, QString::fromLatin1(c.typed));
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(model->config().scrolling.maximumSpeed, c.stored);
    EXPECT_EQ(model->lastChange(), c.change);
  }
  model->undo();
  EXPECT_EQ(model->config().scrolling.maximumSpeed, 100);
  EXPECT_EQ(page.speedSlider()->value(), 100);
}

// ---- Pictures

TEST_F(ModePagesTest, Pictures) {
  const auto page = [this] { return std::make_unique<CursorModePage>(PageContext{*model, {}}); };
  model->setAssumesAccessForSnapshots(true);
  shootInEveryLook("moving", page);
  shootInEveryLook("scrolling", [this] {
    return std::make_unique<ScrollModePage>(PageContext{*model, {}});
  });
  shootInEveryLook("moving-refused", [this] {
    auto made = std::make_unique<CursorModePage>(PageContext{*model, {}});
    ShortcutField& add = *made->leftClickRow()->addField();
    // Middle click's key, heard by the recorder and refused on Save.
    add.startRecording();
    auto* pill = add.findChild<QWidget*>(QStringLiteral("pill"));
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
      QKeyEvent key(type, Qt::Key_unknown, {}, Key::e, 0, 0);
      QCoreApplication::sendEvent(pill, &key);
    }
    add.save();
    EXPECT_FALSE(problemsShown(add).isEmpty());
    // The problems came while the page was hidden: a first showing settles the layout, as the
    // open window's event loop would.
    made->show();
    for (int round = 0; round < 3; ++round)
      QCoreApplication::processEvents();
    made->hide();
    return made;
  });
  TovrelConfig custom = model->config();
  custom.motion.maximumSpeed += 100;
  ASSERT_TRUE(model->commit(custom, "custom").empty());
  shootInEveryLook("moving-custom", page);
}

}  // namespace
}  // namespace tovrel::settings
