#include "platform/atspi/QtSelfAccessibility.hpp"

#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QGuiApplication>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <utility>

#include "platform/atspi/AtspiRoles.hpp"
#include "platform/x11/RootOrigin.hpp"

namespace tovrel::platform::atspi {
namespace {

namespace origin = x11::rootOrigin;

// Bounds on walks through our own tree, so a misbehaving interface can never hang the caller.
constexpr int maxSteps = 64;
constexpr int maxChildren = 10000;

// Carries `work` out on the main thread, where the widgets live: directly when called there,
// else through a blocking queued call. `unavailable` answers when there is no application to
// run it (none yet, or it went away while the call was queued).
template <class Work>
auto onMain(Work work, decltype(work()) unavailable) -> decltype(work()) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return unavailable;
  if (QThread::currentThread() == application->thread()) return work();
  std::optional<decltype(work())> result;
  QMetaObject::invokeMethod(
      application, [&] { result.emplace(work()); }, Qt::BlockingQueuedConnection);
  return result ? std::move(*result) : unavailable;
}

bool shown(QAccessibleInterface* interface) {
  return interface != nullptr && interface->isValid() && !interface->state().invisible;
}

bool isApplication(QAccessibleInterface* interface) {
  return interface->role() == QAccessible::Application ||
         interface->object() == QCoreApplication::instance();
}

bool truth(const AXValue& value, bool& result) {
  if (const auto* flag = std::get_if<bool>(&value)) {
    result = *flag;
    return true;
  }
  if (const auto* number = std::get_if<double>(&value)) {
    result = *number != 0;
    return true;
  }
  return false;
}

// The visible top-level windows in the order they were made, without tool tips and without
// the windows hidden from accessibility (our overlays).
std::vector<QAccessibleInterface*> visibleWindows() {
  std::vector<QAccessibleInterface*> windows;
  auto add = [&](QAccessibleInterface* root) {
    if (shown(root) && std::find(windows.begin(), windows.end(), root) == windows.end())
      windows.push_back(root);
  };
  auto listed = [](Qt::WindowType type) { return type != Qt::ToolTip && type != Qt::Desktop; };
  for (QWindow* window : QGuiApplication::topLevelWindows())
    if (window->isVisible() && listed(window->type())) add(window->accessibleRoot());
  // A widget window always has a platform window once shown; this only catches the unusual.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (widget->isVisible() && listed(widget->windowType()))
        add(QAccessible::queryAccessibleInterface(widget));
  }
  return windows;
}

// Whether the interface belongs to the tree we show: every ancestor up to the application
// visible (our overlays hide themselves, and with them whatever they contain).
bool inShownTree(QAccessibleInterface* interface) {
  for (int step = 0; step < maxSteps && interface != nullptr; ++step) {
    if (!shown(interface)) return false;
    if (isApplication(interface)) return true;
    interface = interface->parent();
  }
  return false;
}

bool isNormalWindow(QAccessibleInterface* interface) {
  const QWindow* window = interface->window();
  return window != nullptr && window->type() == Qt::Window;
}

class SelfNode : public AXNode {
 public:
  std::optional<std::int32_t> pid() const override { return static_cast<std::int32_t>(::getpid()); }
  // Stored for callers that read it back; in-process calls never wait on a reply.
  void setMessagingTimeout(double seconds) override { timeout_.store(seconds); }

 private:
  std::atomic<double> timeout_{0};
};

AXElement applicationElement();
AXElement elementFor(QAccessibleInterface* interface);

std::vector<AXElement> elementsFor(const std::vector<QAccessibleInterface*>& interfaces) {
  std::vector<AXElement> elements;
  elements.reserve(interfaces.size());
  for (QAccessibleInterface* interface : interfaces)
    elements.push_back(elementFor(interface));
  return elements;
}

// The top-level window under a point (root pixels): the one the window system reports there
// when it is ours and listed, else popups first, then the active window, then the newest.
QAccessibleInterface* windowAt(const QPoint& point) {
  const std::vector<QAccessibleInterface*> windows = visibleWindows();
  auto contains = [&](QAccessibleInterface* window) {
    return window != nullptr &&
           std::find(windows.begin(), windows.end(), window) != windows.end() &&
           window->rect().contains(point);
  };
  if (QWindow* top = QGuiApplication::topLevelAt(point); top != nullptr) {
    if (QAccessibleInterface* root = top->accessibleRoot(); contains(root)) return root;
  }
  std::vector<QAccessibleInterface*> order;
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
    if (QWidget* popup = QApplication::activePopupWidget(); popup != nullptr)
      order.push_back(QAccessible::queryAccessibleInterface(popup));
  }
  if (QWindow* focus = QGuiApplication::focusWindow(); focus != nullptr)
    order.push_back(focus->accessibleRoot());
  order.insert(order.end(), windows.rbegin(), windows.rend());
  for (QAccessibleInterface* window : order)
    if (contains(window)) return window;
  return nullptr;
}

