// The session's notifications and the program's own standing, from the real desktop: the screen
// saver's signal on the session bus, applications coming to the front and quitting, monitors
// added and removed, and the focus inside this program's own windows.

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleHints>
#include <QVBoxLayout>
#include <QWidget>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/x11/X11Desktop.hpp"
#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/FixtureHarness.hpp"
#include "tests/desktop/QtTestApp.hpp"

// After Qt: X's headers define macros that break Qt's.
#include <X11/Xlib.h>

// Fontconfig leaks a little of its configuration the first time our widgets lay out text.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace tovrel::desktoptest {
namespace {

using platform::FirstResponder;
using platform::NotificationCenter;
using platform::NotificationInfo;
using platform::SystemNotification;

class SystemEventsTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qtApp();
    x11_ = platform::x11::X11Desktop::open();
    ASSERT_NE(x11_, nullptr);
  }

  void TearDown() override {
    observations_.clear();
    windows_.clear();
    x11_.reset();
    DesktopTest::TearDown();
  }

  platform::Platform& platform() { return x11_->platform(); }

  // Every such notification from now on, as it arrives.
  const std::vector<NotificationInfo>& record(NotificationCenter center,
                                              SystemNotification notification,
                                              std::function<void()> also = {}) {
    auto list = std::make_shared<std::vector<NotificationInfo>>();
    lists_.push_back(list);
    observations_.push_back(platform().systemEvents.observe(
        center, notification, [list, also = std::move(also)](const NotificationInfo& info) {
          list->push_back(info);
          if (also) also();
        }));
    return *list;
  }

  // A window of this process, shown and known to the server; it lives as long as the test.
  std::pair<QWidget*, WindowId> ownWindow(const QString& title, int x, Qt::WindowFlags flags = {}) {
    auto* window = windows_.emplace_back(std::make_unique<QWidget>(nullptr, flags)).get();
    window->setWindowTitle(title);
    window->setGeometry(x, 420, 240, 120);
    window->setLayout(new QVBoxLayout);
    window->show();
    const auto found = desktop().waitForWindow(title.toStdString(), getpid());
    EXPECT_TRUE(found.has_value()) << "no window \"" << title.toStdString() << "\"";
    return {window, found.value_or(0)};
  }

  std::unique_ptr<platform::x11::X11Desktop> x11_;
  std::vector<std::shared_ptr<std::vector<NotificationInfo>>> lists_;
  std::vector<std::unique_ptr<platform::Observation>> observations_;
  std::vector<std::unique_ptr<QWidget>> windows_;
};

bool emitScreenSaver(const std::string& interface, bool active) {
  std::string path = "/" + interface;
  std::replace(path.begin(), path.end(), '.', '/');
  const std::string command = "dbus-send --session --type=signal " + path + " " + interface +
                              ".ActiveChanged boolean:" + (active ? "true" : "false");
  return std::system(command.c_str()) == 0;
}

TEST_F(SystemEventsTest, TheScreenSaverStartingArrivesAsScreensDidSleep) {
  const auto& slept = record(NotificationCenter::workspace, SystemNotification::screensDidSleep);
  // One round trip on the same connection: the bus has our subscription before anyone signals.
  QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.DBus");

  ASSERT_TRUE(emitScreenSaver("org.gnome.ScreenSaver", false));
  ASSERT_TRUE(emitScreenSaver("org.freedesktop.ScreenSaver", true));
  EXPECT_TRUE(pumpUntil([&] { return !slept.empty(); }, 5s));
  ASSERT_TRUE(emitScreenSaver("org.gnome.ScreenSaver", true));
  EXPECT_TRUE(pumpUntil([&] { return slept.size() >= 2; }, 5s));
  EXPECT_EQ(slept.size(), 2u) << "the screen saver stopping counted too";
}

