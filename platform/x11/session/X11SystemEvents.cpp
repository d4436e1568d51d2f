#include "platform/x11/session/X11SystemEvents.hpp"

#include <QAction>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWindow>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <vector>

#include "platform/x11/X11Errors.hpp"
#include "platform/x11/session/X11Application.hpp"
#include "platform/x11/session/X11Displays.hpp"
#include "platform/x11/session/X11EventWatch.hpp"

// After Qt: X's headers define macros (None, Bool, FocusIn, …) that break Qt's.
#include <X11/Xlib.h>

namespace tovrel::platform::x11 {

// --- the pure parts ------------------------------------------------------------------------------

namespace systemWatch {

NotificationCenter centerOf(SystemNotification notification) {
  switch (notification) {
    case SystemNotification::didChangeScreenParameters:
    case SystemNotification::didBecomeActive:
      return NotificationCenter::application;
    case SystemNotification::didActivateApplication:
    case SystemNotification::willSleep:
    case SystemNotification::screensDidSleep:
    case SystemNotification::sessionDidResignActive:
    case SystemNotification::didTerminateApplication:
      break;
  }
  return NotificationCenter::workspace;
}

std::uint64_t ObserverList::add(NotificationCenter center, SystemNotification notification,
                                Handler handler) {
  const std::uint64_t token = next_++;
  entries_.emplace(token, Entry{center, notification, std::move(handler)});
  return token;
}

void ObserverList::remove(std::uint64_t token) {
  entries_.erase(token);
}

void ObserverList::post(SystemNotification notification, const NotificationInfo& info) {
  const NotificationCenter center = centerOf(notification);
  std::vector<std::uint64_t> tokens;
  for (const auto& [token, entry] : entries_)
    if (entry.notification == notification && entry.center == center) tokens.push_back(token);
  for (std::uint64_t token : tokens) {
    auto found = entries_.find(token);
    if (found == entries_.end()) continue;
    // A copy: the handler may remove its own registration.
    Handler handler = found->second.handler;
    try {
      if (handler) handler(info);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "tovrel: a session notification handler failed: %s\n", error.what());
    } catch (...) {
      std::fprintf(stderr, "tovrel: a session notification handler failed\n");
    }
  }
}

FrontTracker::Step FrontTracker::take(std::int32_t pid, bool report) {
  Step step;
  step.report = report && front_ != pid;
  front_ = pid;
  step.watch = watched_.insert(pid).second;
  return step;
}

FrontTracker::Step FrontTracker::seed(std::optional<std::int32_t> pid) {
  if (!pid) return {};
  return take(*pid, false);
}

FrontTracker::Step FrontTracker::seen(std::optional<std::int32_t> pid) {
  if (!pid) return {};
  return take(*pid, true);
}

bool FrontTracker::ended(std::int32_t pid) {
  if (front_ == pid) front_.reset();
  return watched_.erase(pid) > 0;
}

}  // namespace systemWatch

// --- the sources ---------------------------------------------------------------------------------

namespace {

const QString login1 = QStringLiteral("org.freedesktop.login1");
const QString managerPath = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString sessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int busTimeoutMs = 5000;

// Screen savers announce themselves under either name, from any path.
const char* const screenSaverInterfaces[] = {"org.freedesktop.ScreenSaver",
                                             "org.gnome.ScreenSaver"};

bool haveGuiApplication() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// QtDBus delivers signals only into slots a meta-object names, and this program is built without
// moc. A checkable QAction's setChecked(bool) is a ready-made slot for a signal carrying one
// boolean; it is unchecked again at once so that every `true` toggles it.
QAction* booleanSink(QObject* parent, std::function<void()> onTrue) {
  auto* action = new QAction(parent);
  action->setCheckable(true);
  QObject::connect(action, &QAction::toggled, parent,
                   [action, onTrue = std::move(onTrue)](bool on) {
                     if (!on) return;
                     action->setChecked(false);
                     onTrue();
                   });
  return action;
}

// The same for signals whose arguments do not matter: QAction::trigger.
QAction* triggerSink(QObject* parent, std::function<void()> onSignal) {
  auto* action = new QAction(parent);
  QObject::connect(action, &QAction::triggered, parent,
                   [onSignal = std::move(onSignal)] { onSignal(); });
  return action;
}

// Carries display-list changes, noticed on any thread, to the main thread: a burst becomes one
// notification on the next turn of the main loop.
struct DisplayRelay {
  std::mutex mutex;
  QObject* target = nullptr;  // under mutex; cleared before it goes
  std::function<void()> deliver;
  std::atomic<bool> pending{false};

