#include "core/MouselessImport.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <system_error>
#include <utility>

#include <fmt/format.h>

#include "core/ConfigValidator.hpp"
#include "core/Unicode.hpp"

namespace tovrel::MouselessImport {

namespace {

constexpr std::string_view noProposal = "—";
constexpr std::string_view importedProfileName = "Imported from Mouseless";
constexpr std::string_view modifierTapIssue = "A modifier tap cannot be an in-mode action.";
constexpr std::string_view notSupportedIssue =
    "Not supported in Tovrel (grid, overlay, or Mouseless-specific command).";
constexpr std::string_view cursorStartIssue =
    "Check that Mouseless no longer uses this key, or both apps will react.";
constexpr std::string_view clickStartIssue =
    "Mouseless labels are grid cells; Tovrel labels accessible controls.";
constexpr std::string_view speedIssue =
    "Mouseless speeds are per frame and cannot be converted exactly. Tune with the practice area.";

constexpr std::string_view tapThresholdKey = "tap_threshold_ms:";
constexpr std::array<std::string_view, 2> speedKeys = {"base_move_speed:",
                                                       "move_speed_multiplier:"};
constexpr std::string_view itemMarker = "- ";
constexpr std::string_view tapSuffix = " tap";

template <class Value, std::size_t N>
using NameTable = std::array<std::pair<std::string_view, Value>, N>;

// The side-specific key names Mouseless writes, with the codes Key uses.
constexpr NameTable<std::uint16_t, 10> sideModifierNames = {{
    {"CommandLeft", Key::leftCommand},
    {"CommandRight", Key::rightCommand},
    {"OptionLeft", Key::leftOption},
    {"OptionRight", Key::rightOption},
    {"AltLeft", Key::leftOption},
    {"AltRight", Key::rightOption},
    {"ShiftLeft", Key::leftShift},
    {"ShiftRight", Key::rightShift},
    {"ControlLeft", Key::leftControl},
    {"ControlRight", Key::rightControl},
}};

constexpr NameTable<std::uint16_t, 10> namedKeys = {{
    {"Enter", Key::returnKey},
    {"Return", Key::returnKey},
    {"Space", Key::space},
    {"Escape", Key::escape},
    {"Tab", Key::tab},
    {"Backspace", Key::deleteKey},
    {"ArrowUp", Key::upArrow},
    {"ArrowDown", Key::downArrow},
    {"ArrowLeft", Key::leftArrow},
    {"ArrowRight", Key::rightArrow},
}};

// Looked up in lower case.
constexpr NameTable<Modifiers, 7> modifierWords = {{
    {"shift", Modifiers::shift},
    {"cmd", Modifiers::command},
    {"command", Modifiers::command},
    {"alt", Modifiers::option},
    {"option", Modifiers::option},
    {"ctrl", Modifiers::control},
    {"control", Modifiers::control},
}};

enum class ModeCommand { exitFree, toggleFree, enterFree, toggleLabel, enterLabel };

constexpr NameTable<ModeCommand, 5> modeCommands = {{
    {"exit free mode", ModeCommand::exitFree},
    {"toggle free mode", ModeCommand::toggleFree},
    {"enter free mode", ModeCommand::enterFree},
    {"toggle label mode", ModeCommand::toggleLabel},
    {"enter label mode", ModeCommand::enterLabel},
}};

template <class Value, std::size_t N>
std::optional<Value> lookUp(const NameTable<Value, N>& table, std::string_view name) {
  for (const auto& [entry, value] : table) {
    if (entry == name) return value;
  }
  return std::nullopt;
}

bool isBlank(char byte) {
  return byte == ' ' || byte == '\t';
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

// Only spaces indent, as in YAML: a line indented with tabs ends the entries section.
std::size_t indentation(std::string_view line) {
  return std::min(line.find_first_not_of(' '), line.size());
}

// The length of the line break at `offset`, or 0. CR LF is one break, so a file saved with
// Windows line ends reads like the same file with LF.
std::size_t lineBreakLength(std::string_view text, std::size_t offset) {
  auto byteAt = [&](std::size_t index) {
    return index < text.size() ? static_cast<unsigned char>(text[index]) : 0u;
  };
  switch (byteAt(offset)) {
    case '\n':
    case '\v':
    case '\f':
      return 1;
    case '\r':
      return byteAt(offset + 1) == '\n' ? 2 : 1;
    case 0xC2:
      return byteAt(offset + 1) == 0x85 ? 2 : 0;  // NEL
    case 0xE2:                                    // LS, PS
      return byteAt(offset + 1) == 0x80 &&
                     (byteAt(offset + 2) == 0xA8 || byteAt(offset + 2) == 0xA9)
                 ? 3
                 : 0;
    default:
      return 0;
  }
}

// Empty lines are kept: they end the entries section. `text` must be well-formed UTF-8, so the
// bytes matched as NEL, LS and PS cannot be the tail of another sequence.
std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> result;
  std::size_t start = 0;
  std::size_t offset = 0;
  while (offset < text.size()) {
    if (std::size_t length = lineBreakLength(text, offset)) {
      result.push_back(text.substr(start, offset - start));
      offset += length;
      start = offset;
    } else {
      ++offset;
    }
  }
  result.push_back(text.substr(start));
  return result;
}

// An optional sign and ASCII digits within the 64-bit range; anything else (a trailing comment
// too) is no number.
std::optional<std::int64_t> decimalInteger(std::string_view text) {
  std::string_view digits = text;
  bool negative = false;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(),
                                     [](char byte) { return byte >= '0' && byte <= '9'; }))
    return std::nullopt;
  // from_chars takes a minus but no plus; reading the minus with the digits keeps INT64_MIN.
  std::string_view number = negative ? text : digits;
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc{} || end != number.data() + number.size()) return std::nullopt;
  return value;
}

