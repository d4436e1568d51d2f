#include "platform/fake/FakeInstance.hpp"

#include <utility>

namespace tovrel::platform::fake {

InstanceServices::Claim FakeInstanceServices::claim(
    std::function<void(const std::string& startupId)> activated) {
  ++claims;
  if (claimAnswer == Claim::claimed) activated_ = std::move(activated);
  return claimAnswer;
}

bool FakeInstanceServices::activateOther(const std::string& startupId) {
  activateOtherCalls.push_back(startupId);
  return otherAnswers;
}

bool FakeInstanceServices::activate(const std::string& startupId) {
  if (!activated_) return false;
  activated_(startupId);
  return true;
}

void FakeTerminationSignals::install(std::function<void(int signal)> requested) {
  ++installs;
  if (failure)
    throw std::system_error(std::make_error_code(*failure), "cannot handle termination signals");
  requested_ = std::move(requested);
}

bool FakeTerminationSignals::fire(int signal) {
  if (!requested_) return false;
  requested_(signal);
  return true;
}

}  // namespace tovrel::platform::fake
