#include "system/SystemHotKeys.hpp"

#include <utility>

namespace tovrel {

std::uint32_t hotKeyModifierMask(Modifiers modifiers) {
  namespace mask = platform::hotKeyModifier;
  std::uint32_t result = 0;
  if (modifiers.contains(Modifiers::command)) result |= mask::command;
  if (modifiers.contains(Modifiers::shift)) result |= mask::shift;
  if (modifiers.contains(Modifiers::option)) result |= mask::option;
  if (modifiers.contains(Modifiers::control)) result |= mask::control;
  return result;
}

SystemHotKeys::SystemHotKeys(platform::HotKeyServices& services) : services(services) {}

SystemHotKeys::~SystemHotKeys() {
  unregisterAll();
  handler.reset();
}

void SystemHotKeys::registerHotKey(std::uint32_t id, std::uint16_t keyCode, Modifiers modifiers,
                                   Action action) {
  installHandler();
  // The old chord goes first, so a refused new one leaves nothing of this id behind.
  hotKeys.erase(id);
  actions.erase(id);
  auto registration =
      services.registerHotKey(keyCode, hotKeyModifierMask(modifiers), {signature, id});
  if (!registration) return;
  hotKeys[id] = std::move(registration);
  actions[id] = std::move(action);
}

void SystemHotKeys::installHandler() {
  if (handler) return;
  handler = services.installHandler(
      [this](const platform::HotKeyID* hotKeyID) { return handleHotKey(hotKeyID); });
}

void SystemHotKeys::unregisterAll() {
  hotKeys.clear();
  actions.clear();
}

std::int32_t SystemHotKeys::handleHotKey(const platform::HotKeyID* hotKeyID) {
  if (!hotKeyID) return platform::hotKeyStatus::eventNotHandled;
  // Another part of the process owns hot keys of other signatures; they must keep working.
  if (hotKeyID->signature != signature) return platform::hotKeyStatus::eventNotHandled;
  auto found = actions.find(hotKeyID->id);
  if (found != actions.end()) {
    // A copy: starting a mode may unregister every hot key, and with it this very action.
    Action action = found->second;
    action();
  }
  return platform::hotKeyStatus::noError;
}

}  // namespace tovrel
