#pragma once
// Helpers for tests that run inside the private headless desktop (scripts/desktop.sh): an X
// connection that finds, focuses and measures windows and posts input, a receiving application
// that logs what reaches it, and a fixture that skips when there is no display.
//
// The header stays free of Xlib so that it can sit beside Qt headers (Xlib defines macros such as
// None, Bool and KeyPress). X identifiers travel as plain integers; keysyms come from
// <X11/keysym.h>, which is safe to include anywhere.

#include <gtest/gtest.h>

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct _XDisplay;

namespace tovrel::desktoptest {

using WindowId = unsigned long;
using Keycode = unsigned int;
using Keysym = unsigned long;
using namespace std::chrono_literals;

struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  int centerX() const { return x + width / 2; }
  int centerY() const { return y + height / 2; }
};

// One X connection for the test's side of the desktop.
class Desktop {
 public:
  // nullptr when DISPLAY is unset or the server does not answer.
  static std::unique_ptr<Desktop> open();
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  _XDisplay* display() const { return display_; }
  WindowId root() const { return root_; }
  bool hasWindowManager() const;

  // --- windows ---
  // A viewable window whose title is `title` (and whose _NET_WM_PID is `pid`, when not 0).
  std::optional<WindowId> findWindow(std::string_view title, pid_t pid = 0) const;
  std::optional<WindowId> waitForWindow(std::string_view title, pid_t pid = 0,
                                        std::chrono::milliseconds timeout = 10s) const;
  // Gives `window` the keyboard focus: through the window manager when there is one, else with
  // XSetInputFocus. True once the server reports the focus inside the window's top level.
  bool focus(WindowId window, std::chrono::milliseconds timeout = 5s);
  bool hasFocus(WindowId window) const;
  // Asks the window manager to close `window`, as its title bar's close button does.
  void close(WindowId window);
  std::string titleOf(WindowId window) const;
  // The window in root coordinates (its inside, without the manager's frame).
  std::optional<Rect> windowRect(WindowId window) const;
  // The window the manager last made active (_NET_ACTIVE_WINDOW): the head of its focus cycle.
  std::optional<WindowId> activeWindow() const;
  // Where the focus is and which windows the manager lists, by title, for failure messages.
  std::string focusReport() const;

  // --- "hardware" input: through Xvfb's own keyboard and mouse devices, so that it cannot be
  // told from real input. Each event waits until ~20 ms after the previous one. Xvfb's mouse has
  // buttons 1 to 3 only: wheel steps (4 to 7) come from xtestButton. ---
  bool hasHardwareDevices() const { return keyboard_ != nullptr && mouse_ != nullptr; }
  void hardwareKey(Keycode code, bool press);
  // Unpaced: as closely after the previous event as the server takes it.
  void hardwareKeyNow(Keycode code, bool press);
  void hardwareTap(Keysym sym);  // press and release, with Shift when the symbol needs it
  // Presses the keys in order and releases them in reverse, as a person types a chord.
  void hardwareChord(std::initializer_list<Keysym> syms);
  void hardwareType(std::string_view ascii);
  void hardwareButton(int button, bool press);
  void hardwareMove(int x, int y);  // absolute, root coordinates
  void hardwareClick(int x, int y, int button = 1);

  // --- plain XTest input: from the server's XTEST devices, unpaced. ---
  void xtestKey(Keycode code, bool press);
  void xtestTap(Keysym sym);
  void xtestButton(int button, bool press);
  void xtestMove(int x, int y);

  // --- state ---
  Keycode keycode(Keysym sym) const;  // 0 when no key produces it
  std::vector<Keycode> keysDown() const;
  std::vector<int> buttonsDown() const;
  std::pair<int, int> pointer() const;
  // Releases every held key and button on every device that may hold it.
  void releaseAll();
  void sync() const;

 private:
  Desktop() = default;
  void pace();
  bool needsShift(Keycode code, Keysym sym) const;
  // Presses and releases the key of `sym` with `key`, inside Shift when the symbol needs it.
  void tap(Keysym sym, void (Desktop::*key)(Keycode, bool));

