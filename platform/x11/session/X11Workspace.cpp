#include "platform/x11/session/X11Workspace.hpp"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>

#include "platform/x11/RootOrigin.hpp"
#include "platform/x11/X11Errors.hpp"
#include "platform/x11/session/AppIdentity.hpp"
#include "platform/x11/session/XcbWindowList.hpp"

namespace tovrel::platform::x11 {

// --- the pure parts ------------------------------------------------------------------------------

namespace windowList {

std::optional<int> windowLayer(const std::vector<WindowType>& types, bool keptAbove,
                               bool overrideRedirect) {
  int layer = normalLayer;
  if (!types.empty()) {
    switch (types.front()) {
      case WindowType::Desktop:
        return std::nullopt;
      case WindowType::Normal:
      case WindowType::Dialog:
      case WindowType::Utility:
        break;
      case WindowType::Toolbar:
      case WindowType::Menu:
      case WindowType::Splash:
        layer = floatingLayer;
        break;
      case WindowType::Dock:
        layer = dockLayer;
        break;
      case WindowType::DropdownMenu:
      case WindowType::PopupMenu:
      case WindowType::Tooltip:
      case WindowType::Notification:
      case WindowType::Combo:
      case WindowType::Dnd:
        layer = popUpLayer;
        break;
    }
  }
  // Whatever bypasses the window manager (menus, tooltips, overlays) floats over managed windows.
  if (overrideRedirect) layer = std::max(layer, popUpLayer);
  if (keptAbove) layer = std::max(layer, floatingLayer);
  return layer;
}

std::vector<unsigned long> frontToBack(const std::vector<unsigned long>& stacking,
                                       const std::vector<RootChild>& tree) {
  const std::set<unsigned long> managed(stacking.begin(), stacking.end());
  // The unmanaged windows stacked right above each client; key 0: below every client.
  std::map<unsigned long, std::vector<unsigned long>> above;
  unsigned long lastClient = 0;
  for (const RootChild& child : tree) {
    if (child.client != 0 && managed.contains(child.client))
      lastClient = child.client;
    else if (child.overrideRedirect)
      above[lastClient].push_back(child.window);
  }
  std::vector<unsigned long> order;
  const auto appendAbove = [&](unsigned long client) {
    auto found = above.find(client);
    if (found != above.end()) order.insert(order.end(), found->second.begin(), found->second.end());
  };
  appendAbove(0);
  std::set<unsigned long> placed;
  for (unsigned long client : stacking) {
    if (client == 0 || !placed.insert(client).second) continue;
    order.push_back(client);
    appendAbove(client);
  }
  std::reverse(order.begin(), order.end());
  return order;
}

unsigned long activationTarget(const std::vector<Candidate>& bottomToTop, std::int32_t pid) {
  unsigned long hidden = 0;
  for (auto candidate = bottomToTop.rbegin(); candidate != bottomToTop.rend(); ++candidate) {
    if (candidate->pid != pid || !candidate->layer || *candidate->layer >= dockLayer) continue;
    if (!candidate->hidden) return candidate->window;
    if (hidden == 0) hidden = candidate->window;
  }
  return hidden;
}

}  // namespace windowList

namespace {

using windowList::WindowType;

// --- the X side ----------------------------------------------------------------------------------

struct Atoms {
  Atom supportingWmCheck = None;
  Atom clientList = None;
  Atom clientListStacking = None;
  Atom activeWindow = None;
  Atom wmPid = None;
  Atom wmState = None;
  Atom netWmState = None;
  Atom stateHidden = None;
  Atom stateAbove = None;
  Atom windowType = None;
  Atom opacity = None;
  Atom frameExtents = None;
  Atom gtkApplicationId = None;
  Atom kdeDesktopFile = None;
  Atom gtkFrameExtents = None;
  Atom netWmName = None;
  std::vector<std::pair<Atom, WindowType>> types;
};

constexpr std::pair<const char*, WindowType> typeNames[] = {
    {"_NET_WM_WINDOW_TYPE_NORMAL", WindowType::Normal},
    {"_NET_WM_WINDOW_TYPE_DIALOG", WindowType::Dialog},
    {"_NET_WM_WINDOW_TYPE_UTILITY", WindowType::Utility},
    {"_NET_WM_WINDOW_TYPE_DESKTOP", WindowType::Desktop},
    {"_NET_WM_WINDOW_TYPE_DOCK", WindowType::Dock},
    {"_NET_WM_WINDOW_TYPE_TOOLBAR", WindowType::Toolbar},
    {"_NET_WM_WINDOW_TYPE_MENU", WindowType::Menu},
    {"_NET_WM_WINDOW_TYPE_SPLASH", WindowType::Splash},
    {"_NET_WM_WINDOW_TYPE_DROPDOWN_MENU", WindowType::DropdownMenu},
    {"_NET_WM_WINDOW_TYPE_POPUP_MENU", WindowType::PopupMenu},
    {"_NET_WM_WINDOW_TYPE_TOOLTIP", WindowType::Tooltip},
    {"_NET_WM_WINDOW_TYPE_NOTIFICATION", WindowType::Notification},
    {"_NET_WM_WINDOW_TYPE_COMBO", WindowType::Combo},
    {"_NET_WM_WINDOW_TYPE_DND", WindowType::Dnd},
};

Atoms internAtoms(Display* display) {
  std::vector<const char*> names = {"_NET_SUPPORTING_WM_CHECK",
                                    "_NET_CLIENT_LIST",
                                    "_NET_CLIENT_LIST_STACKING",
                                    "_NET_ACTIVE_WINDOW",
                                    "_NET_WM_PID",
                                    "WM_STATE",
                                    "_NET_WM_STATE",
                                    "_NET_WM_STATE_HIDDEN",
                                    "_NET_WM_STATE_ABOVE",
                                    "_NET_WM_WINDOW_TYPE",
                                    "_NET_WM_WINDOW_OPACITY",
                                    "_NET_FRAME_EXTENTS",
                                    "_GTK_APPLICATION_ID",
                                    "_KDE_NET_WM_DESKTOP_FILE",
                                    "_GTK_FRAME_EXTENTS",
                                    "_NET_WM_NAME"};
  const std::size_t fixed = names.size();
  for (const auto& [name, type] : typeNames)
    names.push_back(name);
  std::vector<Atom> atoms(names.size(), None);
  // One round trip for all of them.
  XInternAtoms(display, const_cast<char**>(names.data()), static_cast<int>(names.size()), False,
               atoms.data());
  Atoms result;
  Atom* fields[] = {&result.supportingWmCheck, &result.clientList,     &result.clientListStacking,
                    &result.activeWindow,      &result.wmPid,          &result.wmState,
                    &result.netWmState,        &result.stateHidden,    &result.stateAbove,
                    &result.windowType,        &result.opacity,        &result.frameExtents,
                    &result.gtkApplicationId,  &result.kdeDesktopFile, &result.gtkFrameExtents,
                    &result.netWmName};
  for (std::size_t i = 0; i < fixed; ++i)
    *fields[i] = atoms[i];
  for (std::size_t i = 0; i < std::size(typeNames); ++i)
    result.types.emplace_back(atoms[fixed + i], typeNames[i].second);
  return result;
}

// Reads the server on behalf of one workspace call, with the connection's lock held. Windows may
// vanish between any two requests: their errors are trapped and read as "nothing there".
class Query {
 public:
  Query(Display* display, Window root, const Atoms& atoms)
      : display_(display), root_(root), atoms_(atoms), trap_(display) {}

