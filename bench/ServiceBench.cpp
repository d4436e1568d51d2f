// The navigation service's cost per input event and the time from a gesture to labels on screen.
//
// Per-event latency: each iteration hands one event to the live tap of a service running over the
// in-memory desktop, with the real overlay windows (rendering included), and times the tap
// handler's answer. Cases: navigation off under a 1000 Hz mouse, cursor mode, click mode with 400
// labels. Inside the private desktop it also times the click-mode gesture, sent as real input (the
// key a moment after the modifiers, as a hand types it), from its key to the label layer being
// mapped on screen for the fixture and for a GTK 3 application
// (gtk3-widget-factory) and real applications of every toolkit, with where the time of each entry
// goes, and the CPU the idle service uses.
// Qt before X11: the X headers define macros that break Qt's.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchChild.hpp"
#include "core/StageTrace.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/x11/X11Desktop.hpp"
#include "platform/x11/overlay/QtOverlayServices.hpp"
#include "system/NavigationService.hpp"

namespace {

using namespace tovrel;
using namespace std::chrono_literals;
using bench::median;
using Clock = std::chrono::steady_clock;
namespace flag = platform::eventFlag;
namespace type = platform::eventType;

struct Figures {
  double median = 0;
  double p99 = 0;
  double budgetP99 = 0;  // microseconds
};
std::map<std::string, Figures>& results() {
  static std::map<std::string, Figures> table;
  return table;
}
std::vector<std::pair<std::string, std::string>>& notes() {
  static std::vector<std::pair<std::string, std::string>> lines;
  return lines;
}
std::vector<std::string>& machineLines() {
  static std::vector<std::string> lines;
  return lines;
}

void record(benchmark::State& state, const std::string& name, std::vector<double>& samples,
            double budgetP99) {
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  Figures figures{samples[samples.size() / 2],
                  samples[std::min(samples.size() - 1, samples.size() * 99 / 100)], budgetP99};
  state.counters["p50_us"] = figures.median;
  state.counters["p99_us"] = figures.p99;
  results()[name] = figures;
}

// The in-memory desktop with the real overlay windows.
struct Rig {
  platform::fake::FakeDesktop desktop;
  platform::x11::QtOverlayServices overlays;
  platform::Platform platform{
      desktop.clock,    desktop.events,        desktop.displays,      desktop.hotKeys,
      desktop.panels,   desktop.access,        desktop.accessibility, desktop.workspace,
      desktop.executor, desktop.scheduler,     desktop.systemEvents,  desktop.application,
      overlays,         desktop.syntheticInput};
  std::unique_ptr<NavigationService> service;
  static constexpr std::int32_t editor = 200;

  Rig() {
    desktop.displays.setDisplays({{0, 0, 1280, 800}});
    desktop.workspace.apps.push_back({editor, "org.example.Editor", "Editor", std::nullopt});
    desktop.workspace.frontmost = editor;
    desktop.events.pointer = {400, 300};
  }
  void start() {
    service = std::make_unique<NavigationService>(platform, TovrelConfig::defaults());
    service->start();
  }
  ~Rig() {
    if (service) service->shutdown();
  }

