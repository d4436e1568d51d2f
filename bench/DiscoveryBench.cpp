// Discovery over the real accessibility bus, inside the private desktop: the fixture's window,
// and a generated window of 5,000 nodes. Each iteration is one whole discovery as click mode runs
// it (default budget, extras, covering).
#include <QApplication>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchChild.hpp"
#include "platform/x11/X11Desktop.hpp"
#include "system/AccessibilityTargets.hpp"

namespace {

using namespace tovrel;
using namespace std::chrono_literals;

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

void measure(benchmark::State& state, pid_t pid) {
  DiscoveryResult last;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    last = discover(pid);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    benchmark::DoNotOptimize(last.targets.data());
  }
  state.counters["nodes"] = last.visitedNodes;
  state.counters["targets"] = static_cast<double>(last.targets.size());
  state.counters["truncated"] = last.truncated ? 1 : 0;
  state.counters["nodes_per_s"] =
      seconds > 0 ? last.visitedNodes * static_cast<double>(state.iterations()) / seconds : 0;
}

void BM_DiscoverFixture(benchmark::State& state) {
  std::string dir = std::filesystem::temp_directory_path() / "tovrel-bench-fixture";
  std::filesystem::create_directories(dir);
  Child fixture({TOVREL_FIXTURE_PATH, "--state", dir + "/fixture-state.json"});
  if (fixture.pid() <= 0 || !ready(fixture.pid(), 6)) {
    state.SkipWithError("the fixture did not become discoverable");
    return;
  }
  measure(state, fixture.pid());
}
BENCHMARK(BM_DiscoverFixture)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(30);

void BM_DiscoverFiveThousandNodes(benchmark::State& state) {
  Child window({TOVREL_BENCH_WINDOW_PATH, "--nodes", "5000"});
  if (window.pid() <= 0 || !ready(window.pid(), 50)) {
    state.SkipWithError("the generated window did not become discoverable");
    return;
  }
  measure(state, window.pid());
}
BENCHMARK(BM_DiscoverFiveThousandNodes)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(10);

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
