#include "platform/desktop/PackageVersions.hpp"

#include <QProcess>
#include <QStringList>

#include <filesystem>
#include <system_error>

namespace tovrel::platform::desktop {

namespace {

constexpr int queryTimeoutMs = 3000;

std::optional<std::string> query(const QStringList& arguments) {
  QProcess process;
  process.start(QStringLiteral("dpkg-query"), arguments);
  if (!process.waitForFinished(queryTimeoutMs)) {
    process.kill();
    process.waitForFinished(queryTimeoutMs);
    return std::nullopt;
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return std::nullopt;
  return process.readAllStandardOutput().toStdString();
}

// With /bin a link to /usr/bin, a package may list either spelling of the same file.
std::vector<std::string> spellings(const std::string& path) {
  std::vector<std::string> all{path};
  constexpr std::string_view usr = "/usr";
  if (path.starts_with(usr))
    all.push_back(path.substr(usr.size()));
  else
    all.push_back(std::string(usr) + path);
  return all;
}

}  // namespace

std::optional<std::string> owningPackage(std::string_view searchOutput) {
  while (!searchOutput.empty()) {
    const auto lineEnd = searchOutput.find('\n');
    const std::string_view line = searchOutput.substr(0, lineEnd);
    searchOutput =
        lineEnd == std::string_view::npos ? std::string_view() : searchOutput.substr(lineEnd + 1);
    // Diversions are listed by what diverts the file, before its owner.
    if (line.starts_with("diversion by ")) continue;
    const auto colonBlank = line.find(": ");
    if (colonBlank == std::string_view::npos) continue;
    std::string_view first = line.substr(0, colonBlank);
    first = first.substr(0, first.find(", "));
    first = first.substr(0, first.find(':'));
    if (!first.empty()) return std::string(first);
  }
  return std::nullopt;
}

std::string packageVersion(const RunningApplication& application) {
  if (application.pid <= 0) return "";
  std::error_code error;
  const std::filesystem::path executable =
      std::filesystem::read_symlink("/proc/" + std::to_string(application.pid) + "/exe", error);
  if (error || executable.empty()) return "";
  for (const std::string& path : spellings(executable.string())) {
    auto found = query({QStringLiteral("--search"), QString::fromStdString(path)});
    if (!found) continue;
    auto package = owningPackage(*found);
    if (!package) continue;
    auto version = query({QStringLiteral("--show"), QStringLiteral("--showformat=${Version}"),
                          QString::fromStdString(*package)});
    return version.value_or("");
  }
  return "";
}

}  // namespace tovrel::platform::desktop
