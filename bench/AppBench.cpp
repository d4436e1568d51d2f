// The program as a person starts it, inside the private desktop: the time from launch to its
// settings window on screen, and what an idle tovrel with its window open costs in memory and CPU.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "BenchChild.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Windows come and go while the tree is read: a request about one that is gone is no error here.
int ignoreErrors(Display*, XErrorEvent*) {
  return 0;
}

// A viewable window whose title begins "Tovrel " ("Tovrel — Clicking") below `window`, a few
// levels down (the manager's frame).
bool settingsWindowShown(Display* display, Window window, int depth = 0) {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable) {
    // The title is UTF-8 (the dash), so it is read from the window manager's property.
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, left = 0;
    unsigned char* name = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 256,
                           False, XInternAtom(display, "UTF8_STRING", False), &type, &format,
                           &items, &left, &name) == Success &&
        name != nullptr) {
      const bool found =
          items >= 7 && std::strncmp(reinterpret_cast<const char*>(name), "Tovrel ", 7) == 0;
      XFree(name);
      if (found) return true;
    }
  }
  if (depth > 3) return false;
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(display, window, &root, &parent, &children, &count)) return false;
  bool found = false;
  for (unsigned i = 0; i < count && !found; ++i)
    found = settingsWindowShown(display, children[i], depth + 1);
  if (children != nullptr) XFree(children);
  return found;
}

bool waitFor(Display* display, bool shown, std::chrono::seconds timeout = 10s) {
  const auto deadline = Clock::now() + timeout;
  while (settingsWindowShown(display, DefaultRootWindow(display)) != shown) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Settings and window frames of a fresh user, so every launch starts alike.
void freshUser() {
  static int run = 0;
  const std::string home =
      std::filesystem::temp_directory_path() /
      ("tovrel-app-bench-" + std::to_string(getpid()) + "-" + std::to_string(run++));
  std::filesystem::create_directories(home);
  setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
  setenv("XDG_STATE_HOME", (home + "/state").c_str(), 1);
}

// User and system CPU seconds of a process, from /proc.
std::optional<double> cpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const auto close = text.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::vector<std::string> fields;
  std::string field;
  for (char c : text.substr(close + 2)) {
    if (c == ' ') {
      fields.push_back(field);
      field.clear();
    } else {
      field += c;
    }
  }
  // utime and stime are the 14th and 15th fields; the list starts at the 3rd.
  if (fields.size() < 13) return std::nullopt;
  const double ticks = std::stod(fields[11]) + std::stod(fields[12]);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::optional<double> residentMegabytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return std::nullopt;
}

void LaunchToSettingsWindow(benchmark::State& state) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return state.SkipWithError("no X display");
  std::vector<double> times;
  for (auto _ : state) {
    freshUser();
    const auto start = Clock::now();
    tovrel::bench::Child tovrel({TOVREL_APP_PATH});
    if (tovrel.pid() <= 0 || !waitFor(display, true)) {
      state.SkipWithError("the settings window never came up");
      break;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(elapsed);
    times.push_back(elapsed * 1000);
    // The next launch must not find this one still holding the session's name.
    kill(tovrel.pid(), SIGTERM);
    waitFor(display, false);
  }
  if (!times.empty()) {
    std::sort(times.begin(), times.end());
    state.counters["p50_ms"] = times[times.size() / 2];
    state.counters["max_ms"] = times.back();
  }
  XCloseDisplay(display);
}

void IdleWithItsWindowOpen(benchmark::State& state) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return state.SkipWithError("no X display");
  freshUser();
  tovrel::bench::Child tovrel({TOVREL_APP_PATH});
  if (tovrel.pid() <= 0 || !waitFor(display, true)) {
    XCloseDisplay(display);
    return state.SkipWithError("the settings window never came up");
  }
  // Start-up work (fonts, the accessibility bus, the first readiness report) is not idling.
  std::this_thread::sleep_for(2s);
  for (auto _ : state) {
    const auto before = cpuSeconds(tovrel.pid());
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(state.range(0)));
    const auto after = cpuSeconds(tovrel.pid());
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    state.SetIterationTime(wall);
    if (before && after) state.counters["cpu_percent"] = 100.0 * (*after - *before) / wall;
    if (auto rss = residentMegabytes(tovrel.pid())) state.counters["rss_MB"] = *rss;
  }
  XCloseDisplay(display);
}

}  // namespace

BENCHMARK(LaunchToSettingsWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(IdleWithItsWindowOpen)->Arg(60)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

int main(int argc, char** argv) {
  XSetErrorHandler(ignoreErrors);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
