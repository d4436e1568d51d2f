#include "app/settings/Pages.hpp"

#include "app/settings/pages/AboutPage.hpp"
#include "app/settings/pages/ClickModePage.hpp"
#include "app/settings/pages/CursorModePage.hpp"
#include "app/settings/pages/GeneralPage.hpp"
#include "app/settings/pages/ScrollModePage.hpp"

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
