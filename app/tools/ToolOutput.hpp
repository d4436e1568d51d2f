#pragma once

// Writing what a developer tool produces. Scripts read these files, so a file that could not be
// written is said on standard error and ends the run with status 1, never passed over.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovrel::tools {

// Replaces the file at once or not at all (text outputs). The sentence says why it failed.
std::optional<std::string> writeAtomically(const std::string& path, std::string_view bytes);
// Writes straight into the file (pictures and the probe's JSON).
std::optional<std::string> writeDirectly(const std::string& path, std::string_view bytes);
std::optional<std::string> writeDirectly(const std::string& path,
                                         const std::vector<std::uint8_t>& bytes);

}  // namespace tovrel::tools