  void changed() {
    if (pending.exchange(true)) return;
    std::lock_guard lock(mutex);
    if (target == nullptr) return;
    QMetaObject::invokeMethod(
        target,
        [this] {
          pending = false;
          if (deliver) deliver();
        },
        Qt::QueuedConnection);
  }
};

class Registration : public Observation {
 public:
  explicit Registration(std::function<void()> remove) : remove_(std::move(remove)) {}
  ~Registration() override { remove_(); }

 private:
  std::function<void()> remove_;
};

}  // namespace

struct X11SystemEvents::State : std::enable_shared_from_this<State> {
  State(WorkspaceServices& workspaceIn, X11Displays* displaysIn)
      : workspace(workspaceIn), displays(displaysIn) {}
  ~State();

  void post(SystemNotification notification, const NotificationInfo& info = {}) {
    observers.post(notification, info);
  }
  void start(SystemNotification notification);

  // The front application.
  void startFront();
  void followFocus(const std::vector<Window>& windows);
  void drain();
  void refreshFront();
  bool focusBypassesManager();
  void take(systemWatch::FrontTracker::Step step, std::optional<std::int32_t> pid);
  void ended(std::int32_t pid);

  // logind and the screen saver.
  void startLogind();
  void findSession(QDBusConnection bus, const QString& method, const QVariant& argument,
                   bool lastTry);
  void followSession(QDBusConnection bus, const QString& path);
  void readSessionActive(QDBusConnection bus);
  void startScreenSaver();

  void startDisplays();
  void startApplicationState();

  WorkspaceServices& workspace;
  X11Displays* displays;
  systemWatch::ObserverList observers;
  // Main thread; every sink and pending call hangs off it.
  std::unique_ptr<QObject> context = std::make_unique<QObject>();

  bool frontStarted = false;
  bool logindStarted = false;
  bool screenSaverStarted = false;
  bool displaysStarted = false;
  bool applicationStateStarted = false;
  bool toldActive = false;  // didBecomeActive told, and no leaving since
  QPointer<QWindow> focusWindow;

  DisplayPtr display;
  Window root = 0;
  Atom activeWindow = 0;
  Atom supportingWmCheck = 0;
  std::unique_ptr<X11EventWatch> eventWatch;
  systemWatch::FrontTracker tracker;
  struct Watched {
    std::uint64_t token = 0;
    NotificationInfo info;
  };
  std::map<std::int32_t, Watched> watched;

  QString sessionPath;
  std::optional<bool> sessionActive;
  std::shared_ptr<DisplayRelay> relay;
};

X11SystemEvents::State::~State() {
  if (relay) {
    std::lock_guard lock(relay->mutex);
    relay->target = nullptr;
  }
  if (displays != nullptr && displaysStarted) displays->setChangeHandler(nullptr);
  for (const auto& [pid, watch] : watched)
    if (watch.token != 0) workspace.cancelWatch(watch.token);
  // The event watch and the sinks go before the connection they listen to.
  eventWatch.reset();
  context.reset();
}

void X11SystemEvents::State::start(SystemNotification notification) {
  switch (notification) {
    case SystemNotification::didActivateApplication:
    case SystemNotification::didTerminateApplication:
      startFront();
      break;
    case SystemNotification::willSleep:
    case SystemNotification::sessionDidResignActive:
      startLogind();
      break;
    case SystemNotification::screensDidSleep:
      startScreenSaver();
      break;
    case SystemNotification::didChangeScreenParameters:
      startDisplays();
      break;
    case SystemNotification::didBecomeActive:
      startApplicationState();
      break;
  }
}

