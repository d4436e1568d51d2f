// The Moving and Scrolling pages: the binding edits over whole configurations, the speed picker and
// the scroll speed's change, then each page worked offscreen over a real model, and their pictures.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "app/settings/controls/SettingControls.hpp"
#include "app/settings/controls/ShortcutField.hpp"
#include "app/settings/pages/ActionBindingRow.hpp"
#include "app/settings/pages/CursorModePage.hpp"
#include "app/settings/pages/ModePageLogic.hpp"
#include "app/settings/pages/ScrollModePage.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/SettingsPictures.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

using A = CursorAction;
using Shown = std::vector<std::optional<Gesture>>;

constexpr Gesture space = Gesture::key(Key::space);
constexpr Gesture returnKey = Gesture::key(Key::returnKey);
constexpr Gesture keyA = Gesture::key(Key::a);
constexpr Gesture keyB = Gesture::key(Key::b);
constexpr Gesture keyE = Gesture::key(Key::e);
constexpr Gesture keyF = Gesture::key(Key::f);
constexpr Gesture commandReturn = Gesture::key(Key::returnKey, Modifiers::command);
constexpr std::optional<Gesture> none;

// ---- The edits

TEST(BindingEdits, ReplaceAddAndTakeOverOverTheBindingList) {
  enum class Op { replace, add, takeOver };
  constexpr A left = A::leftClick, right = A::rightClick, middle = A::middleClick;
  const struct {
    const char* name;
    std::vector<CursorBinding> before;
    Op op;
    std::optional<Gesture> gesture, old;  // the new gesture, the recorder's gesture
    std::vector<CursorBinding> after;
    std::string change;  // empty: nothing to commit
  } cases[] = {
      // clang-format off
      {"clearing the first of two keeps the second in its place",
       {{left, space}, {right, keyA}, {left, returnKey}}, Op::replace, none, space,
       {{right, keyA}, {left, returnKey}}, "Left click: removed Space"},
      {"replacing keeps the position",
       {{left, space}, {right, keyA}, {left, returnKey}}, Op::replace, keyF, space,
       {{left, keyF}, {right, keyA}, {left, returnKey}}, "Left click: F"},
      {"adding appends",
       {{left, space}, {right, keyA}}, Op::add, commandReturn, none,
       {{left, space}, {right, keyA}, {left, commandReturn}}, "Left click: added Super Enter"},
      {"adding nothing commits nothing", {{left, space}}, Op::add, none, none, {}, ""},
      {"taking over from two other actions in one edit, appended from the add recorder",
       {{left, space}, {right, keyA}, {middle, keyA}, {right, keyB}}, Op::takeOver, keyA, none,
       {{left, space}, {right, keyB}, {left, keyA}}, "A moved to Left click"},
      {"taking over with the old gesture keeps its place",
       {{left, space}, {right, keyA}, {left, returnKey}}, Op::takeOver, keyA, space,
       {{left, keyA}, {left, returnKey}}, "A moved to Left click"},
      {"taking over a gesture the action has already leaves two equal bindings",
       {{left, space}, {left, keyA}}, Op::takeOver, keyA, space,
       {{left, keyA}, {left, keyA}}, "A moved to Left click"},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TovrelConfig before = TovrelConfig::defaults();
    before.cursorBindings = c.before;
    const std::optional<PageEdit> edit =
        c.op == Op::replace ? bindingEdit::replace(before, left, *c.old, c.gesture)
        : c.op == Op::add   ? bindingEdit::add(before, left, c.gesture)
                            : bindingEdit::takeOver(before, left, *c.gesture, c.old);
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
    const auto chosen = speedPicker::choose(TovrelConfig::defaults(), name);
    ASSERT_TRUE(chosen.has_value()) << name;
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

  static void hear(QWidget* pill, std::uint16_t code, Qt::KeyboardModifiers modifiers = {}) {
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
      QKeyEvent key(type, Qt::Key_unknown, modifiers, code, 0, 0);
      QCoreApplication::sendEvent(pill, &key);
    }
  }

  // Records `code` as a user does, then presses Save.
  static void record(ShortcutField& field, std::uint16_t code) {
    field.findChild<QAbstractButton*>(QStringLiteral("keyCaps"))->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QApplication::focusWidget() == field.findChild<QWidget*>("pill"); }, 2000));
    hear(QApplication::focusWidget(), code);
    field.findChild<QAbstractButton*>(QStringLiteral("save"))->click();
  }

  static QStringList problemsShown(ShortcutField& field) {
    QStringList shown;
    for (QLabel* line : field.findChildren<QLabel*>(QStringLiteral("problem")))
      if (line->isVisibleTo(&field)) shown << line->text();
    return shown;
  }

  static Shown shownGestures(const ActionBindingRow& row) {
    Shown gestures;
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
  ActionBindingRow& left = *make<CursorModePage>().leftClickRow();
  ASSERT_EQ(shownGestures(left), Shown{space});
  ShortcutField* spaceField = left.gestureFields().front();
  ShortcutField& add = *left.addField();

  // A free key into the add recorder: appended, its recorder placed before the add recorder.
  record(add, Key::f);
  EXPECT_EQ(model->lastChange(), "Left click: added F");
  EXPECT_EQ(gesturesOf(model->config(), A::leftClick), (std::vector<Gesture>{space, keyF}));
  ASSERT_EQ(shownGestures(left), (Shown{space, keyF}));
  EXPECT_EQ(left.gestureFields().front(), spaceField);
  EXPECT_TRUE(problemsShown(add).isEmpty());

  // Middle click's key: refused with problems, then taken over by Replace.
  const TovrelConfig before = model->config();
  record(add, Key::e);
  EXPECT_EQ(model->config(), before);
  EXPECT_FALSE(problemsShown(add).isEmpty());
  add.findChild<QAbstractButton*>(QStringLiteral("replace"))->click();
  EXPECT_EQ(model->lastChange(), "E moved to Left click");
  EXPECT_TRUE(problemsShown(add).isEmpty());
  EXPECT_TRUE(gesturesOf(model->config(), A::middleClick).empty());
  ASSERT_EQ(shownGestures(left), (Shown{space, keyF, keyE}));

  // Replacing Space on its own recorder keeps the recorder and the place.
  record(*spaceField, Key::returnKey);
  EXPECT_EQ(model->lastChange(), "Left click: Enter");
  ASSERT_EQ(left.gestureFields().front(), spaceField);
  EXPECT_EQ(spaceField->gesture(), returnKey);

  // Removing it: the next recorder keeps its gesture and moves up.
  ShortcutField* fField = left.gestureFields()[1];
  spaceField->findChild<QAbstractButton*>(QStringLiteral("remove"))->click();
  EXPECT_EQ(model->lastChange(), "Left click: removed Enter");
  ASSERT_EQ(left.gestureFields().size(), 2u);
  EXPECT_EQ(left.gestureFields().front(), fField);
  EXPECT_EQ(fField->gesture(), keyF);
}

