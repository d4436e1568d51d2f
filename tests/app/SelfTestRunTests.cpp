#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "app/model/AppModel.hpp"
#include "app/selftest/LiveSelfTest.hpp"
#include "app/selftest/Report.hpp"
#include "app/selftest/SelfTestConfig.hpp"
#include "core/ConfigStore.hpp"
#include "core/ConfigValidator.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "system/NavigationService.hpp"

namespace tovrel::selftest {
namespace {

namespace fs = std::filesystem;

// Time passes only when the test sleeps.
struct VirtualPacer : Pacer {
  double now() override { return seconds; }
  void sleep(int milliseconds) override {
    ++sleeps;
    seconds += milliseconds / 1000.0;
  }
  double seconds = 100;
  int sleeps = 0;
};

TEST(SelfTestWaits, PollsEveryTenMillisecondsUntilTheConditionOrTheDeadline) {
  struct Row {
    const char* name;
    double timeout;
    int holdsAfterAsks;  // the condition holds from this ask on (1 = at once); 0 = never
    bool result;
    int sleeps;
  };
  const Row rows[] = {
      {"holds at once", 2.0, 1, true, 0},
      {"holds on the fourth ask", 2.0, 4, true, 3},
      {"never holds", 0.095, 0, false, 10},
      {"zero time-out, holding", 0, 1, true, 0},
      {"zero time-out, not holding", 0, 0, false, 0},
      {"holds only at the deadline's last ask", 0.045, 6, true, 5},
  };
  for (const Row& row : rows) {
    VirtualPacer pacer;
    const double start = pacer.now();
    int asks = 0;
    const bool result = waitFor(pacer, row.timeout, [&] {
      ++asks;
      return row.holdsAfterAsks > 0 && asks >= row.holdsAfterAsks;
    });
    EXPECT_EQ(result, row.result) << row.name;
    EXPECT_EQ(pacer.sleeps, row.sleeps) << row.name;
    EXPECT_LE(pacer.now() - start, row.timeout + pollMilliseconds / 1000.0 + 1e-9) << row.name;
  }
}

TEST(SelfTestDetails, NumberAndTextForms) {
  EXPECT_EQ(detail::shortestDecimal(0), "0.0");
  EXPECT_EQ(detail::shortestDecimal(3), "3.0");
  EXPECT_EQ(detail::shortestDecimal(-2.5), "-2.5");
  EXPECT_EQ(detail::shortestDecimal(0.1), "0.1");
  EXPECT_EQ(detail::oneDecimal(11.94), "11.9");
  EXPECT_EQ(detail::whole(2), "2");
  // Characters, not bytes: a two-byte letter is one.
  EXPECT_EQ(detail::lastCharacters("ijkå", 1), "å");
  EXPECT_EQ(detail::lastCharacters("aåz", 2), "åz");
  EXPECT_EQ(detail::lastCharacters("z", 2), "z");
  EXPECT_EQ(detail::characterCount("aåz"), 3u);
}

TEST(SelfTestStability, TheGeneratedSequenceIsFixed) {
  const std::vector<int> kinds = detail::stabilityKinds(150);
  ASSERT_EQ(kinds.size(), 150u);
  EXPECT_EQ(std::vector<int>(kinds.begin(), kinds.begin() + 12),
            (std::vector<int>{1, 0, 4, 3, 2, 3, 0, 3, 2, 2, 4, 1}));
  std::vector<int> counts(5, 0);
  for (int kind : kinds)
    ++counts.at(static_cast<std::size_t>(kind));
  EXPECT_EQ(counts, (std::vector<int>{22, 29, 29, 35, 35}));
}

TEST(SelfTestSettings, TheRunsSettingsAreValidAndCarryWhatTheChecksNeed) {
  const TovrelConfig config = selfTestConfig();
  EXPECT_TRUE(ConfigValidator::problems(config).empty());
  bool dragOnLeftCommand = false;
  for (const CursorBinding& binding : config.cursorBindings)
    dragOnLeftCommand |= binding.action == CursorAction::dragHold &&
                         binding.gesture == Gesture::key(Key::leftCommand);
  EXPECT_TRUE(dragOnLeftCommand);
  EXPECT_EQ(config.scrollEntry.gesture,
            Gesture::key(Key::j, {Modifiers::control, Modifiers::command}));

  std::string pattern = (fs::temp_directory_path() / "tovrel-selftest.XXXXXX").string();
  const fs::path folder = ::mkdtemp(pattern.data());
  // A stale file from an earlier run is replaced, not read.
  fs::create_directories(folder / "run");
  std::ofstream(folder / "run" / configFileName) << "{ not json";
  EXPECT_EQ(writeSelfTestConfig(folder / "run"), std::nullopt);
  EXPECT_EQ(ConfigStore(folder / "run" / configFileName).load(), config);
  // A folder that cannot be made is a sentence naming it.
  std::ofstream(folder / "file") << "x";
  auto problem = writeSelfTestConfig(folder / "file" / "run");
  ASSERT_TRUE(problem.has_value());
  EXPECT_NE(problem->find((folder / "file" / "run").string()), std::string::npos);
  fs::remove_all(folder);
}

class SelfTestDriver : public ::testing::Test {
 protected:
  SelfTestDriver() {
    std::string pattern = (fs::temp_directory_path() / "tovrel-driver.XXXXXX").string();
    folder = ::mkdtemp(pattern.data());
    model = std::make_unique<AppModel>(std::nullopt, desktop.platform, loginItems);
  }
  ~SelfTestDriver() override {
    model.reset();
    fs::remove_all(folder);
  }
  LiveSelfTest make(std::optional<fs::path> fixture = std::nullopt) {
    return LiveSelfTest(
        {*model, folder, std::move(fixture), {}, pacer, [this](const std::string& line) {
           printed += line;
         }});
  }
  std::string read(std::string_view name) const {
    std::ifstream file(folder / name);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  fs::path folder;
  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  std::unique_ptr<AppModel> model;
  VirtualPacer pacer;
  std::string printed;
};

TEST_F(SelfTestDriver, WithoutTheTapOnlyReadinessFailsAndNothingStaysHeld) {
  auto& input = desktop.syntheticInput;
  input.pointer = {300, 200};
  input.modifierKey(Key::leftCommand, true);
  input.key(Key::j, true);
  input.leftButton(true, {40, 50});
  input.pointer = {300, 200};
  std::ofstream(folder / "selftest.json") << "[]";  // an older run's report

  LiveSelfTest test = make(fs::path("/nonexistent/fixture"));
  ASSERT_FALSE(model->navigation().tapInstalled());
  EXPECT_FALSE(test.run());

  ASSERT_EQ(test.checks().size(), 1u);
  EXPECT_EQ(test.checks()[0].id, "L00");
  EXPECT_EQ(test.checks()[0].title, "Readiness");
  EXPECT_TRUE(test.checks()[0].acceptance.empty());
  EXPECT_EQ(printed, consoleLine(test.checks()[0]));
  EXPECT_NE(read("selftest.md").find("- Result: 0 of 1 passed"), std::string::npos);
  EXPECT_EQ(decodeReportJson(read("selftest.json")), test.checks());
  // Everything held is let go, and the pointer is back where the run found it.
  EXPECT_TRUE(input.held.empty());
  EXPECT_FALSE(input.leftDown);
  EXPECT_EQ(input.pointer, (Point{300, 200}));
  EXPECT_EQ(pacer.sleeps, 0);
}

TEST_F(SelfTestDriver, WithoutAFixtureTheRunEndsAtTheLaunch) {
  model->navigation().start();
  ASSERT_TRUE(model->navigation().tapInstalled());
  LiveSelfTest test = make();
  EXPECT_FALSE(test.run());

  ASSERT_EQ(test.checks().size(), 2u);
  EXPECT_TRUE(test.checks()[0].passed);
  EXPECT_EQ(test.checks()[0].acceptance, std::vector<std::string>{"M0"});
  EXPECT_EQ(test.checks()[1].id, "L01");
  EXPECT_EQ(test.checks()[1].title, "Fixture launch");
  EXPECT_EQ(test.checks()[1].detail, "Tovrel Fixture did not start.");
  EXPECT_NE(read("selftest.md").find("| L01 |  | Fixture launch | FAIL |"), std::string::npos);
  // No fixture, no 800 ms settling wait; and the run's input conditions were given back.
  EXPECT_EQ(pacer.sleeps, 0);
  EXPECT_EQ(desktop.syntheticInput.runConditionsHeld, 0);
  // The drag key and the mode's tap key are kept out of chords.
  EXPECT_NE(std::find(desktop.syntheticInput.avoided.begin(), desktop.syntheticInput.avoided.end(),
                      Key::rightOption),
            desktop.syntheticInput.avoided.end());
}

TEST_F(SelfTestDriver, ScrollCheckAndDemoWithoutTheTapRecordNothing) {
  LiveSelfTest scroll = make();
  EXPECT_FALSE(scroll.scrollCheck());
  EXPECT_TRUE(scroll.checks().empty());
  EXPECT_FALSE(fs::exists(folder / "selftest.md"));

  LiveSelfTest demo = make();
  EXPECT_FALSE(demo.demoLabels(4));
  EXPECT_FALSE(demo.problems().empty());
  EXPECT_FALSE(fs::exists(folder / "ready"));
}

}  // namespace
}  // namespace tovrel::selftest
