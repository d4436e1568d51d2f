#pragma once

// What the General page decides, apart from its widgets: how excluded applications are named,
// which running applications the "Add App…" menu offers and in what order, the edits of the list
// with their change texts, what the login switch shows, where the other tool's key files are
// looked for, and the export write. Tests use these without a display.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/TovrelConfig.hpp"
#include "platform/DesktopEntries.hpp"
#include "platform/LoginItems.hpp"
#include "platform/Workspace.hpp"

namespace tovrel::settings {

// `name` with every ".app" taken out, wherever it stands.
std::string withoutAppSuffixes(std::string name);

// An excluded application's name: its desktop entry's name in the entries' locale with ".app"
// taken out, else the id itself (no entries, no entry, or an entry without a name).
std::string excludedDisplayName(const std::string& id, platform::DesktopEntryServices* entries);

// Applications with an ordinary window of their own: not the panels and notification daemons,
// which own windows too but are part of the desktop.
bool isRegularApplication(const platform::RunningApplication& app);

// The "Add App…" menu's applications: the regular ones with an identity other than `selfId` that
// are not excluded yet (exact comparison), sorted stably by name in Unicode canonical order, code
// point by code point (a missing name counts as empty).
std::vector<platform::RunningApplication> runningAppsForMenu(
    const std::vector<platform::RunningApplication>& running, std::string_view selfId,
    const std::vector<std::string>& excluded);

// The menu item's title: the name, else the identity, else "App".
std::string menuTitle(const platform::RunningApplication& app);

// A configuration to commit with its change text.
struct ExclusionEdit {
  TovrelConfig config;
  std::string change;
};
// None for an application without an identity.
std::optional<ExclusionEdit> addExcluded(const TovrelConfig& config,
                                         const platform::RunningApplication& app);
// Takes out every entry equal to `id`, the rest in order.
ExclusionEdit removeExcluded(const TovrelConfig& config, const std::string& id,
                             const std::string& displayName);

// The login switch is on while the item is enabled or waits for approval.
bool loginSwitchOn(platform::LoginItemServices::Status status);
bool showsApprovalHint(platform::LoginItemServices::Status status);

// Where the key-file panel starts: "Mouseless/configs" in the XDG configuration folder
// (`xdgConfigHome`, else "~/.config"), then the other tool's own folder under home; the first that
// `isFolder` finds, else none.
std::optional<std::string> mouselessStartFolder(
    const char* xdgConfigHome, const char* home,
    const std::function<bool(const std::string&)>& isFolder);

// Writes `data` to `path` atomically: a file already there stays whole when the write fails.
// None on success, else the reason.
std::optional<std::string> writeExport(const std::string& path, std::string_view data);

}  // namespace tovrel::settings