TEST_F(SystemEventsTest, AnApplicationInFrontIsReportedOnceAndItsEndAfterwards) {
  std::string error;
  auto fixture = FixtureApp::start({}, &error);
  ASSERT_NE(fixture, nullptr) << error;
  const pid_t fixturePid = fixture->pid();
  const auto [one, oneId] = ownWindow("Tovrel events one", 40);
  const auto [two, twoId] = ownWindow("Tovrel events two", 400);
  ASSERT_TRUE(oneId != 0 && twoId != 0);
  // The fixture in front when watching starts: known, not news.
  const auto fixtureWindow = desktop().waitForWindow("Tovrel Fixture", fixturePid);
  ASSERT_TRUE(fixtureWindow.has_value());
  ASSERT_TRUE(desktop().focus(*fixtureWindow));
  platform::ApplicationServices& application = platform().application;
  ASSERT_TRUE(pumpUntil(
      [&] {
        return platform().workspace.frontmostApplicationPid() == fixturePid &&
               !application.isActive() && !application.hasKeyWindow();
      },
      5s));

  const auto& activated =
      record(NotificationCenter::workspace, SystemNotification::didActivateApplication);
  const auto& ended =
      record(NotificationCenter::workspace, SystemNotification::didTerminateApplication);
  const auto& becameActive =
      record(NotificationCenter::application, SystemNotification::didBecomeActive);

  ASSERT_TRUE(desktop().focus(oneId));
  ASSERT_TRUE(pumpUntil([&] { return !activated.empty(); }, 5s));
  EXPECT_EQ(activated[0].pid, getpid());
  EXPECT_TRUE(pumpUntil([&] { return !becameActive.empty() && application.isActive(); }));
  // The other window of the same application.
  ASSERT_TRUE(desktop().focus(twoId));
  EXPECT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == two; }));

  EXPECT_FALSE(application.activate(getppid())) << "a process without windows";
  ASSERT_TRUE(application.activate(fixturePid));
  // Notifications come in order: a repeat for the second window would have come first.
  ASSERT_TRUE(pumpUntil([&] { return activated.size() >= 2; }, 5s));
  ASSERT_EQ(activated.size(), 2u);
  const auto app = platform().workspace.application(fixturePid);
  ASSERT_TRUE(app.has_value());
  EXPECT_EQ(activated[1],
            (NotificationInfo{fixturePid, app->bundleIdentifier, app->localizedName}));
  EXPECT_EQ(platform().workspace.frontmostApplicationPid(), fixturePid);
  EXPECT_TRUE(pumpUntil([&] { return !application.isActive() && !application.hasKeyWindow(); }));

  // A window of ours that bypasses the manager taking the focus (as the key catcher does) brings
  // no application forward: the next application reported is the next one activated.
  const auto [bypass, bypassId] =
      ownWindow("Tovrel events bypass", 700,
                Qt::Tool | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
  ASSERT_NE(bypassId, 0u);
  XSetInputFocus(desktop().display(), bypassId, RevertToParent, CurrentTime);
  ASSERT_TRUE(pumpUntil([&] {
    return desktop().hasFocus(bypassId) && QGuiApplication::focusWindow() == bypass->windowHandle();
  }));
  pump(100ms);  // lets the watcher see this focus apart from the next
  auto receiver = startReceiver({"Tovrel events receiver", 700, 300});
  ASSERT_NE(receiver, nullptr);
  ASSERT_TRUE(receiver->activate());
  ASSERT_TRUE(pumpUntil([&] { return activated.size() >= 3; }, 5s));
  EXPECT_EQ(activated[2].pid, receiver->pid());

  EXPECT_GE(fixture->stop(), 0);
  ASSERT_TRUE(pumpUntil([&] { return !ended.empty(); }, 5s));
  EXPECT_EQ(ended[0], activated[1]) << "the end is told with what was known of it";
}

TEST_F(SystemEventsTest, AMonitorAddedAndRemovedArrivesAsScreenParameterChanges) {
  auto xrandr = [](const std::string& arguments) {
    return std::system(("xrandr " + arguments + " >/dev/null 2>&1").c_str()) == 0;
  };
  // How many displays the list held when each notice came.
  std::vector<std::size_t> seen;
  record(NotificationCenter::application, SystemNotification::didChangeScreenParameters,
         [&] { seen.push_back(platform().displays.activeDisplayBounds().size()); });
  if (!xrandr("--setmonitor Left 400/100x800/200+0+0 none") ||
      !xrandr("--setmonitor '*Right' 880/200x800/200+400+0 screen"))
    GTEST_SKIP() << "xrandr cannot define monitors here";
  const bool split = pumpUntil([&] { return !seen.empty() && seen.back() == 2; }, 5s);
  xrandr("--delmonitor Left");
  xrandr("--delmonitor Right");
  EXPECT_TRUE(split) << "no notice with both monitors listed";
  EXPECT_TRUE(pumpUntil([&] { return !seen.empty() && seen.back() == 1; }, 5s))
      << "no notice once the monitors were gone";
}

