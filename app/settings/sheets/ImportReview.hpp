#pragma once

// A pending import and what the review sheet says about it: who built it from which file, what it
// would commit, the translation's rows and the problems that forbid applying it. Pure, so tests
// build and judge reviews without a display.

#include <QUuid>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ConfigStore.hpp"
#include "core/MouselessImport.hpp"
#include "core/TovrelConfig.hpp"

namespace tovrel::settings {

struct ImportReview {
  QUuid id;
  std::string title;
  // What Apply commits; none when nothing can be applied.
  std::optional<TovrelConfig> proposed;
  std::vector<MouselessImport::Row> rows;
  // Any problem forbids applying.
  std::vector<std::string> problems;
};

// A settings file named `fileName` (its last path component) as the model's preview judged it.
ImportReview settingsFileReview(std::string_view fileName,
                                const std::variant<TovrelConfig, ConfigError>& preview);

// The other tool's key file, as read: bytes that are not UTF-8 text give a review with no proposal;
// anything else is translated onto `current`.
ImportReview mouselessReview(std::string_view bytes, const TovrelConfig& current);

inline constexpr char mouselessUnreadableProblem[] =
    "The file could not be read as text. Nothing was changed.";
// A key file that could not be read at all, or not as text.
ImportReview mouselessUnreadableReview();

// A chosen path that is no regular file (a named pipe, a device, a folder), refused unread under
// `title`: reading a pipe would hold the window until something wrote to it.
ImportReview notAFileReview(std::string title, std::string_view fileName);

bool applyEnabled(const ImportReview& review);
// "Mouseless keys imported" when the review has rows, else "Settings imported".
std::string applyChangeText(const ImportReview& review);
// 760 with the table of rows, 480 without.
int reviewSheetWidth(const ImportReview& review);

// One line of the change summary and how it is set.
struct SummaryLine {
  enum class Style { count, detail, footnote };
  std::string text;
  Style style = Style::detail;
  bool operator==(const SummaryLine&) const = default;
};

// What applying `proposed` over `current` would change, for the lines the sheet shows.
std::vector<SummaryLine> importSummary(const TovrelConfig& current, const TovrelConfig& proposed);

}  // namespace tovrel::settings
