#pragma once

// Judges a whole configuration. Problems block saving and applying; warnings are advice shown next
// to the entry shortcuts. Every finding is a complete sentence meant to be shown as it is.

#include <string>
#include <unordered_map>
#include <vector>

#include "core/Keys.hpp"
#include "core/TovrelConfig.hpp"

namespace tovrel::ConfigValidator {

// Key chords the common Linux desktops (GNOME, KDE Plasma, Xfce) keep for themselves, with the
// function each one serves. Built once on first use.
const std::unordered_map<Gesture, std::string>& knownSystemShortcuts();

// Empty when the configuration may be saved and applied. Every rule runs; the findings come in
// rule order.
std::vector<std::string> problems(const TovrelConfig& config);

// Entry shortcuts the desktop may already use, and stop keys that can then no longer be typed.
// Independent of the problems.
std::vector<std::string> warnings(const TovrelConfig& config);

}  // namespace tovrel::ConfigValidator
