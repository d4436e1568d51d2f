#pragma once

// Xlib's default handlers end the process on any protocol error and on a lost connection; a
// keyboard utility must survive both (another client owning a chord, the server restarting). This
// file owns the process's Xlib error handlers: errors are routed to the trap that is waiting for
// them on that connection, or logged, and a lost connection is logged and marked so its owner can
// stop using it.

#include <memory>

typedef struct _XDisplay Display;

namespace tovrel::platform::x11 {

// Installs the handlers once per process; later calls only re-assert them, since a toolkit that
// opens its own Xlib connection (Qt does) replaces the process-wide error handler with its own.
void installErrorHandlers();

struct DisplayCloser {
  void operator()(Display* display) const;
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// A connection of our own, protected against exiting when it is lost. Nothing when no server
// answers. `name` as for XOpenDisplay (nullptr: $DISPLAY).
DisplayPtr openDisplay(const char* name = nullptr);

// The connection broke; every later request on it fails at once.
bool connectionLost(Display* display);

// Collects the protocol errors of one connection while it lives. Traps nest (the innermost gets
// the errors) and may be used on different connections from different threads at once.
class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display);
  ~ErrorTrap();
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  // Waits until the server has handled every request sent so far; true when none of them failed
  // (and the connection is alive).
  bool check();
  int errorCount() const;
  bool sawBadAccess() const;
  // The first error's code (BadAccess, BadValue, …); 0 when none.
  int firstErrorCode() const;

  struct State {
    int count = 0;
    int firstCode = 0;
    bool badAccess = false;
  };

 private:
  Display* display_;
  State state_;
};

}  // namespace tovrel::platform::x11