// Hiding or showing the pointer sends a request, and sending reads the display list's connection:
// a change that had just come is taken in with it, and nothing more arrives to wake the main loop.
TEST_F(SystemEventsTest, AMonitorChangeThatCameJustBeforeThePointerHidesOrShowsIsStillNews) {
  auto xrandr = [](const std::string& arguments) {
    return std::system(("xrandr " + arguments + " >/dev/null 2>&1").c_str()) == 0;
  };
  std::vector<std::size_t> seen;
  record(NotificationCenter::application, SystemNotification::didChangeScreenParameters,
         [&] { seen.push_back(platform().displays.activeDisplayBounds().size()); });
  platform::DisplayServices& displays = platform().displays;
  const std::size_t whole = displays.activeDisplayBounds().size();
  struct Step {
    std::vector<std::string> xrandr;
    std::size_t displays;
    std::function<void()> read;
  };
  const Step steps[] = {
      {{"--setmonitor Left 400/100x800/200+0+0 none",
        "--setmonitor '*Right' 880/200x800/200+400+0 screen"},
       2,
       [&] { displays.hideCursor(); }},
      {{"--delmonitor Left", "--delmonitor Right"}, whole, [&] { displays.showCursor(); }},
  };
  for (const Step& step : steps) {
    for (const std::string& arguments : step.xrandr)
      if (!xrandr(arguments)) {
        xrandr("--delmonitor Left");
        xrandr("--delmonitor Right");
        if (step.displays == 2) GTEST_SKIP() << "xrandr cannot define monitors here";
        FAIL() << "xrandr " << arguments;
      }
    // xrandr ends with a round trip, by which time the server has sent the change out; ours
    // makes sure it has not been read yet.
    desktop().sync();
    const std::size_t mark = seen.size();
    step.read();
    EXPECT_TRUE(pumpUntil([&] { return seen.size() > mark && seen.back() == step.displays; }))
        << "no notice with " << step.displays << " displays listed";
  }
}

TEST_F(SystemEventsTest, TheFocusReadsAsTheResponderAndActivationAfterALostWindowIsNews) {
  const auto [window, id] = ownWindow("Tovrel events responder", 120);
  ASSERT_NE(id, 0u);
  auto* line = new QLineEdit(window);
  auto* button = new QPushButton("Press", window);
  button->setFocusPolicy(Qt::StrongFocus);
  window->layout()->addWidget(line);
  window->layout()->addWidget(button);
  ASSERT_TRUE(desktop().focus(id));
  platform::ApplicationServices& application = platform().application;
  ASSERT_TRUE(pumpUntil([&] { return application.isActive() && application.hasKeyWindow(); }));

  line->setFocus();
  EXPECT_EQ(application.firstResponder(), (FirstResponder{true, false}));
  button->setFocus();
  EXPECT_EQ(application.firstResponder(), (FirstResponder{false, false}));
  line->setFocus();
  application.resignFirstResponder();
  EXPECT_EQ(application.firstResponder(), std::nullopt);
  EXPECT_FALSE(line->hasFocus());
  EXPECT_TRUE(application.hasKeyWindow());
  EXPECT_NEAR(application.doubleClickInterval(),
              QGuiApplication::styleHints()->mouseDoubleClickInterval() / 1000.0, 1e-9);

  // Qt stays "active" when the focused window is destroyed and reports no new activation; the
  // next focus of ours is still news.
  const auto& becameActive =
      record(NotificationCenter::application, SystemNotification::didBecomeActive);
  const auto [doomed, doomedId] = ownWindow("Tovrel events doomed", 500);
  ASSERT_TRUE(desktop().focus(doomedId));
  ASSERT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == doomed; }));
  windows_.pop_back();
  ASSERT_TRUE(desktop().focus(id));
  EXPECT_TRUE(pumpUntil([&] { return becameActive.size() == 1 && application.isActive(); }));
}

}  // namespace
}  // namespace tovrel::desktoptest
