#pragma once

// The session's input services: an active tap that sees every key and pointer event before the
// applications do and may swallow it, an event source for synthetic pointer events, and the
// pointer's location.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/Keys.hpp"
#include "platform/InputEvent.hpp"

namespace tovrel::platform {

// Called on the main thread for every event the tap's mask selects, and with the two
// tap-disabled types. Returning true swallows the event. Where the desktop cannot swallow an event
// (it was only observed), the answer is ignored.
using TapCallback = std::function<bool(EventType, const InputEvent&)>;

// Which key presses the tap must be able to swallow. The desktop can hold back only the presses it
// was asked for in advance: while navigation is off only the entry chords, while a mode is on every
// key. Everything else is still seen, but reaches the applications whatever the answer.
struct KeyInterception {
  struct Chord {
    std::uint16_t keyCode = 0;
    Modifiers modifiers;
    bool operator==(const Chord&) const = default;
  };
  bool allKeys = false;
  std::vector<Chord> chords;
  // Modifier keys whose lone tap the program takes. The desktop keeps applications from taking such
  // a tap as a lone tap of their own (a menu bar armed by Alt), and from nothing else: the modifier
  // still makes chords and AltGr characters.
  std::vector<std::uint16_t> modifierTaps;
  // While every key is grabbed: the keys the mode itself uses, swallowed even when the answer
  // comes too late (any other key then passes). Only keys that are the mode's whatever has the
  // focus belong here.
  std::vector<Chord> modeKeys{};
  // Whether the press of a modifier tap is kept from the application in front; not from this
  // program's own windows, whose shortcut recorder takes such a tap as a shortcut.
  bool withholdModifierTaps = true;
  bool operator==(const KeyInterception&) const = default;
};

// Delivery of a tap's events into the main loop; removing it (destroying it) stops delivery.
class TapSource {
 public:
  virtual ~TapSource() = default;
};

class TapPort {
 public:
  virtual ~TapPort() = default;
  virtual void enable(bool enabled) = 0;
  virtual bool isEnabled() const = 0;
  virtual std::unique_ptr<TapSource> addToMainLoop() = 0;
  // After this the callback is never called again.
  virtual void invalidate() = 0;
  virtual void setKeyInterception(const KeyInterception& interception) = 0;
  // While every key is grabbed, asked on the desktop's own thread about a key press or repeat,
  // and only when the callback has handled every event before it: the answer the callback would
  // give (true swallows), or nothing when only the callback can tell. An answer is acted on at
  // once; the callback then hears the event (a passed one with `passedByTap` set), and what it
  // answers changes nothing. It must be safe to call from that thread, and quick. Empty: the
  // callback decides every press.
  using KeyOwnership = std::function<std::optional<bool>(EventType, const InputEvent&)>;
  virtual void setKeyOwnership(KeyOwnership owner) { (void)owner; }
  // Replaces the mask the tap was created with: the callback gets only these types from now on.
  // The desktop stops listening for the rest, so an event nobody wants costs nothing (every
  // pointer move would otherwise wake the program).
  virtual void setEventMask(std::uint64_t mask) = 0;
  // Called from the callback: what this press sets off (a click, an accessibility action, reading
  // the front window) needs the keyboard as the applications would have it without the tap. A
  // desktop whose tap holds the keyboard while a swallowed key is down lets it go with the answer
  // (a popup a click opens must take the keyboard; a toolkit counts its window inactive while
  // another client holds it). The key's release may then reach the focused application.
  virtual void freeInputAfterAnswer() {}
};

// An event source for the program's own synthetic pointer events.
class EventSource {
 public:
  virtual ~EventSource() = default;
  // Posts one mouse event (types 1–7, 25–27: `type`, `location`, `buttonNumber`, `clickState`,
  // `sourceUserData`) or one pixel scroll-wheel event (type 22: `scrollWheel1`, `scrollWheel2`,
  // `sourceUserData`, and `location` when `hasLocation`). False when the event cannot be created.
  virtual bool post(const InputEvent& event, bool hasLocation = true) = 0;
};

class EventServices {
 public:
  virtual ~EventServices() = default;
  // An active tap at the head of the session's event stream; nullptr when the desktop refuses.
  virtual std::unique_ptr<TapPort> createTap(std::uint64_t mask, TapCallback callback) = 0;
  virtual std::unique_ptr<EventSource> createSource() = 0;
  // Global top-left coordinates; nothing when it cannot be read.
  virtual std::optional<Point> pointerLocation() = 0;
  virtual bool preflightListenEventAccess() = 0;
  virtual bool requestListenEventAccess() = 0;
};

}  // namespace tovrel::platform
