#include "app/settings/sheets/ImportReview.hpp"

#include "core/Presets.hpp"
#include "core/Unicode.hpp"

namespace tovrel::settings {

ImportReview settingsFileReview(std::string_view fileName,
                                const std::variant<TovrelConfig, ConfigError>& preview) {
  ImportReview review{QUuid::createUuid(), "Import " + std::string(fileName), std::nullopt, {}, {}};
  if (const auto* config = std::get_if<TovrelConfig>(&preview))
    review.proposed = *config;
  else
    review.problems.push_back(std::get<ConfigError>(preview).description());
  return review;
}

ImportReview mouselessUnreadableReview() {
  return {QUuid::createUuid(), "Mouseless import", std::nullopt, {}, {mouselessUnreadableProblem}};
}

ImportReview notAFileReview(std::string title, std::string_view fileName) {
  return {QUuid::createUuid(),
          std::move(title),
          std::nullopt,
          {},
          {"“" + std::string(fileName) +
           "” is not a regular file, so Tovrel did not read it. Nothing was changed."}};
}

ImportReview mouselessReview(std::string_view bytes, const TovrelConfig& current) {
  // The translation reads ill-formed text as replacement characters; such a file is no key file
  // the user meant, so it is refused before it can look like a translation.
  if (!unicode::isValidUtf8(bytes)) return mouselessUnreadableReview();
  MouselessImport::Result result = MouselessImport::translate(bytes, current);
  return {QUuid::createUuid(), "Import from Mouseless", std::move(result.proposed),
          std::move(result.rows), std::move(result.problems)};
}

bool applyEnabled(const ImportReview& review) {
  return review.proposed.has_value() && review.problems.empty();
}

std::string applyChangeText(const ImportReview& review) {
  return review.rows.empty() ? "Settings imported" : "Mouseless keys imported";
}

int reviewSheetWidth(const ImportReview& review) {
  return review.rows.empty() ? 480 : 760;
}

std::vector<SummaryLine> importSummary(const TovrelConfig& current, const TovrelConfig& proposed) {
  using Style = SummaryLine::Style;
  std::vector<SummaryLine> lines;
  const std::size_t changed =
      BindingChange::diff(current.cursorBindings, proposed.cursorBindings).size();
  lines.push_back(
      {std::to_string(changed) + " Cursor action" + (changed == 1 ? "" : "s") + " change.",
       Style::count});
  if (proposed.cursorEntry != current.cursorEntry) {
    const EntryConfig& entry = proposed.cursorEntry;
    lines.push_back({"Cursor start: " + entry.gesture.displayName() +
                         "; exit: " + (entry.separateExit ? entry.exit.displayName() : "same key"),
                     Style::detail});
  }
  if (proposed.clickEntry != current.clickEntry)
    lines.push_back(
        {"Label-click start: " + proposed.clickEntry.gesture.displayName(), Style::detail});
  if (proposed.motion != current.motion) {
    const auto preset = proposed.motion.presetName();
    lines.push_back({"Pointer speed changes to " +
                         (preset ? std::string(*preset) : std::string("custom values")) + ".",
                     Style::detail});
  }
  lines.push_back(
      {"Your current settings are kept as a backup, and Undo is available.", Style::footnote});
  return lines;
}

}  // namespace tovrel::settings
