// The program's life over the in-memory desktop: what each launch does, the orderly end, the
// status item and the settings window.

#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QTemporaryDir>

#include <optional>
#include <system_error>

#include "app/shell/AppDelegate.hpp"
#include "app/shell/SettingsWindow.hpp"
#include "app/shell/StatusItem.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeInstance.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::shell {
namespace {

using Claim = platform::InstanceServices::Claim;

class Launch {
 public:
  explicit Launch(launch::Arguments arguments, Claim claim = Claim::claimed) {
    testapp::ensureWidgetApp();
    // Settings and window frames stay in a folder of the test's own.
    qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
    qputenv("XDG_STATE_HOME", home.filePath("state").toUtf8());
    instance.claimAnswer = claim;
    arguments.insert(arguments.begin(), "tovrel");
    delegate = std::make_unique<AppDelegate>(
        std::move(arguments),
        ShellEnvironment{
            .loginItems = loginItems,
            .instance = instance,
            .termination = termination,
            .desktop = [this] { return &desktop.platform; },
            .exit = [this](int status) { exitStatus = status; },
            .printError = [this](const std::string& line) { errors.push_back(line); },
            .startupId = "this-launch_TIME7",
        });
  }
  ~Launch() { delegate.reset(); }

  // Both phases, as the event loop would run them.
  std::optional<int> run() {
    if (auto status = delegate->willFinishLaunching()) return status;
    delegate->didFinishLaunching();
    settle();
    return std::nullopt;
  }
  void settle() {
    desktop.settle();
    QCoreApplication::processEvents();
  }
  bool windowShown() {
    return delegate->settingsWindow() != nullptr && delegate->settingsWindow()->isVisible();
  }

