#include "app/Settings/Pages.hpp"

#include "app/Settings/AboutPage.hpp"
#include "app/Settings/ClickModePage.hpp"
#include "app/Settings/CursorModePage.hpp"
#include "app/Settings/GeneralPage.hpp"
#include "app/Settings/ScrollModePage.hpp"

namespace tovrel::settings {

QWidget* makePage(const PageContext& context, SettingsPage page) {
  switch (page) {
    case SettingsPage::click:
      return new ClickModePage(context);
    case SettingsPage::scroll:
      return new ScrollModePage(context);
    case SettingsPage::cursor:
      return new CursorModePage(context);
    case SettingsPage::general:
      return new GeneralPage(context);
    case SettingsPage::about:
      break;
  }
  return new AboutPage(context);
}

}  // namespace tovrel::settings
