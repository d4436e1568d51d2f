#include "platform/atspi/QtSelfAccessibility.hpp"

#include <gtest/gtest.h>

#include <QAccessibleWidget>
#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>
#include <atomic>
#include <deque>
#include <thread>
#include <utility>

#include "platform/x11/RootOrigin.hpp"
#include "tests/x11/OffscreenApp.hpp"

// Fontconfig leaks a little of its configuration the first time our widgets lay out text.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace tovrel::platform::atspi {
namespace {

// Lets the main loop run until `done` holds; the limit only keeps a broken build from hanging.
bool pumpUntil(const std::function<bool()>& done) {
  for (QDeadlineTimer limit(10000); !done() && !limit.hasExpired();)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

template <class T>
T get(const AXElement& element, std::string_view name) {
  auto value = element.attribute(name);
  return value.ok() && std::holds_alternative<T>(value.value()) ? std::get<T>(value.value()) : T{};
}
std::string text(const AXElement& element, std::string_view name) {
  return get<std::string>(element, name);
}

// The element's frame in root pixels (the root origin added back).
QRect frameOf(const AXElement& element) {
  const auto position = get<Point>(element, "AXPosition");
  const auto size = get<AXSize>(element, "AXSize");
  return QRect(x11::rootOrigin::rootX(int(position.x)), x11::rootOrigin::rootY(int(position.y)),
               int(size.width), int(size.height));
}

// Breadth-first through the visible tree.
AXElement titled(const AXElement& root, std::string_view title) {
  std::deque<AXElement> queue{root};
  for (int visited = 0; !queue.empty() && visited < 500; ++visited) {
    AXElement element = std::move(queue.front());
    queue.pop_front();
    if (text(element, "AXTitle") == title) return element;
    for (auto& child : get<std::vector<AXElement>>(element, "AXChildren"))
      queue.push_back(child);
  }
  return {};
}

// Offers a scripted set of actions, records those run and the threads its name is read on.
class ScriptedAccessible : public QAccessibleWidget {
 public:
  using QAccessibleWidget::QAccessibleWidget;
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) threads.push_back(QThread::currentThread());
    return QAccessibleWidget::text(t);
  }
  QStringList actionNames() const override {
    return {pressAction(),    toggleAction(),   increaseAction(),
            decreaseAction(), showMenuAction(), "Custom"};
  }
  void doAction(const QString& name) override { performed.push_back(name); }
  static inline std::vector<QThread*> threads;
  static inline QStringList performed;
};

bool scriptNext = false;  // the factory scripts the next button asked for
QAccessibleInterface* scriptedFactory(const QString&, QObject* object) {
  auto* button = qobject_cast<QPushButton*>(object);
  if (button == nullptr || !std::exchange(scriptNext, false)) return nullptr;
  return new ScriptedAccessible(button, QAccessible::Button);
}

class QtSelfAccessibility : public testing::Test {
 protected:
  void SetUp() override {
    if (!platform::x11::offscreenWidgetApp())
      GTEST_SKIP() << "another test made a non-widget application";
    QAccessible::setActive(true);
    window_ = std::make_unique<QWidget>();
    window_->setWindowTitle("Settings");
    auto* label = new QLabel("Your name:");
    label->setBuddy(edit_ = new QLineEdit);
    edit_->setAccessibleName("Name");
    edit_->setPlaceholderText("First and last");
    (disabled_ = new QPushButton("Disabled"))->setEnabled(false);
    (spin_ = new QSpinBox)->setAccessibleName("Count");
    (scroll_ = new QScrollArea)->setAccessibleName("Scroller");
    scroll_->setWidget(new QLabel("Inside"));
    increment_ = new QPushButton("Increment");
    QObject::connect(increment_, &QPushButton::clicked, [this] { ++clicks_; });
    check_ = new QCheckBox("Remember");
    hidden_ = new QPushButton("Hidden");
    auto* layout = new QVBoxLayout(window_.get());
    for (QWidget* widget : std::initializer_list<QWidget*>{increment_, label, edit_, check_,
                                                           disabled_, spin_, scroll_, hidden_})
      layout->addWidget(widget);
    window_->setGeometry(140, 90, 320, 420);
    window_->show();
    hidden_->hide();
    window_->activateWindow();
    pumpUntil([&] { return QGuiApplication::focusWindow() == window_->windowHandle(); });
    app_ = selfApplication(static_cast<std::int32_t>(QCoreApplication::applicationPid()));
  }

  void TearDown() override { x11::rootOrigin::set(0, 0); }

  AXElement scripted() {
    QAccessible::installFactory(scriptedFactory);
    scriptNext = true;
    auto* button = new QPushButton(window_.get());
    button->setAccessibleName("Scripted");
    button->show();
    AXElement element = titled(app_, "Scripted");
    QAccessible::removeFactory(scriptedFactory);
    ScriptedAccessible::threads.clear();
    ScriptedAccessible::performed.clear();
    return element;
  }

