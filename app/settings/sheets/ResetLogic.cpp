#include "app/settings/sheets/ResetLogic.hpp"

#include "core/Presets.hpp"

namespace tovrel::settings {

std::string_view resetScopeTitle(ResetScope scope) {
  switch (scope) {
    case ResetScope::cursor:
      return "Cursor keys and speed";
    case ResetScope::click:
      return "Label-click settings";
    case ResetScope::everything:
      return "Everything";
  }
  return {};
}

std::optional<ResetScope> resetScopeFromRaw(std::string_view raw) {
  for (ResetScope scope : allResetScopes)
    if (resetScopeTitle(scope) == raw) return scope;
  return std::nullopt;
}

TovrelConfig resetConfig(const TovrelConfig& current, ResetScope scope) {
  const TovrelConfig& defaults = TovrelConfig::defaults();
  TovrelConfig reset = current;
  switch (scope) {
    case ResetScope::cursor:
      reset.profileName = defaults.profileName;
      reset.cursorBindings = defaults.cursorBindings;
      reset.motion = defaults.motion;
      reset.scrolling = defaults.scrolling;
      reset.dragStyle = defaults.dragStyle;
      break;
    case ResetScope::click:
      reset.clickControls = defaults.clickControls;
      reset.clickAlphabet = defaults.clickAlphabet;
      reset.clickSearchFirst = defaults.clickSearchFirst;
      reset.clickRequireReturn = defaults.clickRequireReturn;
      reset.clickStaysActive = defaults.clickStaysActive;
      reset.clickPointerFallback = defaults.clickPointerFallback;
      reset.clickLabelsMenuBar = defaults.clickLabelsMenuBar;
      reset.clickLabelsDock = defaults.clickLabelsDock;
      break;
    case ResetScope::everything:
      reset = defaults;
      break;
  }
  return reset;
}

std::string resetChangeText(ResetScope scope) {
  return std::string(resetScopeTitle(scope)) + " reset to defaults";
}

ResetSummary resetSummary(const TovrelConfig& current, const TovrelConfig& proposed) {
  if (proposed == current) return {true, {"These settings already use the defaults."}};
  ResetSummary summary;
  const std::size_t changed =
      BindingChange::diff(current.cursorBindings, proposed.cursorBindings).size();
  if (changed > 0)
    summary.lines.push_back(std::to_string(changed) + " Cursor action" + (changed == 1 ? "" : "s") +
                            " return to default keys.");
  if (proposed.motion != current.motion)
    summary.lines.push_back("Pointer speed returns to Gentle.");
  if (proposed.clickAlphabet != current.clickAlphabet ||
      proposed.clickControls != current.clickControls)
    summary.lines.push_back("Label-click labels and keys return to the defaults.");
  if (proposed.cursorEntry != current.cursorEntry || proposed.clickEntry != current.clickEntry ||
      proposed.scrollEntry != current.scrollEntry)
    summary.lines.push_back("Start and exit shortcuts return to " +
                            proposed.cursorEntry.gesture.displayName() + ", " +
                            proposed.clickEntry.gesture.displayName() + ", and " +
                            proposed.scrollEntry.gesture.displayName() + ", with " +
                            proposed.cursorEntry.exit.displayName() + " to exit.");
  if (proposed.excludedBundleIDs != current.excludedBundleIDs)
    summary.lines.push_back("Every app is allowed again.");
  return summary;
}

}  // namespace tovrel::settings
