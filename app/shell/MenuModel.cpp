#include "app/shell/MenuModel.hpp"

#include "core/EnumTable.hpp"

namespace tovrel::shell {

namespace {

MenuItem item(std::string title, MenuAction action, std::optional<KeyEquivalent> key = std::nullopt,
              MenuTarget target = MenuTarget::focus) {
  return MenuItem{.title = std::move(title),
                  .action = action,
                  .key = std::move(key),
                  .target = target,
                  .enabled = true,
                  .separator = false};
}

MenuItem delegateItem(std::string title, MenuAction action,
                      std::optional<KeyEquivalent> key = std::nullopt) {
  return item(std::move(title), action, std::move(key), MenuTarget::delegate);
}

KeyEquivalent ctrl(std::string key) {
  return KeyEquivalent{.key = std::move(key), .shift = false};
}
KeyEquivalent ctrlShift(std::string key) {
  return KeyEquivalent{.key = std::move(key), .shift = true};
}

MenuItem separator() {
  MenuItem line;
  line.separator = true;
  return line;
}

MenuItem settingsItem() {
  return delegateItem("Settings…", MenuAction::showSettings);
}

}  // namespace

std::vector<MenuItem> modeItems() {
  return {
      delegateItem("Start Moving", MenuAction::enterCursor),
      delegateItem("Start Clicking", MenuAction::enterClick),
      delegateItem("Start Scrolling", MenuAction::enterScroll),
      delegateItem("Stop Navigation", MenuAction::stopNavigation, ctrl(".")),
  };
}

std::vector<Menu> mainMenu() {
  return {
      Menu{"Tovrel",
           {
               item("About Tovrel", MenuAction::about),
               separator(),
               delegateItem("Settings…", MenuAction::showSettings, ctrl(",")),
               separator(),
               item("Hide Tovrel", MenuAction::hide, ctrl("h")),
               item("Quit Tovrel", MenuAction::quit, ctrl("q")),
           }},
      Menu{"Edit",
           {
               item("Undo", MenuAction::undo, ctrl("z")),
               item("Redo", MenuAction::redo, ctrlShift("z")),
               separator(),
               item("Cut", MenuAction::cut, ctrl("x")),
               item("Copy", MenuAction::copy, ctrl("c")),
               item("Paste", MenuAction::paste, ctrl("v")),
               item("Select All", MenuAction::selectAll, ctrl("a")),
           }},
      Menu{"Navigation", modeItems()},
      Menu{"Window",
           {
               item("Minimize", MenuAction::minimize, ctrl("m")),
               item("Close", MenuAction::close, ctrl("w")),
           }},
      Menu{"Help",
           {
               delegateItem("Moving Keys", MenuAction::showKeys),
               delegateItem("Accessibility Access Help", MenuAction::openHelp),
           }},
  };
}

std::vector<MenuItem> dockMenu() {
  auto items = modeItems();
  items.push_back(separator());
  items.push_back(settingsItem());
  return items;
}

std::vector<MenuItem> statusMenu(std::optional<InteractionMode> mode) {
  // The first line only names the mode: it is there to be read, not chosen.
  MenuItem current;
  current.title = std::string(name(mode.value_or(InteractionMode::off)));
  current.enabled = false;
  std::vector<MenuItem> items{std::move(current), separator()};
  for (auto& modeItem : modeItems())
    items.push_back(std::move(modeItem));
  items.push_back(separator());
  items.push_back(settingsItem());
  items.push_back(item("Quit Tovrel", MenuAction::quit));
  return items;
}

std::string_view statusSymbol(InteractionMode mode) {
  switch (mode) {
    case InteractionMode::off:
      return "keyboard";
    case InteractionMode::cursor:
      return "cursorarrow.motionlines";
    case InteractionMode::click:
      return "hand.point.up.left";
    case InteractionMode::scroll:
      return "scroll";
  }
  return "keyboard";
}

std::string statusDescription(InteractionMode mode) {
  return "Tovrel: " + std::string(rawValue(mode));
}

}  // namespace tovrel::shell