// The key code whose one-character key cap, lower-cased, is `text` lower-cased. The comparison
// is on canonical forms, so a Kelvin sign finds K.
std::optional<std::uint16_t> singleCharacterKey(std::string_view text) {
  static const std::map<std::string, std::uint16_t> byLowercasedText = [] {
    std::map<std::string, std::uint16_t> table;
    for (const auto& [code, cap] : Key::printableCodes()) {
      if (unicode::characters(cap).size() == 1)
        table.emplace(unicode::nfc(unicode::lowercased(cap)), code);
    }
    return table;
  }();
  if (text.empty() || unicode::characters(text).size() != 1) return std::nullopt;
  auto found = byLowercasedText.find(unicode::nfc(unicode::lowercased(text)));
  if (found == byLowercasedText.end()) return std::nullopt;
  return found->second;
}

Row notSupportedRow(const std::string& command, const std::string& bindingText) {
  return Row{command, bindingText, std::string(noProposal), std::string(notSupportedIssue)};
}

// Reads every spec of a command that maps to `action`: chords go to `imported`, and the last
// unusable spec decides the issue.
Row cursorActionRow(const std::string& command, const std::string& bindingText,
                    const std::vector<std::string>& specs, CursorAction action,
                    std::map<CursorAction, std::vector<Gesture>>& imported) {
  std::optional<std::string> issue;
  if (auto note = semanticNotes().find(command); note != semanticNotes().end())
    issue = note->second;
  std::vector<std::string> names;
  for (const std::string& spec : specs) {
    std::optional<Gesture> read = gesture(spec);
    if (!read) {
      issue = "“" + spec + "” is not a key Tovrel recognizes.";
    } else if (read->isModifierTap()) {
      issue = std::string(modifierTapIssue);
    } else {
      imported[action].push_back(*read);
      names.push_back(read->displayName());
    }
  }
  std::string proposal =
      names.empty() ? std::string(noProposal)
                    : std::string(title(action)) + ": " + fmt::format("{}", fmt::join(names, ", "));
  return Row{command, bindingText, std::move(proposal), std::move(issue)};
}

