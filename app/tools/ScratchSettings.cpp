#include "app/tools/ScratchSettings.hpp"

#include "app/settings/Pages.hpp"

namespace tovrel::tools {

ScratchSettings::ScratchSettings(const std::filesystem::path& storeFile,
                                 platform::Platform& desktop,
                                 platform::LoginItemServices& loginItems,
                                 platform::DesktopEntryServices* desktopEntries)
    : model_(std::make_unique<AppModel>(ConfigStore(storeFile), desktop, loginItems)) {
  // Nothing here turns accessibility on for the desktop: the window is only looked at.
  settings::PageContext context{*model_, [] { return std::optional<std::string>(); },
                                desktopEntries};
  view_ = std::make_unique<settings::SettingsWindowView>(
      *model_, [context](SettingsPage page) { return settings::makePage(context, page); });
  view_->setWindowTitle(QStringLiteral("Tovrel"));
}

// The view observes the model: it goes first.
ScratchSettings::~ScratchSettings() {
  view_.reset();
  model_.reset();
}

}  // namespace tovrel::tools
