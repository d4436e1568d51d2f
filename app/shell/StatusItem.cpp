#include "app/shell/StatusItem.hpp"

#include <QCursor>

#include "app/shell/ModeIcons.hpp"

namespace tovrel::shell {

StatusItem::StatusItem(std::function<std::vector<MenuItem>()> items, Perform perform)
    : items_(std::move(items)),
      perform_(std::move(perform)),
      menu_(std::make_unique<QMenu>()),
      icon_(std::make_unique<QSystemTrayIcon>()) {
  QObject::connect(menu_.get(), &QMenu::aboutToShow, menu_.get(), [this] { rebuildMenu(); });
  rebuildMenu();
  icon_->setContextMenu(menu_.get());
  // A plain click opens the menu too, as a menu-bar item does.
  QObject::connect(icon_.get(), &QSystemTrayIcon::activated, menu_.get(),
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
                   });
}

StatusItem::~StatusItem() {
  icon_->hide();
}

void StatusItem::show(InteractionMode mode) {
  std::string symbol(statusSymbol(mode));
  if (symbol != symbol_) {
    symbol_ = symbol;
    icon_->setIcon(modeIcon(symbol_));
    ++iconChanges_;
  }
  QString tip = QString::fromStdString(statusDescription(mode));
  if (icon_->toolTip() != tip) icon_->setToolTip(tip);
  if (!icon_->isVisible()) icon_->show();
}

std::string StatusItem::toolTip() const {
  return icon_->toolTip().toStdString();
}

void StatusItem::rebuildMenu() {
  menu_->clear();
  addItems(*menu_, items_(), perform_);
}

}  // namespace tovrel::shell
