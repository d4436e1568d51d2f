#include "platform/x11/overlay/QtMotionSetting.hpp"

#include <QAction>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QStringList>
#include <QVariant>

#include <utility>

namespace tovrel::platform::x11 {
namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString settingNamespace = QStringLiteral("org.gnome.desktop.interface");
const QString settingKey = QStringLiteral("enable-animations");
QDBusMessage readCall() {
  QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface,
                                                     QStringLiteral("Read"));
  call << settingNamespace << settingKey;
  call.setAutoStartService(false);
  return call;
}

// The portal wraps the value in a variant, older ones twice.
std::optional<bool> switchOf(const QDBusMessage& reply) {
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
    return std::nullopt;
  QVariant value = reply.arguments().first();
  for (int depth = 0; depth < 4 && value.userType() == qMetaTypeId<QDBusVariant>(); ++depth)
    value = qvariant_cast<QDBusVariant>(value).variant();
  if (value.userType() != QMetaType::Bool) return std::nullopt;
  return value.toBool();
}

}  // namespace

struct QtMotionSetting::State : std::enable_shared_from_this<State> {
  State(QDBusConnection connection, int timeoutMs)
      : bus(std::move(connection)), timeoutMs(timeoutMs) {}

  QDBusConnection bus;
  int timeoutMs;
  bool read = false;
  std::optional<bool> enabled;
  // Answers older than the latest request are dropped.
  int requests = 0;
  // The signal carries the new value, but QtDBus without generated code hands a slot only
  // what it can name: the change is taken as a nudge to read the setting again.
  QAction nudge;
  std::unique_ptr<QDBusServiceWatcher> watcher;

  void subscribe() {
    std::weak_ptr<State> weak = weak_from_this();
    const auto refresh = [weak] {
      if (auto self = weak.lock()) self->refresh();
    };
    QObject::connect(&nudge, &QAction::triggered, refresh);
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                QStringList{settingNamespace, settingKey}, QString(), &nudge, SLOT(trigger()));
    // A portal that starts after us (or again) may hold another value.
    watcher = std::make_unique<QDBusServiceWatcher>(portalService, bus,
                                                    QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(watcher.get(), &QDBusServiceWatcher::serviceRegistered, &nudge, refresh);
  }

  void refresh() {
    const int request = ++requests;
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(readCall(), timeoutMs), &nudge);
    std::weak_ptr<State> weak = weak_from_this();
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, &nudge,
                     [weak, request](QDBusPendingCallWatcher* finished) {
                       finished->deleteLater();
                       auto self = weak.lock();
                       if (!self || request != self->requests) return;
                       self->enabled = switchOf(finished->reply());
                       self->read = true;
                     });
  }
};

QtMotionSetting::QtMotionSetting(QDBusConnection bus, int timeoutMs)
    : state_(std::make_shared<State>(std::move(bus), timeoutMs)) {
  if (state_->bus.isConnected()) state_->subscribe();
}

QtMotionSetting::~QtMotionSetting() = default;

std::optional<bool> QtMotionSetting::animationsEnabled() {
  State& state = *state_;
  if (!state.bus.isConnected()) return std::nullopt;
  if (!state.read) {
    state.read = true;
    ++state.requests;  // an answer already on its way would be older than this one
    state.enabled = switchOf(state.bus.call(readCall(), QDBus::Block, state.timeoutMs));
  }
  return state.enabled;
}

}  // namespace tovrel::platform::x11
