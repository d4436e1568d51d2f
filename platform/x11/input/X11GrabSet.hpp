#pragma once

// The tap's passive key grabs: the entry chords on the root window, each with its Caps Lock and
// Num Lock variants, the modifiers whose tap the program takes, on the root window too, and every
// key on every managed top-level window while a mode is on. Windows
// come and go; `setWindows` is called again whenever the window list changes. Lives on the tap's
// thread, on its connection.

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <array>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "platform/EventServices.hpp"

namespace tovrel::platform::x11 {

class X11GrabSet {
 public:
  X11GrabSet(Display* display, int masterKeyboard);

  // Reads which modifier Num Lock is (the keyboard map can change it).
  void refreshModifierMap();
  // Grabs exactly these chords; answers how many grabs another program had taken first.
  int setChords(const std::vector<KeyInterception::Chord>& chords);
  // The modifiers whose lone tap the program takes and, with `withhold`, their grabs on the root
  // window with any modifiers: their press is decided before any application sees it. Answers how
  // many grabs another program had taken.
  int setTapModifiers(const std::vector<std::uint16_t>& keyCodes, bool withhold);
  bool isTapModifier(unsigned keycode) const { return tapKeycodes_.contains(keycode); }
  bool withholdsTap(unsigned keycode) const { return tapGrabs_.contains(keycode); }
  const std::set<unsigned>& tapKeycodes() const { return tapKeycodes_; }
  const std::set<unsigned>& withheldKeycodes() const { return tapGrabs_; }
  // With `allKeys`, every key on every managed top-level window; without, none. The windows grabbed
  // are watched: their going away ends a grab on them.
  int setWindows(bool allKeys);
  std::size_t windowCount() const { return windowGrabs_.size(); }
  // Whether the input focus lies in a window whose keys we grab: a press there that reached us
  // only as a raw event was taken by another client's grab (an open menu, a window switcher).
  // False when no window has the focus (the desktop itself) or the focused one is not ours.
  bool focusIsGrabbed();
  // Whether this key with this modifier state is one of the chords grabbed on the root window:
  // such a press that reached us only raw was taken by another client.
  bool isChord(unsigned keycode, unsigned state) const;
  // The keys the mode on uses (no grabs of their own: every key is grabbed meanwhile), and whether
  // a press with this state is one of them.
  void setModeKeys(const std::vector<KeyInterception::Chord>& keys);
  bool isModeKey(unsigned keycode, unsigned state) const;
  Atom clientListAtom() const { return netClientList_; }

 private:
  std::vector<XIGrabModifiers> lockVariants(unsigned base) const;
  XIEventMask grabMask();
  std::set<Window> managedWindows();
  bool hasWmState(Window window);
  unsigned plainModifiers(unsigned state) const;

  Display* display_;
  Window root_;
  int masterKeyboard_;
  Atom wmState_;
  Atom netClientList_;
  unsigned numLockMask_ = 0;
  std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> grabMaskBits_{};
  std::set<std::pair<unsigned, unsigned>> chordGrabs_;  // (X keycode, modifier mask)
  std::set<unsigned> tapKeycodes_;
  std::set<unsigned> tapGrabs_;  // X keycodes
  std::set<std::pair<unsigned, unsigned>> modeKeys_;
  std::set<Window> windowGrabs_;
};

}  // namespace tovrel::platform::x11
