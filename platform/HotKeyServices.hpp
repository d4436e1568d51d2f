#pragma once

// System-wide hot keys: key chords that reach the program even while it cannot read the keyboard.

#include <cstdint>
#include <functional>
#include <memory>

namespace tovrel::platform {

struct HotKeyID {
  std::uint32_t signature = 0;
  std::uint32_t id = 0;
  bool operator==(const HotKeyID&) const = default;
};

// The hot-key modifier mask.
namespace hotKeyModifier {
inline constexpr std::uint32_t command = 256;
inline constexpr std::uint32_t shift = 512;
inline constexpr std::uint32_t option = 2048;
inline constexpr std::uint32_t control = 4096;
}  // namespace hotKeyModifier

namespace hotKeyStatus {
inline constexpr std::int32_t noError = 0;
inline constexpr std::int32_t eventNotHandled = -9874;
}  // namespace hotKeyStatus

// A registered hot key; destroying it unregisters it.
class HotKeyRegistration {
 public:
  virtual ~HotKeyRegistration() = default;
};

// An installed hot-key handler; destroying it removes it.
class HotKeyHandlerRegistration {
 public:
  virtual ~HotKeyHandlerRegistration() = default;
};

// Called on the main thread for every pressed hot key of the program, with its id (nothing when
// the event carries none); answers a `hotKeyStatus`.
using HotKeyHandler = std::function<std::int32_t(const HotKeyID*)>;

class HotKeyServices {
 public:
  virtual ~HotKeyServices() = default;
  virtual std::unique_ptr<HotKeyHandlerRegistration> installHandler(HotKeyHandler handler) = 0;
  // Nothing when the desktop refuses the chord (another program owns it).
  virtual std::unique_ptr<HotKeyRegistration> registerHotKey(std::uint16_t keyCode,
                                                             std::uint32_t modifierMask,
                                                             HotKeyID id) = 0;
  // Some application holds secure keyboard input: the tap hears no keys.
  virtual bool isSecureEventInputEnabled() = 0;
};

}  // namespace tovrel::platform
