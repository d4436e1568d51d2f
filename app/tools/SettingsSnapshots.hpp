#pragma once

// Pictures of every settings page in three window variants, for documentation and review. The
// program lays each page out in a real window and asks an outside capture tool for the picture
// through a request file in the output folder; it neither reads nor changes the user's settings
// and never starts navigation.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/DesktopEntries.hpp"
#include "platform/LoginItems.hpp"
#include "platform/Platform.hpp"

namespace tovrel::tools::SettingsSnapshots {

struct Timings {
  std::chrono::milliseconds settle{900};
  std::chrono::milliseconds poll{100};
  std::chrono::milliseconds timeout{15000};
};

// The pictures in the order they are asked for: "settings-<page>-<variant>", each page of the
// sidebar in the light, then the dark, then the narrow window.
std::vector<std::string> pictureNames();

// What the capture tool is asked: the window's number in decimal, one blank, the picture's name.
std::string requestText(unsigned long long window, const std::string& pictureName);

// Runs asynchronously on the main thread. `note` hears of a picture that did not come in time;
// `completion` gets the sentence saying why the request could not be written, or nothing.
void run(const std::filesystem::path& directory, platform::Platform& desktop,
         platform::LoginItemServices& loginItems, platform::DesktopEntryServices* desktopEntries,
         std::function<void(const std::string& line)> note,
         std::function<void(std::optional<std::string> problem)> completion, Timings timings = {});

}  // namespace tovrel::tools::SettingsSnapshots
