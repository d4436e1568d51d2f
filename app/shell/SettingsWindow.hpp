#pragma once

// The window that hosts the settings: its size and frame, kept across launches, the menu bar with
// the main menu, and the settings view with its sidebar, pages and change banner. The window is
// made once and kept when closed.

#include <QMainWindow>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/model/AppModel.hpp"
#include "app/shell/QtMenus.hpp"
#include "platform/DesktopEntries.hpp"

namespace tovrel::settings {
class SettingsWindowView;
}

namespace tovrel::shell {

class SettingsWindow : public QMainWindow {
 public:
  // The view's sizes; the window adds its menu bar.
  static constexpr int contentWidth = 940;
  static constexpr int contentHeight = 680;
  static constexpr int minimumWidth = 720;
  static constexpr int minimumHeight = 540;
  // The name the frame is kept under.
  static constexpr char frameName[] = "TovrelSettings";

  // `turnOnAccessibility` is the access state's action: a sentence when it could not be done.
  SettingsWindow(AppModel& model, const std::vector<Menu>& menus, const Perform& perform,
                 std::function<std::optional<std::string>()> turnOnAccessibility,
                 platform::DesktopEntryServices* desktopEntries = nullptr);
  ~SettingsWindow() override;

  // Shows it in front with no control holding the keyboard focus.
  void present();
  // Runs after the window was closed by the user or the window manager.
  std::function<void()> onClosed;

  // Where the frame is kept: `$XDG_STATE_HOME/Tovrel/window.ini` (default ~/.local/state).
  static QString frameFile();
  settings::SettingsWindowView& view() const { return *view_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void saveFrame();
  void restoreFrame();

  AppModel& model_;
  QTimer frameSaver_;
  settings::SettingsWindowView* view_ = nullptr;
  bool restoring_ = false;
};

}  // namespace tovrel::shell