  Window root() const { return root_; }
  const Atoms& atoms() const { return atoms_; }
  Display* display() const { return display_; }

  // A format-32 property of type `type`; empty when missing, of another type or unreadable.
  std::vector<unsigned long> longs(Window window, Atom property, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(display_, window, property, 0, 1L << 20, False, type, &actual, &format,
                           &count, &remaining, &data) == Success &&
        actual == type && format == 32 && data != nullptr) {
      // Xlib hands format-32 items out as longs, whatever their size; the values are 32 bits.
      const auto* items = reinterpret_cast<const unsigned long*>(data);
      for (unsigned long i = 0; i < count; ++i)
        values.push_back(items[i] & 0xFFFFFFFFUL);
    }
    if (data != nullptr) XFree(data);
    return values;
  }

  std::optional<unsigned long> first(Window window, Atom property, Atom type) {
    auto values = longs(window, property, type);
    if (values.empty()) return std::nullopt;
    return values.front();
  }

  // A text property of any 8-bit type (UTF8_STRING or STRING), without trailing NULs.
  std::optional<std::string> text(Window window, Atom property) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::optional<std::string> value;
    if (XGetWindowProperty(display_, window, property, 0, 1L << 16, False, AnyPropertyType, &actual,
                           &format, &count, &remaining, &data) == Success &&
        actual != None && format == 8 && data != nullptr) {
      std::string bytes(reinterpret_cast<const char*>(data), count);
      while (!bytes.empty() && bytes.back() == '\0')
        bytes.pop_back();
      if (!bytes.empty()) value = std::move(bytes);
    }
    if (data != nullptr) XFree(data);
    return value;
  }

