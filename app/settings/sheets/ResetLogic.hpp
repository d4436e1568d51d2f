#pragma once

// What a reset covers and what the reset sheet says about it, apart from the sheet, so tests use
// it without a display.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/TovrelConfig.hpp"

namespace tovrel::settings {

// The part of the configuration a reset returns to the defaults; its raw value is its title.
enum class ResetScope { cursor, click, everything };

inline constexpr std::array<ResetScope, 3> allResetScopes = {ResetScope::cursor, ResetScope::click,
                                                             ResetScope::everything};

std::string_view resetScopeTitle(ResetScope scope);
// Exactly the three titles; nothing for any other text.
std::optional<ResetScope> resetScopeFromRaw(std::string_view raw);

// `current` with the scope's fields taken from the defaults and every other field kept.
TovrelConfig resetConfig(const TovrelConfig& current, ResetScope scope);

// "<title> reset to defaults".
std::string resetChangeText(ResetScope scope);

struct ResetSummary {
  // True when the reset would change nothing: then `lines` holds the one line saying so.
  bool alreadyDefault = false;
  std::vector<std::string> lines;
};
ResetSummary resetSummary(const TovrelConfig& current, const TovrelConfig& proposed);

}  // namespace tovrel::settings
