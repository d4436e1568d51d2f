#pragma once

// Elements of other applications' trees read over AT-SPI. Each element remembers what it last
// learnt about its object for about a second: reading "AXChildren" asks every child at once for
// everything a walk reads about it, so the walk's later reads cost no round trip.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Accessibility.hpp"
#include "platform/atspi/AtspiBus.hpp"
#include "platform/atspi/AtspiRoles.hpp"
#include "platform/atspi/AtspiWindows.hpp"

namespace tovrel::platform::atspi {

// What every element of one backend shares; lives as long as any of them.
struct Shared {
  Bus bus;
  std::function<std::optional<std::int32_t>()> keyboardFocusPid;
  std::function<void()> beforeAction;
  WindowsOfProcess windowsOf;
  // The windows last listed for a process, and when: one read places many frames by the same
  // list. A read that starts anew at the application (a discovery, a scroll-area search) lists
  // them again, and so does a placement that finds no window of its frame in the list.
  struct WindowList {
    std::int32_t pid = 0;
    std::vector<ScreenWindow> windows;
    double at = -1e9;
  };
  std::mutex windowListMutex;
  WindowList windowList;
  // Each application's toolkit name and version, by bus name, once read; or nothing, when it
  // last failed to say in time, and when that was.
  struct ToolkitAnswer {
    std::optional<std::pair<std::string, std::string>> toolkit;
    double at = 0;
  };
  std::mutex toolkitMutex;
  std::map<QString, ToolkitAnswer> toolkits;
  // The interfaces of the objects met, by bus and path. An object's interfaces are fixed for its
  // life, and they must be known before it is asked anything only some objects answer: a toolkit
  // logs an error for every question its object has no interface for.
  std::mutex interfacesMutex;
  std::map<QString, std::map<QString, std::uint32_t>> interfacesByBus;
  std::size_t interfacesKnown = 0;
  // When a read-ahead last ran out of time: for a snapshot's lifetime after, the rest of that
  // tree is read as the walk goes, so that the walk's own time budget still decides how much of
  // it is read.
  std::atomic<double> readAheadCutAt{-1e9};
};

// How long a list of an application's windows serves the frames placed within one read.
inline constexpr double windowListLifetime = 0.5;
// The windows of a process, from the list of this read unless `anew` (listing them asks the
// window system a few questions of every window on the screen).
struct ListedWindows {
  std::vector<ScreenWindow> windows;
  bool reused = false;
};
ListedWindows windowsOf(Shared& shared, std::int32_t pid, bool anew);
// How long facts read from an application are trusted before they are read again.
inline constexpr double snapshotLifetime = 1.0;
// The time-out of an element nobody has set one on.
inline constexpr double defaultMessagingTimeout = 1.0;

// A fact read from the application, or the error that kept it from being read, and when.
template <class T>
struct Fact {
  std::optional<AXResult<T>> value;
  double at = 0;

  bool fresh(double now) const { return value.has_value() && now - at < snapshotLifetime; }
};

class NodeState;
using NodeStatePtr = std::shared_ptr<NodeState>;

// For a toolkit whose frames are relative to their window: how the elements of one top-level
// window are moved onto the screen. Shared by every node of that window.
struct WindowPlacement {
  explicit WindowPlacement(ObjectRef topLevel) : topLevel(std::move(topLevel)) {}

  const ObjectRef topLevel;
  std::mutex mutex;
  // The top-level's own frame as its toolkit reports it, its name and active state (which tell
  // windows of one size apart), and the shift found for it, when.
  std::optional<Extents> reported;
  std::string name;
  std::optional<bool> active;
  std::optional<Shift> shift;
  double shiftAt = -1e9;
};

// What is known about one object. Shared by every element made for it through the same parent,
// so reading the same children twice within the lifetime asks nothing again.
class NodeState {
 public:
  NodeState(ObjectRef ref, std::optional<std::int32_t> pid, ToolkitConventions conventions = {},
            std::shared_ptr<WindowPlacement> window = {})
      : ref(std::move(ref)), pid(pid), conventions(conventions), window(std::move(window)) {}

  const ObjectRef ref;
  const std::optional<std::int32_t> pid;
  // Its application's; the window is set below a top-level whose frames are window-relative.
  const ToolkitConventions conventions;
  const std::shared_ptr<WindowPlacement> window;
  // A pop-up of such a window that lies on a surface of its own: its placement, which its
  // children take once that surface was found. Guarded by the mutex.
  std::shared_ptr<WindowPlacement> surface;

  mutable std::mutex mutex;
  // Where it sits; learnt once and kept.
  std::optional<ObjectRef> parent;
  std::optional<std::uint32_t> parentRole;
  Placement placement = Placement::unknown;
  // Read from the application; trusted for snapshotLifetime.
  Fact<std::uint32_t> role;
  Fact<StateSet> states;
  Fact<std::uint32_t> interfaces;
  Fact<Extents> extents;
  Fact<std::string> name;
  Fact<std::string> description;
  Fact<std::vector<NodeStatePtr>> children;
  Fact<std::map<std::string, std::string>> attributes;
  Fact<std::vector<std::string>> actions;   // AT-SPI's names
  Fact<std::vector<ObjectRef>> labelledBy;  // the targets of its "labelled by" relation
  // For the facts that change while a program runs (where it is, whether it is enabled): the
  // time stamp of the snapshot that last answered each attribute. A snapshot answers one read of
  // an attribute; the next asks the application again, so that a check made after the walk (has
  // the control moved? is it still enabled?) sees the control as it is now.
  std::map<std::string, double, std::less<>> servedAt;
  // When a read-ahead last asked for the snapshots of its children: until the lifetime has
  // passed, reading the children asks nothing.
  double childrenReadAheadAt = -1e9;

  // After a write or an action the object may have changed: read everything live again.
  void invalidate();
};

// A node reached from `from` (its child, parent, a relation's target): of the same application
// when on the same bus, and of the same window unless it is the application itself. A child of
// the application is a top-level window of its own.
NodeStatePtr stateNear(const ObjectRef& ref, const NodeState& from);
// The same, placed by `placement` (a child of a pop-up on its own surface).
NodeStatePtr stateNear(const ObjectRef& ref, const NodeState& from,
                       std::shared_ptr<WindowPlacement> placement);

// The interfaces `ref` is known to offer, from an earlier answer of its own.
std::optional<std::uint32_t> knownInterfaces(Shared& shared, const ObjectRef& ref);
void rememberInterfaces(Shared& shared, const ObjectRef& ref, std::uint32_t interfaces);

// An application that did not name its toolkit in time is not asked again for this long: every
// read of it would otherwise wait for the same two unanswered questions first.
inline constexpr double toolkitRetrySeconds = 5.0;

// The toolkit name and version of the application behind `bus`, read once and remembered.
std::optional<std::pair<std::string, std::string>> toolkitOf(Shared& shared, const QString& bus,
                                                             double timeout);

// The element standing for an application: reads through it fail while the application is not
// registered on the bus. This process's own application is read in-process instead.
AXElement applicationElement(const std::shared_ptr<Shared>& shared, std::int32_t pid);
AXElement systemWideElement(const std::shared_ptr<Shared>& shared);

}  // namespace tovrel::platform::atspi
