#include "app/launch/Diagnosis.hpp"

#include <signal.h>

#include <exception>
#include <optional>
#include <string>

#include "app/tools/ToolOutput.hpp"

namespace tovrel::launch {

namespace {

// A reader that closed its end of the pipe must not end the process before it reports its status:
// while this lives a write into a closed pipe fails with EPIPE instead of raising SIGPIPE.
class IgnoredBrokenPipe {
 public:
  IgnoredBrokenPipe() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    installed_ = sigaction(SIGPIPE, &ignore, &previous_) == 0;
  }
  ~IgnoredBrokenPipe() {
    if (installed_) sigaction(SIGPIPE, &previous_, nullptr);
  }
  IgnoredBrokenPipe(const IgnoredBrokenPipe&) = delete;
  IgnoredBrokenPipe& operator=(const IgnoredBrokenPipe&) = delete;

 private:
  struct sigaction previous_ {};
  bool installed_ = false;
};

// The report's JSON; empty when it cannot be encoded.
std::string encoded(const PermissionReport& report) {
  try {
    return report.toPrettyJson();
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace

int diagnosisStatus(const PermissionReport& report) {
  return report.activeTapCreatable && !report.secureInputActive ? 0 : 2;
}

int writeDiagnosis(const PermissionReport& report, const DiagnosisRequest& request, std::FILE* out,
                   std::FILE* errors) {
  const std::string json = encoded(report);
  if (request.file) {
    if (auto reason = tools::replaceAtomically(*request.file, json)) {
      std::fprintf(errors, "Tovrel: could not write the diagnosis to %s: %s\n",
                   request.file->c_str(), reason->c_str());
      std::fflush(errors);
      return 1;
    }
  } else {
    const IgnoredBrokenPipe guard;
    std::fwrite(json.data(), 1, json.size(), out);
    std::fputc('\n', out);
    std::fflush(out);
  }
  return diagnosisStatus(report);
}

}  // namespace tovrel::launch