  bool send(platform::EventType eventType, std::uint16_t code = 0, std::uint64_t flags = 0,
            Point at = {}, std::u16string text = {}) {
    platform::InputEvent event;
    event.type = eventType;
    event.keyCode = code;
    event.flags = flags;
    event.location = at;
    event.text = std::move(text);
    return desktop.events.inject(event);
  }
  void tapRightOption() {
    send(type::flagsChanged, Key::rightOption, flag::option | flag::rightOption);
    send(type::flagsChanged, Key::rightOption, 0);
  }
  // A window of `count` buttons in a grid, for click mode to label.
  void buttons(int count) {
    auto& ax = desktop.accessibility;
    const auto app = ax.addApplication(editor);
    const auto window = ax.add(app, "AXWindow", HintTarget::Frame{0, 0, 1280, 800});
    ax.set(window, "AXSubrole", std::string("AXStandardWindow"));
    ax.set(app, "AXFocusedWindow", platform::fake::FakeAccessibility::Ref{window});
    for (int i = 0; i < count; ++i) {
      const double x = 10 + (i % 20) * 62, y = 30 + (i / 20) * 38;
      const auto button = ax.add(window, "AXButton", HintTarget::Frame{x, y, 56, 24}, {"AXPress"});
      ax.set(button, "AXTitle", "Button " + std::to_string(i));
    }
  }
};

// Times one tap answer per iteration; `between` runs untimed after each.
template <class Event, class Between>
void timeEvents(benchmark::State& state, const std::string& name, double budgetP99, Event event,
                Between between) {
  std::vector<double> samples;
  samples.reserve(1 << 16);
  for (auto _ : state) {
    const auto start = Clock::now();
    event();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(seconds);
    samples.push_back(seconds * 1e6);
    between();
  }
  record(state, name, samples, budgetP99);
}

void OffMouseAt1000Hz(benchmark::State& state) {
  Rig rig;
  rig.start();
  double x = 0;
  timeEvents(
      state, "off, mouse moves at 1000 Hz", 200,
      [&] {
        rig.send(type::mouseMoved, 0, 0, {x, 300});
      },
      [&] {
        x = x > 1200 ? 0 : x + 1;
        rig.desktop.clock.advance(0.001);
      });
}

void CursorModeKeysAndMoves(benchmark::State& state) {
  Rig rig;
  rig.start();
  rig.tapRightOption();
  if (rig.service->mode() != InteractionMode::cursor)
    return state.SkipWithError("cursor mode did not start");
  int step = 0;
  timeEvents(
      state, "cursor mode, keys and moves", 200,
      [&] {
        switch (step % 3) {
          case 0:
            rig.send(type::keyDown, Key::l);
            break;
          case 1:
            rig.send(type::keyUp, Key::l);
            break;
          default:
            rig.send(type::mouseMoved, 0, 0, {500.0 + step % 100, 300});
            break;
        }
      },
      [&] {
        ++step;
        rig.desktop.advance(1.0 / 120);
      });
}

void ClickModeWith400Labels(benchmark::State& state) {
  Rig rig;
  rig.buttons(400);
  rig.start();
  rig.send(type::keyDown, Key::space,
           flag::command | flag::shift | flag::leftCommand | flag::leftShift);
  rig.send(type::keyUp, Key::space,
           flag::command | flag::shift | flag::leftCommand | flag::leftShift);
  rig.desktop.advance(0.05);
  const ClickSession* click = rig.service->router().click();
  if (!click || click->labels().size() < 400)
    return state.SkipWithError("click mode did not label 400 targets");
  // Type a label's first letter, then take it back: every event redraws the labels.
  const char first = click->labels().front().front();
  std::uint16_t letter = 0;
  for (const auto& [code, text] : Key::printableCodes())
    if (text.size() == 1 && std::tolower(static_cast<unsigned char>(text[0])) == first)
      letter = code;
  const std::u16string typedText(1, static_cast<char16_t>(first));
  bool typed = false;
  timeEvents(
      state, "click mode, 400 labels (render included)", 5000,
      [&] {
        if (typed)
          rig.send(type::keyDown, Key::deleteKey);
        else
          rig.send(type::keyDown, letter, 0, {}, typedText);
      },
      [&] {
        rig.send(type::keyUp, typed ? Key::deleteKey : letter);
        typed = !typed;
        rig.desktop.advance(0.02);
      });
}

// ── Inside the private desktop ──

using bench::Child;

// Runs the main loop for `span`, sleeping while nothing happens, as the program's own loop does.
void pumpFor(std::chrono::milliseconds span) {
  QEventLoop loop;
  QTimer::singleShot(span, Qt::PreciseTimer, &loop, &QEventLoop::quit);
  loop.exec();
}

template <class Done>
bool pumpUntil(Done done, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  return true;
}

// A visible window of this process covering the whole primary screen, mapped on the server: the
// label layer.
bool labelsMapped(Display* display) {
  for (QWindow* window : QGuiApplication::topLevelWindows()) {
    if (!window->isVisible() || window->width() < 640 || window->height() < 480) continue;
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display, static_cast<Window>(window->winId()), &attributes) &&
        attributes.map_state == IsViewable)
      return true;
  }
  return false;
}

