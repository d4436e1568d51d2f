#pragma once

#include <string_view>

#include "core/EnumTable.hpp"

namespace tovrel {

// The four interaction modes. The stored text is the case name; `name` is what every message,
// menu and overlay shows for the mode.
enum class InteractionMode { off, cursor, click, scroll };

template <>
struct EnumInfo<InteractionMode> {
  static constexpr std::string_view typeName = "InteractionMode";
  static constexpr std::array<std::string_view, 4> raw = {"off", "cursor", "click", "scroll"};
};

constexpr std::string_view name(InteractionMode mode) {
  constexpr std::array<std::string_view, 4> names = {"Typing", "Moving", "Clicking", "Scrolling"};
  return names[static_cast<std::size_t>(mode)];
}

}  // namespace tovrel
