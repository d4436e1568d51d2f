// Discovery over the real accessibility bus, inside the private desktop: the fixture's window, a
// generated window of 5,000 nodes, and real GTK 3 and GTK 4 applications (gtk3-widget-factory,
// gnome-text-editor, gnome-font-viewer's grid of fonts), these side by side with a plain libatspi
// walk of the same window (bench/atspi_walk.py). Each iteration
// is one whole discovery as click mode runs it (default budget, extras, covering).
#include <QApplication>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/BenchChild.hpp"
#include "core/StageTrace.hpp"
#include "platform/atspi/AtspiBus.hpp"
#include "platform/x11/X11Desktop.hpp"
#include "system/AccessibilityTargets.hpp"

namespace {

using namespace tovrel;
using namespace std::chrono_literals;
using bench::median;

using bench::Child;

std::unique_ptr<platform::x11::X11Desktop>& x11() {
  static std::unique_ptr<platform::x11::X11Desktop> desktop;
  return desktop;
}
platform::x11::X11Desktop& desktop() {
  return *x11();
}

DiscoveryResult discover(pid_t pid) {
  DiscoveryServices services = DiscoveryServices::of(desktop().platform());
  return AccessibilityTargets::discoverNow(services, pid, AccessibilityTargets::Budget{},
                                           AccessibilityTargets::Extras{}, true);
}

// Waits until the application's window can be walked and holds at least `targets` targets.
bool ready(pid_t pid, std::size_t targets) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (std::chrono::steady_clock::now() < deadline) {
    QCoreApplication::processEvents();
    DiscoveryResult result = discover(pid);
    if (result.foundWindow && result.targets.size() >= targets) return true;
    std::this_thread::sleep_for(100ms);
  }
  return false;
}

// Returns the median milliseconds of one discovery, and prints where it went, stage by stage.
double measure(benchmark::State& state, pid_t pid, const char* name) {
  DiscoveryResult last;
  double seconds = 0;
  std::vector<double> samples;
  std::array<std::vector<double>, stageTrace::stageCount> stageSeconds, stageMessages;
  stageTrace::enable(true);
  for (auto _ : state) {
    stageTrace::take();
    const auto start = std::chrono::steady_clock::now();
    last = discover(pid);
    const double once =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const stageTrace::Figures traced = stageTrace::take();
    for (std::size_t stage = 0; stage < stageTrace::stageCount; ++stage) {
      stageSeconds[stage].push_back(traced.seconds[stage] * 1000);
      stageMessages[stage].push_back(static_cast<double>(traced.messages[stage]));
    }
    seconds += once;
    samples.push_back(once * 1000);
    benchmark::DoNotOptimize(last.targets.data());
  }
  stageTrace::enable(false);
  std::printf("%s stages, median ms (messages):", name);
  for (std::size_t stage = 0; stage < stageTrace::stageCount; ++stage)
    std::printf(" %s %.1f (%.0f)",
                std::string(stageTrace::name(static_cast<stageTrace::Stage>(stage))).c_str(),
                median(stageSeconds[stage]), median(stageMessages[stage]));
  std::printf("\n");
  double messages = 0;
  for (const auto& sent : stageMessages)
    messages += median(sent);
  state.counters["messages"] = messages;
  state.counters["nodes"] = last.visitedNodes;
  state.counters["targets"] = static_cast<double>(last.targets.size());
  state.counters["truncated"] = last.truncated ? 1 : 0;
  state.counters["nodes_per_s"] =
      seconds > 0 ? last.visitedNodes * static_cast<double>(state.iterations()) / seconds : 0;
  const double typical = median(samples);
  state.counters["median_ms"] = typical;
  return typical;
}

// The median milliseconds of a plain libatspi walk of the same window and the nodes it counted,
// or nothing when the walker could not run.
std::optional<std::pair<double, int>> libatspiWalk(pid_t pid) {
  const std::string command = std::string("/usr/bin/python3 ") + TOVREL_BENCH_DIR +
                              "/atspi_walk.py " + std::to_string(pid) + " 10 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  char line[256] = {};
  std::string output;
  while (std::fgets(line, sizeof line, pipe))
    output += line;
  if (pclose(pipe) != 0) {
    std::fprintf(stderr, "libatspi walk failed: %s", output.c_str());
    return std::nullopt;
  }
  int nodes = 0;
  double milliseconds = 0;
  if (std::sscanf(output.c_str(), "nodes %d median_ms %lf", &nodes, &milliseconds) != 2)
    return std::nullopt;
  return std::make_pair(milliseconds, nodes);
}

void BM_DiscoverFixture(benchmark::State& state) {
  std::string dir = std::filesystem::temp_directory_path() / "tovrel-bench-fixture";
  std::filesystem::create_directories(dir);
  Child fixture({TOVREL_FIXTURE_PATH, "--state", dir + "/fixture-state.json"});
  if (fixture.pid() <= 0 || !ready(fixture.pid(), 6)) {
    state.SkipWithError("the fixture did not become discoverable");
    return;
  }
  measure(state, fixture.pid(), "fixture");
}
BENCHMARK(BM_DiscoverFixture)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);

