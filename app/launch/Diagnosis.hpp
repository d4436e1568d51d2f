#pragma once

// The permission diagnosis the program answers before any window exists.

#include <cstdio>

#include "app/launch/LaunchPlan.hpp"
#include "system/Permissions.hpp"

namespace tovrel::launch {

// 0 when an active tap can be created and secure input is off, else 2.
int diagnosisStatus(const PermissionReport& report);

// Prints the report as pretty JSON with sorted keys and a line break to `out`, or writes the same
// JSON without the line break to the requested path as every text output is written: a file
// replaced at once, a pipe or a terminal written straight into.
// Returns the exit status: diagnosisStatus, or 1 when the file could not be written (the reason
// goes to `errors`).
int writeDiagnosis(const PermissionReport& report, const DiagnosisRequest& request, std::FILE* out,
                   std::FILE* errors);

}  // namespace tovrel::launch
