#pragma once

// Every user-facing text that names the operating system lives here, so that what Tovrel says
// about the desktop it runs on is visible in one place.

#include <string_view>

namespace tovrel::platformText {

// Completes "… may already be used by <system> for <function>." in the settings.
inline constexpr std::string_view systemName = "the desktop";

// The readiness shown while another application holds secure keyboard input.
inline constexpr std::string_view restrictedReadiness = "Restricted by the desktop";

// Where a privacy settings pane is asked for: the pane's anchor follows the "?". The desktop
// backend decides whether it knows a settings page for the anchor and can open it.
inline constexpr std::string_view privacySettingsURLBase = "x-tovrel-settings:privacy?";

}  // namespace tovrel::platformText
