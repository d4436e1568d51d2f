// The three modes end to end in the private desktop: the real service over the real desktop,
// driven by "hardware" input the way a user types, against the fixture application.

#include <X11/keysym.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "core/Keys.hpp"
#include "core/PlatformTexts.hpp"
#include "core/TovrelConfig.hpp"
#include "platform/x11/X11Desktop.hpp"
#include "platform/x11/input/X11Tap.hpp"
#include "system/NavigationService.hpp"
#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/FixtureHarness.hpp"
#include "tests/desktop/QtTestApp.hpp"

// After Qt: the X headers define macros (Bool, Status) that break its headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace tovrel::desktoptest {
namespace {

// The right Alt key: the cursor-mode entry tap.
constexpr Keycode rightAlt = 108;

class NavigationDesktopTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qtApp();
    // Holding a key must not turn into repeats for these tests.
    QProcess::execute("xset", {"r", "off"});
    x11_ = platform::x11::X11Desktop::open();
    ASSERT_NE(x11_, nullptr);
    std::string error;
    fixture_ = FixtureApp::start({}, &error);
    ASSERT_NE(fixture_, nullptr) << error;
    auto window = desktop().waitForWindow("Tovrel Fixture", fixture_->pid());
    ASSERT_TRUE(window.has_value());
    window_ = *window;
    ASSERT_TRUE(desktop().focus(window_));

    startService();
  }

  // A service that has seen nothing of the fixture yet, as after a fresh start.
  void startService() {
    if (service_) service_->shutdown();
    service_.reset();
    TovrelConfig config = TovrelConfig::defaults();
    config.cursorBindings.push_back({CursorAction::dragHold, Gesture::key(Key::g)});
    service_ = std::make_unique<NavigationService>(x11_->platform(), config);
    service_->start();
    ASSERT_TRUE(service_->tapInstalled());
    // The front application reaches the service through the workspace notifications.
    pumpUntil([&] { return service_->clickTargetCandidate().has_value(); }, 3s);
  }

  void TearDown() override {
    if (service_) {
      service_->shutdown();
      service_.reset();
    }
    x11_.reset();
    if (fixture_) fixture_->stop();
    fixture_.reset();
    // Back to the server's own repeat delay and rate, which a test may have changed.
    QProcess::execute("xset", {"r", "rate"});
    QProcess::execute("xset", {"r", "on"});
    DesktopTest::TearDown();
  }

  void input(const std::function<void(Desktop&)>& act) { inputWhilePumping(desktop(), act); }

  bool waitForMode(InteractionMode mode, std::chrono::milliseconds timeout = 3s) {
    return pumpUntil([&] { return service_->mode() == mode; }, timeout);
  }

  // Command+Shift+<key>, as the click and scroll entries are bound.
  void commandShift(Keysym key) {
    input([&](Desktop& d) { d.hardwareChord({XK_Super_L, XK_Shift_L, key}); });
  }

  void tapRightAlt() {
    input([&](Desktop& d) {
      d.hardwareKey(rightAlt, true);
      d.hardwareKey(rightAlt, false);
    });
  }

  // Presses `sym`, keeps it down for `held` while the main loop runs, and lets go.
  void hold(Keysym sym, std::chrono::milliseconds held) {
    Keycode code = desktop().keycode(sym);
    input([&](Desktop& d) { d.hardwareKey(code, true); });
    pump(held);
    input([&](Desktop& d) { d.hardwareKey(code, false); });
  }

  std::unique_ptr<platform::x11::X11Desktop> x11_;
  std::unique_ptr<FixtureApp> fixture_;
  std::unique_ptr<NavigationService> service_;
  WindowId window_ = 0;
};

TEST_F(NavigationDesktopTest, ARightAltTapStartsMovingAndHoldingLMovesThePointerRight) {
  auto scroll = fixture_->frame("typing");
  ASSERT_TRUE(scroll.has_value());
  input([&](Desktop& d) { d.hardwareMove(scroll->centerX(), scroll->centerY()); });
  tapRightAlt();
  ASSERT_TRUE(waitForMode(InteractionMode::cursor));
  const auto before = desktop().pointer();
  hold(XK_l, 400ms);
  pump(100ms);
  const auto after = desktop().pointer();
  EXPECT_GT(after.first, before.first + 20) << "the pointer did not move right";
  EXPECT_NEAR(after.second, before.second, 2);
  // Escape is the separate exit of the default cursor entry.
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  EXPECT_TRUE(waitForMode(InteractionMode::off));
}

