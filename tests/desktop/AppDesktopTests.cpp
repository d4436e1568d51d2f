// The tovrel program as a person runs it: one instance per session, a launch at login, an orderly
// end on every termination signal, and its status item in a tray.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

// After Qt: X11 defines names Qt uses.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <thread>
#include <utility>

#include "DesktopHarness.hpp"
#include "QtTestApp.hpp"
#include "app/launch/LaunchPlan.hpp"
#include "core/ConfigStore.hpp"
#include "core/TovrelConfig.hpp"
#include "platform/desktop/DBusInstance.hpp"

using namespace std::chrono_literals;

namespace tovrel::desktoptest {
namespace {

constexpr char busName[] = "local.tovrel.Tovrel";
// The settings window opens on its first page, whose title follows the program's.
constexpr char settingsTitle[] = "Tovrel — Clicking";
constexpr char loginMarker[] = "--launched-at-login";
constexpr Keycode rightAlt = 108;

bool nameOwned() {
  auto* bus = QDBusConnection::sessionBus().interface();
  return bus != nullptr && bus->isServiceRegistered(QString::fromLatin1(busName)).value();
}

template <class Done>
bool waitUntil(Done done, std::chrono::milliseconds timeout = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// One tovrel process with settings and window frames of its own.
class Tovrel {
 public:
  explicit Tovrel(const QTemporaryDir& home) {
    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment_.insert("XDG_STATE_HOME", home.filePath("state"));
  }
  ~Tovrel() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(3000);
    }
  }

  bool start(const QStringList& arguments) {
    process_.setProcessEnvironment(environment_);
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start(QStringLiteral(TOVREL_APP_PATH), arguments);
    return process_.waitForStarted(5000);
  }
  void setEnvironment(const QString& name, const QString& value) {
    environment_.insert(name, value);
  }
  pid_t pid() const { return static_cast<pid_t>(process_.processId()); }
  // The exit status, or nothing when it did not end in time or crashed.
  std::optional<int> finished(std::chrono::milliseconds timeout = 10s) {
    if (!process_.waitForFinished(static_cast<int>(timeout.count()))) return std::nullopt;
    if (process_.exitStatus() != QProcess::NormalExit) return std::nullopt;
    return process_.exitCode();
  }
  void signal(int number) { ::kill(pid(), number); }

 private:
  QProcessEnvironment environment_;
  QProcess process_;
};

// Startup-notification messages as the desktop's launch feedback hears them on the root window.
class StartupMessages {
 public:
  StartupMessages() : display_(XOpenDisplay(nullptr)) {
    if (display_ == nullptr) return;
    begin_ = XInternAtom(display_, "_NET_STARTUP_INFO_BEGIN", False);
    more_ = XInternAtom(display_, "_NET_STARTUP_INFO", False);
    XSelectInput(display_, DefaultRootWindow(display_), PropertyChangeMask);
    XSync(display_, False);
  }
  ~StartupMessages() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  // Waits until a whole message equal to `wanted` has arrived.
  bool waitFor(const std::string& wanted) {
    if (display_ == nullptr) return false;
    return waitUntil([&] {
      while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type != ClientMessage || event.xclient.format != 8) continue;
        if (event.xclient.message_type != begin_ && event.xclient.message_type != more_) continue;
        std::string& text = partial_[event.xclient.window];
        if (event.xclient.message_type == begin_) text.clear();
        for (char c : event.xclient.data.b) {
          if (c != '\0') {
            text += c;
            continue;
          }
          if (text == wanted) return true;
          text.clear();
          break;
        }
      }
      return false;
    });
  }

 private:
  Display* display_ = nullptr;
  Atom begin_ = 0;
  Atom more_ = 0;
  std::map<Window, std::string> partial_;
};

class AppDesktopTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped()) return;
    qtApp();
    ASSERT_TRUE(home_.isValid());
    ASSERT_FALSE(nameOwned()) << "another tovrel holds the session's name";
  }
  void TearDown() override {
    // The next test must find the name free.
    waitUntil([] { return !nameOwned(); }, 5s);
    DesktopTest::TearDown();
  }

  void tapRightAlt() {
    desktop().hardwareKey(rightAlt, true);
    desktop().hardwareKey(rightAlt, false);
  }

  // Navigation answers once the program has started it: a right-Alt tap and a held L move the
  // pointer. Tried until it works, since the program's tap comes up a moment after its bus name.
  // Moving stays on.
  bool startMoving() {
    const Keycode l = desktop().keycode(XK_l);
    return waitUntil(
        [&] {
          desktop().hardwareMove(400, 400);
          tapRightAlt();
          desktop().hardwareKey(l, true);
          const bool moved = waitUntil([&] { return desktop().pointer().first > 420; }, 600ms);
          desktop().hardwareKey(l, false);
          if (!moved) desktop().hardwareTap(XK_Escape);
          return moved;
        },
        15s);
  }
  bool movesThePointer() {
    if (!startMoving()) return false;
    desktop().hardwareTap(XK_Escape);
    return true;
  }

  // The settings the next launch reads.
  void writeSettings(const TovrelConfig& config) {
    ASSERT_TRUE(QDir().mkpath(home_.filePath("config/Tovrel")));
    ConfigStore(home_.filePath("config/Tovrel/config.json").toStdString()).save(config);
  }

  QTemporaryDir home_;
};

TEST_F(AppDesktopTest, ASecondLaunchShowsTheFirstInstancesWindowAndExitsZero) {
  Tovrel first(home_);
  ASSERT_TRUE(first.start({loginMarker}));
  ASSERT_TRUE(waitUntil(nameOwned)) << "the first launch never claimed the session's name";
  EXPECT_FALSE(desktop().findWindow(settingsTitle, first.pid()).has_value())
      << "a launch at login opened its window";

  // Launched from a menu with launch feedback: the feedback ends once the first has shown itself.
  StartupMessages startup;
  Tovrel second(home_);
  second.setEnvironment("DESKTOP_STARTUP_ID", "tovrel-test-42 \"menu\"_TIME0");
  ASSERT_TRUE(second.start({}));
  EXPECT_EQ(second.finished(), std::optional<int>(0));
  EXPECT_TRUE(desktop().waitForWindow(settingsTitle, first.pid(), 10s).has_value())
      << "the first instance did not show its settings window";
  EXPECT_TRUE(startup.waitFor(R"(remove: ID="tovrel-test-42 \"menu\"_TIME0")"))
      << "the launch feedback was not ended";

  first.signal(SIGTERM);
  EXPECT_EQ(first.finished(), std::optional<int>(0));
}

TEST_F(AppDesktopTest, ASecondLaunchBringsTheOpenWindowForward) {
  Tovrel first(home_);
  ASSERT_TRUE(first.start({}));
  auto window = desktop().waitForWindow(settingsTitle, first.pid(), 10s);
  ASSERT_TRUE(window.has_value());
  auto receiver = startReceiver();
  ASSERT_NE(receiver, nullptr);
  ASSERT_TRUE(receiver->activate());

  Tovrel second(home_);
  ASSERT_TRUE(second.start({}));
  EXPECT_EQ(second.finished(), std::optional<int>(0));
  EXPECT_TRUE(waitUntil([&] { return desktop().hasFocus(*window); }))
      << "the settings window stayed behind: " << desktop().focusReport();

  first.signal(SIGTERM);
  EXPECT_EQ(first.finished(), std::optional<int>(0));
}

TEST_F(AppDesktopTest, HelpVersionAndADuplicateLoginLaunchLeaveTheRunningInstanceAlone) {
  // This process is the running instance here, so it hears every request to show itself.
  platform::desktop::DBusInstance running;
  std::vector<std::string> activations;
  ASSERT_EQ(running.claim([&](const std::string& id) { activations.push_back(id); }),
            platform::InstanceServices::Claim::claimed);

  const QString usage = QString::fromStdString(launch::usageText());
  const QString version = QStringLiteral("Tovrel " TOVREL_VERSION "\n");
  const struct {
    QStringList arguments;
    bool bare;  // without a display and a session bus
    QString output;
  } rows[] = {
      {{"--help"}, false, usage},        {{"-h"}, false, usage},
      {{"--version"}, false, version},   {{"--launched-at-login", "--version"}, false, version},
      {{"--help"}, true, usage},         {{"--version"}, true, version},
      {{loginMarker}, false, QString()},
  };
  int launch = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE((row.arguments.join(' ') + (row.bare ? " (bare)" : "")).toStdString());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", home_.filePath("config"));
    environment.insert("XDG_STATE_HOME", home_.filePath("state"));
    // Were it to ask the instance, the request would carry this.
    environment.insert("DESKTOP_STARTUP_ID", QStringLiteral("launch-%1").arg(++launch));
    if (row.bare) {
      environment.remove("DISPLAY");
      environment.remove("DBUS_SESSION_BUS_ADDRESS");
    }
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(TOVREL_APP_PATH), row.arguments);
    // The instance answers on this thread while the launch runs.
    ASSERT_TRUE(pumpUntil([&] { return process.state() == QProcess::NotRunning; }, 20s));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_EQ(process.readAllStandardOutput().toStdString(), row.output.toStdString());
  }
  // An ordinary launch does ask; once its request has come, any earlier one would have too.
  Tovrel plain(home_);
  plain.setEnvironment("DESKTOP_STARTUP_ID", "plain");
  ASSERT_TRUE(plain.start({}));
  ASSERT_TRUE(pumpUntil([&] { return !activations.empty(); }, 20s));
  EXPECT_EQ(activations, std::vector<std::string>{"plain"});
  EXPECT_EQ(plain.finished(), std::optional<int>(0));
}