void BM_DiscoverFiveThousandNodes(benchmark::State& state) {
  Child window({TOVREL_BENCH_WINDOW_PATH, "--nodes", "5000"});
  if (window.pid() <= 0 || !ready(window.pid(), 50)) {
    state.SkipWithError("the generated window did not become discoverable");
    return;
  }
  measure(state, window.pid(), "5,000 nodes");
}
BENCHMARK(BM_DiscoverFiveThousandNodes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);

// The median milliseconds the bus takes to carry `messages` of the smallest calls there are
// (Peer.Ping, which the application's bus library answers itself) to the application and back,
// sent as a discovery sends its own: what one question per message costs at the least.
std::optional<double> busFloor(pid_t pid, long messages) {
  namespace atspi = platform::atspi;
  atspi::Bus bus;
  platform::AXError error = platform::AXError::success;
  const auto name = bus.busNameOf(pid, 1, error);
  if (!name || messages <= 0) return std::nullopt;
  std::vector<double> samples;
  for (int round = 0; round < 10; ++round) {
    atspi::Batch batch(bus, 1);
    for (long i = 0; i < messages; ++i)
      batch.add(*name, QString::fromLatin1(atspi::rootPath),
                QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    const auto start = std::chrono::steady_clock::now();
    batch.run();
    if (batch.overall() != platform::AXError::success) return std::nullopt;
    samples.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  return median(samples);
}

// Our discovery of a real application's window beside a plain libatspi walk of it, and beside
// what its messages alone cost.
void measureBesideLibatspi(benchmark::State& state, pid_t pid, const char* name) {
  const double ours = measure(state, pid, name);
  const auto messages = static_cast<long>(state.counters["messages"].value);
  const auto plain = libatspiWalk(pid);
  if (plain) {
    state.counters["libatspi_ms"] = plain->first;
    state.counters["libatspi_nodes"] = plain->second;
    state.counters["libatspi_per_ours"] = ours > 0 ? plain->first / ours : 0;
    std::printf(
        "%s: discovery %.1f ms median (%.2f of the walk), plain libatspi walk %.1f ms (%d "
        "nodes): %.1f times faster\n",
        name, ours, plain->first > 0 ? ours / plain->first : 0, plain->first, plain->second,
        ours > 0 ? plain->first / ours : 0);
  }
  if (const auto floor = busFloor(pid, messages)) {
    state.counters["bus_floor_ms"] = *floor;
    std::printf("%s: its %ld messages alone take %.1f ms on this bus (%.2f of the walk)\n", name,
                messages, *floor, plain && plain->first > 0 ? *floor / plain->first : 0);
  }
}

void BM_DiscoverGtkWidgetFactory(benchmark::State& state) {
  Child window({"/usr/bin/gtk3-widget-factory"});
  if (window.pid() <= 0 || !ready(window.pid(), 20)) {
    state.SkipWithError("gtk3-widget-factory did not become discoverable");
    return;
  }
  measureBesideLibatspi(state, window.pid(), "gtk3-widget-factory");
}
BENCHMARK(BM_DiscoverGtkWidgetFactory)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(30);

// A GTK 4 application, whose elements are placed within the window and moved onto the screen by
// where the window lies. Its settings, session and caches are its own, so that it opens alike
// every run.
Child gtk4Application(std::vector<std::string> command) {
  const std::string home = std::filesystem::temp_directory_path() / "tovrel-bench-gtk4";
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home);
  command.insert(
      command.begin(),
      {"/usr/bin/env", "GSK_RENDERER=cairo", "GDK_BACKEND=x11", "GSETTINGS_BACKEND=memory",
       "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config", "XDG_DATA_HOME=" + home + "/data",
       "XDG_STATE_HOME=" + home + "/state", "XDG_CACHE_HOME=" + home + "/cache"});
  return Child(command);
}

// libadwaita's text editor, on the same empty document every run.
void BM_DiscoverGtk4TextEditor(benchmark::State& state) {
  Child window = gtk4Application({"/usr/bin/gnome-text-editor", "--standalone"});
  if (window.pid() <= 0 || !ready(window.pid(), 6)) {
    state.SkipWithError("gnome-text-editor did not become discoverable");
    return;
  }
  measureBesideLibatspi(state, window.pid(), "gnome-text-editor (GTK 4)");
}
BENCHMARK(BM_DiscoverGtk4TextEditor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);

// A grid view of nearly 800 nodes, whose tiles are items that take the focus and offer no action.
void BM_DiscoverGtk4FontGrid(benchmark::State& state) {
  Child window = gtk4Application({"/usr/bin/gnome-font-viewer"});
  if (window.pid() <= 0 || !ready(window.pid(), 10)) {
    state.SkipWithError("gnome-font-viewer did not become discoverable");
    return;
  }
  measureBesideLibatspi(state, window.pid(), "gnome-font-viewer (GTK 4 grid)");
}
BENCHMARK(BM_DiscoverGtk4FontGrid)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  x11() = platform::x11::X11Desktop::open();
  if (!x11()) {
    std::fprintf(stderr, "no X server\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  x11().reset();
  return 0;
}
