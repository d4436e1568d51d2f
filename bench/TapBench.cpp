// Key latency through the real X11 tap, inside the private desktop: from the moment a key is sent
// to the moment the decider has it, and to the moment an application receives it, with and
// without the tap in between. Each iteration is one key press (its release is untimed). Every key
// is grabbed, as while a mode is on, and the key ownership lets each through, as it does a key the
// mode has no use for.

// Qt before X11: the X headers define macros that break Qt's.
#include <QApplication>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/x11/input/OwnEventLedger.hpp"
#include "platform/x11/input/X11Tap.hpp"

namespace {

using namespace tovrel::platform;
using Clock = std::chrono::steady_clock;

struct Figures {
  double median = 0;
  double p99 = 0;
};
// TOVREL_TAP_BENCH_KEYS overrides the 1,000 keys per measure (a quick look while debugging).
int iterations() {
  const char* keys = std::getenv("TOVREL_TAP_BENCH_KEYS");
  return keys ? std::max(1, std::atoi(keys)) : 1000;
}

std::map<std::string, Figures>& results() {
  static std::map<std::string, Figures> figures;
  return figures;
}

// A plain X window on a connection of its own: the application that receives the keys.
class Application {
 public:
  Application() {
    display_ = XOpenDisplay(nullptr);
    Window root = DefaultRootWindow(display_);
    window_ = XCreateSimpleWindow(display_, root, 50, 50, 200, 100, 0, 0, 0xFFFFFF);
    XStoreName(display_, window_, "Tovrel bench receiver");
    XSelectInput(display_, window_, KeyPressMask | KeyReleaseMask | FocusChangeMask);
    XMapRaised(display_, window_);
    XSync(display_, False);
    for (int attempt = 0; attempt < 400 && !viewable(); ++attempt) {
      QCoreApplication::processEvents();
      usleep(5000);
    }
    for (int attempt = 0; attempt < 200 && !focused(); ++attempt) {
      XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
      XSync(display_, False);
      QCoreApplication::processEvents();
    }
  }
  ~Application() {
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
  bool viewable() {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display_, window_, &attributes) &&
           attributes.map_state == IsViewable;
  }
  bool focused() {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    return focus == window_;
  }
  // True when a key press (or release) has arrived since the last call.
  bool pressArrived(int type = KeyPress) {
    bool arrived = false;
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      arrived = arrived || event.type == type;
    }
    return arrived;
  }

 private:
  Display* display_ = nullptr;
  Window window_ = 0;
};

class Sender {
 public:
  Sender() : display_(XOpenDisplay(nullptr)) { keycode_ = XKeysymToKeycode(display_, XK_j); }
  ~Sender() { XCloseDisplay(display_); }
  void key(bool press) {
    XTestFakeKeyEvent(display_, keycode_, press ? True : False, CurrentTime);
    XFlush(display_);
  }

 private:
  Display* display_;
  unsigned keycode_ = 0;
};

