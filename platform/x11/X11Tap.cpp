#include "platform/x11/X11Tap.hpp"

// Qt before X11: the X headers define macros (Bool, Status) that break Qt's.
#include <QCoreApplication>
#include <QMetaObject>

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "core/Keys.hpp"
#include "platform/x11/OwnEventLedger.hpp"
#include "platform/x11/RootOrigin.hpp"
#include "platform/x11/X11Errors.hpp"
#include "platform/x11/X11KeyGate.hpp"
#include "platform/x11/X11KeyTable.hpp"
#include "platform/x11/X11Modifiers.hpp"

namespace tovrel::platform::x11 {

namespace {

double monotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::u16string utf16(char32_t character) {
  if (character < 0x10000) return std::u16string(1, static_cast<char16_t>(character));
  character -= 0x10000;
  return {static_cast<char16_t>(0xD800 + (character >> 10)),
          static_cast<char16_t>(0xDC00 + (character & 0x3FF))};
}

unsigned xModifierMask(Modifiers modifiers) {
  unsigned mask = 0;
  if (modifiers.contains(Modifiers::command)) mask |= Mod4Mask;
  if (modifiers.contains(Modifiers::shift)) mask |= ShiftMask;
  if (modifiers.contains(Modifiers::option)) mask |= Mod1Mask;
  if (modifiers.contains(Modifiers::control)) mask |= ControlMask;
  return mask;
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

}  // namespace

struct X11Tap::Shared {
  mutable std::mutex mutex;
  std::condition_variable answered;
  mutable std::condition_variable applied;

  // Asked by the main thread, carried out by the worker.
  bool alive = true;
  bool enabled = false;
  bool sourceAttached = false;
  KeyInterception interception;
  std::uint64_t requested = 0;
  std::uint64_t appliedVersion = 0;

  TapCallback callback;
  std::uint64_t mask = 0;
  std::shared_ptr<OwnEventLedger> ledger;

  // Decisions in flight.
  std::uint64_t nextTicket = 1;
  std::map<std::uint64_t, bool> answers;
  int outstanding = 0;
  std::optional<double> stalledSince;
  bool stallReported = false;

  Statistics statistics;

  Display* display = nullptr;
  std::array<int, 2> wakePipe{-1, -1};
  std::thread thread;

  void wake() const {
    if (wakePipe[1] >= 0) {
      char byte = 1;
      [[maybe_unused]] ssize_t written = ::write(wakePipe[1], &byte, 1);
    }
  }
};

namespace {

// Runs on the main thread: the callback sees the event, and a waiting worker gets the answer.
void deliver(const std::shared_ptr<X11Tap::Shared>& shared, EventType type, InputEvent event,
             std::uint64_t ticket) {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [shared, type, event = std::move(event), ticket] {
        TapCallback callback;
        {
          std::lock_guard lock(shared->mutex);
          if (shared->alive && shared->enabled && shared->sourceAttached)
            callback = shared->callback;
        }
        bool swallow = callback ? callback(type, event) : false;
        if (ticket == 0) return;
        std::lock_guard lock(shared->mutex);
        shared->answers[ticket] = swallow;
        if (--shared->outstanding == 0) {
          shared->stalledSince.reset();
          shared->stallReported = false;
        }
        shared->answered.notify_all();
      },
      Qt::QueuedConnection);
}

class MainLoopSource : public TapSource {
 public:
  explicit MainLoopSource(std::shared_ptr<X11Tap::Shared> shared) : shared_(std::move(shared)) {
    std::lock_guard lock(shared_->mutex);
    shared_->sourceAttached = true;
  }
  ~MainLoopSource() override {
    std::lock_guard lock(shared_->mutex);
    shared_->sourceAttached = false;
  }

 private:
  std::shared_ptr<X11Tap::Shared> shared_;
};

}  // namespace

class X11Tap::Worker {
 public:
  explicit Worker(std::shared_ptr<Shared> shared)
      : shared_(std::move(shared)), display_(shared_->display) {}

