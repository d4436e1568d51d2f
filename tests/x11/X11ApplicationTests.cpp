#include "platform/x11/session/X11Application.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextEdit>
#include <QVBoxLayout>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/x11/session/X11Workspace.hpp"
#include "tests/x11/OffscreenApp.hpp"

namespace tovrel::platform::x11 {
namespace {

class ShortcutField : public QLineEdit, public SuspendsNavigation {
 public:
  using QLineEdit::QLineEdit;
};
class RecorderPanel : public QWidget, public SuspendsNavigation {
 public:
  using QWidget::QWidget;
};

class ApplicationResponder : public testing::Test {
 protected:
  void SetUp() override {
    if (!offscreenWidgetApp()) GTEST_SKIP() << "another test made a non-widget application";
  }

  template <class W>
  W* add(QWidget& parent, const std::function<void(W&)>& setup = {}) {
    auto* widget = new W(&parent);
    if (setup) setup(*widget);
    parent.layout()->addWidget(widget);
    return widget;
  }
};

TEST_F(ApplicationResponder, TextInputsAreTheWidgetsThatTakeTypedText) {
  QWidget window;
  window.setLayout(new QVBoxLayout);
  auto* readOnlySpin = add<QSpinBox>(window, [](QSpinBox& spin) { spin.setReadOnly(true); });
  auto* spin = add<QSpinBox>(window);
  auto* editableCombo = add<QComboBox>(window, [](QComboBox& combo) { combo.setEditable(true); });
  auto* textEdit = add<QTextEdit>(window);
  auto* plain = add<QPlainTextEdit>(window);
  struct Case {
    std::string name;
    const QWidget* widget;
    bool text;
  };
  const std::vector<Case> cases = {
      {"line", add<QLineEdit>(window), true},
      {"read-only line", add<QLineEdit>(window, [](QLineEdit& l) { l.setReadOnly(true); }), true},
      {"text area", textEdit, true},
      {"its viewport", textEdit->viewport(), true},
      {"plain text area", plain, true},
      {"its viewport", plain->viewport(), true},
      {"spin box", spin, true},
      {"its line", spin->findChild<QLineEdit*>(), true},
      {"read-only spin box", readOnlySpin, false},
      {"its line", readOnlySpin->findChild<QLineEdit*>(), false},
      {"date edit", add<QDateTimeEdit>(window), true},
      {"editable combo box", editableCombo, true},
      {"its line", editableCombo->lineEdit(), true},
      {"plain combo box", add<QComboBox>(window), false},
      {"button", add<QPushButton>(window), false},
      {"label", add<QLabel>(window), false},
      {"the window", &window, false},
  };
  for (const Case& each : cases) {
    ASSERT_NE(each.widget, nullptr) << each.name;
    EXPECT_EQ(responder::isTextInput(*each.widget), each.text) << each.name;
  }
}

TEST_F(ApplicationResponder, ASuspenderCountsOnTheFocusOrAnAncestorUpToTheWindowOnly) {
  RecorderPanel outer;
  outer.setLayout(new QVBoxLayout);
  auto* window = add<QWidget>(outer, [](QWidget& w) { w.setLayout(new QVBoxLayout); });
  auto* panel = add<RecorderPanel>(*window, [](QWidget& w) { w.setLayout(new QVBoxLayout); });
  auto* inPanel = add<QPushButton>(*panel);
  auto* field = add<ShortcutField>(*window);
  auto* line = add<QLineEdit>(*window);

  EXPECT_EQ(responder::describe(*field, window), (FirstResponder{true, true}));
  EXPECT_EQ(responder::describe(*inPanel, window), (FirstResponder{false, true}));
  // The suspender above the window is outside it.
  EXPECT_EQ(responder::describe(*line, window), (FirstResponder{true, false}));
  EXPECT_EQ(responder::describe(*line, &outer), (FirstResponder{true, true}));
}

TEST(ActivationTarget, TheTopmostShownOrdinaryWindowOfTheProcessElseItsTopmostHiddenOne) {
  using windowList::Candidate;
  const std::optional<int> normal = windowList::normalLayer, floating = windowList::floatingLayer,
                           dock = windowList::dockLayer, popUp = windowList::popUpLayer;
  // Bottom to top; the process asked for is 7.
  const std::vector<std::pair<std::vector<Candidate>, unsigned long>> cases = {
      {{{1, 8, normal, false}, {2, std::nullopt, normal, false}}, 0},
      {{{1, 7, normal, false}, {2, 7, floating, false}, {3, 8, normal, false}}, 2},
      {{{1, 7, normal, false}, {2, 7, dock, false}, {3, 7, popUp, false}, {4, 7, {}, false}}, 1},
      {{{1, 7, normal, false}, {2, 7, normal, true}}, 1},
      {{{1, 7, normal, true}, {2, 7, normal, true}, {3, 8, normal, false}}, 2},
  };
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(windowList::activationTarget(cases[i].first, 7), cases[i].second) << "case " << i;
}

}  // namespace
}  // namespace tovrel::platform::x11
