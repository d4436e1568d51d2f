#include "app/settings/pages/ScrollModePage.hpp"

#include "app/settings/controls/SettingControls.hpp"
#include "app/settings/pages/EntrySection.hpp"
#include "app/settings/pages/ModePageLogic.hpp"
#include "core/PlatformTexts.hpp"

namespace tovrel::settings {

ScrollModePage::ScrollModePage(const PageContext& context, QWidget* parent)
    : FormPage(parent), model_(context.model) {
  setObjectName(QStringLiteral("Scrolling"));
  entry_ = new EntrySection(model_, InteractionMode::scroll, context.openAccessibilitySettings);
  addWidget(entry_);

  FormSection* speed = addSection(
      {}, QStringLiteral("Shift with H J K L jumps most of a window. Tab moves to the next scroll "
                         "area, or press its number."));
  // Every value, during a drag too, is a change of its own; a refused one leaves the slider
  // showing the speed in force.
  speed_ = new NumberSlider(
      QStringLiteral("Speed"), QStringLiteral("How fast H J K L scroll once they get going."),
      QString::fromUtf8(platformText::speedUnit.data(), platformText::speedUnit.size()),
      ValueRange{scrollSpeed::lower, scrollSpeed::upper}, scrollSpeed::step,
      model_.config().scrolling.maximumSpeed, [this](double value) {
        const PageEdit edit = scrollSpeed::edit(model_.config(), value);
        model_.commit(edit.config, edit.change);
      });
  speed_->setObjectName(QStringLiteral("scrollSpeed"));
  speed->addRow(speed_);

  observer_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::config)
      speed_->setValue(model_.config().scrolling.maximumSpeed);
  });
}

ScrollModePage::~ScrollModePage() {
  model_.removeObserver(observer_);
}

}  // namespace tovrel::settings
