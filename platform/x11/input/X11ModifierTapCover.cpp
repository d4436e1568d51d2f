#include "platform/x11/input/X11ModifierTapCover.hpp"

#include <X11/Xlib.h>

#include "platform/x11/X11Errors.hpp"
#include "platform/x11/input/X11KeyTable.hpp"

namespace tovrel::platform::x11 {

void X11ModifierTapCover::setModifierTaps(const std::vector<std::uint16_t>& keyCodes) {
  std::set<unsigned> keycodes;
  for (std::uint16_t code : keyCodes)
    if (auto keycode = xKeycodeForKeyCode(code)) keycodes.insert(*keycode);
  if (keycodes == tapKeycodes_) return;
  tapKeycodes_ = std::move(keycodes);
  std::erase_if(down_, [&](unsigned keycode) { return !tapKeycodes_.contains(keycode); });
}

void X11ModifierTapCover::keyPressed(unsigned keycode, bool repeat) {
  if (repeat || !tapKeycodes_.contains(keycode) || !down_.insert(keycode).second) return;
  post();
}

void X11ModifierTapCover::keyReleased(unsigned keycode) {
  down_.erase(keycode);
}

void X11ModifierTapCover::post() {
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  // No window has the keyboard (or it follows the pointer): no application takes the tap.
  if (focus == None || focus == PointerRoot) return;
  // The window can be gone by now; the event then goes nowhere.
  ErrorTrap trap(display_);
  Window root = None;
  Window child = None;
  int rootX = 0;
  int rootY = 0;
  int windowX = 0;
  int windowY = 0;
  unsigned state = 0;
  if (!XQueryPointer(display_, focus, &root, &child, &rootX, &rootY, &windowX, &windowY, &state))
    return;
  XEvent event{};
  XMotionEvent& motion = event.xmotion;
  motion.type = MotionNotify;
  motion.display = display_;
  motion.window = focus;
  motion.root = root;
  motion.subwindow = None;
  motion.time = CurrentTime;
  // A pixel beside the pointer, on alternate sides: Qt drops a move to where it last saw the
  // pointer, and the next real move puts everything right.
  nudge_ = -nudge_;
  motion.x = windowX + nudge_;
  motion.y = windowY;
  motion.x_root = rootX + nudge_;
  motion.y_root = rootY;
  motion.state = state;
  motion.is_hint = NotifyNormal;
  motion.same_screen = True;
  // No mask: only the client that made the window gets it, never a window manager or another
  // program listening on it. Sent at once: the toolkit must see it before the modifier's release.
  XSendEvent(display_, focus, False, NoEventMask, &event);
  trap.check();
}

}  // namespace tovrel::platform::x11