TEST_F(NavigationDesktopTest, ClickModeLabelsTheFixtureAndTypingALabelPressesIt) {
  const long long before = fixture_->number("counter");
  commandShift(XK_space);
  ASSERT_TRUE(waitForMode(InteractionMode::click));
  ASSERT_TRUE(pumpUntil(
      [&] {
        const ClickSession* click = service_->router().click();
        return click && click->hasSnapshot() && !click->labels().empty();
      },
      3s));
  const ClickSession& click = *service_->router().click();
  std::string label;
  for (std::size_t i = 0; i < click.targets().size(); ++i)
    if (click.targets()[i].name == "Increment" && i < click.labels().size())
      label = click.labels()[i];
  ASSERT_FALSE(label.empty()) << "no label for Increment";
  EXPECT_TRUE(service_->targetName().has_value()) << "click mode names the fixture";

  // The labels are on screen: keep a picture of click mode for whoever reads the test run.
  pump(150ms);
  const QString dir = QStringLiteral(TOVREL_ARTIFACT_DIR);
  QDir().mkpath(dir);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QImage shot = screen->grabWindow(0).toImage();
    EXPECT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(dir + QStringLiteral("/click-mode.png")));
  }

  input([&](Desktop& d) { d.hardwareType(label); });
  EXPECT_TRUE(fixture_->waitFor([&](const QJsonObject& state) {
    return state.value("counter").toInteger() == before + 1;
  })) << "typing "
      << label << " did not press Increment";
  EXPECT_EQ(fixture_->number("counter"), before + 1);
  ASSERT_TRUE(service_->lastActivation().has_value());
  EXPECT_EQ(service_->lastActivation()->outcome, "pressed");
}

TEST_F(NavigationDesktopTest, ScrollModeScrollsTheScrollAreaAndReturnsThePointer) {
  auto area = fixture_->frame("scroll");
  ASSERT_TRUE(area.has_value());
  // Scroll mode resumes where the user last scrolled: click into the area first.
  input([&](Desktop& d) { d.hardwareClick(area->centerX(), area->centerY()); });
  const auto home = std::make_pair(area->centerX() + 7, area->centerY() + 3);
  input([&](Desktop& d) { d.hardwareMove(home.first, home.second); });
  const long long before = fixture_->number("scrollY");
  commandShift(XK_j);
  ASSERT_TRUE(waitForMode(InteractionMode::scroll));
  ASSERT_TRUE(pumpUntil(
      [&] { return service_->router().scroll() && !service_->router().scroll()->areas().empty(); },
      3s));
  hold(XK_j, 500ms);
  EXPECT_TRUE(fixture_->waitFor([&](const QJsonObject& state) {
    return state.value("scrollY").toInteger() > before;
  })) << "the scroll area did not scroll";
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  ASSERT_TRUE(waitForMode(InteractionMode::off));
  pump(150ms);
  const auto back = desktop().pointer();
  EXPECT_EQ(back, home) << "the pointer did not come back";
}

TEST_F(NavigationDesktopTest, AFreshScrollingSessionScrollsTheAreaItOutlines) {
  const auto area = fixture_->frame("scroll");
  const auto pad = fixture_->frame("pad");
  const auto typing = fixture_->frame("typing");
  ASSERT_TRUE(area && pad && typing);
  const std::pair<int, int> starts[] = {{pad->centerX(), pad->centerY()},
                                        {pad->x + 10, pad->y + 10},
                                        {typing->centerX(), typing->centerY()},
                                        {area->x + area->width - 40, area->y + 30}};
  for (const auto& [x, y] : starts) {
    SCOPED_TRACE(testing::Message() << "pointer at " << x << "," << y);
    startService();
    input([&](Desktop& d) { d.hardwareMove(x, y); });
    commandShift(XK_j);
    ASSERT_TRUE(waitForMode(InteractionMode::scroll));
    // The session is settled once the fixture's areas are known and an area is outlined.
    ASSERT_TRUE(pumpUntil(
        [&] {
          const ScrollSession* session = service_->router().scroll();
          return session && session->outlined() && !session->areas().empty();
        },
        3s))
        << "no area was outlined, pointer at " << desktop().pointer().first << ","
        << desktop().pointer().second;
    const HintTarget::Frame outlined = *service_->router().scroll()->outlined();
    // The park lands after the outline: wait for the pointer to come inside, however loaded the
    // machine.
    const bool inside = pumpUntil(
        [&] {
          const auto [px, py] = desktop().pointer();
          return outlined.contains({static_cast<double>(px), static_cast<double>(py)});
        },
        3s);
    const auto [px, py] = desktop().pointer();
    EXPECT_TRUE(inside) << "parked at " << px << "," << py << " outside " << outlined;
    const long long before = fixture_->number("scrollY");
    hold(XK_j, 400ms);
    EXPECT_TRUE(fixture_->waitFor([&](const QJsonObject& state) {
      return state.value("scrollY").toInteger() > before;
    })) << "J did not scroll the outlined area";
    const long long down = fixture_->number("scrollY");
    hold(XK_k, 400ms);
    EXPECT_TRUE(fixture_->waitFor([&](const QJsonObject& state) {
      return state.value("scrollY").toInteger() < down;
    })) << "K did not scroll the outlined area";
    input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
    ASSERT_TRUE(waitForMode(InteractionMode::off));
  }
}

