#include "app/tools/CompatibilityProbe.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

#include "app/tools/ToolOutput.hpp"

namespace tovrel::tools::CompatibilityProbe {

namespace {

// One probe run, kept alive by the discovery it waits for.
struct Run : std::enable_shared_from_this<Run> {
  DiscoveryServices services;
  std::vector<std::string> bundleIDs;
  VersionOf versionOf;
  std::function<void(std::vector<Row>)> completion;
  std::vector<Row> rows;

  Run(DiscoveryServices s, std::vector<std::string> ids, VersionOf v,
      std::function<void(std::vector<Row>)> c)
      : services(s), bundleIDs(std::move(ids)), versionOf(std::move(v)), completion(std::move(c)) {}

  // Probes the next identifier; each discovery ends before the next begins.
  void next() {
    while (rows.size() < bundleIDs.size()) {
      Row row;
      row.bundleID = bundleIDs[rows.size()];
      auto app = firstRunning(services.workspace, row.bundleID);
      if (!app) {
        rows.push_back(std::move(row));
        continue;
      }
      row.running = true;
      row.version = versionOf ? versionOf(*app) : "";
      AccessibilityTargets::discover(
          services, app->pid, AccessibilityTargets::Budget{},
          AccessibilityTargets::Extras{.menuBar = true, .dock = true}, false,
          [self = shared_from_this(), row = std::move(row)](DiscoveryResult result) mutable {
            row.foundWindow = result.foundWindow;
            row.targets = static_cast<int>(result.targets.size());
            row.milliseconds = result.elapsed * 1000;
            row.visitedNodes = result.visitedNodes;
            row.truncated = result.truncated;
            for (const HintTarget& target : result.targets)
              ++row.roles[target.role];
            row.covered = result.covered;
            self->rows.push_back(std::move(row));
            self->next();
          });
      return;
    }
    completion(std::move(rows));
  }
};

QJsonObject encode(const Row& row) {
  QJsonObject roles;
  for (const auto& [role, count] : row.roles)
    roles.insert(QString::fromStdString(role), count);
  // Keys are kept sorted by the object itself.
  return QJsonObject{
      {QStringLiteral("bundleID"), QString::fromStdString(row.bundleID)},
      {QStringLiteral("version"), QString::fromStdString(row.version)},
      {QStringLiteral("running"), row.running},
      {QStringLiteral("foundWindow"), row.foundWindow},
      {QStringLiteral("targets"), row.targets},
      {QStringLiteral("milliseconds"), row.milliseconds},
      {QStringLiteral("visitedNodes"), row.visitedNodes},
      {QStringLiteral("truncated"), row.truncated},
      {QStringLiteral("roles"), roles},
      {QStringLiteral("covered"), row.covered},
  };
}

}  // namespace

std::optional<platform::RunningApplication> firstRunning(platform::WorkspaceServices& workspace,
                                                         const std::string& bundleID) {
  for (platform::RunningApplication& app : workspace.runningApplications())
    if (app.bundleIdentifier == bundleID) return std::move(app);
  return std::nullopt;
}

void probe(DiscoveryServices& services, std::vector<std::string> bundleIDs, VersionOf versionOf,
           std::function<void(std::vector<Row>)> completion) {
  auto run = std::make_shared<Run>(services, std::move(bundleIDs), std::move(versionOf),
                                   std::move(completion));
  run->next();
}

std::string encode(const std::vector<Row>& rows) {
  QJsonArray array;
  for (const Row& row : rows)
    array.append(encode(row));
  return QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
}

void run(DiscoveryServices& services, const std::string& output, std::vector<std::string> bundleIDs,
         VersionOf versionOf, std::function<void(std::optional<std::string> problem)> completion) {
  probe(services, std::move(bundleIDs), std::move(versionOf),
        [output, completion = std::move(completion)](std::vector<Row> rows) {
          completion(writeDirectly(output, encode(rows)));
        });
}

}  // namespace tovrel::tools::CompatibilityProbe
