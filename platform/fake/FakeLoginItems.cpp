#include "platform/fake/FakeLoginItems.hpp"

namespace tovrel::platform::fake {

std::optional<std::string> FakeLoginItems::setEnabled(bool on) {
  requests.push_back(on);
  if (failure) return failure;
  current = on ? Status::enabled : Status::notRegistered;
  return std::nullopt;
}

}  // namespace tovrel::platform::fake
