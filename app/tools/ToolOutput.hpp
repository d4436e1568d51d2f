#pragma once

// Writing what a developer tool produces. Scripts read these files, so a file that could not be
// written is said on standard error and ends the run with status 1, never passed over. A path is
// the file's name byte for byte, whatever its encoding.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovrel::tools {

// Text outputs. A regular file is replaced at once or not at all; a symbolic link at `path` stays
// and the file it leads to is replaced. The file keeps its permissions, a new one gets the usual
// ones. A pipe, a terminal or another character device is written straight into, as there is no
// file to replace. /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N name a descriptor the
// process holds, whatever it leads to: the bytes go into that descriptor, so a log the shell opened
// for appending keeps what it held. Only a descriptor the caller handed over is written into, and
// only while it leads where it led then; one the program opened itself is refused. A folder or a
// socket is refused. The sentence says why it failed.
std::optional<std::string> writeAtomically(const std::string& path, std::string_view bytes);
// The same, with only the reason when it failed.
std::optional<std::string> replaceAtomically(const std::string& path, std::string_view bytes);
// Takes the descriptors held now as those the caller handed over. The program takes the ones it
// holds as it loads, before it opens any of its own.
void takeHandedDescriptors();
// Writes straight into the file, made when missing (pictures and the probe's JSON); a held
// descriptor's name, a folder or a socket are taken as above.
std::optional<std::string> writeDirectly(const std::string& path, std::string_view bytes);
std::optional<std::string> writeDirectly(const std::string& path,
                                         const std::vector<std::uint8_t>& bytes);

}  // namespace tovrel::tools
