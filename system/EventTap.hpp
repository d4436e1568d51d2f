#pragma once

// The one active tap at the head of the session's event stream. Every key and pointer event is
// handed, synchronously and on the main thread, to the handler the navigation service supplies;
// its answer decides whether the applications get the event. The program's own synthetic events
// pass untouched.

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Clock.hpp"
#include "platform/EventServices.hpp"

namespace tovrel {

class EventTap {
 public:
  // True swallows the event.
  using Handler = std::function<bool(platform::EventType, const platform::InputEvent&)>;
  // The desktop switched the tap off (it answered too slowly, or by the user's input).
  using Interruption = std::function<void()>;

  // Uninstalled until `install()`.
  EventTap(platform::EventServices& events, const platform::Clock& clock, Handler handler,
           Interruption interruption);
  // The desktop holds a pointer to this object, so it must not outlive it.
  ~EventTap();
  EventTap(const EventTap&) = delete;
  EventTap& operator=(const EventTap&) = delete;

  bool isInstalled() const { return port != nullptr; }
  // True at once when already installed; false, leaving nothing behind, when the desktop refuses.
  bool install();
  void uninstall();

  // Which presses the tap must be able to swallow; kept and handed to every port installed later.
  void setKeyInterception(const platform::KeyInterception& interception);
  const platform::KeyInterception& keyInterception() const { return interception_; }
  // Which presses the desktop may decide without asking; kept like the interception.
  void setKeyOwnership(platform::TapPort::KeyOwnership owner);
  // The event types the handler gets, within EventClassifier::mask; kept like the interception.
  void setEventMask(std::uint64_t mask);
  std::uint64_t eventMask() const { return mask_; }

  std::unique_ptr<platform::TapPort> port;
  std::unique_ptr<platform::TapSource> source;
  Handler handler;
  Interruption interruption;

 private:
  // What the desktop calls with each event; `tap` is the object the callback was made for. True
  // drops the event.
  static bool receive(EventTap* tap, platform::EventType type, const platform::InputEvent& event);

  platform::EventServices& events_;
  const platform::Clock& clock_;
  platform::KeyInterception interception_;
  platform::TapPort::KeyOwnership ownership_;
  std::uint64_t mask_;
};

}  // namespace tovrel
