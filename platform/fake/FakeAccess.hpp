#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/AccessServices.hpp"

namespace tovrel::platform::fake {

// The program's permissions and identity as a test sets them; every prompt and opened URL is
// logged.
class FakeAccessServices : public AccessServices {
 public:
  bool isProcessTrusted(bool prompt) override;
  std::optional<std::vector<ConsoleUser>> consoleUsers() override { return users; }
  std::optional<std::string> runningApplicationName(std::int64_t pid) override;
  bool openURL(const std::string& url) override;
  std::optional<std::string> bundleIdentifier() override { return bundleID; }
  std::optional<std::string> executablePath() override { return executable; }
  std::vector<std::string> processArguments() override { return arguments; }
  std::string operatingSystemVersion() override { return osVersion; }

  bool trusted = false;
  // Trust granted by the user when the desktop's prompt is shown.
  bool grantOnPrompt = false;
  std::vector<bool> trustQueries;  // the `prompt` argument of each query

  std::optional<std::vector<ConsoleUser>> users = std::vector<ConsoleUser>{};
  // Running applications with a name; a pid missing here runs no named application.
  std::map<std::int64_t, std::string> applicationNames;

  bool canOpenURLs = true;
  std::vector<std::string> openedURLs;  // every request, opened or not

  std::optional<std::string> bundleID = "local.tovrel.Tovrel";
  std::optional<std::string> executable = "/usr/bin/tovrel";
  std::vector<std::string> arguments = {"/usr/bin/tovrel"};
  std::string osVersion = "Test OS 1.0";
};

}  // namespace tovrel::platform::fake