  bool has(Window window, Atom property) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    bool found = XGetWindowProperty(display_, window, property, 0, 0, False, AnyPropertyType,
                                    &actual, &format, &count, &remaining, &data) == Success &&
                 actual != None;
    if (data != nullptr) XFree(data);
    return found;
  }

  std::optional<std::string> windowClass(Window window) {
    XClassHint hint{};
    if (XGetClassHint(display_, window, &hint) == 0) return std::nullopt;
    std::optional<std::string> value;
    if (hint.res_class != nullptr && *hint.res_class != '\0') value = hint.res_class;
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
    return value;
  }

  // Children bottom to top; also the parent, 0 when the window is gone.
  std::vector<Window> children(Window window, Window* parentOut = nullptr) {
    Window rootReturn = 0;
    Window parent = 0;
    Window* list = nullptr;
    unsigned int count = 0;
    std::vector<Window> result;
    if (XQueryTree(display_, window, &rootReturn, &parent, &list, &count) != 0) {
      if (list != nullptr) result.assign(list, list + count);
    } else {
      parent = 0;
    }
    if (list != nullptr) XFree(list);
    if (parentOut != nullptr) *parentOut = parent;
    return result;
  }

  std::optional<XWindowAttributes> attributes(Window window) {
    XWindowAttributes result{};
    if (XGetWindowAttributes(display_, window, &result) == 0) return std::nullopt;
    return result;
  }

  // The ancestor of `window` that is a child of the root (a manager's frame, or the window
  // itself); 0 when the window is gone or is the root.
  Window topLevel(Window window) {
    for (int depth = 0; depth < 64 && window != 0 && window != root_; ++depth) {
      Window parent = 0;
      children(window, &parent);
      if (parent == 0) return 0;
      if (parent == root_) return window;
      window = parent;
    }
    return 0;
  }

  // The window an application made inside `window`: the one carrying WM_STATE at or below it,
  // else the window itself.
  Window client(Window window) {
    if (has(window, atoms_.wmState)) return window;
    std::vector<Window> level = children(window);
    for (int depth = 0; depth < 2 && !level.empty(); ++depth) {
      std::vector<Window> next;
      for (Window child : level) {
        if (has(child, atoms_.wmState)) return child;
        if (depth + 1 < 2) {
          auto grandchildren = children(child);
          next.insert(next.end(), grandchildren.begin(), grandchildren.end());
        }
      }
      level = std::move(next);
    }
    return window;
  }

  std::optional<std::int32_t> pid(Window window) {
    auto value = first(window, atoms_.wmPid, XA_CARDINAL);
    if (!value || *value == 0 || *value > static_cast<unsigned long>(INT32_MAX))
      return std::nullopt;
    return static_cast<std::int32_t>(*value);
  }

  // The pid of the application behind a top-level window or frame: its client's, else its own.
  std::optional<std::int32_t> ownerPid(Window window) {
    Window inner = client(window);
    if (auto found = pid(inner)) return found;
    if (inner != window) return pid(window);
    return std::nullopt;
  }

  // A window manager runs when the root names a check window that names itself (a manager that
  // died leaves the root's property behind).
  bool windowManagerRunning() {
    auto check = first(root_, atoms_.supportingWmCheck, XA_WINDOW);
    if (!check || *check == 0) return false;
    return first(*check, atoms_.supportingWmCheck, XA_WINDOW) == check;
  }

  // The root's children that are viewable, bottom to top.
  std::vector<Window> viewableTopLevels() {
    std::vector<Window> result;
    for (Window child : children(root_)) {
      auto attrs = attributes(child);
      if (attrs && attrs->map_state == IsViewable) result.push_back(child);
    }
    return result;
  }

  std::optional<std::int32_t> focusPid() {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    if (focus == PointerRoot) {
      // The keyboard follows the pointer: the top-level window under it has the focus.
      Window rootReturn = 0;
      Window child = 0;
      int rootX = 0;
      int rootY = 0;
      int x = 0;
      int y = 0;
      unsigned int mask = 0;
      if (XQueryPointer(display_, root_, &rootReturn, &child, &rootX, &rootY, &x, &y, &mask) == 0)
        return std::nullopt;
      focus = child;
    }
    if (focus == None || focus == root_) return std::nullopt;
    // The focus lies in its application's client window, which is met on the way up: looking
    // for the client among the frame's windows instead costs a round trip for each of the
    // frame's buttons and borders, on every entry into a mode, before the front window is read.
    Window window = focus;
    for (int depth = 0; depth < 64; ++depth) {
      if (has(window, atoms_.wmState)) {
        if (auto found = pid(window)) return found;
      }
      Window parent = 0;
      children(window, &parent);
      if (parent == 0) return std::nullopt;
      if (parent == root_) return ownerPid(window);
      window = parent;
    }
    return std::nullopt;
  }

  WindowClues clues(Window client) {
    return {text(client, atoms_.gtkApplicationId), text(client, atoms_.kdeDesktopFile),
            windowClass(client)};
  }

  std::vector<WindowType> types(Window window) {
    std::vector<WindowType> result;
    for (unsigned long atom : longs(window, atoms_.windowType, XA_ATOM)) {
      auto known = std::find_if(atoms_.types.begin(), atoms_.types.end(),
                                [atom](const auto& entry) { return entry.first == atom; });
      if (known != atoms_.types.end()) result.push_back(known->second);
    }
    return result;
  }

 private:
  Display* display_;
  Window root_;
  const Atoms& atoms_;
  ErrorTrap trap_;
};

