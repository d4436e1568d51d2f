#include "app/settings/controls/AccessibilityHidden.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QWidget>

namespace tovrel::settings {
namespace {

constexpr const char* hiddenProperty = "tovrelHiddenFromAccessibility";

// An interface that reports itself invisible and childless, so readers and the discovery of our
// own windows pass over it.
class HiddenAccessible : public QAccessibleWidget {
 public:
  explicit HiddenAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::NoRole) {}
  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.invisible = true;
    state.focusable = false;
    return state;
  }
  int childCount() const override { return 0; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QString text(QAccessible::Text) const override { return {}; }
};

QAccessibleInterface* hiddenFactory(const QString&, QObject* object) {
  if (object == nullptr || !object->isWidgetType() || !object->property(hiddenProperty).toBool())
    return nullptr;
  return new HiddenAccessible(static_cast<QWidget*>(object));
}

}  // namespace

void hideFromAccessibility(QWidget* widget) {
  static const bool installed = [] {
    QAccessible::installFactory(hiddenFactory);
    return true;
  }();
  (void)installed;
  widget->setProperty(hiddenProperty, true);
}

}  // namespace tovrel::settings
