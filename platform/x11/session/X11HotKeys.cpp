#include "platform/x11/session/X11HotKeys.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

// After Qt: X's headers define macros (None, Bool, KeyPress, …) that break Qt's.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "platform/x11/X11Clock.hpp"
#include "platform/x11/X11Errors.hpp"
#include "platform/x11/input/X11KeyTable.hpp"

namespace tovrel::platform::x11 {

// --- Pure helpers ------------------------------------------------------------------------------

ModifierBits modifierBitsFromKeysyms(const std::array<std::vector<unsigned long>, 8>& rows) {
  auto rowOf = [&](std::initializer_list<unsigned long> keysyms) -> std::optional<unsigned> {
    for (unsigned row = 3; row < 8; ++row)  // Mod1 … Mod5
      for (unsigned long keysym : rows[row])
        if (std::find(keysyms.begin(), keysyms.end(), keysym) != keysyms.end()) return 1u << row;
    return std::nullopt;
  };
  ModifierBits bits;
  bits.command = rowOf({XK_Super_L, XK_Super_R}).value_or(bits.command);
  bits.option = rowOf({XK_Alt_L, XK_Alt_R}).value_or(bits.option);
  bits.numLock = rowOf({XK_Num_Lock}).value_or(0);
  return bits;
}

unsigned xModifiersForHotKeyMask(std::uint32_t modifierMask, const ModifierBits& bits) {
  unsigned state = 0;
  if (modifierMask & hotKeyModifier::command) state |= bits.command;
  if (modifierMask & hotKeyModifier::shift) state |= xModifier::shift;
  if (modifierMask & hotKeyModifier::option) state |= bits.option;
  if (modifierMask & hotKeyModifier::control) state |= xModifier::control;
  return state;
}

std::vector<unsigned> lockVariants(unsigned modifiers, unsigned numLockBit) {
  std::vector<unsigned> variants;
  for (unsigned extra : {0u, xModifier::lock, numLockBit, xModifier::lock | numLockBit}) {
    unsigned state = modifiers | extra;
    if (std::find(variants.begin(), variants.end(), state) == variants.end())
      variants.push_back(state);
  }
  return variants;
}

unsigned chordModifiers(unsigned state, unsigned numLockBit) {
  return state & xModifier::all & ~xModifier::lock & ~numLockBit;
}

// --- Shared state ------------------------------------------------------------------------------

// Held by the service and, weakly, by every registration, so a registration that outlives the
// service is harmless.
struct X11HotKeys::State {
  struct Entry {
    int token = 0;
    std::uint16_t keyCode = 0;
    std::uint32_t modifierMask = 0;
    unsigned xKeycode = 0;
    unsigned xModifiers = 0;
    HotKeyID id;
  };

  std::mutex mutex;  // everything below, and every Xlib call on the connection
  DisplayPtr display;
  ModifierBits bits;
  std::vector<Entry> entries;
  std::vector<std::pair<int, std::shared_ptr<const HotKeyHandler>>> handlers;  // oldest first
  std::unordered_set<unsigned> down;  // keycodes of our chords being held, to drop repeats
  int nextToken = 1;
  X11EventWatch* watch = nullptr;  // while the service reads the connection from the main loop

  Window root() const { return DefaultRootWindow(display.get()); }
  bool usable() const { return display && !connectionLost(display.get()); }
  // Grabbing, ungrabbing and reading the modifier map outside processEvents read the connection
  // too: a chord pressed meanwhile may now wait in its queue. Under the mutex.
  void afterRead() {
    if (watch != nullptr) watch->afterRead();
  }

  void readModifierBits() {
    std::array<std::vector<unsigned long>, 8> rows;
    if (XModifierKeymap* map = XGetModifierMapping(display.get())) {
      for (int row = 0; row < 8; ++row)
        for (int i = 0; i < map->max_keypermod; ++i)
          if (KeyCode code = map->modifiermap[row * map->max_keypermod + i]; code != 0)
            rows[static_cast<std::size_t>(row)].push_back(
                XkbKeycodeToKeysym(display.get(), code, 0, 0));
      XFreeModifiermap(map);
    }
    bits = modifierBitsFromKeysyms(rows);
  }

  void ungrab(const Entry& entry) {
    for (unsigned state : lockVariants(entry.xModifiers, bits.numLock))
      XUngrabKey(display.get(), static_cast<int>(entry.xKeycode), state, root());
  }