TEST_F(AppDesktopTest, ALaunchAtLoginNavigatesWithoutOpeningAWindow) {
  Tovrel tovrel(home_);
  ASSERT_TRUE(tovrel.start({loginMarker}));
  ASSERT_TRUE(movesThePointer()) << "navigation never answered the right-Alt tap";
  EXPECT_FALSE(desktop().findWindow(settingsTitle, tovrel.pid()).has_value());
  tovrel.signal(SIGTERM);
  EXPECT_EQ(tovrel.finished(), std::optional<int>(0));
}

TEST_F(AppDesktopTest, ASelfTestBesideARunningInstanceFailsWithoutRunning) {
  Tovrel first(home_);
  ASSERT_TRUE(first.start({loginMarker}));
  ASSERT_TRUE(waitUntil(nameOwned));
  QTemporaryDir run;
  Tovrel second(home_);
  ASSERT_TRUE(second.start({"--self-test", run.path()}));
  EXPECT_EQ(second.finished(), std::optional<int>(1));
  EXPECT_FALSE(QFile::exists(run.filePath("selftest-config.json")));
  first.signal(SIGTERM);
  EXPECT_EQ(first.finished(), std::optional<int>(0));
}

TEST_F(AppDesktopTest, EveryTerminationSignalReleasesAHeldDragButton) {
  TovrelConfig config = TovrelConfig::defaults();
  config.cursorBindings.push_back({CursorAction::dragHold, Gesture::key(Key::g)});
  writeSettings(config);
  for (int number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(strsignal(number));
    Tovrel tovrel(home_);
    ASSERT_TRUE(tovrel.start({loginMarker}));
    ASSERT_TRUE(startMoving());
    // G holds the left button down while it is held.
    const Keycode g = desktop().keycode(XK_g);
    desktop().hardwareKey(g, true);
    ASSERT_TRUE(waitUntil([&] { return !desktop().buttonsDown().empty(); }, 5s))
        << "the drag did not press the button";
    tovrel.signal(number);
    EXPECT_EQ(tovrel.finished(), std::optional<int>(0));
    EXPECT_TRUE(desktop().buttonsDown().empty()) << "the button stayed down";
    desktop().hardwareKey(g, false);
    waitUntil([] { return !nameOwned(); }, 5s);
  }
}

#ifdef TOVREL_FIXTURE_PATH
// Processes whose command line names `text` (the fixture instances of one run).
std::vector<pid_t> processesNaming(const std::string& text) {
  std::vector<pid_t> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream file(entry.path() / "cmdline");
    const std::string line((std::istreambuf_iterator<char>(file)), {});
    if (line.find(text) != std::string::npos) found.push_back(std::stoi(name));
  }
  return found;
}

TEST_F(AppDesktopTest, ASelfTestEndedBySignalExitsOneAndLeavesNothingHeld) {
  QTemporaryDir run;
  Tovrel tovrel(home_);
  ASSERT_TRUE(tovrel.start({"--self-test", run.path(), "--fixture", TOVREL_FIXTURE_PATH}));
  // Once the first check has typed into the fixture, the run soon holds a key of its own.
  const QString state = run.filePath("fixture-state.json");
  ASSERT_TRUE(waitUntil(
      [&] {
        QFile file(state);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("ijklrewq");
      },
      60s))
      << "the self-test never typed into the fixture";
  ASSERT_TRUE(waitUntil([&] { return !desktop().keysDown().empty(); }, 20s))
      << "the self-test never held a key";
  tovrel.signal(SIGTERM);
  EXPECT_EQ(tovrel.finished(30s), std::optional<int>(1));
  EXPECT_TRUE(desktop().keysDown().empty()) << "a key stayed down";
  EXPECT_TRUE(desktop().buttonsDown().empty()) << "a button stayed down";
  EXPECT_TRUE(QFile::exists(run.filePath("selftest.md")));
  EXPECT_TRUE(waitUntil([&] { return processesNaming(run.path().toStdString()).empty(); }, 5s))
      << "a fixture of the run outlived it";
}
#endif

