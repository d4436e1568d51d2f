#pragma once

// Every translation between AT-SPI's notions and the AX vocabulary the rest of the program speaks:
// roles (with the states, interfaces and surroundings that change them), subroles, role
// descriptions, action names and D-Bus errors. Pure functions, so the tables are tested without a
// bus.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Accessibility.hpp"

namespace tovrel::platform::atspi {

// AT-SPI role numbers (the AtspiRole enumeration), those the tables name.
enum class Role : std::uint32_t {
  invalid = 0,
  acceleratorLabel = 1,
  alert = 2,
  animation = 3,
  arrow = 4,
  calendar = 5,
  canvas = 6,
  checkBox = 7,
  checkMenuItem = 8,
  colorChooser = 9,
  columnHeader = 10,
  comboBox = 11,
  dateEditor = 12,
  desktopIcon = 13,
  dial = 15,
  dialog = 16,
  drawingArea = 18,
  fileChooser = 19,
  filler = 20,
  fontChooser = 22,
  frame = 23,
  icon = 26,
  image = 27,
  internalFrame = 28,
  label = 29,
  list = 31,
  listItem = 32,
  menu = 33,
  menuBar = 34,
  menuItem = 35,
  pageTab = 37,
  pageTabList = 38,
  panel = 39,
  passwordText = 40,
  popupMenu = 41,
  progressBar = 42,
  pushButton = 43,
  radioButton = 44,
  radioMenuItem = 45,
  rowHeader = 47,
  scrollBar = 48,
  scrollPane = 49,
  separator = 50,
  slider = 51,
  spinButton = 52,
  splitPane = 53,
  statusBar = 54,
  table = 55,
  tableCell = 56,
  tableColumnHeader = 57,
  tableRowHeader = 58,
  tearoffMenuItem = 59,
  terminal = 60,
  text = 61,
  toggleButton = 62,
  toolBar = 63,
  toolTip = 64,
  tree = 65,
  treeTable = 66,
  unknown = 67,
  window = 69,
  extended = 70,
  paragraph = 73,
  application = 75,
  entry = 79,
  caption = 81,
  documentFrame = 82,
  heading = 83,
  section = 85,
  redundantObject = 86,
  form = 87,
  link = 88,
  tableRow = 90,
  treeItem = 91,
  documentSpreadsheet = 92,
  documentPresentation = 93,
  documentText = 94,
  documentWeb = 95,
  documentEmail = 96,
  listBox = 98,
  grouping = 99,
  imageMap = 100,
  levelBar = 103,
  staticText = 116,
  descriptionList = 121,
  descriptionTerm = 122,
  descriptionValue = 123,
  pushButtonMenu = 129,
};

// AT-SPI state numbers (the AtspiStateType enumeration): bit positions in the two words GetState
// answers.
enum class State : unsigned {
  active = 1,
  defunct = 6,
  editable = 7,
  enabled = 8,
  expandable = 9,
  expanded = 10,
  focusable = 11,
  focused = 12,
  hasTooltip = 13,
  modal = 16,
  multiLine = 17,
  selectable = 22,
  selected = 23,
  sensitive = 24,
  showing = 25,
  singleLine = 26,
  visible = 30,
  hasPopup = 42,
  readOnly = 43,
};

struct StateSet {
  std::uint64_t bits = 0;

  static StateSet fromWords(const std::vector<std::uint32_t>& words);
  static StateSet of(std::initializer_list<State> states);
  bool has(State state) const { return (bits >> static_cast<unsigned>(state)) & 1U; }
};

// The AT-SPI interfaces an object implements, as flags.
enum Interface : std::uint32_t {
  accessibleInterface = 1U << 0,
  actionInterface = 1U << 1,
  applicationInterface = 1U << 2,
  componentInterface = 1U << 3,
  editableTextInterface = 1U << 4,
  hyperlinkInterface = 1U << 5,
  imageInterface = 1U << 6,
  selectionInterface = 1U << 7,
  tableInterface = 1U << 8,
  textInterface = 1U << 9,
  valueInterface = 1U << 10,
};
// From GetInterfaces' names ("org.a11y.atspi.Text", …); unknown names are ignored.
std::uint32_t interfacesFromNames(const std::vector<std::string>& names);

// The relation whose targets name an element (AtspiRelationType).
inline constexpr std::uint32_t relationLabelledBy = 2;

// Where an element sits, as far as the role depends on it.
enum class Placement { unknown, topLevel, inside };

struct RoleFacts {
  std::uint32_t role = 0;
  StateSet states;
  std::uint32_t interfaces = 0;
  Placement placement = Placement::unknown;  // topLevel: a child of the application
  std::optional<std::uint32_t> parentRole;
  std::string xmlRoles;  // the "xml-roles" object attribute, when it was read
  // It holds a scroll bar beside its other content (only read for plain containers).
  bool holdsScrollBar = false;
};

// The AX role of an element.
std::string axRole(const RoleFacts& facts);
// Whether axRole() could answer differently once the parent's role or the "xml-roles" attribute
// is known; the reader fetches those only when this says so.
bool roleNeedsParentRole(std::uint32_t role);
bool roleNeedsXmlRoles(std::uint32_t role);
// Plain containers: Qt presents a scroll area as a filler holding its viewport and scroll bars,
// so whether one holds a scroll bar decides whether it is a scroll area.
bool roleNeedsChildRoles(std::uint32_t role);
// Text whose states do not say whether it is editable: the EditableText interface tells.
bool roleNeedsInterfaces(std::uint32_t role, StateSet states);
// "AXStandardWindow" for a normal frame, "AXDialog" for dialogs; nothing otherwise.
std::optional<std::string> axSubrole(const RoleFacts& facts);
// A short fixed description per AX role ("button", "text field"); nothing for unknown roles.
std::optional<std::string> roleDescription(std::string_view axRole,
                                           const std::optional<std::string>& subrole);
// Roles whose value is their text, and the static text whose value is its name.
bool isTextValueRole(std::string_view axRole);
// A pop-up list that tells neither a value nor a text (a browser's <select>) shows its selected
// item: its value is then that item's name, read from the list's selection.
bool valueIsSelectedItem(std::uint32_t role, std::uint32_t interfaces);
// Whether a press of an element in these states is seen to work by the element becoming expanded:
// a collapsed pop-up list. A press that leaves it collapsed opened nothing, however the
// application answered.
bool pressExpands(std::uint32_t role, StateSet states);

// AT-SPI action names → AX action names, in the same order: the first press-like action becomes
// "AXPress", the first menu-showing one "AXShowMenu", increase/decrease "AXIncrement"/
// "AXDecrement"; everything else passes verbatim.
std::vector<std::string> axActionNames(const std::vector<std::string>& atspiNames);
// Whether GetActions' names can be used as they are: every one a plain name. A Gecko browser
// answers ";;" there, and only asking each action's name by its index tells what it does.
bool plainActionNames(const std::vector<std::string>& names);
// The names asked by index in place of the listed ones; an index whose answer is missing or not a
// plain name either keeps the listed name.
std::vector<std::string> actionNamesByIndex(const std::vector<std::string>& listed,
                                            const std::vector<std::optional<std::string>>& answers);

// The index of the AT-SPI action that axActionNames() shows as `axName`.
std::optional<int> atspiActionIndex(const std::vector<std::string>& atspiNames,
                                    std::string_view axName);

// A D-Bus error name → the code callers see: no answer in time → cannotComplete, a vanished
// object or application → invalidUIElement, an interface, method or property the object lacks →
// noValue, anything else → failure.
AXError errorFromDBus(std::string_view errorName);

}  // namespace tovrel::platform::atspi
