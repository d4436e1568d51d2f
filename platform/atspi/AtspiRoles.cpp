#include "platform/atspi/AtspiRoles.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>

namespace tovrel::platform::atspi {
namespace {

bool isWindowRole(Role role) {
  switch (role) {
    case Role::frame:
    case Role::window:
    case Role::dialog:
    case Role::alert:
    case Role::fileChooser:
    case Role::fontChooser:
      return true;
    default:
      return false;
  }
}

bool isMenuItemRole(Role role) {
  switch (role) {
    case Role::menuItem:
    case Role::checkMenuItem:
    case Role::radioMenuItem:
    case Role::tearoffMenuItem:
      return true;
    default:
      return false;
  }
}

bool isMenuContainer(std::optional<std::uint32_t> role) {
  return role &&
         (static_cast<Role>(*role) == Role::menu || static_cast<Role>(*role) == Role::popupMenu);
}

bool isEditable(const RoleFacts& facts) {
  if (facts.states.has(State::readOnly)) return false;
  return facts.states.has(State::editable) || (facts.interfaces & editableTextInterface) != 0;
}

// Whitespace-separated words of "xml-roles" (ARIA roles the web engines pass through).
bool hasXmlRole(std::string_view roles, std::string_view wanted) {
  std::size_t start = 0;
  while (start < roles.size()) {
    const std::size_t end = std::min(roles.find(' ', start), roles.size());
    if (roles.substr(start, end - start) == wanted) return true;
    start = end + 1;
  }
  return false;
}

std::string textEntryRole(const RoleFacts& facts) {
  if (facts.states.has(State::multiLine)) return "AXTextArea";
  if (hasXmlRole(facts.xmlRoles, "searchbox")) return "AXSearchField";
  return "AXTextField";
}

// Lower case without spaces, dashes and underscores: "Show Menu", "show-menu" and "showMenu" are
// one name.
std::string normalisedAction(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == ' ' || c == '-' || c == '_') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

enum class ActionKind { press, showMenu, increment, decrement, other };

ActionKind actionKind(std::string_view name) {
  const std::string key = normalisedAction(name);
  // A browser names a check box's action "check" or "uncheck" and a tab's "switch".
  static constexpr std::array<std::string_view, 9> press = {
      "press", "click", "activate", "jump", "toggle", "open", "check", "uncheck", "switch"};
  if (std::find(press.begin(), press.end(), key) != press.end()) return ActionKind::press;
  if (key == "showmenu" || key == "menu" || key == "contextmenu") return ActionKind::showMenu;
  if (key == "increase" || key == "increment") return ActionKind::increment;
  if (key == "decrease" || key == "decrement") return ActionKind::decrement;
  return ActionKind::other;
}

}  // namespace

StateSet StateSet::fromWords(const std::vector<std::uint32_t>& words) {
  StateSet set;
  if (!words.empty()) set.bits |= words[0];
  if (words.size() > 1) set.bits |= static_cast<std::uint64_t>(words[1]) << 32;
  return set;
}

StateSet StateSet::of(std::initializer_list<State> states) {
  StateSet set;
  for (State state : states)
    set.bits |= std::uint64_t{1} << static_cast<unsigned>(state);
  return set;
}

std::uint32_t interfacesFromNames(const std::vector<std::string>& names) {
  static constexpr std::array<std::pair<std::string_view, Interface>, 11> table = {{
      {"org.a11y.atspi.Accessible", accessibleInterface},
      {"org.a11y.atspi.Action", actionInterface},
      {"org.a11y.atspi.Application", applicationInterface},
      {"org.a11y.atspi.Component", componentInterface},
      {"org.a11y.atspi.EditableText", editableTextInterface},
      {"org.a11y.atspi.Hyperlink", hyperlinkInterface},
      {"org.a11y.atspi.Image", imageInterface},
      {"org.a11y.atspi.Selection", selectionInterface},
      {"org.a11y.atspi.Table", tableInterface},
      {"org.a11y.atspi.Text", textInterface},
      {"org.a11y.atspi.Value", valueInterface},
  }};
  std::uint32_t flags = 0;
  for (const auto& name : names) {
    for (const auto& [known, flag] : table) {
      if (name == known) flags |= flag;
    }
  }
  return flags;
}

bool roleNeedsParentRole(std::uint32_t role) {
  const auto r = static_cast<Role>(role);
  return r == Role::menu || isMenuItemRole(r);
}

bool roleNeedsXmlRoles(std::uint32_t role) {
  return static_cast<Role>(role) == Role::entry;
}

bool roleNeedsChildRoles(std::uint32_t role) {
  const auto r = static_cast<Role>(role);
  return r == Role::filler || r == Role::panel;
}

bool roleNeedsInterfaces(std::uint32_t role, StateSet states) {
  const auto r = static_cast<Role>(role);
  return (r == Role::text || r == Role::documentText) && !states.has(State::editable) &&
         !states.has(State::readOnly);
}

std::string axRole(const RoleFacts& facts) {
  const auto role = static_cast<Role>(facts.role);
  const bool inMenuBar = facts.parentRole && static_cast<Role>(*facts.parentRole) == Role::menuBar;
  if (isWindowRole(role)) {
    // An element reached without its parent is a window as far as anyone can tell; only one
    // known to sit inside another is a pane.
    return facts.placement == Placement::inside ? "AXGroup" : "AXWindow";
  }
  // Whatever an application shows at the top is a window (a plain Qt widget shown on its own
  // says only "filler"), except its open menus and tool tips.
  if (facts.placement == Placement::topLevel && role != Role::menu && role != Role::popupMenu &&
      role != Role::toolTip && role != Role::application)
    return "AXWindow";
  if (isMenuItemRole(role)) return inMenuBar ? "AXMenuBarItem" : "AXMenuItem";
  switch (role) {
    case Role::application:
      return "AXApplication";
    case Role::pushButton:
      return facts.states.has(State::hasPopup) ? "AXMenuButton" : "AXButton";
    case Role::pushButtonMenu:
      return "AXMenuButton";
    case Role::arrow:
    case Role::columnHeader:
    case Role::tableColumnHeader:
      return "AXButton";
    case Role::link:
      return "AXLink";
    case Role::checkBox:
    case Role::toggleButton:
      return "AXCheckBox";
    case Role::radioButton:
      return "AXRadioButton";
    case Role::comboBox:
      return facts.states.has(State::editable) ? "AXComboBox" : "AXPopUpButton";
    case Role::menu:
      // A submenu's entry inside a menu is an item of that menu; a menu in the bar is a bar item.
      if (inMenuBar) return "AXMenuBarItem";
      return isMenuContainer(facts.parentRole) ? "AXMenuItem" : "AXMenu";
    case Role::popupMenu:
      return "AXMenu";
    case Role::menuBar:
      return "AXMenuBar";
    case Role::entry:
      return textEntryRole(facts);
    case Role::text:
      return isEditable(facts) ? textEntryRole(facts) : "AXStaticText";
    case Role::passwordText:
      return "AXSecureTextField";
    case Role::terminal:
      return "AXTextArea";
    case Role::documentText:
      return isEditable(facts) ? "AXTextArea" : "AXGroup";
    case Role::documentWeb:
    case Role::documentFrame:
      return "AXWebArea";
    case Role::pageTab:
      return "AXTab";
    case Role::pageTabList:
      return "AXTabGroup";
    case Role::slider:
    case Role::dial:
      return "AXSlider";
    case Role::spinButton:
      return "AXIncrementor";
    case Role::colorChooser:
      return "AXColorWell";
    case Role::listItem:
    case Role::tableRow:
    case Role::treeItem:
      return "AXRow";
    case Role::tableCell:
    case Role::rowHeader:
    case Role::tableRowHeader:
      return "AXCell";
    case Role::table:
      return "AXTable";
    case Role::tree:
    case Role::treeTable:
      return "AXOutline";
    case Role::list:
    case Role::listBox:
    case Role::descriptionList:
      return "AXList";
    case Role::scrollPane:
      return "AXScrollArea";
    case Role::scrollBar:
      return "AXScrollBar";
    case Role::splitPane:
      return "AXSplitGroup";
    case Role::separator:
      return "AXSplitter";
    case Role::image:
    case Role::icon:
    case Role::imageMap:
    case Role::animation:
    case Role::desktopIcon:
      return "AXImage";
    case Role::label:
    case Role::staticText:
    case Role::paragraph:
    case Role::caption:
    case Role::acceleratorLabel:
    case Role::descriptionTerm:
    case Role::descriptionValue:
      return "AXStaticText";
    case Role::heading:
      return "AXHeading";
    case Role::toolBar:
      return "AXToolbar";
    case Role::progressBar:
      return "AXProgressIndicator";
    case Role::levelBar:
      return "AXLevelIndicator";
    case Role::toolTip:
      return "AXHelpTag";
    case Role::dateEditor:
      return "AXDateField";
    case Role::invalid:
    case Role::unknown:
    case Role::extended:
    case Role::redundantObject:
      return "AXUnknown";
    case Role::filler:
    case Role::panel:
      return facts.holdsScrollBar ? "AXScrollArea" : "AXGroup";
    default:
      // Panels, fillers, sections, forms, documents and every other container.
      return "AXGroup";
  }
}

std::optional<std::string> axSubrole(const RoleFacts& facts) {
  if (axRole(facts) != "AXWindow") return std::nullopt;
  switch (static_cast<Role>(facts.role)) {
    case Role::window:  // pop-ups, splash screens and other undecorated windows
      return std::nullopt;
    case Role::dialog:
    case Role::alert:
    case Role::fileChooser:
    case Role::fontChooser:
      return std::string("AXDialog");
    default:
      return std::string("AXStandardWindow");
  }
}

std::optional<std::string> roleDescription(std::string_view axRole,
                                           const std::optional<std::string>& subrole) {
  if (axRole == "AXWindow") {
    if (subrole == "AXStandardWindow") return std::string("standard window");
    if (subrole == "AXDialog") return std::string("dialog");
    return std::string("window");
  }
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 41> table = {{
      {"AXApplication", "application"},
      {"AXButton", "button"},
      {"AXMenuButton", "menu button"},
      {"AXLink", "link"},
      {"AXCheckBox", "check box"},
      {"AXRadioButton", "radio button"},
      {"AXPopUpButton", "pop up button"},
      {"AXComboBox", "combo box"},
      {"AXMenu", "menu"},
      {"AXMenuBar", "menu bar"},
      {"AXMenuItem", "menu item"},
      {"AXMenuBarItem", "menu bar item"},
      {"AXTextField", "text field"},
      {"AXTextArea", "text entry area"},
      {"AXSecureTextField", "secure text field"},
      {"AXSearchField", "search text field"},
      {"AXWebArea", "HTML content"},
      {"AXTab", "tab"},
      {"AXTabGroup", "tab group"},
      {"AXSlider", "slider"},
      {"AXIncrementor", "stepper"},
      {"AXColorWell", "color well"},
      {"AXRow", "row"},
      {"AXCell", "cell"},
      {"AXTable", "table"},
      {"AXOutline", "outline"},
      {"AXList", "list"},
      {"AXScrollArea", "scroll area"},
      {"AXScrollBar", "scroll bar"},
      {"AXSplitGroup", "split group"},
      {"AXSplitter", "splitter"},
      {"AXImage", "image"},
      {"AXStaticText", "text"},
      {"AXHeading", "heading"},
      {"AXToolbar", "toolbar"},
      {"AXProgressIndicator", "progress indicator"},
      {"AXLevelIndicator", "level indicator"},
      {"AXHelpTag", "help tag"},
      {"AXDateField", "date field"},
      {"AXGroup", "group"},
      {"AXUnknown", "unknown"},
  }};
  for (const auto& [role, description] : table) {
    if (role == axRole) return std::string(description);
  }
  return std::nullopt;
}

bool isTextValueRole(std::string_view axRole) {
  return axRole == "AXTextField" || axRole == "AXTextArea" || axRole == "AXSecureTextField" ||
         axRole == "AXSearchField" || axRole == "AXComboBox";
}

bool valueIsSelectedItem(std::uint32_t role, std::uint32_t interfaces) {
  return static_cast<Role>(role) == Role::comboBox &&
         (interfaces & (Interface::textInterface | Interface::valueInterface)) == 0;
}

bool pressExpands(std::uint32_t role, StateSet states) {
  return static_cast<Role>(role) == Role::comboBox && states.has(State::expandable) &&
         !states.has(State::expanded) && !states.has(State::editable);
}

std::vector<std::string> axActionNames(const std::vector<std::string>& atspiNames) {
  std::vector<std::string> out;
  out.reserve(atspiNames.size());
  bool press = false;
  bool showMenu = false;
  bool increment = false;
  bool decrement = false;
  // Each AX name is given once, to the first action of its kind; later ones keep their own names.
  auto claim = [](bool& taken) { return !std::exchange(taken, true); };
  for (const auto& name : atspiNames) {
    switch (actionKind(name)) {
      case ActionKind::press:
        out.push_back(claim(press) ? "AXPress" : name);
        break;
      case ActionKind::showMenu:
        out.push_back(claim(showMenu) ? "AXShowMenu" : name);
        break;
      case ActionKind::increment:
        out.push_back(claim(increment) ? "AXIncrement" : name);
        break;
      case ActionKind::decrement:
        out.push_back(claim(decrement) ? "AXDecrement" : name);
        break;
      case ActionKind::other:
        out.push_back(name);
        break;
    }
  }
  return out;
}

namespace {

bool plainActionName(std::string_view name) {
  if (name.empty()) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    // Bytes of multi-byte characters count as letters: a translated name is still a name.
    return byte >= 0x80 || std::isalnum(byte) || c == ' ' || c == '-' || c == '_' || c == '.';
  });
}

}  // namespace

