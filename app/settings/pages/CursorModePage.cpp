#include "app/settings/pages/CursorModePage.hpp"

#include "app/settings/controls/SettingControls.hpp"
#include "app/settings/pages/ActionBindingRow.hpp"
#include "app/settings/pages/EntrySection.hpp"
#include "app/settings/pages/ModePageLogic.hpp"

namespace tovrel::settings {

namespace {

QStringList texts(const std::vector<std::string>& values) {
  QStringList list;
  for (const std::string& value : values)
    list << QString::fromStdString(value);
  return list;
}

}  // namespace

CursorModePage::CursorModePage(const PageContext& context, QWidget* parent)
    : FormPage(parent), model_(context.model) {
  setObjectName(QStringLiteral("Moving"));
  entry_ = new EntrySection(model_, InteractionMode::cursor, context.openAccessibilitySettings);
  addWidget(entry_);

  FormSection* keys =
      addSection({}, QStringLiteral("I J K L move the pointer. Hold the click key to drag."));
  leftClick_ = new ActionBindingRow(model_, CursorAction::leftClick);
  rightClick_ = new ActionBindingRow(model_, CursorAction::rightClick);
  keys->addRow(leftClick_);
  keys->addRow(rightClick_);

  speed_ = new SegmentedControl;
  speed_->setObjectName(QStringLiteral("speed"));
  speed_->setAccessibleName(QStringLiteral("Speed"));
  speed_->onSelected([this](const QString& name) {
    if (auto edit = speedPicker::choose(model_.config(), name.toStdString()))
      model_.commit(edit->config, edit->change);
    // A refused preset, or "Custom", leaves the profile in force selected.
    refresh();
  });
  addSection()->addRow(new SettingRow(
      QStringLiteral("Speed"),
      QStringLiteral("How quickly the pointer picks up speed while a key is held."), speed_));

  observer_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::config) refresh();
  });
  refresh();
}

CursorModePage::~CursorModePage() {
  model_.removeObserver(observer_);
}

void CursorModePage::refresh() {
  const MotionProfile& motion = model_.config().motion;
  speed_->setSegments(texts(speedPicker::segments(motion)));
  speed_->setSelected(QString::fromStdString(speedPicker::selected(motion)));
}

}  // namespace tovrel::settings
