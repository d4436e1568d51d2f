#pragma once

// Every user-facing text that names the operating system lives here, so that what Tovrel says
// about the desktop it runs on is visible in one place.

#include <string_view>

namespace tovrel::platformText {

// Completes "… may already be used by <system> for <function>." in the settings.
inline constexpr std::string_view systemName = "the desktop";

}  // namespace tovrel::platformText
