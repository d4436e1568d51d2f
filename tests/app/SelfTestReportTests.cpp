#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "app/selftest/Check.hpp"
#include "app/selftest/Report.hpp"

namespace tovrel::selftest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

// A fresh folder, removed with everything in it at the end of the test.
struct TemporaryFolder {
  QTemporaryDir dir;
  fs::path path() const { return dir.path().toStdString(); }
};

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void put(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

const Check passedL04{"L04",
                      {"A06"},
                      "Holding L moves right smoothly and stops on release",
                      true,
                      "Moved 212 px right in 500 ms; 0 px after release.",
                      {{"distance", 212.0}, {"after", 0.0}}};
const Check fixtureFailure{"L01", {}, "Fixture launch", false, "Tovrel Fixture did not start.", {}};
const Check twoAcceptances{
    "L16", {"A25", "M1"}, "Separate exit", false, "Log said: a|b\nthen c\r\nand d\re", {}};

ReportFacts facts() {
  ReportFacts facts;
  facts.readiness.osVersion = "Debian GNU/Linux 12 (bookworm)";
  facts.readiness.executablePath = "/usr/bin/tovrel";
  facts.readiness.bundleIdentifier = "local.tovrel.Tovrel";
  facts.version = "0.1.0";
  return facts;
}

const system_clock::time_point started = sys_days{2024y / May / 1} + 9h + 3min + 7s + 999ms;

TEST(SelfTestCheck, ConsoleLines) {
  const struct {
    Check check;
    std::string line;
  } cases[] = {
      {passedL04,
       "PASS L04 Holding L moves right smoothly and stops on release — Moved 212 px right in 500 "
       "ms; 0 px after release.\n"},
      {fixtureFailure, "FAIL L01 Fixture launch — Tovrel Fixture did not start.\n"},
      // The console keeps a detail as measured.
      {twoAcceptances, "FAIL L16 Separate exit — Log said: a|b\nthen c\r\nand d\re\n"},
  };
  for (const auto& [check, line] : cases)
    EXPECT_EQ(consoleLine(check), line);
}

TEST(SelfTestCheck, JsonRoundTripsEveryCheck) {
  const std::vector<Check> checks = {passedL04, fixtureFailure, twoAcceptances};
  const std::string text = reportJson(checks);
  EXPECT_EQ(decodeReportJson(text), checks);
  // Sorted keys, so the file diffs well between runs.
  EXPECT_LT(text.find("\"acceptance\""), text.find("\"detail\""));
  EXPECT_LT(text.find("\"passed\""), text.find("\"title\""));
  EXPECT_EQ(reportJson({}), "[]");
}

TEST(SelfTestCheck, NonFiniteMetricIsLeftOutAndTheRestKept) {
  Check check = passedL04;
  check.metrics["jitter"] = std::numeric_limits<double>::quiet_NaN();
  check.metrics["peak"] = std::numeric_limits<double>::infinity();
  const std::vector<Check> decoded = decodeReportJson(reportJson({check}));
  ASSERT_EQ(decoded.size(), 1u);
  EXPECT_EQ(decoded[0], passedL04);
}

TEST(SelfTestCheck, EveryKeyIsRequiredAndTyped) {
  const json::Value whole = passedL04.toJson();
  for (const char* key : {"id", "acceptance", "title", "passed", "detail", "metrics"}) {
    json::Value missing = whole;
    missing.erase(key);
    try {
      Check::fromJson(json::Reader(missing));
      ADD_FAILURE() << "decoded without " << key;
    } catch (const json::DecodingError& error) {
      EXPECT_EQ(error.kind(), json::DecodingError::Kind::keyNotFound) << key;
    }
  }
  EXPECT_THROW(decodeReportJson("{}"), json::DecodingError);
}

TEST(SelfTestReport, MarkdownOfASmallRun) {
  const std::string expected[] = {
      "# Tovrel live self-test",
      "",
      "- Date: 2024-05-01T09:03:07Z",
      "- System: Debian GNU/Linux 12 (bookworm)",
      "- App: /usr/bin/tovrel (local.tovrel.Tovrel, 0.1.0 build ?)",
      "- Input: synthetic input posted through the X server’s test extension, routed through "
      "Tovrel’s real tap. Not a hardware test.",
      "- Result: 1 of 3 passed",
      "",
      "| ID | Acceptance | Check | Result | Evidence |",
      "|---|---|---|---|---|",
      "| L04 | A06 | Holding L moves right smoothly and stops on release | PASS | Moved 212 px "
      "right in 500 ms; 0 px after release. |",
      "| L01 |  | Fixture launch | FAIL | Tovrel Fixture did not start. |",
      "| L16 | A25, M1 | Separate exit | FAIL | Log said: a/b then c and d e |",
  };
  std::string text;
  for (const std::string& line : expected)
    text += line + "\n";
  EXPECT_EQ(reportMarkdown({passedL04, fixtureFailure, twoAcceptances}, facts(), started), text);
}

TEST(SelfTestFiles, WritesBothReportsAndTheReadyMarker) {
  TemporaryFolder folder;
  const ReportFiles files(folder.path() / "run" / "out");
  EXPECT_EQ(files.createDirectory(), std::nullopt);
  const std::vector<Check> checks = {passedL04, fixtureFailure};
  EXPECT_TRUE(files.write(checks, facts(), started).empty());
  EXPECT_EQ(decodeReportJson(contents(files.jsonPath())), checks);
  EXPECT_EQ(contents(files.markdownPath()), reportMarkdown(checks, facts(), started));
  EXPECT_EQ(files.writeReady(), std::nullopt);
  EXPECT_EQ(contents(files.readyPath()), "labels");
}

TEST(SelfTestFiles, ClearingRemovesStaleReportsOnly) {
  TemporaryFolder folder;
  const ReportFiles files(folder.path());
  put(files.jsonPath(), "[]");
  put(files.markdownPath(), "old PASS");
  put(folder.path() / "fixture-state.json", "{}");
  EXPECT_TRUE(files.clear().empty());
  EXPECT_FALSE(fs::exists(files.jsonPath()));
  EXPECT_FALSE(fs::exists(files.markdownPath()));
  EXPECT_TRUE(fs::exists(folder.path() / "fixture-state.json"));
  // Nothing to clear, or no folder yet, is no problem.
  EXPECT_TRUE(files.clear().empty());
  EXPECT_TRUE(clearReports(folder.path() / "missing").empty());
  // A report that cannot be deleted is said so.
  fs::create_directory(files.markdownPath());
  const std::vector<std::string> problems = files.clear();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find(files.markdownPath().string()), std::string::npos) << problems[0];
}