// Clicking cancelled while it reads the window, then Moving at once: the first Moving key races the
// grabs being set up again and the cancelled read. A key the mode uses must never reach the
// application, whatever state the switch is in when it comes: pressed 0 to 60 ms after Moving
// shows, or held with auto-repeat on while this thread answers nothing for 150 ms.
TEST_F(NavigationDesktopTest,
       AMovingKeyRightAfterACancelledClickingNeverReachesTheApplicationSoak) {
  auto typing = fixture_->frame("typing");
  ASSERT_TRUE(typing.has_value());
  input([&](Desktop& d) { d.hardwareMove(typing->centerX(), typing->centerY()); });
  const auto* tap = dynamic_cast<const platform::x11::X11Tap*>(service_->tapPort());
  ASSERT_NE(tap, nullptr);
  // Round trips in which this process missed the 40 ms bound (a loaded machine): even then the
  // mode's own keys and the entry chord must not pass. Counted for whoever reads the run.
  const auto passed = [&] {
    const auto now = tap->statistics();
    return now.lateDecisions + now.passedWhileBusy;
  };
  const auto typed = [&] { return fixture_->state().value("typing").toString().size(); };
  const Keycode l = desktop().keycode(XK_l);
  // TOVREL_SOAK_ROUNDS sets a longer soak than the one every test run affords.
  const char* rounds = std::getenv("TOVREL_SOAK_ROUNDS");
  const int roundTrips = rounds ? std::max(1, std::atoi(rounds)) : 120;
  constexpr std::chrono::milliseconds afterShown[] = {0ms, 15ms, 30ms, 60ms};
  // Repeats start while L is still held.
  QProcess::execute("xset", {"r", "rate", "80", "30"});
  int leaks = 0;
  int passedTrips = 0;
  int still = 0;
  const auto typedAtStart = typed();
  for (int trip = 0; trip < roundTrips && leaks == 0; ++trip) {
    const auto passedBefore = passed();
    const auto typedBefore = typed();
    commandShift(XK_space);
    ASSERT_TRUE(waitForMode(InteractionMode::click)) << "round trip " << trip;
    pump(130ms);
    input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
    ASSERT_TRUE(waitForMode(InteractionMode::off)) << "round trip " << trip;
    pump(30ms);
    // L goes down the moment Moving shows, from a connection opened beforehand.
    std::atomic<bool> shown = false;
    const auto after = afterShown[trip % 4];
    const bool busy = trip % 5 == 4;
    std::thread typist([&] {
      auto other = Desktop::open();
      while (!shown.load())
        std::this_thread::yield();
      std::this_thread::sleep_for(after);
      if (other) other->hardwareKey(l, true);
    });
    tapRightAlt();
    const bool moving = waitForMode(InteractionMode::cursor);
    const auto start = desktop().pointer();
    shown = true;
    if (busy) std::this_thread::sleep_for(150ms);
    typist.join();
    ASSERT_TRUE(moving) << "round trip " << trip;
    pump(100ms);
    input([&](Desktop& d) { d.hardwareKey(l, false); });
    if (desktop().pointer() == start) ++still;
    input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
    ASSERT_TRUE(waitForMode(InteractionMode::off)) << "round trip " << trip;
    // Back to the middle of the field, so that every round trip has room to move.
    input([&](Desktop& d) { d.hardwareMove(typing->centerX(), typing->centerY()); });
    // A leak that reaches the field a little later than the look shows in the next round trip.
    leaks += typed() != typedBefore ? 1 : 0;
    passedTrips += passed() != passedBefore ? 1 : 0;
  }
  pump(100ms);
  QProcess::execute("xset", {"r", "off"});
  if (leaks == 0 && typed() != typedAtStart) ++leaks;
  EXPECT_EQ(leaks, 0) << "the application got \""
                      << fixture_->state().value("typing").toString().toStdString()
                      << "\"; the pointer stayed put in " << still
                      << " round trips; decisions passed in " << passedTrips;
  RecordProperty("roundTripsWithPassedDecisions", passedTrips);
}

