#include <gtest/gtest.h>

#include <unistd.h>
#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QSlider>
#include <QTest>
#include <QVBoxLayout>
#include <filesystem>
#include <map>

#include "app/model/AppModel.hpp"
#include "app/settings/Symbols.hpp"
#include "app/settings/controls/ControlLogic.hpp"
#include "app/settings/controls/SettingControls.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);

TEST(NumberSliderValues, SliderPositionsSnapAndClampTypedValuesOnlyClamp) {
  const ValueRange speed{100, 4000};
  const ValueRange unit{0, 1};
  const ValueRange twenty{0, 20};
  struct Row {
    ValueRange range;
    std::optional<double> step;
    bool typed;
    double input;
    double expected;
  };
  const Row rows[] = {
      {speed, 10, false, 123.4, 120},     {speed, 10, false, 125, 130},
      {speed, 10, false, 40, 100},        {speed, 10, false, 4100, 4000},
      {speed, 10, true, 4001, 4000},      {speed, 10, true, 55, 100},
      {speed, 10, true, 123, 123},        {speed, 10, true, 123.4, 123.4},
      {unit, {}, false, 0.456, 0.46},     {unit, {}, false, 0.455, 0.46},
      {unit, {}, false, -0.2, 0},         {twenty, {}, false, 7.6, 8},
      {twenty, {}, false, 7.5, 8},        {twenty, {}, false, 7.4, 7},
      {{-10, 10}, {}, false, -2.5, -2.5}, {{-100, 100}, {}, false, -2.5, -3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.input << (row.typed ? " typed" : " slid") << " in "
                                    << row.range.lower << "…" << row.range.upper);
    const double got = row.typed ? number::clampTyped(row.input, row.range)
                                 : number::snap(row.input, row.range, row.step);
    EXPECT_NEAR(got, row.expected, 1e-9);
  }
}

