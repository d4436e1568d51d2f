#pragma once

// The program's own pictures: the status item's symbol for each mode and the program's icon.
// They are painted, not loaded, so they need neither an icon theme nor an image plugin.

#include <QIcon>
#include <array>
#include <string_view>

namespace tovrel::shell {

// The sizes a panel asks a status item for; every mode icon holds a picture drawn for each.
inline constexpr std::array<int, 6> trayIconSizes = {16, 22, 24, 32, 48, 64};

// The icon for one of the status symbols ("keyboard", "cursorarrow.motionlines",
// "hand.point.up.left", "scroll"): a light glyph with a thin dark rim, readable on light and dark
// panels alike. A name that is none of these gives a null icon.
QIcon modeIcon(std::string_view symbol);

// The program's icon: the installed theme icon "local.tovrel.Tovrel" when there is one, otherwise
// the same picture drawn here.
QIcon appIcon();

}  // namespace tovrel::shell
