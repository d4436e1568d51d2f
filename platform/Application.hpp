#pragma once

// The program's own standing on the desktop: whether it is the active application, which of its
// windows has the keyboard and what inside that window does, and bringing another application to
// the front.

#include <cstdint>
#include <optional>
#include <string>

namespace tovrel::platform {

// Adopted by an input of the program that must see every key, shortcuts included (the settings
// window's shortcut recorder): while it has the keyboard focus nothing is routed and even the mode
// entries are let through to it.
class SuspendsNavigation {
 public:
  virtual ~SuspendsNavigation() = default;
};

// What has the keyboard focus inside the key window.
struct FirstResponder {
  bool isText = false;              // a text input (a line, a text area, an editable box)
  bool suspendsNavigation = false;  // it adopts SuspendsNavigation
  bool operator==(const FirstResponder&) const = default;
};

class ApplicationServices {
 public:
  virtual ~ApplicationServices() = default;
  // Main thread only, every member.
  virtual bool isActive() = 0;
  virtual bool hasKeyWindow() = 0;
  // Nothing without a key window or when nothing in it has the focus.
  virtual std::optional<FirstResponder> firstResponder() = 0;
  // The key window's focus goes back to the window itself.
  virtual void resignFirstResponder() = 0;
  // Asks the desktop to bring another application to the front (its front window); the answer
  // comes later as a workspace notification. False when it has no window to bring.
  virtual bool activate(std::int32_t pid) = 0;
  // Seconds between two clicks that still make a double click.
  virtual double doubleClickInterval() = 0;
  // The launch with this startup-notification id has done its work (a later launch that handed
  // over to this instance): the desktop ends its launch feedback, the busy pointer.
  virtual void completeStartup(const std::string& startupId) = 0;
  // The key code of a key event that one of the program's own windows received, from the event's
  // native scan code (what the toolkit reports for the physical key). Translated through the same
  // table the input tap uses, so a key recorded here is the key the tap later sees. Nothing for a
  // key that has no code.
  virtual std::optional<std::uint16_t> keyCodeOfOwnKeyEvent(std::uint32_t nativeScanCode) = 0;
};

}  // namespace tovrel::platform
