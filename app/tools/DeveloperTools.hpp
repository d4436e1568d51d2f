#pragma once

// The developer switches: each exercises a real part of the program without user interaction,
// writes its result to files for scripts to check, and ends the process: status 0 when its
// output was written, 1 with the reason on standard error when it could not be.

#include <string>
#include <vector>

namespace tovrel::shell {
class AppDelegate;
}

namespace tovrel::tools {

// The labels "--label-sample" draws, in order.
const std::vector<std::string>& labelSampleList();

// Registers every tool with the delegate.
void registerDeveloperTools(shell::AppDelegate& delegate);

}  // namespace tovrel::tools
