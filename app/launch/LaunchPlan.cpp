#include "app/launch/LaunchPlan.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

#include "platform/LoginItems.hpp"

#ifndef TOVREL_VERSION
#define TOVREL_VERSION "0"
#endif

namespace tovrel::launch {

namespace {

// Where the first element equal to `flag` sits; nothing when it is absent.
std::optional<std::size_t> firstIndex(const Arguments& arguments, std::string_view flag) {
  const auto found = std::find(arguments.begin(), arguments.end(), flag);
  if (found == arguments.end()) return std::nullopt;
  return static_cast<std::size_t>(found - arguments.begin());
}

bool contains(const Arguments& arguments, std::string_view flag) {
  return firstIndex(arguments, flag).has_value();
}

// The `count` elements after the first `flag`, when that many follow it.
std::optional<std::vector<std::string>> argumentsAfter(const Arguments& arguments,
                                                       std::string_view flag, std::size_t count) {
  const auto index = firstIndex(arguments, flag);
  if (!index || arguments.size() - *index - 1 < count) return std::nullopt;
  const auto first = arguments.begin() + static_cast<std::ptrdiff_t>(*index + 1);
  return std::vector<std::string>(first, first + static_cast<std::ptrdiff_t>(count));
}

constexpr std::array toolOrder = {Tool::snapshotSettings, Tool::selfScan,   Tool::previewFrames,
                                  Tool::labelSample,      Tool::outlineApp, Tool::auditApp,
                                  Tool::probeApps};

std::optional<std::vector<std::string>> toolArguments(const Arguments& arguments, Tool tool) {
  const std::string_view flag = switchName(tool);
  switch (tool) {
    case Tool::outlineApp:
    case Tool::auditApp:
      return argumentsAfter(arguments, flag, 2);
    case Tool::probeApps: {
      // The output path, then every later argument is an identifier, switches included.
      const auto index = firstIndex(arguments, flag);
      if (!index || *index + 1 >= arguments.size()) return std::nullopt;
      return std::vector<std::string>(arguments.begin() + static_cast<std::ptrdiff_t>(*index + 1),
                                      arguments.end());
    }
    default:
      return argumentsAfter(arguments, flag, 1);
  }
}

}  // namespace

std::optional<std::string> argumentAfter(const Arguments& arguments, std::string_view flag) {
  auto found = argumentsAfter(arguments, flag, 1);
  if (!found) return std::nullopt;
  return std::move(found->front());
}

std::optional<DiagnosisRequest> diagnosisRequest(const Arguments& arguments) {
  if (contains(arguments, "--diagnose")) return DiagnosisRequest{};
  if (auto file = argumentAfter(arguments, "--diagnose-file")) {
    return DiagnosisRequest{std::move(*file)};
  }
  return std::nullopt;
}

std::string_view switchName(Tool tool) {
  switch (tool) {
    case Tool::snapshotSettings:
      return "--snapshot-settings";
    case Tool::selfScan:
      return "--self-scan";
    case Tool::previewFrames:
      return "--preview-frames";
    case Tool::labelSample:
      return "--label-sample";
    case Tool::outlineApp:
      return "--outline-app";
    case Tool::auditApp:
      return "--audit-app";
    case Tool::probeApps:
      return "--probe-apps";
  }
  return {};
}

std::optional<ToolRun> matchTool(const Arguments& arguments) {
  for (const Tool tool : toolOrder) {
    if (auto found = toolArguments(arguments, tool)) return ToolRun{tool, std::move(*found)};
  }
  return std::nullopt;
}

bool isToolLaunch(const Arguments& arguments) {
  return matchTool(arguments).has_value();
}

std::string_view switchName(TestKind kind) {
  switch (kind) {
    case TestKind::scrollCheck:
      return "--scroll-check";
    case TestKind::demoLabels:
      return "--demo-labels";
    case TestKind::selfTest:
      return "--self-test";
  }
  return {};
}

std::optional<std::string> testDirectory(const Arguments& arguments) {
  for (const TestKind kind : {TestKind::selfTest, TestKind::demoLabels, TestKind::scrollCheck}) {
    if (auto directory = argumentAfter(arguments, switchName(kind))) return directory;
  }
  return std::nullopt;
}

std::optional<TestRun> testRun(const Arguments& arguments) {
  for (const TestKind kind : {TestKind::scrollCheck, TestKind::demoLabels, TestKind::selfTest}) {
    if (auto directory = argumentAfter(arguments, switchName(kind))) {
      return TestRun{kind, std::move(*directory), argumentAfter(arguments, "--fixture")};
    }
  }
  return std::nullopt;
}

bool hasLoginMarker(const Arguments& arguments) {
  return contains(arguments, platform::loginLaunchMarker);
}

std::optional<std::string> informationRequested(const Arguments& arguments) {
  // The first element is the program's own name.
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == switchName(Tool::probeApps)) break;
    if (argument == "--help" || argument == "-h") return usageText();
    if (argument == "--version") return versionText();
  }
  return std::nullopt;
}

std::string usageText() {
  const std::pair<std::string, std::string_view> lines[] = {
      {std::string(platform::loginLaunchMarker), "navigate without opening the settings window"},
      {"--diagnose", "print the permission report (JSON); status 2: not ready"},
      {"--diagnose-file PATH", "write the permission report to PATH"},
      {std::string(switchName(TestKind::selfTest)) + " DIR --fixture PATH",
       "run the live self-test on the fixture, report in DIR"},
      {std::string(switchName(TestKind::scrollCheck)) + " DIR --fixture PATH",
       "run the self-test's Scrolling check alone"},
      {std::string(switchName(TestKind::demoLabels)) + " DIR --fixture PATH",
       "show Click labels on the fixture for a capture tool"},
      {std::string(switchName(Tool::snapshotSettings)) + " DIR",
       "picture each settings page into DIR (capture tool)"},
      {std::string(switchName(Tool::selfScan)) + " PATH",
       "write what Click discovery finds in Tovrel's own window to PATH"},
      {std::string(switchName(Tool::previewFrames)) + " DIR",
       "write the previews' stills into the folder DIR"},
      {std::string(switchName(Tool::labelSample)) + " PATH",
       "write a PNG of sample labels to PATH"},
      {std::string(switchName(Tool::outlineApp)) + " PATH ID",
       "write application ID's accessibility tree to PATH"},
      {std::string(switchName(Tool::auditApp)) + " PATH ID",
       "write what Clicking would label in ID, and why"},
      {std::string(switchName(Tool::probeApps)) + " PATH [ID...]",
       "write a JSON row per application ID to PATH"},
      {"-h, --help", "print this and exit"},
      {"--version", "print the version and exit"},
  };
  std::size_t width = 0;
  for (const auto& [usage, meaning] : lines)
    width = std::max(width, usage.size());
  std::string text =
      "Usage: tovrel [SWITCH...]\n"
      "Without a switch Tovrel opens its settings window and keeps running; launched again, it\n"
      "shows the running one's window. The first developer switch given with its arguments runs.\n"
      "\n";
  for (const auto& [usage, meaning] : lines)
    text += "  " + usage + std::string(width - usage.size() + 2, ' ') + std::string(meaning) + "\n";
  return text;
}

std::string versionText() {
  return "Tovrel " TOVREL_VERSION "\n";
}

}  // namespace tovrel::launch
