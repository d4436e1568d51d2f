#pragma once

// What the desktop grants the program and who it is: accessibility trust, input listening,
// secure keyboard input and its holder, the program's identity and the operating system.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tovrel::platform {

// One logged-in console user as the system lists them; the process holding secure keyboard input
// is named in one of them.
struct ConsoleUser {
  std::optional<std::int64_t> secureInputPid;  // absent when the entry has no such integer
};

class AccessServices {
 public:
  virtual ~AccessServices() = default;
  // With `prompt`, the desktop is asked to grant trust (where it can) before answering.
  virtual bool isProcessTrusted(bool prompt) = 0;
  // Nothing when the list cannot be read.
  virtual std::optional<std::vector<ConsoleUser>> consoleUsers() = 0;
  virtual std::optional<std::string> runningApplicationName(std::int64_t pid) = 0;
  // False when the URL cannot be formed or nothing opens it.
  virtual bool openURL(const std::string& url) = 0;
  virtual std::optional<std::string> bundleIdentifier() = 0;
  virtual std::optional<std::string> executablePath() = 0;
  virtual std::vector<std::string> processArguments() = 0;
  virtual std::string operatingSystemVersion() = 0;
};

}  // namespace tovrel::platform