// Mode commands read only their first spec. Commands come in name order, so "toggle free mode"
// overrides the stop setting of "exit free mode", and "toggle label mode" beats "enter label mode".
Row modeRow(const std::string& command, const std::string& bindingText, ModeCommand mode,
            const Gesture& start, TovrelConfig& proposed) {
  std::string name = start.displayName();
  switch (mode) {
    case ModeCommand::exitFree:
      proposed.cursorEntry.exit = start;
      proposed.cursorEntry.separateExit = true;
      return Row{command, bindingText, "Moving stop: " + name, std::nullopt};
    case ModeCommand::toggleFree:
    case ModeCommand::enterFree:
      proposed.cursorEntry.gesture = start;
      proposed.cursorEntry.separateExit = mode == ModeCommand::enterFree;
      return Row{command, bindingText, "Moving start: " + name, std::string(cursorStartIssue)};
    case ModeCommand::toggleLabel:
    case ModeCommand::enterLabel:
      proposed.clickEntry.gesture = start;
      return Row{command, bindingText, "Clicking start: " + name, std::string(clickStartIssue)};
  }
  return notSupportedRow(command, bindingText);
}

}  // namespace

const std::map<std::string, CursorAction>& cursorActions() {
  using A = CursorAction;
  static const std::map<std::string, CursorAction> table = {
      {"move up", A::moveUp},
      {"move down", A::moveDown},
      {"move left", A::moveLeft},
      {"move right", A::moveRight},
      {"wheel up", A::scrollUp},
      {"wheel down", A::scrollDown},
      {"wheel left", A::scrollLeft},
      {"wheel right", A::scrollRight},
      {"left mouse button", A::leftClick},
      {"left click", A::leftClick},
      {"execute mouse action", A::leftClick},
      {"right mouse button", A::rightClick},
      {"right click", A::rightClick},
      {"middle mouse button", A::middleClick},
      {"middle click", A::middleClick},
      {"back mouse button", A::backButton},
      {"back click", A::backButton},
      {"forward mouse button", A::forwardButton},
      {"forward click", A::forwardButton},
      {"hold for drag", A::dragHold},
      {"hold for speed decrease", A::precision},
      {"hold for speed increase", A::boost},
  };
  return table;
}

const std::map<std::string, std::string>& semanticNotes() {
  static const std::map<std::string, std::string> table = {
      {"execute mouse action",
       "Mouseless runs the selected button; Tovrel maps this key to a left click."},
      {"left mouse button", "Mouseless selects the left button; Tovrel clicks it directly."},
  };
  return table;
}

Parsed parse(std::string_view text) {
  const std::string wellFormed = unicode::sanitizedUtf8(text);
  Parsed parsed;
  bool inEntries = false;
  std::optional<std::string> current;
  for (std::string_view line : lines(wellFormed)) {
    std::string_view trimmedLine = trimmed(line);
    std::string_view body = trimmedLine;
    if (body.starts_with(itemMarker)) body.remove_prefix(itemMarker.size());

    // The settings outside the command list are read wherever they appear.
    if (body.starts_with(tapThresholdKey))
      parsed.tapThreshold = decimalInteger(trimmed(body.substr(tapThresholdKey.size())));
    if (std::any_of(speedKeys.begin(), speedKeys.end(),
                    [&](std::string_view key) { return body.starts_with(key); }))
      parsed.hadSpeed = true;

    if (trimmedLine == "- entries:") {
      inEntries = true;
      current.reset();
      continue;
    }
    if (!inEntries) continue;
    if (indentation(line) < 4) {
      inEntries = false;
      current.reset();
      continue;
    }
    if (trimmedLine.starts_with(itemMarker) && current) {
      parsed.commands[*current].emplace_back(trimmedLine.substr(itemMarker.size()));
      continue;
    }

    std::string_view command;
    std::string_view rest;
    if (std::size_t colon = trimmedLine.find(": "); colon != std::string_view::npos) {
      command = trimmedLine.substr(0, colon);
      rest = trimmedLine.substr(colon + 2);
    } else if (trimmedLine.ends_with(':')) {
      command = trimmedLine.substr(0, trimmedLine.size() - 1);
    } else {
      continue;
    }
    std::string_view value = trimmed(rest);
    current = std::string(command);
    std::vector<std::string>& specs = parsed.commands[*current];
    if (!value.empty() && value != "null") specs.assign(1, std::string(value));
  }
  return parsed;
}