QAccessibleInterface* focusedInterface() {
  QObject* focus = QGuiApplication::focusObject();
  if (focus == nullptr) return nullptr;
  QAccessibleInterface* interface = QAccessible::queryAccessibleInterface(focus);
  // Item views and the like name the focused item inside them.
  for (int step = 0; step < maxSteps && interface != nullptr; ++step) {
    QAccessibleInterface* inner = interface->focusChild();
    if (!shown(inner) || inner == interface) break;
    interface = inner;
  }
  return inShownTree(interface) ? interface : nullptr;
}

class ApplicationNode : public SelfNode {
 public:
  bool sameObject(const AXNode& other) const override {
    return dynamic_cast<const ApplicationNode*>(&other) != nullptr;
  }
  std::size_t hash() const override { return std::hash<std::int32_t>{}(::getpid()); }

  AXResult<AXValue> attribute(std::string_view name) override {
    return onMain([&] { return read(name); }, AXResult<AXValue>(AXError::cannotComplete));
  }

  // Our own tree is always awake; there is nothing to switch on.
  AXError setAttribute(std::string_view, const AXValue&) override {
    return AXError::attributeUnsupported;
  }
  AXResult<std::vector<std::string>> actionNames() override { return std::vector<std::string>{}; }
  AXError performAction(std::string_view) override { return AXError::actionUnsupported; }

  AXResult<AXElement> elementAtPosition(float x, float y) override {
    return onMain([&] { return hitTest(x, y); }, AXResult<AXElement>(AXError::cannotComplete));
  }

 private:
  static AXResult<AXValue> read(std::string_view name) {
    if (name == "AXRole") return AXValue{std::string("AXApplication")};
    if (name == "AXRoleDescription")
      return AXValue{roleDescription("AXApplication", {}).value_or("application")};
    if (name == "AXTitle") {
      QAccessibleInterface* self =
          QAccessible::queryAccessibleInterface(QCoreApplication::instance());
      return AXValue{(self != nullptr ? self->text(QAccessible::Name)
                                      : QGuiApplication::applicationDisplayName())
                         .toStdString()};
    }
    if (name == "AXChildren" || name == "AXWindows") return AXValue{elementsFor(visibleWindows())};
    if (name == "AXFocusedWindow") {
      QWindow* focus = QGuiApplication::focusWindow();
      QAccessibleInterface* root = focus != nullptr ? focus->accessibleRoot() : nullptr;
      const auto windows = visibleWindows();
      if (std::find(windows.begin(), windows.end(), root) == windows.end()) return AXError::noValue;
      return AXValue{elementFor(root)};
    }
    if (name == "AXMainWindow") {
      for (QAccessibleInterface* window : visibleWindows())
        if (isNormalWindow(window)) return AXValue{elementFor(window)};
      return AXError::noValue;
    }
    if (name == "AXFocusedUIElement") {
      QAccessibleInterface* focused = focusedInterface();
      if (focused == nullptr) return AXError::noValue;
      return AXValue{isApplication(focused) ? applicationElement() : elementFor(focused)};
    }
    if (name == "AXMenuBar" || name == "AXExtrasMenuBar" || name == "AXParent")
      return AXError::noValue;
    return AXError::attributeUnsupported;
  }

  static AXResult<AXElement> hitTest(float x, float y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return AXError::illegalArgument;
    // Qt's global coordinates are X root pixels (scale factor 1).
    const QPoint point(origin::rootX(static_cast<int>(std::floor(x))),
                       origin::rootY(static_cast<int>(std::floor(y))));
    QAccessibleInterface* current = windowAt(point);
    if (current == nullptr) return AXError::noValue;
    for (int step = 0; step < maxSteps; ++step) {
      // Hidden widgets have no frame, so they are never the child under a point.
      QAccessibleInterface* child = current->childAt(point.x(), point.y());
      if (!shown(child) || child == current) break;
      current = child;
    }
    return elementFor(current);
  }
};

class ElementNode : public SelfNode {
 public:
  explicit ElementNode(QAccessibleInterface* interface) : id_(QAccessible::uniqueId(interface)) {}

  bool sameObject(const AXNode& other) const override {
    const auto* node = dynamic_cast<const ElementNode*>(&other);
    return node != nullptr && node->id_ == id_;
  }
  std::size_t hash() const override { return std::hash<QAccessible::Id>{}(id_); }

  AXResult<AXValue> attribute(std::string_view name) override {
    return onMain(
        [&]() -> AXResult<AXValue> {
          QAccessibleInterface* interface = live();
          if (interface == nullptr) return AXError::invalidUIElement;
          return read(*interface, name);
        },
        AXResult<AXValue>(AXError::cannotComplete));
  }

