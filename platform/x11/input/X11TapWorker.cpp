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
#include <cerrno>
#include <chrono>
#include <set>
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

namespace tovrel::platform::x11 {

namespace {

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
      : shared_(std::move(shared)), display_(shared_->display) {}
  // Freed without a request: the server may be gone already.
  ~Worker() { XFree(spareDevice_); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void run() {
    if (!setUp()) return;
    pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {shared_->wakePipe[0], POLLIN, 0}};
    while (true) {
      applyRequests();
      serveFenceRequest();
      {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->alive) break;
      }
      gate_.expire(monotonicNow());
      drainQueue();
      if (gate_.ownReleaseMissedGrab()) {
        // Once the server has sent everything, a release of the tap's own that reached no grab
        // never will: the grab it was to end went with its window.
        drainUntilQuiet();
        gate_.grabMissed();
        reportGrab();
      }
      serveReleaseDeadline();
      settleAndPost();
      if (pendingRaw_ && allKeys_) {
        // The server sends a press's raw event first and, when the press started one of our grabs,
        // the grab's event some tens of microseconds later. The keyboard is frozen until that
        // event is answered, so it is awaited awake for a moment (a sleep would add the thread's
        // wake-up to every key), then asleep, and only then does a round trip make sure.
        pollfd connection{ConnectionNumber(display_), POLLIN, 0};
        const double until = monotonicNow() + rawSpinSeconds;
        int ready = 0;
        while ((ready = poll(&connection, 1, 0)) == 0 && monotonicNow() < until) {
        }
        if (ready > 0 || poll(&connection, 1, rawGraceMilliseconds) > 0) drainQueue();
      }
      if (pendingRaw_) {
        // One round trip makes sure the grab's event is here, if there is one. (Behind an earlier
        // answer it can come later still: decidePress knows the press.)
        XSync(display_, False);
        drainQueue();
        gate_.earlyAnswerUnmet();
      }
      flushPendingRawPress();
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
      if (poll(fds, 2, pollTimeout()) < 0 && errno != EINTR) break;
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

  // The tap sleeps until something comes, but for a release it awaits and for its own events,
  // which are forgotten when they do not come back.
  int pollTimeout() const {
    if (releaseDeadline_)
      return std::max(0, static_cast<int>((*releaseDeadline_ - monotonicNow()) * 1000) + 1);
    return gate_.expecting() ? 500 : -1;
  }

  void drainQueue() {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      handle(event);
    }
  }

  // Until a round trip brings nothing new: each answer given may let the server deliver the next
  // event it held back. Bounded, for a person typing fast enough to never let it be quiet.
  void drainUntilQuiet() {
    for (int round = 0; round < 8; ++round) {
      XSync(display_, False);
      if (XEventsQueued(display_, QueuedAlready) == 0) return;
      drainQueue();
    }
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
    findDevices();
    if (masterKeyboard_ < 0) return false;
    grabs_.emplace(display_, masterKeyboard_);
    // A round trip: it answers once the server has handled every answer sent before it.
    gate_.setKeyDownQuery([this](unsigned keycode) { return keyIsDown(keycode); });
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
    gate_.setSpareKeyboard(spareDevice_ != nullptr);
  }

  X11KeyGate::Via viaOf(int sourceid) const {
    if (sourceid == xtestKeyboard_) return X11KeyGate::Via::synthetic;
    if (sourceid == spareKeyboard_) return X11KeyGate::Via::spare;
    return X11KeyGate::Via::none;
  }

  // ---- requests from the main thread

  // A click or an accessibility action is waiting for the keyboard to be free.
  void serveFenceRequest() {
    X11InputFence* fence = shared_->fence.get();
    if (fence && fence->takeRequest()) freePending_ = true;
  }