TEST(NumberSliderValues, FormatFollowsTheLocaleAndTheRange) {
  struct Row {
    double value;
    double upper;
    const QLocale& locale;
    const char* text;
  };
  const Row rows[] = {
      {1234.5, 4000, english, "1,235"},
      {1234.5, 4000, german, "1.235"},
      {0.456, 1, english, "0.46"},
      {0.5, 1, english, "0.5"},
      {1, 1, english, "1"},
      {0.25, 1, german, "0,25"},
      {-0.001, 1, english, "0"},
      {7.6, 20, english, "8"},
      {10, 10, english, "10"},
      {2.5, 10, english, "2.5"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(number::format(row.value, row.upper, row.locale).toStdString(), row.text);
  }
}

TEST(NumberSliderValues, ParseTakesTheDisplayFormatAndRefusesTheRest) {
  for (const char* text : {"abc", "nan", "NaN", "inf", "", "12abc"})
    EXPECT_FALSE(number::parse(text, english).has_value()) << text;
  EXPECT_EQ(number::parse(" 42 ", english), 42);
  EXPECT_EQ(number::parse("12,5", german), 12.5);
  // Whatever is shown reads back as the value shown, in either locale.
  for (const QLocale& locale : {english, german}) {
    for (double v = 100; v <= 4000; v += 97.3) {
      const std::optional<double> back = number::parse(number::format(v, 4000, locale), locale);
      ASSERT_TRUE(back.has_value()) << v;
      EXPECT_EQ(*back, std::round(v));
    }
    for (double v = 0; v <= 1; v += 0.037) {
      const std::optional<double> back = number::parse(number::format(v, 1, locale), locale);
      ASSERT_TRUE(back.has_value()) << v;
      EXPECT_NEAR(*back, std::round(v * 100) / 100, 1e-12);
    }
  }
}

void press(QWidget& widget, Qt::Key key) {
  QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
  QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
  QCoreApplication::sendEvent(&widget, &down);
  QCoreApplication::sendEvent(&widget, &up);
}

// The actions assistive technology is offered on `widget` that do more than move the focus.
QStringList changingActions(QWidget& widget) {
  QAccessibleInterface* seen = QAccessible::queryAccessibleInterface(&widget);
  if (seen == nullptr || seen->actionInterface() == nullptr) return {};
  QStringList names = seen->actionInterface()->actionNames();
  names.removeAll(QAccessibleActionInterface::setFocusAction());
  return names;
}

void act(QWidget& widget, const QString& action) {
  QAccessible::queryAccessibleInterface(&widget)->actionInterface()->doAction(action);
}

TEST(NumberSliderWidget, HandsOnSnappedSlidesAndClampedTypingAndShowsOnlyWhatItIsGiven) {
  testapp::ensureWidgetApp();
  std::vector<double> handed;
  NumberSlider slider("Speed", QString("How fast"), "px/s", {100, 4000}, 10, 1200,
                      [&](double v) { handed.push_back(v); });
  slider.setLocale(english);
  EXPECT_EQ(slider.field()->text(), "1,200");
  EXPECT_EQ(slider.slider()->accessibleDescription(), "1,200 px/s");

  slider.slider()->setValue(13);  // as a drag would
  ASSERT_EQ(handed, std::vector<double>{130});
  // The owner refused: the slider goes back to the value it was given.
  EXPECT_EQ(slider.slider()->value(), 120);

  const auto type = [&](const QString& text) {
    slider.field()->setText(text);
    slider.field()->setModified(true);
    emit slider.field()->editingFinished();
  };
  type("abc");
  type("nan");
  EXPECT_EQ(handed.size(), 1u);
  EXPECT_EQ(slider.field()->text(), "1,200");  // the unparsable text is replaced
  type("5,000");
  EXPECT_EQ(handed.back(), 4000);

  // The owner's value replaces the field unless the user is in the middle of typing.
  slider.setValue(2500);
  EXPECT_EQ(slider.field()->text(), "2,500");
  EXPECT_EQ(slider.slider()->value(), 250);
  slider.field()->setText("31");
  slider.field()->setModified(true);
  slider.setValue(2600);
  EXPECT_EQ(slider.field()->text(), "31");
  EXPECT_EQ(handed.size(), 2u);  // setValue hands nothing on

  slider.setLocale(german);
  slider.field()->setModified(false);
  slider.setValue(2700);
  EXPECT_EQ(slider.field()->text(), "2.700");
}

TEST(NumberSliderWidget, AssistiveTechnologyReadsTheShownValueAndMovesItAsTheKeysDo) {
  testapp::ensureWidgetApp();
  std::vector<double> handed;
  NumberSlider* shown = nullptr;
  NumberSlider slider("Speed", std::nullopt, "pt/s", {100, 4000}, 10, 1200, [&](double v) {
    handed.push_back(v);
    shown->setValue(v);  // the owner takes every value
  });
  shown = &slider;
  slider.setLocale(english);
  QAccessibleInterface* seen = QAccessible::queryAccessibleInterface(slider.slider());
  ASSERT_NE(seen, nullptr);
  QAccessibleValueInterface* value = seen->valueInterface();
  QAccessibleActionInterface* actions = seen->actionInterface();
  ASSERT_TRUE(value && actions);
  EXPECT_EQ(seen->role(), QAccessible::Slider);
  EXPECT_EQ(seen->text(QAccessible::Name), "Speed");
  // The value the field and unit show, not the slider's step 120.
  EXPECT_EQ(seen->text(QAccessible::Value), "1,200 pt/s");
  EXPECT_EQ(value->currentValue().toDouble(), 1200);
  EXPECT_EQ(value->minimumValue().toDouble(), 100);
  EXPECT_EQ(value->maximumValue().toDouble(), 4000);
  EXPECT_EQ(value->minimumStepSize().toDouble(), 10);

  // Each step goes as the arrow keys go, through the owner.
  press(*slider.slider(), Qt::Key_Right);
  EXPECT_EQ(handed, std::vector<double>{1210});
  actions->doAction(QAccessibleActionInterface::increaseAction());
  EXPECT_EQ(handed.back(), 1220);
  EXPECT_EQ(seen->text(QAccessible::Value), "1,220 pt/s");
  press(*slider.slider(), Qt::Key_Left);
  actions->doAction(QAccessibleActionInterface::decreaseAction());
  EXPECT_EQ(handed, (std::vector<double>{1210, 1220, 1210, 1200}));
  // A value set is taken as a drag to it: snapped and kept in the range.
  const std::pair<double, double> set[] = {{1333, 1330}, {99999, 4000}, {-5, 100}};
  for (auto [wanted, taken] : set) {
    value->setCurrentValue(wanted);
    EXPECT_EQ(handed.back(), taken) << wanted;
    EXPECT_EQ(value->currentValue().toDouble(), taken);
  }
  slider.setLocale(german);
  EXPECT_EQ(seen->text(QAccessible::Value), "100 pt/s");
  slider.setValue(2500);
  EXPECT_EQ(seen->text(QAccessible::Value), "2.500 pt/s");
}

TEST(BoolKeyPaths, ReachDirectAndNestedFields) {
  TovrelConfig config;
  const BoolKeyPath menu = &TovrelConfig::showMenuBarIcon;
  const BoolKeyPath reverse = {&TovrelConfig::scrolling, &ScrollProfile::reverse};
  for (bool b : {true, false}) {
    const TovrelConfig changed = reverse.with(menu.with(config, b), !b);
    EXPECT_EQ(changed.showMenuBarIcon, b);
    EXPECT_EQ(changed.scrolling.reverse, !b);
    EXPECT_TRUE(menu.get(changed) == b && reverse.get(changed) == !b);
  }
  EXPECT_EQ(toggleChangeText("Show in menu bar", true), "Show in menu bar on");
  EXPECT_EQ(toggleChangeText("Show in menu bar", false), "Show in menu bar off");
}

class ModelTest : public ::testing::Test {
 protected:
  AppModel& make(std::optional<ConfigStore> store = std::nullopt) {
    testapp::ensureWidgetApp();
    model = std::make_unique<AppModel>(std::move(store), desktop.platform, loginItems);
    return *model;
  }
  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  std::unique_ptr<AppModel> model;
};

TEST_F(ModelTest, ToggleCommitsItsTitleAndFollowsTheConfiguration) {
  AppModel& m = make();
  SettingToggle toggle(m, "Show in menu bar", "An icon that shows which mode is on.",
                       &TovrelConfig::showMenuBarIcon);
  SwitchButton& button = *toggle.switchButton();
  EXPECT_EQ(button.accessibleName(), "Show in menu bar");
  ASSERT_FALSE(button.isOn());

  button.click();
  EXPECT_TRUE(m.config().showMenuBarIcon);
  EXPECT_EQ(m.lastChange(), "Show in menu bar on");
  button.click();
  EXPECT_FALSE(m.config().showMenuBarIcon);
  EXPECT_EQ(m.lastChange(), "Show in menu bar off");

  TovrelConfig elsewhere = m.config();
  elsewhere.showMenuBarIcon = true;
  ASSERT_TRUE(m.commit(elsewhere, "from another page").empty());
  EXPECT_TRUE(button.isOn());
  m.undo();
  EXPECT_FALSE(button.isOn());
}

TEST_F(ModelTest, RefusedToggleShowsTheOldState) {
  // A settings file in a folder that does not exist: every save fails.
  const auto folder = std::filesystem::temp_directory_path() /
                      ("tovrel-missing-" + std::to_string(::getpid())) / "nothing";
  AppModel& m = make(ConfigStore(folder / "config.json"));
  SettingToggle toggle(m, "Show in menu bar", "",
                       {&TovrelConfig::scrolling, &ScrollProfile::reverse});
  const bool before = m.config().scrolling.reverse;
  ASSERT_EQ(toggle.switchButton()->isOn(), before);
  toggle.switchButton()->click();
  EXPECT_EQ(m.config().scrolling.reverse, before);
  EXPECT_EQ(toggle.switchButton()->isOn(), before);
  // The failure is what the model reports, not a change.
  EXPECT_TRUE(m.lastChangeFailed());
  EXPECT_TRUE(m.lastChange()->starts_with("Settings could not be saved: "));
  m.dismissChange();
  // Toggled by assistive technology, the switch springs back all the same.
  act(*toggle.switchButton(), QAccessibleActionInterface::toggleAction());
  EXPECT_EQ(toggle.switchButton()->isOn(), before);
  EXPECT_TRUE(m.lastChangeFailed());
}

TEST_F(ModelTest, EveryAccessibilityActionOfASwitchCommitsAsAClickDoes) {
  AppModel& m = make();
  SettingToggle toggle(m, "Show in menu bar", "", &TovrelConfig::showMenuBarIcon);
  SwitchButton& button = *toggle.switchButton();
  const QStringList actions = changingActions(button);
  EXPECT_TRUE(actions.contains(QAccessibleActionInterface::toggleAction()))
      << actions.join(",").toStdString();
  bool on = m.config().showMenuBarIcon;
  for (const QString& action : actions) {
    for (int twice = 0; twice < 2; ++twice) {
      SCOPED_TRACE(action.toStdString());
      const std::size_t steps = m.undoStack().size();
      act(button, action);
      on = !on;
      // A press clicks on a later turn of the loop, as a pressed key does.
      ASSERT_TRUE(QTest::qWaitFor([&] { return m.config().showMenuBarIcon == on; }, 2000));
      EXPECT_EQ(m.undoStack().size(), steps + 1);
      EXPECT_EQ(m.navigation().config().showMenuBarIcon, on);
      EXPECT_EQ(m.lastChange(), toggleChangeText("Show in menu bar", on));
      EXPECT_EQ(button.isOn(), on);
      EXPECT_EQ(QAccessible::queryAccessibleInterface(&button)->state().checked, on);
    }
  }
}

TEST(SwitchButtonWidget, SpaceTogglesAndOnlyTheUserIsReported) {
  testapp::ensureWidgetApp();
  SwitchButton button;
  button.setAccessibleName("Show in menu bar");
  std::vector<bool> reported;
  button.onToggled([&](bool on) { reported.push_back(on); });
  button.setOn(true);
  EXPECT_TRUE(reported.empty());
  press(button, Qt::Key_Space);
  EXPECT_EQ(reported, std::vector<bool>{false});
  EXPECT_FALSE(button.isOn());
  EXPECT_EQ(button.focusPolicy(), Qt::StrongFocus);

  button.setOn(true);
  QAccessibleInterface* seen = QAccessible::queryAccessibleInterface(&button);
  ASSERT_NE(seen, nullptr);
  EXPECT_EQ(seen->text(QAccessible::Name), "Show in menu bar");
  EXPECT_TRUE(seen->state().checkable);
  EXPECT_TRUE(seen->state().checked);
}

TEST(SegmentedControlWidget, ChoosesByClickAndArrowsAndKeepsItsSelection) {
  testapp::ensureWidgetApp();
  SegmentedControl control({"Slow", "Normal", "Fast"});
  QStringList chosen;
  control.onSelected([&](const QString& name) { chosen << name; });
  control.setSelected("Normal");
  EXPECT_TRUE(chosen.isEmpty());
  EXPECT_EQ(control.selected(), "Normal");

  press(control, Qt::Key_Right);
  press(control, Qt::Key_Right);  // already the last
  EXPECT_EQ(chosen, QStringList{"Fast"});
  const auto segment = [&](const QString& name) {
    for (QAbstractButton* button : control.findChildren<QAbstractButton*>())
      if (button->text() == name) return button;
    return static_cast<QAbstractButton*>(nullptr);
  };
  segment("Slow")->click();
  segment("Slow")->click();  // the selected one again
  EXPECT_EQ(chosen, QStringList({"Fast", "Slow"}));
  press(control, Qt::Key_Left);
  EXPECT_EQ(chosen.size(), 2);

  control.setSegments({"Slow", "Normal", "Fast", "Custom"});
  EXPECT_EQ(control.selected(), "Slow");
  control.setSegments({"Normal", "Fast"});
  EXPECT_EQ(control.selected(), "");
  EXPECT_EQ(control.sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
}

TEST(SegmentedControlWidget, AccessibilityActionsChooseAsAClickDoes) {
  testapp::ensureWidgetApp();
  SegmentedControl control({"Slow", "Normal", "Fast"});
  QStringList chosen;
  control.onSelected([&](const QString& name) { chosen << name; });
  control.setSelected("Normal");
  std::map<QString, QAbstractButton*> segments;
  for (QAbstractButton* button : control.findChildren<QAbstractButton*>())
    segments[button->text()] = button;
  const auto checked = [&] {
    QStringList names;
    for (const auto& [name, button] : segments)
      if (QAccessible::queryAccessibleInterface(button)->state().checked) names << name;
    return names;
  };
  const QStringList actions = changingActions(*segments["Fast"]);
  ASSERT_FALSE(actions.isEmpty());
  for (const QString& action : actions) {
    SCOPED_TRACE(action.toStdString());
    chosen.clear();
    control.setSelected("Normal");
    act(*segments["Fast"], action);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chosen.isEmpty(); }, 2000));
    EXPECT_EQ(chosen, QStringList{"Fast"});
    EXPECT_EQ(control.selected(), "Fast");
    EXPECT_EQ(checked(), QStringList{"Fast"});
    // The chosen segment again: it stays chosen and nothing is reported.
    act(*segments["Fast"], action);
    QTest::qWait(150);
    EXPECT_EQ(chosen, QStringList{"Fast"});
    EXPECT_EQ(checked(), QStringList{"Fast"});
  }
}

