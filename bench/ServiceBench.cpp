// The navigation service's cost per input event and the time from a gesture to labels on screen.
//
// Per-event latency: each iteration hands one event to the live tap of a service running over the
// in-memory desktop, with the real overlay windows (rendering included), and times the tap
// handler's answer. Cases: navigation off under a 1000 Hz mouse, cursor mode, click mode with 400
// labels. Inside the private desktop it also times the click-mode gesture, sent as real input, to
// the label layer being mapped on screen for the fixture and for a GTK 3 application
// (gtk3-widget-factory), and the CPU the idle service uses.
// Qt before X11: the X headers define macros that break Qt's.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchChild.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/x11/X11Desktop.hpp"
#include "platform/x11/overlay/QtOverlayServices.hpp"
#include "system/NavigationService.hpp"

namespace {

using namespace tovrel;
using namespace std::chrono_literals;
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

// Times the click gesture, sent as real input, to the label layer mapped on screen while the
// program `args` runs in front.
void gestureToLabels(benchmark::State& state, std::vector<std::string> args,
                     const std::string& name, double budgetP99) {
  auto x11 = platform::x11::X11Desktop::open();
  if (!x11) return state.SkipWithError("no X display");
  Display* display = XOpenDisplay(nullptr);
  Child application(std::move(args));
  auto service = std::make_unique<NavigationService>(x11->platform(), TovrelConfig::defaults());
  service->start();
  if (!pumpUntil([&] { return service->clickTargetCandidate().has_value(); }, 8s))
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
  // Where the time goes, in milliseconds from the gesture: click mode on, the discovery's result
  // in, and the walk's own share as the service measured it.
  std::vector<double> modeOn, discovered, walk;
  for (auto _ : state) {
    const auto before = service->lastDiscovery();
    const auto sent = Clock::now();
    auto since = [&] {
      return std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    };
    key(super, true);
    key(shift, true);
    key(space, true);
    key(space, false);
    key(shift, false);
    key(super, false);
    std::optional<double> modeAt, discoveredAt;
    const bool shown = pumpUntil(
        [&] {
          if (!modeAt && service->mode() == InteractionMode::click) modeAt = since();
          if (!discoveredAt && service->lastDiscovery() != before) discoveredAt = since();
          return labelsMapped(display);
        },
        3s);
    const double seconds = std::chrono::duration<double>(Clock::now() - sent).count();
    state.SetIterationTime(seconds);
    if (!shown) return state.SkipWithError("the labels did not appear");
    samples.push_back(seconds * 1e6);
    if (modeAt) modeOn.push_back(*modeAt);
    if (discoveredAt) discovered.push_back(*discoveredAt);
    if (service->lastDiscovery()) walk.push_back(service->lastDiscovery()->milliseconds);
    service->stopNavigation();
    pumpUntil([&] { return !labelsMapped(display); }, 2s);
    pumpFor(100ms);
  }
  record(state, name, samples, budgetP99);
  auto median = [](std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
  };
  char text[160];
  std::snprintf(text, sizeof text,
                "median ms from the gesture: click mode %.1f, discovery in %.1f (walk %.1f), "
                "labels mapped %.1f",
                median(modeOn), median(discovered), median(walk), median(samples) / 1000);
  notes().push_back({name + ": stages", text});
  service->shutdown();
  XCloseDisplay(display);
}

void GestureToLabelsForTheFixture(benchmark::State& state) {
  const std::string dir = std::filesystem::temp_directory_path() / "tovrel-service-bench";
  std::filesystem::create_directories(dir);
  gestureToLabels(state, {TOVREL_FIXTURE_PATH, "--state", dir + "/fixture-state.json"},
                  "click gesture to labels on screen (fixture)", 50000);
}

// A real GTK 3 application of a few hundred nodes.
void GestureToLabelsForGtk(benchmark::State& state) {
  if (access("/usr/bin/gtk3-widget-factory", X_OK) != 0)
    return state.SkipWithError("gtk3-widget-factory is missing (gtk-3-examples)");
  gestureToLabels(state, {"/usr/bin/gtk3-widget-factory"},
                  "click gesture to labels on screen (GTK 3)", 100000);
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
    benchmark::RegisterBenchmark("GestureToLabelsForTheFixture", GestureToLabelsForTheFixture)
        ->UseManualTime()
        ->Iterations(20);
    benchmark::RegisterBenchmark("GestureToLabelsForGtk", GestureToLabelsForGtk)
        ->UseManualTime()
        ->Iterations(20);
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
  return 0;
}
