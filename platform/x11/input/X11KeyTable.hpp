#pragma once

// The one table between X keycodes and the key codes the settings file stores. X keycodes are
// those of the evdev keymap every current X server uses (the Linux input code plus 8); keys are
// matched by position on an ANSI keyboard, so a binding follows the physical key whatever the
// layout.

#include <cstdint>
#include <optional>

namespace tovrel::platform::x11 {

std::optional<std::uint16_t> keyCodeForXKeycode(unsigned xKeycode);
std::optional<unsigned> xKeycodeForKeyCode(std::uint16_t keyCode);

// The X keysym's text as UTF-32: printable keysyms, the keys that type a control character
// (Return "\r", BackSpace 0x08, Delete 0x7F, Tab, Escape) and the keypad; 0 for keys that type
// nothing (arrows, function keys, modifiers).
char32_t keysymToUnicode(unsigned long keysym);

}  // namespace tovrel::platform::x11
