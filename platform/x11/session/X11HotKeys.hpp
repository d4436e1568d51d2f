#pragma once

// System-wide hot keys as passive key grabs on the root window, on a connection of their own.
//
// A grab matches the modifier state exactly, and Caps Lock and Num Lock are modifiers to X, so
// every chord is grabbed four times: plain, with Lock, with Num Lock and with both.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/HotKeyServices.hpp"
#include "platform/x11/session/X11EventWatch.hpp"

namespace tovrel::platform::x11 {

// X modifier state bits (ShiftMask … Mod5Mask), spelled out so this header needs no X headers.
namespace xModifier {
inline constexpr unsigned shift = 1u << 0;
inline constexpr unsigned lock = 1u << 1;
inline constexpr unsigned control = 1u << 2;
inline constexpr unsigned mod1 = 1u << 3;
inline constexpr unsigned mod2 = 1u << 4;
inline constexpr unsigned mod4 = 1u << 6;
inline constexpr unsigned all = 0xFF;
}  // namespace xModifier

// Which modifier bits the Command (Super), Option (Alt) and Num Lock keys set. The keyboard's
// modifier map decides; these are the usual assignments.
struct ModifierBits {
  unsigned command = xModifier::mod4;
  unsigned option = xModifier::mod1;
  unsigned numLock = xModifier::mod2;
  bool operator==(const ModifierBits&) const = default;
};

// From the keysyms on each of the eight modifier rows (Shift, Lock, Control, Mod1 … Mod5). A key
// found only on the Shift, Lock or Control row is ignored; a key found nowhere keeps its default
// bit, except Num Lock, which then has no bit.
ModifierBits modifierBitsFromKeysyms(const std::array<std::vector<unsigned long>, 8>& rows);

// The X modifier state for a hot-key modifier mask; bits the mask does not define are ignored.
unsigned xModifiersForHotKeyMask(std::uint32_t modifierMask, const ModifierBits& bits);

// The states to grab for one chord so that Caps Lock and Num Lock do not matter.
std::vector<unsigned> lockVariants(unsigned modifiers, unsigned numLockBit);

// The chord part of a key event's state: without the locks, the pointer buttons and the group.
unsigned chordModifiers(unsigned state, unsigned numLockBit);

class X11HotKeys : public HotKeyServices {
 public:
  // Opens its own connection (nullptr: $DISPLAY); without one every registration is refused. Key
  // events are read from the event loop of the Qt application's thread when it is built there.
  explicit X11HotKeys(const char* displayName = nullptr);
  ~X11HotKeys() override;
  X11HotKeys(const X11HotKeys&) = delete;
  X11HotKeys& operator=(const X11HotKeys&) = delete;

  // Handlers are asked newest first; the first that answers anything but "not handled" ends it.
  std::unique_ptr<HotKeyHandlerRegistration> installHandler(HotKeyHandler handler) override;
  // Refused when the key has no X keycode, when this program already holds the same chord, or
  // when another client owns it.
  std::unique_ptr<HotKeyRegistration> registerHotKey(std::uint16_t keyCode,
                                                     std::uint32_t modifierMask,
                                                     HotKeyID id) override;
  // X has no secure keyboard input; the nearest thing is a locked session, whose locker keeps the
  // keyboard to itself. Asked of logind at most once a second.
  bool isSecureEventInputEnabled() override;

  // Reads the key events waiting on the connection and calls the handlers for the presses.
  void processEvents();

  struct State;

 private:
  std::shared_ptr<State> state_;
  std::unique_ptr<X11EventWatch> watch_;

  double nextLockCheck_ = 0;
  bool locked_ = false;
  std::optional<std::string> sessionPath_;
};

}  // namespace tovrel::platform::x11
