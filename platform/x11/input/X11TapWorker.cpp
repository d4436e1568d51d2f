#include "platform/x11/input/X11TapShared.hpp"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cerrno>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "core/Keys.hpp"
#include "platform/x11/X11Clock.hpp"
#include "platform/x11/X11Errors.hpp"
#include "platform/x11/input/OwnEventLedger.hpp"
#include "platform/x11/input/X11EventLag.hpp"
#include "platform/x11/input/X11EventSource.hpp"
#include "platform/x11/input/X11GrabSet.hpp"
#include "platform/x11/input/X11KeyGate.hpp"
#include "platform/x11/input/X11KeyTable.hpp"
#include "platform/x11/input/X11Modifiers.hpp"
#include "platform/x11/input/X11TapHandoff.hpp"

namespace tovrel::platform::x11 {

namespace {

using Action = X11KeyGate::Action;

std::u16string utf16(char32_t character) {
  if (character < 0x10000) return std::u16string(1, static_cast<char16_t>(character));
  character -= 0x10000;
  return {static_cast<char16_t>(0xD800 + (character >> 10)),
          static_cast<char16_t>(0xDC00 + (character & 0x3FF))};
}

// X buttons by the program's button number, and back.
struct ButtonTypes {
  EventType down;
  EventType up;
  std::int64_t number;
};
std::optional<ButtonTypes> buttonTypes(int xButton) {
  switch (xButton) {
    case 1:
      return ButtonTypes{eventType::leftMouseDown, eventType::leftMouseUp, 0};
    case 3:
      return ButtonTypes{eventType::rightMouseDown, eventType::rightMouseUp, 1};
    case 2:
      return ButtonTypes{eventType::otherMouseDown, eventType::otherMouseUp, 2};
    case 8:
      return ButtonTypes{eventType::otherMouseDown, eventType::otherMouseUp, 3};
    case 9:
      return ButtonTypes{eventType::otherMouseDown, eventType::otherMouseUp, 4};
    default:
      return std::nullopt;
  }
}

bool isWheelButton(int xButton) {
  return xButton >= 4 && xButton <= 7;
}

constexpr std::uint64_t pointerMotionTypes =
    eventMaskBit(eventType::mouseMoved) | eventMaskBit(eventType::leftMouseDragged) |
    eventMaskBit(eventType::rightMouseDragged) | eventMaskBit(eventType::otherMouseDragged);

}  // namespace

class X11Tap::Worker {
 public:
  explicit Worker(std::shared_ptr<Shared> shared)
      : shared_(std::move(shared)), display_(shared_->display), handoff_(shared_) {}
  // Freed without a request: the server may be gone already.
  ~Worker() { XFree(spareDevice_); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void run() {
    if (!setUp()) return;
    pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {shared_->wakePipe[0], POLLIN, 0}};
    while (true) {
      applyRequests();
      {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->alive) break;
      }
      if (shared_->fence && shared_->fence->takeRequest()) freeInput();
      gate_.tick(monotonicNow());
      act();
      drainQueue();
      if (gate_.pendingRawPress() && allKeys_) awaitGrabEvent();
      if (gate_.wantsRoundTripNow()) roundTrip();
      flushMotion();
      if (stallToReport_) reportStall();
      if (rescanNeeded_) grabWindows();
      XFlush(display_);
      // The round trips since the queue was drained (where the pointer is, where the focus is, the
      // window list) read whatever the server sent meanwhile into the connection's own queue, where
      // poll never sees it. A press waiting there for its answer keeps the keyboard frozen, so
      // nothing new would come to wake this thread: handle what is queued first.
      if (XEventsQueued(display_, QueuedAlready) > 0) continue;
      fds[0].revents = fds[1].revents = 0;
      const int ready = poll(fds, 2, pollTimeout());
      if (ready < 0 && errno != EINTR) break;
      // The tap's own events did not come back by themselves: a round trip settles them.
      if (ready == 0 && gate_.wantsRoundTrip()) roundTrip();
      if (fds[1].revents & POLLIN) {
        char buffer[64];
        [[maybe_unused]] ssize_t drained = ::read(shared_->wakePipe[0], buffer, sizeof buffer);
      }
      if ((fds[0].revents & (POLLHUP | POLLERR)) || connectionLost(display_)) {
        // The X server went away: the program can no longer hear or decide anything.
        listen(false);
        deliverToMainThread(shared_, eventType::tapDisabledByUserInput, {}, 0);
        return;
      }
    }
    releaseEverything();
  }