  void run() {
    if (!setUp()) return;
    pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {shared_->wakePipe[0], POLLIN, 0}};
    while (true) {
      applyRequests();
      {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->alive) break;
      }
      drainQueue();
      if (pendingRaw_) {
        // The server writes a press's raw event and, when the press started one of our grabs, the
        // grab's event in the same step; one round trip makes sure the second one is here.
        XSync(display_, False);
        drainQueue();
      }
      flushPendingRawPress();
      flushMotion();
      if (rescanNeeded_) grabManagedWindows();
      XFlush(display_);
      fds[0].revents = fds[1].revents = 0;
      if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
      if (fds[1].revents & POLLIN) {
        char buffer[64];
        [[maybe_unused]] ssize_t drained = ::read(shared_->wakePipe[0], buffer, sizeof buffer);
      }
      if ((fds[0].revents & (POLLHUP | POLLERR)) || connectionLost(display_)) {
        // The X server went away: the program can no longer hear or decide anything.
        deliver(shared_, eventType::tapDisabledByUserInput, {}, 0);
        return;
      }
    }
    releaseEverything();
  }

 private:
  void drainQueue() {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      handle(event);
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
    wmState_ = XInternAtom(display_, "WM_STATE", False);
    netClientList_ = XInternAtom(display_, "_NET_CLIENT_LIST", False);
    numLockMask_ = findNumLockMask();
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
    return true;
  }

  void findDevices() {
    int count = 0;
    XIDeviceInfo* devices = XIQueryDevice(display_, XIAllDevices, &count);
    for (int i = 0; i < count; ++i) {
      const XIDeviceInfo& device = devices[i];
      std::string name = device.name ? device.name : "";
      if (device.use == XIMasterKeyboard && masterKeyboard_ < 0) masterKeyboard_ = device.deviceid;
      if (name.find("XTEST") != std::string::npos) {
        if (device.use == XISlaveKeyboard) xtestKeyboard_ = device.deviceid;
        if (device.use == XISlavePointer) xtestPointer_ = device.deviceid;
      }
    }
    XIFreeDeviceInfo(devices);
  }

  unsigned findNumLockMask() {
    unsigned mask = 0;
    KeyCode numLock = XKeysymToKeycode(display_, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(display_);
    if (map == nullptr) return 0;
    for (int modifier = 0; modifier < 8; ++modifier)
      for (int k = 0; k < map->max_keypermod; ++k)
        if (numLock != 0 && map->modifiermap[modifier * map->max_keypermod + k] == numLock)
          mask = 1u << modifier;
    XFreeModifiermap(map);
    return mask;
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
    }
    if (version == appliedVersion_) return;
    if (!enabled) interception = {};
    selectRaw(enabled);
    applyChordGrabs(enabled ? interception.chords : std::vector<KeyInterception::Chord>{});
    allKeys_ = enabled && interception.allKeys;
    grabManagedWindows();
    XSync(display_, False);
    if (!alive) releaseEverything();
    appliedVersion_ = version;
    std::lock_guard lock(shared_->mutex);
    shared_->appliedVersion = version;
    shared_->statistics.grabbedWindows = windowGrabs_.size();
    shared_->applied.notify_all();
  }

  void selectRaw(bool on) {
    if (on == rawSelected_) return;
    std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
    if (on) {
      XISetMask(bits.data(), XI_RawKeyPress);
      XISetMask(bits.data(), XI_RawKeyRelease);
      XISetMask(bits.data(), XI_RawButtonPress);
      XISetMask(bits.data(), XI_RawButtonRelease);
      if (shared_->mask &
          (eventMaskBit(eventType::mouseMoved) | eventMaskBit(eventType::leftMouseDragged) |
           eventMaskBit(eventType::rightMouseDragged) | eventMaskBit(eventType::otherMouseDragged)))
        XISetMask(bits.data(), XI_RawMotion);
    }
    XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
    XISelectEvents(display_, root_, &mask, 1);
    rawSelected_ = on;
    if (!on) {
      // Whatever was heard is over: the router is told nothing more about those keys.
      pendingRaw_.reset();
      heldButtons_ = 0;
    }
  }

  std::vector<XIGrabModifiers> lockVariants(unsigned base) const {
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

  XIEventMask grabMask() {
    grabMaskBits_.fill(0);
    XISetMask(grabMaskBits_.data(), XI_KeyPress);
    XISetMask(grabMaskBits_.data(), XI_KeyRelease);
    return XIEventMask{masterKeyboard_, static_cast<int>(grabMaskBits_.size()),
                       grabMaskBits_.data()};
  }

  void applyChordGrabs(const std::vector<KeyInterception::Chord>& chords) {
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
        std::lock_guard lock(shared_->mutex);
        shared_->statistics.grabConflicts += static_cast<std::uint64_t>(failed);
      }
    }
    chordGrabs_ = std::move(wanted);
  }

  // ---- grabs on the managed top-level windows while a mode is on

  std::set<Window> managedWindows() {
    std::set<Window> windows;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, root_, netClientList_, 0, 4096, False, XA_WINDOW, &type,
                           &format, &count, &remaining, &data) == Success &&
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
      if (XGetWindowAttributes(display_, child, &attributes) &&
          attributes.map_state == IsViewable && !attributes.override_redirect &&
          attributes.c_class == InputOutput)
        windows.insert(child);
    }
    if (children) XFree(children);
    return windows;
  }

  bool hasWmState(Window window) {
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

  void grabManagedWindows() {
    rescanNeeded_ = false;
    std::set<Window> wanted = allKeys_ ? managedWindows() : std::set<Window>{};
    XIGrabModifiers any{static_cast<int>(XIAnyModifier), 0};
    // A window that vanished since the scan only makes its own grab fail.
    ErrorTrap trap(display_);
    for (Window window : windowGrabs_)
      if (!wanted.contains(window))
        XIUngrabKeycode(display_, masterKeyboard_, XIAnyKeycode, window, 1, &any);
    for (Window window : wanted) {
      if (windowGrabs_.contains(window)) continue;
      XIEventMask mask = grabMask();
      XIGrabModifiers modifiers = any;
      int failed = XIGrabKeycode(display_, masterKeyboard_, XIAnyKeycode, window, XIGrabModeSync,
                                 XIGrabModeAsync, False, &mask, 1, &modifiers);
      if (failed > 0) {
        std::lock_guard lock(shared_->mutex);
        ++shared_->statistics.grabConflicts;
      }
    }
    trap.check();
    windowGrabs_ = std::move(wanted);
    std::lock_guard lock(shared_->mutex);
    shared_->statistics.grabbedWindows = windowGrabs_.size();
  }

  // ---- events

  void handle(XEvent& event) {
    if (event.type == GenericEvent && event.xcookie.extension == xiOpcode_) {
      if (!XGetEventData(display_, &event.xcookie)) return;
      handleInput(event.xcookie);
      XFreeEventData(display_, &event.xcookie);
      return;
    }
    // Any other event ends a pending raw press: its grab event would have come first.
    flushPendingRawPress();
    if (xkbEventBase_ >= 0 && event.type == xkbEventBase_) {
      auto* xkb = reinterpret_cast<XkbEvent*>(&event);
      if (xkb->any.xkb_type == XkbStateNotify) {
        xkbState_ = xkb->state.mods | (static_cast<unsigned>(xkb->state.group) << 13);
        modifiers_.setCapsLocked((xkb->state.locked_mods & LockMask) != 0);
      } else if (xkb->any.xkb_type == XkbMapNotify) {
        XkbRefreshKeyboardMapping(&xkb->map);
        numLockMask_ = findNumLockMask();
      } else if (xkb->any.xkb_type == XkbNewKeyboardNotify) {
        numLockMask_ = findNumLockMask();
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
         event.xproperty.atom == netClientList_))
      rescanNeeded_ = true;
  }

  void handleInput(XGenericEventCookie& cookie) {
    switch (cookie.evtype) {
      case XI_RawKeyPress: {
        flushPendingRawPress();
        auto* raw = static_cast<XIRawEvent*>(cookie.data);
        // Held back until the next event: when it is our grab's event for the same press, the
        // press is decided there.
        pendingRaw_ = PendingRaw{static_cast<unsigned>(raw->detail), raw->sourceid};
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
        X11KeyGate::Release release = gate_.grabRelease(keycode);
        if (release.answer != X11KeyGate::Answer::none)
          XIAllowEvents(
              display_, device->deviceid,
              release.answer == X11KeyGate::Answer::swallow ? XISyncDevice : XIReplayDevice,
              device->time);
        XFlush(display_);
        if (release.heard) emitKey(keycode, false, false, device->sourceid, stateOf(*device), 0);
        return;
      }
      case XI_RawKeyRelease: {
        auto* raw = static_cast<XIRawEvent*>(cookie.data);
        unsigned keycode = static_cast<unsigned>(raw->detail);
        if (gate_.rawRelease(keycode)) emitKey(keycode, false, false, raw->sourceid, xkbState_, 0);
        return;
      }
      case XI_RawButtonPress:
      case XI_RawButtonRelease: {
        flushMotion();
        auto* raw = static_cast<XIRawEvent*>(cookie.data);
        emitButton(raw->detail, cookie.evtype == XI_RawButtonPress, raw->sourceid);
        return;
      }
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

  void flushPendingRawPress() {
    if (!pendingRaw_) return;
    PendingRaw raw = *pendingRaw_;
    pendingRaw_.reset();
    if (gate_.rawPress(raw.keycode, false))
      emitKey(raw.keycode, true, false, raw.sourceid, xkbState_, 0);
  }

  bool enabledAndAttached() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->alive && shared_->enabled && shared_->sourceAttached;
  }

  void decidePress(const XIDeviceEvent& device) {
    unsigned keycode = static_cast<unsigned>(device.detail);
    bool repeat = (device.flags & XIKeyRepeat) != 0;
    gate_.grabPress(keycode);
    auto code = keyCodeForXKeycode(keycode);
    bool swallow = false;
    if (code && enabledAndAttached()) {
      std::uint64_t ticket = 0;
      {
        std::unique_lock lock(shared_->mutex);
        double now = monotonicNow();
        if (shared_->outstanding > 0) {
          // The main thread is still busy with an earlier key: this one passes at once.
          ++shared_->statistics.passedWhileBusy;
          if (shared_->stalledSince && !shared_->stallReported &&
              now - *shared_->stalledSince > stallReport) {
            shared_->stallReported = true;
            lock.unlock();
            deliver(shared_, eventType::tapDisabledByTimeout, {}, 0);
            lock.lock();
          }
        } else {
          ticket = shared_->nextTicket++;
          ++shared_->outstanding;
        }
      }
      emitKey(keycode, true, repeat, device.sourceid, stateOf(device), ticket);
      if (ticket != 0) swallow = awaitAnswer(ticket);
    } else if (code) {
      // Not listening: keep the modifiers right for when the tap is enabled again.
      if (!repeat) modifiers_.apply(*code, true);
    }
    X11KeyGate::Answer answer = gate_.answerPress(keycode, swallow);
    XIAllowEvents(display_, device.deviceid,
                  answer == X11KeyGate::Answer::swallow ? XISyncDevice : XIReplayDevice,
                  device.time);
    XFlush(display_);
  }

  bool awaitAnswer(std::uint64_t ticket) {
    std::unique_lock lock(shared_->mutex);
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::microseconds(static_cast<long>(decisionBound * 1e6));
    shared_->answered.wait_until(
        lock, deadline, [&] { return shared_->answers.contains(ticket) || !shared_->alive; });
    auto found = shared_->answers.find(ticket);
    if (found == shared_->answers.end()) {
      ++shared_->statistics.lateDecisions;
      if (!shared_->stalledSince) shared_->stalledSince = monotonicNow();
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

  void emitKey(unsigned keycode, bool pressed, bool repeat, int sourceid, unsigned xState,
               std::uint64_t ticket) {
    auto code = keyCodeForXKeycode(keycode);
    if (!code) return release(ticket);
    InputEvent event;
    event.keyCode = *code;
    event.autorepeat = repeat;
    event.sourceUserData = ownUserData(
        sourceid, pressed ? OwnEventLedger::Kind::keyPress : OwnEventLedger::Kind::keyRelease,
        keycode);
    EventType type = pressed ? eventType::keyDown : eventType::keyUp;
    if (!repeat) {
      auto change = modifiers_.apply(*code, pressed);
      if (!change) return release(ticket);  // a Caps Lock release changes nothing
      if (change->isModifierKey) type = eventType::flagsChanged;
    }
    event.type = type;
    event.flags = modifiers_.flags();
    if (type != eventType::flagsChanged) event.text = textOf(keycode, xState);
    if (!(shared_->mask & eventMaskBit(type))) return release(ticket);
    deliver(shared_, type, std::move(event), ticket);
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
    Window rootReturn = 0;
    Window child = 0;
    int rootX = 0;
    int rootY = 0;
    int x = 0;
    int y = 0;
    unsigned mask = 0;
    XQueryPointer(display_, root_, &rootReturn, &child, &rootX, &rootY, &x, &y, &mask);
    return {static_cast<double>(rootOrigin::globalX(rootX)),
            static_cast<double>(rootOrigin::globalY(rootY))};
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
    if (!(shared_->mask & eventMaskBit(event.type))) return;
    event.location = pointer();
    deliver(shared_, event.type, std::move(event), 0);
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
    if (!(shared_->mask & eventMaskBit(event.type))) return;
    event.location = pointer();
    deliver(shared_, event.type, std::move(event), 0);
  }

  void releaseEverything() {
    selectRaw(false);
    applyChordGrabs({});
    allKeys_ = false;
    grabManagedWindows();
    XSync(display_, False);
    gate_.reset();
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
  Atom wmState_ = None;
  Atom netClientList_ = None;
  unsigned numLockMask_ = 0;
  unsigned xkbState_ = 0;
  std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> grabMaskBits_{};

  std::uint64_t appliedVersion_ = 0;
  bool rawSelected_ = false;
  bool allKeys_ = false;
  bool rescanNeeded_ = false;
  std::set<std::pair<unsigned, unsigned>> chordGrabs_;
  std::set<Window> windowGrabs_;

  X11KeyGate gate_;
  X11ModifierState modifiers_;
  std::optional<PendingRaw> pendingRaw_;
  std::set<std::uint64_t> lateTickets_;
  unsigned heldButtons_ = 0;
  int pendingMotions_ = 0;
  bool pendingMotionIsOwn_ = true;
  std::optional<std::int64_t> pendingMotionUserData_;
  std::int64_t lastLedgerMatch_ = 0;
};

std::unique_ptr<X11Tap> X11Tap::create(std::uint64_t mask, TapCallback callback,
                                       std::shared_ptr<OwnEventLedger> ledger,
                                       const std::string& displayName) {
  if (QCoreApplication::instance() == nullptr) return nullptr;
  installErrorHandlers();
  // Protected against a lost connection: the tap then stops, the program does not.
  Display* display = openDisplay(displayName.empty() ? nullptr : displayName.c_str()).release();
  if (display == nullptr) return nullptr;
  int opcode = 0;
  int event = 0;
  int error = 0;
  int major = 2;
  int minor = 2;
  int testEvent = 0;
  int testError = 0;
  int testMajor = 0;
  int testMinor = 0;
  if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error) ||
      XIQueryVersion(display, &major, &minor) != Success || major * 100 + minor < 202 ||
      !XTestQueryExtension(display, &testEvent, &testError, &testMajor, &testMinor)) {
    DisplayCloser{}(display);
    return nullptr;
  }
  auto shared = std::make_shared<Shared>();
  shared->display = display;
  shared->mask = mask;
  shared->callback = std::move(callback);
  shared->ledger = std::move(ledger);
  return std::unique_ptr<X11Tap>(new X11Tap(std::move(shared)));
}

X11Tap::X11Tap(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

X11Tap::~X11Tap() {
  invalidate();
}

void X11Tap::enable(bool enabled) {
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->alive || shared_->enabled == enabled) return;
    shared_->enabled = enabled;
    ++shared_->requested;
    if (enabled && !shared_->thread.joinable()) {
      if (::pipe2(shared_->wakePipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        shared_->enabled = false;
        return;
      }
      shared_->thread = std::thread([shared = shared_] { Worker(shared).run(); });
    }
  }
  shared_->wake();
  // An enabled tap hears what follows at once (the program's own events included, or their
  // ledger entries would wait for nothing). Never called from inside a decision, so the worker is
  // free to apply it.
  if (enabled) waitUntilApplied(0.5);
}

bool X11Tap::isEnabled() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->alive && shared_->enabled;
}

std::unique_ptr<TapSource> X11Tap::addToMainLoop() {
  return std::make_unique<MainLoopSource>(shared_);
}

void X11Tap::invalidate() {
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->alive) return;
    shared_->alive = false;
    shared_->enabled = false;
    shared_->callback = nullptr;
    ++shared_->requested;
    shared_->answered.notify_all();
  }
  shared_->wake();
  if (shared_->thread.joinable()) shared_->thread.join();
  if (shared_->display) DisplayCloser{}(shared_->display);
  shared_->display = nullptr;
  for (int& fd : shared_->wakePipe)
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
}

void X11Tap::setKeyInterception(const KeyInterception& interception) {
  {
    std::lock_guard lock(shared_->mutex);
    if (!shared_->alive || shared_->interception == interception) return;
    shared_->interception = interception;
    ++shared_->requested;
  }
  shared_->wake();
}

X11Tap::Statistics X11Tap::statistics() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->statistics;
}

bool X11Tap::waitUntilApplied(double timeoutSeconds) const {
  std::unique_lock lock(shared_->mutex);
  if (!shared_->thread.joinable()) return true;
  return shared_->applied.wait_for(
      lock, std::chrono::microseconds(static_cast<long>(timeoutSeconds * 1e6)),
      [&] { return shared_->appliedVersion == shared_->requested || !shared_->alive; });
}

}  // namespace tovrel::platform::x11