// One on-screen window: `top` is what the server shows (a frame or the window itself), `client`
// what the application made. Nothing when it is not on screen or is the desktop.
std::optional<WindowInfo> describeWindow(Query& query, Window top, Window client, bool managed,
                                         const XWindowAttributes& topAttributes) {
  if (topAttributes.map_state != IsViewable) return std::nullopt;
  const Atoms& atoms = query.atoms();
  bool hidden = false;
  bool above = false;
  for (unsigned long state : query.longs(client, atoms.netWmState, XA_ATOM)) {
    hidden = hidden || state == atoms.stateHidden;
    above = above || state == atoms.stateAbove;
  }
  if (hidden) return std::nullopt;
  auto layer =
      windowList::windowLayer(query.types(client), above, topAttributes.override_redirect != 0);
  if (!layer) return std::nullopt;

  WindowInfo info;
  info.layer = layer;
  auto pid = query.pid(client);
  if (!pid && client != top) pid = query.pid(top);
  info.ownerPid = pid.value_or(0);
  auto opacity = query.first(client, atoms.opacity, XA_CARDINAL);
  if (!opacity && client != top) opacity = query.first(top, atoms.opacity, XA_CARDINAL);
  if (opacity) info.alpha = static_cast<double>(*opacity) / 4294967295.0;

  std::optional<XWindowAttributes> clientAttributes =
      client == top ? std::optional(topAttributes) : query.attributes(client);
  int x = 0;
  int y = 0;
  Window child = 0;
  if (clientAttributes &&
      XTranslateCoordinates(query.display(), client, query.root(), 0, 0, &x, &y, &child) != 0) {
    long left = 0;
    long right = 0;
    long topExtent = 0;
    long bottom = 0;
    if (managed) {
      auto extents = query.longs(client, atoms.frameExtents, XA_CARDINAL);
      if (extents.size() >= 4) {
        left = static_cast<long>(extents[0]);
        right = static_cast<long>(extents[1]);
        topExtent = static_cast<long>(extents[2]);
        bottom = static_cast<long>(extents[3]);
      }
    }
    const long border = clientAttributes->border_width;
    const long rootX = x - border - left;
    const long rootY = y - border - topExtent;
    info.bounds =
        Rect{static_cast<double>(rootOrigin::globalX(static_cast<int>(rootX))),
             static_cast<double>(rootOrigin::globalY(static_cast<int>(rootY))),
             static_cast<double>(clientAttributes->width + 2 * border + left + right),
             static_cast<double>(clientAttributes->height + 2 * border + topExtent + bottom)};
  }
  return info;
}

