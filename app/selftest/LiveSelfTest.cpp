#include "app/selftest/LiveSelfTest.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "app/model/AppModel.hpp"
#include "app/selftest/Report.hpp"
#include "app/settings/pages/AboutLogic.hpp"
#include "core/EnumTable.hpp"
#include "core/Unicode.hpp"
#include "platform/Platform.hpp"
#include "system/NavigationService.hpp"

namespace tovrel::selftest {

namespace detail {

std::string oneDecimal(double value) {
  return fmt::format("{:.1f}", value);
}

std::string whole(double value) {
  return fmt::format("{:.0f}", value);
}

std::string shortestDecimal(double value) {
  std::string text = fmt::format("{}", value);
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
  return text;
}

std::string boolText(bool value) {
  return value ? "true" : "false";
}

namespace {
bool continuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}
}  // namespace

std::size_t characterCount(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return !continuation(static_cast<unsigned char>(c));
  }));
}

std::string lastCharacters(const std::string& text, std::size_t count) {
  std::size_t start = text.size();
  std::size_t taken = 0;
  while (start > 0 && taken < count) {
    --start;
    if (!continuation(static_cast<unsigned char>(text[start]))) ++taken;
  }
  return text.substr(start);
}

double distance(Point a, Point b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

std::vector<int> stabilityKinds(int steps) {
  constexpr std::uint64_t multiplier = 6364136223846793005ull;
  constexpr std::uint64_t increment = 1442695040888963407ull;
  std::uint64_t state = 24301;
  std::vector<int> kinds;
  for (int step = 0; step < steps; ++step) {
    state = state * multiplier + increment;
    // One advance further, for the kind only: the next step starts from the stored state.
    kinds.push_back(static_cast<int>(((state * multiplier + increment) >> 33) % 5));
  }
  return kinds;
}

}  // namespace detail

LiveSelfTest::LiveSelfTest(Setup setup)
    : model_(setup.model),
      outputDirectory_(std::move(setup.outputDirectory)),
      fixturePath_(std::move(setup.fixturePath)),
      showSettings_(std::move(setup.showSettings)),
      pacer_(setup.pacer),
      print_(std::move(setup.print)) {}

LiveSelfTest::~LiveSelfTest() = default;

NavigationService& LiveSelfTest::navigation() {
  return model_.navigation();
}

platform::Platform& LiveSelfTest::platform() {
  return model_.platform();
}

platform::SyntheticInput& LiveSelfTest::input() {
  return model_.platform().syntheticInput;
}

void LiveSelfTest::record(Check check) {
  print_(consoleLine(check));
  checks_.push_back(std::move(check));
}

void LiveSelfTest::writeReport(std::chrono::system_clock::time_point started) {
  ReportFacts facts{navigation().readiness(), settings::shortVersion(), settings::buildNumber()};
  for (std::string& problem : ReportFiles(outputDirectory_).write(checks_, facts, started))
    problems_.push_back(std::move(problem));
}

void LiveSelfTest::recordReadinessFailure() {
  const PermissionReport& readiness = navigation().readiness();
  record({"L00",
          {},
          "Readiness",
          false,
          "The running Tovrel could not install its event tap: " +
              std::string(displayText(readiness.status())) + ".",
          {}});
}

bool LiveSelfTest::readinessGate() {
  if (!navigation().tapInstalled()) {
    recordReadinessFailure();
    return false;
  }
  if (!input().available()) {
    // Without synthetic input nothing can be tested; saying so beats 24 puzzling failures.
    record({"L00",
            {},
            "Readiness",
            false,
            "The desktop does not accept synthetic input: " + input().lastProblem() + ".",
            {}});
    return false;
  }
  const PermissionReport& readiness = navigation().readiness();
  record({"L00",
          {"M0"},
          "Real app identity can install an active keyboard tap",
          true,
          "App id " + readiness.bundleIdentifier + "; AT-SPI accessibility enabled " +
              detail::boolText(readiness.accessibilityTrusted) + "; X server connected " +
              detail::boolText(readiness.listenEventAccess) + "; keyboard tap active " +
              detail::boolText(navigation().tapInstalled()) + ".",
          {}});
  return true;
}

void LiveSelfTest::avoidBoundModifierKeys() {
  // A chord's modifiers must not press a key that means something by itself: the drag key or a
  // mode's tap key would act instead of merely modifying.
  std::vector<std::uint16_t> bound;
  const TovrelConfig& config = navigation().config();
  for (const EntryConfig* entry : {&config.cursorEntry, &config.clickEntry, &config.scrollEntry})
    for (const Gesture& gesture : {entry->gesture, entry->exit})
      if (gesture.isModifierTap()) bound.push_back(gesture.keyCode());
  for (const CursorBinding& binding : config.cursorBindings)
    if (Key::isModifierKey(binding.gesture.keyCode())) bound.push_back(binding.gesture.keyCode());
  input().setAvoidedModifierKeys(std::move(bound));
}