// The title of the window in front, as its manager names it ("" without one).
std::string activeTitle(Display* display) {
  auto property = [&](Window window, const char* name, Atom type) {
    Atom actual = 0;
    int format = 0;
    unsigned long items = 0, left = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False, type,
                           &actual, &format, &items, &left, &data) == Success &&
        data != nullptr) {
      // Xlib hands 32-bit items over as longs.
      const std::size_t size = format == 32 ? sizeof(long) : static_cast<std::size_t>(format) / 8;
      value.assign(reinterpret_cast<const char*>(data), items * size);
      XFree(data);
    }
    return value;
  };
  const std::string active = property(DefaultRootWindow(display), "_NET_ACTIVE_WINDOW", XA_WINDOW);
  if (active.size() < sizeof(Window)) return {};
  Window window = 0;
  std::memcpy(&window, active.data(), sizeof window);
  return property(window, "_NET_WM_NAME", XInternAtom(display, "UTF8_STRING", False));
}

// One application the entry is timed in: "{home}" in its command and files stands for a folder
// of its own, made anew each run, so that it opens alike every time; `title` is part of its
// window's title once it shows what the entry labels ("" for the first window it shows).
struct EntryApp {
  const char* name;
  std::vector<std::string> command;
  const char* title;
  std::vector<std::pair<std::string, std::string>> files{};
  double budgetP99 = 100000;  // µs
};

std::string expandHome(std::string text, const std::string& home) {
  for (auto at = text.find("{home}"); at != std::string::npos; at = text.find("{home}"))
    text.replace(at, 6, home);
  return text;
}

// The stages of one entry, in milliseconds from the gesture: until click mode is on, the
// discovery's own stages as it traced them, the rest of the discovery (threads, the scheduler),
// and from its result to the label layer on screen.
constexpr std::size_t stageColumns = stageTrace::stageCount + 3;
std::string stageColumn(std::size_t column) {
  if (column == 0) return "chord to mode";
  if (column <= stageTrace::stageCount)
    return std::string(stageTrace::name(static_cast<stageTrace::Stage>(column - 1)));
  return column == stageTrace::stageCount + 1 ? "rest of discovery" : "overlay paint";
}

// How long before the chord's key a hand has its modifiers down, and how long the entries lie apart
// (longer than the accessibility layer keeps an answer).
constexpr auto modifiersAhead = 120ms;
constexpr auto betweenEntries = 1200ms;