  AXError setAttribute(std::string_view name, const AXValue& value) override {
    return onMain(
        [&] {
          QAccessibleInterface* interface = live();
          if (interface == nullptr) return AXError::invalidUIElement;
          return write(*interface, name, value);
        },
        AXError::cannotComplete);
  }

  AXResult<std::vector<std::string>> actionNames() override {
    return onMain(
        [&]() -> AXResult<std::vector<std::string>> {
          QAccessibleInterface* interface = live();
          if (interface == nullptr) return AXError::invalidUIElement;
          return qtself::actionNames(*interface);
        },
        AXResult<std::vector<std::string>>(AXError::cannotComplete));
  }

  AXError performAction(std::string_view action) override {
    return onMain(
        [&] {
          QAccessibleInterface* interface = live();
          if (interface == nullptr) return AXError::invalidUIElement;
          const auto name = qtself::toolkitAction(*interface, action);
          if (!name) return AXError::actionUnsupported;
          interface->actionInterface()->doAction(QString::fromStdString(*name));
          return AXError::success;
        },
        AXError::cannotComplete);
  }

  // Only the application element answers hit tests.
  AXResult<AXElement> elementAtPosition(float, float) override {
    return onMain(
        [&]() -> AXResult<AXElement> {
          if (live() == nullptr) return AXError::invalidUIElement;
          return AXError::illegalArgument;
        },
        AXResult<AXElement>(AXError::cannotComplete));
  }

 private:
  // The interface, looked up afresh: the cache deletes an interface together with its object
  // and forgets its id, and ids are handed out in increasing order, so a dead element's id leads
  // nowhere and nothing freed is ever touched.
  QAccessibleInterface* live() const {
    QAccessibleInterface* interface = QAccessible::accessibleInterface(id_);
    return interface != nullptr && interface->isValid() ? interface : nullptr;
  }

  static AXResult<AXValue> text(const QString& value) { return AXValue{value.toStdString()}; }

  static AXResult<AXValue> read(QAccessibleInterface& interface, std::string_view name) {
    const std::string role = qtself::role(interface);
    if (name == "AXRole") return AXValue{role};
    if (name == "AXSubrole") {
      if (auto subrole = qtself::subrole(interface, role)) return AXValue{std::move(*subrole)};
      return AXError::noValue;
    }
    if (name == "AXRoleDescription") {
      // The bus backend's table, so an element is described alike whichever way it is read.
      auto description = roleDescription(role, qtself::subrole(interface, role));
      if (!description) return AXError::noValue;
      return AXValue{std::move(*description)};
    }
    if (name == "AXTitle") return text(interface.text(QAccessible::Name));
    if (name == "AXDescription") return text(interface.text(QAccessible::Description));
    if (name == "AXHelp") return text(interface.text(QAccessible::Help));
    if (name == "AXValue") return value(interface, role);
    if (name == "AXPlaceholderValue") {
      // Line edits, text edits and combo boxes all keep it in this property.
      const QObject* object = interface.object();
      const QString placeholder =
          object != nullptr ? object->property("placeholderText").toString() : QString();
      if (placeholder.isEmpty()) return AXError::noValue;
      return text(placeholder);
    }
    if (name == "AXTitleUIElement") {
      for (const auto& [label, relation] : interface.relations(QAccessible::Label))
        if (shown(label)) return AXValue{elementFor(label)};
      return AXError::noValue;
    }
    if (name == "AXChildren") {
      std::vector<QAccessibleInterface*> children;
      const int count = std::min(interface.childCount(), maxChildren);
      for (int index = 0; index < count; ++index)
        if (QAccessibleInterface* child = interface.child(index); shown(child))
          children.push_back(child);
      return AXValue{elementsFor(children)};
    }
    if (name == "AXParent") return parent(interface);
    if (name == "AXPosition") {
      const QRect frame = interface.rect();
      return AXValue{Point{static_cast<double>(origin::globalX(frame.x())),
                           static_cast<double>(origin::globalY(frame.y()))}};
    }
    if (name == "AXSize") {
      const QRect frame = interface.rect();
      return AXValue{
          AXSize{static_cast<double>(frame.width()), static_cast<double>(frame.height())}};
    }
    if (name == "AXEnabled") return AXValue{!interface.state().disabled};
    if (name == "AXFocused") return AXValue{static_cast<bool>(interface.state().focused)};
    if (name == "AXSelected") return AXValue{static_cast<bool>(interface.state().selected)};
    if (name == "AXFullScreen") {
      const auto* widget = qobject_cast<const QWidget*>(interface.object());
      if (widget == nullptr || !widget->isWindow()) return AXError::noValue;
      return AXValue{widget->isFullScreen()};
    }
    if (name == "AXMenuBar" || name == "AXExtrasMenuBar") return AXError::noValue;
    return AXError::attributeUnsupported;
  }

