// The AT-SPI backend against a real Qt application inside the private desktop. The application is
// this test program itself, started again as a child that shows a window instead of running
// tests, so every widget it shows is one the test controls.
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSlider>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DesktopHarness.hpp"
#include "QtTestApp.hpp"
#include "platform/atspi/AtspiAccessibility.hpp"

namespace tovrel::desktoptest {
namespace {

using platform::AXElement;
using platform::AXError;
using platform::AXSize;
using platform::AXValue;
using platform::atspi::AtspiAccessibility;
using Clock = std::chrono::steady_clock;

constexpr char childVariable[] = "TOVREL_ATSPI_TEST_CHILD";

// ── The child: "window|TITLE", "many|COUNT|TITLE" or "nobus" ──

std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const auto bar = text.find('|', start);
    parts.push_back(text.substr(start, bar - start));
    if (bar == std::string::npos) return parts;
    start = bar + 1;
  }
}

// Without any bus every read fails at once with "cannot complete"; exit status 0 when so.
int runWithoutBus() {
  static int argc = 1;
  static char name[] = "tovrel-atspi-nobus";
  static char* argv[] = {name, nullptr};
  QCoreApplication app(argc, argv);
  const auto start = Clock::now();
  AtspiAccessibility accessibility([] { return std::optional<std::int32_t>(1); });
  const AXElement application = accessibility.application(1);
  const auto focused = accessibility.systemWide().attribute("AXFocusedApplication");
  const bool failed = application.attribute("AXRole").error() == AXError::cannotComplete &&
                      application.attribute("AXFocusedWindow").error() == AXError::cannotComplete &&
                      !application.elementAtPosition(10, 10).ok() && !application.pid() &&
                      focused.ok() && focused.value() == AXValue(application);
  const bool quick = Clock::now() - start < 3s;
  if (!failed || !quick) std::fprintf(stderr, "without a bus: failed=%d quick=%d\n", failed, quick);
  return failed && quick ? 0 : 1;
}

int runWindow(const std::vector<std::string>& request) {
  static int argc = 1;
  static char name[] = "tovrel-atspi-window";
  static char* argv[] = {name, nullptr};
  qputenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QString::fromStdString(request.back()));
  auto* grid = new QGridLayout(&window);
  if (request[0] == "many") {
    // Groups of buttons, so the tree has depth as well as breadth.
    const int count = std::stoi(request[1]);
    for (int group = 0; group * 30 < count; ++group) {
      auto* box = new QGroupBox(QStringLiteral("Group %1").arg(group));
      auto* inner = new QGridLayout(box);
      for (int i = group * 30; i < std::min(count, group * 30 + 30); ++i)
        inner->addWidget(new QPushButton(QStringLiteral("B%1").arg(i)), (i % 30) / 6, i % 6);
      grid->addWidget(box, group / 2, group % 2);
    }
    window.setGeometry(40, 40, 1100, 700);
  } else {
    auto* button = new QPushButton(QStringLiteral("Press me"));
    QObject::connect(button, &QPushButton::clicked, button,
                     [button] { button->setText(QStringLiteral("Pressed")); });
    grid->addWidget(button, 0, 0);
    auto* label = new QLabel(QStringLiteral("Name:"));
    auto* field = new QLineEdit(QStringLiteral("hello"));
    label->setBuddy(field);
    grid->addWidget(label, 1, 0);
    grid->addWidget(field, 1, 1);
    grid->addWidget(new QCheckBox(QStringLiteral("Check me")), 2, 0);
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setValue(42);
    grid->addWidget(slider, 2, 1);
    auto* list = new QListWidget;
    for (int i = 0; i < 100; ++i)
      list->addItem(QStringLiteral("Row %1").arg(i));
    grid->addWidget(list, 3, 0, 1, 2);
    window.setGeometry(200, 150, 480, 400);
  }
  window.show();
  return app.exec();
}

// Runs before main() in the child and never returns there.
[[maybe_unused]] const bool childRan = [] {
  if (const char* request = std::getenv(childVariable)) {
    const auto parts = split(request);
    std::fflush(nullptr);
    std::_Exit(parts[0] == "nobus" ? runWithoutBus() : runWindow(parts));
  }
  return false;
}();

