#pragma once

// What the About page says, apart from its widgets: whether Tovrel may read the keyboard, the
// status texts, the version line and the plain-text diagnostic report a user pastes into a support
// request. The report holds versions, permissions, the mode, the profile, the last discovery's
// statistics and the newest log lines; never anything typed and nothing from the screen.

#include <QLocale>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/InteractionMode.hpp"
#include "system/NavigationService.hpp"
#include "system/Permissions.hpp"

namespace tovrel {
class AppModel;
}

namespace tovrel::settings {

// The access line's detail for what keyboardAccessAllowed() decides.
std::string keyboardAccessDetail(bool allowed);
// "<holder> has a password field active, …, quit and reopen <holder>."; "Another app" and "that
// app" stand in for an unknown holder.
std::string secureInputDetail(const std::optional<std::string>& holder);

// The program's version as built, and the build, when the build has them.
std::optional<std::string> shortVersion();
std::optional<std::string> buildNumber();
// "Version 0.1.0 (42)", with "dev" and "-" for what is missing.
std::string versionText(const std::optional<std::string>& version,
                        const std::optional<std::string>& build);

// Everything the report is made of, read in one place.
struct ReportFacts {
  std::optional<std::string> version;
  PermissionReport readiness;
  bool tapInstalled = false;
  InteractionMode mode = InteractionMode::off;
  std::string profileName;
  std::int64_t schemaVersion = 0;
  std::optional<NavigationService::DiscoveryStats> lastDiscovery;
  std::vector<NavigationService::LogEntry> log;  // oldest first
};
ReportFacts reportFacts(const AppModel& model);

// How many of the newest log entries the report carries.
inline constexpr std::size_t reportLogEntries = 20;

// The report's lines joined by line feeds, with no line feed after the last. `timeOfDay` writes a
// log entry's date (seconds since the Unix epoch).
std::string diagnosticReport(const ReportFacts& facts,
                             const std::function<std::string(double)>& timeOfDay);

// The locale's short time format with seconds added where it has none ("h:mm:ss AP" in American
// English): the long format would add a time zone.
QString timeOfDayFormat(const QLocale& locale);
// `date` (seconds since the Unix epoch) as the local time of day in `locale`.
std::string timeOfDay(double date, const QLocale& locale);

}  // namespace tovrel::settings
