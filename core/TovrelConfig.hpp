#pragma once

// The whole user configuration as one plain value. Holders keep their own copies; a change is a
// changed copy handed on. Values are not range-checked here: consumers clamp what they use and the
// validator judges bindings.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Actions.hpp"
#include "core/ConfigRecords.hpp"
#include "core/InteractionMode.hpp"
#include "core/Json.hpp"
#include "core/Keys.hpp"

namespace tovrel {

struct TovrelConfig {
  // The version of the stored form this program writes.
  static constexpr std::int64_t currentSchemaVersion = 2;
  static constexpr std::string_view defaultAlphabet = "asdfghjklqwertyuiopzxcvbnm";

  // Fields in declaration order; each one's JSON member has the field's name.
  std::int64_t schemaVersion;
  std::string profileName;
  EntryConfig cursorEntry;
  EntryConfig clickEntry;
  EntryConfig scrollEntry;
  std::vector<CursorBinding> cursorBindings;
  std::map<ClickControl, Gesture> clickControls;
  MotionProfile motion;
  ScrollProfile scrolling;
  DragStyle dragStyle;
  bool exitCursorOnMouse;
  bool confineToCurrentDisplay;
  bool clickSearchFirst;
  bool clickRequireReturn;
  bool clickStaysActive;
  bool clickPointerFallback;
  bool clickLabelsMenuBar;
  bool clickLabelsDock;
  std::string clickAlphabet;
  std::int64_t modifierTapMaxMilliseconds;
  std::vector<std::string> excludedBundleIDs;
  AppearanceSettings appearance;
  bool showMenuBarIcon;

  // The default configuration.
  TovrelConfig();

  // Built once on first use and shared read-only.
  static const TovrelConfig& defaults();

  // (cursor, cursorEntry), (click, clickEntry), (scroll, scrollEntry).
  std::array<std::pair<InteractionMode, EntryConfig>, 3> entries() const;
  // Nothing for off.
  std::optional<EntryConfig> entry(InteractionMode mode) const;
  // Does nothing for off.
  void setEntry(const EntryConfig& entry, InteractionMode mode);

  bool operator==(const TovrelConfig&) const = default;

  // Every member always present. Throws json::EncodingError only when writing the result
  // (json::writePretty) meets a non-finite number.
  json::Value toJson() const;
  // Absent or null members take their defaults (schemaVersion then reads as 1); a clickControls
  // member that cannot be read falls back to the default controls; anything else malformed throws
  // json::DecodingError and nothing partial is returned.
  static TovrelConfig fromJson(const json::Reader& reader);
};

}  // namespace tovrel
