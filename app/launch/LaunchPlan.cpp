#include "app/launch/LaunchPlan.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <utility>

#include "platform/LoginItems.hpp"

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

}  // namespace tovrel::launch