template <typename Done>
void waitFor(Done done) {
  auto give_up = Clock::now() + std::chrono::seconds(2);
  while (!done() && Clock::now() < give_up)
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void record(benchmark::State& state, const std::string& name, std::vector<double>& samples) {
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  Figures figures{samples[samples.size() / 2],
                  samples[std::min(samples.size() - 1, samples.size() * 99 / 100)]};
  state.counters["p50_us"] = figures.median;
  state.counters["p99_us"] = figures.p99;
  results()[name] = figures;
}

struct TapUnderTest {
  std::unique_ptr<x11::X11Tap> tap;
  std::unique_ptr<TapSource> source;
  std::optional<Clock::time_point> heard;
  bool released = false;
};

std::unique_ptr<TapUnderTest> startTap() {
  auto under = std::make_unique<TapUnderTest>();
  TapUnderTest* raw = under.get();
  under->tap = x11::X11Tap::create(
      0x0E401CFE,
      [raw](EventType type, const InputEvent&) {
        if (type == eventType::keyDown) raw->heard = Clock::now();
        if (type == eventType::keyUp) raw->released = true;
        return false;  // every key passes: the application must still get it
      },
      std::make_shared<x11::OwnEventLedger>());
  if (!under->tap) return nullptr;
  under->source = under->tap->addToMainLoop();
  under->tap->enable(true);
  under->tap->setKeyOwnership(
      [](EventType, const InputEvent&) -> std::optional<bool> { return false; });
  under->tap->setKeyInterception(KeyInterception{true, {}, {}});
  under->tap->waitUntilApplied(2.0);
  return under;
}

void KeyToDecision(benchmark::State& state) {
  Application application;
  Sender sender;
  auto under = startTap();
  if (!under) return state.SkipWithError("no tap on this display");
  std::vector<double> samples;
  for (auto _ : state) {
    under->heard.reset();
    auto sent = Clock::now();
    sender.key(true);
    waitFor([&] { return under->heard.has_value(); });
    double seconds = std::chrono::duration<double>(under->heard.value_or(sent) - sent).count();
    state.SetIterationTime(seconds);
    samples.push_back(seconds * 1e6);
    under->released = false;
    sender.key(false);
    waitFor([&] { return under->released; });
    application.pressArrived();
  }
  record(state, "key to decision", samples);
}

// Seconds of CLOCK_MONOTONIC, the tap's own clock.
double monotonic(Clock::time_point at) {
  return std::chrono::duration<double>(at.time_since_epoch()).count();
}

void keyToApplication(benchmark::State& state, bool withTap, const std::string& name) {
  Application application;
  Sender sender;
  std::unique_ptr<TapUnderTest> under = withTap ? startTap() : nullptr;
  if (withTap && !under) return state.SkipWithError("no tap on this display");
  application.pressArrived();
  std::vector<double> samples;
  // Through the tap, where the time goes: from the send to the tap's read of the press, from that
  // read to its answer, and from the answer to the application.
  std::vector<double> toRead, toAnswer, toApplication;
  for (auto _ : state) {
    auto sent = Clock::now();
    sender.key(true);
    std::optional<Clock::time_point> arrived;
    waitFor([&] {
      if (application.pressArrived()) arrived = Clock::now();
      return arrived.has_value();
    });
    double seconds = std::chrono::duration<double>(arrived.value_or(sent) - sent).count();
    state.SetIterationTime(seconds);
    samples.push_back(seconds * 1e6);
    if (under && arrived) {
      const auto figures = under->tap->statistics();
      if (figures.lastPressRead >= monotonic(sent) &&
          figures.lastPressAnswered >= figures.lastPressRead) {
        toRead.push_back((figures.lastPressRead - monotonic(sent)) * 1e6);
        toAnswer.push_back((figures.lastPressAnswered - figures.lastPressRead) * 1e6);
        toApplication.push_back((monotonic(*arrived) - figures.lastPressAnswered) * 1e6);
      }
    }
    // The next press waits until everything the release makes is over, as a person's would.
    if (under) under->released = false;
    sender.key(false);
    bool releaseArrived = false;
    waitFor([&] {
      releaseArrived = releaseArrived || application.pressArrived(KeyRelease);
      return releaseArrived && (!under || under->released);
    });
  }
  if (under) {
    const auto figures = under->tap->statistics();
    state.counters["decided_at_once"] = static_cast<double>(figures.decidedAtOnce);
    state.counters["answered_early"] = static_cast<double>(figures.answeredEarly);
    state.counters["asked"] =
        static_cast<double>(figures.decisions + figures.lateDecisions + figures.passedWhileBusy);
    record(state, "  send to the tap's read", toRead);
    record(state, "  the tap's read to its answer", toAnswer);
    record(state, "  the answer to the application", toApplication);
  }
  record(state, name, samples);
}

void KeyToApplicationWithoutTap(benchmark::State& state) {
  keyToApplication(state, false, "key to application, no tap");
}
void KeyToApplicationThroughTap(benchmark::State& state) {
  keyToApplication(state, true, "key to application, through the tap");
}

BENCHMARK(KeyToDecision)->UseManualTime()->Iterations(iterations())->Unit(benchmark::kMicrosecond);
BENCHMARK(KeyToApplicationWithoutTap)
    ->UseManualTime()
    ->Iterations(iterations())
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(KeyToApplicationThroughTap)
    ->UseManualTime()
    ->Iterations(iterations())
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("DISPLAY") == nullptr) {
    std::fprintf(stderr, "tovrel-tap-bench runs inside the private desktop (scripts/bench.sh)\n");
    return 1;
  }
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  auto& figures = results();
  std::printf("\n%-40s %12s %12s %s\n", "measure", "median µs", "p99 µs", "target");
  const std::vector<std::string> order = {"key to decision",
                                          "key to application, no tap",
                                          "key to application, through the tap",
                                          "  send to the tap's read",
                                          "  the tap's read to its answer",
                                          "  the answer to the application"};
  for (const std::string& name : order) {
    const auto found = figures.find(name);
    if (found == figures.end()) continue;
    const Figures& value = found->second;
    std::string target = name == "key to decision" ? "p99 < 2000 µs" : "";
    std::printf("%-40s %12.1f %12.1f %s\n", name.c_str(), value.median, value.p99, target.c_str());
  }
  std::printf("(the stages: medians of each alone, on the presses through the tap)\n");
  auto without = figures.find("key to application, no tap");
  auto through = figures.find("key to application, through the tap");
  if (without != figures.end() && through != figures.end()) {
    const double added = through->second.median - without->second.median;
    std::printf("%-40s %12.1f %12s %s\n", "added by the tap (median)", added, "", "< 1000 µs");
    std::printf("%-40s %12.2f %12s %s\n", "added / no tap (medians)",
                added / without->second.median, "", "<= 1.5");
  }
  return 0;
}
