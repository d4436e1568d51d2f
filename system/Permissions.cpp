#include "system/Permissions.hpp"

#include <vector>

namespace tovrel {

ReadinessStatus PermissionReport::status() const {
  if (secureInputActive) return ReadinessStatus::restricted;
  if (activeTapCreatable) return ReadinessStatus::ready;
  // Trusted, yet the desktop refuses the tap: nothing the user can grant will help.
  if (accessibilityTrusted) return ReadinessStatus::unavailable;
  return ReadinessStatus::needsAccess;
}

json::Value PermissionReport::toJson() const {
  json::Value value = {
      {"bundleIdentifier", bundleIdentifier},
      {"executablePath", executablePath},
      {"osVersion", osVersion},
      {"accessibilityTrusted", accessibilityTrusted},
      {"listenEventAccess", listenEventAccess},
      {"activeTapCreatable", activeTapCreatable},
      {"secureInputActive", secureInputActive},
  };
  if (secureInputApp) value["secureInputApp"] = *secureInputApp;
  return value;
}

PermissionReport PermissionReport::fromJson(const json::Reader& reader) {
  reader.expectObject("PermissionReport");
  PermissionReport report{
      .bundleIdentifier = reader.member("bundleIdentifier").string(),
      .executablePath = reader.member("executablePath").string(),
      .osVersion = reader.member("osVersion").string(),
      .accessibilityTrusted = reader.member("accessibilityTrusted").boolean(),
      .listenEventAccess = reader.member("listenEventAccess").boolean(),
      .activeTapCreatable = reader.member("activeTapCreatable").boolean(),
      .secureInputActive = reader.member("secureInputActive").boolean(),
      .secureInputApp = std::nullopt,
  };
  if (auto app = reader.optionalMember("secureInputApp")) report.secureInputApp = app->string();
  return report;
}

std::string PermissionReport::toPrettyJson() const {
  return json::writePretty(toJson());
}

namespace Permissions {

PermissionReport report(platform::AccessServices& access, platform::EventServices& events,
                        platform::HotKeyServices& hotKeys) {
  PermissionReport report;
  report.bundleIdentifier = access.bundleIdentifier().value_or(std::string(noBundleIdentifier));
  if (auto path = access.executablePath()) {
    report.executablePath = *path;
  } else {
    std::vector<std::string> arguments = access.processArguments();
    if (!arguments.empty()) report.executablePath = arguments.front();
  }
  report.osVersion = access.operatingSystemVersion();
  report.accessibilityTrusted = access.isProcessTrusted(false);
  report.listenEventAccess = events.preflightListenEventAccess();
  report.activeTapCreatable = probeActiveTap(events);
  report.secureInputActive = hotKeys.isSecureEventInputEnabled();
  if (report.secureInputActive) report.secureInputApp = secureInputApp(access);
  return report;
}

bool probeActiveTap(platform::EventServices& events) {
  auto port =
      events.createTap(platform::eventMaskBit(platform::eventType::keyDown),
                       [](platform::EventType, const platform::InputEvent&) { return false; });
  if (!port) return false;
  port->invalidate();
  return true;
}

std::optional<std::string> secureInputApp(platform::AccessServices& access) {
  auto users = access.consoleUsers();
  if (!users) return std::nullopt;
  for (const platform::ConsoleUser& user : *users) {
    if (!user.secureInputPid || *user.secureInputPid <= 0) continue;
    // The first holder decides, even when it cannot be named.
    return access.runningApplicationName(*user.secureInputPid);
  }
  return std::nullopt;
}

std::string secureInputReason(const std::optional<std::string>& holder) {
  if (holder) return *holder + " has a password field active, so Tovrel stays off until it closes.";
  return "A password field is active in another app, so Tovrel stays off until it closes.";
}

std::string secureInputReason(platform::AccessServices& access) {
  return secureInputReason(secureInputApp(access));
}

bool requestAccessibilityPrompt(platform::AccessServices& access) {
  return access.isProcessTrusted(true);
}

bool requestListenAccessPrompt(platform::EventServices& events) {
  return events.requestListenEventAccess();
}

bool openAccessibilitySettings(platform::AccessServices& access) {
  return openPrivacyPane(access, accessibilityAnchor);
}

bool openInputMonitoringSettings(platform::AccessServices& access) {
  return openPrivacyPane(access, inputMonitoringAnchor);
}

bool openPrivacyPane(platform::AccessServices& access, std::string_view anchor) {
  std::string url(platformText::privacySettingsURLBase);
  url += anchor;
  return access.openURL(url);
}

}  // namespace Permissions

}  // namespace tovrel