  // Keys the server queued behind an answer reach the grab only once that answer is in: each is
  // settled while the grab still holds (a key let go, a key chased) before the grab's holder is let
  // go, or its settling would come after the grab is over and reach the application. Asking
  // whether the holder is still down is a round trip that may bring such a key, so the queue is
  // looked at again after it, and the posts follow the last look at once (a key that still comes
  // between them is settled under a grab of the tap's own: see sendPosts).
  void settleAndPost() {
    if (!freePending_ && !gate_.hasPosts()) return;
    do {
      drainUntilQuiet();
      if (std::exchange(freePending_, false)) freeInput();
    } while (XEventsQueued(display_, QueuedAlready) > 0);
    sendPosts();
    reportGrab();
  }

  // Ends the grab a swallowed press started, before its key is released, so that what the
  // decision opens (a menu, a combo box's list) can take the keyboard. The gate says how: its
  // holder let go by the tap (the grab ends when the tap's own release reaches it), the own
  // release of a holder that cannot be let go awaited, or a modifier's grab let go as it is.
  void freeInput() {
    const X11KeyGate::Freeing freeing = gate_.freeInput();
    switch (freeing) {
      case X11KeyGate::Freeing::free:
        return;
      case X11KeyGate::Freeing::posted:
        break;
      case X11KeyGate::Freeing::waiting:
        // Released already, or typed through the synthetic keyboard of a server with no real
        // one: a key held past the bound is not waited for, its grab is let go, and its release
        // reaches the application.
        if (!releaseDeadline_) releaseDeadline_ = monotonicNow() + releaseWait;
        break;
      case X11KeyGate::Freeing::ungrab:
        ungrab();
        break;
    }
    std::lock_guard lock(shared_->mutex);
    ++shared_->statistics.grabsEnded;
  }

  // How long an action waits for the own release of a key it cannot let go; within the fence's
  // bound.
  static constexpr double releaseWait = 0.08;
  static_assert(releaseWait < X11InputFence::grabEndBound);

  void ungrab() {
    XIUngrabDevice(display_, masterKeyboard_, CurrentTime);
    gate_.grabEnded();
    // Done when the server has done it: the click that waits for it must come after.
    XSync(display_, False);
  }

  // The awaited release of a synthetic key did not come in time.
  void serveReleaseDeadline() {
    if (!releaseDeadline_ || monotonicNow() < *releaseDeadline_) return;
    releaseDeadline_.reset();
    if (!gate_.grabActive()) return;
    ungrab();
    reportGrab();
  }

  // The gate's own key events, posted through XTest behind whatever answer was just given.
  void sendPosts() {
    const auto posts = gate_.takePosts();
    // A key settled after the grab it came to is over: the tap holds the keyboard itself while
    // its press and release go, or the release would reach the application. The server handles
    // a request's input before the same client's next request, so the ungrab comes after them.
    bool holding = false;
    for (const X11KeyGate::Post& post : posts) {
      if (post.held && !holding && !(holding = grabKeyboard())) gate_.holdFailed();
      if (!post.held && holding) {
        XIUngrabDevice(display_, masterKeyboard_, CurrentTime);
        holding = false;
      }
      if (post.via == X11KeyGate::Via::spare)
        XTestFakeDeviceKeyEvent(display_, spareDevice_, post.keycode, post.press ? True : False,
                                nullptr, 0, CurrentTime);
      else
        XTestFakeKeyEvent(display_, post.keycode, post.press ? True : False, CurrentTime);
    }
    if (holding) XIUngrabDevice(display_, masterKeyboard_, CurrentTime);
    if (!posts.empty()) XFlush(display_);
  }

  // Another client's grab (a popup the click opened) keeps its own: then it gets the release.
  bool grabKeyboard() {
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_KeyPress);
    XISetMask(bits, XI_KeyRelease);
    XIEventMask mask{masterKeyboard_, sizeof bits, bits};
    return XIGrabDevice(display_, masterKeyboard_, root_, CurrentTime, None, XIGrabModeAsync,
                        XIGrabModeAsync, False, &mask) == GrabSuccess;
  }

  void answer(const XIDeviceEvent& device, X11KeyGate::Answer answer) {
    if (answer == X11KeyGate::Answer::none) return;
    XIAllowEvents(display_, device.deviceid,
                  answer == X11KeyGate::Answer::swallow ? XISyncDevice : XIReplayDevice,
                  device.time);
    XFlush(display_);
  }

