#include "app/launch/LaunchPlan.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tovrel::launch {
namespace {

std::string joined(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& word : words)
    text += " " + word;
  return text;
}

// Everything the launch reads from its arguments, in one line: "diagnose <file or ->",
// "tool <switch> <arguments>", "dir <test directory>", "test <switch> <directory> [fixture
// <path>]", "login", each only when present, joined by " | ".
std::string plan(const Arguments& arguments) {
  std::vector<std::string> parts;
  if (const auto diagnosis = diagnosisRequest(arguments)) {
    parts.push_back("diagnose " + diagnosis->file.value_or("-"));
  }
  if (const auto tool = matchTool(arguments)) {
    parts.push_back("tool " + std::string(switchName(tool->tool)) + joined(tool->arguments));
  }
  // A launch skips the single-instance rule exactly when a tool will run.
  if (isToolLaunch(arguments) != matchTool(arguments).has_value()) parts.push_back("MISMATCH");
  if (const auto directory = testDirectory(arguments)) parts.push_back("dir " + *directory);
  if (const auto test = testRun(arguments)) {
    parts.push_back("test " + std::string(switchName(test->kind)) + " " + test->directory +
                    (test->fixture ? " fixture " + *test->fixture : ""));
  }
  if (hasLoginMarker(arguments)) parts.push_back("login");
  std::string text;
  for (const auto& part : parts)
    text += (text.empty() ? "" : " | ") + part;
  return text;
}

TEST(LaunchPlan, EveryArgumentListIsReadAsTheDispatchReadsIt) {
  const struct {
    Arguments arguments;  // the program path first, as at entry
    std::string expected;
  } rows[] = {
      {{"tovrel"}, ""},
      {{"tovrel", "--diagnose"}, "diagnose -"},
      {{"tovrel", "--diagnose-file", "/tmp/r.json", "--diagnose"}, "diagnose -"},
      {{"tovrel", "--diagnose-file", "--diagnose"}, "diagnose -"},
      {{"tovrel", "--diagnose-file", "a.json", "--diagnose-file", "b.json"}, "diagnose a.json"},
      {{"tovrel", "--self-test", "D", "--diagnose-file"}, "dir D | test --self-test D"},
      {{"tovrel", "--snapshot-settings"}, ""},
      {{"tovrel", "--self-scan", "P", "--snapshot-settings", "S"}, "tool --snapshot-settings S"},
      {{"tovrel", "--self-scan"}, ""},
      {{"tovrel", "--preview-frames", "F", "--self-scan", "P"}, "tool --self-scan P"},
      {{"tovrel", "--preview-frames", "F"}, "tool --preview-frames F"},
      {{"tovrel", "--label-sample", "L"}, "tool --label-sample L"},
      {{"tovrel", "--audit-app", "A", "ID", "--outline-app", "OUT"}, "tool --audit-app A ID"},
      {{"tovrel", "--outline-app", "OUT", "--self-test", "T"},
       "tool --outline-app OUT --self-test | dir T | test --self-test T"},
      {{"tovrel", "--outline-app", "OUT"}, ""},
      {{"tovrel", "--outline-app", "O", "X", "Y", "--outline-app", "P", "Z"},
       "tool --outline-app O X"},
      {{"tovrel", "--audit-app", "A"}, ""},
      {{"tovrel", "--probe-apps", "OUT"}, "tool --probe-apps OUT"},
      {{"tovrel", "--probe-apps", "OUT", "a", "--fixture", "f"},
       "tool --probe-apps OUT a --fixture f"},
      {{"tovrel", "--probe-apps"}, ""},
      {{"tovrel", "--self-test", "A", "--scroll-check", "B"}, "dir A | test --scroll-check B"},
      {{"tovrel", "--demo-labels", "D", "--scroll-check", "S", "--fixture", "/fx"},
       "dir D | test --scroll-check S fixture /fx"},
      {{"tovrel", "--fixture", "/fx", "--demo-labels", "D"},
       "dir D | test --demo-labels D fixture /fx"},
      {{"tovrel", "--self-test", "A", "--self-test", "B"}, "dir A | test --self-test A"},
      {{"tovrel", "--self-test"}, ""},
      {{"tovrel", "--self-test", "--demo-labels", "D"}, "dir --demo-labels | test --demo-labels D"},
      {{"tovrel", "--scroll-check", "S", "--fixture"}, "dir S | test --scroll-check S"},
      {{"tovrel", "--launched-at-login"}, "login"},
      {{"tovrel", "--self-test", "T", "--launched-at-login"}, "dir T | test --self-test T | login"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(plan(row.arguments), row.expected) << "arguments:" << joined(row.arguments);
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
    EXPECT_EQ(argumentAfter(row.arguments, "--x"), row.expected) << joined(row.arguments);
  }
}

}  // namespace
}  // namespace tovrel::launch
