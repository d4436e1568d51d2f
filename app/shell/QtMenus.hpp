#pragma once

// Draws the menus of the menu model with Qt; chosen items call back with their action.

#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>

#include <functional>
#include <vector>

#include "app/shell/MenuModel.hpp"

namespace tovrel::shell {

using Perform = std::function<void(MenuAction)>;

// Ctrl in place of Command.
QKeySequence keySequence(const KeyEquivalent& key);
void addItems(QMenu& menu, const std::vector<MenuItem>& items, const Perform& perform);
void fillMenuBar(QMenuBar& bar, const std::vector<Menu>& menus, const Perform& perform);

}  // namespace tovrel::shell
