#include "core/ConfigValidator.hpp"

#include "core/BindingTable.hpp"
#include "core/LabelGenerator.hpp"
#include "core/PlatformTexts.hpp"

namespace tovrel::ConfigValidator {

namespace {

constexpr Modifiers command = Modifiers::command;
constexpr Modifiers option = Modifiers::option;
constexpr Modifiers control = Modifiers::control;

std::string quoted(std::string_view text) {
  return "“" + std::string(text) + "”";
}

BindingTable<CursorAction> cursorTable(const TovrelConfig& config) {
  std::vector<std::pair<Gesture, CursorAction>> pairs;
  pairs.reserve(config.cursorBindings.size());
  for (const CursorBinding& binding : config.cursorBindings)
    pairs.emplace_back(binding.gesture, binding.action);
  return BindingTable<CursorAction>(pairs);
}

}  // namespace

const std::unordered_map<Gesture, std::string>& knownSystemShortcuts() {
  static const std::unordered_map<Gesture, std::string> table = {
      {Gesture::key(Key::space, command), "Switch input source"},
      {Gesture::key(Key::space, option), "Window menu"},
      {Gesture::key(Key::tab, option), "Window switcher"},
      {Gesture::key(Key::tab, command), "App switcher"},
      {Gesture::key(120 /* F2 */, option), "Run command"},
      {Gesture::key(118 /* F4 */, option), "Close window"},
      {Gesture::key(117 /* Delete */, {control, option}), "Log out"},
      {Gesture::key(Key::t, {control, option}), "Terminal"},
      {Gesture::key(Key::l, command), "Lock screen"},
      {Gesture::key(Key::d, command), "Show desktop"},
      {Gesture::key(Key::a, command), "Show applications"},
  };
  return table;
}

std::vector<std::string> problems(const TovrelConfig& config) {
  std::vector<std::string> found;

  const BindingTable<CursorAction> table = cursorTable(config);
  for (const auto& conflict : table.conflicts()) {
    found.push_back(conflict.gesture.displayName() + " is assigned to both " +
                    quoted(title(conflict.first)) + " and " + quoted(title(conflict.second)) +
                    " in Moving.");
  }

  // The map ends holding the last control of each gesture, which the stop-key rule reports.
  std::unordered_map<Gesture, ClickControl> controls;
  for (ClickControl control : allCases<ClickControl>()) {
    auto bound = config.clickControls.find(control);
    if (bound == config.clickControls.end()) continue;
    auto existing = controls.find(bound->second);
    if (existing != controls.end()) {
      found.push_back(bound->second.displayName() + " is assigned to both " +
                      quoted(title(existing->second)) + " and " + quoted(title(control)) +
                      " in Clicking.");
    }
    controls[bound->second] = control;
  }

  const auto entries = config.entries();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    for (std::size_t j = i + 1; j < entries.size(); ++j) {
      if (entries[i].second.gesture == entries[j].second.gesture) {
        found.push_back(std::string(name(entries[i].first)) + " and " +
                        std::string(name(entries[j].first)) +
                        " cannot start with the same shortcut.");
      }
    }
  }

  for (const auto& [mode, entry] : entries) {
    if (entry.separateExit && entry.exit == entry.gesture)
      found.push_back(std::string(name(mode)) + "’s stop key must differ from its start shortcut.");
  }

  if (config.cursorEntry.separateExit) {
    if (auto action = table[config.cursorEntry.exit]) {
      found.push_back(config.cursorEntry.exit.displayName() +
                      " stops Moving, so it cannot also be " + quoted(title(*action)) + ".");
    }
  }
  if (config.clickEntry.separateExit) {
    auto bound = controls.find(config.clickEntry.exit);
    if (bound != controls.end()) {
      found.push_back(config.clickEntry.exit.displayName() +
                      " stops Clicking, so it cannot also be " + quoted(title(bound->second)) +
                      ".");
    }
  }

  for (const auto& [mode, entry] : entries) {
    const std::string start = entry.gesture.displayName() + " starts a mode, so it cannot also be ";
    if (auto action = table[entry.gesture]) found.push_back(start + quoted(title(*action)) + ".");
    auto bound = controls.find(entry.gesture);
    if (bound != controls.end()) found.push_back(start + quoted(title(bound->second)) + ".");
  }

  if (LabelGenerator::usableAlphabet(config.clickAlphabet).size() < 2)
    found.push_back("Labels need at least two different letters.");

  if (config.motion.initialSpeed > config.motion.maximumSpeed)
    found.push_back("Top speed must be at least the starting speed.");

  return found;
}

std::vector<std::string> warnings(const TovrelConfig& config) {
  std::vector<std::string> found;
  for (const auto& [mode, entry] : config.entries()) {
    const auto& shortcuts = knownSystemShortcuts();
    if (auto known = shortcuts.find(entry.gesture); known != shortcuts.end()) {
      found.push_back(entry.gesture.displayName() + " may already be used by " +
                      std::string(platformText::systemName) + " for " + known->second +
                      ". Tovrel will take it first.");
    }
    if (entry.separateExit && entry.exit.isKey() && entry.exit.modifiers().isEmpty()) {
      auto text = Key::printableText(entry.exit.keyCode());
      // Space's cap reads "Space": it types a character but is no one-character key cap.
      if (text && text->size() == 1) {
        found.push_back(quoted(*text) + " stops " + std::string(name(mode)) +
                        ", so it cannot be typed in Clicking search or used in labels.");
      }
    }
  }
  return found;
}

}  // namespace tovrel::ConfigValidator
