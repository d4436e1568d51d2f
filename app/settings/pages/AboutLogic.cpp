#include "app/settings/pages/AboutLogic.hpp"

#include <QDateTime>
#include <cmath>

#include "app/model/AppModel.hpp"
#include "core/PlatformTexts.hpp"

namespace tovrel::settings {

namespace {

std::string yesNo(bool value) {
  return value ? "true" : "false";
}

std::optional<std::string> present(const char* text) {
  if (text == nullptr || *text == '\0') return std::nullopt;
  return std::string(text);
}

}  // namespace

std::string keyboardAccessDetail(bool allowed) {
  if (allowed) return "Allowed. Tovrel can read shortcuts and find controls.";
  return std::string(platformText::keyboardAccessNotAllowed);
}

std::string secureInputDetail(const std::optional<std::string>& holder) {
  return holder.value_or("Another app") +
         " has a password field active, so Tovrel waits until it closes. If no password field is "
         "open there, quit and reopen " +
         holder.value_or("that app") + ".";
}

std::optional<std::string> shortVersion() {
#ifdef TOVREL_VERSION
  return present(TOVREL_VERSION);
#else
  return std::nullopt;
#endif
}

std::optional<std::string> buildNumber() {
#ifdef TOVREL_BUILD
  return present(TOVREL_BUILD);
#else
  return std::nullopt;
#endif
}

std::string versionText(const std::optional<std::string>& version,
                        const std::optional<std::string>& build) {
  return "Version " + version.value_or("dev") + " (" + build.value_or("-") + ")";
}

ReportFacts reportFacts(const AppModel& model) {
  const NavigationService& navigation = model.navigation();
  return ReportFacts{
      .version = shortVersion(),
      .readiness = navigation.readiness(),
      .tapInstalled = navigation.tapInstalled(),
      .mode = navigation.mode(),
      .profileName = model.config().profileName,
      .schemaVersion = model.config().schemaVersion,
      .lastDiscovery = navigation.lastDiscovery(),
      .log = navigation.log(),
  };
}

std::string diagnosticReport(const ReportFacts& facts,
                             const std::function<std::string(double)>& timeOfDay) {
  std::vector<std::string> lines;
  lines.push_back("Tovrel " + facts.version.value_or("dev"));
  lines.push_back(std::string(platformText::reportSystemLine) + facts.readiness.osVersion);
  lines.push_back("Accessibility: " + yesNo(facts.readiness.accessibilityTrusted) +
                  ", tap installed: " + yesNo(facts.tapInstalled) +
                  ", secure input: " + yesNo(facts.readiness.secureInputActive));
  lines.push_back("Mode: " + std::string(rawValue(facts.mode)) + ", profile: " + facts.profileName +
                  ", schema: " + std::to_string(facts.schemaVersion));
  if (const auto& discovery = facts.lastDiscovery) {
    // The fraction is dropped, not rounded: 12.9 ms reads as 12 ms.
    const double whole =
        std::isfinite(discovery->milliseconds) ? std::trunc(discovery->milliseconds) : 0.0;
    lines.push_back("Last discovery: " + std::to_string(discovery->targets) + " targets, " +
                    std::to_string(static_cast<long long>(whole)) + " ms, " +
                    std::to_string(discovery->visitedNodes) +
                    " nodes, truncated: " + yesNo(discovery->truncated));
  }
  const std::size_t first =
      facts.log.size() > reportLogEntries ? facts.log.size() - reportLogEntries : 0;
  for (std::size_t i = first; i < facts.log.size(); ++i)
    lines.push_back(timeOfDay(facts.log[i].date) + " " + facts.log[i].text);

  std::string report;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) report += '\n';
    report += lines[i];
  }
  return report;
}

QString timeOfDayFormat(const QLocale& locale) {
  QString format = locale.timeFormat(QLocale::ShortFormat);
  // Letters between single quotes are literal text, not fields.
  bool quoted = false;
  qsizetype minutes = -1;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar c = format[i];
    if (c == QLatin1Char('\'')) {
      quoted = !quoted;
      continue;
    }
    if (quoted) continue;
    if (c == QLatin1Char('s')) return format;
    if (c == QLatin1Char('m') && minutes < 0) minutes = i;
  }
  if (minutes < 0) return format;
  qsizetype end = minutes;
  while (end < format.size() && format[end] == QLatin1Char('m'))
    ++end;
  // Seconds follow the minutes with the separator the minutes follow the hours with.
  QChar separator = QLatin1Char(':');
  if (minutes > 0 && !format[minutes - 1].isLetter() && format[minutes - 1] != QLatin1Char('\''))
    separator = format[minutes - 1];
  format.insert(end, separator + QStringLiteral("ss"));
  return format;
}

std::string timeOfDay(double date, const QLocale& locale) {
  const QDateTime when =
      QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::llround(date * 1000)));
  return locale.toString(when.time(), timeOfDayFormat(locale)).toStdString();
}

}  // namespace tovrel::settings