  static bool isTextRole(std::string_view role) {
    return role == "AXTextField" || role == "AXTextArea" || role == "AXSearchField" ||
           role == "AXComboBox" || role == "AXStaticText";
  }

  static AXResult<AXValue> value(QAccessibleInterface& interface, std::string_view role) {
    // What was typed into a password field is never handed out.
    if (role == "AXSecureTextField") return AXError::noValue;
    if (isTextRole(role)) {
      if (QAccessibleTextInterface* content = interface.textInterface(); content != nullptr)
        return text(content->text(0, content->characterCount()));
      QString value = interface.text(QAccessible::Value);
      if (value.isEmpty() && role == "AXStaticText") value = interface.text(QAccessible::Name);
      return text(value);
    }
    if (QAccessibleValueInterface* numeric = interface.valueInterface(); numeric != nullptr) {
      bool ok = false;
      const double number = numeric->currentValue().toDouble(&ok);
      if (ok) return AXValue{number};
    }
    const QString value = interface.text(QAccessible::Value);
    if (value.isEmpty()) return AXError::noValue;
    return text(value);
  }

  static AXResult<AXValue> parent(QAccessibleInterface& interface) {
    // A top-level window belongs to the application, even when the toolkit names the window
    // that opened it (a dialog's owner) as its parent.
    const auto* widget = qobject_cast<const QWidget*>(interface.object());
    if (widget != nullptr && widget->isWindow()) return AXValue{applicationElement()};
    QAccessibleInterface* parent = interface.parent();
    if (parent == nullptr || !parent->isValid()) return AXError::noValue;
    return AXValue{isApplication(parent) ? applicationElement() : elementFor(parent)};
  }

  static AXError write(QAccessibleInterface& interface, std::string_view name,
                       const AXValue& value) {
    if (name != "AXFocused" && name != "AXSelected") return AXError::attributeUnsupported;
    bool wanted = false;
    if (!truth(value, wanted)) return AXError::illegalArgument;
    const QAccessible::State state = interface.state();
    if (name == "AXFocused") {
      if (!wanted) return state.focused ? AXError::failure : AXError::success;
      return focus(interface);
    }
    if (static_cast<bool>(state.selected) == wanted) return AXError::success;
    return select(interface, wanted);
  }

  static AXError focus(QAccessibleInterface& interface) {
    if (QAccessibleActionInterface* actions = interface.actionInterface(); actions != nullptr) {
      if (actions->actionNames().contains(QAccessibleActionInterface::setFocusAction())) {
        actions->doAction(QAccessibleActionInterface::setFocusAction());
        return AXError::success;
      }
    }
    auto* widget = qobject_cast<QWidget*>(interface.object());
    if (widget == nullptr || !widget->isEnabled() || widget->focusPolicy() == Qt::NoFocus)
      return AXError::failure;
    widget->setFocus(Qt::OtherFocusReason);
    return AXError::success;
  }

  // Items of views are selected through their view's table; tabs and other items through the
  // press or toggle they offer.
  static AXError select(QAccessibleInterface& interface, bool wanted) {
    if (QAccessibleTableCellInterface* cell = interface.tableCellInterface(); cell != nullptr) {
      QAccessibleInterface* table = cell->table();
      QAccessibleTableInterface* rows = table != nullptr ? table->tableInterface() : nullptr;
      if (rows != nullptr) {
        const int row = cell->rowIndex();
        if (wanted ? rows->selectRow(row) : rows->unselectRow(row)) return AXError::success;
      }
    }
    switch (interface.role()) {
      case QAccessible::PageTab:
      case QAccessible::ListItem:
      case QAccessible::TreeItem:
      case QAccessible::Row:
      case QAccessible::Cell:
        if (auto press = qtself::toolkitAction(interface, "AXPress"); press && wanted) {
          interface.actionInterface()->doAction(QString::fromStdString(*press));
          return AXError::success;
        }
        return AXError::failure;
      default:
        return AXError::attributeUnsupported;
    }
  }

  const QAccessible::Id id_;
};

AXElement applicationElement() {
  return AXElement(std::make_shared<ApplicationNode>());
}

AXElement elementFor(QAccessibleInterface* interface) {
  if (interface == nullptr || !interface->isValid()) return {};
  if (isApplication(interface)) return applicationElement();
  return AXElement(std::make_shared<ElementNode>(interface));
}

}  // namespace

AXElement selfApplication(std::int32_t) {
  // Every element of ours carries this process's id; there is only one application to stand for.
  return applicationElement();
}

}  // namespace tovrel::platform::atspi
