#pragma once

// What every settings page is made with beyond its own widgets.

#include <functional>
#include <optional>
#include <string>

#include "app/model/AppModel.hpp"
#include "platform/DesktopEntries.hpp"

namespace tovrel::settings {

class FilePanels;

// What the pages need beyond the model.
struct PageContext {
  AppModel& model;
  // Opens the desktop's accessibility switch and checks again; a sentence when it could not.
  std::function<std::optional<std::string>()> openAccessibilitySettings;
  // Names and icons of installed applications; none shows applications by their ids.
  platform::DesktopEntryServices* desktopEntries = nullptr;
  // The file choosers of import and export; none uses the desktop's dialogs.
  FilePanels* filePanels = nullptr;
};

}  // namespace tovrel::settings