bool plainActionNames(const std::vector<std::string>& names) {
  return std::all_of(names.begin(), names.end(), plainActionName);
}

std::vector<std::string> actionNamesByIndex(
    const std::vector<std::string>& listed,
    const std::vector<std::optional<std::string>>& answers) {
  std::vector<std::string> out = listed;
  for (std::size_t i = 0; i < out.size() && i < answers.size(); ++i) {
    if (answers[i] && plainActionName(*answers[i])) out[i] = *answers[i];
  }
  return out;
}

std::optional<int> atspiActionIndex(const std::vector<std::string>& atspiNames,
                                    std::string_view axName) {
  const auto mapped = axActionNames(atspiNames);
  for (std::size_t i = 0; i < mapped.size(); ++i) {
    if (mapped[i] == axName) return static_cast<int>(i);
  }
  return std::nullopt;
}

AXError errorFromDBus(std::string_view errorName) {
  constexpr std::string_view prefix = "org.freedesktop.DBus.Error.";
  if (errorName.substr(0, prefix.size()) != prefix) return AXError::failure;
  const std::string_view name = errorName.substr(prefix.size());
  if (name == "NoReply" || name == "Timeout" || name == "TimedOut" || name == "Disconnected" ||
      name == "NoServer" || name == "LimitsExceeded")
    return AXError::cannotComplete;
  if (name == "UnknownObject" || name == "ServiceUnknown" || name == "NameHasNoOwner")
    return AXError::invalidUIElement;
  if (name == "UnknownMethod" || name == "UnknownInterface" || name == "UnknownProperty" ||
      name == "InvalidArgs" || name == "NotSupported")
    return AXError::noValue;
  return AXError::failure;
}

}  // namespace tovrel::platform::atspi
