#pragma once

// The settings a self-test run works with, written before navigation starts so a run never depends
// on what an earlier one left behind.

#include <filesystem>
#include <optional>
#include <string>

#include "core/TovrelConfig.hpp"

namespace tovrel::selftest {

inline constexpr const char* configFileName = "selftest-config.json";

// The defaults, plus what the checks lean on: holding Left Command in Moving holds the left
// button, and Control-Command-J starts Scrolling.
TovrelConfig selfTestConfig();

// Writes selfTestConfig() to selftest-config.json in `directory`, creating the folder. A sentence
// naming the file and the reason when it could not be written.
std::optional<std::string> writeSelfTestConfig(const std::filesystem::path& directory);

}  // namespace tovrel::selftest
