#pragma once

// The ready-made sets of cursor-mode bindings, the default keys of click mode's controls, and the
// per-action difference between two binding lists that a proposed change is reviewed with.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Actions.hpp"
#include "core/ConfigRecords.hpp"
#include "core/Keys.hpp"

namespace tovrel {

struct Preset {
  std::string name;
  std::string summary;
  std::vector<CursorBinding> cursorBindings;
  // A click-mode start gesture that goes with the preset.
  std::optional<Gesture> clickEntry;

  bool operator==(const Preset&) const = default;
};

// Built on first use and shared read-only afterwards.
namespace Presets {
const Preset& standard();
const Preset& mouseless();
const Preset& vim();
const Preset& arrows();
// standard, mouseless, vim, arrows.
const std::vector<Preset>& all();
const std::map<ClickControl, Gesture>& standardClickControls();
}  // namespace Presets

// How the gestures of one action differ between an old and a new binding list.
struct BindingChange {
  CursorAction action;
  std::vector<Gesture> before;  // in the order of the old list, repeats kept
  std::vector<Gesture> after;   // in the order of the new list, repeats kept

  // A list of changes holds at most one change per action.
  std::string_view id() const { return rawValue(action); }

  bool operator==(const BindingChange&) const = default;

  // The actions whose sets of gestures differ, in action declaration order. Order and repetition
  // within a list are no change.
  static std::vector<BindingChange> diff(const std::vector<CursorBinding>& from,
                                         const std::vector<CursorBinding>& to);
};

}  // namespace tovrel
