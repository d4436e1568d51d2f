#pragma once

// The settings window's pages in sidebar order; the stored text is the sidebar title.

#include <array>
#include <string_view>

#include "core/EnumTable.hpp"

namespace tovrel {

enum class SettingsPage { click, scroll, cursor, general, about };

template <>
struct EnumInfo<SettingsPage> {
  static constexpr std::string_view typeName = "SettingsPage";
  static constexpr std::array<std::string_view, 5> raw = {"Clicking", "Scrolling", "Moving",
                                                          "General", "About"};
};

}  // namespace tovrel
