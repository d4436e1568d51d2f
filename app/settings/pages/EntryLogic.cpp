#include "app/settings/pages/EntryLogic.hpp"

#include "core/ConfigValidator.hpp"

namespace tovrel::settings {

namespace {

// The bytes of the first UTF-8 character of `text`.
std::size_t firstCharacterLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text.front());
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  return std::min(length, text.size());
}

std::size_t characterCount(std::string_view text) {
  std::size_t count = 0;
  while (!text.empty()) {
    text.remove_prefix(firstCharacterLength(text));
    ++count;
  }
  return count;
}

}  // namespace

std::optional<EntryMode> entryMode(InteractionMode mode) {
  switch (mode) {
    case InteractionMode::cursor:
      return EntryMode{mode, name(mode), &TovrelConfig::cursorEntry, "cursor.entry"};
    case InteractionMode::click:
      return EntryMode{mode, name(mode), &TovrelConfig::clickEntry, "click.entry"};
    case InteractionMode::scroll:
      return EntryMode{mode, name(mode), &TovrelConfig::scrollEntry, "scroll.entry"};
    case InteractionMode::off:
      break;
  }
  return std::nullopt;
}

std::vector<std::string> entryWarnings(const TovrelConfig& config, InteractionMode mode) {
  const std::optional<EntryMode> entry = entryMode(mode);
  if (!entry) return {};
  const std::string start = (config.*(entry->field)).gesture.displayName();
  std::vector<std::string> kept;
  for (std::string& warning : ConfigValidator::warnings(config))
    if (warning.find(start) != std::string::npos || warning.find(entry->title) != std::string::npos)
      kept.push_back(std::move(warning));
  return kept;
}

std::string shortenCaption(std::string_view text) {
  if (characterCount(text) <= 2 || text == Key::name(Key::space)) return std::string(text);
  if (text == Key::name(Key::returnKey)) return "↵";
  return std::string(text.substr(0, firstCharacterLength(text)));
}

PreviewCaptions previewCaptions(const TovrelConfig& config) {
  PreviewCaptions captions;
  const std::pair<CursorAction, std::string*> wanted[] = {
      {CursorAction::moveUp, &captions.up},       {CursorAction::moveLeft, &captions.left},
      {CursorAction::moveDown, &captions.down},   {CursorAction::moveRight, &captions.right},
      {CursorAction::leftClick, &captions.click},
  };
  for (const auto& [action, caption] : wanted) {
    for (const CursorBinding& binding : config.cursorBindings) {
      if (binding.action != action) continue;
      *caption = shortenCaption(binding.gesture.displayName());
      break;
    }
  }
  return captions;
}

bool accessCardShown(bool accessAllowed, bool assumesAccess, bool secureInputActive) {
  return !accessAllowed || (!assumesAccess && secureInputActive);
}

std::string accessCardTitle(bool secureInputActive, const std::optional<std::string>& holder) {
  if (secureInputActive) return holder.value_or("Another app") + " has a password field active";
  return "Tovrel needs Accessibility access";
}

std::optional<EntryEdit> startEdit(const TovrelConfig& config, InteractionMode mode,
                                   const std::optional<Gesture>& gesture) {
  const std::optional<EntryMode> entry = entryMode(mode);
  if (!entry || !gesture) return std::nullopt;
  EntryEdit edit{config, std::string(entry->title) + " starts with " + gesture->displayName()};
  (edit.config.*(entry->field)).gesture = *gesture;
  return edit;
}

std::optional<EntryEdit> stopEdit(const TovrelConfig& config, InteractionMode mode,
                                  const std::optional<Gesture>& gesture) {
  const std::optional<EntryMode> entry = entryMode(mode);
  if (!entry || !gesture) return std::nullopt;
  EntryEdit edit{config, std::string(entry->title) + " stops with " + gesture->displayName()};
  (edit.config.*(entry->field)).exit = *gesture;
  return edit;
}

}  // namespace tovrel::settings