 private:
  // How long a raw press's grab event is awaited awake, then asleep.
  static constexpr double rawSpinSeconds = 0.0002;
  static constexpr int rawGraceMilliseconds = 1;
  // How long the tap's own events may take to come back by themselves before a round trip.
  static constexpr int ownGraceMilliseconds = 20;

  int pollTimeout() const {
    int timeout = gate_.wantsRoundTrip() ? ownGraceMilliseconds : -1;
    if (const auto deadline = gate_.deadline()) {
      const int until = std::max(0, static_cast<int>((*deadline - monotonicNow()) * 1000) + 1);
      timeout = timeout < 0 ? until : std::min(timeout, until);
    }
    return timeout;
  }

  void drainQueue() {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      handle(event);
    }
  }

  // The server sends a press's raw event first and, when the press started one of our grabs, the
  // grab's event some tens of microseconds later. The keyboard is frozen until that event is
  // answered, so it is awaited awake for a moment (a sleep would add the thread's wake-up to every
  // key), then asleep, and only then does a round trip make sure.
  void awaitGrabEvent() {
    pollfd connection{ConnectionNumber(display_), POLLIN, 0};
    const double until = monotonicNow() + rawSpinSeconds;
    int ready = 0;
    while ((ready = poll(&connection, 1, 0)) == 0 && monotonicNow() < until) {
    }
    if (ready > 0 || poll(&connection, 1, rawGraceMilliseconds) > 0) drainQueue();
  }

  // Everything the server had for us read, then nothing new: what waited on it is settled.
  void roundTrip() {
    for (int round = 0; round < 8; ++round) {
      XSync(display_, False);
      if (XEventsQueued(display_, QueuedAlready) == 0) break;
      drainQueue();
    }
    gate_.quiet();
    act();
  }

  bool setUp() {
    int event = 0;
    int error = 0;
    if (!XQueryExtension(display_, "XInputExtension", &xiOpcode_, &event, &error)) return false;
    int opcode = 0;
    int major = 1;
    int minor = 0;
    if (!XkbQueryExtension(display_, &opcode, &xkbEventBase_, &error, &major, &minor))
      xkbEventBase_ = -1;
    root_ = DefaultRootWindow(display_);
    gate_.setRoot(root_);
    gate_.setForeign([this](unsigned keycode, unsigned state) {
      if (!isForeign(keycode, state)) return false;
      std::lock_guard lock(shared_->mutex);
      ++shared_->statistics.foreignKeys;
      return true;
    });
    findDevices();
    if (masterKeyboard_ < 0) return false;
    grabs_.emplace(display_, masterKeyboard_);
    readModifierKeys();
    if (xkbEventBase_ >= 0) {
      XkbSelectEventDetails(display_, XkbUseCoreKbd, XkbStateNotify, XkbAllStateComponentsMask,
                            XkbAllStateComponentsMask);
      XkbSelectEvents(display_, XkbUseCoreKbd, XkbMapNotifyMask | XkbNewKeyboardNotifyMask,
                      XkbMapNotifyMask | XkbNewKeyboardNotifyMask);
      XkbStateRec state{};
      if (XkbGetState(display_, XkbUseCoreKbd, &state) == Success) {
        xkbState_ = state.mods | (static_cast<unsigned>(state.group) << 13);
        modifiers_.setCapsLocked((state.locked_mods & LockMask) != 0);
      }
    }
    XSelectInput(display_, root_, SubstructureNotifyMask | PropertyChangeMask);
    // Keyboards come and go: the spare one may be among them.
    unsigned char bits[XIMaskLen(XI_HierarchyChanged)] = {};
    XISetMask(bits, XI_HierarchyChanged);
    XIEventMask hierarchy{XIAllDevices, sizeof bits, bits};
    XISelectEvents(display_, root_, &hierarchy, 1);
    return true;
  }

  void findDevices() {
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display_, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
      const XIDeviceInfo& device = devices[i];
      if (device.use == XIMasterKeyboard && masterKeyboard_ < 0) masterKeyboard_ = device.deviceid;
    }
    int spare = -1;
    for (int i = 0; i < count; ++i) {
      const XIDeviceInfo& device = devices[i];
      std::string name = device.name ? device.name : "";
      if (name.find("XTEST") != std::string::npos) {
        if (device.use == XISlaveKeyboard) xtestKeyboard_ = device.deviceid;
        if (device.use == XISlavePointer) xtestPointer_ = device.deviceid;
      } else if (device.use == XISlaveKeyboard && device.attachment == masterKeyboard_ &&
                 device.enabled && (spare < 0 || device.deviceid < spare)) {
        // The lowest number is the keyboard least likely to be unplugged (often the power
        // button's, which types nothing itself).
        spare = device.deviceid;
      }
    }
    XIFreeDeviceInfo(devices);
    setSpareKeyboard(spare);
  }

  // The real keyboard that keys typed through the synthetic keyboard are let go through.
  void setSpareKeyboard(int deviceid) {
    if (deviceid == spareKeyboard_) return;
    if (spareDevice_) XCloseDevice(display_, spareDevice_);
    spareDevice_ = deviceid >= 0 ? XOpenDevice(display_, static_cast<XID>(deviceid)) : nullptr;
    spareKeyboard_ = spareDevice_ ? deviceid : -1;
    gate_.setSpare(spareDevice_ != nullptr);
  }

  // Which keys change the keyboard's state, as the keyboard map has it now.
  void readModifierKeys() {
    std::bitset<256> modifiers;
    for (unsigned keycode = 8; keycode < 256; ++keycode)
      modifiers[keycode] =
          IsModifierKey(XkbKeycodeToKeysym(display_, static_cast<KeyCode>(keycode), 0, 0));
    gate_.setModifiers(modifiers);
  }

  X11KeyGate::Via viaOf(int sourceid) const {
    if (sourceid == xtestKeyboard_) return X11KeyGate::Via::synthetic;
    if (sourceid == spareKeyboard_) return X11KeyGate::Via::spare;
    return X11KeyGate::Via::none;
  }

  // ---- what the gate asks for

  void act() {
    for (std::vector<Action> actions = gate_.take(); !actions.empty(); actions = gate_.take())
      for (const Action& action : actions)
        perform(action);
    reportGrab();
  }

  void perform(const Action& action) {
    switch (action.kind) {
      case Action::Kind::sync:
      case Action::Kind::replay:
        XIAllowEvents(display_, masterKeyboard_,
                      action.kind == Action::Kind::sync ? XISyncDevice : XIReplayDevice,
                      action.time);
        XFlush(display_);
        if (action.press) noteAnswered();
        return;
      case Action::Kind::ungrab:
        if (action.outside) gate_.sent(NextRequest(display_));
        XIUngrabDevice(display_, masterKeyboard_, CurrentTime);
        // Done when the server has done it: a click that waits for it must come after.
        XSync(display_, False);
        return;
      case Action::Kind::hold:
        return hold(action);
      case Action::Kind::post:
        if (action.via == X11KeyGate::Via::spare && spareDevice_)
          XTestFakeDeviceKeyEvent(display_, spareDevice_, action.keycode,
                                  action.press ? True : False, nullptr, 0, CurrentTime);
        else
          XTestFakeKeyEvent(display_, action.keycode, action.press ? True : False, CurrentTime);
        XFlush(display_);
        return;
      case Action::Kind::hear:
        return hear(action);
      case Action::Kind::decide:
        return gate_.decided(decide(action));
      case Action::Kind::tapUp:
        return tapUp(action);
    }
  }

  // The tap takes the keyboard itself, synchronously, on the window the grab was on (else the
  // focused one): what comes meanwhile waits for the tap's answer, and the hold ends only as the
  // tap's own answer.
  void hold(const Action& action) {
    Window window = action.window;
    if (window == 0) {
      int revert = 0;
      XGetInputFocus(display_, &window, &revert);
      if (window == None || window == PointerRoot) window = root_;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_KeyPress);
    XISetMask(bits, XI_KeyRelease);
    XIEventMask mask{masterKeyboard_, sizeof bits, bits};
    const std::uint64_t request = NextRequest(display_);
    int status = XIGrabDevice(display_, masterKeyboard_, window, action.time, None, XIGrabModeSync,
                              XIGrabModeAsync, False, &mask);
    if (status == GrabInvalidTime)
      status = XIGrabDevice(display_, masterKeyboard_, window, CurrentTime, None, XIGrabModeSync,
                            XIGrabModeAsync, False, &mask);
    if (action.outside) gate_.sent(request);
    if (status != GrabSuccess) return gate_.holdFailed();
    XIAllowEvents(display_, masterKeyboard_, XISyncDevice, CurrentTime);
    XFlush(display_);
    gate_.held(window);
  }

  // A click or an action is waiting for the keyboard to be free.
  void freeInput() {
    gate_.freeWanted();
    if (!gate_.grabActive()) return;
    std::lock_guard lock(shared_->mutex);
    ++shared_->statistics.grabsEnded;
  }

  void reportGrab() {
    if (shared_->fence) shared_->fence->reportGrab(gate_.grabActive());
  }

  // ---- what the router hears

  void hear(const Action& action) {
    std::optional<InputEvent> event = keyEvent(action, action.state);
    if (!event) return;
    event->passedByTap = action.passed;
    deliverToMainThread(shared_, event->type, std::move(*event), 0, action.passed);
  }

  // The router's answer for a press the keyboard waits on: decided here when the key ownership
  // can tell (once the main thread has handled every event before it), else asked of the main
  // thread, which has a bounded time to answer.
  bool decide(const Action& action) {
    std::optional<InputEvent> event = keyEvent(action, action.state);
    if (!event || !enabledAndAttached()) return false;
    const auto keycode = action.keycode;
    const unsigned state = action.state;
    if (allKeys_)
      if (const std::optional<bool> known = handoff_.decidedAtOnce(*event)) {
        // The main thread only hears of the key, and acts on it when it gets to it.
        event->passedByTap = !*known;
        deliverToMainThread(shared_, event->type, std::move(*event), 0, true);
        if (*known) takeFenceRequest();
        return *known;
      }
    const std::uint64_t ticket = handoff_.takeTicket();
    deliverToMainThread(shared_, event->type, std::move(*event), ticket);
    bool swallow = ticket != 0 && handoff_.awaitAnswer(ticket);
    // What the key changed (a mode that starts or ends) takes effect before the keyboard moves on:
    // the next key already meets the grabs of the mode it is meant for.
    applyRequests();
    // While off only the entry chords are grabbed, and only to be swallowed; while a mode is on its
    // own keys are its whatever the answer. Such a key whose answer is late, or that came while an
    // earlier answer was outstanding, is swallowed all the same, and does what it does when the
    // main thread gets to it. Any other such key passes.
    if (ticket == 0 || handoff_.wasLate(ticket))
      swallow = allKeys_ ? grabs_->isModeKey(keycode, state) : grabs_->isChord(keycode, state);
    if (swallow) takeFenceRequest();
    return swallow;
  }

  // The decision clicks or acts: the keyboard must be free for what that opens.
  void takeFenceRequest() {
    if (shared_->fence && shared_->fence->takeRequest()) freeInput();
  }

  // A lone tap that may start a mode: a person types the mode's first key right after it, so every
  // key is grabbed before the tap is handed on, and that key meets the mode's grabs however long
  // the mode takes to start. Whatever the tap does (start a mode, or nothing) is done before the
  // grabs are let go: a key typed meanwhile waits for it, and is decided by the mode it was typed
  // into.
  void tapUp(const Action& action) {
    armed_ = true;
    grabWindows();
    std::optional<InputEvent> event = keyEvent(action, action.state);
    if (event && enabledAndAttached()) {
      const std::uint64_t ticket = handoff_.takeTicket();
      deliverToMainThread(shared_, event->type, std::move(*event), ticket);
      if (ticket != 0) handoff_.awaitAnswer(ticket);
    }
    applyRequests();
    armed_ = false;
    grabWindows();
  }

  // The event the main thread hears for a key; nothing for one it has no use for. The tap's view
  // of the modifiers follows the key either way.
  std::optional<InputEvent> keyEvent(const Action& action, unsigned xState) {
    auto code = keyCodeForXKeycode(action.keycode);
    if (!code) return std::nullopt;
    InputEvent event;
    event.keyCode = *code;
    event.autorepeat = action.repeat;
    event.sourceUserData = ownUserData(
        action.sourceid,
        action.press ? OwnEventLedger::Kind::keyPress : OwnEventLedger::Kind::keyRelease,
        action.keycode);
    EventType type = action.press ? eventType::keyDown : eventType::keyUp;
    if (!action.repeat) {
      auto change = modifiers_.apply(*code, action.press);
      if (!change) return std::nullopt;  // a Caps Lock release changes nothing
      if (change->isModifierKey) type = eventType::flagsChanged;
    }
    event.type = type;
    event.flags = modifiers_.flags();
    if (type != eventType::flagsChanged) event.text = textOf(action.keycode, xState);
    if (!(mask_ & eventMaskBit(type))) return std::nullopt;
    return event;
  }

  std::u16string textOf(unsigned keycode, unsigned state) {
    KeySym keysym = NoSymbol;
    unsigned consumed = 0;
    if (!XkbLookupKeySym(display_, static_cast<KeyCode>(keycode), state, &consumed, &keysym))
      return {};
    char32_t character = keysymToUnicode(keysym);
    if (character == 0) return {};
    // A control chord types the control character, as terminals have it.
    if ((state & ControlMask) && character >= U'@' && character <= U'~' && character != U'`')
      character = character & 0x1F;
    return utf16(character);
  }

  // A key has one owner. While a mode is on we grab every key of every managed window, so a press
  // in the focused window that reached us only raw was taken by another client's grab (an open
  // menu, a window switcher): it belongs to that client and does nothing here. With no window
  // focused (the desktop itself) nobody else can want the key. While off, an entry chord is
  // grabbed on the root window, so one that reached us only raw is another client's too. Modifier
  // keys are never withheld from applications anyway, so their taps keep working.
  bool isForeign(unsigned keycode, unsigned state) {
    auto code = keyCodeForXKeycode(keycode);
    if (!code || Key::isModifierKey(*code)) return false;
    if (grabs_->isChord(keycode, state)) return true;
    return allKeys_ && grabs_->focusIsGrabbed();
  }

  bool enabledAndAttached() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->alive && shared_->enabled && shared_->sourceAttached;
  }

  bool matchLedger(OwnEventLedger::Kind kind, unsigned detail) {
    if (!shared_->ledger) return false;
    auto userData = shared_->ledger->match(kind, detail, monotonicNow());
    if (!userData) return false;
    lastLedgerMatch_ = *userData;
    return true;
  }

  std::int64_t ownUserData(int sourceid, OwnEventLedger::Kind kind, unsigned detail) {
    bool synthetic = sourceid == xtestKeyboard_ || sourceid == xtestPointer_;
    if (synthetic && matchLedger(kind, detail)) return lastLedgerMatch_;
    return 0;
  }

  // ---- requests from the main thread

  void applyRequests() {
    bool enabled = false;
    bool alive = false;
    KeyInterception interception;
    std::uint64_t version = 0;
    {
      std::lock_guard lock(shared_->mutex);
      enabled = shared_->enabled && shared_->alive;
      alive = shared_->alive;
      interception = shared_->interception;
      version = shared_->requested;
      mask_ = shared_->mask;
    }
    if (version == appliedVersion_) return;
    if (!enabled) interception = {};
    int conflicts =
        grabs_->setChords(enabled ? interception.chords : std::vector<KeyInterception::Chord>{});
    allKeys_ = enabled && interception.allKeys;
    gate_.setAllKeys(allKeys_);
    conflicts +=
        grabs_->setTapModifiers(enabled ? interception.modifierTaps : std::vector<std::uint16_t>{},
                                interception.withholdModifierTaps);
    gate_.setTapModifiers(grabs_->tapKeycodes(), grabs_->withheldKeycodes());
    grabs_->setModeKeys(allKeys_ ? interception.modeKeys : std::vector<KeyInterception::Chord>{});
    grabWindows();
    selectRaw(enabled);
    XSync(display_, False);
    // The server has the selection now: the program's own events posted from here on are heard.
    if (enabled) listen(true);
    if (!alive) releaseEverything();
    appliedVersion_ = version;
    std::lock_guard lock(shared_->mutex);
    shared_->appliedVersion = version;
    shared_->statistics.grabConflicts += static_cast<std::uint64_t>(conflicts);
    shared_->applied.notify_all();
  }

  // Keys and buttons are heard whenever the tap is on; pointer motion only while the mask wants
  // moves or drags, since every move wakes this thread and costs a round trip for the position.
  void selectRaw(bool on) {
    RawBits bits{};
    if (on) {
      XISetMask(bits.data(), XI_RawKeyPress);
      XISetMask(bits.data(), XI_RawKeyRelease);
      XISetMask(bits.data(), XI_RawButtonPress);
      XISetMask(bits.data(), XI_RawButtonRelease);
      if (mask_ & pointerMotionTypes) XISetMask(bits.data(), XI_RawMotion);
    }
    if (!on) listen(false);
    if (bits == rawSelected_) return;
    const bool keysBefore = XIMaskIsSet(rawSelected_.data(), XI_RawKeyPress);
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
    XISelectEvents(display_, root_, &mask, 1);
    rawSelected_ = bits;
    if (!on) {
      // Whatever was heard is over: the router is told nothing more about those keys.
      gate_.reset();
      heldButtons_ = 0;
    } else if (!keysBefore) {
      // What the keyboard has down already, the applications have seen go down.
      XSync(display_, False);
      char keys[32] = {};
      XQueryKeymap(display_, keys);
      std::bitset<256> down;
      for (unsigned keycode = 0; keycode < 256; ++keycode)
        down[keycode] = (keys[keycode / 8] & (1 << (keycode % 8))) != 0;
      gate_.resync(down);
    }
    if (!XIMaskIsSet(bits.data(), XI_RawMotion)) {
      pendingMotions_ = 0;
      pendingMotionIsOwn_ = true;
      pendingMotionUserData_.reset();
    }
  }

  void listen(bool on) {
    if (on == listening_ || !shared_->ledger) return;
    listening_ = on;
    shared_->ledger->listen(on);
  }

  void grabWindows() {
    rescanNeeded_ = false;
    int conflicts = grabs_->setWindows(allKeys_ || armed_);
    std::lock_guard lock(shared_->mutex);
    shared_->statistics.grabConflicts += static_cast<std::uint64_t>(conflicts);
    shared_->statistics.grabbedWindows = grabs_->windowCount();
  }

  // ---- events

  void handle(XEvent& event) {
    if (event.type == GenericEvent && event.xcookie.extension == xiOpcode_) {
      if (!XGetEventData(display_, &event.xcookie)) return;
      handleInput(event.xcookie);
      XFreeEventData(display_, &event.xcookie);
      act();
      return;
    }
    if (xkbEventBase_ >= 0 && event.type == xkbEventBase_) {
      auto* xkb = reinterpret_cast<XkbEvent*>(&event);
      if (xkb->any.xkb_type == XkbStateNotify) {
        xkbState_ = xkb->state.mods | (static_cast<unsigned>(xkb->state.group) << 13);
        modifiers_.setCapsLocked((xkb->state.locked_mods & LockMask) != 0);
      } else if (xkb->any.xkb_type == XkbMapNotify) {
        XkbRefreshKeyboardMapping(&xkb->map);
        grabs_->refreshModifierMap();
        readModifierKeys();
      } else if (xkb->any.xkb_type == XkbNewKeyboardNotify) {
        grabs_->refreshModifierMap();
        readModifierKeys();
      }
      return;
    }
    if (event.type == MappingNotify) {
      XRefreshKeyboardMapping(&event.xmapping);
      return;
    }
    if (event.type == UnmapNotify || event.type == DestroyNotify) {
      windowGone(event.type == UnmapNotify ? event.xunmap.window : event.xdestroywindow.window);
      return;
    }
    if (!allKeys_) return;
    if ((event.type == MapNotify && event.xmap.event == root_) ||
        (event.type == ReparentNotify && event.xreparent.event == root_) ||
        (event.type == PropertyNotify && event.xproperty.window == root_ &&
         event.xproperty.atom == grabs_->clientListAtom()))
      rescanNeeded_ = true;
  }

  // A window whose keys the tap grabs went away, or a window of the root's (a frame) with it: a
  // grab on it ended with it. Told in the order the server sent it, among the key events.
  void windowGone(Window window) {
    const unsigned long front = gate_.frontWindow();
    if (front == 0) return;
    if (window != front) {
      ErrorTrap trap(display_);
      XWindowAttributes attributes{};
      const bool viewable =
          XGetWindowAttributes(display_, front, &attributes) && attributes.map_state == IsViewable;
      trap.check();
      if (viewable) return;
    }
    gate_.windowGone(front);
    act();
    if (allKeys_) rescanNeeded_ = true;
  }

  void handleInput(XGenericEventCookie& cookie) {
    switch (cookie.evtype) {
      case XI_RawKeyPress:
      case XI_RawKeyRelease: {
        auto* raw = static_cast<XIRawEvent*>(cookie.data);
        if (cookie.evtype == XI_RawKeyPress) {
          const double now = monotonicNow();
          std::lock_guard lock(shared_->mutex);
          shared_->statistics.lastPressRead = now;
        }
        X11KeyGate::Event event;
        event.keycode = static_cast<unsigned>(raw->detail);
        event.press = cookie.evtype == XI_RawKeyPress;
        event.via = viaOf(raw->sourceid);
        event.sourceid = raw->sourceid;
        event.state = xkbState_;  // raw events carry none: the keyboard's as the tap last heard it
        event.time = static_cast<std::uint32_t>(raw->time);
        event.serial = raw->serial;
        gate_.raw(event);
        noteLateness(raw->time);
        act();
        if (event.press) answerEarly(event);
        return;
      }
      case XI_KeyPress:
      case XI_KeyRelease: {
        auto* device = static_cast<XIDeviceEvent*>(cookie.data);
        X11KeyGate::Event event;
        event.keycode = static_cast<unsigned>(device->detail);
        event.press = cookie.evtype == XI_KeyPress;
        event.repeat = (device->flags & XIKeyRepeat) != 0;
        event.via = viaOf(device->sourceid);
        event.sourceid = device->sourceid;
        event.state = stateOf(*device);
        event.time = static_cast<std::uint32_t>(device->time);
        event.serial = device->serial;
        event.window = device->event;
        gate_.grabbed(event);
        return;
      }
      case XI_RawButtonPress:
      case XI_RawButtonRelease: {
        gate_.button();
        flushMotion();
        auto* raw = static_cast<XIRawEvent*>(cookie.data);
        noteLateness(raw->time);
        emitButton(raw->detail, cookie.evtype == XI_RawButtonPress, raw->sourceid);
        return;
      }
      case XI_HierarchyChanged:
        findDevices();
        return;
      case XI_RawMotion: {
        auto* raw = static_cast<XIRawEvent*>(cookie.data);
        ++pendingMotions_;
        if (raw->sourceid != xtestPointer_ || !matchLedger(OwnEventLedger::Kind::motion, 0))
          pendingMotionIsOwn_ = false;
        else if (!pendingMotionUserData_)
          pendingMotionUserData_ = lastLedgerMatch_;
        return;
      }
      default:
        return;
    }
  }

  // A press the mode has no use for is let through on its raw event: the answer is at the server
  // before the server has finished with the press, so the keyboard does not wait for this thread
  // to hear the grab's event. Only for a press nothing else decides: not the tap's own, not a
  // modifier whose tap is withheld, not while anything of ours holds the keyboard.
  void answerEarly(const X11KeyGate::Event& raw) {
    if (!allKeys_ || grabs_->withholdsTap(raw.keycode) || !gate_.canAnswerEarly(raw.keycode) ||
        !enabledAndAttached())
      return;
    // The press as the router will hear it, taking nothing: the grab's event is heard as usual.
    const X11ModifierState modifiers = modifiers_;
    Action press{Action::Kind::hear};
    press.keycode = raw.keycode;
    press.press = true;
    const std::optional<InputEvent> event = keyEvent(press, xkbState_);
    modifiers_ = modifiers;
    if (!event || handoff_.decidedAtOnce(*event, false) != false) return;
    const std::uint64_t request = NextRequest(display_);
    XIAllowEvents(display_, masterKeyboard_, XIReplayDevice, raw.time);
    XFlush(display_);
    gate_.answeredEarly(request, raw.time);
    noteAnswered();
    std::lock_guard lock(shared_->mutex);
    ++shared_->statistics.decidedAtOnce;
    ++shared_->statistics.answeredEarly;
  }

  void noteAnswered() {
    const double now = monotonicNow();
    std::lock_guard lock(shared_->mutex);
    shared_->statistics.lastPressAnswered = now;
  }

  static unsigned stateOf(const XIDeviceEvent& event) {
    return static_cast<unsigned>(event.mods.effective) |
           (static_cast<unsigned>(event.group.effective & 3) << 13);
  }

  // Input that waited a second or more for this process to read it: the process could not run (a
  // debugger, SIGSTOP), and while a mode is on a key pressed meanwhile froze the whole keyboard.
  // Reported once the events in hand are decided, so that they still go by the mode's rules.
  void noteLateness(Time serverTime) {
    const double late = lag_.lateness(static_cast<std::uint32_t>(serverTime), monotonicNow());
    if (late < stallReport / 2) {
      stallSeen_ = false;
    } else if (late >= stallReport && !stallSeen_) {
      stallSeen_ = true;
      stallToReport_ = allKeys_;
    }
  }

  void reportStall() {
    stallToReport_ = false;
    {
      std::lock_guard lock(shared_->mutex);
      ++shared_->statistics.stallsReported;
    }
    deliverToMainThread(shared_, eventType::tapDisabledByTimeout, {}, 0);
  }

  Point pointer() {
    auto pixel = queryPointer(display_);
    if (!pixel) return {};
    return {static_cast<double>(pixel->x), static_cast<double>(pixel->y)};
  }

  void emitButton(int xButton, bool pressed, int sourceid) {
    InputEvent event;
    event.sourceUserData = ownUserData(
        sourceid, pressed ? OwnEventLedger::Kind::buttonPress : OwnEventLedger::Kind::buttonRelease,
        static_cast<unsigned>(xButton));
    event.flags = modifiers_.flags();
    if (isWheelButton(xButton)) {
      if (!pressed) return;
      event.type = eventType::scrollWheel;
      // One wheel step; positive is up and left.
      event.scrollWheel1 = xButton == 4 ? 1 : xButton == 5 ? -1 : 0;
      event.scrollWheel2 = xButton == 6 ? 1 : xButton == 7 ? -1 : 0;
    } else {
      auto types = buttonTypes(xButton);
      if (!types) return;
      unsigned bit = 1u << types->number;
      heldButtons_ = pressed ? heldButtons_ | bit : heldButtons_ & ~bit;
      event.type = pressed ? types->down : types->up;
      event.buttonNumber = types->number;
      event.clickState = 1;
    }
    if (!(mask_ & eventMaskBit(event.type))) return;
    event.location = pointer();
    deliverToMainThread(shared_, event.type, std::move(event), 0);
  }

  void flushMotion() {
    if (pendingMotions_ == 0) return;
    InputEvent event;
    event.type = (heldButtons_ & 1)   ? eventType::leftMouseDragged
                 : (heldButtons_ & 2) ? eventType::rightMouseDragged
                 : heldButtons_       ? eventType::otherMouseDragged
                                      : eventType::mouseMoved;
    event.buttonNumber = (heldButtons_ & 1) ? 0 : (heldButtons_ & 2) ? 1 : heldButtons_ ? 2 : 0;
    event.flags = modifiers_.flags();
    event.sourceUserData = pendingMotionIsOwn_ ? pendingMotionUserData_.value_or(0) : 0;
    pendingMotions_ = 0;
    pendingMotionIsOwn_ = true;
    pendingMotionUserData_.reset();
    if (!(mask_ & eventMaskBit(event.type))) return;
    event.location = pointer();
    deliverToMainThread(shared_, event.type, std::move(event), 0);
  }

  void releaseEverything() {
    selectRaw(false);
    grabs_->setChords({});
    grabs_->setTapModifiers({}, false);
    allKeys_ = false;
    armed_ = false;
    grabWindows();
    setSpareKeyboard(-1);
    XSync(display_, False);
    gate_.reset();
    reportGrab();
  }

  std::shared_ptr<Shared> shared_;
  Display* display_;
  X11TapHandoff handoff_;
  Window root_ = 0;
  int xiOpcode_ = 0;
  int xkbEventBase_ = -1;
  int masterKeyboard_ = -1;
  int xtestKeyboard_ = -1;
  int xtestPointer_ = -1;
  int spareKeyboard_ = -1;
  XDevice* spareDevice_ = nullptr;
  unsigned xkbState_ = 0;

  using RawBits = std::array<unsigned char, XIMaskLen(XI_LASTEVENT)>;

  std::uint64_t appliedVersion_ = 0;
  std::uint64_t mask_ = 0;  // the event types wanted, as of the last request applied
  RawBits rawSelected_{};
  bool allKeys_ = false;
  bool armed_ = false;  // a modifier's tap is being handed on: every key is grabbed meanwhile
  bool rescanNeeded_ = false;
  std::optional<X11GrabSet> grabs_;

  X11KeyGate gate_;
  X11ModifierState modifiers_;
  X11EventLag lag_;
  bool stallSeen_ = false;
  bool stallToReport_ = false;
  bool listening_ = false;  // counted in the ledger
  unsigned heldButtons_ = 0;
  int pendingMotions_ = 0;
  bool pendingMotionIsOwn_ = true;
  std::optional<std::int64_t> pendingMotionUserData_;
  std::int64_t lastLedgerMatch_ = 0;
};

void runTapWorker(std::shared_ptr<X11Tap::Shared> shared) {
  X11Tap::Worker(std::move(shared)).run();
}

}  // namespace tovrel::platform::x11
