#pragma once

// The program's menus as data: the main menu on the settings window's menu bar, the mode items,
// the launcher menu (what a dock or task bar offers for the program) and the status item's menu.
// The Qt side only draws them and routes the actions.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/InteractionMode.hpp"

namespace tovrel::shell {

enum class MenuAction {
  about,
  showSettings,
  hide,
  quit,
  undo,
  redo,
  cut,
  copy,
  paste,
  selectAll,
  enterCursor,
  enterClick,
  enterScroll,
  stopNavigation,
  minimize,
  close,
  showKeys,
  openHelp,
};

// Who carries an action out: the application shell, or the focused widget / the application.
enum class MenuTarget { delegate, focus };

// The Command modifier of a key equivalent is Ctrl here.
struct KeyEquivalent {
  std::string key;  // lower-case letter or punctuation, as typed
  bool shift = false;
  bool operator==(const KeyEquivalent&) const = default;
};

struct MenuItem {
  std::string title;  // empty for a separator
  std::optional<MenuAction> action;
  std::optional<KeyEquivalent> key;
  MenuTarget target = MenuTarget::focus;
  bool enabled = true;
  bool separator = false;
  bool operator==(const MenuItem&) const = default;
};

struct Menu {
  std::string title;
  std::vector<MenuItem> items;
  bool operator==(const Menu&) const = default;
};

std::vector<Menu> mainMenu();
std::vector<MenuItem> modeItems();
std::vector<MenuItem> dockMenu();
// Nothing for `mode` while there is no model.
std::vector<MenuItem> statusMenu(std::optional<InteractionMode> mode);

// The status item's symbol for a mode and the text that describes it.
std::string_view statusSymbol(InteractionMode mode);
std::string statusDescription(InteractionMode mode);  // "Tovrel: cursor"

}  // namespace tovrel::shell
