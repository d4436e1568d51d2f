#include "platform/x11/input/X11ModifierTapCover.hpp"

#include <X11/XKBlib.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XTest.h>

#include "platform/x11/X11Errors.hpp"
#include "platform/x11/input/OwnEventLedger.hpp"
#include "platform/x11/input/X11KeyTable.hpp"

namespace tovrel::platform::x11 {

namespace {

// Never handed on: the tap drops the events it marks.
constexpr std::int64_t ledgerMark = 0x434F5652;

bool isBound(const XkbDescRec& keyboard, unsigned keycode) {
  const int symbols = XkbKeyNumSyms(&keyboard, keycode);
  const KeySym* syms = XkbKeySymsPtr(&keyboard, keycode);
  for (int i = 0; i < symbols; ++i)
    if (syms[i] != NoSymbol) return true;
  if (keyboard.server && keyboard.server->key_acts && XkbKeyHasActions(&keyboard, keycode))
    return true;
  return keyboard.map->modmap && keyboard.map->modmap[keycode] != 0;
}

}  // namespace

std::optional<unsigned> chooseSilentKeycode(unsigned minKeycode, unsigned maxKeycode,
                                            const std::function<bool(unsigned)>& bound) {
  for (unsigned keycode = maxKeycode; keycode >= minKeycode && keycode > 0; --keycode)
    if (!keyCodeForXKeycode(keycode) && !bound(keycode)) return keycode;
  return std::nullopt;
}

X11ModifierTapCover::X11ModifierTapCover(Display* display, std::shared_ptr<OwnEventLedger> ledger)
    : display_(display), ledger_(std::move(ledger)) {}

X11ModifierTapCover::~X11ModifierTapCover() {
  for (auto [id, device] : devices_)
    if (device) XCloseDevice(display_, static_cast<XDevice*>(device));
}

void X11ModifierTapCover::setModifierTaps(const std::vector<std::uint16_t>& keyCodes) {
  std::set<unsigned> keycodes;
  for (std::uint16_t code : keyCodes)
    if (auto keycode = xKeycodeForKeyCode(code)) keycodes.insert(*keycode);
  if (keycodes == tapKeycodes_) return;
  tapKeycodes_ = std::move(keycodes);
  std::erase_if(down_, [&](unsigned keycode) { return !tapKeycodes_.contains(keycode); });
}

void X11ModifierTapCover::keymapChanged() {
  silentKnown_ = false;
}

std::optional<unsigned> X11ModifierTapCover::silentKeycode() {
  if (!silentKnown_) {
    silent_ = findSilentKeycode();
    silentKnown_ = true;
  }
  return silent_;
}

std::optional<unsigned> X11ModifierTapCover::findSilentKeycode() {
  XkbDescPtr keyboard =
      XkbGetMap(display_, XkbKeySymsMask | XkbKeyActionsMask | XkbModifierMapMask, XkbUseCoreKbd);
  if (keyboard == nullptr || keyboard->map == nullptr) {
    if (keyboard) XkbFreeKeyboard(keyboard, 0, True);
    return std::nullopt;
  }
  auto found = chooseSilentKeycode(keyboard->min_key_code, keyboard->max_key_code,
                                   [&](unsigned keycode) { return isBound(*keyboard, keycode); });
  XkbFreeKeyboard(keyboard, 0, True);
  return found;
}

void X11ModifierTapCover::keyPressed(unsigned keycode, bool repeat, int device, double now) {
  if (repeat || !tapKeycodes_.contains(keycode) || !down_.insert(keycode).second) return;
  auto silent = silentKeycode();
  if (!silent || !ledger_) return;
  // Written down first: the tap hears the events on this same thread, after this returns.
  ledger_->record(OwnEventLedger::Kind::keyPress, *silent, ledgerMark, now);
  ledger_->record(OwnEventLedger::Kind::keyRelease, *silent, ledgerMark, now);
  everPosted_.insert(*silent);
  post(*silent, device);
}

void X11ModifierTapCover::post(unsigned keycode, int device) {
  auto [entry, added] = devices_.try_emplace(device, nullptr);
  if (added) {
    ErrorTrap trap(display_);
    XDevice* opened = XOpenDevice(display_, static_cast<XID>(device));
    if (trap.check()) entry->second = opened;
  }
  if (auto* opened = static_cast<XDevice*>(entry->second)) {
    XTestFakeDeviceKeyEvent(display_, opened, keycode, True, nullptr, 0, CurrentTime);
    XTestFakeDeviceKeyEvent(display_, opened, keycode, False, nullptr, 0, CurrentTime);
  } else {
    // A device that cannot be opened: XTest's own keyboard still makes it a chord.
    XTestFakeKeyEvent(display_, keycode, True, CurrentTime);
    XTestFakeKeyEvent(display_, keycode, False, CurrentTime);
  }
  // At once: the toolkit must see the key before the modifier's release.
  XFlush(display_);
}

void X11ModifierTapCover::keyReleased(unsigned keycode) {
  down_.erase(keycode);
}

bool X11ModifierTapCover::takeOwn(unsigned keycode, bool pressed, double now) {
  // Matched on the key alone: it comes from whichever device the modifier came from.
  if (!ledger_ || !everPosted_.contains(keycode)) return false;
  return ledger_
      ->match(pressed ? OwnEventLedger::Kind::keyPress : OwnEventLedger::Kind::keyRelease, keycode,
              now)
      .has_value();
}

}  // namespace tovrel::platform::x11