// Is the process still there (a zombie has ended: only its exit status waits to be collected)?
bool processAlive(std::int32_t pid) {
  if (kill(pid, 0) != 0 && errno != EPERM) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  std::size_t close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return true;
  char state = line[close + 2];
  return state != 'Z' && state != 'X';
}

int pidfdOpen(std::int32_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

constexpr int pollIntervalMs = 250;

}  // namespace

// --- the connection ------------------------------------------------------------------------------

struct X11Workspace::Connection {
  std::mutex mutex;
  DisplayPtr display;
  Window root = 0;
  Atoms atoms;
  // A connection of its own that asks many windows at once.
  std::unique_ptr<XcbWindowList> windowList;

  // Null when there is no usable connection.
  std::optional<Query> query() {
    if (display == nullptr || connectionLost(display.get())) return std::nullopt;
    return std::optional<Query>(std::in_place, display.get(), root, atoms);
  }

  // The processes owning the managed top-level windows (the root's viewable children without a
  // manager), each with its first window's clues, in the order of the client list. Stops at
  // `wanted` when given.
  std::vector<std::pair<std::int32_t, WindowClues>> owners(std::optional<std::int32_t> wanted) {
    std::lock_guard lock(mutex);
    std::vector<std::pair<std::int32_t, WindowClues>> result;
    auto q = query();
    if (!q) return result;
    const bool managed = q->windowManagerRunning();
    std::vector<Window> windows;
    if (managed) {
      for (unsigned long window : q->longs(root, atoms.clientList, XA_WINDOW))
        windows.push_back(window);
    } else {
      windows = q->viewableTopLevels();
    }
    std::set<std::int32_t> seen;
    for (Window window : windows) {
      Window client = managed ? window : q->client(window);
      auto pid = q->pid(client);
      if (!pid && client != window) pid = q->pid(window);
      if (!pid || (wanted && *pid != *wanted) || !seen.insert(*pid).second) continue;
      result.emplace_back(*pid, q->clues(client));
      if (wanted) break;
    }
    return result;
  }
};