TEST(ProblemListWidget, TakesNoSpaceWhenEmptyAndKeepsRowsByText) {
  testapp::ensureWidgetApp();
  QWidget page;
  auto* layout = new QVBoxLayout(&page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(10);
  auto* above = new QWidget;
  above->setFixedHeight(20);
  auto* list = new ProblemList;
  layout->addWidget(above);
  layout->addWidget(list);
  layout->activate();
  EXPECT_EQ(page.sizeHint().height(), 20);

  list->setProblems({"First problem.", "Second problem."});
  layout->activate();
  EXPECT_GT(page.sizeHint().height(), 20 + 10 + 2 * 12);
  EXPECT_EQ(list->problems(), QStringList({"First problem.", "Second problem."}));
  const auto rowOf = [&](const QString& text) {
    for (QLabel* label : list->findChildren<QLabel*>())
      if (label->text() == text) return label->parentWidget();
    return static_cast<QWidget*>(nullptr);
  };
  QWidget* kept = rowOf("Second problem.");
  list->setProblems({"Second problem.", "Third problem."});
  EXPECT_EQ(rowOf("Second problem."), kept);
  EXPECT_EQ(rowOf("First problem."), nullptr);
  EXPECT_EQ(list->problems(), QStringList({"Second problem.", "Third problem."}));

  list->setProblems({});
  layout->activate();
  EXPECT_EQ(page.sizeHint().height(), 20);
}

TEST(FormSectionWidget, RowsThatHideOrGoTakeTheirPaddingWithThem) {
  testapp::ensureWidgetApp();
  FormSection section;
  const auto fixedRow = [] {
    auto* row = new QWidget;
    row->setFixedHeight(20);
    return row;
  };
  QWidget* first = fixedRow();
  QWidget* second = fixedRow();
  section.addRow(first);
  section.addRow(second);
  auto* problems = new ProblemList;
  section.addRow(problems);
  section.show();
  const auto height = [&] {
    QCoreApplication::processEvents();
    return section.sizeHint().height();
  };
  const int both = height();
  second->hide();
  const int one = height();
  EXPECT_EQ(both - one, 20 + 2 * 8);
  second->show();
  EXPECT_EQ(height(), both);
  problems->setProblems({"A problem."});
  EXPECT_GT(height(), both);
  section.removeRow(problems);
  EXPECT_EQ(height(), both);
  section.removeRow(first);
  section.removeRow(second);
  EXPECT_EQ(height(), 0);  // no rows, no box, no texts
}

TEST(StatusLineWidget, ShowsTheCheckOrTheWarning) {
  testapp::ensureWidgetApp();
  StatusLine line(false, "Keyboard access", "Not allowed yet.");
  EXPECT_EQ(line.symbol()->symbol(), "exclamationmark.triangle.fill");
  EXPECT_EQ(line.symbol()->namedColour(), Colour::orange);
  line.setStatus(true, "Keyboard access", "Allowed.");
  EXPECT_EQ(line.symbol()->symbol(), "checkmark.circle.fill");
  EXPECT_EQ(line.symbol()->namedColour(), Colour::green);
}

TEST(IconTileGeometry, ScalesWithTheEdge) {
  for (double edge : {20.0, 32.0, 64.0}) {
    const QRectF square(3, 5, edge, edge);
    const IconTileGeometry g = iconTileGeometry("gearshape.fill", square);
    EXPECT_NEAR(g.symbolPixels, 0.55 * edge, 1e-9);
    EXPECT_NEAR(g.cornerRadius, 0.24 * edge, 1e-9);
    EXPECT_NEAR(g.symbolBox.center().x(), square.center().x(), 1e-9);
    EXPECT_NEAR(g.symbolBox.center().y(), square.center().y(), 1e-9);
  }
  const IconTileGeometry twenty = iconTileGeometry("info.circle.fill", QRectF(0, 0, 20, 20));
  EXPECT_DOUBLE_EQ(twenty.symbolPixels, 11);
  EXPECT_DOUBLE_EQ(twenty.cornerRadius, 4.8);
}

// The alpha of `image` at a point given in the symbol's own box, scaled to the image.
int alphaAt(const QImage& image, QPointF point, QSizeF box) {
  const double scale = std::min(image.width() / box.width(), image.height() / box.height());
  const QPointF offset((image.width() - box.width() * scale) / 2,
                       (image.height() - box.height() * scale) / 2);
  const QPointF at = offset + point * scale;
  return image.pixelColor(static_cast<int>(at.x()), static_cast<int>(at.y())).alpha();
}

TEST(Symbols, EveryNameIsDrawnAndCutOutsShowWhatIsBehind) {
  testapp::ensureWidgetApp();
  struct Row {
    const char* name;
    QPointF solid;  // in the symbol's box at a font size of 20
    std::optional<QPointF> hole;
  };
  const Row rows[] = {
      {"checkmark.circle.fill", {10, 3}, QPointF(8.7, 13.4)},
      {"exclamationmark.triangle.fill", {11, 17.5}, QPointF(11, 10)},
      {"exclamationmark.triangle", {11, 2}, QPointF(7, 15)},
      {"xmark.octagon.fill", {10, 3}, QPointF(10, 10)},
      {"hand.point.up.left.fill", {4, 4}, {}},
      {"scroll.fill", {9, 5}, QPointF(9, 8)},
      {"cursorarrow.motionlines", {3, 8.2}, {}},
      {"gearshape.fill", {10, 5}, QPointF(10, 10)},
      {"info.circle.fill", {4, 10}, QPointF(10, 12)},
      {"xmark", {8, 8}, QPointF(8, 2)},
      {"arrow.uturn.backward", {10, 6}, QPointF(10, 10.5)},
      {"xmark.circle.fill", {10, 3}, QPointF(10, 10)},
      {"lock.fill", {8, 14}, QPointF(8, 6)},
      {"hand.raised.fill", {9, 14}, {}},
      {"cursorarrow", {2, 8}, QPointF(10, 4)},
      {"magnifyingglass", {8.2, 2.3}, QPointF(8.2, 8.2)},
      {"app.dashed", {1.5, 6}, QPointF(10, 10)},
      {"minus.circle.fill", {10, 3}, QPointF(10, 10)},
      {"checkmark", {6.8, 13.3}, QPointF(3, 3)},
  };
  EXPECT_FALSE(hasSymbol("no.such.symbol"));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(hasSymbol(row.name));
    const QSizeF box = symbolSize(row.name, 20);
    QImage image((box * 4).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter painter(&image);
      paintSymbol(painter, row.name, QRectF(QPointF(0, 0), box * 4), Qt::black);
    }
    EXPECT_GT(alphaAt(image, row.solid, box), 200);
    if (row.hole) {
      EXPECT_LT(alphaAt(image, *row.hole, box), 40);
    }
    // Small sizes still draw something.
    EXPECT_FALSE(symbolIcon(row.name, Qt::black, 11).pixmap(11, 11).toImage().isNull());
  }
}

