#pragma once

// One running instance per session: the first launch claims the program's name on the session
// bus; a later one finds it claimed and asks the first to show itself.

#include <functional>
#include <string>

namespace tovrel::platform {

class InstanceServices {
 public:
  enum class Claim {
    claimed,       // this process is the instance now
    otherRunning,  // another process holds the name
    unavailable,   // no session bus: the rule cannot be applied
  };

  virtual ~InstanceServices() = default;
  // Claims the name without queueing. `activated` runs on the main thread whenever a later launch
  // asks this instance to show itself, with the launch's startup id (empty when it had none).
  virtual Claim claim(std::function<void(const std::string& startupId)> activated) = 0;
  // Asks the instance holding the name to show itself; false when it did not answer.
  virtual bool activateOther(const std::string& startupId) = 0;
};

// Termination requests from outside (SIGTERM, SIGINT, SIGHUP), delivered on the main thread.
class TerminationSignals {
 public:
  virtual ~TerminationSignals() = default;
  // From now on each such signal runs `requested` on the main thread instead of ending the
  // process; the signal's number is passed.
  virtual void install(std::function<void(int signal)> requested) = 0;
};

}  // namespace tovrel::platform
