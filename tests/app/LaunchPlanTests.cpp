#include "app/launch/LaunchPlan.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tovrel::launch {
namespace {

struct Row {
  const char* name;
  Arguments arguments;  // the program path comes first, as at entry
  std::optional<DiagnosisRequest> diagnosis;
  std::optional<ToolRun> tool;
  std::optional<std::string> testDirectory;
  std::optional<TestRun> test;
  bool loginMarker = false;
};

const DiagnosisRequest toStandardOutput{};
DiagnosisRequest toFile(std::string path) {
  return DiagnosisRequest{std::move(path)};
}

TEST(LaunchPlan, EveryArgumentListIsReadAsTheDispatchReadsIt) {
  const Row rows[] = {
      {"nothing asked", {"tovrel"}, {}, {}, {}, {}},
      {"diagnose", {"tovrel", "--diagnose"}, toStandardOutput, {}, {}, {}},
      {"diagnose after a diagnosis file",
       {"tovrel", "--diagnose-file", "/tmp/r.json", "--diagnose"},
       toStandardOutput,
       {},
       {},
       {}},
      {"diagnose as the file's value",
       {"tovrel", "--diagnose-file", "--diagnose"},
       toStandardOutput,
       {},
       {},
       {}},
      {"diagnosis file", {"tovrel", "--diagnose-file", "a.json"}, toFile("a.json"), {}, {}, {}},
      {"first diagnosis file wins",
       {"tovrel", "--diagnose-file", "a.json", "--diagnose-file", "b.json"},
       toFile("a.json"),
       {},
       {},
       {}},
      {"diagnosis file last is a normal launch",
       {"tovrel", "--self-test", "D", "--diagnose-file"},
       {},
       {},
       "D",
       TestRun{TestKind::selfTest, "D", {}}},
      {"snapshot without a directory", {"tovrel", "--snapshot-settings"}, {}, {}, {}, {}},
      {"snapshot before the self-scan",
       {"tovrel", "--self-scan", "P", "--snapshot-settings", "S"},
       {},
       ToolRun{Tool::snapshotSettings, {"S"}},
       {},
       {}},
      {"self-scan without a path", {"tovrel", "--self-scan"}, {}, {}, {}, {}},
      {"table order, not argument order",
       {"tovrel", "--preview-frames", "F", "--self-scan", "P"},
       {},
       ToolRun{Tool::selfScan, {"P"}},
       {},
       {}},
      {"preview frames",
       {"tovrel", "--preview-frames", "F"},
       {},
       ToolRun{Tool::previewFrames, {"F"}},
       {},
       {}},
      {"label sample",
       {"tovrel", "--label-sample", "L"},
       {},
       ToolRun{Tool::labelSample, {"L"}},
       {},
       {}},
      {"outline without an identifier falls through",
       {"tovrel", "--audit-app", "A", "ID", "--outline-app", "OUT"},
       {},
       ToolRun{Tool::auditApp, {"A", "ID"}},
       {},
       {}},
      {"outline alone falls to the normal path",
       {"tovrel", "--outline-app", "OUT"},
       {},
       {},
       {},
       {}},
      {"outline takes the next two, whatever they are",
       {"tovrel", "--outline-app", "OUT", "--probe-apps", "P"},
       {},
       ToolRun{Tool::outlineApp, {"OUT", "--probe-apps"}},
       {},
       {}},
      {"first outline wins, extra arguments ignored",
       {"tovrel", "--outline-app", "O", "X", "Y", "--outline-app", "P", "Z"},
       {},
       ToolRun{Tool::outlineApp, {"O", "X"}},
       {},
       {}},
      {"audit missing its identifier", {"tovrel", "--audit-app", "A"}, {}, {}, {}, {}},
      {"probe with no identifiers",
       {"tovrel", "--probe-apps", "OUT"},
       {},
       ToolRun{Tool::probeApps, {"OUT"}},
       {},
       {}},
      {"probe takes every later argument",
       {"tovrel", "--probe-apps", "OUT", "a", "--fixture", "f"},
       {},
       ToolRun{Tool::probeApps, {"OUT", "a", "--fixture", "f"}},
       {},
       {}},
      {"probe without output", {"tovrel", "--probe-apps"}, {}, {}, {}, {}},
      {"store in the self-test's directory, scroll check in its own",
       {"tovrel", "--self-test", "A", "--scroll-check", "B"},
       {},
       {},
       "A",
       TestRun{TestKind::scrollCheck, "B", {}}},
      {"labels' directory holds the store, the scroll check runs",
       {"tovrel", "--demo-labels", "D", "--scroll-check", "S", "--fixture", "/fx"},
       {},
       {},
       "D",
       TestRun{TestKind::scrollCheck, "S", "/fx"}},
      {"self-test with a fixture",
       {"tovrel", "--fixture", "/fx", "--self-test", "T"},
       {},
       {},
       "T",
       TestRun{TestKind::selfTest, "T", "/fx"}},
      {"first self-test wins",
       {"tovrel", "--self-test", "A", "--self-test", "B"},
       {},
       {},
       "A",
       TestRun{TestKind::selfTest, "A", {}}},
      {"self-test without a directory", {"tovrel", "--self-test"}, {}, {}, {}, {}},
      {"self-test's value is a switch",
       {"tovrel", "--self-test", "--demo-labels", "D"},
       {},
       {},
       "--demo-labels",
       TestRun{TestKind::demoLabels, "D", {}}},
      {"fixture last",
       {"tovrel", "--scroll-check", "S", "--fixture"},
       {},
       {},
       "S",
       TestRun{TestKind::scrollCheck, "S", {}}},
      {"login launch", {"tovrel", "--launched-at-login"}, {}, {}, {}, {}, true},
      {"login launch of a self-test",
       {"tovrel", "--self-test", "T", "--launched-at-login"},
       {},
       {},
       "T",
       TestRun{TestKind::selfTest, "T", {}},
       true},
  };

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(diagnosisRequest(row.arguments), row.diagnosis);
    const auto tool = matchTool(row.arguments);
    EXPECT_EQ(tool.has_value(), row.tool.has_value());
    if (tool && row.tool) {
      EXPECT_EQ(switchName(tool->tool), switchName(row.tool->tool));
      EXPECT_EQ(tool->arguments, row.tool->arguments);
    }
    // A launch skips the single-instance rule exactly when a tool will run.
    EXPECT_EQ(isToolLaunch(row.arguments), row.tool.has_value());
    EXPECT_EQ(testDirectory(row.arguments), row.testDirectory);
    const auto test = testRun(row.arguments);
    EXPECT_EQ(test.has_value(), row.test.has_value());
    if (test && row.test) {
      EXPECT_EQ(switchName(test->kind), switchName(row.test->kind));
      EXPECT_EQ(test->directory, row.test->directory);
      EXPECT_EQ(test->fixture, row.test->fixture);
    }
    EXPECT_EQ(hasLoginMarker(row.arguments), row.loginMarker);
  }
}

TEST(LaunchPlan, ArgumentAfterLooksOnlyAtTheFirstOccurrence) {
  const struct {
    Arguments arguments;
    std::optional<std::string> expected;
  } rows[] = {
      {{"tovrel"}, std::nullopt},
      {{"tovrel", "--x"}, std::nullopt},
      {{"tovrel", "--x", "a"}, "a"},
      {{"tovrel", "--x", "--x", "b"}, "--x"},
      {{"tovrel", "--x", "a", "--x", "b"}, "a"},
      {{"tovrel", "a", "--x", ""}, ""},
      {{"tovrel", "--xy", "a"}, std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(argumentAfter(row.arguments, "--x"), row.expected)
        << ::testing::PrintToString(row.arguments);
  }
}

}  // namespace
}  // namespace tovrel::launch