// --- termination watches -------------------------------------------------------------------------

struct X11Workspace::Watches {
  struct Watch {
    std::int32_t pid = 0;
    int fd = -1;  // the pidfd; -1 when the process is polled
    std::function<void()> callback;
    QObject* watcher = nullptr;  // its notifier or poll timer, once made on the main thread
  };

  // Lives on the main thread and owns every watcher.
  std::unique_ptr<QObject> context = std::make_unique<QObject>();
  std::mutex mutex;
  std::map<std::uint64_t, Watch> active;
  std::uint64_t nextToken = 1;

  Watches() {
    if (QCoreApplication* app = QCoreApplication::instance()) context->moveToThread(app->thread());
  }

  ~Watches() {
    std::lock_guard lock(mutex);
    for (auto& [token, watch] : active) {
      delete watch.watcher;
      if (watch.fd >= 0) ::close(watch.fd);
    }
    active.clear();
  }

  bool onMainThread() const { return QThread::currentThread() == context->thread(); }

  void queue(std::function<void()> work) {
    QMetaObject::invokeMethod(context.get(), std::move(work), Qt::QueuedConnection);
  }

  // Main thread: stops a watcher taken out of `active` and closes its pidfd.
  static void release(QObject* watcher, int fd) {
    if (auto* notifier = qobject_cast<QSocketNotifier*>(watcher)) notifier->setEnabled(false);
    if (auto* timer = qobject_cast<QTimer*>(watcher)) timer->stop();
    // It may be the very object whose signal is running.
    if (watcher != nullptr) watcher->deleteLater();
    if (fd >= 0) ::close(fd);
  }

  // Main thread: makes the watcher of `token`, unless it was cancelled meanwhile.
  void attach(std::uint64_t token) {
    std::lock_guard lock(mutex);
    auto found = active.find(token);
    if (found == active.end()) return;
    Watch& watch = found->second;
    if (watch.fd >= 0) {
      auto* notifier = new QSocketNotifier(watch.fd, QSocketNotifier::Read, context.get());
      QObject::connect(notifier, &QSocketNotifier::activated, context.get(),
                       [this, token] { finish(token); });
      watch.watcher = notifier;
    } else {
      auto* timer = new QTimer(context.get());
      timer->setInterval(pollIntervalMs);
      QObject::connect(timer, &QTimer::timeout, context.get(), [this, token, pid = watch.pid] {
        if (!processAlive(pid)) finish(token);
      });
      timer->start();
      watch.watcher = timer;
    }
  }

  // Main thread: the process has ended.
  void finish(std::uint64_t token) {
    std::function<void()> callback;
    {
      std::lock_guard lock(mutex);
      auto found = active.find(token);
      if (found == active.end()) return;
      callback = std::move(found->second.callback);
      release(found->second.watcher, found->second.fd);
      active.erase(found);
    }
    try {
      if (callback) callback();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "tovrel: a process-end handler failed: %s\n", error.what());
    } catch (...) {
      std::fprintf(stderr, "tovrel: a process-end handler failed\n");
    }
  }
};

// --- the workspace -------------------------------------------------------------------------------

X11Workspace::X11Workspace()
    : connection_(std::make_unique<Connection>()), watches_(std::make_unique<Watches>()) {
  connection_->display = openDisplay();
  if (connection_->display == nullptr) {
    std::fprintf(stderr, "tovrel: no X server answers: the window list stays empty\n");
    return;
  }
  connection_->root = DefaultRootWindow(connection_->display.get());
  connection_->atoms = internAtoms(connection_->display.get());
  const Atoms& atoms = connection_->atoms;
  connection_->windowList = std::make_unique<XcbWindowList>(
      DisplayString(connection_->display.get()),
      WindowListAtoms{static_cast<std::uint32_t>(atoms.wmState),
                      static_cast<std::uint32_t>(atoms.wmPid),
                      static_cast<std::uint32_t>(atoms.activeWindow),
                      static_cast<std::uint32_t>(atoms.netWmName),
                      static_cast<std::uint32_t>(atoms.gtkFrameExtents)});
}

