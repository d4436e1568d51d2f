#pragma once

// The page the settings window shows for each sidebar row, made afresh on every selection.

#include <QWidget>

#include "app/model/SettingsPage.hpp"
#include "app/settings/pages/PageContext.hpp"

namespace tovrel::settings {

QWidget* makePage(const PageContext& context, SettingsPage page);

}  // namespace tovrel::settings
