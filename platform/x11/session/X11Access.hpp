#pragma once

// What the desktop grants the program and who it is, on Linux.
//
// Accessibility needs no per-program grant here: trust means the accessibility bus answers and
// has accessibility switched on, since only then do applications publish their trees. The console
// user registry has no counterpart.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AccessServices.hpp"

namespace tovrel::platform::x11 {

inline constexpr char appIdentifier[] = "local.tovrel.Tovrel";

// The value of `key` in an os-release file, quotes and escapes removed.
std::optional<std::string> osReleaseValue(std::string_view text, std::string_view key);
// The untranslated Name of a desktop entry file's main group.
std::optional<std::string> desktopEntryName(std::string_view text);
// NUL-separated strings (a process's command line or environment); a trailing NUL ends the last.
std::vector<std::string> splitNulSeparated(std::string_view bytes);

// D-Bus calls are made on the calling thread with a short time-out; opening a URL needs a
// QGuiApplication.
class X11Access : public AccessServices {
 public:
  bool isProcessTrusted(bool prompt) override;
  std::optional<std::vector<ConsoleUser>> consoleUsers() override { return std::nullopt; }
  std::optional<std::string> runningApplicationName(std::int64_t pid) override;
  bool openURL(const std::string& url) override;
  std::optional<std::string> bundleIdentifier() override { return appIdentifier; }
  std::optional<std::string> executablePath() override;
  std::vector<std::string> processArguments() override;
  std::string operatingSystemVersion() override;
};

}  // namespace tovrel::platform::x11