// --- the front application -----------------------------------------------------------------------

void X11SystemEvents::State::startFront() {
  if (frontStarted) return;
  frontStarted = true;
  display = openDisplay();
  if (display != nullptr) {
    Display* d = display.get();
    root = DefaultRootWindow(d);
    char* names[] = {const_cast<char*>("_NET_ACTIVE_WINDOW"),
                     const_cast<char*>("_NET_SUPPORTING_WM_CHECK")};
    Atom atoms[2] = {0, 0};
    XInternAtoms(d, names, 2, False, atoms);
    activeWindow = atoms[0];
    supportingWmCheck = atoms[1];
    // The manager's active window lives on the root; without a manager the focus moves between
    // the root's children, which report it only to clients listening on each of them.
    XSelectInput(d, root, PropertyChangeMask | SubstructureNotifyMask | FocusChangeMask);
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> existing;
    if (XQueryTree(d, root, &rootReturn, &parent, &children, &count) != 0 && children != nullptr)
      existing.assign(children, children + count);
    if (children != nullptr) XFree(children);
    followFocus(existing);
    std::weak_ptr<State> weak = weak_from_this();
    eventWatch = std::make_unique<X11EventWatch>(d, [weak] {
      if (auto self = weak.lock()) self->drain();
    });
  }
  // Read after listening, so that no change falls between the two.
  const auto front = workspace.frontmostApplicationPid();
  take(tracker.seed(front), front);
  if (display != nullptr) drain();
}

void X11SystemEvents::State::followFocus(const std::vector<Window>& windows) {
  if (windows.empty()) return;
  // Windows may be gone already.
  ErrorTrap trap(display.get());
  for (Window window : windows)
    XSelectInput(display.get(), window, FocusChangeMask);
  trap.check();
}

void X11SystemEvents::State::drain() {
  Display* d = display.get();
  if (d == nullptr) return;
  do {
    bool changed = false;
    std::vector<Window> created;
    while (!connectionLost(d) && XPending(d) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      switch (event.type) {
        case PropertyNotify:
          if (event.xproperty.window == root &&
              (event.xproperty.atom == activeWindow || event.xproperty.atom == supportingWmCheck))
            changed = true;
          break;
        case FocusIn:
        case FocusOut:
          // A keyboard grab (ours among them) takes the focus without moving it.
          if (event.xfocus.mode != NotifyGrab && event.xfocus.mode != NotifyUngrab) changed = true;
          break;
        case CreateNotify:
          if (event.xcreatewindow.parent == root) created.push_back(event.xcreatewindow.window);
          break;
        case MapNotify:
        case UnmapNotify:
        case DestroyNotify:
        case ReparentNotify:
          // Without a manager a window that appears may take the focus before we listen to it,
          // and one that goes gives it back.
          changed = true;
          break;
        default:
          break;
      }
    }
    followFocus(created);
    if (changed) refreshFront();
    // Our own round trips may have read more events than the socket now shows.
  } while (!connectionLost(d) && XQLength(d) > 0);
}

void X11SystemEvents::State::refreshFront() {
  // A window that bypasses the manager (a menu, our key catcher) holding the input focus is no
  // application coming to the front, though without a manager the focus alone says who is.
  if (focusBypassesManager()) return;
  const auto front = workspace.frontmostApplicationPid();
  take(tracker.seen(front), front);
}

bool X11SystemEvents::State::focusBypassesManager() {
  Display* d = display.get();
  // Windows may vanish between any two requests: their errors are read as "no".
  ErrorTrap trap(d);
  Window window = None;
  int revert = 0;
  XGetInputFocus(d, &window, &revert);
  if (window == None || window == PointerRoot || window == root) return false;
  for (int depth = 0; depth < 64; ++depth) {
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    const bool known = XQueryTree(d, window, &rootReturn, &parent, &children, &count) != 0;
    if (children != nullptr) XFree(children);
    if (!known || parent == 0) return false;
    if (parent == root) break;
    window = parent;
  }
  XWindowAttributes attributes{};
  return XGetWindowAttributes(d, window, &attributes) != 0 && attributes.override_redirect != 0;
}

