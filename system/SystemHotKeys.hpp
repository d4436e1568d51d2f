#pragma once

// Entry chords registered as system-wide hot keys, so that a mode can still be started while
// another application holds secure keyboard input and the tap hears no keys.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "core/Keys.hpp"
#include "platform/HotKeyServices.hpp"
#include "system/CursorOutput.hpp"

namespace tovrel {

// The desktop's hot-key modifier mask for a modifier set; bits other than the four are dropped.
std::uint32_t hotKeyModifierMask(Modifiers modifiers);

class SystemHotKeys {
 public:
  // Every hot key is registered as (signature, id); the signature is the "TVRL" code that also
  // marks the program's own synthetic events.
  static constexpr auto signature = static_cast<std::uint32_t>(CursorOutput::marker);

  // Runs on the main thread.
  using Action = std::function<void()>;

  explicit SystemHotKeys(platform::HotKeyServices& services);
  // The desktop calls back into this object, so nothing of it may outlive it: every hot key is
  // unregistered and the handler removed.
  ~SystemHotKeys();
  SystemHotKeys(const SystemHotKeys&) = delete;
  SystemHotKeys& operator=(const SystemHotKeys&) = delete;

  // Replaces any earlier hot key of `id`. When the desktop refuses the chord nothing of `id` is
  // left: the chord then does nothing while secure input lasts.
  void registerHotKey(std::uint32_t id, std::uint16_t keyCode, Modifiers modifiers, Action action);
  // Installs the one handler on first call; later calls do nothing.
  void installHandler();
  // The handler stays installed.
  void unregisterAll();

  bool hasHotKeys() const { return !hotKeys.empty(); }
  std::size_t count() const { return hotKeys.size(); }
  bool isRegistered(std::uint32_t id) const { return hotKeys.contains(id); }
  bool isHandlerInstalled() const { return handler != nullptr; }

 private:
  std::int32_t handleHotKey(const platform::HotKeyID* hotKeyID);

  platform::HotKeyServices& services;
  std::map<std::uint32_t, std::unique_ptr<platform::HotKeyRegistration>> hotKeys;
  std::map<std::uint32_t, Action> actions;
  std::unique_ptr<platform::HotKeyHandlerRegistration> handler;
};

}  // namespace tovrel
