#pragma once

// What the Clicking page writes, apart from its widgets: the combined switch over labelling the
// menu bar and the panel, the label size and the label letters, each as a configuration to commit
// with its change text.

#include <QString>
#include <array>
#include <optional>
#include <string>

#include "core/ConfigRecords.hpp"
#include "core/TovrelConfig.hpp"

namespace tovrel::settings {

// A configuration to commit with its change text.
struct ClickEdit {
  TovrelConfig config;
  std::string change;
};

// On while either the menu bar or the panel is labelled.
bool menuBarAndPanelShown(const TovrelConfig& config);
// Both stored flags set to `on`.
ClickEdit setMenuBarAndPanel(const TovrelConfig& config, bool on);

// The sizes in the order the picker offers them.
inline constexpr std::array<AppearanceSettings::Size, 3> labelSizes = {
    AppearanceSettings::Size::small, AppearanceSettings::Size::regular,
    AppearanceSettings::Size::large};
// "Small", "Regular", "Large".
QString labelSizeTitle(AppearanceSettings::Size size);
// Nothing for a title that names no size.
std::optional<AppearanceSettings::Size> labelSizeNamed(const QString& title);
// "Label size small" and so on.
ClickEdit setLabelSize(const TovrelConfig& config, AppearanceSettings::Size size);

// The typed letters, lower-cased as a whole and otherwise as typed: the validator judges spaces,
// repeats, digits and punctuation.
ClickEdit setLabelLetters(const TovrelConfig& config, const QString& typed);

}  // namespace tovrel::settings
