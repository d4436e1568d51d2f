#include "app/shell/QtMenus.hpp"

#include <QAction>

namespace tovrel::shell {

QKeySequence keySequence(const KeyEquivalent& key) {
  QString text = QStringLiteral("Ctrl+");
  if (key.shift) text += QStringLiteral("Shift+");
  text += QString::fromStdString(key.key).toUpper();
  return QKeySequence(text, QKeySequence::PortableText);
}

void addItems(QMenu& menu, const std::vector<MenuItem>& items, const Perform& perform) {
  for (const MenuItem& item : items) {
    if (item.separator) {
      menu.addSeparator();
      continue;
    }
    QAction* action = menu.addAction(QString::fromStdString(item.title));
    action->setEnabled(item.enabled);
    if (item.key) action->setShortcut(keySequence(*item.key));
    if (item.action)
      QObject::connect(action, &QAction::triggered, &menu,
                       [perform, chosen = *item.action] { perform(chosen); });
  }
}

void fillMenuBar(QMenuBar& bar, const std::vector<Menu>& menus, const Perform& perform) {
  for (const Menu& menu : menus) {
    QMenu* drawn = bar.addMenu(QString::fromStdString(menu.title));
    addItems(*drawn, menu.items, perform);
  }
}

}  // namespace tovrel::shell
