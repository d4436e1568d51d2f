#pragma once

// The status item: a tray icon showing the current mode, whose menu is rebuilt each time it
// opens. Without a tray host the desktop shows nothing; the item still follows the mode so it
// appears correct once a host starts.

#include <QMenu>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/shell/MenuModel.hpp"
#include "app/shell/QtMenus.hpp"

namespace tovrel::shell {

class StatusItem {
 public:
  StatusItem(std::function<std::vector<MenuItem>()> items, Perform perform);
  ~StatusItem();
  StatusItem(const StatusItem&) = delete;
  StatusItem& operator=(const StatusItem&) = delete;

  // Changes the icon only when the mode's symbol differs: each change is a message to the tray.
  void show(InteractionMode mode);
  void rebuildMenu();

  const std::string& symbol() const { return symbol_; }
  std::string toolTip() const;
  int iconChanges() const { return iconChanges_; }
  QMenu& menu() { return *menu_; }
  QSystemTrayIcon& trayIcon() { return *icon_; }

 private:
  std::function<std::vector<MenuItem>()> items_;
  Perform perform_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  std::string symbol_;
  int iconChanges_ = 0;
};

}  // namespace tovrel::shell