// Times the click gesture, sent as real input, to the label layer mapped on screen while the
// application runs in front: its first entry after it started apart from the median of the later
// ones, and where each entry's time went.
void gestureToLabels(benchmark::State& state, const EntryApp& app) {
  auto x11 = platform::x11::X11Desktop::open();
  if (!x11) return state.SkipWithError("no X display");
  Display* display = XOpenDisplay(nullptr);
  const std::string home = std::filesystem::temp_directory_path() /
                           ("tovrel-service-bench-" + std::to_string(getpid()) + "-" + app.name);
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home);
  for (const auto& [path, content] : app.files) {
    const std::filesystem::path file = home + "/" + path;
    std::filesystem::create_directories(file.parent_path());
    std::FILE* out = std::fopen(file.c_str(), "w");
    if (out) {
      std::fputs(expandHome(content, home).c_str(), out);
      std::fclose(out);
    }
  }
  std::vector<std::string> command;
  for (const auto& part : app.command)
    command.push_back(expandHome(part, home));
  if (command.empty() || access(command.front().c_str(), X_OK) != 0)
    return state.SkipWithError((command.front() + " is missing (scripts/setup.sh)").c_str());
  Child application(std::move(command));
  auto service = std::make_unique<NavigationService>(x11->platform(), TovrelConfig::defaults());
  service->start();
  stageTrace::enable(true);
  if (!pumpUntil(
          [&] {
            return service->clickTargetCandidate().has_value() &&
                   activeTitle(display).find(app.title) != std::string::npos;
          },
          30s))
    return state.SkipWithError("the application did not come to the front");
  pumpFor(800ms);  // the application appears on the accessibility bus
  const unsigned super = XKeysymToKeycode(display, XK_Super_L);
  const unsigned shift = XKeysymToKeycode(display, XK_Shift_L);
  const unsigned space = XKeysymToKeycode(display, XK_space);
  auto key = [&](unsigned code, bool press) {
    XTestFakeKeyEvent(display, code, press, CurrentTime);
    XFlush(display);
  };
  std::vector<double> samples;
  std::array<std::vector<double>, stageColumns> stages;
  std::array<std::vector<double>, stageTrace::stageCount> stageMessages;
  std::optional<double> first;
  int targets = 0;
  std::vector<double> messages;
  std::string firstStages;
  for (auto _ : state) {
    const auto before = service->lastDiscovery();
    // A hand holds the chord's modifiers a moment before it types the key; the entry is timed from
    // the key.
    key(super, true);
    key(shift, true);
    pumpFor(modifiersAhead);
    stageTrace::take();
    const auto sent = Clock::now();
    auto since = [&] {
      return std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    };
    key(space, true);
    key(space, false);
    key(shift, false);
    key(super, false);
    // Seen as they change: one turn of the loop may carry a result and its labels too.
    std::optional<double> modeAt, discoveredAt;
    const auto token = service->observe([&](NavigationService::Property property) {
      if (!modeAt && service->mode() == InteractionMode::click) modeAt = since();
      if (property == NavigationService::Property::lastDiscovery && !discoveredAt &&
          service->lastDiscovery() != before)
        discoveredAt = since();
    });
    const bool shown = pumpUntil([&] { return labelsMapped(display); }, 3s);
    service->removeObserver(token);
    const double milliseconds = since();
    state.SetIterationTime(milliseconds / 1000);
    if (!shown) return state.SkipWithError("the labels did not appear");
    const stageTrace::Figures traced = stageTrace::take();
    if (!first) {
      first = milliseconds;
      firstStages = "first entry's stages, ms:";
      for (std::size_t stage = 0; stage < stageTrace::stageCount; ++stage) {
        char part[64];
        std::snprintf(part, sizeof part, " %s %.1f (%ld messages),",
                      std::string(stageTrace::name(static_cast<stageTrace::Stage>(stage))).c_str(),
                      traced.seconds[stage] * 1000, traced.messages[stage]);
        firstStages += part;
      }
      char part[64];
      std::snprintf(part, sizeof part, " overlay paint %.1f",
                    milliseconds - discoveredAt.value_or(milliseconds));
      firstStages += part;
    } else {
      samples.push_back(milliseconds * 1000);
      const double mode = modeAt.value_or(0);
      const double discovered = discoveredAt.value_or(milliseconds);
      double tracedSum = 0;
      stages[0].push_back(mode);
      for (std::size_t stage = 0; stage < stageTrace::stageCount; ++stage) {
        stages[stage + 1].push_back(traced.seconds[stage] * 1000);
        stageMessages[stage].push_back(static_cast<double>(traced.messages[stage]));
        tracedSum += traced.seconds[stage] * 1000;
      }
      stages[stageTrace::stageCount + 1].push_back(std::max(0.0, discovered - mode - tracedSum));
      stages[stageTrace::stageCount + 2].push_back(milliseconds - discovered);
      double sent = 0;
      for (const long count : traced.messages)
        sent += static_cast<double>(count);
      messages.push_back(sent);
    }
    if (service->lastDiscovery()) targets = service->lastDiscovery()->targets;
    service->stopNavigation();
    pumpUntil([&] { return !labelsMapped(display); }, 2s);
    // Entries a person makes lie seconds apart: what the last one asked is no longer fresh.
    pumpFor(betweenEntries);
  }
  stageTrace::enable(false);
  const std::string name = std::string("click gesture to labels on screen (") + app.name + ")";
  record(state, name, samples, app.budgetP99);
  const double typical = median(samples) / 1000;
  state.counters["first_ms"] = first.value_or(0);
  state.counters["median_ms"] = typical;
  state.counters["targets"] = targets;
  std::string text = "first entry " + std::to_string(static_cast<long>(first.value_or(0))) +
                     " ms, then median " + std::to_string(static_cast<long>(typical)) +
                     " ms; median ms:";
  // One line a script can read: the application, the first entry, the median, each stage.
  std::string line = std::string("ENTRY\t") + app.name + "\t" + std::to_string(first.value_or(0)) +
                     "\t" + std::to_string(typical);
  for (std::size_t column = 0; column < stageColumns; ++column) {
    const double value = median(stages[column]);
    char part[80];
    if (column >= 1 && column <= stageTrace::stageCount && median(stageMessages[column - 1]) > 0)
      std::snprintf(part, sizeof part, " %s %.1f (%.0f messages),", stageColumn(column).c_str(),
                    value, median(stageMessages[column - 1]));
    else
      std::snprintf(part, sizeof part, " %s %.1f,", stageColumn(column).c_str(), value);
    text += part;
    line += "\t" + std::to_string(value);
  }
  text.pop_back();
  text += "; " + std::to_string(static_cast<long>(median(messages))) + " messages, " +
          std::to_string(targets) + " targets";
  notes().push_back({name, text});
  notes().push_back({name, firstStages});
  machineLines().push_back(line);
  service->shutdown();
  XCloseDisplay(display);
}

