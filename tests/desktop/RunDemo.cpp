// A demonstration of the three modes on a machine without a display: inside a private desktop
// it starts the fixture and the real program, as a person would, and works the three modes with
// the keyboard alone (Xvfb's own keyboard, which nobody can tell from a real one). What each mode
// did is read where a person would see it: the pointer from the X server, the button's count and
// the list's offset from the fixture's state file, and the labels on a picture of the screen.
//
//   tovrel-run-demo --tovrel PROGRAM --fixture PROGRAM --screenshot FILE.png
//
// Exits 0 when all three modes worked, 1 when one did not (naming it), 2 on bad arguments and 77
// (a skip for ctest) without a display.

#include <QApplication>
#include <QImage>
#include <QString>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/NavigationRouter.hpp"
#include "core/TovrelConfig.hpp"
#include "platform/x11/X11Desktop.hpp"
#include "platform/x11/X11Errors.hpp"
#include "system/AccessibilityTargets.hpp"
#include "system/NavigationService.hpp"
#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/FixtureHarness.hpp"
#include "tests/desktop/QtTestApp.hpp"

// Xlib last: its macros (None, Bool, Status) would break the Qt headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

extern char** environ;

namespace tovrel::desktoptest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int skipped = 77;
// The settings window opens on its first page, whose title follows the program's.
constexpr char settingsTitle[] = "Tovrel — Clicking";
// The right Alt key: X keycode 108 on every evdev keymap, which is what the program listens for.
constexpr Keycode rightAlt = 108;
// Waits that fail only when something is wrong: generous, so that a machine busy with a parallel
// build still passes.
constexpr auto startTimeout = 60s;
constexpr auto modeTimeout = 15s;
constexpr auto effectTimeout = 10s;
constexpr auto stopTimeout = 15s;
constexpr auto moveHold = 300ms;
constexpr auto scrollHold = 500ms;

struct Options {
  std::string tovrel;
  std::string fixture;
  std::string screenshot;
};

std::optional<Options> parse(int argc, char** argv, std::string* error) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    std::string* slot = flag == "--tovrel"       ? &options.tovrel
                        : flag == "--fixture"    ? &options.fixture
                        : flag == "--screenshot" ? &options.screenshot
                                                 : nullptr;
    if (slot == nullptr) {
      *error = "unknown argument \"" + flag + "\"";
      return std::nullopt;
    }
    if (i + 1 >= argc || std::string_view(argv[i + 1]).starts_with("--")) {
      *error = flag + " needs a path";
      return std::nullopt;
    }
    *slot = argv[++i];
  }
  for (const auto& [value, flag] :
       {std::pair{&options.tovrel, "--tovrel"}, std::pair{&options.fixture, "--fixture"},
        std::pair{&options.screenshot, "--screenshot"}}) {
    if (value->empty()) {
      *error = std::string(flag) + " is missing";
      return std::nullopt;
    }
  }
  return options;
}

// Polls `done` every 10 ms until it holds or `timeout` has passed, letting this process's own
// Qt connection breathe meanwhile.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
}

std::string tail(const std::string& path, int lines) {
  std::ifstream in(path);
  std::vector<std::string> kept;
  for (std::string line; std::getline(in, line);) {
    kept.push_back(line);
    if (static_cast<int>(kept.size()) > lines) kept.erase(kept.begin());
  }
  std::string text;
  for (const auto& line : kept)
    text += "  | " + line + "\n";
  return text;
}

std::string describeStatus(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
  return "ended with wait status " + std::to_string(status);
}

