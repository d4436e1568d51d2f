#pragma once

// The live self-test: it works the running program from outside, with keys and pointer events that
// enter the desktop as a device's would, and watches the effects in the navigation service and in
// the fixture application's state file. Main thread; every wait runs the event loop.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/selftest/Check.hpp"
#include "app/selftest/Fixture.hpp"
#include "app/selftest/Pacing.hpp"
#include "core/HintTarget.hpp"
#include "core/Keys.hpp"

class QWidget;

namespace tovrel {
class AppModel;
class NavigationService;
namespace platform {
class SyntheticInput;
struct Platform;
}  // namespace platform
}  // namespace tovrel

namespace tovrel::selftest {

// A process of the fixture application this run started.
struct FixtureProcess {
  std::int64_t pid = 0;
};

class LiveSelfTest {
 public:
  struct Setup {
    AppModel& model;
    std::filesystem::path outputDirectory;
    // The fixture executable; none when "--fixture" was not given.
    std::optional<std::filesystem::path> fixturePath;
    // Opens the settings window and answers it; nothing for runs that never need it.
    std::function<QWidget*()> showSettings;
    Pacer& pacer;
    // Where each check's console line goes.
    std::function<void(const std::string& line)> print;
  };

  explicit LiveSelfTest(Setup setup);
  ~LiveSelfTest();
  LiveSelfTest(const LiveSelfTest&) = delete;
  LiveSelfTest& operator=(const LiveSelfTest&) = delete;

  // The whole suite; true when every recorded check passed.
  bool run();
  // Readiness, the fixture and the Scrolling check alone.
  bool scrollCheck();
  // Shows click labels on the fixture for an outside capture tool for `seconds`; false when it
  // could not run.
  bool demoLabels(double seconds);

  void writeReport(std::chrono::system_clock::time_point started);
  const std::vector<Check>& checks() const { return checks_; }

  // Problems met outside the checks (reports, keymap, launch), as sentences.
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  // --- the run -------------------------------------------------------------------------------
  void record(Check check);
  void recordReadinessFailure();
  void teardown();
  void terminateFixtures();
  void avoidBoundModifierKeys();
  bool readinessGate();

  // --- waiting and input ---------------------------------------------------------------------
  void wait(int milliseconds);
  bool waitFor(double timeout, const std::function<bool()>& condition);
  // One press and release of a lone modifier key, 50 ms apart, then waitFor.
  bool tapModifier(std::uint16_t code, const std::function<bool()>& until, double timeout);
  void keyDown(std::uint16_t code, Modifiers modifiers = {});
  void keyUp(std::uint16_t code, Modifiers modifiers = {});
  void press(std::uint16_t code, Modifiers modifiers = {});
  void holdModifier(std::uint16_t code);
  void releaseModifier(std::uint16_t code);
  // Every character a printable key carries, in order and without pauses.
  void type(std::string_view text);
  // The Click entry chord of the running configuration, with `extra` modifiers held as well;
  // nothing for a modifier-tap entry.
  void pressClickEntry(Modifiers extra = {});
  void pointAt(const std::string& frameName, double fx, double fy);
  void clickField(const std::string& frameName);
  Point pointer();
  bool leftButtonDown();

  // --- the fixture ---------------------------------------------------------------------------
  FixtureState fixtureState() const;
  FixtureFrame frame(const std::string& name) const;
  double padCount(const std::string& name) const;
  std::string fixtureText(const char* member) const;
  double fixtureNumber(const char* member) const;
  std::filesystem::path statePath(const char* fileName) const;
  std::optional<FixtureProcess> launch(const std::vector<std::string>& arguments);
  bool launchFixture();
  void activate(const FixtureProcess& process);
  void activateFixture();
  void terminate(std::optional<FixtureProcess>& process);
  // Tells the fixture to move, remove or restore its moving target.
  void signalFixture(const char* member);

  // --- the program ---------------------------------------------------------------------------
  NavigationService& navigation();
  platform::Platform& platform();
  platform::SyntheticInput& input();
  void ensureOff();
  void ensureCursor();
  std::size_t visibleOverlayCount();
  std::string modeName();
  bool labelled();
  // The fixture in front, navigation off, the Click entry pressed and up to 2 s for its labels.
  void startClicking();

  // --- the checks, in run order ---------------------------------------------------------------
  void offPassThrough();              // L01
  void optionShortcutDoesNotEnter();  // L02
  void cursorEntry();                 // L03
  void movement();                    // L04
  void diagonal();                    // L05
  void clicks();                      // L06
  void scrolling();                   // L07
  void drag();                        // L08
  void exitWhileDragging();           // L09
  void clickDirectEntry();            // L10, L11
  void searchField();                 // L12
  void escapeFromSearch();            // L13
  void staleTarget();                 // L14
  void switching();                   // L15
  void separateExitOn();              // L16
  void separateExitOff();             // L17
  void settingsEditing();             // L18
  void inaccessibleCanvas();          // L19
  void focusChangeDuringDiscovery();  // L20
  void forcedStopWhileDragging();     // L21
  void scrollMode();                  // L24
  void stability();                   // L22
  void idleCPU();                     // L23

  AppModel& model_;
  std::filesystem::path outputDirectory_;
  std::optional<std::filesystem::path> fixturePath_;
  std::function<QWidget*()> showSettings_;
  Pacer& pacer_;
  std::function<void(const std::string&)> print_;
  std::vector<Check> checks_;
  std::optional<FixtureProcess> fixture_;
  std::optional<FixtureProcess> canvas_;
  std::vector<std::string> problems_;
};

// Helpers the checks share for their details.
namespace detail {
// "%.1f".
std::string oneDecimal(double value);
// A whole number.
std::string whole(double value);
// The shortest decimal with at least one fraction digit: 0 → "0.0", 2.5 → "2.5".
std::string shortestDecimal(double value);
std::string boolText(bool value);
// The last `count` characters (code points) of `text`, all of it when shorter.
std::string lastCharacters(const std::string& text, std::size_t count);
std::size_t characterCount(const std::string& text);
double distance(Point a, Point b);
// The kinds of the stability check's steps, from its fixed seed.
std::vector<int> stabilityKinds(int steps);
}  // namespace detail

}  // namespace tovrel::selftest
