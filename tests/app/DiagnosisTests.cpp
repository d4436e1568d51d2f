#include "app/launch/Diagnosis.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
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
