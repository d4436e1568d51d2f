#pragma once

// Toolkits take a lone tap of Alt as their own: Qt arms the menu bar, so the next letters go to
// its menus, and a browser shows its menu bar. A lone tap is also just what starts Moving, and the
// Escape that ends Moving never reaches the application to disarm it. So while a modifier whose
// tap the program takes is down, the cover posts a press and release of a key that is bound to
// nothing in the keyboard map: applications see a chord, not a tap. The key comes from the device
// the modifier came from: a key from XTest's own device would switch the keyboard the server
// reports, and every client would load its keyboard map again, and a Qt 5 application that
// reloads it then reads the modifiers as they are by then, not as they were for the next key
// (AltGr+E typed "e"). The program's own tap recognizer never hears that key (the ledger marks
// it, and the tap drops it). Modifiers whose
// taps the program does not take are left alone, and the modifier itself is never held back, so
// Alt chords and AltGr typing work as before. Lives on the tap's thread, on its connection.
//
// Free of Xlib, whose macros clash with other headers: the display is Xlib's Display.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

struct _XDisplay;

namespace tovrel::platform::x11 {

class OwnEventLedger;

// The highest keycode in [minKeycode, maxKeycode] that `bound` says the keyboard map leaves
// without symbol, action or modifier, and that is none of the program's keys (a key binding
// could name it); nothing when every one is taken.
std::optional<unsigned> chooseSilentKeycode(unsigned minKeycode, unsigned maxKeycode,
                                            const std::function<bool(unsigned)>& bound);

class X11ModifierTapCover {
 public:
  X11ModifierTapCover(_XDisplay* display, std::shared_ptr<OwnEventLedger> ledger);
  ~X11ModifierTapCover();
  X11ModifierTapCover(const X11ModifierTapCover&) = delete;
  X11ModifierTapCover& operator=(const X11ModifierTapCover&) = delete;

  // The program's key codes of the modifiers whose taps it takes; empty stops the cover.
  void setModifierTaps(const std::vector<std::uint16_t>& keyCodes);
  // The keyboard map changed: the silent key is looked for again.
  void keymapChanged();

  // Every raw key press and release the tap hears, in order; `device` is the one it came from.
  void keyPressed(unsigned keycode, bool repeat, int device, double now);
  void keyReleased(unsigned keycode);

  // Whether a key event the tap heard is one the cover posted; it is taken off the ledger then.
  bool takeOwn(unsigned keycode, bool pressed, double now);

  std::optional<unsigned> silentKeycode();

 private:
  std::optional<unsigned> findSilentKeycode();
  void post(unsigned keycode, int device);

  _XDisplay* display_;
  std::shared_ptr<OwnEventLedger> ledger_;
  std::set<unsigned> tapKeycodes_;
  std::set<unsigned> down_;  // tap modifiers whose press was covered and not yet released
  std::optional<unsigned> silent_;
  bool silentKnown_ = false;
  std::set<unsigned> everPosted_;  // a keymap change may move the silent key while its events fly
  std::map<int, void*> devices_;   // Xlib's XDevice of each device posted from; null: not opened
};

}  // namespace tovrel::platform::x11