// The keyboard waits for this process while a mode is on: a stall of a second or more, whether
// the main thread was busy or the whole process could not run, is reported and ends navigation.
TEST_F(NavigationDesktopTest, AStallOfASecondIsReportedAndStopsMoving) {
  const Keycode l = desktop().keycode(XK_l);
  const std::map<std::string, std::function<void()>> stalls = {
      {"main thread busy",
       [&] {
         std::thread typist([&] {
           auto other = Desktop::open();
           std::this_thread::sleep_for(100ms);
           if (other) other->hardwareKey(l, true);
           std::this_thread::sleep_for(50ms);
           if (other) other->hardwareKey(l, false);
         });
         std::this_thread::sleep_for(1500ms);
         typist.join();
       }},
      {"process stopped",
       [&] {
         // The server holds the key back until the process is stopped; a child stops and
         // resumes it, doing nothing a forked child of a threaded process may not.
         Display* typist = XOpenDisplay(nullptr);
         ASSERT_NE(typist, nullptr);
         XTestFakeKeyEvent(typist, l, True, 300);
         XTestFakeKeyEvent(typist, l, False, 50);
         XFlush(typist);
         const pid_t parent = getpid();
         const pid_t child = fork();
         if (child == 0) {
           kill(parent, SIGSTOP);
           const timespec stopped{2, 0};
           nanosleep(&stopped, nullptr);
           kill(parent, SIGCONT);
           _exit(0);
         }
         ASSERT_GT(child, 0);
         int status = 0;
         waitpid(child, &status, 0);
         XSync(typist, False);
         XCloseDisplay(typist);
       }},
  };
  for (const auto& [name, stall] : stalls) {
    const auto* tap = dynamic_cast<const platform::x11::X11Tap*>(service_->tapPort());
    ASSERT_NE(tap, nullptr);
    const auto before = tap->statistics().stallsReported;
    tapRightAlt();
    ASSERT_TRUE(waitForMode(InteractionMode::cursor)) << name;
    stall();
    EXPECT_TRUE(waitForMode(InteractionMode::off)) << name << ": Moving stayed on";
    EXPECT_EQ(service_->message(), std::optional<std::string>(platformText::tapPaused)) << name;
    EXPECT_GE(tap->statistics().stallsReported, before + 1) << name;
    // The keyboard works as before once it is over.
    ASSERT_TRUE(service_->tapInstalled());
  }
}

TEST_F(NavigationDesktopTest, SleepStopsADragAndReleasesTheButton) {
  auto typing = fixture_->frame("typing");
  ASSERT_TRUE(typing.has_value());
  input([&](Desktop& d) { d.hardwareMove(typing->centerX(), typing->centerY()); });
  tapRightAlt();
  ASSERT_TRUE(waitForMode(InteractionMode::cursor));
  Keycode g = desktop().keycode(XK_g);
  input([&](Desktop& d) { d.hardwareKey(g, true); });
  ASSERT_TRUE(pumpUntil([&] { return !desktop().buttonsDown().empty(); }, 2s))
      << "the drag did not press the button";
  // The screen saver starting is how the session reports the screens going to sleep.
  QProcess::execute("dbus-send", {"--session", "--type=signal", "/org/freedesktop/ScreenSaver",
                                  "org.freedesktop.ScreenSaver.ActiveChanged", "boolean:true"});
  EXPECT_TRUE(waitForMode(InteractionMode::off));
  EXPECT_TRUE(pumpUntil([&] { return desktop().buttonsDown().empty(); }, 2s))
      << "the button stayed down";
  EXPECT_EQ(service_->message(),
            std::optional<std::string>("Navigation stopped for sleep, lock, or a user switch."));
  input([&](Desktop& d) { d.hardwareKey(g, false); });
}

}  // namespace
}  // namespace tovrel::desktoptest
