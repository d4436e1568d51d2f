#include "app/selftest/Report.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>

#include "core/FileSystem.hpp"
#include "core/PlatformTexts.hpp"

namespace tovrel::selftest {

namespace {

std::string sentence(std::string_view what, const std::filesystem::path& path,
                     const std::error_code& error) {
  return std::string(what) + " " + path.string() + ": " + error.message() + ".";
}

// Creates or truncates: the report is rewritten where it stands, as a plain file.
void writePlain(const std::filesystem::path& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    throw std::filesystem::filesystem_error("cannot open", path,
                                            std::error_code(errno, std::generic_category()));
  while (!bytes.empty()) {
    const ssize_t count = ::write(fd, bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      throw std::filesystem::filesystem_error("cannot write", path,
                                              std::error_code(error, std::generic_category()));
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  if (::close(fd) != 0)
    throw std::filesystem::filesystem_error("cannot write", path,
                                            std::error_code(errno, std::generic_category()));
}

}  // namespace

std::string isoDate(std::chrono::system_clock::time_point when) {
  const std::time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(when));
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return std::string(text, length);
}

std::string markdownCell(std::string_view text) {
  std::string cell;
  cell.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '|') {
      cell += '/';
    } else if (c == '\r') {
      cell += ' ';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      cell += ' ';
    } else {
      cell += c;
    }
  }
  return cell;
}

std::string reportMarkdown(const std::vector<Check>& checks, const ReportFacts& facts,
                           std::chrono::system_clock::time_point started) {
  std::size_t passed = 0;
  for (const Check& check : checks)
    passed += check.passed ? 1 : 0;

  std::vector<std::string> lines;
  lines.push_back("# Tovrel live self-test");
  lines.push_back("");
  lines.push_back("- Date: " + isoDate(started));
  lines.push_back("- " + std::string(platformText::reportSystemLine) + facts.readiness.osVersion);
  lines.push_back("- App: " + facts.readiness.executablePath + " (" +
                  facts.readiness.bundleIdentifier + ", " + facts.version.value_or("?") +
                  " build " + facts.build.value_or("?") + ")");
  lines.push_back("- Input: " + std::string(platformText::selfTestInput));
  lines.push_back("- Result: " + std::to_string(passed) + " of " + std::to_string(checks.size()) +
                  " passed");
  lines.push_back("");
  lines.push_back("| ID | Acceptance | Check | Result | Evidence |");
  lines.push_back("|---|---|---|---|---|");
  for (const Check& check : checks) {
    std::string acceptance;
    for (std::size_t i = 0; i < check.acceptance.size(); ++i)
      acceptance += (i > 0 ? ", " : "") + check.acceptance[i];
    lines.push_back("| " + check.id + " | " + acceptance + " | " + check.title + " | " +
                    (check.passed ? "PASS" : "FAIL") + " | " + markdownCell(check.detail) + " |");
  }

  std::string text;
  for (const std::string& line : lines)
    text += line + "\n";
  return text;
}

std::vector<std::string> clearReports(const std::filesystem::path& directory) {
  std::vector<std::string> problems;
  for (std::string_view name : {jsonReportName, markdownReportName}) {
    try {
      FileSystem::real().remove(directory / name);
    } catch (const std::filesystem::filesystem_error& error) {
      // A missing folder holds no stale report.
      if (error.code() == std::errc::not_a_directory) continue;
      problems.push_back(
          sentence("Could not delete the old report", directory / name, error.code()));
    }
  }
  return problems;
}

ReportFiles::ReportFiles(std::filesystem::path directory) : directory_(std::move(directory)) {}

std::optional<std::string> ReportFiles::createDirectory() const {
  try {
    FileSystem::real().createDirectories(directory_);
  } catch (const std::filesystem::filesystem_error& error) {
    return sentence("Could not create the self-test folder", directory_, error.code());
  }
  return std::nullopt;
}

std::vector<std::string> ReportFiles::write(const std::vector<Check>& checks,
                                            const ReportFacts& facts,
                                            std::chrono::system_clock::time_point started) const {
  std::vector<std::string> problems;
  try {
    writePlain(jsonPath(), reportJson(checks));
  } catch (const std::filesystem::filesystem_error& error) {
    problems.push_back(sentence("Could not write the report", jsonPath(), error.code()));
  } catch (const json::EncodingError& error) {
    problems.push_back("Could not encode the report " + jsonPath().string() + ": " + error.what() +
                       ".");
  }
  try {
    writeFileAtomically(FileSystem::real(), markdownPath(), reportMarkdown(checks, facts, started));
  } catch (const std::filesystem::filesystem_error& error) {
    problems.push_back(sentence("Could not write the report", markdownPath(), error.code()));
  }
  return problems;
}

std::optional<std::string> ReportFiles::writeReady() const {
  try {
    writeFileAtomically(FileSystem::real(), readyPath(), readyText);
  } catch (const std::filesystem::filesystem_error& error) {
    return sentence("Could not write the ready marker", readyPath(), error.code());
  }
  return std::nullopt;
}

}  // namespace tovrel::selftest
