// The desktop's animation switch as the overlays see it: read from a portal on a private session
// bus, and followed when the portal reports a change or starts late.

#include <gtest/gtest.h>

#include <signal.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "platform/x11/overlay/QtMotionSetting.hpp"
#include "tests/x11/OffscreenApp.hpp"

namespace tovrel::platform::x11 {
namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
// Long enough for a loaded machine: the test's portal is never really absent.
constexpr int patientMs = 10000;

// A settings portal that knows one switch and says so when it changes. It answers from its own
// thread, as a portal in another process would while the reader blocks.
class FakePortal : public QDBusVirtualObject {
 public:
  explicit FakePortal(QDBusConnection bus) : bus_(std::move(bus)) {}

  // The switch, or -1 when the portal cannot read it.
  std::atomic<int> animations = 1;
  std::atomic<int> reads = 0;

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.interface() != settingsInterface || message.member() != QLatin1String("Read"))
      return false;
    ++reads;
    const QStringList key{message.arguments().value(0).toString(),
                          message.arguments().value(1).toString()};
    const int value = animations;
    if (value < 0 || key != QStringList{QStringLiteral("org.gnome.desktop.interface"),
                                        QStringLiteral("enable-animations")}) {
      connection.send(message.createErrorReply(
          QStringLiteral("org.freedesktop.portal.Error.NotFound"), QStringLiteral("no such key")));
      return true;
    }
    connection.send(message.createReply(QVariant::fromValue(QDBusVariant(
        QVariant::fromValue(QDBusVariant(value == 1))))));  // wrapped twice, as older portals do
    return true;
  }
  QString introspect(const QString&) const override { return {}; }

  void change(const QString& key, bool value) {
    if (key == QLatin1String("enable-animations")) animations = value ? 1 : 0;
    QDBusMessage changed =
        QDBusMessage::createSignal(portalPath, settingsInterface, QStringLiteral("SettingChanged"));
    changed << QStringLiteral("org.gnome.desktop.interface") << key
            << QVariant::fromValue(QDBusVariant(value));
    bus_.send(changed);
  }

 private:
  QDBusConnection bus_;
};

class QtMotionSettingTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(offscreenWidgetApp());
    QProcess daemon;
    daemon.start(
        QStringLiteral("dbus-daemon"),
        {QStringLiteral("--session"), QStringLiteral("--fork"), QStringLiteral("--print-address=1"),
         QStringLiteral("--print-pid=1"), QStringLiteral("--nopidfile")});
    ASSERT_TRUE(daemon.waitForFinished(10000)) << "dbus-daemon did not start";
    const QStringList lines =
        QString::fromUtf8(daemon.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << "dbus-daemon printed no address and pid";
    address_ = lines[0].trimmed();
    daemonPid_ = lines[1].trimmed().toLongLong();
    ASSERT_GT(daemonPid_, 0);
  }
  void TearDown() override {
    portalThread_.quit();
    portalThread_.wait();
    for (const QString& name : names_)
      QDBusConnection::disconnectFromBus(name);
    portal_.reset();
    if (daemonPid_ > 0) ::kill(static_cast<pid_t>(daemonPid_), SIGTERM);
  }

  QDBusConnection connect(const QString& name) {
    names_ << name;
    return QDBusConnection::connectToBus(address_, name);
  }
  // A portal on its own connection, so that its signals come from another sender.
  FakePortal* startPortal() {
    QDBusConnection bus = connect(QStringLiteral("portal"));
    auto portal = std::make_unique<FakePortal>(bus);
    if (!portalThread_.isRunning()) portalThread_.start();
    portal->moveToThread(&portalThread_);
    EXPECT_TRUE(bus.registerVirtualObject(portalPath, portal.get()));
    EXPECT_TRUE(bus.registerService(portalService));
    portal_ = std::move(portal);
    return portal_.get();
  }
  static bool pumpUntil(const std::function<bool()>& done) {
    for (QDeadlineTimer limit(10000); !limit.hasExpired();) {
      if (done()) return true;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
  }

  QString address_;
  qint64 daemonPid_ = 0;
  QStringList names_;
  QThread portalThread_;
  std::unique_ptr<FakePortal> portal_;
};

TEST_F(QtMotionSettingTest, ChangesAreSeenWithoutAskingAgain) {
  FakePortal* portal = startPortal();
  QtMotionSetting setting(connect(QStringLiteral("reader")), patientMs);
  EXPECT_EQ(setting.animationsEnabled(), true);
  EXPECT_EQ(setting.animationsEnabled(), true);
  EXPECT_EQ(portal->reads, 1);

  const struct {
    const char* key;
    bool value;
    std::optional<bool> expected;
  } steps[] = {{"enable-animations", false, false},
               {"enable-animations", true, true},
               {"enable-animations", false, false}};
  for (const auto& step : steps) {
    portal->change(QString::fromLatin1(step.key), step.value);
    EXPECT_TRUE(pumpUntil([&] { return setting.animationsEnabled() == step.expected; }))
        << step.key << " " << step.value;
  }
  // Another key of the same namespace changes nothing and costs no read.
  const int reads = portal->reads;
  portal->change(QStringLiteral("cursor-size"), true);
  portal->change(QStringLiteral("enable-animations"), true);
  ASSERT_TRUE(pumpUntil([&] { return setting.animationsEnabled() == true; }));
  EXPECT_EQ(portal->reads, reads + 1);
}

TEST_F(QtMotionSettingTest, APortalThatStartsLaterIsRead) {
  QtMotionSetting setting(connect(QStringLiteral("reader")), patientMs);
  EXPECT_EQ(setting.animationsEnabled(), std::nullopt);
  FakePortal* portal = startPortal();
  portal->animations = 0;
  EXPECT_TRUE(pumpUntil([&] { return setting.animationsEnabled() == false; }));

  // A portal that cannot read the key leaves motion as the desktop's default.
  portal->change(QStringLiteral("enable-animations"), false);
  portal->animations = -1;
  EXPECT_TRUE(pumpUntil([&] { return setting.animationsEnabled() == std::nullopt; }));
}

}  // namespace
}  // namespace tovrel::platform::x11
