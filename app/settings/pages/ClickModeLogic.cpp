#include "app/settings/pages/ClickModeLogic.hpp"

#include "core/PlatformTexts.hpp"

namespace tovrel::settings {

bool menuBarAndPanelShown(const TovrelConfig& config) {
  return config.clickLabelsMenuBar || config.clickLabelsDock;
}

ClickEdit setMenuBarAndPanel(const TovrelConfig& config, bool on) {
  ClickEdit edit{config, std::string(on ? platformText::menuBarAndPanelLabelled
                                        : platformText::menuBarAndPanelNotLabelled)};
  edit.config.clickLabelsMenuBar = on;
  edit.config.clickLabelsDock = on;
  return edit;
}

QString labelSizeTitle(AppearanceSettings::Size size) {
  QString title =
      QString::fromUtf8(rawValue(size).data(), static_cast<qsizetype>(rawValue(size).size()));
  if (!title.isEmpty()) title[0] = title[0].toUpper();
  return title;
}

std::optional<AppearanceSettings::Size> labelSizeNamed(const QString& title) {
  for (AppearanceSettings::Size size : labelSizes)
    if (labelSizeTitle(size) == title) return size;
  return std::nullopt;
}

ClickEdit setLabelSize(const TovrelConfig& config, AppearanceSettings::Size size) {
  ClickEdit edit{config, "Label size " + std::string(rawValue(size))};
  edit.config.appearance.hintSize = size;
  return edit;
}

ClickEdit setLabelLetters(const TovrelConfig& config, const QString& typed) {
  ClickEdit edit{config, "Label letters updated"};
  edit.config.clickAlphabet = typed.toLower().toStdString();
  return edit;
}

}  // namespace tovrel::settings
