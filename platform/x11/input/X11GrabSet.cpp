#include "platform/x11/input/X11GrabSet.hpp"

#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <cstdio>

#include "core/Keys.hpp"
#include "platform/x11/X11Errors.hpp"
#include "platform/x11/input/X11KeyTable.hpp"

namespace tovrel::platform::x11 {

namespace {

unsigned xModifierMask(Modifiers modifiers) {
  unsigned mask = 0;
  if (modifiers.contains(Modifiers::command)) mask |= Mod4Mask;
  if (modifiers.contains(Modifiers::shift)) mask |= ShiftMask;
  if (modifiers.contains(Modifiers::option)) mask |= Mod1Mask;
  if (modifiers.contains(Modifiers::control)) mask |= ControlMask;
  return mask;
}

}  // namespace

X11GrabSet::X11GrabSet(Display* display, int masterKeyboard)
    : display_(display),
      root_(DefaultRootWindow(display)),
      masterKeyboard_(masterKeyboard),
      wmState_(XInternAtom(display, "WM_STATE", False)),
      netClientList_(XInternAtom(display, "_NET_CLIENT_LIST", False)) {
  refreshModifierMap();
}

void X11GrabSet::refreshModifierMap() {
  unsigned mask = 0;
  KeyCode numLock = XKeysymToKeycode(display_, XK_Num_Lock);
  XModifierKeymap* map = XGetModifierMapping(display_);
  if (map == nullptr) return;
  for (int modifier = 0; modifier < 8; ++modifier)
    for (int k = 0; k < map->max_keypermod; ++k)
      if (numLock != 0 && map->modifiermap[modifier * map->max_keypermod + k] == numLock)
        mask = 1u << modifier;
  XFreeModifiermap(map);
  numLockMask_ = mask;
}

std::vector<XIGrabModifiers> X11GrabSet::lockVariants(unsigned base) const {
  std::set<unsigned> masks{base, base | LockMask};
  if (numLockMask_ != 0) {
    masks.insert(base | numLockMask_);
    masks.insert(base | LockMask | numLockMask_);
  }
  std::vector<XIGrabModifiers> variants;
  for (unsigned mask : masks)
    variants.push_back({static_cast<int>(mask), 0});
  return variants;
}

XIEventMask X11GrabSet::grabMask() {
  grabMaskBits_.fill(0);
  XISetMask(grabMaskBits_.data(), XI_KeyPress);
  XISetMask(grabMaskBits_.data(), XI_KeyRelease);
  return XIEventMask{masterKeyboard_, static_cast<int>(grabMaskBits_.size()), grabMaskBits_.data()};
}

int X11GrabSet::setChords(const std::vector<KeyInterception::Chord>& chords) {
  int conflicts = 0;
  std::set<std::pair<unsigned, unsigned>> wanted;
  for (const auto& chord : chords)
    if (auto xKeycode = xKeycodeForKeyCode(chord.keyCode))
      wanted.insert({*xKeycode, xModifierMask(chord.modifiers)});
  for (const auto& grab : chordGrabs_)
    if (!wanted.contains(grab)) {
      auto variants = lockVariants(grab.second);
      XIUngrabKeycode(display_, masterKeyboard_, static_cast<int>(grab.first), root_,
                      static_cast<int>(variants.size()), variants.data());
    }
  for (const auto& grab : wanted) {
    if (chordGrabs_.contains(grab)) continue;
    auto variants = lockVariants(grab.second);
    XIEventMask mask = grabMask();
    int failed = XIGrabKeycode(display_, masterKeyboard_, static_cast<int>(grab.first), root_,
                               XIGrabModeSync, XIGrabModeAsync, False, &mask,
                               static_cast<int>(variants.size()), variants.data());
    if (failed > 0) {
      std::fprintf(stderr,
                   "tovrel: another program already grabs X keycode %u with modifiers 0x%x; "
                   "that chord reaches it, not Tovrel\n",
                   grab.first, grab.second);
      conflicts += failed;
    }
  }
  chordGrabs_ = std::move(wanted);
  return conflicts;
}

int X11GrabSet::setTapModifiers(const std::vector<std::uint16_t>& keyCodes, bool withhold) {
  tapKeycodes_.clear();
  for (std::uint16_t code : keyCodes)
    if (auto xKeycode = xKeycodeForKeyCode(code)) tapKeycodes_.insert(*xKeycode);
  const std::set<unsigned> wanted = withhold ? tapKeycodes_ : std::set<unsigned>{};
  XIGrabModifiers any{static_cast<int>(XIAnyModifier), 0};
  for (unsigned keycode : tapGrabs_)
    if (!wanted.contains(keycode))
      XIUngrabKeycode(display_, masterKeyboard_, static_cast<int>(keycode), root_, 1, &any);
  int conflicts = 0;
  for (unsigned keycode : wanted) {
    if (tapGrabs_.contains(keycode)) continue;
    XIEventMask mask = grabMask();
    XIGrabModifiers modifiers = any;
    int failed = XIGrabKeycode(display_, masterKeyboard_, static_cast<int>(keycode), root_,
                               XIGrabModeSync, XIGrabModeAsync, False, &mask, 1, &modifiers);
    if (failed > 0) {
      std::fprintf(stderr,
                   "tovrel: another program already grabs X keycode %u; applications see its "
                   "taps\n",
                   keycode);
      ++conflicts;
    }
  }
  tapGrabs_ = wanted;
  return conflicts;
}

std::set<Window> X11GrabSet::managedWindows() {
  std::set<Window> windows;
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display_, root_, netClientList_, 0, 4096, False, XA_WINDOW, &type, &format,
                         &count, &remaining, &data) == Success &&
      type == XA_WINDOW && format == 32) {
    auto* list = reinterpret_cast<Window*>(data);
    windows.insert(list, list + count);
  }
  if (data) XFree(data);
  if (!windows.empty()) return windows;
  // No window manager that lists its clients: the windows with WM_STATE, else the root's mapped
  // ordinary children.
  Window rootReturn = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned childCount = 0;
  if (!XQueryTree(display_, root_, &rootReturn, &parent, &children, &childCount)) return windows;
  for (unsigned i = 0; i < childCount; ++i) {
    Window child = children[i];
    if (hasWmState(child)) {
      windows.insert(child);
      continue;
    }
    XWindowAttributes attributes{};
    if (XGetWindowAttributes(display_, child, &attributes) && attributes.map_state == IsViewable &&
        !attributes.override_redirect && attributes.c_class == InputOutput)
      windows.insert(child);
  }
  if (children) XFree(children);
  return windows;
}

