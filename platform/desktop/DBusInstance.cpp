#include "platform/desktop/DBusInstance.hpp"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVirtualObject>
#include <QMetaObject>
#include <QVariantMap>

#include <utility>

namespace tovrel::platform::desktop {

namespace {

constexpr char startupIdKey[] = "desktop-startup-id";

}  // namespace

// Serves Activate(a{sv}) by hand, since the project builds without moc. Other members of the
// interface are not offered: answering them would promise behaviour the program does not have.
class DBusInstance::ApplicationObject : public QDBusVirtualObject {
 public:
  explicit ApplicationObject(std::function<void(const std::string&)> activated)
      : activated_(std::move(activated)) {}

  QString introspect(const QString&) const override {
    return QStringLiteral(
        "  <interface name=\"org.freedesktop.Application\">\n"
        "    <method name=\"Activate\">\n"
        "      <arg type=\"a{sv}\" name=\"platform_data\" direction=\"in\"/>\n"
        "    </method>\n"
        "  </interface>\n");
  }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.type() != QDBusMessage::MethodCallMessage ||
        message.interface() != QLatin1String(applicationInterface) ||
        message.member() != QLatin1String("Activate")) {
      // Introspection and the bus's standard interfaces are answered by Qt.
      return false;
    }
    if (message.signature() != QLatin1String("a{sv}")) {
      connection.send(message.createErrorReply(
          QDBusError::InvalidArgs,
          QStringLiteral("Activate takes one a{sv}, not \"%1\"").arg(message.signature())));
      return true;
    }
    const auto platformData = qdbus_cast<QVariantMap>(message.arguments().constFirst());
    const std::string startupId = platformData.value(startupIdKey).toString().toStdString();
    // The caller waits for the answer; what the activation does may take longer.
    connection.send(message.createReply());
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [activated = activated_, startupId] {
          if (activated) activated(startupId);
        },
        Qt::QueuedConnection);
    return true;
  }

 private:
  std::function<void(const std::string&)> activated_;
};

DBusInstance::DBusInstance(QDBusConnection connection, QString service)
    : connection_(std::move(connection)), service_(std::move(service)) {}

DBusInstance::~DBusInstance() {
  release();
}

void DBusInstance::release() {
  if (!object_) return;
  connection_.unregisterObject(QString::fromLatin1(objectPath));
  if (claimed_) connection_.interface()->unregisterService(service_);
  claimed_ = false;
  object_.reset();
}

InstanceServices::Claim DBusInstance::claim(
    std::function<void(const std::string& startupId)> activated) {
  if (claimed_) return Claim::claimed;
  if (!connection_.isConnected() || connection_.interface() == nullptr) return Claim::unavailable;

  // The object is there before the name, so the first Activate after the claim finds it.
  object_ = std::make_unique<ApplicationObject>(std::move(activated));
  if (!connection_.registerVirtualObject(QString::fromLatin1(objectPath), object_.get())) {
    object_.reset();
    return Claim::unavailable;
  }
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
      connection_.interface()->registerService(service_, QDBusConnectionInterface::DontQueueService,
                                               QDBusConnectionInterface::DontAllowReplacement);
  if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
    claimed_ = true;
    return Claim::claimed;
  }
  release();
  // A bus that refuses to answer leaves the rule unapplied; a plain "no" means someone has it.
  if (!reply.isValid()) return Claim::unavailable;
  return Claim::otherRunning;
}

bool DBusInstance::activateOther(const std::string& startupId) {
  if (!connection_.isConnected()) return false;
  QDBusMessage call =
      QDBusMessage::createMethodCall(service_, QString::fromLatin1(objectPath),
                                     QString::fromLatin1(applicationInterface), "Activate");
  QVariantMap platformData;
  if (!startupId.empty()) platformData.insert(startupIdKey, QString::fromStdString(startupId));
  call << platformData;
  const QDBusMessage answer = connection_.call(call, QDBus::Block, activateTimeoutMs);
  return answer.type() == QDBusMessage::ReplyMessage;
}

}  // namespace tovrel::platform::desktop
