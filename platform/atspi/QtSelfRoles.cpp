// The one table from Qt's accessible roles, states and actions to AX names, for our own widgets.
// It gives the names the bus backend gives the same kinds of element in other applications.

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>
#include <QWindow>
#include <utility>

#include "platform/atspi/QtSelfAccessibility.hpp"

namespace tovrel::platform::atspi {

namespace qtself {
namespace {

bool isEditableCombo(QAccessibleInterface& interface) {
  if (interface.state().editable) return true;
  const auto* combo = qobject_cast<const QComboBox*>(interface.object());
  return combo != nullptr && combo->isEditable();
}

bool isMultiLine(QAccessibleInterface& interface) {
  QObject* object = interface.object();
  return interface.state().multiLine || qobject_cast<QTextEdit*>(object) != nullptr ||
         qobject_cast<QPlainTextEdit*>(object) != nullptr;
}

// A top-level widget of a container role is a window: a plain QWidget shown on its own reports
// itself as a client area.
bool isWindowWidget(QAccessibleInterface& interface) {
  const auto* widget = qobject_cast<const QWidget*>(interface.object());
  return widget != nullptr && widget->isWindow();
}

}  // namespace

std::string role(QAccessibleInterface& interface) {
  using R = QAccessible::Role;
  const R qtRole = interface.role();
  switch (qtRole) {
    case R::Application:
      return "AXApplication";
    case R::Button:
    case R::ButtonMenu:
    case R::ButtonDropDown:
    case R::ButtonDropGrid:
      if (qobject_cast<QComboBox*>(interface.object()) != nullptr) return "AXPopUpButton";
      if (qtRole != R::Button || interface.state().hasPopup) return "AXMenuButton";
      return "AXButton";
    case R::CheckBox:
      return "AXCheckBox";
    case R::RadioButton:
      return "AXRadioButton";
    case R::EditableText: {
      const QAccessible::State state = interface.state();
      if (state.passwordEdit) return "AXSecureTextField";
      if (isMultiLine(interface)) return "AXTextArea";
      if (state.searchEdit) return "AXSearchField";
      return "AXTextField";
    }
    case R::ComboBox:
      return isEditableCombo(interface) ? "AXComboBox" : "AXPopUpButton";
    case R::StaticText:
    case R::Paragraph:
      return "AXStaticText";
    case R::Link:
      return "AXLink";
    case R::PageTab:
      return "AXTab";
    case R::PageTabList:
      return "AXTabGroup";
    case R::Slider:
    case R::Dial:
      return "AXSlider";
    case R::SpinBox:
      return "AXIncrementor";
    case R::ColorChooser:
      return "AXColorWell";
    case R::List:
      return "AXList";
    case R::ListItem:
    case R::Row:
    case R::TreeItem:
      return "AXRow";
    case R::Table:
      return "AXTable";
    case R::Tree:
      return "AXOutline";
    case R::Cell:
    case R::RowHeader:
      return "AXCell";
    case R::ColumnHeader:
      return "AXButton";
    case R::ScrollBar:
      return "AXScrollBar";
    case R::Graphic:
      return "AXImage";
    case R::Heading:
      return "AXHeading";
    case R::ToolBar:
      return "AXToolbar";
    case R::ProgressBar:
      return "AXProgressIndicator";
    case R::ToolTip:
      return "AXHelpTag";
    case R::Terminal:
      return "AXTextArea";
    case R::WebDocument:
      return "AXWebArea";
    case R::MenuBar:
      return "AXMenuBar";
    case R::MenuItem: {
      QAccessibleInterface* parent = interface.parent();
      return parent != nullptr && parent->role() == R::MenuBar ? "AXMenuBarItem" : "AXMenuItem";
    }
    case R::PopupMenu:
      return "AXMenu";
    case R::Window:
    case R::Dialog:
    case R::AlertMessage:
      return "AXWindow";
    case R::Splitter:
      return "AXSplitGroup";
    case R::Separator:
      return "AXSplitter";
    case R::Pane:
    case R::Client:
    case R::Grouping:
    case R::Section:
    case R::Form:
    case R::Document:
    case R::PropertyPage:
    case R::LayeredPane:
    case R::Footer:
    case R::Note:
    case R::ComplementaryContent:
      if (isWindowWidget(interface)) return "AXWindow";
      if (qobject_cast<QAbstractScrollArea*>(interface.object()) != nullptr) return "AXScrollArea";
      return "AXGroup";
    default:
      return isWindowWidget(interface) ? "AXWindow" : "AXUnknown";
  }
}

std::optional<std::string> subrole(QAccessibleInterface& interface, std::string_view role) {
  if (role != "AXWindow") return std::nullopt;
  const QAccessible::Role qtRole = interface.role();
  if (qtRole == QAccessible::Dialog || qtRole == QAccessible::AlertMessage) return "AXDialog";
  const QWindow* window = interface.window();
  if (window == nullptr) return std::nullopt;
  switch (window->type()) {
    case Qt::Dialog:
    case Qt::Sheet:
      return "AXDialog";
    case Qt::Window:
      return "AXStandardWindow";
    default:
      return std::nullopt;
  }
}

namespace {

bool isPress(const QString& name) {
  return name == QAccessibleActionInterface::pressAction() ||
         name == QAccessibleActionInterface::toggleAction();
}

// The AX name of each toolkit action, in the toolkit's order; only the first press or toggle
// becomes "AXPress", so a second one stays reachable under its own name.
std::vector<std::pair<std::string, QString>> mapped(QAccessibleInterface& interface) {
  std::vector<std::pair<std::string, QString>> actions;
  QAccessibleActionInterface* provider = interface.actionInterface();
  if (provider == nullptr) return actions;
  bool pressTaken = false;
  for (const QString& name : provider->actionNames()) {
    std::string axName;
    if (isPress(name) && !pressTaken) {
      axName = "AXPress";
      pressTaken = true;
    } else if (name == QAccessibleActionInterface::showMenuAction()) {
      axName = "AXShowMenu";
    } else if (name == QAccessibleActionInterface::increaseAction()) {
      axName = "AXIncrement";
    } else if (name == QAccessibleActionInterface::decreaseAction()) {
      axName = "AXDecrement";
    } else {
      axName = name.toStdString();
    }
    actions.emplace_back(std::move(axName), name);
  }
  return actions;
}

}  // namespace

std::vector<std::string> actionNames(QAccessibleInterface& interface) {
  std::vector<std::string> names;
  for (auto& [axName, qtName] : mapped(interface))
    names.push_back(std::move(axName));
  return names;
}

std::optional<std::string> toolkitAction(QAccessibleInterface& interface, std::string_view name) {
  for (const auto& [axName, qtName] : mapped(interface))
    if (axName == name) return qtName.toStdString();
  return std::nullopt;
}

}  // namespace qtself
}  // namespace tovrel::platform::atspi