TEST(SelfTestFiles, AnUnwritableFolderIsReportedForEveryFile) {
  TemporaryFolder folder;
  // A file where the folder should be refuses every write, even to a user who may write anywhere.
  put(folder.path() / "out", "not a folder");
  const ReportFiles files(folder.path() / "out");
  const std::vector<std::string> problems = files.write({fixtureFailure}, facts(), started);
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_EQ(problems[0],
            "Could not write the report " + files.jsonPath().string() + ": Not a directory.");
  EXPECT_NE(problems[1].find(files.markdownPath().string()), std::string::npos) << problems[1];
  EXPECT_NE(files.writeReady(), std::nullopt);
  EXPECT_NE(files.createDirectory(), std::nullopt);
  EXPECT_EQ(contents(folder.path() / "out"), "not a folder");
}

TEST(SelfTestFiles, AReportThatCannotBeEncodedStillLeavesTheMarkdown) {
  TemporaryFolder folder;
  const ReportFiles files(folder.path());
  Check broken = fixtureFailure;
  broken.detail = "bytes \xff\xfe from the log";
  const std::vector<std::string> problems = files.write({broken}, facts(), started);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find(files.jsonPath().string()), std::string::npos) << problems[0];
  EXPECT_TRUE(fs::exists(files.markdownPath()));
}

}  // namespace
}  // namespace tovrel::selftest
