#pragma once

// What keys can do: the actions of cursor mode, the controls of click mode, what activating a click
// target does, and how dragging works. Each stored text equals the case name.

#include <string_view>

#include "core/EnumTable.hpp"

namespace tovrel {

enum class CursorAction {
  moveUp,
  moveDown,
  moveLeft,
  moveRight,
  scrollUp,
  scrollDown,
  scrollLeft,
  scrollRight,
  leftClick,
  rightClick,
  middleClick,
  backButton,
  forwardButton,
  doubleClick,
  dragHold,
  precision,
  boost,
  help,
};

// The display groups of the cursor actions. Never stored: the stored text is the display text.
enum class CursorActionGroup { move, scroll, buttons, holds, other };

enum class ClickControl {
  startSearch,
  nextTarget,
  previousTarget,
  activateSelected,
  backspace,
  cycleAction,
  refresh,
};

enum class TargetAction { press, rightClick, doubleClick, movePointer };

enum class DragStyle { hold, toggle };

template <>
struct EnumInfo<CursorAction> {
  static constexpr std::string_view typeName = "CursorAction";
  static constexpr std::array<std::string_view, 18> raw = {
      "moveUp",        "moveDown",    "moveLeft",  "moveRight",  "scrollUp",    "scrollDown",
      "scrollLeft",    "scrollRight", "leftClick", "rightClick", "middleClick", "backButton",
      "forwardButton", "doubleClick", "dragHold",  "precision",  "boost",       "help",
  };
};

template <>
struct EnumInfo<CursorActionGroup> {
  static constexpr std::string_view typeName = "CursorAction.Group";
  static constexpr std::array<std::string_view, 5> raw = {"Move", "Scroll", "Mouse buttons",
                                                          "Hold keys", "Other"};
};

template <>
struct EnumInfo<ClickControl> {
  static constexpr std::string_view typeName = "ClickControl";
  static constexpr std::array<std::string_view, 7> raw = {
      "startSearch", "nextTarget",  "previousTarget", "activateSelected",
      "backspace",   "cycleAction", "refresh",
  };
};

template <>
struct EnumInfo<TargetAction> {
  static constexpr std::string_view typeName = "TargetAction";
  static constexpr std::array<std::string_view, 4> raw = {"press", "rightClick", "doubleClick",
                                                          "movePointer"};
};

template <>
struct EnumInfo<DragStyle> {
  static constexpr std::string_view typeName = "DragStyle";
  static constexpr std::array<std::string_view, 2> raw = {"hold", "toggle"};
};

std::string_view title(CursorAction action);
CursorActionGroup group(CursorAction action);
// Acts for as long as its key is held: the moves, the scrolls, drag, precision and boost.
bool isHold(CursorAction action);

std::string_view title(ClickControl control);

std::string_view title(TargetAction action);
// The action after this one, and press after the last.
TargetAction next(TargetAction action);

}  // namespace tovrel
