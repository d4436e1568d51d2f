#include "app/tools/DeveloperTools.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QTimer>

#include <filesystem>
#include <memory>
#include <system_error>

#include "app/shell/AppDelegate.hpp"
#include "app/tools/CompatibilityProbe.hpp"
#include "app/tools/PreviewFrames.hpp"
#include "app/tools/ScratchSettings.hpp"
#include "app/tools/SettingsSnapshots.hpp"
#include "app/tools/ToolOutput.hpp"
#include "platform/desktop/PackageVersions.hpp"
#include "system/Overlays.hpp"

#ifndef TOVREL_VERSION
#define TOVREL_VERSION "0"
#endif

namespace tovrel::tools {

namespace {

using launch::Tool;
using launch::ToolRun;
using shell::ToolContext;

constexpr char notRunning[] = "not running\n";
constexpr int outlineNodes = 4000;
constexpr int selfScanSettleMs = 500;

// Ends the run: 0 when every output was written, else 1 after saying why.
void finishWith(const ToolContext& context, const std::vector<std::string>& problems) {
  for (const std::string& problem : problems)
    context.printError(problem);
  context.finish(problems.empty() ? 0 : 1);
}

void finishWith(const ToolContext& context, const std::optional<std::string>& problem) {
  finishWith(context, problem ? std::vector<std::string>{*problem} : std::vector<std::string>{});
}

platform::Platform* desktopOrSay(const ToolContext& context) {
  platform::Platform* desktop = context.desktop();
  if (desktop == nullptr) {
    context.printError("Tovrel could not reach the X display. It needs an X11 session.");
    context.finish(1);
  }
  return desktop;
}

std::optional<std::int32_t> firstPid(platform::Platform& desktop, const std::string& id) {
  if (auto app = CompatibilityProbe::firstRunning(desktop.workspace, id)) return app->pid;
  return std::nullopt;
}

void selfScan(const ToolRun& run, const ToolContext& context) {
  platform::Platform* desktop = desktopOrSay(context);
  if (desktop == nullptr) return;
  const std::filesystem::path store =
      QDir::temp()
          .filePath(
              QStringLiteral("tovrel-self-scan-%1.json").arg(QCoreApplication::applicationPid()))
          .toStdString();
  // Shared with the steps below; released before the run ends, while the desktop still exists.
  auto scratch =
      std::make_shared<std::unique_ptr<ScratchSettings>>(std::make_unique<ScratchSettings>(
          store, *desktop, context.loginItems, context.desktopEntries));
  settings::SettingsWindowView& window = (*scratch)->view();
  window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  // On screen as far as the desktop knows, yet outside every display.
  window.setGeometry(-4000, -4000, 940, 680);
  window.show();
  window.move(-4000, -4000);
  window.raise();
  window.activateWindow();
  const std::string output = run.arguments.at(0);
  QTimer::singleShot(selfScanSettleMs, [scratch, desktop, context, output] {
    DiscoveryServices services = DiscoveryServices::of(*desktop);
    AccessibilityTargets::discover(
        services, static_cast<std::int32_t>(QCoreApplication::applicationPid()),
        AccessibilityTargets::Budget{}, {.menuBar = true, .dock = false}, false,
        [scratch, context, output](DiscoveryResult result) {
          const std::string line = std::string("found window ") +
                                   (result.foundWindow ? "true" : "false") + ", visited " +
                                   std::to_string(result.visitedNodes) + ", targets " +
                                   std::to_string(result.targets.size()) + "\n";
          scratch->reset();
          finishWith(context, writeAtomically(output, line));
        });
  });
}

void previewFrames(const ToolRun& run, const ToolContext& context) {
  const std::string& directory = run.arguments.at(0);
  // The folder is not made: a mistyped path would otherwise scatter pictures.
  std::error_code error;
  if (!std::filesystem::is_directory(directory, error)) {
    finishWith(context,
               "Tovrel could not write the preview frames: " + directory + " is not a folder.");
    return;
  }
  finishWith(context, PreviewFrames::write(directory));
}

// The installed package's version; this program knows its own.
std::string versionOf(const platform::RunningApplication& app) {
  if (app.pid == static_cast<std::int32_t>(QCoreApplication::applicationPid()))
    return TOVREL_VERSION;
  return platform::desktop::packageVersion(app);
}

void labelSample(const ToolRun& run, const ToolContext& context) {
  platform::Platform* desktop = desktopOrSay(context);
  if (desktop == nullptr) return;
  auto png = LabelSample::png(desktop->overlays, labelSampleList());
  if (!png) {
    finishWith(context, "Tovrel could not draw the label sample for " + run.arguments.at(0) + ".");
    return;
  }
  finishWith(context, writeDirectly(run.arguments.at(0), *png));
}

void outlineApp(const ToolRun& run, const ToolContext& context) {
  platform::Platform* desktop = desktopOrSay(context);
  if (desktop == nullptr) return;
  DiscoveryServices services = DiscoveryServices::of(*desktop);
  const auto pid = firstPid(*desktop, run.arguments.at(1));
  const std::string text =
      pid ? AccessibilityTargets::outline(services, *pid, outlineNodes) : notRunning;
  finishWith(context, writeAtomically(run.arguments.at(0), text));
}

void auditApp(const ToolRun& run, const ToolContext& context) {
  platform::Platform* desktop = desktopOrSay(context);
  if (desktop == nullptr) return;
  const std::string output = run.arguments.at(0);
  const auto pid = firstPid(*desktop, run.arguments.at(1));
  if (!pid) {
    finishWith(context, writeAtomically(output, notRunning));
    return;
  }
  DiscoveryServices services = DiscoveryServices::of(*desktop);
  TargetAudit::run(services, *pid, [context, output](std::string text) {
    finishWith(context, writeAtomically(output, text));
  });
}

void probeApps(const ToolRun& run, const ToolContext& context) {
  platform::Platform* desktop = desktopOrSay(context);
  if (desktop == nullptr) return;
  DiscoveryServices services = DiscoveryServices::of(*desktop);
  std::vector<std::string> ids(run.arguments.begin() + 1, run.arguments.end());
  CompatibilityProbe::run(
      services, run.arguments.at(0), std::move(ids), versionOf,
      [context](std::optional<std::string> problem) { finishWith(context, problem); });
}

void snapshotSettings(const ToolRun& run, const ToolContext& context) {
  platform::Platform* desktop = desktopOrSay(context);
  if (desktop == nullptr) return;
  SettingsSnapshots::run(
      std::filesystem::path(run.arguments.at(0)), *desktop, context.loginItems,
      context.desktopEntries, context.printError,
      [context](std::optional<std::string> problem) { finishWith(context, problem); });
}

}  // namespace

const std::vector<std::string>& labelSampleList() {
  static const std::vector<std::string> labels{"AA", "AD", "AF", "SG", "SH", "AS", "G", "WW"};
  return labels;
}

void registerDeveloperTools(shell::AppDelegate& delegate) {
  // Each starts from the event loop, once launching has finished.
  const std::pair<Tool, void (*)(const ToolRun&, const ToolContext&)> tools[] = {
      {Tool::snapshotSettings, snapshotSettings},
      {Tool::selfScan, selfScan},
      {Tool::previewFrames, previewFrames},
      {Tool::labelSample, labelSample},
      {Tool::outlineApp, outlineApp},
      {Tool::auditApp, auditApp},
      {Tool::probeApps, probeApps},
  };
  for (const auto& [tool, body] : tools)
    delegate.registerTool(tool, body);
}

}  // namespace tovrel::tools
