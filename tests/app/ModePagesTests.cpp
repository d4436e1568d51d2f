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

struct EditCase {
  const char* name;
  std::vector<CursorBinding> before;
  std::function<std::optional<PageEdit>(const TovrelConfig&)> edit;
  std::vector<CursorBinding> after;  // ignored when `commits` is false
  std::string change;
  bool commits = true;
};

TEST(BindingEdits, ReplaceAddAndTakeOverOverTheBindingList) {
  const std::vector<EditCase> cases = {
      {"clearing the first of two keeps the second in its place",
       {{A::leftClick, space}, {A::rightClick, keyA}, {A::leftClick, returnKey}},
       [](const TovrelConfig& c) {
         return bindingEdit::replace(c, A::leftClick, space, std::nullopt);
       },
       {{A::rightClick, keyA}, {A::leftClick, returnKey}},
       "Left click: removed Space"},
      {"replacing keeps the position",
       {{A::leftClick, space}, {A::rightClick, keyA}, {A::leftClick, returnKey}},
       [](const TovrelConfig& c) { return bindingEdit::replace(c, A::leftClick, space, keyF); },
       {{A::leftClick, keyF}, {A::rightClick, keyA}, {A::leftClick, returnKey}},
       "Left click: F"},
      {"replacing changes only the first of two equal bindings",
       {{A::leftClick, space}, {A::leftClick, space}},
       [](const TovrelConfig& c) {
         return bindingEdit::replace(c, A::leftClick, space, returnKey);
       },
       {{A::leftClick, returnKey}, {A::leftClick, space}},
       "Left click: Return"},
      {"replacing a gesture another action has leaves that one alone",
       {{A::rightClick, space}},
       [](const TovrelConfig& c) { return bindingEdit::replace(c, A::leftClick, space, keyF); },
       {{A::rightClick, space}},
       "Left click: F"},
      {"adding appends, duplicates too",
       {{A::rightClick, keyA}, {A::leftClick, space}},
       [](const TovrelConfig& c) { return bindingEdit::add(c, A::rightClick, commandReturn); },
       {{A::rightClick, keyA}, {A::leftClick, space}, {A::rightClick, commandReturn}},
       "Right click: added Command Return"},
      {"adding nothing commits nothing",
       {{A::leftClick, space}},
       [](const TovrelConfig& c) { return bindingEdit::add(c, A::leftClick, std::nullopt); },
       {},
       "",
       false},
      {"taking over from two other actions in one edit",
       {{A::leftClick, space},
        {A::rightClick, keyA},
        {A::middleClick, keyA},
        {A::rightClick, keyB}},
       [](const TovrelConfig& c) {
         return bindingEdit::takeOver(c, A::leftClick, keyA, std::nullopt);
       },
       {{A::leftClick, space}, {A::rightClick, keyB}, {A::leftClick, keyA}},
       "A moved to Left click"},
      {"taking over with the old gesture keeps its place",
       {{A::leftClick, space}, {A::rightClick, keyA}, {A::leftClick, returnKey}},
       [](const TovrelConfig& c) { return bindingEdit::takeOver(c, A::leftClick, keyA, space); },
       {{A::leftClick, keyA}, {A::leftClick, returnKey}},
       "A moved to Left click"},
      {"taking over with an old gesture no longer bound appends",
       {{A::rightClick, keyA}, {A::leftClick, returnKey}},
       [](const TovrelConfig& c) { return bindingEdit::takeOver(c, A::leftClick, keyA, space); },
       {{A::leftClick, returnKey}, {A::leftClick, keyA}},
       "A moved to Left click"},
      {"taking over a gesture the action has already leaves two equal bindings",
       {{A::leftClick, space}, {A::leftClick, keyA}},
       [](const TovrelConfig& c) { return bindingEdit::takeOver(c, A::leftClick, keyA, space); },
       {{A::leftClick, keyA}, {A::leftClick, keyA}},
       "A moved to Left click"},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TovrelConfig before = withBindings(c.before);
    const std::optional<PageEdit> edit = c.edit(before);
    ASSERT_EQ(edit.has_value(), c.commits);
    if (!edit) continue;
    EXPECT_EQ(edit->config.cursorBindings, c.after);
    EXPECT_EQ(edit->change, c.change);
    // Nothing but the bindings changes.
    TovrelConfig rest = edit->config;
    rest.cursorBindings = before.cursorBindings;
    EXPECT_EQ(rest, before);
  }
}