// The program under demonstration as a child process, with a settings folder of its own so that
// no settings of the person running the demo are read or written.
class Program {
 public:
  static std::unique_ptr<Program> start(const std::string& path, std::string* error) {
    std::unique_ptr<Program> program(new Program());
    const char* tmp = std::getenv("TMPDIR");
    program->dir_ =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/tovrel-run-demo.XXXXXX";
    if (mkdtemp(program->dir_.data()) == nullptr) {
      *error = "cannot create a folder for the program: " + std::string(std::strerror(errno));
      program->dir_.clear();
      return nullptr;
    }
    program->log_ = program->dir_ + "/tovrel.log";
    const std::string configHome = program->dir_ + "/config";
    std::filesystem::create_directory(configHome);

    std::vector<std::string> environment = {"XDG_CONFIG_HOME=" + configHome};
    for (char** entry = environ; *entry != nullptr; ++entry)
      if (!std::string_view(*entry).starts_with("XDG_CONFIG_HOME="))
        environment.emplace_back(*entry);
    std::vector<char*> envp;
    for (auto& entry : environment)
      envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string argv0 = path;
    char* argv[] = {argv0.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, program->log_.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int spawned = posix_spawn(&program->pid_, argv[0], &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
      *error = "cannot start " + path + ": " + std::strerror(spawned);
      program->pid_ = -1;
      return nullptr;
    }
    return program;
  }

  ~Program() {
    if (pid_ > 0) stop();
    std::error_code ignored;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  pid_t pid() const { return pid_; }
  // Its output so far, for failure messages.
  std::string output(int lines = 20) const { return tail(log_, lines); }

  // The wait status once it has ended; nothing while it runs.
  std::optional<int> ended() {
    if (status_) return status_;
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
      status_ = status;
      pid_ = -1;
    }
    return status_;
  }

  // Asks it to quit as a session ending would (SIGTERM) and returns its wait status; kills it
  // when it does not leave in time.
  int stop() {
    if (auto status = ended()) return *status;
    kill(pid_, SIGTERM);
    if (!waitUntil([&] { return ended().has_value(); }, stopTimeout)) {
      kill(pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
      pid_ = -1;
      status_ = status;
      killed_ = true;
    }
    return *status_;
  }
  bool wasKilled() const { return killed_; }

 private:
  Program() = default;

  std::string dir_;
  std::string log_;
  pid_t pid_ = -1;
  std::optional<int> status_;
  bool killed_ = false;
};

// The program's overlay windows on screen now: top-level windows that bypass the window manager,
// are viewable and belong to `pid`.
std::vector<Rect> overlaysOf(Desktop& desktop, pid_t pid) {
  Display* display = desktop.display();
  // A window may go between the query and the next request; its error must not end the demo.
  platform::x11::installErrorHandlers();
  platform::x11::ErrorTrap trap(display);
  const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  std::vector<Rect> found;
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, desktop.root(), &root, &parent, &children, &count) == 0) return found;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, children[i], &attributes) == 0) continue;
    if (attributes.map_state != IsViewable || attributes.override_redirect == 0) continue;
    Atom type = 0;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const int read = XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL,
                                        &type, &format, &items, &after, &data);
    bool ours = false;
    if (read == Success && data != nullptr && format == 32 && items == 1) {
      long value = 0;
      std::memcpy(&value, data, sizeof(long));
      ours = value == pid;
    }
    if (data != nullptr) XFree(data);
    if (ours) found.push_back({attributes.x, attributes.y, attributes.width, attributes.height});
  }
  if (children != nullptr) XFree(children);
  return found;
}

bool contains(const Rect& outer, const Rect& inner) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

// The whole root window as the server shows it.
QImage screenshot(Desktop& desktop) {
  Display* display = desktop.display();
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, desktop.root(), &attributes) == 0) return {};
  XImage* image = XGetImage(display, desktop.root(), 0, 0, static_cast<unsigned>(attributes.width),
                            static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
  if (image == nullptr) return {};
  QImage picture(attributes.width, attributes.height, QImage::Format_RGB32);
  const auto channel = [](unsigned long pixel, unsigned long mask) {
    if (mask == 0) return 0;
    while ((mask & 1) == 0) {
      mask >>= 1;
      pixel >>= 1;
    }
    return static_cast<int>((pixel & mask) * 255 / mask);
  };
  for (int y = 0; y < attributes.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < attributes.width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      line[x] = qRgb(channel(pixel, image->red_mask), channel(pixel, image->green_mask),
                     channel(pixel, image->blue_mask));
    }
  }
  XDestroyImage(image);
  return picture;
}

