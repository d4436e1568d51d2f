#pragma once

// What a launch asks for, read from its arguments before anything else happens: a diagnosis, a
// developer tool, a self-test run or the normal program. Switches take their arguments
// positionally after them, and only the first occurrence of a switch counts.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovrel::launch {

using Arguments = std::vector<std::string>;

// The element after the first element equal to `flag`; nothing when it is missing or last.
std::optional<std::string> argumentAfter(const Arguments& arguments, std::string_view flag);

struct DiagnosisRequest {
  // Nothing: print to standard output.
  std::optional<std::string> file;
  bool operator==(const DiagnosisRequest&) const = default;
};
// "--diagnose" anywhere wins; else the first "--diagnose-file" with a following path.
std::optional<DiagnosisRequest> diagnosisRequest(const Arguments& arguments);

// The developer tools, in the order the dispatch tries them.
enum class Tool {
  snapshotSettings,
  selfScan,
  previewFrames,
  labelSample,
  outlineApp,
  auditApp,
  probeApps,
};
std::string_view switchName(Tool tool);

struct ToolRun {
  Tool tool;
  // The switch's own arguments: one for the first four, output path and identifier for the
  // outline and the audit, the output path and every later argument for the probe.
  std::vector<std::string> arguments;
  bool operator==(const ToolRun&) const = default;
};
// The first tool whose switch is present with the arguments it needs.
std::optional<ToolRun> matchTool(const Arguments& arguments);
// A launch that runs a tool, by the same matching: a tool switch without its arguments is a
// normal launch and obeys the single-instance rule.
bool isToolLaunch(const Arguments& arguments);

enum class TestKind { scrollCheck, demoLabels, selfTest };
std::string_view switchName(TestKind kind);

// Where the settings of a test run live: after "--self-test", else "--demo-labels", else
// "--scroll-check".
std::optional<std::string> testDirectory(const Arguments& arguments);

struct TestRun {
  TestKind kind;
  std::string directory;
  std::optional<std::string> fixture;  // after "--fixture"
  bool operator==(const TestRun&) const = default;
};
// The test to run, first match: "--scroll-check", "--demo-labels", "--self-test".
std::optional<TestRun> testRun(const Arguments& arguments);

// The login item's marker (platform::loginLaunchMarker) is among the arguments.
bool hasLoginMarker(const Arguments& arguments);

// What a launch that only asks about the program prints on standard output before it exits with
// status 0, or nothing for every other launch: the usage for "--help" or "-h", the version for
// "--version", whichever comes first. It is answered before anything else, the diagnosis included,
// and needs neither a display nor the session bus. Arguments after "--probe-apps" are application
// identifiers, never these switches.
std::optional<std::string> informationRequested(const Arguments& arguments);
// One line for each switch the program knows, with what it does.
std::string usageText();
std::string versionText();

}  // namespace tovrel::launch