bool X11GrabSet::hasWmState(Window window) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  bool has = XGetWindowProperty(display_, window, wmState_, 0, 0, False, AnyPropertyType, &type,
                                &format, &count, &remaining, &data) == Success &&
             type != None;
  if (data) XFree(data);
  return has;
}

int X11GrabSet::setWindows(bool allKeys) {
  int conflicts = 0;
  std::set<Window> wanted = allKeys ? managedWindows() : std::set<Window>{};
  XIGrabModifiers any{static_cast<int>(XIAnyModifier), 0};
  // A window that vanished since the scan only makes its own grab fail.
  ErrorTrap trap(display_);
  for (Window window : windowGrabs_)
    if (!wanted.contains(window)) {
      XIUngrabKeycode(display_, masterKeyboard_, XIAnyKeycode, window, 1, &any);
      XSelectInput(display_, window, NoEventMask);
    }
  for (Window window : wanted) {
    if (windowGrabs_.contains(window)) continue;
    XSelectInput(display_, window, StructureNotifyMask);
    XIEventMask mask = grabMask();
    XIGrabModifiers modifiers = any;
    int failed = XIGrabKeycode(display_, masterKeyboard_, XIAnyKeycode, window, XIGrabModeSync,
                               XIGrabModeAsync, False, &mask, 1, &modifiers);
    if (failed > 0) ++conflicts;
  }
  trap.check();
  windowGrabs_ = std::move(wanted);
  return conflicts;
}

unsigned X11GrabSet::plainModifiers(unsigned state) const {
  // The grabs cover every Caps Lock and Num Lock variant; the group bits are no modifiers.
  return state & 0xFF & ~(LockMask | numLockMask_);
}

bool X11GrabSet::isChord(unsigned keycode, unsigned state) const {
  return chordGrabs_.contains({keycode, plainModifiers(state)});
}

void X11GrabSet::setModeKeys(const std::vector<KeyInterception::Chord>& keys) {
  modeKeys_.clear();
  for (const auto& key : keys)
    if (auto xKeycode = xKeycodeForKeyCode(key.keyCode))
      modeKeys_.insert({*xKeycode, xModifierMask(key.modifiers)});
}

bool X11GrabSet::isModeKey(unsigned keycode, unsigned state) const {
  return modeKeys_.contains({keycode, plainModifiers(state)});
}

bool X11GrabSet::focusIsGrabbed() {
  if (windowGrabs_.empty()) return false;
  Window focus = None;
  int revert = 0;
  XGetInputFocus(display_, &focus, &revert);
  ErrorTrap trap(display_);
  // The focus is usually the client window itself, sometimes one of its children.
  for (int depth = 0; depth < 16 && focus != None && focus != PointerRoot && focus != root_;
       ++depth) {
    if (windowGrabs_.contains(focus)) return true;
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, focus, &rootReturn, &parent, &children, &count)) return false;
    if (children) XFree(children);
    focus = parent;
  }
  return false;
}

}  // namespace tovrel::platform::x11
