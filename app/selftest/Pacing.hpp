#pragma once

// How the live self-test lets time pass. Every pause runs the main event loop, so the program's own
// input handling, its timers and its discoveries go on while the test waits; nothing blocks.

#include <functional>
#include <stdexcept>

namespace tovrel::selftest {

// The program is ending (its event loop was told to quit) while the test waited: the run stops
// where it is.
struct Interrupted : std::runtime_error {
  Interrupted() : std::runtime_error("The self-test was interrupted.") {}
};

class Pacer {
 public:
  virtual ~Pacer() = default;
  // Seconds on a clock that only goes forward.
  virtual double now() = 0;
  // Lets `milliseconds` pass; throws Interrupted when the program is ending.
  virtual void sleep(int milliseconds) = 0;
};

// Sleeps in a nested event loop with a precise timer. Never call it from inside an event handler
// of the program itself.
class EventLoopPacer final : public Pacer {
 public:
  double now() override;
  void sleep(int milliseconds) override;

 private:
  bool interrupted_ = false;
};

inline constexpr int pollMilliseconds = 10;

// Asks `condition` every 10 ms until it holds or `timeout` seconds have passed; at the deadline it
// is asked once more. A condition that holds at once costs no sleep.
bool waitFor(Pacer& pacer, double timeout, const std::function<bool()>& condition);

}  // namespace tovrel::selftest