// ── The test's side ──

pid_t spawnChild(const std::string& request,
                 const std::vector<std::string>& extraEnvironment = {}) {
  std::vector<std::string> environment = extraEnvironment;
  environment.push_back(std::string(childVariable) + "=" + request);
  return spawnSelf(environment);
}

int waitForExit(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(10ms);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ChildWindow {
  pid_t pid = -1;
  WindowId window = 0;
  ~ChildWindow() {
    if (pid <= 0) return;
    kill(pid, SIGCONT);
    kill(pid, SIGTERM);
    waitForExit(pid, 3s);
  }
};

std::optional<std::string> text(const AXElement& element, std::string_view attribute) {
  auto value = element.attribute(attribute);
  if (!value.ok()) return std::nullopt;
  if (const auto* string = std::get_if<std::string>(&value.value())) return *string;
  return std::nullopt;
}

std::vector<AXElement> children(const AXElement& element) {
  auto value = element.attribute("AXChildren");
  if (!value.ok()) return {};
  return std::get<std::vector<AXElement>>(value.value());
}

std::optional<AXElement> elementValue(const AXElement& element, std::string_view attribute) {
  auto value = element.attribute(attribute);
  if (!value.ok()) return std::nullopt;
  if (const auto* found = std::get_if<AXElement>(&value.value())) return *found;
  return std::nullopt;
}

std::optional<Rect> frame(const AXElement& element) {
  auto position = element.attribute("AXPosition");
  auto size = element.attribute("AXSize");
  if (!position.ok() || !size.ok()) return std::nullopt;
  const auto& p = std::get<Point>(position.value());
  const auto& s = std::get<AXSize>(size.value());
  return Rect{static_cast<int>(p.x), static_cast<int>(p.y), static_cast<int>(s.width),
              static_cast<int>(s.height)};
}

// Breadth-first through "AXChildren", reading what a discovery walk reads of every node.
struct Walk {
  std::vector<AXElement> nodes;
  std::vector<std::string> roles;
  std::vector<std::string> titles;
};

Walk walk(const AXElement& root, double timeout) {
  Walk out;
  std::deque<AXElement> queue = {root};
  while (!queue.empty()) {
    AXElement element = queue.front();
    queue.pop_front();
    element.setMessagingTimeout(timeout);
    out.roles.push_back(text(element, "AXRole").value_or("?"));
    out.titles.push_back(text(element, "AXTitle").value_or(""));
    (void)frame(element);
    (void)element.attribute("AXEnabled");
    if (out.roles.back() == "AXButton") (void)element.actionNames();
    out.nodes.push_back(element);
    for (auto& child : children(element))
      queue.push_back(std::move(child));
  }
  return out;
}

const AXElement* find(const Walk& tree, std::string_view role, std::string_view title) {
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    if (tree.roles[i] == role && (title.empty() || tree.titles[i] == title)) return &tree.nodes[i];
  }
  return nullptr;
}

class AtspiTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qtApp();
    accessibility_ = std::make_unique<AtspiAccessibility>([this] { return focusPid_; });
  }

  // Starts a child window and waits until it is on screen and on the accessibility bus.
  std::unique_ptr<ChildWindow> start(const std::string& request, const std::string& title) {
    auto child = std::make_unique<ChildWindow>();
    child->pid = spawnChild(request + "|" + title);
    if (child->pid <= 0) return nullptr;
    const auto window = desktop().waitForWindow(title, child->pid);
    if (!window) return nullptr;
    child->window = *window;
    desktop().focus(child->window);
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
      if (elementValue(accessibility_->application(child->pid), "AXFocusedWindow")) return child;
      std::this_thread::sleep_for(50ms);
    }
    return nullptr;
  }

  std::unique_ptr<AtspiAccessibility> accessibility_;
  std::optional<std::int32_t> focusPid_;
};