  // All variants or none.
  bool grab(const Entry& entry) {
    ErrorTrap trap(display.get());
    for (unsigned state : lockVariants(entry.xModifiers, bits.numLock))
      XGrabKey(display.get(), static_cast<int>(entry.xKeycode), state, root(), False, GrabModeAsync,
               GrabModeAsync);
    if (trap.check()) return true;
    ungrab(entry);  // releases the variants we did get; other clients' grabs are left alone
    return false;
  }

  void remove(int token) {
    std::lock_guard lock(mutex);
    auto found = std::find_if(entries.begin(), entries.end(),
                              [&](const Entry& entry) { return entry.token == token; });
    if (found == entries.end()) return;
    if (usable()) {
      ungrab(*found);
      XFlush(display.get());
      afterRead();
    }
    // The release of a chord whose grab is gone may never come; a later press must not look
    // like a repeat.
    down.erase(found->xKeycode);
    entries.erase(found);
  }

  // The keyboard's modifier map changed (a new layout): the lock bits may have moved.
  void regrabAll() {
    for (const Entry& entry : entries)
      ungrab(entry);
    readModifierBits();
    for (Entry& entry : entries) {
      entry.xModifiers = xModifiersForHotKeyMask(entry.modifierMask, bits);
      if (!grab(entry))
        std::fprintf(stderr,
                     "tovrel: a hot key could not be grabbed again after a keymap change\n");
    }
  }
};

namespace {

class Registration : public HotKeyRegistration {
 public:
  Registration(std::weak_ptr<X11HotKeys::State> state, int token)
      : state_(std::move(state)), token_(token) {}
  ~Registration() override {
    if (auto state = state_.lock()) state->remove(token_);
  }

 private:
  std::weak_ptr<X11HotKeys::State> state_;
  int token_;
};

class HandlerRegistration : public HotKeyHandlerRegistration {
 public:
  HandlerRegistration(std::weak_ptr<X11HotKeys::State> state, int token)
      : state_(std::move(state)), token_(token) {}
  ~HandlerRegistration() override {
    auto state = state_.lock();
    if (!state) return;
    std::lock_guard lock(state->mutex);
    std::erase_if(state->handlers, [&](const auto& entry) { return entry.first == token_; });
  }

 private:
  std::weak_ptr<X11HotKeys::State> state_;
  int token_;
};

}  // namespace

// --- X11HotKeys --------------------------------------------------------------------------------

X11HotKeys::X11HotKeys(const char* displayName) : state_(std::make_shared<State>()) {
  state_->display = openDisplay(displayName);
  if (!state_->display) return;
  Display* display = state_->display.get();
  // A held chord then repeats as presses without releases, which are easy to drop.
  Bool supported = False;
  XkbSetDetectableAutoRepeat(display, True, &supported);
  state_->readModifierBits();

  watch_ = X11EventWatch::onApplicationThread(display, [this] { processEvents(); });
  std::lock_guard lock(state_->mutex);
  state_->watch = watch_.get();
  state_->afterRead();
}

X11HotKeys::~X11HotKeys() {
  {
    std::lock_guard lock(state_->mutex);
    state_->watch = nullptr;
  }
  watch_.reset();
  std::lock_guard lock(state_->mutex);
  if (state_->usable()) {
    for (const State::Entry& entry : state_->entries)
      state_->ungrab(entry);
    XFlush(state_->display.get());
  }
  state_->entries.clear();
  state_->handlers.clear();
}

std::unique_ptr<HotKeyHandlerRegistration> X11HotKeys::installHandler(HotKeyHandler handler) {
  std::lock_guard lock(state_->mutex);
  int token = state_->nextToken++;
  state_->handlers.emplace_back(token, std::make_shared<const HotKeyHandler>(std::move(handler)));
  return std::make_unique<HandlerRegistration>(state_, token);
}

std::unique_ptr<HotKeyRegistration> X11HotKeys::registerHotKey(std::uint16_t keyCode,
                                                               std::uint32_t modifierMask,
                                                               HotKeyID id) {
  std::lock_guard lock(state_->mutex);
  if (!state_->usable()) return nullptr;
  auto xKeycode = xKeycodeForKeyCode(keyCode);
  if (!xKeycode) return nullptr;
  State::Entry entry{state_->nextToken,
                     keyCode,
                     modifierMask,
                     *xKeycode,
                     xModifiersForHotKeyMask(modifierMask, state_->bits),
                     id};
  // X would silently move one grab onto the other; refuse like a chord held by anyone else.
  bool taken = std::any_of(state_->entries.begin(), state_->entries.end(), [&](const auto& other) {
    return other.xKeycode == entry.xKeycode && other.xModifiers == entry.xModifiers;
  });
  if (taken) return nullptr;
  const bool grabbed = state_->grab(entry);
  state_->afterRead();
  if (!grabbed) return nullptr;
  ++state_->nextToken;
  state_->entries.push_back(entry);
  return std::make_unique<Registration>(state_, entry.token);
}

void X11HotKeys::processEvents() {
  std::vector<HotKeyID> pressed;
  {
    std::lock_guard lock(state_->mutex);
    if (!state_->usable()) return;
    Display* display = state_->display.get();
    while (!connectionLost(display) && XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        if (event.xmapping.request == MappingModifier) state_->regrabAll();
      } else if (event.type == KeyRelease) {
        state_->down.erase(event.xkey.keycode);
      } else if (event.type == KeyPress) {
        if (!state_->down.insert(event.xkey.keycode).second) continue;  // auto-repeat
        unsigned modifiers = chordModifiers(event.xkey.state, state_->bits.numLock);
        for (const State::Entry& entry : state_->entries)
          if (entry.xKeycode == event.xkey.keycode && entry.xModifiers == modifiers)
            pressed.push_back(entry.id);
      }
    }
  }
  // Handlers run unlocked: they may well unregister the very hot key that called them.
  for (const HotKeyID& id : pressed) {
    std::vector<std::shared_ptr<const HotKeyHandler>> handlers;
    {
      std::lock_guard lock(state_->mutex);
      for (auto it = state_->handlers.rbegin(); it != state_->handlers.rend(); ++it)
        handlers.push_back(it->second);
    }
    for (const auto& handler : handlers)
      if ((*handler)(&id) != hotKeyStatus::eventNotHandled) break;
  }
}

