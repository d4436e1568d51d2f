#include "app/launch/LaunchPlan.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

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

TEST(LaunchPlan, HelpAndVersionAreAnsweredByTheFirstOfThemAndOnlyThem) {
  const std::string usage = usageText();
  const std::string version = versionText();
  const struct {
    Arguments arguments;
    std::optional<std::string> expected;
  } rows[] = {
      {{"tovrel"}, std::nullopt},
      {{"tovrel", "--help"}, usage},
      {{"tovrel", "-h"}, usage},
      {{"tovrel", "--version"}, version},
      {{"tovrel", "--version", "--help"}, version},
      {{"tovrel", "-h", "--version"}, usage},
      // Before the diagnosis, the tools, the tests and the login marker.
      {{"tovrel", "--diagnose", "--version"}, version},
      {{"tovrel", "--self-test", "D", "--fixture", "F", "-h"}, usage},
      {{"tovrel", "--label-sample", "L", "--help"}, usage},
      {{"tovrel", "--launched-at-login", "--version"}, version},
      // After the probe's switch every argument names an application.
      {{"tovrel", "--probe-apps", "OUT", "--help"}, std::nullopt},
      {{"tovrel", "--version", "--probe-apps", "OUT"}, version},
      // Other unknown arguments are not these switches; the program's own name is none either.
      {{"tovrel", "-help", "--Help", "--versions", "-v", "-V", "help"}, std::nullopt},
      {{"--help"}, std::nullopt},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(informationRequested(row.arguments), row.expected)
        << "arguments:" << joined(row.arguments);
  }
  EXPECT_TRUE(std::regex_match(version, std::regex("Tovrel [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << version;
}

TEST(LaunchPlan, TheUsageDescribesEverySwitchOnceAndEachIsReadAsShown) {
  std::multiset<std::string> described;
  std::istringstream usage(usageText());
  for (std::string line; std::getline(usage, line);) {
    EXPECT_LE(line.size(), 100u) << line;
    if (line.rfind("  ", 0) != 0) continue;
    // The switch and its arguments, then a meaning after a gap.
    const std::size_t gap = line.find("  ", 2);
    ASSERT_NE(gap, std::string::npos) << line;
    EXPECT_NE(line.find_first_not_of(' ', gap), std::string::npos) << line;
    std::istringstream words(line.substr(2, gap - 2));
    // The switch's names ("-h, --help"), then its arguments: switches kept, placeholders such as
    // DIR filled in, optional ones left out.
    std::vector<std::string> names;
    std::string word;
    while (words >> word && word.ends_with(','))
      names.push_back(word.substr(0, word.size() - 1));
    names.push_back(word);
    Arguments shown = {"tovrel", word};
    while (words >> word) {
      if (!word.starts_with("[")) shown.push_back(word.starts_with("-") ? word : "x");
    }
    for (const std::string& name : names) {
      described.insert(name);
      // Given as the usage shows it, the launch acts on it.
      Arguments given = shown;
      given[1] = name;
      EXPECT_TRUE(!plan(given).empty() || informationRequested(given)) << joined(given);
    }
  }
  EXPECT_EQ(described, (std::multiset<std::string>{
                           "--launched-at-login", "--diagnose", "--diagnose-file", "--self-test",
                           "--scroll-check", "--demo-labels", "--snapshot-settings", "--self-scan",
                           "--preview-frames", "--label-sample", "--outline-app", "--audit-app",
                           "--probe-apps", "-h", "--help", "--version"}));
}

}  // namespace
}  // namespace tovrel::launch