// A page with a header of links, a form and a list, as both browsers open it.
constexpr const char* entryPage =
    "<!DOCTYPE html><title>Entry</title><h1>Entry</h1><nav><a href='#a'>Alpha</a> "
    "<a href='#b'>Beta</a> <a href='#c'>Gamma</a> <a href='#d'>Delta</a></nav>"
    "<form><input placeholder='Name'> <select><option>One<option>Two</select> "
    "<label><input type=checkbox> Keep</label> <button type=button>Send</button></form><ul>"
    "<li><a href='#1'>First item</a><li><a href='#2'>Second item</a><li><a href='#3'>Third "
    "item</a><li><a href='#4'>Fourth item</a><li><a href='#5'>Fifth item</a></ul>";
constexpr const char* firefoxPreferences =
    R"(user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
)";
// The environment of a GTK 4 application that keeps its settings, session and caches to itself.
std::vector<std::string> gtk4(std::vector<std::string> command) {
  command.insert(command.begin(), {"/usr/bin/env", "GSK_RENDERER=cairo", "GDK_BACKEND=x11",
                                   "GSETTINGS_BACKEND=memory", "HOME={home}",
                                   "XDG_CONFIG_HOME={home}/config", "XDG_DATA_HOME={home}/data",
                                   "XDG_STATE_HOME={home}/state", "XDG_CACHE_HOME={home}/cache"});
  return command;
}