// The label click mode gives the control named `name`, found by the same discovery and the same
// label assignment the program runs on the same window.
std::optional<std::string> labelFor(platform::Platform& platform, pid_t pid,
                                    const std::string& name, std::size_t* targetCount) {
  const TovrelConfig& config = TovrelConfig::defaults();
  DiscoveryServices services = DiscoveryServices::of(platform);
  DiscoveryResult result =
      AccessibilityTargets::discoverNow(services, pid, NavigationService::discoveryBudget,
                                        NavigationService::discoveryExtras(config), true);
  NavigationRouter router(config, platform.application.doubleClickInterval());
  router.requestMode(InteractionMode::click);
  router.handle(RouterInput::TargetsDiscovered{router.generation(), 1, std::move(result.targets)},
                0, Point{});
  const ClickSession* click = router.click();
  if (click == nullptr) return std::nullopt;
  *targetCount = click->targets().size();
  for (std::size_t i = 0; i < click->targets().size() && i < click->labels().size(); ++i)
    if (click->targets()[i].name == name) return click->labels()[i];
  return std::nullopt;
}

std::string point(std::pair<int, int> at) {
  return "(" + std::to_string(at.first) + "," + std::to_string(at.second) + ")";
}

class Demo {
 public:
  Demo(Desktop& desktop, platform::Platform& platform, Program& tovrel, FixtureApp& fixture,
       WindowId fixtureWindow, std::string screenshotPath)
      : desktop_(desktop),
        platform_(platform),
        tovrel_(tovrel),
        fixture_(fixture),
        fixtureWindow_(fixtureWindow),
        screenshotPath_(std::move(screenshotPath)) {}

  // Each returns its line: what the mode did, or what went wrong.
  std::pair<bool, std::string> moving() {
    const auto typing = fixture_.frame("typing");
    if (!typing) return fail("Moving", "the fixture lists no frame \"typing\"");
    if (!frontFixture()) return fail("Moving", notInFront());
    desktop_.hardwareMove(typing->centerX(), typing->centerY());
    if (!waitUntil(
            [&] { return desktop_.pointer() == std::pair(typing->centerX(), typing->centerY()); },
            effectTimeout))
      return fail("Moving", "the pointer never reached the fixture");
    const auto from = desktop_.pointer();

    desktop_.hardwareKey(rightAlt, true);
    desktop_.hardwareKey(rightAlt, false);
    if (!waitForOverlay()) return fail("Moving", "a tap of right Alt showed no Moving badge");
    // A hold that falls wholly within a hiccup of the program's (a busy machine) moves nothing,
    // as the pointer never jumps: hold again, as a person would, within the deadline.
    const Keycode right = desktop_.keycode(XK_l);
    const QString typed = fixture_.state().value("typing").toString();
    const auto deadline = Clock::now() + effectTimeout;
    int holds = 0;
    bool moved = false;
    while (!moved && Clock::now() < deadline) {
      ++holds;
      desktop_.hardwareKey(right, true);
      std::this_thread::sleep_for(moveHold);
      desktop_.hardwareKey(right, false);
      moved = waitUntil([&] { return desktop_.pointer().first > from.first; }, 2s);
    }
    const auto to = desktop_.pointer();
    desktop_.hardwareTap(XK_Escape);
    const QString typedNow = fixture_.state().value("typing").toString();
    if (typedNow != typed)
      return fail("Moving", "L reached the fixture's field, which now reads \"" +
                                typedNow.toStdString() + "\"");
    if (!moved) return fail("Moving", "holding L did not move the pointer right");
    if (!waitForNoOverlay()) return fail("Moving", "Escape did not stop Moving");
    return {true, "Moving: pointer moved from " + point(from) + " to " + point(to) +
                      (holds > 1 ? " (" + std::to_string(holds) + " holds of L)" : "")};
  }

  std::pair<bool, std::string> clicking() {
    const auto increment = fixture_.frame("increment");
    if (!increment) return fail("Clicking", "the fixture lists no frame \"increment\"");
    if (!frontFixture()) return fail("Clicking", notInFront());
    const long long before = fixture_.number("counter");
    const QImage quiet = screenshot(desktop_);

    desktop_.hardwareChord({XK_Super_L, XK_Shift_L, XK_space});
    // The labels are drawn on one window over the whole screen; it is mapped only while it
    // draws something.
    const bool labelled = waitUntil(
        [&] {
          for (const Rect& overlay : overlaysOf(desktop_, tovrel_.pid()))
            if (contains(overlay, *increment)) return true;
          return false;
        },
        modeTimeout);
    if (!labelled) {
      desktop_.hardwareTap(XK_Escape);
      return fail("Clicking", "Super+Shift+Space showed no labels over the fixture");
    }
    // The window may be mapped a moment before its pixels are drawn: the picture is taken once
    // the screen differs from before and has stopped changing.
    QImage shot;
    waitUntil(
        [&] {
          QImage now = screenshot(desktop_);
          const bool settled = !now.isNull() && now != quiet && now == shot;
          shot = std::move(now);
          return settled;
        },
        effectTimeout);
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(screenshotPath_).parent_path(),
                                        ignored);
    if (shot.isNull() || !shot.save(QString::fromStdString(screenshotPath_), "PNG")) {
      desktop_.hardwareTap(XK_Escape);
      return fail("Clicking", "could not save the screenshot to " + screenshotPath_);
    }

