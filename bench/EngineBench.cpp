// How long the navigation engine takes to decide one input. Every key the user types waits for
// this decision, so each benchmark times single decisions and reports their median and 99th
// percentile; the table at the end compares them with the budgets.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/NavigationRouter.hpp"
#include "core/Unicode.hpp"

namespace tovrel {
namespace {

using Clock = std::chrono::steady_clock;

struct Budget {
  double medianMicroseconds;
  double p99Microseconds;
};
const Budget keyBudget{20, 50};

struct Figures {
  double median = 0;
  double p99 = 0;
  std::size_t samples = 0;
  std::optional<Budget> budget;
};
std::map<std::string, Figures>& results() {
  static std::map<std::string, Figures> table;
  return table;
}

// Times `decide` once per iteration; `prepare` runs untimed before each decision.
template <class Prepare, class Decide>
void timeDecisions(benchmark::State& state, std::string name, std::optional<Budget> budget,
                   Prepare prepare, Decide decide) {
  std::vector<double> samples;
  samples.reserve(1 << 16);
  for (auto _ : state) {
    prepare();
    const auto start = Clock::now();
    decide();
    const auto end = Clock::now();
    const double seconds = std::chrono::duration<double>(end - start).count();
    state.SetIterationTime(seconds);
    samples.push_back(seconds * 1e6);
  }
  if (samples.empty()) return;
  std::sort(samples.begin(), samples.end());
  Figures figures;
  figures.median = samples[samples.size() / 2];
  figures.p99 = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
  figures.samples = samples.size();
  figures.budget = budget;
  state.counters["p50_us"] = figures.median;
  state.counters["p99_us"] = figures.p99;
  results()[name] = figures;
}

KeyEvent key(KeyEvent::Kind kind, std::uint16_t code, Modifiers modifiers = {}) {
  std::optional<std::string> character;
  if (auto text = Key::printableText(code); text && text->size() == 1)
    character = unicode::lowercased(*text);
  const bool types = character.has_value();
  return KeyEvent(kind, code, modifiers, false, std::nullopt, types, std::move(character));
}

std::vector<HintTarget> makeTargets(std::size_t count) {
  static const std::vector<std::string> words = {
      "Save",      "Open",  "Close",  "File",        "Edit",     "View", "Window",
      "Help",      "Undo",  "Redo",   "Copy",        "Paste",    "Find", "Replace",
      "Zoom",      "Print", "Export", "Préférences", "Réglages", "Bold", "Italic",
      "Underline", "Align", "Insert", "Table",       "Image",    "Link", "Comment"};
  std::mt19937 random(3);
  std::vector<HintTarget> targets;
  for (std::size_t i = 0; i < count; ++i) {
    std::string name = words[random() % words.size()];
    for (unsigned w = random() % 3; w > 0; --w)
      name += " " + words[random() % words.size()];
    targets.push_back(
        HintTarget{name, "AXButton", {double(i % 20) * 50, double(i / 20) * 30, 45, 25}});
  }
  return targets;
}

NavigationRouter routerIn(InteractionMode mode, std::size_t targets = 0) {
  NavigationRouter router(TovrelConfig::defaults(), 0.5);
  if (mode != InteractionMode::off) router.requestMode(mode);
  if (mode == InteractionMode::click)
    router.handle(RouterInput::TargetsDiscovered{router.generation(), 1, makeTargets(targets)}, 0,
                  {});
  return router;
}

// A press and its release of a key the mode uses, alternating.
void keyPressAndRelease(benchmark::State& state, InteractionMode mode, std::uint16_t code) {
  const std::string name = "key " + std::string(rawValue(mode));
  NavigationRouter router = routerIn(mode);
  bool isDown = true;
  const KeyEvent press = key(KeyEvent::Kind::down, code), release = key(KeyEvent::Kind::up, code);
  double now = 0;
  timeDecisions(
      state, name, keyBudget, [] {},
      [&] {
        now += 0.01;
        benchmark::DoNotOptimize(
            router.handle(RouterInput::Key{isDown ? press : release}, now, {400, 300}));
        isDown = !isDown;
      });
}

void KeyOff(benchmark::State& state) {
  keyPressAndRelease(state, InteractionMode::off, Key::l);
}
void KeyCursor(benchmark::State& state) {
  keyPressAndRelease(state, InteractionMode::cursor, Key::l);
}
void KeyScroll(benchmark::State& state) {
  keyPressAndRelease(state, InteractionMode::scroll, Key::j);
}

// One character typed in click mode over N targets, and the list the overlay then shows; Delete
// takes it back untimed. `search` types into a name search begun with "e".
void clickCharacter(benchmark::State& state, const std::string& name, bool search,
                    std::uint16_t code) {
  NavigationRouter router = routerIn(InteractionMode::click, std::size_t(state.range(0)));
  if (search) {
    router.handle(RouterInput::Key{key(KeyEvent::Kind::down, Key::slash)}, 0, {});
    router.handle(RouterInput::Key{key(KeyEvent::Kind::down, Key::e)}, 0, {});
  }
  const KeyEvent letter = key(KeyEvent::Kind::down, code);
  const KeyEvent backspace =
      KeyEvent(KeyEvent::Kind::down, Key::deleteKey, {}, false, std::nullopt, false, std::nullopt);
  double now = 0;
  timeDecisions(
      state, name + "/" + std::to_string(state.range(0)), keyBudget,
      [&] { router.handle(RouterInput::Key{backspace}, now, {}); },
      [&] {
        now += 0.01;
        benchmark::DoNotOptimize(router.handle(RouterInput::Key{letter}, now, {}));
        benchmark::DoNotOptimize(router.click()->visible());
      });
}

void ClickLabelLetter(benchmark::State& state) {
  clickCharacter(state, "click label letter", false, Key::s);
}
void ClickSearchCharacter(benchmark::State& state) {
  clickCharacter(state, "click search character", true, Key::d);
}

void TargetsDiscovered(benchmark::State& state) {
  NavigationRouter router = routerIn(InteractionMode::click, 0);
  const std::vector<HintTarget> targets = makeTargets(std::size_t(state.range(0)));
  std::vector<HintTarget> copy;
  std::int64_t snapshot = 1;
  timeDecisions(
      state, "targetsDiscovered/" + std::to_string(state.range(0)), std::nullopt,
      [&] { copy = targets; },
      [&] {
        benchmark::DoNotOptimize(router.handle(
            RouterInput::TargetsDiscovered{router.generation(), ++snapshot, std::move(copy)}, 0,
            {}));
      });
}

void TickCursor(benchmark::State& state) {
  NavigationRouter router = routerIn(InteractionMode::cursor);
  router.handle(RouterInput::Key{key(KeyEvent::Kind::down, Key::l)}, 0, {});
  router.handle(RouterInput::Key{key(KeyEvent::Kind::down, Key::k)}, 0, {});
  timeDecisions(
      state, "tickCursor", keyBudget, [] {},
      [&] { benchmark::DoNotOptimize(router.tickCursor(1.0 / 120)); });
}

void ScrollTabStops(benchmark::State& state) {
  std::mt19937 random(5);
  const HintTarget::Frame window{0, 0, 2400, 1600};
  std::vector<HintTarget::Frame> areas;
  for (long i = 0; i < state.range(0); ++i) {
    areas.push_back({double(random() % 2200), double(random() % 1400), 80.0 + random() % 600,
                     80.0 + random() % 600});
  }
  timeDecisions(
      state, "scroll tab stops/" + std::to_string(state.range(0)), std::nullopt, [] {},
      [&] { benchmark::DoNotOptimize(ScrollSession::tabStops(areas, window)); });
}

BENCHMARK(KeyOff)->UseManualTime();
BENCHMARK(KeyCursor)->UseManualTime();
BENCHMARK(KeyScroll)->UseManualTime();
BENCHMARK(ClickLabelLetter)->Arg(400)->UseManualTime();
BENCHMARK(ClickSearchCharacter)->Arg(400)->UseManualTime();
BENCHMARK(TargetsDiscovered)->Arg(400)->UseManualTime();
BENCHMARK(TickCursor)->UseManualTime();
BENCHMARK(ScrollTabStops)->Arg(16)->Arg(64)->Arg(256)->UseManualTime();

void printTable() {
  std::printf("\n%-28s %12s %12s %12s  %s\n", "decision", "median µs", "p99 µs", "samples",
              "budget (median / p99)");
  bool allMet = true;
  for (const auto& [name, f] : results()) {
    std::string verdict = "-";
    if (f.budget) {
      const bool met = f.median < f.budget->medianMicroseconds && f.p99 < f.budget->p99Microseconds;
      allMet = allMet && met;
      verdict = std::to_string(int(f.budget->medianMicroseconds)) + " / " +
                std::to_string(int(f.budget->p99Microseconds)) + (met ? "  met" : "  MISSED");
    }
    std::printf("%-28s %12.2f %12.2f %12zu  %s\n", name.c_str(), f.median, f.p99, f.samples,
                verdict.c_str());
  }
  std::printf("\n%s\n", allMet ? "Every budget is met." : "Some budget is missed.");
}

}  // namespace
}  // namespace tovrel

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  tovrel::printTable();
  return 0;
}
