#pragma once

// The in-memory input services. A test plays the desktop: it injects events into the live tap,
// switches the tap off, refuses what the desktop may refuse, and reads back every synthetic event
// the program posted. Everything happens synchronously on the calling thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/EventServices.hpp"

namespace tovrel::platform::fake {

// What the desktop knows about one created tap; it outlives the port, so a test can still look
// after the program destroyed it.
struct FakeTapRecord {
  std::uint64_t mask = 0;
  TapCallback callback;
  bool enabled = false;
  int enableCount = 0;    // calls of enable(true)
  int disableCount = 0;   // calls of enable(false)
  bool attached = false;  // a main-loop source delivers its events
  int sourcesAdded = 0;
  int sourcesRemoved = 0;
  bool invalidated = false;
  bool destroyed = false;
  std::vector<KeyInterception> interceptions;  // every interception set, in order
  std::vector<std::uint64_t> masks;            // every mask set after creation, in order
  int freeInputRequests = 0;
  TapPort::KeyOwnership ownership;  // the last one set

  bool delivers() const { return enabled && attached && !invalidated && !destroyed; }
};

class FakeTapPort : public TapPort {
 public:
  FakeTapPort(std::shared_ptr<FakeTapRecord> record, bool refuseSource);
  ~FakeTapPort() override;
  void enable(bool enabled) override;
  bool isEnabled() const override;
  std::unique_ptr<TapSource> addToMainLoop() override;
  void invalidate() override;
  void setKeyInterception(const KeyInterception& interception) override;
  void setEventMask(std::uint64_t mask) override;
  void setKeyOwnership(KeyOwnership owner) override { record_->ownership = std::move(owner); }
  void freeInputAfterAnswer() override { ++record_->freeInputRequests; }

 private:
  std::shared_ptr<FakeTapRecord> record_;
  bool refuseSource_;
};

class FakeEventServices;

class FakeEventSource : public EventSource {
 public:
  explicit FakeEventSource(FakeEventServices& owner) : owner_(owner) {}
  bool post(const InputEvent& event, bool hasLocation) override;

 private:
  FakeEventServices& owner_;
};

class FakeEventServices : public EventServices {
 public:
  struct Posted {
    InputEvent event;
    bool hasLocation = true;
    bool swallowed = false;  // the live tap's answer when the event looped back into it
    bool operator==(const Posted&) const = default;
  };

  std::unique_ptr<TapPort> createTap(std::uint64_t mask, TapCallback callback) override;
  std::unique_ptr<EventSource> createSource() override;
  std::optional<Point> pointerLocation() override;
  bool preflightListenEventAccess() override { return listenAccess; }
  bool requestListenEventAccess() override;

  // Delivers an event as the desktop would: to the newest tap that is enabled, attached to the
  // main loop and not invalidated, and only when its mask selects the type. True: swallowed.
  bool inject(EventType type, const InputEvent& event);
  bool inject(const InputEvent& event) { return inject(event.type, event); }
  // The desktop switches the newest tap off and tells it why.
  void emitDisabled(bool byTimeout);

  // The newest tap not yet destroyed; nullptr when there is none.
  FakeTapRecord* liveTap();
  int liveTapCount() const;

  bool refuseTap = false;
  bool refuseMainLoopSource = false;
  bool refuseSource = false;
  std::set<EventType> refusedEventTypes;  // posting these "cannot create the event"
  Point pointer;
  bool pointerReadable = true;
  bool listenAccess = true;
  bool grantOnRequest = false;
  int accessRequests = 0;

  std::vector<std::shared_ptr<FakeTapRecord>> taps;  // every tap created, oldest first
  std::vector<Posted> posted;

 private:
  friend class FakeEventSource;
  bool post(const InputEvent& event, bool hasLocation);
};

}  // namespace tovrel::platform::fake
