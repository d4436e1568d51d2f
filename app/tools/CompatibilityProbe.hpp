#pragma once

// How well click-mode discovery works in other applications: one discovery per named running
// application, one row of statistics each, written as a JSON array. It neither activates nor
// clicks what it probes.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Workspace.hpp"
#include "system/AccessibilityTargets.hpp"

namespace tovrel::tools::CompatibilityProbe {

struct Row {
  std::string bundleID;  // as requested
  std::string version;   // "" when unknown
  bool running = false;
  bool foundWindow = false;
  int targets = 0;
  double milliseconds = 0;
  int visitedNodes = 0;
  bool truncated = false;
  std::map<std::string, int> roles;  // targets per role
  int covered = 0;
  bool operator==(const Row&) const = default;
};

// The first running application with this identity, in the workspace's own order.
std::optional<platform::RunningApplication> firstRunning(platform::WorkspaceServices& workspace,
                                                         const std::string& bundleID);

// The version of a running application; "" when nothing says.
using VersionOf = std::function<std::string(const platform::RunningApplication&)>;

// Probes the identifiers one after another, in order; `completion` gets one row per identifier on
// the main thread.
void probe(DiscoveryServices& services, std::vector<std::string> bundleIDs, VersionOf versionOf,
           std::function<void(std::vector<Row>)> completion);

// The rows as a pretty-printed JSON array in their order, each row's keys sorted.
std::string encode(const std::vector<Row>& rows);

// Probes and writes the JSON to `output`; `completion` gets the sentence saying why the file
// could not be written, or nothing.
void run(DiscoveryServices& services, const std::string& output, std::vector<std::string> bundleIDs,
         VersionOf versionOf, std::function<void(std::optional<std::string> problem)> completion);

}  // namespace tovrel::tools::CompatibilityProbe
