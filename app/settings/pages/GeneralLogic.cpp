#include "app/settings/pages/GeneralLogic.hpp"

#include <algorithm>
#include <exception>

#include "core/FileSystem.hpp"
#include "core/PlatformTexts.hpp"
#include "core/Unicode.hpp"

namespace tovrel::settings {

std::string withoutAppSuffixes(std::string name) {
  constexpr std::string_view suffix = ".app";
  for (std::size_t at = name.find(suffix); at != std::string::npos; at = name.find(suffix, at))
    name.erase(at, suffix.size());
  return name;
}

std::string excludedDisplayName(const std::string& id, platform::DesktopEntryServices* entries) {
  if (entries == nullptr) return id;
  const auto entry = entries->entry(id);
  if (!entry) return id;
  const auto name = entry->nameFor(entries->locale());
  if (!name || name->empty()) return id;
  return withoutAppSuffixes(*name);
}

bool isRegularApplication(const platform::RunningApplication& app) {
  auto listed = [&app](const auto& ids) {
    return std::find(ids.begin(), ids.end(), app.bundleIdentifier) != ids.end();
  };
  return !listed(platformIds::dockApplications) &&
         !listed(platformIds::notificationCenterApplications);
}

std::vector<platform::RunningApplication> runningAppsForMenu(
    const std::vector<platform::RunningApplication>& running, std::string_view selfId,
    const std::vector<std::string>& excluded) {
  struct Keyed {
    std::vector<char32_t> key;
    const platform::RunningApplication* app;
  };
  std::vector<Keyed> kept;
  for (const platform::RunningApplication& app : running) {
    if (!isRegularApplication(app) || app.bundleIdentifier.empty() ||
        app.bundleIdentifier == selfId)
      continue;
    if (std::find(excluded.begin(), excluded.end(), app.bundleIdentifier) != excluded.end())
      continue;
    kept.push_back({unicode::scalars(unicode::nfc(app.localizedName.value_or(""))), &app});
  }
  std::stable_sort(kept.begin(), kept.end(),
                   [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
  std::vector<platform::RunningApplication> apps;
  apps.reserve(kept.size());
  for (const Keyed& keyed : kept)
    apps.push_back(*keyed.app);
  return apps;
}

std::string menuTitle(const platform::RunningApplication& app) {
  if (app.localizedName && !app.localizedName->empty()) return *app.localizedName;
  if (!app.bundleIdentifier.empty()) return app.bundleIdentifier;
  return "App";
}

std::optional<ExclusionEdit> addExcluded(const TovrelConfig& config,
                                         const platform::RunningApplication& app) {
  if (app.bundleIdentifier.empty()) return std::nullopt;
  ExclusionEdit edit{config,
                     "Tovrel turned off in " + app.localizedName.value_or(app.bundleIdentifier)};
  edit.config.excludedBundleIDs.push_back(app.bundleIdentifier);
  return edit;
}

ExclusionEdit removeExcluded(const TovrelConfig& config, const std::string& id,
                             const std::string& displayName) {
  ExclusionEdit edit{config, "Tovrel turned back on in " + displayName};
  std::erase(edit.config.excludedBundleIDs, id);
  return edit;
}

bool loginSwitchOn(platform::LoginItemServices::Status status) {
  using Status = platform::LoginItemServices::Status;
  return status == Status::enabled || status == Status::requiresApproval;
}

bool showsApprovalHint(platform::LoginItemServices::Status status) {
  return status == platform::LoginItemServices::Status::requiresApproval;
}

std::optional<std::string> mouselessStartFolder(
    const char* xdgConfigHome, const char* home,
    const std::function<bool(const std::string&)>& isFolder) {
  std::vector<std::string> candidates;
  const std::string homeFolder = home != nullptr ? home : "";
  // As XDG asks, a relative configuration folder is ignored.
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/')
    candidates.push_back(std::string(xdgConfigHome) + "/Mouseless/configs");
  else if (!homeFolder.empty())
    candidates.push_back(homeFolder + "/.config/Mouseless/configs");
  if (!homeFolder.empty())
    candidates.push_back(homeFolder + "/Library/Application Support/Mouseless/configs");
  for (const std::string& folder : candidates)
    if (isFolder(folder)) return folder;
  return std::nullopt;
}

std::optional<std::string> writeExport(const std::string& path, std::string_view data) {
  try {
    writeFileAtomically(FileSystem::real(), path, data);
    return std::nullopt;
  } catch (const std::exception& error) {
    return std::string(error.what());
  }
}

}  // namespace tovrel::settings
