// An overlay on the real X server, shown by this test program started again as a child (beside
// one ordinary window): it bypasses the window manager, comes back above a window raised over
// it, never takes the focus, lets clicks through and is nowhere in its process's accessibility
// tree.
#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "DesktopHarness.hpp"
#include "QtTestApp.hpp"
#include "platform/x11/overlay/QtOverlayServices.hpp"

// After Qt: X's headers define macros that break Qt's.
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace tovrel::desktoptest {
namespace {

using Clock = std::chrono::steady_clock;

constexpr char childVariable[] = "TOVREL_OVERLAY_TEST_CHILD";
constexpr char hostTitle[] = "Overlay host";

// ── The child: an ordinary window, and a head-up display with its top-left corner at the root
// pixel "X,Y" it is given, ordered front again every 0.1 s ──

int runChild(const char* at) {
  static int argc = 1;
  static char name[] = "tovrel-overlay-child";
  static char* argv[] = {name, nullptr};
  qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
  QApplication app(argc, argv);
  QWidget host;
  host.setWindowTitle(hostTitle);
  host.setGeometry(900, 550, 240, 160);
  host.show();

  platform::x11::QtOverlayServices services;
  const auto panel = services.createPanel({0, 0, 10, 10});
  platform::HudContent hud;
  hud.app = "Receiver";
  hud.line = "Type a label";
  panel->setContent(hud);
  const auto size = panel->fittingSize();
  int x = 0;
  int y = 0;
  std::sscanf(at, "%d,%d", &x, &y);
  const QPoint origin = QGuiApplication::primaryScreen()->geometry().topLeft();
  panel->setFrame({static_cast<double>(x - origin.x()), static_cast<double>(y - origin.y()),
                   size.width, size.height});
  panel->orderFront();
  QTimer again;
  QObject::connect(&again, &QTimer::timeout, [&] { panel->orderFront(); });
  again.start(100);
  return app.exec();
}

// Runs before main() in the child and never returns there.
[[maybe_unused]] const bool childRan = [] {
  if (const char* at = std::getenv(childVariable)) {
    std::fflush(nullptr);
    std::_Exit(runChild(at));
  }
  return false;
}();

pid_t spawnChild(const std::string& at) {
  return spawnSelf({std::string(childVariable) + "=" + at});
}

// ── The accessibility bus, read directly: nothing of ours filters what it lists ──

struct Reference {
  QString service;
  QString path;
};

QDBusMessage call(const QDBusConnection& bus, const Reference& node, const QString& interface,
                  const QString& method, const QVariantList& arguments = {}) {
  auto message = QDBusMessage::createMethodCall(node.service, node.path, interface, method);
  message.setArguments(arguments);
  return bus.call(message, QDBus::Block, 2000);
}

std::vector<Reference> childrenOf(const QDBusConnection& bus, const Reference& node) {
  std::vector<Reference> result;
  const QDBusMessage reply = call(bus, node, "org.a11y.atspi.Accessible", "GetChildren");
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return result;
  const auto argument = reply.arguments().first().value<QDBusArgument>();
  argument.beginArray();
  while (!argument.atEnd()) {
    QString service;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> service >> path;
    argument.endStructure();
    result.push_back({service, path.path()});
  }
  argument.endArray();
  return result;
}

// The windows process `pid` lists on the accessibility bus, once it lists any.
std::vector<QString> windowNames(const QDBusConnection& bus, pid_t pid) {
  for (const Reference& application :
       childrenOf(bus, {"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"})) {
    const auto owner = bus.interface()->servicePid(application.service);
    if (!owner.isValid() || owner.value() != static_cast<uint>(pid)) continue;
    std::vector<QString> names;
    for (const Reference& window : childrenOf(bus, application)) {
      const QDBusMessage name = call(bus, window, "org.freedesktop.DBus.Properties", "Get",
                                     {"org.a11y.atspi.Accessible", "Name"});
      names.push_back(name.arguments().value(0).value<QDBusVariant>().variant().toString());
    }
    return names;
  }
  return {};
}

// ── The X side ──

// The child of the root that holds `window` (the manager's frame, or the window itself).
Window topLevel(Display* display, Window window) {
  for (int depth = 0; depth < 16; ++depth) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) return 0;
    if (children != nullptr) XFree(children);
    if (parent == root) return window;
    window = parent;
  }
  return 0;
}

// Whether `upper` is stacked above `lower`'s top-level window.
bool above(Display* display, Window upper, Window lower) {
  lower = topLevel(display, lower);
  Window root = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned count = 0;
  if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count) == 0)
    return false;
  const std::vector<Window> order(children, children + count);  // bottom to top
  if (children != nullptr) XFree(children);
  const auto u = std::find(order.begin(), order.end(), upper);
  return u != order.end() && std::find(order.begin(), u, lower) != u;
}

using OverlayDesktopTest = DesktopTest;

TEST_F(OverlayDesktopTest, OverlayFloatsTakesNoFocusPassesClicksAndStaysOutOfAccessibility) {
  qtApp();
  auto receiver = startReceiver({"Overlay receiver", 150, 150});
  ASSERT_NE(receiver, nullptr);
  const auto rect = receiver->rect();
  ASSERT_TRUE(rect.has_value());
  const pid_t pid =
      spawnChild(std::to_string(rect->x + 10) + "," + std::to_string(rect->centerY() - 20));
  ASSERT_GT(pid, 0);
  struct Stop {
    pid_t pid;
    ~Stop() { stopChild(pid); }
  } stop{pid};
  ASSERT_TRUE(desktop().waitForWindow(hostTitle, pid).has_value());
  const auto overlay = desktop().waitForWindow("Tovrel overlay", pid);
  ASSERT_TRUE(overlay.has_value());
  Display* display = desktop().display();
  XWindowAttributes attributes{};
  ASSERT_NE(XGetWindowAttributes(display, *overlay, &attributes), 0);
  EXPECT_TRUE(attributes.override_redirect);

  // A click on the drawn part of the overlay lands in the receiver; the focus stays there.
  ASSERT_TRUE(receiver->activate());
  const std::size_t mark = receiver->log().size();
  inputWhilePumping(desktop(),
                    [&](Desktop& input) { input.hardwareClick(rect->x + 30, rect->centerY()); });
  EXPECT_TRUE(receiver->log().waitFor(mousePress(1), 5s, mark).has_value());
  pump(100ms);
  EXPECT_TRUE(desktop().hasFocus(receiver->window()));

  // Ordered front again, it is back above a window raised over it.
  XRaiseWindow(display, topLevel(display, receiver->window()));
  XSync(display, False);
  EXPECT_TRUE(pumpUntil([&] { return above(display, *overlay, receiver->window()); }, 2s));

  const QDBusMessage address =
      call(QDBusConnection::sessionBus(), {"org.a11y.Bus", "/org/a11y/bus"}, "org.a11y.Bus",
           "GetAddress");
  const QDBusConnection bus =
      QDBusConnection::connectToBus(address.arguments().value(0).toString(), "tovrel-overlay-test");
  ASSERT_TRUE(bus.isConnected());
  std::vector<QString> names;
  for (auto deadline = Clock::now() + 10s; names.empty() && Clock::now() < deadline;) {
    names = windowNames(bus, pid);
    if (names.empty()) std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(names, std::vector<QString>{hostTitle});
}

}  // namespace
}  // namespace tovrel::desktoptest