TEST_F(ModePagesTest, TheSpeedPickerOffersCustomOnlyWhileNoPresetApplies) {
  TovrelConfig custom = model->config();
  custom.motion.initialSpeed += 7;
  ASSERT_TRUE(model->commit(custom, "custom").empty());
  SegmentedControl& picker = *make<CursorModePage>().speedPicker();
  EXPECT_EQ(picker.segments(), QStringList({"Gentle", "Balanced", "Fast", "Custom"}));
  EXPECT_EQ(picker.selected(), "Custom");
  const auto choose = [&](const QString& name) {
    for (QAbstractButton* button : picker.findChildren<QAbstractButton*>())
      if (button->text() == name && button->isVisibleTo(&picker)) return button->click();
    ADD_FAILURE() << "no segment " << name.toStdString();
  };
  choose("Custom");
  EXPECT_EQ(model->lastChange(), "custom");
  choose("Balanced");
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
      {"234.7", 234.7, "Scroll speed 234 px/s"},
      {"50", 100, "Scroll speed 100 px/s"},
      {"9000", 4000, "Scroll speed 4000 px/s"},
  };
  for (const auto& c : cases) {
    field.setFocus();
    field.selectAll();
    QTest::keyClicks(&field, QString::fromLatin1(c.typed));
    QTest::keyClick(&field, Qt::Key_Return);
    EXPECT_EQ(model->config().scrolling.maximumSpeed, c.stored) << c.typed;
    EXPECT_EQ(model->lastChange(), c.change);
  }
  model->undo();
  EXPECT_EQ(model->config().scrolling.maximumSpeed, 100);
  EXPECT_EQ(page.speedSlider()->value(), 100);
}

TEST_F(ModePagesTest, Pictures) {
  model->setAssumesAccessForSnapshots(true);
  const auto moving = [this] { return std::make_unique<CursorModePage>(PageContext{*model, {}}); };
  const std::pair<const char*, std::function<std::unique_ptr<QWidget>()>> looks[] = {
      {"moving", moving},
      {"scrolling",
       [this] {
         return std::make_unique<ScrollModePage>(PageContext{*model, {}});
       }},
      {"moving-refused",
       [&] {
         // Middle click's key, heard by the recorder and refused on Save.
         auto made = moving();
         ShortcutField& add = *made->leftClickRow()->addField();
         add.startRecording();
         hear(add.findChild<QWidget*>(QStringLiteral("pill")), Key::e);
         add.save();
         EXPECT_FALSE(problemsShown(add).isEmpty());
         // The problems came while the page was hidden: a first showing settles the layout, as
         // the open window's event loop would.
         made->show();
         for (int round = 0; round < 3; ++round)
           QCoreApplication::processEvents();
         made->hide();
         return made;
       }},
  };
  for (const auto& [name, make] : looks)
    shootInEveryLook(name, make);
  TovrelConfig custom = model->config();
  custom.motion.maximumSpeed += 100;
  ASSERT_TRUE(model->commit(custom, "custom").empty());
  shootInEveryLook("moving-custom", moving);
}

}  // namespace
}  // namespace tovrel::settings
