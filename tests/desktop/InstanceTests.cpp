// One instance per session over the real session bus: a second claim finds the name taken, and its
// request to show the first reaches the first's main thread with the startup id.

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QThread>

#include <unistd.h>

#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/desktop/DBusInstance.hpp"
#include "tests/desktop/QtTestApp.hpp"

namespace tovrel::desktoptest {
namespace {

using platform::InstanceServices;
using platform::desktop::DBusInstance;
using Claim = InstanceServices::Claim;

struct Activation {
  std::string startupId;
  bool onMainThread;
};

class InstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (display == nullptr || *display == '\0' || bus == nullptr || *bus == '\0') {
      GTEST_SKIP() << "needs a display and a session bus (run inside scripts/desktop.sh)";
    }
    qtApp();
    if (!QDBusConnection::sessionBus().isConnected()) GTEST_SKIP() << "no session bus";
    // A name of this test's own, so that a real instance on the bus is never disturbed.
    service_ = QStringLiteral("local.tovrel.InstanceTest.p%1").arg(::getpid());
  }

  // Another client of the bus, as a later launch would be.
  QDBusConnection otherConnection(const char* name) {
    auto connection = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
    names_.push_back(name);
    return connection;
  }

  void TearDown() override {
    for (const auto& name : names_)
      QDBusConnection::disconnectFromBus(name);
  }

  // Runs `call` on another thread while this one serves the bus, as the instance's main loop does.
  template <typename Call>
  auto whileServing(Call call) {
    auto answer = std::async(std::launch::async, call);
    EXPECT_TRUE(pumpUntil(
        [&] { return answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    return answer.get();
  }

  auto recorder() {
    return [this](const std::string& id) {
      activations_.push_back({id, QThread::currentThread() == qApp->thread()});
    };
  }

  QString service_;
  std::vector<QString> names_;
  std::vector<Activation> activations_;
};

TEST_F(InstanceTest, ASecondLaunchFindsTheFirstAndAsksItToShowItself) {
  auto first = std::make_unique<DBusInstance>(QDBusConnection::sessionBus(), service_);
  ASSERT_EQ(first->claim(recorder()), Claim::claimed);

  DBusInstance second(otherConnection("tovrel-second-launch"), service_);
  bool secondActivated = false;
  EXPECT_EQ(second.claim([&](const std::string&) { secondActivated = true; }), Claim::otherRunning);

  EXPECT_TRUE(whileServing([&] { return second.activateOther("tovrel-test_TIME1234"); }));
  EXPECT_TRUE(whileServing([&] { return second.activateOther(""); }));
  ASSERT_TRUE(pumpUntil([&] { return activations_.size() >= 2; }));
  EXPECT_EQ(activations_[0].startupId, "tovrel-test_TIME1234");
  EXPECT_EQ(activations_[1].startupId, "");
  EXPECT_TRUE(activations_[0].onMainThread && activations_[1].onMainThread);
  EXPECT_FALSE(secondActivated);

  // Once the first is gone the name is free: nobody answers, and the next launch is the instance.
  first.reset();
  EXPECT_FALSE(second.activateOther("late"));
  EXPECT_EQ(second.claim(recorder()), Claim::claimed);
  EXPECT_EQ(activations_.size(), 2u);
}

TEST_F(InstanceTest, TheObjectDescribesActivateAndRefusesMalformedCalls) {
  DBusInstance first(QDBusConnection::sessionBus(), service_);
  ASSERT_EQ(first.claim(recorder()), Claim::claimed);
  QDBusConnection other = otherConnection("tovrel-inspector");

  const QDBusMessage introspection = whileServing([&] {
    return other.call(
        QDBusMessage::createMethodCall(service_, DBusInstance::objectPath,
                                       "org.freedesktop.DBus.Introspectable", "Introspect"),
        QDBus::Block, 5000);
  });
  ASSERT_EQ(introspection.type(), QDBusMessage::ReplyMessage)
      << introspection.errorMessage().toStdString();
  const QString xml = introspection.arguments().value(0).toString();
  EXPECT_TRUE(xml.contains("org.freedesktop.Application")) << xml.toStdString();
  EXPECT_TRUE(xml.contains("platform_data")) << xml.toStdString();

  QDBusMessage wrong = QDBusMessage::createMethodCall(
      service_, DBusInstance::objectPath, DBusInstance::applicationInterface, "Activate");
  wrong << QStringLiteral("not a dictionary");
  const QDBusMessage refusal = whileServing([&] { return other.call(wrong, QDBus::Block, 5000); });
  EXPECT_EQ(refusal.type(), QDBusMessage::ErrorMessage);
  EXPECT_EQ(refusal.errorName(), "org.freedesktop.DBus.Error.InvalidArgs");
  // A good call after the refused one: once it arrives, the refused one has had its chance.
  EXPECT_TRUE(whileServing([&] { return DBusInstance(other, service_).activateOther("after"); }));
  ASSERT_TRUE(pumpUntil([&] { return !activations_.empty(); }));
  ASSERT_EQ(activations_.size(), 1u);
  EXPECT_EQ(activations_[0].startupId, "after");
}

TEST_F(InstanceTest, WithoutABusTheRuleCannotBeApplied) {
  DBusInstance detached(QDBusConnection(QStringLiteral("tovrel-never-connected")), service_);
  EXPECT_EQ(detached.claim(recorder()), Claim::unavailable);
  EXPECT_FALSE(detached.activateOther("id"));
}

}  // namespace
}  // namespace tovrel::desktoptest
