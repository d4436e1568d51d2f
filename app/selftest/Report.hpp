#pragma once

// The self-test's report files: selftest.json for scripts, selftest.md for people, and the "ready"
// marker an outside capture tool waits for.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/selftest/Check.hpp"
#include "system/Permissions.hpp"

namespace tovrel::selftest {

// What the Markdown report says about the machine and the program, besides the checks.
struct ReportFacts {
  // Read once, when the report is written.
  PermissionReport readiness;
  // Nothing shows as "?".
  std::optional<std::string> version;
  std::optional<std::string> build;
};

// "2024-05-01T09:03:07Z": UTC, whole seconds (a fraction is dropped).
std::string isoDate(std::chrono::system_clock::time_point when);

// A detail as one Markdown table cell: "|" becomes "/" and each line break ("\r\n", "\n" or "\r")
// a blank, so no text can end or split its row.
std::string markdownCell(std::string_view text);

// The whole selftest.md, ending in a line break.
std::string reportMarkdown(const std::vector<Check>& checks, const ReportFacts& facts,
                           std::chrono::system_clock::time_point started);

inline constexpr std::string_view jsonReportName = "selftest.json";
inline constexpr std::string_view markdownReportName = "selftest.md";
inline constexpr std::string_view readyName = "ready";
inline constexpr std::string_view readyText = "labels";

// Deletes both reports in `directory`, so a run that cannot write its own never leaves an older
// PASS behind. A report that is not there is fine. Returns one sentence per report that could not
// be deleted.
std::vector<std::string> clearReports(const std::filesystem::path& directory);

// The files of one run in one folder. Every method answers what went wrong as sentences naming
// the file and the reason; an empty answer means everything was written.
class ReportFiles {
 public:
  explicit ReportFiles(std::filesystem::path directory);

  const std::filesystem::path& directory() const { return directory_; }
  std::filesystem::path jsonPath() const { return directory_ / jsonReportName; }
  std::filesystem::path markdownPath() const { return directory_ / markdownReportName; }
  std::filesystem::path readyPath() const { return directory_ / readyName; }

  // Creates the folder and its parents.
  std::optional<std::string> createDirectory() const;
  std::vector<std::string> clear() const { return clearReports(directory_); }

  // selftest.json is written in place; selftest.md replaces the old one atomically. One failing
  // does not keep the other from being written.
  std::vector<std::string> write(const std::vector<Check>& checks, const ReportFacts& facts,
                                 std::chrono::system_clock::time_point started) const;

  // "labels", written atomically.
  std::optional<std::string> writeReady() const;

 private:
  std::filesystem::path directory_;
};

}  // namespace tovrel::selftest
