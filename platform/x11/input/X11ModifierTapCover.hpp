#pragma once

// Toolkits take a lone tap of Alt as their own: Qt arms its menu bar, so the next letters go to its
// menus. A lone tap is also just what starts Moving, and the Escape that ends Moving never reaches
// the application to disarm it. Qt drops an armed tap when anything comes between the press and
// the release: a key, a button, a pointer move. So while a modifier whose tap the program takes is
// down, the cover tells the focused window that the pointer moved by a pixel.
//
// It is a synthetic event sent to that window's own client, and to nobody else: not a device
// event, so no other program hears it, the window manager sees no chord, no keyboard map is
// reloaded and the program's own tap hears nothing. Toolkits that read the pointer through
// XInput 2 (GTK 3, GTK 4, Firefox) ignore it; a browser page sees at most one mousemove beside the
// point it already had. A key of any kind would reach web pages as a key, and a key the keyboard
// map leaves empty leaves a GTK 4 application unable to take typed keys. Lives on the tap's
// thread, on its connection.
//
// Free of Xlib, whose macros clash with other headers: the display is Xlib's Display.

#include <cstdint>
#include <set>
#include <vector>

struct _XDisplay;

namespace tovrel::platform::x11 {

class X11ModifierTapCover {
 public:
  explicit X11ModifierTapCover(_XDisplay* display) : display_(display) {}

  // The program's key codes of the modifiers whose taps it takes; empty stops the cover.
  void setModifierTaps(const std::vector<std::uint16_t>& keyCodes);

  bool takesTap(unsigned keycode) const { return tapKeycodes_.contains(keycode); }

  // Every raw key press and release the tap hears, in order.
  void keyPressed(unsigned keycode, bool repeat);
  void keyReleased(unsigned keycode);

 private:
  void post();

  _XDisplay* display_;
  std::set<unsigned> tapKeycodes_;
  std::set<unsigned> down_;  // tap modifiers whose press was covered and not yet released
  int nudge_ = 1;
};

}  // namespace tovrel::platform::x11