void X11SystemEvents::State::take(systemWatch::FrontTracker::Step step,
                                  std::optional<std::int32_t> pid) {
  if (!pid || (!step.report && !step.watch)) return;
  NotificationInfo info;
  info.pid = pid;
  if (auto app = workspace.application(*pid)) {
    info.bundleIdentifier = app->bundleIdentifier;
    info.localizedName = app->localizedName;
  }
  if (step.watch) {
    std::weak_ptr<State> weak = weak_from_this();
    const std::int32_t id = *pid;
    // Its end is told with what was known of it while it ran.
    watched[id] = {0, info};
    const std::uint64_t token = workspace.watchTermination(id, [weak, id] {
      if (auto self = weak.lock()) self->ended(id);
    });
    auto found = watched.find(id);
    if (found != watched.end()) found->second.token = token;
  }
  if (step.report) post(SystemNotification::didActivateApplication, info);
}

void X11SystemEvents::State::ended(std::int32_t pid) {
  NotificationInfo info;
  info.pid = pid;
  auto found = watched.find(pid);
  if (found != watched.end()) {
    info = found->second.info;
    watched.erase(found);
  }
  if (tracker.ended(pid)) post(SystemNotification::didTerminateApplication, info);
}

// --- logind and the screen saver -----------------------------------------------------------------

void X11SystemEvents::State::startLogind() {
  if (logindStarted || !haveGuiApplication()) return;
  logindStarted = true;
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  std::weak_ptr<State> weak = weak_from_this();
  QAction* sleep = booleanSink(context.get(), [weak] {
    if (auto self = weak.lock()) self->post(SystemNotification::willSleep);
  });
  bus.connect(login1, managerPath, managerInterface, QStringLiteral("PrepareForSleep"), sleep,
              SLOT(setChecked(bool)));
  findSession(bus, QStringLiteral("GetSessionByPID"),
              QVariant::fromValue(static_cast<quint32>(getpid())), false);
}

// Our session's object: by our process, else the one logind picks for the caller. Its signals
// come from its own path, never from an alias such as ".../session/auto".
void X11SystemEvents::State::findSession(QDBusConnection bus, const QString& method,
                                         const QVariant& argument, bool lastTry) {
  QDBusMessage call = QDBusMessage::createMethodCall(login1, managerPath, managerInterface, method);
  call << argument;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, busTimeoutMs), context.get());
  std::weak_ptr<State> weak = weak_from_this();
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context.get(),
                   [weak, bus, lastTry](QDBusPendingCallWatcher* finished) {
                     finished->deleteLater();
                     auto self = weak.lock();
                     if (!self) return;
                     QDBusPendingReply<QDBusObjectPath> reply = *finished;
                     if (reply.isValid() && !reply.value().path().isEmpty())
                       self->followSession(bus, reply.value().path());
                     else if (!lastTry)
                       self->findSession(bus, QStringLiteral("GetSession"), QStringLiteral("auto"),
                                         true);
                   });
}

void X11SystemEvents::State::followSession(QDBusConnection bus, const QString& path) {
  std::weak_ptr<State> weak = weak_from_this();
  QAction* lock = triggerSink(context.get(), [weak] {
    if (auto self = weak.lock()) self->post(SystemNotification::sessionDidResignActive);
  });
  bus.connect(login1, path, sessionInterface, QStringLiteral("Lock"), lock, SLOT(trigger()));
  // Which property changed is in the signal's dictionary, out of reach of a ready-made slot:
  // any change of the session's properties has the Active flag read again.
  QAction* properties = triggerSink(context.get(), [weak, bus] {
    if (auto self = weak.lock()) self->readSessionActive(bus);
  });
  bus.connect(login1, path, propertiesInterface, QStringLiteral("PropertiesChanged"),
              QStringList{sessionInterface}, QString(), properties, SLOT(trigger()));
  sessionPath = path;
  readSessionActive(bus);
}

