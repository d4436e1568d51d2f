#include "core/Actions.hpp"

#include <cstddef>

namespace tovrel {

namespace {

struct CursorActionInfo {
  std::string_view title;
  CursorActionGroup group;
  bool isHold;
};

constexpr std::array<CursorActionInfo, 18> cursorActions = {{
    {"Move up", CursorActionGroup::move, true},
    {"Move down", CursorActionGroup::move, true},
    {"Move left", CursorActionGroup::move, true},
    {"Move right", CursorActionGroup::move, true},
    {"Scroll up", CursorActionGroup::scroll, true},
    {"Scroll down", CursorActionGroup::scroll, true},
    {"Scroll left", CursorActionGroup::scroll, true},
    {"Scroll right", CursorActionGroup::scroll, true},
    {"Left click", CursorActionGroup::buttons, false},
    {"Right click", CursorActionGroup::buttons, false},
    {"Middle click", CursorActionGroup::buttons, false},
    {"Back button", CursorActionGroup::buttons, false},
    {"Forward button", CursorActionGroup::buttons, false},
    {"Double click", CursorActionGroup::buttons, false},
    {"Drag", CursorActionGroup::holds, true},
    {"Precision", CursorActionGroup::holds, true},
    {"Speed boost", CursorActionGroup::holds, true},
    {"Show keys", CursorActionGroup::other, false},
}};

constexpr std::array<std::string_view, 7> clickControlTitles = {
    "Search targets", "Next target",   "Previous target", "Activate selected",
    "Back / delete",  "Change action", "Refresh targets",
};

constexpr std::array<std::string_view, 4> targetActionTitles = {"Click", "Right click",
                                                                "Double click", "Move pointer"};

template <class E>
constexpr std::size_t index(E value) {
  return static_cast<std::size_t>(value);
}

}  // namespace

std::string_view title(CursorAction action) {
  return cursorActions[index(action)].title;
}

CursorActionGroup group(CursorAction action) {
  return cursorActions[index(action)].group;
}

bool isHold(CursorAction action) {
  return cursorActions[index(action)].isHold;
}

std::string_view title(ClickControl control) {
  return clickControlTitles[index(control)];
}

std::string_view title(TargetAction action) {
  return targetActionTitles[index(action)];
}

TargetAction next(TargetAction action) {
  return static_cast<TargetAction>((index(action) + 1) % targetActionTitles.size());
}

}  // namespace tovrel