    std::size_t targets = 0;
    const auto label = labelFor(platform_, fixture_.pid(), "Increment", &targets);
    if (!label) {
      desktop_.hardwareTap(XK_Escape);
      return fail("Clicking", "no label for Increment among " + std::to_string(targets) +
                                  " targets of the fixture");
    }
    desktop_.hardwareType(*label);
    const bool pressed = fixture_.waitFor(
        [&](const QJsonObject& state) { return state.value("counter").toInteger() > before; },
        effectTimeout);
    if (!pressed) {
      desktop_.hardwareTap(XK_Escape);
      return fail("Clicking", "typing \"" + *label + "\" did not press Increment");
    }
    // A pressed control ends Clicking.
    if (!waitForNoOverlay()) {
      desktop_.hardwareTap(XK_Escape);
      return fail("Clicking", "the labels stayed after Increment was pressed");
    }
    return {true, "Clicking: labels shown, typed \"" + *label + "\", Increment pressed (count " +
                      std::to_string(fixture_.number("counter")) + ")"};
  }

  std::pair<bool, std::string> scrolling() {
    const auto area = fixture_.frame("scroll");
    if (!area) return fail("Scrolling", "the fixture lists no frame \"scroll\"");
    if (!frontFixture()) return fail("Scrolling", notInFront());
    // Scrolling starts with the area the person last clicked: the list.
    desktop_.hardwareClick(area->centerX(), area->centerY());
    const long long from = fixture_.number("scrollY");

    desktop_.hardwareChord({XK_Super_L, XK_Shift_L, XK_j});
    if (!waitForOverlay()) return fail("Scrolling", "Super+Shift+J did not start Scrolling");
    // Until the program has found the list, a held key scrolls nothing: hold again until it
    // does, within the deadline.
    const Keycode down = desktop_.keycode(XK_j);
    const auto deadline = Clock::now() + modeTimeout;
    bool scrolled = false;
    while (!scrolled && Clock::now() < deadline) {
      desktop_.hardwareKey(down, true);
      std::this_thread::sleep_for(scrollHold);
      desktop_.hardwareKey(down, false);
      scrolled = fixture_.waitFor(
          [&](const QJsonObject& state) { return state.value("scrollY").toInteger() != from; }, 2s);
    }
    const long long to = fixture_.number("scrollY");
    desktop_.hardwareTap(XK_Escape);
    if (!scrolled) return fail("Scrolling", "holding J did not move the list");
    if (!waitForNoOverlay()) return fail("Scrolling", "Escape did not stop Scrolling");
    return {true,
            "Scrolling: list moved from " + std::to_string(from) + " to " + std::to_string(to)};
  }

 private:
  std::pair<bool, std::string> fail(const std::string& mode, const std::string& why) {
    desktop_.releaseAll();
    return {false, mode + ": FAILED, " + why};
  }

  // Each mode works on the active window: the fixture, whatever took the focus meanwhile.
  bool frontFixture() {
    return desktop_.activeWindow() == fixtureWindow_ ||
           desktop_.focus(fixtureWindow_, effectTimeout);
  }
  std::string notInFront() const {
    return "the fixture could not be made the active window: " + desktop_.focusReport();
  }

  bool waitForOverlay() {
    return waitUntil([&] { return !overlaysOf(desktop_, tovrel_.pid()).empty(); }, modeTimeout);
  }
  bool waitForNoOverlay() {
    return waitUntil([&] { return overlaysOf(desktop_, tovrel_.pid()).empty(); }, modeTimeout);
  }

  Desktop& desktop_;
  platform::Platform& platform_;
  Program& tovrel_;
  FixtureApp& fixture_;
  WindowId fixtureWindow_;
  std::string screenshotPath_;
};

