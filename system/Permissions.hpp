#pragma once

// What the desktop lets Tovrel do right now: a snapshot of its permissions, the readiness the user
// is shown, who holds secure keyboard input, and the prompts and settings panes that grant access.

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "core/EnumTable.hpp"
#include "core/Json.hpp"
#include "core/PlatformTexts.hpp"
#include "platform/AccessServices.hpp"
#include "platform/EventServices.hpp"
#include "platform/HotKeyServices.hpp"

namespace tovrel {

// Stored texts are the display texts.
enum class ReadinessStatus { ready, needsAccess, restricted, unavailable };

template <>
struct EnumInfo<ReadinessStatus> {
  static constexpr std::string_view typeName = "ReadinessStatus";
  static constexpr std::array<std::string_view, 4> raw = {
      "Ready", "Needs access", platformText::restrictedReadiness, "Unavailable"};
};

constexpr std::string_view displayText(ReadinessStatus status) {
  return rawValue(status);
}

struct PermissionReport {
  std::string bundleIdentifier;
  std::string executablePath;
  std::string osVersion;
  bool accessibilityTrusted = false;
  bool listenEventAccess = false;
  bool activeTapCreatable = false;
  bool secureInputActive = false;
  // The display name of the application holding secure input, when it can be found.
  std::optional<std::string> secureInputApp;

  bool operator==(const PermissionReport&) const = default;

  // Secure input outranks everything: even a fully permitted program hears no keys then.
  ReadinessStatus status() const;

  // `secureInputApp` is written only when present and may be missing when read; every other key is
  // required.
  json::Value toJson() const;
  static PermissionReport fromJson(const json::Reader& reader);
  // Sorted keys, two-space indent, as the diagnosis prints it.
  std::string toPrettyJson() const;
};

namespace Permissions {

inline constexpr std::string_view noBundleIdentifier =
    "(no bundle identifier: running a raw executable)";
inline constexpr std::string_view accessibilityAnchor = "Privacy_Accessibility";
inline constexpr std::string_view inputMonitoringAnchor = "Privacy_ListenEvent";

// Reads everything afresh, never prompting; the secure-input holder is looked up only while
// secure input is on.
PermissionReport report(platform::AccessServices& access, platform::EventServices& events,
                        platform::HotKeyServices& hotKeys);

// Whether an active key-down tap can be created just now. The probe tap is never enabled and is
// gone again before this returns.
bool probeActiveTap(platform::EventServices& events);

// The first console user naming a secure-input process decides; nothing when that process is not
// a running application with a name.
std::optional<std::string> secureInputApp(platform::AccessServices& access);

// Why navigation stays off while secure input is held, naming the holder when known.
std::string secureInputReason(const std::optional<std::string>& holder);
std::string secureInputReason(platform::AccessServices& access);

// Both answer the state after the desktop's own prompt.
bool requestAccessibilityPrompt(platform::AccessServices& access);
bool requestListenAccessPrompt(platform::EventServices& events);

// Each answers whether the desktop did what the pane is for (opened it, or granted directly what
// it grants); false tells the caller to say that it could not.
bool openAccessibilitySettings(platform::AccessServices& access);
bool openInputMonitoringSettings(platform::AccessServices& access);
bool openPrivacyPane(platform::AccessServices& access, std::string_view anchor);

}  // namespace Permissions

}  // namespace tovrel