  bool isModifierKeycode(unsigned keycode) const {
    return IsModifierKey(XkbKeycodeToKeysym(display_, static_cast<KeyCode>(keycode), 0, 0));
  }

  bool keyIsDown(unsigned keycode) const {
    char keys[32] = {};
    XQueryKeymap(display_, keys);
    return keycode < 256 && (keys[keycode / 8] & (1 << (keycode % 8))) != 0;
  }

  void reportGrab() {
    if (!gate_.grabActive()) releaseDeadline_.reset();
    if (shared_->fence) shared_->fence->reportGrab(gate_.grabActive());
  }

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
    selectRaw(enabled);
    int conflicts =
        grabs_->setChords(enabled ? interception.chords : std::vector<KeyInterception::Chord>{});
    allKeys_ = enabled && interception.allKeys;
    conflicts +=
        grabs_->setTapModifiers(enabled ? interception.modifierTaps : std::vector<std::uint16_t>{},
                                interception.withholdModifierTaps);
    grabs_->setModeKeys(allKeys_ ? interception.modeKeys : std::vector<KeyInterception::Chord>{});
    grabWindows();
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
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
    XISelectEvents(display_, root_, &mask, 1);
    rawSelected_ = bits;
    if (!on) {
      // Whatever was heard is over: the router is told nothing more about those keys.
      pendingRaw_.reset();
      rawDown_.clear();
      tapCandidate_.reset();
      heldButtons_ = 0;
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
    int conflicts = grabs_->setWindows(allKeys_ || armedBy_);
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
      return;
    }
    // A modifier's press changes the keyboard state, and the server may report that between the
    // press's raw event and its grab event: a state report leaves a pending raw press pending, or
    // the press would be heard twice. Any other event ends it: its grab event would have come
    // first.
    if (xkbEventBase_ < 0 || event.type != xkbEventBase_) flushPendingRawPress();
    if (xkbEventBase_ >= 0 && event.type == xkbEventBase_) {
      auto* xkb = reinterpret_cast<XkbEvent*>(&event);
      if (xkb->any.xkb_type == XkbStateNotify) {
        xkbState_ = xkb->state.mods | (static_cast<unsigned>(xkb->state.group) << 13);
        modifiers_.setCapsLocked((xkb->state.locked_mods & LockMask) != 0);
      } else if (xkb->any.xkb_type == XkbMapNotify) {
        XkbRefreshKeyboardMapping(&xkb->map);
        grabs_->refreshModifierMap();
      } else if (xkb->any.xkb_type == XkbNewKeyboardNotify) {
        grabs_->refreshModifierMap();
      }
      return;
    }
    if (event.type == MappingNotify) {
      XRefreshKeyboardMapping(&event.xmapping);
      return;
    }
    if (!allKeys_) return;
    if ((event.type == MapNotify && event.xmap.event == root_) ||
        (event.type == ReparentNotify && event.xreparent.event == root_) ||
        (event.type == PropertyNotify && event.xproperty.window == root_ &&
         event.xproperty.atom == grabs_->clientListAtom()))
      rescanNeeded_ = true;
  }

  void handleInput(XGenericEventCookie& cookie) {
    switch (cookie.evtype) {
      case XI_RawKeyPress: {
        flushPendingRawPress();
        auto* raw = static_cast<XIRawEvent*>(cookie.data);
        const auto keycode = static_cast<unsigned>(raw->detail);
        if (gate_.ownRaw(keycode, true, viaOf(raw->sourceid), monotonicNow())) return;
        const bool repeat = (raw->flags & XIKeyRepeat) != 0;
        notePressForTap(keycode, repeat);
        noteLateness(raw->time);
        // Held back until the next event: when it is our grab's event for the same press, the
        // press is decided there.
        pendingRaw_ = PendingRaw{keycode, raw->sourceid};
        if (!repeat) answerEarly(keycode, static_cast<std::uint32_t>(raw->time));
        return;
      }
      case XI_KeyPress: {
        auto* device = static_cast<XIDeviceEvent*>(cookie.data);
        unsigned keycode = static_cast<unsigned>(device->detail);
        if (pendingRaw_ && pendingRaw_->keycode == keycode) pendingRaw_.reset();
        flushPendingRawPress();
        decidePress(*device);
        return;
      }
      default:
        break;
    }
    flushPendingRawPress();
    switch (cookie.evtype) {
      case XI_KeyRelease: {
        auto* device = static_cast<XIDeviceEvent*>(cookie.data);
        unsigned keycode = static_cast<unsigned>(device->detail);
        X11KeyGate::Release release = gate_.grabRelease(keycode, viaOf(device->sourceid));
        answer(*device, release.answer);
        reportGrab();
        if (release.heard) emitKey(keycode, false, false, device->sourceid, stateOf(*device), 0);
        return;
      }
      case XI_RawKeyRelease: {
        auto* raw = static_cast<XIRawEvent*>(cookie.data);
        unsigned keycode = static_cast<unsigned>(raw->detail);
        if (gate_.ownRaw(keycode, false, viaOf(raw->sourceid), monotonicNow())) return;
        noteLateness(raw->time);
        rawDown_.erase(keycode);
        if (tapCandidate_ == keycode) {
          tapCandidate_.reset();
          return disarm(keycode, raw->sourceid);
        }
        if (gate_.rawRelease(keycode)) emitKey(keycode, false, false, raw->sourceid, xkbState_, 0);
        return;
      }
      case XI_RawButtonPress:
      case XI_RawButtonRelease: {
        tapCandidate_.reset();
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

  void flushPendingRawPress() {
    if (!pendingRaw_) return;
    PendingRaw raw = *pendingRaw_;
    pendingRaw_.reset();
    if (isForeign(raw.keycode)) {
      std::lock_guard lock(shared_->mutex);
      ++shared_->statistics.foreignKeys;
      return;
    }
    if (gate_.rawPress(raw.keycode, false))
      emitKey(raw.keycode, true, false, raw.sourceid, xkbState_, 0);
  }

  // A key has one owner. While a mode is on we grab every key of every managed window, so a press
  // in the focused window that reached us only raw was taken by another client's grab (an open
  // menu, a window switcher): it belongs to that client and does nothing here. With no window
  // focused (the desktop itself) nobody else can want the key. While off, an entry chord is
  // grabbed on the root window, so one that reached us only raw is another client's too. Modifier
  // keys are never withheld from applications anyway, so their taps keep working.
  bool isForeign(unsigned keycode) {
    auto code = keyCodeForXKeycode(keycode);
    if (!code || Key::isModifierKey(*code)) return false;
    if (grabs_->isChord(keycode, xkbState_)) return true;
    return allKeys_ && grabs_->focusIsGrabbed();
  }

  bool enabledAndAttached() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->alive && shared_->enabled && shared_->sourceAttached;
  }

  void decidePress(const XIDeviceEvent& device) {
    unsigned keycode = static_cast<unsigned>(device.detail);
    bool repeat = (device.flags & XIKeyRepeat) != 0;
    const bool heardRaw = !repeat && gate_.isHeld(keycode);
    const X11KeyGate::Origin origin{viaOf(device.sourceid), isModifierKeycode(keycode)};
    if (gate_.grabPressAnsweredEarly(keycode, origin, device.serial,
                                     static_cast<std::uint32_t>(device.time)))
      return passedEarly(device);
    // Every grab event is answered, whatever the gate makes of it: an unanswered one would keep
    // the whole keyboard frozen.
    if (auto own = gate_.grabPress(keycode, origin)) {
      answer(device, *own);
      reportGrab();
      return;
    }
    if (heardRaw) {
      // The press was heard already, raw: while the keyboard waited for an earlier answer its raw
      // event came at once and its grab event only once the keyboard moved on. It is the same
      // press, and the router took it as reaching the application: so it does.
      answer(device, gate_.answerPress(keycode, false));
      reportGrab();
      return;
    }
    if (!repeat && grabs_->withholdsTap(keycode) && gate_.grabStarter() == keycode &&
        (tapCandidate_ == keycode || !allKeys_)) {
      withholdTapModifier(device);
      return;
    }
    reportGrab();
    auto code = keyCodeForXKeycode(keycode);
    bool swallow = false;
    if (code && enabledAndAttached()) {
      std::optional<InputEvent> event =
          keyEvent(keycode, true, repeat, device.sourceid, stateOf(device));
      const std::optional<bool> known = event && allKeys_ ? decidedAtOnce(*event) : std::nullopt;
      if (known && !*known) {
        // The keyboard moves on first; the main thread only hears of the key.
        answer(device, gate_.answerPress(keycode, false));
        reportGrab();
        event->passedByTap = true;
        deliverToMainThread(shared_, event->type, std::move(*event), 0, true);
        return;
      }
      if (known) {
        // The mode's own key: the main thread acts on it when it gets to it, as on a late answer.
        swallow = true;
        deliverToMainThread(shared_, event->type, std::move(*event), 0, true);
      } else {
        const std::uint64_t ticket = takeTicket();
        if (event)
          deliverToMainThread(shared_, event->type, std::move(*event), ticket);
        else
          release(ticket);
        if (ticket != 0) swallow = awaitAnswer(ticket);
        // While off only the entry chords are grabbed, and only to be swallowed; while a mode is
        // on its own keys are its whatever the answer. Such a key whose answer is late, or that
        // came while an earlier answer was outstanding, is swallowed all the same, and does what
        // it does when the main thread gets to it. Any other such key passes.
        if (ticket == 0 || lateTickets_.contains(ticket))
          swallow = allKeys_ ? grabs_->isModeKey(keycode, stateOf(device))
                             : grabs_->isChord(keycode, stateOf(device));
      }
      // What the key changed (a mode that starts or ends) takes effect before the keyboard moves
      // on: the next key already meets the grabs of the mode it is meant for.
      applyRequests();
    } else if (code) {
      // Not listening: keep the modifiers right for when the tap is enabled again.
      if (!repeat) modifiers_.apply(*code, true);
    }
    const X11KeyGate::Answer given = gate_.answerPress(keycode, swallow);
    answer(device, given);
    // The decision clicks or acts: the keyboard must be free for what that opens.
    if (swallow && shared_->fence && shared_->fence->takeRequest()) freePending_ = true;
    reportGrab();
  }

  // A press the mode has no use for is let through on its raw event: the answer is at the server
  // before the server has finished with the press, so the keyboard does not wait for this thread
  // to hear the grab's event. Only for a press nothing else decides: not the tap's own, not a
  // modifier whose tap is withheld, not while anything of ours holds the keyboard.
  void answerEarly(unsigned keycode, std::uint32_t time) {
    if (!allKeys_ || grabs_->withholdsTap(keycode) || !gate_.canAnswerEarly(keycode) ||
        !enabledAndAttached())
      return;
    // The press as the router will hear it, taking nothing: the grab's event is heard as usual.
    const X11ModifierState modifiers = modifiers_;
    const std::optional<InputEvent> event = keyEvent(keycode, true, false, -1, xkbState_);
    modifiers_ = modifiers;
    if (!event || decidedAtOnce(*event, false) != false) return;
    const std::uint64_t request = NextRequest(display_);
    XIAllowEvents(display_, masterKeyboard_, XIReplayDevice, time);
    XFlush(display_);
    gate_.answeredEarly(request, time);
    std::lock_guard lock(shared_->mutex);
    ++shared_->statistics.decidedAtOnce;
    ++shared_->statistics.answeredEarly;
  }

  // The press an early answer let through: the router only hears of it.
  void passedEarly(const XIDeviceEvent& device) {
    const auto keycode = static_cast<unsigned>(device.detail);
    const bool repeat = (device.flags & XIKeyRepeat) != 0;
    reportGrab();
    if (!enabledAndAttached()) {
      if (auto code = keyCodeForXKeycode(keycode); code && !repeat) modifiers_.apply(*code, true);
      return;
    }
    std::optional<InputEvent> event =
        keyEvent(keycode, true, repeat, device.sourceid, stateOf(device));
    if (!event) return;
    event->passedByTap = true;
    deliverToMainThread(shared_, event->type, std::move(*event), 0, true);
  }

  // A modifier whose lone tap is the program's: a press that may begin such a tap reaches no
  // application, so none takes the tap as its own (Qt arms its menu bar, Firefox activates its
  // own), and the grab it started is let go at once: the keys that follow (an Alt chord, an AltGr
  // character, the window manager's shortcuts) go where they always went, waiting for nobody. The
  // server keeps the modifier in its state, so they still arrive with Alt or AltGr set; the
  // modifier's release reaches the application. A press that cannot begin a lone tap (another key
  // is down) passes as it is. Decided here, from the raw events: the main thread only hears it.
  void withholdTapModifier(const XIDeviceEvent& device) {
    const auto keycode = static_cast<unsigned>(device.detail);
    if (tapCandidate_ == keycode) {
      XIUngrabDevice(display_, masterKeyboard_, CurrentTime);
      gate_.grabEnded();
    } else {
      answer(device, gate_.answerPress(keycode, false));
    }
    XFlush(display_);
    reportGrab();
    if (enabledAndAttached())
      emitKey(keycode, true, false, device.sourceid, stateOf(device), 0);
    else if (auto code = keyCodeForXKeycode(keycode))
      modifiers_.apply(*code, true);
  }

  // A ticket for an answer the keyboard waits for; none while the main thread is still busy with
  // an earlier one (the event then goes by the rules of a late answer).
  std::uint64_t takeTicket() {
    std::unique_lock lock(shared_->mutex);
    if (shared_->outstanding == 0) {
      ++shared_->outstanding;
      return shared_->nextTicket++;
    }
    ++shared_->statistics.passedWhileBusy;
    if (shared_->takeDueStall(monotonicNow())) {
      lock.unlock();
      deliverToMainThread(shared_, eventType::tapDisabledByTimeout, {}, 0);
    }
    return 0;
  }

  // A lone tap of a modifier whose tap the program takes is recognised here, from the raw
  // events in order: pressed while no other key was down, released with no key or button in
  // between. Held modifiers (Alt chords, AltGr characters) grab nothing and wait for nobody.
  void notePressForTap(unsigned keycode, bool repeat) {
    if (repeat) return;
    tapCandidate_.reset();
    const bool takes = grabs_->isTapModifier(keycode);
    // A release heard by nobody (the tap was off) must not spoil every later tap.
    if (takes && !rawDown_.empty())
      std::erase_if(rawDown_, [&](unsigned down) { return !keyIsDown(down); });
    if (takes && rawDown_.empty()) tapCandidate_ = keycode;
    rawDown_.insert(keycode);
  }

  // A lone tap that may start a mode: a person types the mode's first key right after it, so every
  // key is grabbed before the tap is handed on, and that key meets the mode's grabs however long
  // the mode takes to start. Whatever the tap does (start a mode, or nothing) is done before the
  // grabs are let go: a key typed meanwhile waits for it, and is decided by the mode it was typed
  // into.
  void disarm(unsigned keycode, int sourceid) {
    armedBy_ = keycode;
    grabWindows();
    if (gate_.rawRelease(keycode)) {
      const std::uint64_t ticket = enabledAndAttached() ? takeTicket() : 0;
      emitKey(keycode, false, false, sourceid, xkbState_, ticket);
      if (ticket != 0) awaitAnswer(ticket);
    }
    applyRequests();
    armedBy_.reset();
    grabWindows();
  }

  bool awaitAnswer(std::uint64_t ticket) {
    const double asked = monotonicNow();
    std::unique_lock lock(shared_->mutex);
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::microseconds(static_cast<long>(decisionBound * 1e6));
    shared_->answered.wait_until(
        lock, deadline, [&] { return shared_->answers.contains(ticket) || !shared_->alive; });
    auto found = shared_->answers.find(ticket);
    if (found == shared_->answers.end()) {
      ++shared_->statistics.lateDecisions;
      if (!shared_->stalledSince) shared_->stalledSince = asked;
      // The answer, when it comes, is dropped.
      lateTickets_.insert(ticket);
      return false;
    }
    bool swallow = found->second;
    shared_->answers.erase(found);
    for (auto late = lateTickets_.begin(); late != lateTickets_.end();)
      if (shared_->answers.erase(*late) > 0)
        late = lateTickets_.erase(late);
      else
        ++late;
    ++shared_->statistics.decisions;
    return swallow;
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

  // Only once the main thread has handled every event before this press: the ownership it asks
  // has then seen every key the person typed before it, and no answer is outstanding.
  std::optional<bool> decidedAtOnce(const InputEvent& event, bool counted = true) {
    std::shared_ptr<const KeyOwnership> ownership;
    {
      std::lock_guard lock(shared_->mutex);
      if (!shared_->ownership || shared_->outstanding != 0 ||
          shared_->handled != shared_->delivered)
        return std::nullopt;
      ownership = shared_->ownership;
    }
    const std::optional<bool> swallow = (*ownership)(event.type, event);
    if (!swallow || !counted) return swallow;
    std::lock_guard lock(shared_->mutex);
    ++shared_->statistics.decidedAtOnce;
    return swallow;
  }

  void emitKey(unsigned keycode, bool pressed, bool repeat, int sourceid, unsigned xState,
               std::uint64_t ticket) {
    std::optional<InputEvent> event = keyEvent(keycode, pressed, repeat, sourceid, xState);
    if (!event) return release(ticket);
    deliverToMainThread(shared_, event->type, std::move(*event), ticket);
  }

  // The event the main thread hears for a key; nothing for one it has no use for. The tap's view
  // of the modifiers follows the key either way.
  std::optional<InputEvent> keyEvent(unsigned keycode, bool pressed, bool repeat, int sourceid,
                                     unsigned xState) {
    auto code = keyCodeForXKeycode(keycode);
    if (!code) return std::nullopt;
    InputEvent event;
    event.keyCode = *code;
    event.autorepeat = repeat;
    event.sourceUserData = ownUserData(
        sourceid, pressed ? OwnEventLedger::Kind::keyPress : OwnEventLedger::Kind::keyRelease,
        keycode);
    EventType type = pressed ? eventType::keyDown : eventType::keyUp;
    if (!repeat) {
      auto change = modifiers_.apply(*code, pressed);
      if (!change) return std::nullopt;  // a Caps Lock release changes nothing
      if (change->isModifierKey) type = eventType::flagsChanged;
    }
    event.type = type;
    event.flags = modifiers_.flags();
    if (type != eventType::flagsChanged) event.text = textOf(keycode, xState);
    if (!(mask_ & eventMaskBit(type))) return std::nullopt;
    return event;
  }

  // A decision that will never be asked for: answered "pass" at once.
  void release(std::uint64_t ticket) {
    if (ticket == 0) return;
    std::lock_guard lock(shared_->mutex);
    shared_->answers[ticket] = false;
    if (--shared_->outstanding == 0) {
      shared_->stalledSince.reset();
      shared_->stallReported = false;
    }
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
    allKeys_ = false;
    armedBy_.reset();
    tapCandidate_.reset();
    rawDown_.clear();
    releaseDeadline_.reset();
    grabWindows();
    setSpareKeyboard(-1);
    XSync(display_, False);
    gate_.reset();
    reportGrab();
  }

  struct PendingRaw {
    unsigned keycode;
    int sourceid;
  };

  std::shared_ptr<Shared> shared_;
  Display* display_;
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
  std::optional<unsigned> armedBy_;       // the modifier whose tap is being handed on
  std::optional<unsigned> tapCandidate_;  // a modifier down alone, whose release may be a tap
  std::set<unsigned> rawDown_;            // keys down, as the raw events have them
  bool rescanNeeded_ = false;
  std::optional<X11GrabSet> grabs_;

  X11KeyGate gate_;
  X11ModifierState modifiers_;
  std::optional<PendingRaw> pendingRaw_;
  std::optional<double> releaseDeadline_;  // until when a synthetic key's release is awaited
  bool freePending_ = false;               // a click or an action waits for the grab to end
  std::set<std::uint64_t> lateTickets_;
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