TEST_F(AtspiTest, FindsTheApplicationWindowAndControlsWithRolesNamesAndFrames) {
  auto child = start("window", "Atspi roles");
  ASSERT_NE(child, nullptr);
  const AXElement application = accessibility_->application(child->pid);
  EXPECT_EQ(application.pid(), child->pid);
  EXPECT_EQ(text(application, "AXRole"), "AXApplication");

  auto window = elementValue(application, "AXFocusedWindow");
  ASSERT_TRUE(window.has_value());
  EXPECT_EQ(text(*window, "AXRole"), "AXWindow");
  EXPECT_EQ(text(*window, "AXSubrole"), "AXStandardWindow");
  EXPECT_EQ(text(*window, "AXTitle"), "Atspi roles");
  EXPECT_EQ(elementValue(application, "AXMainWindow"), window);
  EXPECT_EQ(elementValue(*window, "AXParent"), application);
  EXPECT_EQ(children(application), std::vector<AXElement>{*window});

  // Qt learns where the window manager put the window a moment after it maps.
  const auto expected = desktop().windowRect(child->window);
  ASSERT_TRUE(expected.has_value());
  std::optional<Rect> read;
  for (auto deadline = Clock::now() + 3s; Clock::now() < deadline;) {
    auto fresh = elementValue(accessibility_->application(child->pid), "AXFocusedWindow");
    read = fresh ? frame(*fresh) : std::nullopt;
    if (read && read->x == expected->x && read->y == expected->y) break;
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->x, expected->x);
  EXPECT_EQ(read->y, expected->y);
  EXPECT_EQ(read->width, expected->width);
  EXPECT_EQ(read->height, expected->height);

  const Walk tree = walk(*window, 1.0);
  const AXElement* button = find(tree, "AXButton", "Press me");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(text(*button, "AXRoleDescription"), "button");
  EXPECT_EQ(elementValue(*button, "AXParent"), window);
  const AXElement* field = find(tree, "AXTextField", "");
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(text(*field, "AXValue"), "hello");
  auto label = elementValue(*field, "AXTitleUIElement");
  ASSERT_TRUE(label.has_value());
  EXPECT_EQ(text(*label, "AXRole"), "AXStaticText");
  EXPECT_EQ(text(*label, "AXValue"), "Name:");
  EXPECT_NE(find(tree, "AXCheckBox", "Check me"), nullptr);
  const AXElement* slider = find(tree, "AXSlider", "");
  ASSERT_NE(slider, nullptr);
  auto value = slider->attribute("AXValue");
  ASSERT_TRUE(value.ok());
  EXPECT_DOUBLE_EQ(std::get<double>(value.value()), 42.0);
  EXPECT_EQ(slider->attribute("AXPlaceholderValue").error(), AXError::noValue);
  EXPECT_EQ(slider->attribute("AXNoSuchAttribute").error(), AXError::attributeUnsupported);

  // Only the rows the list shows are its children (the last one perhaps only in part); every
  // other frame lies inside the window's.
  const AXElement* list = find(tree, "AXList", "");
  ASSERT_NE(list, nullptr);
  const auto rows = children(*list);
  EXPECT_GT(rows.size(), 2U);
  EXPECT_LT(rows.size(), 100U);
  for (const auto& row : rows)
    EXPECT_EQ(text(row, "AXRole"), "AXRow");
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    if (tree.roles[i] == "AXRow") continue;
    const auto f = frame(tree.nodes[i]);
    ASSERT_TRUE(f.has_value()) << tree.roles[i];
    EXPECT_GE(f->x, read->x);
    EXPECT_GE(f->y, read->y);
    EXPECT_LE(f->x + f->width, read->x + read->width);
    EXPECT_LE(f->y + f->height, read->y + read->height);
  }
}

