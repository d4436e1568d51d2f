#pragma once

// Starting the program when the user logs in: the desktop's list of programs started at login.

#include <optional>
#include <string>
#include <string_view>

namespace tovrel::platform {

// Added to the command line the login item starts, so that launch can be told apart.
inline constexpr char loginLaunchMarker[] = "--launched-at-login";

class LoginItemServices {
 public:
  // What the settings show; `notFound` when the program's own location cannot be told.
  enum class Status { notRegistered, enabled, requiresApproval, notFound };

  virtual ~LoginItemServices() = default;
  virtual Status status() = 0;
  // Nothing on success, else the reason as the desktop or the file system gave it (no sentence
  // around it: the caller words it).
  virtual std::optional<std::string> setEnabled(bool on) = 0;
};

}  // namespace tovrel::platform
