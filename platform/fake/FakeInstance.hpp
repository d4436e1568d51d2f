#pragma once

#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/SingleInstance.hpp"

namespace tovrel::platform::fake {

// The session's one-instance rule in memory: the claim answers what the test scripted, and a
// later launch asking this instance to show itself is `activate`.
class FakeInstanceServices : public InstanceServices {
 public:
  Claim claim(std::function<void(const std::string& startupId)> activated) override;
  bool activateOther(const std::string& startupId) override;

  // A later launch asks this instance to show itself; false when no successful claim is listening.
  bool activate(const std::string& startupId = {});

  Claim claimAnswer = Claim::claimed;
  bool otherAnswers = true;  // what activateOther returns
  int claims = 0;
  std::vector<std::string> activateOtherCalls;  // the startup ids passed, in order

 private:
  std::function<void(const std::string&)> activated_;
};

// Termination signals in memory: `fire` is a signal arriving.
class FakeTerminationSignals : public TerminationSignals {
 public:
  // Throws as the real one does when `failure` is set: std::system_error with that error.
  void install(std::function<void(int signal)> requested) override;

  // False when nothing is installed, as the signal would then end the process its default way.
  bool fire(int signal);

  int installs = 0;
  std::optional<std::errc> failure;

 private:
  std::function<void(int)> requested_;
};

}  // namespace tovrel::platform::fake