TEST_F(ModelTest, SearchAnchorTintsOnlyForItsOwnId) {
  AppModel& m = make();
  struct Row {
    std::optional<std::string> highlighted;
    double tint;
  };
  const Row rows[] = {{std::nullopt, 0}, {"entry.click", 0}, {"entry.cursor", anchorOpacity}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.highlighted.value_or("none"));
    m.setHighlightedSetting(row.highlighted);
    QWidget page;
    auto* layout = new QVBoxLayout(&page);
    layout->setContentsMargins(20, 20, 20, 20);
    auto* anchor = new SearchAnchor(m, "entry.cursor", new QLabel("Start"));
    layout->addWidget(anchor);
    EXPECT_EQ(anchor->content()->objectName(), "entry.cursor");
    EXPECT_DOUBLE_EQ(anchor->tintOpacity(), row.tint);

    page.resize(200, 100);
    page.show();
    // Just outside the content, inside the 6 beyond it.
    const QImage picture = page.grab().toImage();
    const QPoint ring = anchor->geometry().topLeft() + QPoint(-3, anchor->height() / 2);
    const QColor behind = page.palette().color(QPalette::Window);
    EXPECT_EQ(picture.pixelColor(ring) != behind, row.tint > 0);
  }

  // Shown and then highlighted, the tint fades in.
  m.setHighlightedSetting(std::nullopt);
  QWidget page;
  auto* layout = new QVBoxLayout(&page);
  auto* anchor = new SearchAnchor(m, "entry.scroll", new QLabel("Start"));
  layout->addWidget(anchor);
  page.show();
  m.setHighlightedSetting("entry.scroll");
  QElapsedTimer waited;
  waited.start();
  while (anchor->tintOpacity() < anchorOpacity && waited.elapsed() < 10'000)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_DOUBLE_EQ(anchor->tintOpacity(), anchorOpacity);
}

}  // namespace
}  // namespace tovrel::settings