X11Workspace::~X11Workspace() = default;

std::vector<RunningApplication> X11Workspace::runningApplications() {
  std::vector<RunningApplication> apps;
  // /proc and the desktop entries are read without holding the connection.
  for (const auto& [pid, clues] : connection_->owners(std::nullopt))
    if (auto app = describeApplication(pid, selfPid(), clues)) apps.push_back(std::move(*app));
  return apps;
}

std::optional<RunningApplication> X11Workspace::application(std::int32_t pid) {
  if (pid <= 0) return std::nullopt;
  auto owners = connection_->owners(pid);
  return describeApplication(pid, selfPid(), owners.empty() ? WindowClues{} : owners[0].second);
}

std::optional<std::int32_t> X11Workspace::frontmostApplicationPid() {
  std::lock_guard lock(connection_->mutex);
  auto q = connection_->query();
  if (!q) return std::nullopt;
  if (!q->windowManagerRunning()) return q->focusPid();
  auto active = q->first(q->root(), connection_->atoms.activeWindow, XA_WINDOW);
  if (!active || *active == 0) return std::nullopt;
  return q->ownerPid(*active);
}

std::optional<std::int32_t> X11Workspace::keyboardFocusPid() {
  std::lock_guard lock(connection_->mutex);
  auto q = connection_->query();
  if (!q) return std::nullopt;
  return q->focusPid();
}

std::optional<X11Workspace::ActivationWindow> X11Workspace::activationWindow(std::int32_t pid) {
  if (pid <= 0) return std::nullopt;
  std::lock_guard lock(connection_->mutex);
  auto q = connection_->query();
  if (!q) return std::nullopt;
  const Atoms& atoms = connection_->atoms;
  const bool managed = q->windowManagerRunning();
  std::vector<unsigned long> windows;
  if (managed) {
    windows = q->longs(q->root(), atoms.clientListStacking, XA_WINDOW);
    if (windows.empty()) windows = q->longs(q->root(), atoms.clientList, XA_WINDOW);
  } else {
    for (Window window : q->viewableTopLevels()) {
      auto attrs = q->attributes(window);
      if (attrs && attrs->override_redirect == 0) windows.push_back(window);
    }
  }
  std::vector<windowList::Candidate> candidates;
  for (unsigned long window : windows) {
    windowList::Candidate candidate;
    candidate.window = window;
    candidate.pid = managed ? q->pid(window) : q->ownerPid(window);
    // Only the application's own windows are worth reading further.
    if (candidate.pid == pid) {
      const Window client = managed ? window : q->client(window);
      bool above = false;
      for (unsigned long state : q->longs(client, atoms.netWmState, XA_ATOM)) {
        candidate.hidden = candidate.hidden || state == atoms.stateHidden;
        above = above || state == atoms.stateAbove;
      }
      candidate.layer = windowList::windowLayer(q->types(client), above, false);
    }
    candidates.push_back(candidate);
  }
  const unsigned long target = windowList::activationTarget(candidates, pid);
  if (target == 0) return std::nullopt;
  return ActivationWindow{target, managed};
}

std::vector<X11Workspace::ClientWindow> X11Workspace::clientWindows(std::int32_t pid) {
  if (pid <= 0 || !connection_->windowList) return {};
  return connection_->windowList->windowsOf(pid);
}

std::int32_t X11Workspace::selfPid() {
  return static_cast<std::int32_t>(getpid());
}