const std::vector<EntryApp>& entryApps() {
  static const std::vector<EntryApp> apps = {
      {"fixture", {TOVREL_FIXTURE_PATH, "--state", "{home}/fixture-state.json"}, "", {}, 50000},
      {"GTK 3", {"/usr/bin/gtk3-widget-factory"}, "", {}, 100000},
      {"geany", {"/usr/bin/geany", "-c", "{home}"}, "Geany"},
      {"gnome-text-editor", gtk4({"/usr/bin/gnome-text-editor", "--standalone"}), "Text Editor"},
      {"nautilus",
       gtk4({"/usr/bin/nautilus", "--new-window", "{home}/files"}),
       "files",
       {{"files/notes.txt", "notes"},
        {"files/report.txt", "report"},
        {"files/letters/a.txt", "a"},
        {"files/pictures/b.txt", "b"}}},
      {"FeatherPad", {"/usr/bin/env", "HOME={home}", "/usr/bin/featherpad"}, "Untitled"},
      {"Firefox",
       {"/usr/bin/env", "GNOME_ACCESSIBILITY=1", "/usr/bin/firefox-esr", "--no-remote", "--profile",
        "{home}", "file://{home}/page.html"},
       "Entry",
       {{"page.html", entryPage}, {"user.js", firefoxPreferences}}},
      {"Chromium",
       {"/usr/bin/chromium", "--no-sandbox", "--user-data-dir={home}/chromium", "--no-first-run",
        "--no-default-browser-check", "--password-store=basic", "--force-renderer-accessibility",
        "file://{home}/page.html"},
       "Entry",
       {{"page.html", entryPage}}},
  };
  return apps;
}

void IdleCpuWhileOff(benchmark::State& state) {
  auto x11 = platform::x11::X11Desktop::open();
  if (!x11) return state.SkipWithError("no X display");
  auto service = std::make_unique<NavigationService>(x11->platform(), TovrelConfig::defaults());
  service->start();
  pumpFor(500ms);
  for (auto _ : state) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    pumpFor(10s);
    getrusage(RUSAGE_SELF, &after);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    auto cpu = [](const rusage& usage) {
      return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
             (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    const double percent = 100.0 * (cpu(after) - cpu(before)) / wall;
    state.SetIterationTime(wall);
    state.counters["cpu_percent"] = percent;
    char text[64];
    std::snprintf(text, sizeof text, "%.3f %% over %.1f s (target < 0.5 %%)", percent, wall);
    notes().push_back({"idle CPU while off", text});
  }
  service->shutdown();
}

}  // namespace

BENCHMARK(OffMouseAt1000Hz)->UseManualTime()->Iterations(20000);
BENCHMARK(CursorModeKeysAndMoves)->UseManualTime()->Iterations(6000);
BENCHMARK(ClickModeWith400Labels)->UseManualTime()->Iterations(400);

int main(int argc, char** argv) {
  const bool live = std::getenv("DISPLAY") != nullptr;
  if (!live) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  if (live) {
    // The first entry, then seven more.
    for (const EntryApp& entry : entryApps()) {
      benchmark::RegisterBenchmark(
          (std::string("GestureToLabels/") + entry.name).c_str(),
          [&entry](benchmark::State& state) { gestureToLabels(state, entry); })
          ->UseManualTime()
          ->Iterations(8);
    }
    benchmark::RegisterBenchmark("IdleCpuWhileOff", IdleCpuWhileOff)
        ->UseManualTime()
        ->Iterations(1);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::printf("\n%-48s %12s %12s %14s\n", "case", "p50 (µs)", "p99 (µs)", "p99 target");
  for (const auto& [name, figures] : results())
    std::printf("%-48s %12.1f %12.1f %12.0f µs %s\n", name.c_str(), figures.median, figures.p99,
                figures.budgetP99, figures.p99 <= figures.budgetP99 ? "ok" : "OVER");
  for (const auto& [name, text] : notes())
    std::printf("%-48s %s\n", name.c_str(), text.c_str());
  for (const auto& line : machineLines())
    std::printf("%s\n", line.c_str());
  return 0;
}
