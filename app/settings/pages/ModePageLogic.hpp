#pragma once

// What the Moving and Scrolling pages write, apart from their widgets: the gestures of a cursor
// action, the three edits a binding row makes of a recorded gesture, the speed picker's segments
// and choice, and the scroll speed's change. Each edit is a whole configuration to commit with its
// change text; the validator behind the commit judges duplicates and conflicts.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Actions.hpp"
#include "core/Keys.hpp"
#include "core/TovrelConfig.hpp"

namespace tovrel::settings {

// A configuration to commit with its change text.
struct PageEdit {
  TovrelConfig config;
  std::string change;
};

// The gestures bound to `action`, in the order of the binding list, repeats kept.
std::vector<Gesture> gesturesOf(const TovrelConfig& config, CursorAction action);

// The caption under an action that works while its key is held; empty for the others.
std::string_view heldCaption(CursorAction action);

// The add recorder's cap: "+" beside existing keys, else "Add key".
std::string_view addPlaceholder(bool hasGestures);
// The add recorder's title: "another key for <action title>".
std::string addTitle(CursorAction action);

namespace bindingEdit {

// Sets the first binding (action, old) to `replacement` in place, or removes it when there is
// none. A missing binding leaves the configuration as it is, with the change text all the same.
PageEdit replace(const TovrelConfig& config, CursorAction action, const Gesture& old,
                 const std::optional<Gesture>& replacement);
// Appends (action, gesture); nothing for no gesture.
std::optional<PageEdit> add(const TovrelConfig& config, CursorAction action,
                            const std::optional<Gesture>& gesture);
// Takes `gesture` from every other action and binds it to `action`: in place of the first binding
// (action, old) when `old` is given and bound, else at the end.
PageEdit takeOver(const TovrelConfig& config, CursorAction action, const Gesture& gesture,
                  const std::optional<Gesture>& old);

}  // namespace bindingEdit

namespace speedPicker {

inline constexpr std::string_view custom = "Custom";

// The presets in order, then "Custom" only while the profile equals none of them.
std::vector<std::string> segments(const MotionProfile& motion);
// The preset the profile equals, else "Custom".
std::string selected(const MotionProfile& motion);
// The preset named `name` with the text "Speed: <name>"; nothing for "Custom" or any other name.
std::optional<PageEdit> choose(const TovrelConfig& config, std::string_view name);

}  // namespace speedPicker

namespace scrollSpeed {

inline constexpr double lower = 100;
inline constexpr double upper = 4000;
inline constexpr double step = 10;

// "Scroll speed <whole points> pt/s", the fraction dropped.
std::string changeText(double speed);
// The speed stored exactly as given.
PageEdit edit(const TovrelConfig& config, double speed);

}  // namespace scrollSpeed

}  // namespace tovrel::settings