// --- Session lock ------------------------------------------------------------------------------

namespace {

constexpr int dbusTimeoutMs = 200;
constexpr char login1Service[] = "org.freedesktop.login1";

std::optional<QDBusMessage> callLogind(const QDBusConnection& bus, const QString& path,
                                       const QString& interface, const QString& method,
                                       const QVariantList& arguments) {
  QDBusMessage call = QDBusMessage::createMethodCall(login1Service, path, interface, method);
  call.setArguments(arguments);
  QDBusMessage reply = bus.call(call, QDBus::Block, dbusTimeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
    return std::nullopt;
  return reply;
}

std::optional<std::string> findSessionPath(const QDBusConnection& bus) {
  const QString manager = QStringLiteral("org.freedesktop.login1.Manager");
  const QString managerPath = QStringLiteral("/org/freedesktop/login1");
  auto reply = callLogind(bus, managerPath, manager, QStringLiteral("GetSessionByPID"),
                          {QVariant::fromValue(static_cast<quint32>(getpid()))});
  // Started outside the session's process tree (a user service): the session the
  // environment names.
  if (!reply) {
    if (const char* id = std::getenv("XDG_SESSION_ID"); id != nullptr && *id != '\0')
      reply = callLogind(bus, managerPath, manager, QStringLiteral("GetSession"),
                         {QString::fromUtf8(id)});
  }
  if (!reply) return std::nullopt;
  QString path = reply->arguments().constFirst().value<QDBusObjectPath>().path();
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

}  // namespace

bool X11HotKeys::isSecureEventInputEnabled() {
  // A failed look-up is retried less eagerly: without logind every try would cost a time-out.
  constexpr double recheckInterval = 1.0;
  constexpr double retryInterval = 10.0;
  double now = monotonicNow();
  if (now < nextLockCheck_) return locked_;

  locked_ = false;
  nextLockCheck_ = now + retryInterval;
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return false;
  if (!sessionPath_) sessionPath_ = findSessionPath(bus);
  if (!sessionPath_) return false;
  auto reply =
      callLogind(bus, QString::fromStdString(*sessionPath_),
                 QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("LockedHint")});
  if (!reply) {
    sessionPath_.reset();  // the session may have gone; look it up again next time
    return false;
  }
  locked_ = reply->arguments().constFirst().value<QDBusVariant>().variant().toBool();
  nextLockCheck_ = now + recheckInterval;
  return locked_;
}

}  // namespace tovrel::platform::x11