  std::unique_ptr<QWidget> window_;
  QPushButton *increment_, *disabled_, *hidden_;
  QLineEdit* edit_;
  QCheckBox* check_;
  QSpinBox* spin_;
  QScrollArea* scroll_;
  int clicks_ = 0;
  AXElement app_;
};

TEST_F(QtSelfAccessibility, TheApplicationShowsOnlyVisibleWindowsAndWidgets) {
  EXPECT_EQ(text(app_, "AXRole"), "AXApplication");
  const AXElement window = titled(app_, "Settings");
  EXPECT_EQ(text(window, "AXRole"), "AXWindow");
  EXPECT_EQ(text(window, "AXSubrole"), "AXStandardWindow");
  EXPECT_EQ(get<AXElement>(window, "AXParent"), app_);
  EXPECT_EQ(get<AXElement>(app_, "AXMainWindow"), window);
  EXPECT_EQ(get<AXElement>(app_, "AXFocusedWindow"), window);
  EXPECT_EQ(window.pid(), QCoreApplication::applicationPid());
  EXPECT_EQ(app_.setAttribute("AXManualAccessibility", true), AXError::attributeUnsupported);
  // The eight widgets less the hidden one, until it is shown.
  EXPECT_EQ(get<std::vector<AXElement>>(window, "AXChildren").size(), 7u);
  EXPECT_FALSE(titled(app_, "Hidden"));
  hidden_->show();
  EXPECT_TRUE(titled(app_, "Hidden"));
  for (int shown : {1, 0}) {
    const auto windows = get<std::vector<AXElement>>(app_, "AXWindows");
    EXPECT_EQ(std::count(windows.begin(), windows.end(), window), shown);
    window_->hide();
  }
}

TEST_F(QtSelfAccessibility, ElementsCarryTheirWidgetsRoleStateAndFrame) {
  x11::rootOrigin::set(40, 25);  // a monitor left of and above the primary one
  struct Row {
    QWidget* widget;
    const char* title;
    const char* role;
    bool enabled;
    bool wholeWidget;  // a check box reports only its box and text, not the stretched widget
  };
  for (auto [widget, title, role, enabled, wholeWidget] : {
           Row{increment_, "Increment", "AXButton", true, true},
           Row{edit_, "Name", "AXTextField", true, true},
           Row{check_, "Remember", "AXCheckBox", true, false},
           Row{disabled_, "Disabled", "AXButton", false, true},
           Row{spin_, "Count", "AXIncrementor", true, true},
           Row{scroll_, "Scroller", "AXScrollArea", true, true},
       }) {
    SCOPED_TRACE(title);
    const AXElement element = titled(app_, title);
    EXPECT_EQ(text(element, "AXRole"), role);
    EXPECT_EQ(get<bool>(element, "AXEnabled"), enabled);
    const QRect frame = frameOf(element), geometry(widget->mapToGlobal(QPoint()), widget->size());
    EXPECT_TRUE(wholeWidget ? frame == geometry : geometry.contains(frame) && !frame.isEmpty());
  }
  edit_->setText("Ada");
  const AXElement name = titled(app_, "Name");
  EXPECT_EQ(text(name, "AXValue"), "Ada");
  EXPECT_EQ(text(name, "AXPlaceholderValue"), "First and last");
  EXPECT_EQ(text(get<AXElement>(name, "AXTitleUIElement"), "AXValue"), "Your name:");
  EXPECT_EQ(text(name, "AXRoleDescription"), "text field");
  spin_->setValue(7);
  EXPECT_EQ(get<double>(titled(app_, "Count"), "AXValue"), 7.0);
}

TEST_F(QtSelfAccessibility, ActionsMapToAXNamesAndRunTheWidgets) {
  const AXElement increment = titled(app_, "Increment");
  EXPECT_EQ(increment.actionNames().value(), (std::vector<std::string>{"AXPress", "SetFocus"}));
  EXPECT_EQ(increment.performAction("AXPress"), AXError::success);
  EXPECT_TRUE(pumpUntil([&] { return clicks_ == 1; }));
  EXPECT_EQ(titled(app_, "Disabled").performAction("AXPress"), AXError::actionUnsupported);
  EXPECT_EQ(titled(app_, "Remember").performAction("AXPress"), AXError::success);
  EXPECT_TRUE(check_->isChecked());  // a toggle happens at once

  // Only the first press-like action is "AXPress"; the toggle after it keeps its own name.
  const AXElement element = scripted();
  EXPECT_EQ(element.actionNames().value(),
            (std::vector<std::string>{"AXPress", "Toggle", "AXIncrement", "AXDecrement",
                                      "AXShowMenu", "Custom"}));
  for (const char* action : {"AXPress", "Toggle", "AXIncrement", "AXDecrement", "AXShowMenu",
                             "Custom", "Increase", "AXCancel"})
    element.performAction(action);
  EXPECT_EQ(ScriptedAccessible::performed,
            (QStringList{"Press", "Toggle", "Increase", "Decrease", "ShowMenu", "Custom"}));
}

