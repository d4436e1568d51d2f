#include "platform/fake/FakeHotKeys.hpp"

#include <algorithm>

namespace tovrel::platform::fake {

namespace {

class FakeRegistration : public HotKeyRegistration {
 public:
  FakeRegistration(FakeHotKeyServices& owner, int serial) : owner(owner), serial(serial) {}
  ~FakeRegistration() override {
    std::erase_if(owner.registrations, [&](const auto& entry) { return entry.serial == serial; });
  }

 private:
  FakeHotKeyServices& owner;
  int serial;
};

class FakeHandlerRegistration : public HotKeyHandlerRegistration {
 public:
  FakeHandlerRegistration(std::vector<std::pair<int, HotKeyHandler>>& handlers, int serial)
      : handlers(handlers), serial(serial) {}
  ~FakeHandlerRegistration() override {
    std::erase_if(handlers, [&](const auto& entry) { return entry.first == serial; });
  }

 private:
  std::vector<std::pair<int, HotKeyHandler>>& handlers;
  int serial;
};

}  // namespace

std::unique_ptr<HotKeyHandlerRegistration> FakeHotKeyServices::installHandler(
    HotKeyHandler handler) {
  ++handlersInstalled;
  int serial = nextSerial++;
  handlers.emplace_back(serial, std::move(handler));
  return std::make_unique<FakeHandlerRegistration>(handlers, serial);
}

std::unique_ptr<HotKeyRegistration> FakeHotKeyServices::registerHotKey(std::uint16_t keyCode,
                                                                       std::uint32_t modifierMask,
                                                                       HotKeyID id) {
  if (std::ranges::find(refused, std::pair{keyCode, modifierMask}) != refused.end()) return nullptr;
  int serial = nextSerial++;
  registrations.push_back({id, keyCode, modifierMask, serial});
  return std::make_unique<FakeRegistration>(*this, serial);
}

std::vector<FakeHotKeyServices::Registered> FakeHotKeyServices::registrationsOf(
    std::uint32_t id) const {
  std::vector<Registered> found;
  for (const Registered& entry : registrations) {
    if (entry.id.id == id) found.push_back(entry);
  }
  return found;
}

std::int32_t FakeHotKeyServices::press(HotKeyID id) {
  return dispatch(&id);
}

std::int32_t FakeHotKeyServices::pressWithoutID() {
  return dispatch(nullptr);
}

std::int32_t FakeHotKeyServices::dispatch(const HotKeyID* id) {
  // Serials, not positions: a handler may install or remove handlers while it runs.
  std::vector<int> order;
  for (auto it = handlers.rbegin(); it != handlers.rend(); ++it)
    order.push_back(it->first);
  for (int serial : order) {
    auto found = std::ranges::find(handlers, serial, &std::pair<int, HotKeyHandler>::first);
    if (found == handlers.end()) continue;
    HotKeyHandler handler = found->second;
    std::int32_t status = handler(id);
    if (status != hotKeyStatus::eventNotHandled) return status;
  }
  return hotKeyStatus::eventNotHandled;
}

}  // namespace tovrel::platform::fake