std::vector<WindowInfo> X11Workspace::onScreenWindows() {
  std::lock_guard lock(connection_->mutex);
  std::vector<WindowInfo> windows;
  auto q = connection_->query();
  if (!q) return windows;
  const Window root = connection_->root;
  const Atoms& atoms = connection_->atoms;
  const bool managed = q->windowManagerRunning();

  std::map<Window, XWindowAttributes> topAttributes;
  std::vector<windowList::RootChild> tree;
  for (Window child : q->children(root)) {
    auto attrs = q->attributes(child);
    if (!attrs) continue;
    topAttributes[child] = *attrs;
    tree.push_back({child, 0, attrs->override_redirect != 0});
  }

  std::map<Window, Window> frameOf;  // managed client → the root child showing it
  std::vector<unsigned long> order;
  if (managed) {
    std::vector<unsigned long> stacking = q->longs(root, atoms.clientListStacking, XA_WINDOW);
    const bool stackingKnown = !stacking.empty();
    if (!stackingKnown) stacking = q->longs(root, atoms.clientList, XA_WINDOW);
    std::map<Window, Window> clientOf;
    for (unsigned long client : stacking) {
      Window frame = q->topLevel(client);
      if (frame == 0) continue;
      frameOf[client] = frame;
      clientOf[frame] = client;
    }
    for (auto& child : tree) {
      auto found = clientOf.find(child.window);
      if (found != clientOf.end()) child.client = found->second;
    }
    if (!stackingKnown) {
      // A manager without a stacking list: the server's stacking of the frames says it.
      stacking.clear();
      for (const auto& child : tree)
        if (child.client != 0) stacking.push_back(child.client);
    }
    order = windowList::frontToBack(stacking, tree);
  } else {
    for (auto child = tree.rbegin(); child != tree.rend(); ++child)
      order.push_back(child->window);
  }

  for (unsigned long window : order) {
    auto frame = frameOf.find(window);
    const Window top = frame != frameOf.end() ? frame->second : window;
    auto attrs = topAttributes.find(top);
    if (attrs == topAttributes.end()) continue;
    if (attrs->second.map_state != IsViewable) continue;
    const Window client = frame != frameOf.end() ? window : q->client(window);
    if (auto info = describeWindow(*q, top, client, managed, attrs->second))
      windows.push_back(*info);
  }
  return windows;
}

std::optional<bool> X11Workspace::preferenceFlag(std::string_view, std::string_view) {
  return std::nullopt;
}

bool X11Workspace::fileExists(const std::string& path) {
  std::error_code error;
  return !path.empty() && std::filesystem::exists(path, error) && !error;
}

std::uint64_t X11Workspace::watchTermination(std::int32_t pid, std::function<void()> terminated) {
  if (pid <= 0) return 0;
  Watches& watches = *watches_;
  int fd = pidfdOpen(pid);
  if (fd < 0 && (errno == ESRCH || !processAlive(pid))) {
    watches.queue(std::move(terminated));
    return 0;
  }
  // Without pidfds (an old kernel, or a pid that is no process leader) the process is polled.
  std::uint64_t token = 0;
  {
    std::lock_guard lock(watches.mutex);
    token = watches.nextToken++;
    watches.active[token] = {pid, fd, std::move(terminated), nullptr};
  }
  if (watches.onMainThread())
    watches.attach(token);
  else
    watches.queue([&watches, token] { watches.attach(token); });
  return token;
}

void X11Workspace::cancelWatch(std::uint64_t token) {
  Watches& watches = *watches_;
  Watches::Watch watch;
  {
    std::lock_guard lock(watches.mutex);
    auto found = watches.active.find(token);
    if (found == watches.active.end()) return;
    watch = std::move(found->second);
    watches.active.erase(found);
  }
  if (watch.watcher == nullptr) {
    // Not made yet: its making finds the token gone.
    if (watch.fd >= 0) ::close(watch.fd);
    return;
  }
  if (watches.onMainThread())
    Watches::release(watch.watcher, watch.fd);
  else
    watches.queue([watcher = watch.watcher, fd = watch.fd] { Watches::release(watcher, fd); });
}

}  // namespace tovrel::platform::x11