std::optional<Gesture> gesture(std::string_view spec) {
  std::string s = unicode::sanitizedUtf8(trimmed(spec));

  // The opening quote must stand alone as a character; the last character goes whatever it is,
  // and whole, so an accented letter at the end does not leave its base letter behind.
  if (s.starts_with('\'') || s.starts_with('"')) {
    std::vector<std::string> characters = unicode::characters(s);
    if (characters.size() >= 2 && characters.front().size() == 1)
      s = s.substr(1, s.size() - 1 - characters.back().size());
  }

  bool isTap = s.ends_with(tapSuffix);
  if (isTap) s.resize(s.size() - tapSuffix.size());

  if (auto code = lookUp(sideModifierNames, s))
    return isTap ? Gesture::modifierTap(*code) : Gesture::key(*code);
  if (isTap) return std::nullopt;

  std::vector<std::string_view> pieces;
  std::string_view remaining = s;
  while (!remaining.empty()) {
    std::size_t plus = std::min(remaining.find('+'), remaining.size());
    if (plus > 0) pieces.push_back(remaining.substr(0, plus));
    remaining.remove_prefix(std::min(plus + 1, remaining.size()));
  }

  Modifiers modifiers;
  std::string_view keyText = s;
  if (pieces.size() >= 2) {
    for (std::size_t index = 0; index + 1 < pieces.size(); ++index) {
      std::optional<Modifiers> word = lookUp(modifierWords, unicode::lowercased(pieces[index]));
      if (!word) return std::nullopt;
      modifiers |= *word;
    }
    keyText = pieces.back();
  }

  if (auto code = lookUp(namedKeys, keyText)) return Gesture::key(*code, modifiers);
  if (auto code = singleCharacterKey(keyText)) return Gesture::key(*code, modifiers);
  return std::nullopt;
}

Result translate(std::string_view yaml, const TovrelConfig& base) {
  const Parsed parsed = parse(yaml);
  Result result{{}, base, {}};
  TovrelConfig& proposed = result.proposed;
  std::map<CursorAction, std::vector<Gesture>> imported;

  for (const auto& [command, specs] : parsed.commands) {
    if (specs.empty()) continue;
    const std::string bindingText = fmt::format("{}", fmt::join(specs, ", "));
    if (auto action = cursorActions().find(command); action != cursorActions().end()) {
      result.rows.push_back(cursorActionRow(command, bindingText, specs, action->second, imported));
      continue;
    }
    std::optional<ModeCommand> mode = lookUp(modeCommands, command);
    std::optional<Gesture> start = mode ? gesture(specs.front()) : std::nullopt;
    result.rows.push_back(start ? modeRow(command, bindingText, *mode, *start, proposed)
                                : notSupportedRow(command, bindingText));
  }

  // Imported actions replace every base binding of theirs; the rest keep their place in front.
  // The map runs in CursorAction declaration order, each action's chords in import order.
  if (!imported.empty()) {
    std::vector<CursorBinding> bindings;
    for (const CursorBinding& binding : base.cursorBindings) {
      if (!imported.contains(binding.action)) bindings.push_back(binding);
    }
    for (const auto& [action, gestures] : imported) {
      for (const Gesture& chord : gestures)
        bindings.push_back(CursorBinding{action, chord});
    }
    proposed.cursorBindings = std::move(bindings);
    proposed.profileName = importedProfileName;
  }

  if (parsed.tapThreshold) {
    std::int64_t limit = std::clamp<std::int64_t>(*parsed.tapThreshold, 100, 600);
    proposed.modifierTapMaxMilliseconds = limit;
    result.rows.push_back(Row{"tap_threshold_ms", std::to_string(*parsed.tapThreshold),
                              "Modifier tap limit: " + std::to_string(limit) + " ms",
                              std::nullopt});
  }

  // Mouseless moves by a distance per frame, which has no fixed relation to a speed per second,
  // so the motion profile stays as it is.
  if (parsed.hadSpeed) {
    std::string preset(base.motion.presetName().value_or("custom"));
    result.rows.push_back(Row{"base_move_speed and multipliers", "frame-based",
                              "Keeps " + preset + " speed", std::string(speedIssue)});
  }

  result.problems = ConfigValidator::problems(proposed);
  return result;
}

}  // namespace tovrel::MouselessImport
