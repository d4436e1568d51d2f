#pragma once

// A settings window for the tools that picture or scan it: the real view on a model of its own
// whose settings file lies in the temporary folder, so the user's settings are neither read nor
// changed. Its navigation service is made but never started.

#include <filesystem>
#include <memory>

#include "app/model/AppModel.hpp"
#include "app/settings/SettingsWindowView.hpp"
#include "platform/DesktopEntries.hpp"
#include "platform/LoginItems.hpp"
#include "platform/Platform.hpp"

namespace tovrel::tools {

class ScratchSettings {
 public:
  // `storeFile` is where a committed change would be saved; nothing is written otherwise.
  ScratchSettings(const std::filesystem::path& storeFile, platform::Platform& desktop,
                  platform::LoginItemServices& loginItems,
                  platform::DesktopEntryServices* desktopEntries);
  ~ScratchSettings();
  ScratchSettings(const ScratchSettings&) = delete;
  ScratchSettings& operator=(const ScratchSettings&) = delete;

  AppModel& model() { return *model_; }
  // A top-level window of its own, not shown yet.
  settings::SettingsWindowView& view() { return *view_; }

 private:
  std::unique_ptr<AppModel> model_;
  std::unique_ptr<settings::SettingsWindowView> view_;
};

}  // namespace tovrel::tools
