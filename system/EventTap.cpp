#include "system/EventTap.hpp"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "system/CursorOutput.hpp"
#include "system/EventClassifier.hpp"

namespace tovrel {

EventTap::EventTap(platform::EventServices& events, const platform::Clock& clock, Handler handler,
                   Interruption interruption)
    : handler(std::move(handler)),
      interruption(std::move(interruption)),
      events_(events),
      clock_(clock),
      mask_(EventClassifier::mask) {}

EventTap::~EventTap() {
  uninstall();
}

bool EventTap::install() {
  if (isInstalled()) return true;
  auto created =
      events_.createTap(mask_, [this](platform::EventType type, const platform::InputEvent& e) {
        return receive(this, type, e);
      });
  if (!created) return false;
  auto delivery = created->addToMainLoop();
  if (!delivery) {
    // A tap whose events never reach the main loop would look installed and see nothing.
    created->invalidate();
    return false;
  }
  created->setKeyInterception(interception_);
  created->setKeyOwnership(ownership_);
  port = std::move(created);
  source = std::move(delivery);
  port->enable(true);
  return true;
}

void EventTap::uninstall() {
  if (!port) return;
  port->enable(false);
  source.reset();
  port->invalidate();
  port.reset();
}

void EventTap::setKeyInterception(const platform::KeyInterception& interception) {
  interception_ = interception;
  if (port) port->setKeyInterception(interception_);
}

void EventTap::setKeyOwnership(platform::TapPort::KeyOwnership owner) {
  ownership_ = std::move(owner);
  if (port) port->setKeyOwnership(ownership_);
}

void EventTap::setEventMask(std::uint64_t mask) {
  if (mask == mask_) return;
  mask_ = mask;
  if (port) port->setEventMask(mask_);
}

bool EventTap::receive(EventTap* tap, platform::EventType type, const platform::InputEvent& event) {
  if (!tap) return false;
  if (!tap->clock_.isMainThread()) {
    std::fputs("tovrel: the event tap was called off the main thread\n", stderr);
    std::abort();
  }
  if (type == platform::eventType::tapDisabledByTimeout ||
      type == platform::eventType::tapDisabledByUserInput) {
    if (tap->port) tap->port->enable(true);
    if (tap->interruption) tap->interruption();
    return false;
  }
  if (event.sourceUserData == CursorOutput::marker) return false;
  return tap->handler && tap->handler(type, event);
}

}  // namespace tovrel