// --- the status item in a tray ----------------------------------------------------------------

// The tray icon window of `pid`: a small viewable window of that process below the tray's.
std::optional<Window> trayIconWindow(Display* display, pid_t pid) {
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  std::vector<Window> level{DefaultRootWindow(display)};
  for (int depth = 0; depth < 6 && !level.empty(); ++depth) {
    std::vector<Window> next;
    for (Window parent : level) {
      Window root = 0, up = 0, *children = nullptr;
      unsigned count = 0;
      if (XQueryTree(display, parent, &root, &up, &children, &count) == 0) continue;
      for (unsigned i = 0; i < count; ++i) {
        Window window = children[i];
        next.push_back(window);
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, window, &attributes) == 0 ||
            attributes.map_state != IsViewable || attributes.width > 64 || parent == root)
          continue;
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                               &items, &after, &data) == Success &&
            data != nullptr) {
          const bool mine =
              items == 1 && static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid;
          XFree(data);
          if (mine) {
            XFree(children);
            return window;
          }
        }
      }
      if (children != nullptr) XFree(children);
    }
    level = std::move(next);
  }
  return std::nullopt;
}

std::vector<unsigned long> pixels(Display* display, Window window) {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) == 0) return {};
  XImage* image =
      XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
  if (image == nullptr) return {};
  std::vector<unsigned long> values;
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x)
      values.push_back(XGetPixel(image, x, y));
  XDestroyImage(image);
  return values;
}

// The icon's picture once drawn: not the tray's bare background (one colour) and the same on two
// reads in a row, since the tray repaints while it makes room.
std::vector<unsigned long> drawnPicture(Display* display, Window window) {
  std::vector<unsigned long> previous, current;
  waitUntil([&] {
    previous = std::exchange(current, pixels(display, window));
    const bool drawn =
        !current.empty() &&
        std::adjacent_find(current.begin(), current.end(), std::not_equal_to<>()) != current.end();
    return drawn && current == previous;
  });
  return current;
}

TEST_F(AppDesktopTest, TheStatusItemInATrayFollowsTheMode) {
  const QString trayer = QStandardPaths::findExecutable("trayer");
  if (trayer.isEmpty()) GTEST_SKIP() << "no tray host (trayer) installed";
  TovrelConfig config = TovrelConfig::defaults();
  config.showMenuBarIcon = true;
  writeSettings(config);

  // At login the panel may come up after Tovrel: the icon goes to the tray once there is one.
  Tovrel tovrel(home_);
  ASSERT_TRUE(tovrel.start({loginMarker}));
  ASSERT_TRUE(movesThePointer());
  QProcess tray;
  tray.start(trayer, {"--edge", "top", "--align", "right", "--widthtype", "request", "--height",
                      "32", "--SetDockType", "true"});
  ASSERT_TRUE(tray.waitForStarted(5000));
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  std::optional<Window> icon;
  ASSERT_TRUE(
      waitUntil([&] { return (icon = trayIconWindow(display, tovrel.pid())).has_value(); }, 15s))
      << "no icon of tovrel appeared in the tray";
  const std::vector<unsigned long> typing = drawnPicture(display, *icon);
  ASSERT_FALSE(typing.empty());

  tapRightAlt();
  EXPECT_TRUE(waitUntil([&] { return pixels(display, *icon) != typing; }))
      << "the icon did not change when Moving started";
  desktop().hardwareTap(XK_Escape);
  EXPECT_TRUE(waitUntil([&] { return pixels(display, *icon) == typing; }))
      << "the icon did not come back when Moving stopped";

  XCloseDisplay(display);
  tovrel.signal(SIGTERM);
  EXPECT_EQ(tovrel.finished(), std::optional<int>(0));
  tray.terminate();
  tray.waitForFinished(3000);
}

}  // namespace
}  // namespace tovrel::desktoptest