  _XDisplay* display_ = nullptr;
  WindowId root_ = 0;
  void* keyboard_ = nullptr;  // XDevice* of "Xvfb keyboard"
  void* mouse_ = nullptr;     // XDevice* of "Xvfb mouse"
  int mouseButtons_ = 0;
  std::chrono::steady_clock::time_point lastHardware_{};
};

// One line of a receiver's log: the event kind and its fields.
struct ReceiverEvent {
  std::string kind;  // key-press, key-release, mouse-press, mouse-release, wheel, focus-in, ...
  std::map<std::string, std::string> fields;
  std::string line;

  long number(const std::string& field, long fallback = -1) const;
  std::string text() const;  // the decoded text of a key event
  bool is(std::string_view k) const { return kind == k; }
};

std::ostream& operator<<(std::ostream& out, const ReceiverEvent& event);

using EventPredicate = std::function<bool(const ReceiverEvent&)>;
EventPredicate keyPress(Keycode code);
EventPredicate keyRelease(Keycode code);
EventPredicate mousePress(int button);
EventPredicate mouseRelease(int button);
EventPredicate ofKind(std::string kind);

// Reads a receiver's log as it grows. Positions are event indices: take `size()` as a mark
// before acting, then look only at what came after it.
class ReceiverLog {
 public:
  explicit ReceiverLog(std::string path) : path_(std::move(path)) {}

  const std::vector<ReceiverEvent>& events();  // everything so far (reads new lines first)
  std::size_t size() { return events().size(); }
  std::vector<ReceiverEvent> since(std::size_t mark);
  // The first event at index >= `from` that satisfies `predicate`, waiting up to `timeout`.
  std::optional<ReceiverEvent> waitFor(const EventPredicate& predicate,
                                       std::chrono::milliseconds timeout = 5s,
                                       std::size_t from = 0);
  // The text of the key presses at index >= `from`, in order.
  std::string typedText(std::size_t from = 0);
  const std::string& path() const { return path_; }

 private:
  void readNew();

  std::string path_;
  std::size_t offset_ = 0;
  std::string partial_;
  std::vector<ReceiverEvent> events_;
};

// Whether some client holds the keyboard (an open menu, a popup): X refuses a grab of our own then.
bool keyboardIsGrabbed();

// Asks a child process to quit (SIGTERM), kills it after 3 s, reaps it and returns its wait
// status.
int stopChild(pid_t pid);

// Starts another copy of this test program with these environment entries ("NAME=value") set over
// the inherited ones; -1 when it cannot be started. Tests use it to run a window of their own in a
// separate process.
pid_t spawnSelf(const std::vector<std::string>& environment);

// The logging application, started as a child process; stopped when this goes.
class Receiver {
 public:
  struct Options {
    std::string title = "Tovrel receiver";
    int x = 100;
    int y = 100;
  };

  // Starts it and waits until its window is viewable; nullptr with `error` set on failure.
  static std::unique_ptr<Receiver> start(Desktop& desktop, const Options& options,
                                         std::string* error);
  ~Receiver();
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;

  pid_t pid() const { return pid_; }
  WindowId window() const { return window_; }
  ReceiverLog& log() { return log_; }
  std::optional<Rect> rect() const { return desktop_.windowRect(window_); }
  // Focuses the window and waits until the application itself reports focus-in.
  bool activate(std::chrono::milliseconds timeout = 5s);

 private:
  Receiver(Desktop& desktop, std::string dir, std::string logPath)
      : desktop_(desktop), dir_(std::move(dir)), log_(std::move(logPath)) {}

  Desktop& desktop_;
  std::string dir_;
  ReceiverLog log_;
  pid_t pid_ = -1;
  WindowId window_ = 0;
};

// A fresh Firefox profile's user.js: straight to the page, no first-run tabs or questions.
inline constexpr const char* firefoxSettings =
    R"(user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
)";

// Base fixture for desktop tests: skips without a display, gives a connection, and after each
// test fails it if a key or button was left held (and releases it, so the next test starts clean).
class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  Desktop& desktop() { return *desktop_; }
  // Starts a receiver or fails the test; use with ASSERT_NE(receiver, nullptr).
  std::unique_ptr<Receiver> startReceiver(const Receiver::Options& options = {});

  std::unique_ptr<Desktop> desktop_;
};

}  // namespace tovrel::desktoptest