int run(const Options& options) {
  auto desktop = Desktop::open();
  if (!desktop) {
    std::cout << "No X display answers: the demonstration runs inside scripts/desktop.sh.\n";
    return skipped;
  }
  if (!desktop->hasHardwareDevices()) {
    std::cerr << "This display has no Xvfb keyboard and mouse to type with.\n";
    return 1;
  }
  qtApp();
  auto x11 = platform::x11::X11Desktop::open();
  if (!x11) {
    std::cerr << "The X11 desktop could not be opened.\n";
    return 1;
  }

  std::string error;
  FixtureApp::Options fixtureOptions;
  fixtureOptions.program = options.fixture;
  auto fixture = FixtureApp::start(fixtureOptions, &error);
  if (!fixture) {
    std::cerr << "The fixture did not start: " << error << "\n";
    return 1;
  }
  auto fixtureWindow = desktop->waitForWindow("Tovrel Fixture", fixture->pid(), startTimeout);
  if (!fixtureWindow) {
    std::cerr << "The fixture's window never appeared.\n";
    return 1;
  }

  auto tovrel = Program::start(options.tovrel, &error);
  if (!tovrel) {
    std::cerr << error << "\n";
    return 1;
  }
  std::optional<WindowId> settings;
  waitUntil(
      [&] {
        settings = desktop->findWindow(settingsTitle, tovrel->pid());
        return settings.has_value() || tovrel->ended().has_value();
      },
      startTimeout);
  if (!settings) {
    if (auto status = tovrel->ended())
      std::cerr << "tovrel " << describeStatus(*status) << " before its settings window opened:\n";
    else
      std::cerr << "tovrel's settings window \"Tovrel\" never appeared:\n";
    std::cerr << tovrel->output();
    return 1;
  }
  std::cout << "tovrel is running (pid " << tovrel->pid() << ") with its settings window open.\n";
  // The settings window asks for the focus once it is first drawn, after it is mapped: the
  // fixture is brought to the front after that, or the request would take the front back.
  waitUntil([&] { return desktop->activeWindow() == settings; }, effectTimeout);

  Demo demo(*desktop, x11->platform(), *tovrel, *fixture, *fixtureWindow, options.screenshot);
  std::vector<std::pair<std::string, std::pair<bool, std::string>>> results;
  results.emplace_back("Moving", demo.moving());
  std::cout << results.back().second.second << "\n" << std::flush;
  results.emplace_back("Clicking", demo.clicking());
  std::cout << results.back().second.second << "\n" << std::flush;
  results.emplace_back("Scrolling", demo.scrolling());
  std::cout << results.back().second.second << "\n" << std::flush;

  const int status = tovrel->stop();
  const bool cleanExit = !tovrel->wasKilled() && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!cleanExit) {
    std::cout << "tovrel "
              << (tovrel->wasKilled() ? "ignored SIGTERM and was killed" : describeStatus(status))
              << " on SIGTERM:\n"
              << tovrel->output();
  }
  fixture->stop();

  std::vector<std::string> failed;
  for (const auto& [mode, result] : results)
    if (!result.first) failed.push_back(mode);
  if (!cleanExit) failed.emplace_back("stopping tovrel");
  if (failed.empty()) {
    std::cout << "All three modes worked; tovrel quit cleanly on SIGTERM.\n";
    return 0;
  }
  std::string list;
  for (const auto& name : failed)
    list += (list.empty() ? "" : ", ") + name;
  std::cout << "Failed: " << list << ".\n";
  if (cleanExit) std::cout << "tovrel's output:\n" << tovrel->output(40);
  return 1;
}

}  // namespace
}  // namespace tovrel::desktoptest

int main(int argc, char** argv) {
  std::string error;
  const auto options = tovrel::desktoptest::parse(argc, argv, &error);
  if (!options) {
    std::cerr
        << "tovrel-run-demo: " << error << "\n"
        << "usage: tovrel-run-demo --tovrel PROGRAM --fixture PROGRAM --screenshot FILE.png\n";
    return 2;
  }
  return tovrel::desktoptest::run(*options);
}