TEST_F(QtSelfAccessibility, HitTestFindsTheDeepestElementUnderAGlobalPoint) {
  x11::rootOrigin::set(-30, 10);
  auto at = [&](const QPoint& root) {
    return app_.elementAtPosition(float(x11::rootOrigin::globalX(root.x())),
                                  float(x11::rootOrigin::globalY(root.y())));
  };
  // The centre of each element's own frame leads back to it.
  for (const char* title : {"Increment", "Name", "Remember", "Disabled"}) {
    const AXElement element = titled(app_, title);
    EXPECT_EQ(at(frameOf(element).center()).optional(), std::optional(element)) << title;
  }
  const QWidget* inside = scroll_->widget();
  EXPECT_EQ(text(at(inside->mapToGlobal(inside->rect().center())).value(), "AXValue"), "Inside");
  EXPECT_EQ(app_.elementAtPosition(5000, 5000).error(), AXError::noValue);
  EXPECT_EQ(titled(app_, "Increment").elementAtPosition(0, 0).error(), AXError::illegalArgument);
}

TEST_F(QtSelfAccessibility, FocusAndSelectionFollowTheWidgetsBothWays) {
  edit_->setFocus();
  const AXElement name = titled(app_, "Name"), remember = titled(app_, "Remember");
  EXPECT_EQ(get<AXElement>(app_, "AXFocusedUIElement"), name);
  EXPECT_TRUE(get<bool>(name, "AXFocused"));
  EXPECT_EQ(remember.setAttribute("AXFocused", true), AXError::success);
  EXPECT_TRUE(check_->hasFocus());
  EXPECT_EQ(get<AXElement>(app_, "AXFocusedUIElement"), remember);
  EXPECT_EQ(remember.setAttribute("AXFocused", std::string("yes")), AXError::illegalArgument);

  auto* list = new QListWidget(window_.get());
  list->addItems({"One", "Two", "Three"});
  list->show();
  const AXElement two = titled(app_, "Two");
  EXPECT_EQ(text(two, "AXRole"), "AXRow");
  EXPECT_FALSE(get<bool>(two, "AXSelected"));
  EXPECT_EQ(two.setAttribute("AXSelected", true), AXError::success);
  EXPECT_TRUE(list->item(1)->isSelected() && get<bool>(two, "AXSelected"));
  EXPECT_EQ(titled(app_, "Three").setAttribute("AXSelected", 1.0), AXError::success);
  EXPECT_FALSE(list->item(1)->isSelected());  // a single-selection list moves its selection
  EXPECT_TRUE(list->item(2)->isSelected());
}

TEST_F(QtSelfAccessibility, ADeletedWidgetsElementFailsWithoutTouchingIt) {
  auto* doomed = new QPushButton("Doomed", window_.get());
  doomed->show();
  const AXElement element = titled(app_, "Doomed");
  ASSERT_TRUE(element);
  delete doomed;
  // A widget made next, possibly in the freed memory, is another element.
  (new QPushButton("Successor", window_.get()))->show();
  const AXElement next = titled(app_, "Successor");
  ASSERT_TRUE(next);
  for (AXError error :
       {element.attribute("AXRole").error(), element.attribute("AXChildren").error(),
        element.actionNames().error(), element.performAction("AXPress"),
        element.setAttribute("AXFocused", true), element.elementAtPosition(0, 0).error()})
    EXPECT_EQ(error, AXError::invalidUIElement);
  EXPECT_NE(element, next);
}

TEST_F(QtSelfAccessibility, ACallFromAnotherThreadIsAnsweredOnTheMainThread) {
  const AXElement element = scripted();
  std::atomic<bool> done = false;
  std::string title;
  AXError pressed = AXError::failure;
  std::thread worker([&] {
    title = text(element, "AXTitle");
    pressed = element.performAction("AXPress");
    done = true;
  });
  EXPECT_TRUE(pumpUntil([&] { return done.load(); }));
  worker.join();
  EXPECT_EQ(title, "Scripted");
  EXPECT_EQ(pressed, AXError::success);
  EXPECT_EQ(ScriptedAccessible::performed, QStringList{"Press"});
  ASSERT_FALSE(ScriptedAccessible::threads.empty());
  for (QThread* thread : ScriptedAccessible::threads)
    EXPECT_EQ(thread, QCoreApplication::instance()->thread());
}

}  // namespace
}  // namespace tovrel::platform::atspi
