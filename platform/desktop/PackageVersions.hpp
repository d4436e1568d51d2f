#pragma once

// An application's version, as far as the system knows one: the version of the Debian package
// that installed its executable. Applications carry no version of their own that another process
// could read.

#include <optional>
#include <string>
#include <string_view>

#include "platform/Workspace.hpp"

namespace tovrel::platform::desktop {

// "" when the executable is unknown or no installed package owns it. Asks the package database,
// which takes a few tens of milliseconds.
std::string packageVersion(const RunningApplication& application);

// The package named first in `dpkg-query --search` output for one path ("coreutils: /bin/ls",
// "libc6:amd64, libc6:i386: /lib/x.so"), without its architecture; diversion lines are passed
// over.
std::optional<std::string> owningPackage(std::string_view searchOutput);

}  // namespace tovrel::platform::desktop