TEST(BindingEdits, GesturesCaptionsAndAddRecorderTexts) {
  const TovrelConfig config = withBindings({{A::leftClick, space},
                                            {A::rightClick, keyA},
                                            {A::leftClick, returnKey},
                                            {A::leftClick, space}});
  EXPECT_EQ(gesturesOf(config, A::leftClick), (std::vector<Gesture>{space, returnKey, space}));
  EXPECT_TRUE(gesturesOf(config, A::boost).empty());
  EXPECT_EQ(addTitle(A::rightClick), "another key for Right click");
  EXPECT_EQ(addPlaceholder(true), "+");
  EXPECT_EQ(addPlaceholder(false), "Add key");
  for (CursorAction action : allCases<CursorAction>()) {
    const bool held = action == A::moveUp || action == A::moveDown || action == A::moveLeft ||
                      action == A::moveRight || action == A::scrollUp || action == A::scrollDown ||
                      action == A::scrollLeft || action == A::scrollRight ||
                      action == A::dragHold || action == A::precision || action == A::boost;
    EXPECT_EQ(heldCaption(action), held ? "while held" : "") << rawValue(action);
  }
}

TEST(SpeedPicker, CustomAppearsOnlyForAProfileThatIsNoPreset) {
  const std::vector<std::string> presets = {"Gentle", "Balanced", "Fast"};
  for (const std::string& name : presets) {
    SCOPED_TRACE(name);
    const auto chosen = speedPicker::choose(TovrelConfig::defaults(), name);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->change, "Speed: " + name);
    EXPECT_EQ(speedPicker::segments(chosen->config.motion), presets);
    EXPECT_EQ(speedPicker::selected(chosen->config.motion), name);
  }

  TovrelConfig custom = TovrelConfig::defaults();
  custom.motion = MotionProfile::fast();
  custom.motion.rampSeconds += 0.05;
  std::vector<std::string> withCustom = presets;
  withCustom.emplace_back("Custom");
  EXPECT_EQ(speedPicker::segments(custom.motion), withCustom);
  EXPECT_EQ(speedPicker::selected(custom.motion), "Custom");
  EXPECT_FALSE(speedPicker::choose(custom, "Custom").has_value());
  EXPECT_FALSE(speedPicker::choose(custom, "Quick").has_value());
  const auto balanced = speedPicker::choose(custom, "Balanced");
  ASSERT_TRUE(balanced.has_value());
  EXPECT_EQ(balanced->config.motion, MotionProfile::balanced());
  EXPECT_EQ(speedPicker::segments(balanced->config.motion), presets);
}

TEST(ScrollSpeed, TheChangeTextDropsTheFractionAndTheValueKeepsIt) {
  const struct {
    double speed;
    const char* change;
  } cases[] = {
      {234.7, "Scroll speed 234 pt/s"},
      {1200, "Scroll speed 1200 pt/s"},
      {100, "Scroll speed 100 pt/s"},
      {3999.99, "Scroll speed 3999 pt/s"},
  };
  for (const auto& c : cases) {
    const PageEdit edit = scrollSpeed::edit(TovrelConfig::defaults(), c.speed);
    EXPECT_EQ(edit.change, c.change);
    EXPECT_EQ(edit.config.scrolling.maximumSpeed, c.speed);
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

  // Undo brings it back at the front.
  model->undo();
  EXPECT_EQ(shownGestures(left),
            (std::vector<std::optional<Gesture>>{returnKey, keyF, Gesture::key(Key::e)}));
}

TEST_F(ModePagesTest, AnActionWithoutKeysOffersOnlyAddKey) {
  TovrelConfig config = model->config();
  std::erase_if(config.cursorBindings,
                [](const CursorBinding& b) { return b.action == A::rightClick; });
  ASSERT_TRUE(model->commit(config, "none").empty());
  CursorModePage& page = make<CursorModePage>();
  ActionBindingRow& right = *page.rightClickRow();
  EXPECT_TRUE(right.gestureFields().empty());
  const auto cap = [&] {
    return right.addField()->findChild<QAbstractButton*>(QStringLiteral("keyCaps"))->text();
  };
  EXPECT_EQ(cap(), "Add key");
  record(*right.addField(), Key::returnKey, Qt::MetaModifier);
  EXPECT_EQ(model->lastChange(), "Right click: added Command Return");
  EXPECT_EQ(right.gestureFields().size(), 1u);
  EXPECT_EQ(cap(), "+");
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

  model->undo();
  EXPECT_EQ(picker.selected(), "Custom");
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