TEST_F(AtspiTest, PressesFocusesAndHitTestsControls) {
  auto child = start("window", "Atspi actions");
  ASSERT_NE(child, nullptr);
  const AXElement application = accessibility_->application(child->pid);
  auto window = elementValue(application, "AXFocusedWindow");
  ASSERT_TRUE(window.has_value());
  const Walk tree = walk(*window, 1.0);
  const AXElement* button = find(tree, "AXButton", "Press me");
  const AXElement* field = find(tree, "AXTextField", "");
  const AXElement* check = find(tree, "AXCheckBox", "Check me");
  ASSERT_TRUE(button && field && check);

  auto actions = button->actionNames();
  ASSERT_TRUE(actions.ok());
  EXPECT_NE(std::find(actions->begin(), actions->end(), "AXPress"), actions->end());
  EXPECT_EQ(button->performAction("AXPress"), AXError::success);
  // Qt answers first and presses afterwards.
  std::optional<std::string> title;
  for (auto deadline = Clock::now() + 2s; Clock::now() < deadline;) {
    title = text(*button, "AXTitle");
    if (title == "Pressed") break;
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(title, "Pressed");
  EXPECT_EQ(button->performAction("AXNoSuchAction"), AXError::actionUnsupported);

  EXPECT_EQ(field->setAttribute("AXFocused", true), AXError::success);
  bool focused = false;
  for (auto deadline = Clock::now() + 2s; !focused && Clock::now() < deadline;) {
    auto value = field->attribute("AXFocused");
    focused = value.ok() && std::get<bool>(value.value());
    if (!focused) std::this_thread::sleep_for(20ms);
  }
  EXPECT_TRUE(focused);
  EXPECT_EQ(elementValue(application, "AXFocusedUIElement"), *field);
  focusPid_ = child->pid;
  EXPECT_EQ(elementValue(accessibility_->systemWide(), "AXFocusedApplication"), application);
  EXPECT_EQ(elementValue(accessibility_->systemWide(), "AXFocusedUIElement"), *field);
  focusPid_.reset();
  EXPECT_EQ(accessibility_->systemWide().attribute("AXFocusedApplication").error(),
            AXError::noValue);

  for (const AXElement* target : {button, check, field}) {
    const auto f = frame(*target);
    ASSERT_TRUE(f.has_value());
    auto hit = application.elementAtPosition(static_cast<float>(f->centerX()),
                                             static_cast<float>(f->centerY()));
    ASSERT_TRUE(hit.ok());
    EXPECT_EQ(hit.value(), *target) << text(*target, "AXRole").value_or("?");
  }
  EXPECT_EQ(application.elementAtPosition(5, 5).error(), AXError::noValue);
  EXPECT_EQ(button->elementAtPosition(5, 5).error(), AXError::illegalArgument);
}

TEST_F(AtspiTest, AStoppedApplicationFailsWithinTheTimeOutAndRecovers) {
  auto child = start("window", "Atspi stopped");
  ASSERT_NE(child, nullptr);
  ASSERT_EQ(kill(child->pid, SIGSTOP), 0);
  const AXElement application = accessibility_->application(child->pid);
  application.setMessagingTimeout(0.25);
  const auto start = Clock::now();
  const auto read = application.attribute("AXFocusedWindow");
  const double took = std::chrono::duration<double>(Clock::now() - start).count();
  kill(child->pid, SIGCONT);
  EXPECT_EQ(read.error(), AXError::cannotComplete);
  // It waited for the application rather than failing at once, and for the quarter of a second
  // asked for, nowhere near D-Bus's own 25 s (the bound leaves room for a loaded machine).
  EXPECT_GE(took, 0.2);
  EXPECT_LT(took, 5.0);
  EXPECT_TRUE(elementValue(accessibility_->application(child->pid), "AXFocusedWindow"));
}

// An application too busy to name its toolkit is not asked again on the next read: the reads of
// another client, watched on the bus, ask for the name once, up to a marker sent after them. The
// bus is shared: only the calls of this process count, not those of any other client (one asks the
// same while the reads go on).
TEST_F(AtspiTest, AnApplicationThatDidNotNameItsToolkitIsNotAskedAgainAtOnce) {
  auto child = start("window", "Atspi silent");
  ASSERT_NE(child, nullptr);
  const QDBusMessage address = QDBusConnection::sessionBus().call(
      QDBusMessage::createMethodCall(QStringLiteral("org.a11y.Bus"),
                                     QStringLiteral("/org/a11y/bus"),
                                     QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress")),
      QDBus::Block, 10000);
  ASSERT_FALSE(address.arguments().isEmpty());
  const QString busAddress = address.arguments().constFirst().toString();
  const QString connectionName = QStringLiteral("tovrel-marker");
  QDBusConnection bus = QDBusConnection::connectToBus(busAddress, connectionName);
  const auto busCall = [&](const QString& method, const QVariantList& arguments) {
    auto call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                               QStringLiteral("/org/freedesktop/DBus"),
                                               QStringLiteral("org.freedesktop.DBus"), method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    return reply.type() == QDBusMessage::ReplyMessage ? reply.arguments().value(0) : QVariant();
  };
  const auto pidOf = [&](const QString& name) {
    return busCall(QStringLiteral("GetConnectionUnixProcessID"), {name}).toLongLong();
  };
  QString childName;
  for (const QString& name : busCall(QStringLiteral("ListNames"), {}).toStringList())
    if (name.startsWith(u':') && pidOf(name) == child->pid) childName = name;
  ASSERT_FALSE(childName.isEmpty()) << "the application is not on the accessibility bus";

  QProcess monitor;
  monitor.start(QStringLiteral("dbus-monitor"),
                {QStringLiteral("--address"), busAddress,
                 QStringLiteral("type='method_call',path='/org/a11y/atspi/accessible/root'")});
  std::string seen;
  const auto waitToSee = [&](const char* text) {
    const auto deadline = Clock::now() + 10s;
    while (seen.find(text) == std::string::npos && Clock::now() < deadline) {
      monitor.waitForReadyRead(100);
      seen += monitor.readAll().toStdString();
    }
    return seen.find(text) != std::string::npos;
  };
  ASSERT_TRUE(waitToSee("NameLost")) << "the monitor did not start: " << seen;

  ASSERT_EQ(kill(child->pid, SIGSTOP), 0);
  AtspiAccessibility fresh([] { return std::nullopt; });
  const AXElement application = fresh.application(child->pid);
  application.setMessagingTimeout(0.25);
  EXPECT_EQ(application.attribute("AXFocusedWindow").error(), AXError::cannotComplete);
  // Another client asks the same, sending without waiting for the stopped application.
  EXPECT_EQ(
      QProcess::execute(
          QStringLiteral("dbus-send"),
          {QStringLiteral("--address=") + busAddress, QStringLiteral("--type=method_call"),
           QStringLiteral("--dest=") + childName, QStringLiteral("/org/a11y/atspi/accessible/root"),
           QStringLiteral("org.freedesktop.DBus.Properties.Get"),
           QStringLiteral("string:org.a11y.atspi.Application"),
           QStringLiteral("string:ToolkitName")}),
      0);
  EXPECT_EQ(application.attribute("AXFocusedWindow").error(), AXError::cannotComplete);
  kill(child->pid, SIGCONT);
  auto marker = QDBusMessage::createMethodCall(
      QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/accessible/root"),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  marker.setArguments({QStringLiteral("local.tovrel.Marker"), QStringLiteral("Marker")});
  bus.call(marker, QDBus::Block, 10000);
  ASSERT_TRUE(waitToSee("local.tovrel.Marker")) << seen;
  monitor.kill();
  monitor.waitForFinished();

  // Each call's first line names its sender; its arguments follow.
  std::map<QString, std::size_t> askedBy;
  QString sender;
  std::istringstream lines(seen);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("method call ")) {
      const std::size_t name = line.find(" sender=") + 8;
      sender = QString::fromStdString(line.substr(name, line.find(' ', name) - name));
    } else if (line.find("\"ToolkitName\"") != std::string::npos) {
      ++askedBy[sender];
    }
  }
  std::size_t asked = 0;
  std::size_t others = 0;
  for (const auto& [name, count] : askedBy)
    (pidOf(name) == ::getpid() ? asked : others) += count;
  QDBusConnection::disconnectFromBus(connectionName);
  EXPECT_EQ(asked, 1U) << seen;
  EXPECT_GE(others, 1U) << "the other client's call was not seen: " << seen;
}

TEST_F(AtspiTest, UnknownProcessesAndAMissingBusFailCleanly) {
  const AXElement nobody = accessibility_->application(0x3ffffff0);
  EXPECT_EQ(nobody.attribute("AXRole").error(), AXError::invalidUIElement);
  EXPECT_EQ(nobody.attribute("AXChildren").error(), AXError::invalidUIElement);
  EXPECT_FALSE(nobody.pid().has_value());

  const pid_t pid = spawnChild(
      "nobus", {"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus", "AT_SPI_BUS_ADDRESS="});
  ASSERT_GT(pid, 0);
  EXPECT_EQ(waitForExit(pid, 10s), 0);
}

TEST_F(AtspiTest, WakingReportsSuccessOnlyWhenItSwitchedAccessibilityOn) {
  QDBusConnection session = QDBusConnection::sessionBus();
  ASSERT_TRUE(session.isConnected());
  auto status = [&](const char* method, const QVariantList& arguments) {
    auto message = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QString::fromLatin1(method));
    message.setArguments(arguments);
    return session.call(message, QDBus::Block, 10000);
  };
  auto enabled = [&] {
    const auto reply =
        status("Get", {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled")});
    return reply.arguments().value(0).value<QDBusVariant>().variant().toBool();
  };
  auto setEnabled = [&](bool on) {
    status("Set", {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"),
                   QVariant::fromValue(QDBusVariant(on))});
  };

  const AXElement application = accessibility_->application(0x3ffffff0);
  // What is checked is the answer, not its speed: a busy machine may keep the bus a while.
  application.setMessagingTimeout(10.0);
  ASSERT_TRUE(enabled());
  EXPECT_EQ(application.setAttribute("AXManualAccessibility", true), AXError::attributeUnsupported);
  // Whatever fails below, the tests after this one find accessibility on.
  struct SwitchBackOn {
    std::function<void()> run;
    ~SwitchBackOn() { run(); }
  } switchBackOn{[&] { setEnabled(true); }};
  setEnabled(false);
  ASSERT_FALSE(enabled());
  EXPECT_EQ(application.setAttribute("AXManualAccessibility", true), AXError::success);
  EXPECT_TRUE(enabled());
  EXPECT_EQ(application.setAttribute("AXEnhancedUserInterface", true),
            AXError::attributeUnsupported);
}

// Not a timed test: it walks a window of a few hundred widgets from several threads at once, checks
// they all read the same tree, and reports the speed.
TEST_F(AtspiTest, WalksAWindowOfManyWidgetsFromSeveralThreads) {
  auto child = start("many|300", "Atspi many");
  ASSERT_NE(child, nullptr);
  auto window = elementValue(accessibility_->application(child->pid), "AXFocusedWindow");
  ASSERT_TRUE(window.has_value());

  double best = 1e9;
  std::size_t nodes = 0;
  for (int round = 0; round < 5; ++round) {
    // A fresh window element each round, so nothing is remembered from the previous one.
    auto fresh = elementValue(accessibility_->application(child->pid), "AXFocusedWindow");
    ASSERT_TRUE(fresh.has_value());
    const auto start = Clock::now();
    const Walk tree = walk(*fresh, 0.25);
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    nodes = tree.nodes.size();
    EXPECT_EQ(std::count(tree.roles.begin(), tree.roles.end(), "AXButton"), 300);
    EXPECT_NE(find(tree, "AXButton", "B299"), nullptr);
  }
  std::printf("[ speed    ] %zu nodes in %.1f ms: %.0f nodes/s\n", nodes, best * 1000,
              static_cast<double>(nodes) / best);
  RecordProperty("nodes_per_second", static_cast<int>(static_cast<double>(nodes) / best));

  std::vector<std::size_t> counts(4);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    threads.emplace_back([&, i] {
      auto own = elementValue(accessibility_->application(child->pid), "AXFocusedWindow");
      if (own) counts[i] = walk(*own, 1.0).nodes.size();
    });
  }
  for (auto& thread : threads)
    thread.join();
  for (std::size_t count : counts)
    EXPECT_EQ(count, nodes);
}

}  // namespace
}  // namespace tovrel::desktoptest
