#include "app/Settings/Pages.hpp"

#include <QLabel>
#include <QVBoxLayout>

#include "app/Settings/AboutPage.hpp"
#include "app/Settings/AccessCard.hpp"
#include "app/Settings/ClickModePage.hpp"
#include "app/Settings/EntrySection.hpp"
#include "app/Settings/Form.hpp"
#include "app/Settings/GeneralPage.hpp"
#include "app/Settings/Theme.hpp"
#include "core/EnumTable.hpp"

namespace tovrel::settings {

namespace {

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

}  // namespace

QWidget* makePage(const PageContext& context, SettingsPage page) {
  if (page == SettingsPage::click) return new ClickModePage(context);
  if (page == SettingsPage::about) return new AboutPage(context);
  if (page == SettingsPage::general) return new GeneralPage(context);
  std::optional<InteractionMode> mode;
  if (page == SettingsPage::click) mode = InteractionMode::click;
  if (page == SettingsPage::scroll) mode = InteractionMode::scroll;
  if (page == SettingsPage::cursor) mode = InteractionMode::cursor;
  if (!mode) return new QWidget;
  auto* form = new FormPage;
  form->setObjectName(text(rawValue(page)));
  form->addWidget(new EntrySection(context.model, *mode, context.openAccessibilitySettings));
  return form;
}

}  // namespace tovrel::settings
