#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "platform/HotKeyServices.hpp"

namespace tovrel::platform::fake {

// Hot keys in memory. Registrations stay listed while their handle lives, so a test sees both
// leaks and duplicates; pressing a hot key runs the installed handlers the way the desktop chains
// them, newest first, until one handles it. The fake must outlive every handle it gives out.
class FakeHotKeyServices : public HotKeyServices {
 public:
  struct Registered {
    HotKeyID id;
    std::uint16_t keyCode = 0;
    std::uint32_t modifierMask = 0;
    int serial = 0;
  };

  std::unique_ptr<HotKeyHandlerRegistration> installHandler(HotKeyHandler handler) override;
  std::unique_ptr<HotKeyRegistration> registerHotKey(std::uint16_t keyCode,
                                                     std::uint32_t modifierMask,
                                                     HotKeyID id) override;
  bool isSecureEventInputEnabled() override { return secureInput; }

  // The live registrations carrying this id (any signature).
  std::vector<Registered> registrationsOf(std::uint32_t id) const;
  std::size_t handlerCount() const { return handlers.size(); }

  // A press of the hot key with this id; nothing handled it when no handler is installed.
  std::int32_t press(HotKeyID id);
  // A hot-key event the desktop delivers without an id.
  std::int32_t pressWithoutID();

  bool secureInput = false;
  // Chords (key code, modifier mask) another program owns.
  std::vector<std::pair<std::uint16_t, std::uint32_t>> refused;
  int handlersInstalled = 0;  // every installHandler call
  std::vector<Registered> registrations;

 private:
  std::int32_t dispatch(const HotKeyID* id);

  std::vector<std::pair<int, HotKeyHandler>> handlers;
  int nextSerial = 1;
};

}  // namespace tovrel::platform::fake
