#include "platform/x11/X11Errors.hpp"

#include <X11/Xlib.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tovrel::platform::x11 {

namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<Display*, std::vector<ErrorTrap::State*>> traps;
  std::unordered_set<Display*> ours;
  std::unordered_set<Display*> lost;
};

Registry& registry() {
  static Registry instance;
  return instance;
}

// Xlib's own handlers: never chained to, since both end the process.
std::atomic<XErrorHandler> xlibDefaultError{nullptr};
// The handler someone else installed after us (a toolkit's): errors on its connections go there.
std::atomic<XErrorHandler> foreignError{nullptr};

int onError(Display* display, XErrorEvent* event) {
  bool mine = false;
  {
    std::lock_guard lock(registry().mutex);
    auto found = registry().traps.find(display);
    if (found != registry().traps.end() && !found->second.empty()) {
      ErrorTrap::State& state = *found->second.back();
      if (state.count++ == 0) state.firstCode = event->error_code;
      if (event->error_code == BadAccess) state.badAccess = true;
      return 0;
    }
    mine = registry().ours.contains(display);
  }
  XErrorHandler foreign = foreignError.load();
  if (!mine && foreign != nullptr) return foreign(display, event);
  std::fprintf(stderr, "tovrel: X error %d (request %d.%d, resource 0x%lx) ignored\n",
               event->error_code, event->request_code, event->minor_code, event->resourceid);
  return 0;
}

void markLost(Display* display) {
  bool first = false;
  {
    std::lock_guard lock(registry().mutex);
    first = registry().lost.insert(display).second;
  }
  if (first) std::fprintf(stderr, "tovrel: the connection to the X server was lost\n");
}

int onIOError(Display* display) {
  markLost(display);
  return 0;
}

// Called after the I/O error handler returns; Xlib's default one calls exit().
void onIOErrorExit(Display* display, void*) {
  markLost(display);
}

void assertHandlers() {
  XErrorHandler previous = XSetErrorHandler(onError);
  if (previous != onError && previous != xlibDefaultError.load() && previous != nullptr)
    foreignError.store(previous);
  XSetIOErrorHandler(onIOError);
}

}  // namespace

void installErrorHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    XInitThreads();
    // Setting nullptr restores Xlib's default, and the next call hands back its address.
    XSetErrorHandler(nullptr);
    xlibDefaultError.store(XSetErrorHandler(onError));
  });
  assertHandlers();
}

void DisplayCloser::operator()(Display* display) const {
  if (display == nullptr) return;
  XCloseDisplay(display);
  std::lock_guard lock(registry().mutex);
  registry().ours.erase(display);
  registry().lost.erase(display);
  registry().traps.erase(display);
}

DisplayPtr openDisplay(const char* name) {
  installErrorHandlers();
  Display* display = XOpenDisplay(name);
  if (display == nullptr) return nullptr;
  XSetIOErrorExitHandler(display, onIOErrorExit, nullptr);
  std::lock_guard lock(registry().mutex);
  registry().ours.insert(display);
  registry().lost.erase(display);  // a new connection may reuse a closed one's address
  return DisplayPtr(display);
}

bool connectionLost(Display* display) {
  std::lock_guard lock(registry().mutex);
  return registry().lost.contains(display);
}

ErrorTrap::ErrorTrap(Display* display) : display_(display) {
  assertHandlers();
  std::lock_guard lock(registry().mutex);
  registry().traps[display_].push_back(&state_);
}

ErrorTrap::~ErrorTrap() {
  // Errors of requests sent inside the trap must not reach the logging handler after it.
  XSync(display_, False);
  std::lock_guard lock(registry().mutex);
  auto found = registry().traps.find(display_);
  if (found == registry().traps.end()) return;
  auto& stack = found->second;
  stack.erase(std::remove(stack.begin(), stack.end(), &state_), stack.end());
  if (stack.empty()) registry().traps.erase(found);
}

bool ErrorTrap::check() {
  XSync(display_, False);
  std::lock_guard lock(registry().mutex);
  return state_.count == 0 && !registry().lost.contains(display_);
}

int ErrorTrap::errorCount() const {
  std::lock_guard lock(registry().mutex);
  return state_.count;
}

bool ErrorTrap::sawBadAccess() const {
  std::lock_guard lock(registry().mutex);
  return state_.badAccess;
}

int ErrorTrap::firstErrorCode() const {
  std::lock_guard lock(registry().mutex);
  return state_.firstCode;
}

}  // namespace tovrel::platform::x11