void X11SystemEvents::State::readSessionActive(QDBusConnection bus) {
  if (sessionPath.isEmpty()) return;
  QDBusMessage call = QDBusMessage::createMethodCall(login1, sessionPath, propertiesInterface,
                                                     QStringLiteral("Get"));
  call << sessionInterface << QStringLiteral("Active");
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, busTimeoutMs), context.get());
  std::weak_ptr<State> weak = weak_from_this();
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context.get(),
                   [weak](QDBusPendingCallWatcher* finished) {
                     finished->deleteLater();
                     auto self = weak.lock();
                     if (!self) return;
                     QDBusPendingReply<QDBusVariant> reply = *finished;
                     if (!reply.isValid()) return;
                     const bool active = reply.value().variant().toBool();
                     const bool wasActive = self->sessionActive.value_or(false);
                     self->sessionActive = active;
                     if (wasActive && !active)
                       self->post(SystemNotification::sessionDidResignActive);
                   });
}

void X11SystemEvents::State::startScreenSaver() {
  if (screenSaverStarted || !haveGuiApplication()) return;
  screenSaverStarted = true;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  std::weak_ptr<State> weak = weak_from_this();
  QAction* sink = booleanSink(context.get(), [weak] {
    if (auto self = weak.lock()) self->post(SystemNotification::screensDidSleep);
  });
  for (const char* interface : screenSaverInterfaces)
    bus.connect(QString(), QString(), QLatin1String(interface), QStringLiteral("ActiveChanged"),
                sink, SLOT(setChecked(bool)));
}

// --- displays and the program's own activation ---------------------------------------------------

void X11SystemEvents::State::startDisplays() {
  if (displaysStarted || displays == nullptr) return;
  displaysStarted = true;
  relay = std::make_shared<DisplayRelay>();
  relay->target = context.get();
  std::weak_ptr<State> weak = weak_from_this();
  relay->deliver = [weak] {
    if (auto self = weak.lock()) self->post(SystemNotification::didChangeScreenParameters);
  };
  displays->setChangeHandler([relay = relay] { relay->changed(); });
}

void X11SystemEvents::State::startApplicationState() {
  if (applicationStateStarted || !haveGuiApplication()) return;
  applicationStateStarted = true;
  toldActive = ownApplicationActive();
  focusWindow = QGuiApplication::focusWindow();
  std::weak_ptr<State> weak = weak_from_this();
  const auto reassess = [weak] {
    auto self = weak.lock();
    if (!self) return;
    // Qt stays "active" when the focused window is destroyed and then never reports the next
    // activation: the loss of that window counts as leaving.
    if (self->focusWindow.isNull()) self->toldActive = false;
    self->focusWindow = QGuiApplication::focusWindow();
    if (!ownApplicationActive()) {
      self->toldActive = false;
    } else if (!self->toldActive) {
      self->toldActive = true;
      self->post(SystemNotification::didBecomeActive);
    }
  };
  QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, context.get(), reassess);
  QObject::connect(qGuiApp, &QGuiApplication::focusWindowChanged, context.get(), reassess);
}

// --- the service ---------------------------------------------------------------------------------

X11SystemEvents::X11SystemEvents(WorkspaceServices& workspace, X11Displays* displays)
    : state_(std::make_shared<State>(workspace, displays)) {}

X11SystemEvents::~X11SystemEvents() = default;

std::unique_ptr<Observation> X11SystemEvents::observe(
    NotificationCenter center, SystemNotification notification,
    std::function<void(const NotificationInfo&)> handler) {
  const std::uint64_t token = state_->observers.add(center, notification, std::move(handler));
  state_->start(notification);
  std::weak_ptr<State> weak = state_;
  return std::make_unique<Registration>([weak, token] {
    if (auto state = weak.lock()) state->observers.remove(token);
  });
}

void X11SystemEvents::post(SystemNotification notification, const NotificationInfo& info) {
  state_->post(notification, info);
}

}  // namespace tovrel::platform::x11
