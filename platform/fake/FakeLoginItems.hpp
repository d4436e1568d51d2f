#pragma once

// The login item as a test scripts it: a status, an optional failure, and every change asked for.

#include <optional>
#include <string>
#include <vector>

#include "platform/LoginItems.hpp"

namespace tovrel::platform::fake {

class FakeLoginItems : public LoginItemServices {
 public:
  Status status() override { return current; }
  // Logs the call; with a scripted failure returns it and keeps the status, else the status
  // follows as the desktop's would.
  std::optional<std::string> setEnabled(bool on) override;

  Status current = Status::notRegistered;
  std::optional<std::string> failure;
  std::vector<bool> requests;
};

}  // namespace tovrel::platform::fake
