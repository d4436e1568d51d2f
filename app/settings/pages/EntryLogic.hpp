#pragma once

// What a mode's entry section shows and writes, apart from how it is drawn: which configuration
// field belongs to the mode, which validator warnings concern it, the captions of its preview's
// key caps, the access card's condition and title, and the edits its two recorders commit.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/InteractionMode.hpp"
#include "core/Keys.hpp"
#include "core/TovrelConfig.hpp"

namespace tovrel::settings {

struct EntryMode {
  InteractionMode mode;
  std::string_view title;  // "Moving"
  EntryConfig TovrelConfig::*field;
  std::string_view anchor;  // the search anchor's id
};

// Moving, Clicking and Scrolling; nothing for off.
std::optional<EntryMode> entryMode(InteractionMode mode);

// The validator's warnings that name the mode's title or its start gesture, in their order.
std::vector<std::string> entryWarnings(const TovrelConfig& config, InteractionMode mode);

// A gesture's text made to fit a small key cap: one or two characters and "Space" stay, "Enter"
// becomes "↵", anything longer its first character.
std::string shortenCaption(std::string_view text);

struct PreviewCaptions {
  std::string up = "I";
  std::string left = "J";
  std::string down = "K";
  std::string right = "L";
  std::string click = "Space";
  bool operator==(const PreviewCaptions&) const = default;
};

// From the first binding of each action, else the fallbacks above.
PreviewCaptions previewCaptions(const TovrelConfig& config);

// The card shows while Tovrel lacks keyboard access (keyboardAccessAllowed), and while a password
// field holds the keyboard, unless the pictures of the window assume access.
bool accessCardShown(bool accessAllowed, bool assumesAccess, bool secureInputActive);
std::string accessCardTitle(bool secureInputActive, const std::optional<std::string>& holder);
// The card's buttons are offered only when something can be done about it.
inline bool accessCardOffersActions(bool secureInputActive) {
  return !secureInputActive;
}

// A configuration to commit with its change text.
struct EntryEdit {
  TovrelConfig config;
  std::string change;
};

// None for no gesture: a start or stop gesture is never removed from here.
std::optional<EntryEdit> startEdit(const TovrelConfig& config, InteractionMode mode,
                                   const std::optional<Gesture>& gesture);
std::optional<EntryEdit> stopEdit(const TovrelConfig& config, InteractionMode mode,
                                  const std::optional<Gesture>& gesture);

}  // namespace tovrel::settings
