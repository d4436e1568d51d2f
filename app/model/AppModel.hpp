#pragma once

// The one model of the running program: the configuration in force, the settings file, the
// navigation service, the page the settings window shows and the last change with its undo steps.
// Every change of the settings goes through commit(). Main thread only.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "app/model/SettingsPage.hpp"
#include "core/ConfigStore.hpp"
#include "core/TovrelConfig.hpp"
#include "platform/LoginItems.hpp"
#include "platform/Platform.hpp"
#include "system/NavigationService.hpp"

namespace tovrel {

class AppModel {
 public:
  // The observable properties; `navigation` and `store` never change.
  enum class Property {
    config,
    storageNote,
    lastChange,
    undoStack,
    page,
    assumesAccessForSnapshots,
    highlightedSetting,
  };

  static constexpr std::size_t undoLimit = 30;

  // Loads the configuration and creates (does not start) the navigation service with it.
  AppModel(std::optional<ConfigStore> store, platform::Platform& platform,
           platform::LoginItemServices& loginItems);
  ~AppModel();
  AppModel(const AppModel&) = delete;
  AppModel& operator=(const AppModel&) = delete;

  // Problem sentences; empty when the change was taken or there was nothing to change. Every
  // commit that changes something or is refused becomes the last change: `change` when taken,
  // else the problem sentences joined, marked as failed.
  std::vector<std::string> commit(const TovrelConfig& config, const std::string& change);
  void undo();
  void dismissChange();
  // The current configuration as settings JSON. Throws the encoder's error.
  std::string exportData() const;
  // Touches no file and no state of the model.
  std::variant<TovrelConfig, ConfigError> previewImport(std::string_view data) const;
  // Nothing on success, else one sentence for the user.
  std::optional<std::string> setLaunchAtLogin(bool on);

  // `changed` runs after every real change of a property. Returns a token for removeObserver.
  std::uint64_t observe(std::function<void(Property)> changed);
  void removeObserver(std::uint64_t token);

  const TovrelConfig& config() const { return config_; }
  NavigationService& navigation() { return *navigation_; }
  const NavigationService& navigation() const { return *navigation_; }
  const std::optional<std::string>& storageNote() const { return storageNote_; }
  const std::optional<std::string>& lastChange() const { return lastChange_; }
  // The last change reports a refused commit: there is nothing of it to undo.
  bool lastChangeFailed() const { return lastChangeFailed_; }
  // Counts the commits reported as the last change, so two with the same text tell apart.
  std::uint64_t changeCount() const { return changeCount_; }
  const std::vector<TovrelConfig>& undoStack() const { return undoStack_; }
  const std::optional<ConfigStore>& store() const { return store_; }
  platform::LoginItemServices& loginItems() { return loginItems_; }
  platform::Platform& platform() { return platform_; }
  SettingsPage page() const { return page_; }
  bool assumesAccessForSnapshots() const { return assumesAccessForSnapshots_; }
  const std::optional<std::string>& highlightedSetting() const { return highlightedSetting_; }

  void setPage(SettingsPage page);
  void setAssumesAccessForSnapshots(bool assumes);
  void setHighlightedSetting(std::optional<std::string> identifier);

 private:
  template <class T>
  void set(T& field, T value, Property property);
  void notify(Property property);
  void report(std::string text, bool failed);

  TovrelConfig config_;
  std::unique_ptr<NavigationService> navigation_;
  std::optional<std::string> storageNote_;
  std::optional<std::string> lastChange_;
  bool lastChangeFailed_ = false;
  std::uint64_t changeCount_ = 0;
  std::vector<TovrelConfig> undoStack_;
  std::optional<ConfigStore> store_;
  SettingsPage page_ = SettingsPage::click;
  bool assumesAccessForSnapshots_ = false;
  std::optional<std::string> highlightedSetting_;

  platform::Platform& platform_;
  platform::LoginItemServices& loginItems_;
  std::map<std::uint64_t, std::function<void(Property)>> observers_;
  std::uint64_t nextToken_ = 1;
};

}  // namespace tovrel
