#pragma once

// Turns a Mouseless config.yaml into a proposed configuration with one review row per command.
// Only the small line-based subset of YAML that Mouseless writes is read; anything else is
// skipped or listed as not supported. Nothing is saved here: the settings window shows the rows
// and commits the proposal when the user accepts it.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Actions.hpp"
#include "core/Keys.hpp"
#include "core/TovrelConfig.hpp"

namespace tovrel::MouselessImport {

// One line of the review list.
struct Row {
  // The Mouseless command name as written, "tap_threshold_ms" or "base_move_speed and
  // multipliers".
  std::string source;
  // The key specs joined with ", ", the threshold number, or "frame-based".
  std::string sourceBinding;
  // What the proposal does with it, or "—" when nothing.
  std::string proposal;
  std::optional<std::string> issue;

  const std::string& id() const { return source; }

  bool operator==(const Row&) const = default;
};

struct Result {
  // Command rows by command name, then the tap-threshold row, then the speed row.
  std::vector<Row> rows;
  TovrelConfig proposed;
  // The validator's problems of `proposed`; empty when it may be committed.
  std::vector<std::string> problems;

  bool operator==(const Result&) const = default;
};

// What the reader took from the file.
struct Parsed {
  // Command name → key specs in file order. A command written without keys has an empty list.
  std::map<std::string, std::vector<std::string>> commands;
  std::optional<std::int64_t> tapThreshold;
  bool hadSpeed = false;

  bool operator==(const Parsed&) const = default;
};

// The 22 commands that become cursor-mode bindings.
const std::map<std::string, CursorAction>& cursorActions();

// The commands whose Mouseless meaning differs from what the binding does here, with the note
// shown on their row.
const std::map<std::string, std::string>& semanticNotes();

// Reads the file's text; ill-formed UTF-8 reads as U+FFFD.
Parsed parse(std::string_view text);

// One key spec such as "cmd+shift+Return", "'j'" or "OptionRight tap"; nothing when it names no
// key this program knows.
std::optional<Gesture> gesture(std::string_view spec);

// Never throws: whatever is not understood becomes a row or is skipped.
Result translate(std::string_view yaml, const TovrelConfig& base);

}  // namespace tovrel::MouselessImport
