#include "app/launch/Diagnosis.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tovrel::launch {
namespace {

namespace fs = std::filesystem;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File scratchStream() {
  return File(std::tmpfile());
}

std::string contents(std::FILE* stream) {
  std::fflush(stream);
  std::rewind(stream);
  std::string text;
  char buffer[512];
  while (const std::size_t count = std::fread(buffer, 1, sizeof buffer, stream)) {
    text.append(buffer, count);
  }
  return text;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

PermissionReport sampleReport(bool tap, bool secure, std::optional<std::string> holder = {}) {
  PermissionReport report;
  report.bundleIdentifier = "local.tovrel.Tovrel";
  report.executablePath = "/usr/bin/tovrel";
  report.osVersion = "Debian 12";
  report.accessibilityTrusted = true;
  report.listenEventAccess = true;
  report.activeTapCreatable = tap;
  report.secureInputActive = secure;
  report.secureInputApp = std::move(holder);
  return report;
}

class DiagnosisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("tovrel-diagnosis-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
  File out_ = scratchStream();
  File errors_ = scratchStream();
};

TEST_F(DiagnosisTest, OnlyACreatableTapWithoutSecureInputIsReady) {
  const struct {
    bool tap;
    bool secure;
    int status;
  } rows[] = {{true, false, 0}, {true, true, 2}, {false, false, 2}, {false, true, 2}};
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "tap " << row.tap << ", secure input " << row.secure);
    const PermissionReport report = sampleReport(row.tap, row.secure);
    EXPECT_EQ(diagnosisStatus(report), row.status);
    auto out = scratchStream();
    EXPECT_EQ(writeDiagnosis(report, {}, out.get(), errors_.get()), row.status);
    const fs::path file = folder_ / "report.json";
    EXPECT_EQ(writeDiagnosis(report, {file.string()}, out.get(), errors_.get()), row.status);
  }
  EXPECT_EQ(contents(errors_.get()), "");
}

TEST_F(DiagnosisTest, TheFileGetsTheSameJsonWithoutTheLineBreakAndNothingIsPrinted) {
  const PermissionReport report = sampleReport(false, true, "Terminal");
  auto printedOut = scratchStream();
  writeDiagnosis(report, {}, printedOut.get(), errors_.get());
  const std::string printed = contents(printedOut.get());

  const fs::path file = folder_ / "diagnosis.json";
  {
    std::ofstream old(file);
    old << std::string(4096, 'x');  // a longer old content must not survive past the new end
  }
  EXPECT_EQ(writeDiagnosis(report, {file.string()}, out_.get(), errors_.get()), 2);
  // The report's own form is the report's tests' concern; here only what goes where.
  EXPECT_EQ(printed, report.toPrettyJson() + "\n");
  EXPECT_EQ(readFile(file), report.toPrettyJson());
  EXPECT_EQ(contents(out_.get()), "");
  EXPECT_EQ(contents(errors_.get()), "");
}

TEST_F(DiagnosisTest, AFileThatCannotBeWrittenEndsWithStatusOneAndSaysWhy) {
  const PermissionReport ready = sampleReport(true, false);
  const struct {
    const char* name;
    fs::path path;
    int error;
  } rows[] = {
      {"missing folder", folder_ / "missing" / "diagnosis.json", ENOENT},
      {"a folder", folder_, EISDIR},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto errors = scratchStream();
    EXPECT_EQ(writeDiagnosis(ready, {row.path.string()}, out_.get(), errors.get()), 1);
    const std::string said = contents(errors.get());
    EXPECT_NE(said.find(row.path.string()), std::string::npos) << said;
    EXPECT_NE(said.find(std::strerror(row.error)), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
  EXPECT_TRUE(fs::is_directory(folder_)) << "nothing was lost";
  EXPECT_EQ(contents(out_.get()), "");
}

TEST_F(DiagnosisTest, TheFileIsReplacedAtOnceUnderItsExactNameAndThroughALink) {
  const PermissionReport report = sampleReport(true, false);
  // Bytes that are no UTF-8 name the file as they are.
  const fs::path odd = folder_ / "report-\xff\xe9.json";
  EXPECT_EQ(writeDiagnosis(report, {odd.string()}, out_.get(), errors_.get()), 0);
  EXPECT_EQ(readFile(odd), report.toPrettyJson());

  fs::create_directories(folder_ / "kept");
  const fs::path target = folder_ / "kept" / "report.json";
  std::ofstream(target) << "old";
  fs::create_symlink("kept/report.json", folder_ / "link.json");
  std::ifstream reader(target, std::ios::binary);
  EXPECT_EQ(writeDiagnosis(report, {(folder_ / "link.json").string()}, out_.get(), errors_.get()),
            0);
  EXPECT_TRUE(fs::is_symlink(folder_ / "link.json"));
  EXPECT_EQ(readFile(target), report.toPrettyJson());
  // Replaced, not rewritten in place: a reader of the old file still reads it whole.
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), "old");
  EXPECT_EQ(contents(errors_.get()), "");
}

TEST_F(DiagnosisTest, AReaderThatClosedThePipeDoesNotEndTheProcessBeforeItsStatus) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ::close(ends[0]);
  File out(::fdopen(ends[1], "w"));
  ASSERT_NE(out, nullptr);
  struct sigaction before {};
  ASSERT_EQ(::sigaction(SIGPIPE, nullptr, &before), 0);
  ASSERT_EQ(before.sa_handler, SIG_DFL) << "the test needs the default, which ends the process";

  EXPECT_EQ(writeDiagnosis(sampleReport(false, false), {}, out.get(), errors_.get()), 2);

  struct sigaction after {};
  ASSERT_EQ(::sigaction(SIGPIPE, nullptr, &after), 0);
  EXPECT_EQ(after.sa_handler, SIG_DFL) << "the previous handling is back";

  // Closing flushes whatever the failed write left in the buffer.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, nullptr);
  out.reset();
  ::sigaction(SIGPIPE, &before, nullptr);
}

}  // namespace
}  // namespace tovrel::launch