bool LiveSelfTest::run() {
  ReportFiles files(outputDirectory_);
  if (auto problem = files.createDirectory()) problems_.push_back(*problem);
  for (std::string& problem : files.clear())
    problems_.push_back(std::move(problem));
  const auto started = std::chrono::system_clock::now();
  const Point home = pointer();

  if (!readinessGate()) {
    writeReport(started);
    teardown();
    input().movePointer(home);
    return false;
  }
  auto conditions = input().holdRunConditions();
  if (conditions && !conditions->problem().empty()) problems_.push_back(conditions->problem());
  avoidBoundModifierKeys();

  bool interrupted = false;
  try {
    if (!launchFixture()) {
      record({"L01", {}, "Fixture launch", false, "Tovrel Fixture did not start.", {}});
      terminate(fixture_);
      writeReport(started);
      teardown();
      input().movePointer(home);
      return false;
    }
    for (void (LiveSelfTest::*check)() : {&LiveSelfTest::offPassThrough,
                                          &LiveSelfTest::optionShortcutDoesNotEnter,
                                          &LiveSelfTest::cursorEntry,
                                          &LiveSelfTest::movement,
                                          &LiveSelfTest::diagonal,
                                          &LiveSelfTest::clicks,
                                          &LiveSelfTest::scrolling,
                                          &LiveSelfTest::drag,
                                          &LiveSelfTest::exitWhileDragging,
                                          &LiveSelfTest::clickDirectEntry,
                                          &LiveSelfTest::searchField,
                                          &LiveSelfTest::escapeFromSearch,
                                          &LiveSelfTest::staleTarget,
                                          &LiveSelfTest::switching,
                                          &LiveSelfTest::separateExitOn,
                                          &LiveSelfTest::separateExitOff,
                                          &LiveSelfTest::settingsEditing,
                                          &LiveSelfTest::inaccessibleCanvas,
                                          &LiveSelfTest::focusChangeDuringDiscovery,
                                          &LiveSelfTest::forcedStopWhileDragging,
                                          &LiveSelfTest::scrollMode,
                                          &LiveSelfTest::stability,
                                          &LiveSelfTest::idleCPU})
      (this->*check)();
  } catch (const Interrupted& stop) {
    interrupted = true;
    problems_.push_back(stop.what());
  }
  terminateFixtures();
  writeReport(started);
  teardown();
  input().movePointer(home);
  return !interrupted && allPassed(checks_);
}

bool LiveSelfTest::scrollCheck() {
  const auto started = std::chrono::system_clock::now();
  ReportFiles files(outputDirectory_);
  if (auto problem = files.createDirectory()) problems_.push_back(*problem);
  for (std::string& problem : files.clear())
    problems_.push_back(std::move(problem));
  if (!navigation().tapInstalled() || !input().available()) return false;
  auto conditions = input().holdRunConditions();
  avoidBoundModifierKeys();
  bool interrupted = false;
  try {
    if (!launchFixture()) {
      terminate(fixture_);
      return false;
    }
    scrollMode();
  } catch (const Interrupted& stop) {
    interrupted = true;
    problems_.push_back(stop.what());
  }
  terminate(fixture_);
  writeReport(started);
  // What the check held is let go; modifiers the person holds are not touched.
  input().releaseAll();
  return !interrupted && allPassed(checks_);
}

bool LiveSelfTest::demoLabels(double seconds) {
  ReportFiles files(outputDirectory_);
  if (auto problem = files.createDirectory()) problems_.push_back(*problem);
  if (!navigation().tapInstalled()) {
    problems_.push_back("The running Tovrel could not install its event tap.");
    return false;
  }
  if (!input().available()) {
    problems_.push_back("The desktop does not accept synthetic input: " + input().lastProblem());
    return false;
  }
  auto conditions = input().holdRunConditions();
  avoidBoundModifierKeys();
  try {
    if (!launchFixture()) {
      terminate(fixture_);
      problems_.push_back("Tovrel Fixture did not start.");
      return false;
    }
    activate(*fixture_);
    pressClickEntry();
    // The capture tool waits for this file; the labels follow within moments.
    if (auto problem = files.writeReady()) problems_.push_back(*problem);
    wait(static_cast<int>(seconds * 1000));
    press(Key::escape);
  } catch (const Interrupted& stop) {
    problems_.push_back(stop.what());
    terminate(fixture_);
    input().releaseAll();
    return false;
  }
  terminate(fixture_);
  input().releaseAll();
  return true;
}

void LiveSelfTest::terminateFixtures() {
  terminate(fixture_);
  terminate(canvas_);
}

void LiveSelfTest::teardown() {
  // The modifiers first, in a fixed order, then whatever else the run still holds, then the
  // button: nothing the test pressed may outlive it.
  for (std::uint16_t code : {Key::leftCommand, Key::rightCommand, Key::leftOption, Key::rightOption,
                             Key::leftShift, Key::leftControl})
    input().modifierKey(code, false);
  input().releaseAll();
  if (input().leftButtonDown()) input().leftButton(false, pointer());
}

}  // namespace tovrel::selftest