  QTemporaryDir home;
  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  platform::fake::FakeInstanceServices instance;
  platform::fake::FakeTerminationSignals termination;
  std::unique_ptr<AppDelegate> delegate;
  std::optional<int> exitStatus;
  std::vector<std::string> errors;
};

TEST(AppDelegateTest, EachKindOfLaunch) {
  QTemporaryDir testDir;
  const std::string dir = testDir.path().toStdString();
  struct Row {
    const char* name;
    launch::Arguments arguments;
    Claim claim;
    bool otherAnswers;
    std::optional<int> earlyExit;  // before the event loop runs
    std::optional<int> exit;       // after launching finished
    bool model;
    bool window;
    int claims;
    int activations;
  };
  const Row rows[] = {
      {"normal", {}, Claim::claimed, true, {}, {}, true, true, 1, 0},
      {"second", {}, Claim::otherRunning, true, 0, {}, false, false, 1, 1},
      {"second, first silent", {}, Claim::otherRunning, false, 1, {}, false, false, 1, 1},
      {"self-test beside another",
       {"--self-test", dir},
       Claim::otherRunning,
       true,
       1,
       {},
       false,
       false,
       1,
       0},
      {"no session bus", {}, Claim::unavailable, true, {}, {}, true, true, 1, 0},
      {"at login", {"--launched-at-login"}, Claim::claimed, true, {}, {}, true, false, 1, 0},
      // A duplicate autostart entry: the running instance is left as it is.
      {"second at login",
       {"--launched-at-login"},
       Claim::otherRunning,
       true,
       0,
       {},
       false,
       false,
       1,
       0},
      {"tool without a handler",
       {"--self-scan", dir + "/scan.txt"},
       Claim::otherRunning,
       true,
       {},
       1,
       false,
       false,
       0,
       0},
      {"tool switch without its path",
       {"--self-scan"},
       Claim::otherRunning,
       true,
       0,
       {},
       false,
       false,
       1,
       1},
      {"self-test without a handler",
       {"--self-test", dir},
       Claim::claimed,
       true,
       {},
       1,
       true,
       false,
       1,
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Launch launch(row.arguments, row.claim);
    launch.instance.otherAnswers = row.otherAnswers;
    EXPECT_EQ(launch.run(), row.earlyExit);
    EXPECT_EQ(launch.exitStatus, row.exit);
    EXPECT_EQ(launch.delegate->model() != nullptr, row.model);
    EXPECT_EQ(launch.windowShown(), row.window);
    EXPECT_EQ(launch.instance.claims, row.claims);
    EXPECT_EQ(
        launch.instance.activateOtherCalls,
        std::vector<std::string>(static_cast<std::size_t>(row.activations), "this-launch_TIME7"));
    // Every refusal says why.
    if (row.earlyExit.value_or(0) != 0 || row.exit.value_or(0) != 0) {
      EXPECT_FALSE(launch.errors.empty());
    }
  }
}

TEST(AppDelegateTest, ALaterLaunchShowsTheWindowOfALoginLaunch) {
  Launch launch({"--launched-at-login"});
  launch.run();
  ASSERT_FALSE(launch.windowShown());
  EXPECT_TRUE(launch.instance.activate("startup-1"));
  EXPECT_TRUE(launch.windowShown());
  EXPECT_TRUE(launch.desktop.application.activations.empty()) << "a new window comes up in front";
  // Shown already, perhaps behind others: the window manager is asked to bring it forward.
  EXPECT_TRUE(launch.instance.activate("startup-2"));
  EXPECT_EQ(
      launch.desktop.application.activations,
      std::vector<std::int32_t>{static_cast<std::int32_t>(QCoreApplication::applicationPid())});
  // Each launch that handed over ends its launch feedback here.
  EXPECT_EQ(launch.desktop.application.completedStartups,
            (std::vector<std::string>{"startup-1", "startup-2"}));
}

TEST(AppDelegateTest, ALaunchThatAsksBeforeTheModelExistsGetsTheWindowOnceItDoes) {
  for (const bool atLogin : {true, false}) {
    SCOPED_TRACE(atLogin ? "at login" : "normal");
    Launch launch(atLogin ? launch::Arguments{"--launched-at-login"} : launch::Arguments{});
    ASSERT_EQ(launch.delegate->willFinishLaunching(), std::nullopt);
    // The name is claimed: a later launch may ask at once.
    EXPECT_TRUE(launch.instance.activate("early-1"));
    EXPECT_FALSE(launch.windowShown());
    launch.delegate->didFinishLaunching();
    launch.settle();
    EXPECT_TRUE(launch.windowShown());
    EXPECT_EQ(launch.desktop.application.completedStartups, std::vector<std::string>{"early-1"});
  }
}

TEST(AppDelegateTest, SignalHandlingThatCannotBeSetUpEndsTheLaunchWithStatusOneAndSaysWhy) {
  Launch launch({});
  launch.termination.failure = std::errc::too_many_files_open;
  EXPECT_EQ(launch.run(), std::nullopt);
  EXPECT_EQ(launch.exitStatus, std::optional<int>(1));
  ASSERT_EQ(launch.errors.size(), 1u);
  const std::string reason = std::make_error_code(std::errc::too_many_files_open).message();
  EXPECT_NE(launch.errors[0].find(reason), std::string::npos) << launch.errors[0];
  // Nothing is left running that a signal could end with keys held.
  EXPECT_FALSE(launch.delegate->model()->navigation().tapInstalled());
  EXPECT_FALSE(launch.windowShown());
  // No window opens on the way out.
  launch.instance.activate("late");
  launch.settle();
  EXPECT_FALSE(launch.windowShown());
}

TEST(AppDelegateTest, TerminationShutsNavigationDownOnceAndExitsByWhatWasRunning) {
  {
    Launch launch({"--launched-at-login"});
    launch.run();
    ASSERT_TRUE(launch.delegate->model()->navigation().tapInstalled());
    ASSERT_TRUE(launch.termination.fire(SIGTERM));
    EXPECT_EQ(launch.exitStatus, std::optional<int>(0));
    EXPECT_FALSE(launch.delegate->model()->navigation().tapInstalled());
    launch.delegate->willTerminate();  // the application's own quit comes after: harmless
  }
  {
    // A test run the signal interrupts did not pass; its store lies in its directory.
    QTemporaryDir dir;
    Launch launch({"--self-test", dir.path().toStdString()});
    std::function<void(int)> finish;
    launch.delegate->registerTest(
        launch::TestKind::selfTest,
        [&](const launch::TestRun&, AppModel&, auto done) { finish = std::move(done); });
    launch.run();
    ASSERT_TRUE(finish);
    EXPECT_EQ(launch.delegate->model()->store()->fileURL(),
              std::filesystem::path(dir.path().toStdString()) / "selftest-config.json");
    EXPECT_FALSE(launch.windowShown());
    launch.termination.fire(SIGTERM);
    EXPECT_EQ(launch.exitStatus, std::optional<int>(1));
  }
  {
    QTemporaryDir dir;
    Launch launch({"--self-test", dir.path().toStdString()});
    launch.delegate->registerTest(
        launch::TestKind::selfTest,
        [&](const launch::TestRun& run, AppModel&, auto done) { done(run.fixture ? 1 : 0); });
    launch.run();
    EXPECT_EQ(launch.exitStatus, std::optional<int>(0));
    EXPECT_FALSE(launch.delegate->model()->navigation().tapInstalled());
  }
}

TEST(AppDelegateTest, TheStatusItemFollowsTheModeAndThePreference) {
  Launch launch({"--launched-at-login"});
  launch.run();
  AppModel& model = *launch.delegate->model();
  EXPECT_EQ(launch.delegate->statusItem(), nullptr);  // off by default

  TovrelConfig shown = model.config();
  shown.showMenuBarIcon = true;
  ASSERT_TRUE(model.commit(shown, "Menu bar icon on").empty());
  launch.settle();
  StatusItem* item = launch.delegate->statusItem();
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->symbol(), "keyboard");
  EXPECT_EQ(item->toolTip(), "Tovrel: off");

  launch.delegate->perform(MenuAction::enterCursor);
  launch.settle();
  ASSERT_EQ(model.navigation().mode(), InteractionMode::cursor);
  EXPECT_EQ(item->symbol(), "cursorarrow.motionlines");
  EXPECT_EQ(item->toolTip(), "Tovrel: cursor");
  const int changes = item->iconChanges();
  item->rebuildMenu();
  ASSERT_FALSE(item->menu().actions().isEmpty());
  EXPECT_EQ(item->menu().actions().first()->text(), "Moving");
  EXPECT_FALSE(item->menu().actions().first()->isEnabled());

  // Router changes within one mode leave the icon alone.
  for (int i = 0; i < 20; ++i)
    launch.desktop.advance(0.05);
  QCoreApplication::processEvents();
  EXPECT_EQ(item->iconChanges(), changes);

  launch.delegate->perform(MenuAction::stopNavigation);
  launch.settle();
  EXPECT_EQ(item->symbol(), "keyboard");

  shown.showMenuBarIcon = false;
  ASSERT_TRUE(model.commit(shown, "Menu bar icon off").empty());
  launch.settle();
  EXPECT_EQ(launch.delegate->statusItem(), nullptr);
}

TEST(AppDelegateTest, TheSettingsWindowIsMadeOnceAndMovingKeysOpensTheMovingPage) {
  Launch launch({"--launched-at-login"});
  launch.run();
  launch.delegate->showSettings();
  SettingsWindow* window = launch.delegate->settingsWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(launch.delegate->regularPolicy());
  // The sizes are the content's, below the menu bar.
  launch.settle();
  QWidget* content = window->centralWidget();
  ASSERT_NE(content, nullptr);
  EXPECT_EQ(content->size(), QSize(SettingsWindow::contentWidth, SettingsWindow::contentHeight));
  window->resize(100, 100);
  launch.settle();
  EXPECT_EQ(content->size(), QSize(SettingsWindow::minimumWidth, SettingsWindow::minimumHeight));
  window->resize(800, 600);
  window->close();
  EXPECT_FALSE(launch.delegate->regularPolicy());
  // The frame is kept for the next launch, which takes it in place of the centred one.
  {
    SettingsWindow next(*launch.delegate->model(), {}, [](MenuAction) {}, {});
    EXPECT_EQ(next.size(), QSize(800, 600));
  }
  EXPECT_EQ(launch.delegate->model()->page(), SettingsPage::click);

  launch.delegate->perform(MenuAction::showKeys);
  EXPECT_EQ(launch.delegate->settingsWindow(), window);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(launch.delegate->model()->page(), SettingsPage::cursor);
}

TEST(AppDelegateTest, TheReadinessActionAsksTheDesktopAndSaysWhenItCouldNot) {
  for (bool desktopDoesIt : {true, false}) {
    SCOPED_TRACE(desktopDoesIt);
    Launch launch({"--launched-at-login"});
    launch.run();
    launch.desktop.access.canOpenURLs = desktopDoesIt;
    auto problem = launch.delegate->turnOnAccessibility();
    ASSERT_EQ(launch.desktop.access.openedURLs.size(), 1u);
    EXPECT_NE(launch.desktop.access.openedURLs[0].find("Privacy_Accessibility"), std::string::npos);
    EXPECT_EQ(problem.has_value(), !desktopDoesIt);
    // Either way the window shows the access state.
    EXPECT_TRUE(launch.windowShown());
  }
}

}  // namespace
}  // namespace tovrel::shell
