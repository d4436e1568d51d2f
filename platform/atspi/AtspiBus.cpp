#include "platform/atspi/AtspiBus.hpp"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <deque>

#include "platform/atspi/AtspiRoles.hpp"

namespace tovrel::platform::atspi {
namespace {

constexpr double reconnectInterval = 2.0;  // seconds between attempts to reach a missing bus
constexpr double refreshInterval = 0.5;    // seconds between registry refreshes on misses
constexpr double addressTimeout = 1.0;     // seconds the session bus may take to name the bus
// Calls in flight at once. Each call's time-out runs from its own sending, so a bounded window
// keeps every call's wait short however many a batch holds (an application answers some
// 30,000 a second), far inside the bus's per-connection reply limit, while still keeping the
// application busy.
constexpr std::size_t maxInFlight = 512;

const QString dbusService = QStringLiteral("org.freedesktop.DBus");
const QString dbusPath = QStringLiteral("/org/freedesktop/DBus");
const QString dbusInterface = QStringLiteral("org.freedesktop.DBus");

QString accessibilityBusAddress() {
  QDBusConnection session = QDBusConnection::sessionBus();
  if (session.isConnected()) {
    auto request = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
    const QDBusMessage reply =
        session.call(request, QDBus::Block, timeoutMilliseconds(addressTimeout));
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
      const QString address = reply.arguments().constFirst().toString();
      if (!address.isEmpty()) return address;
    }
  }
  return QString::fromLocal8Bit(qgetenv("AT_SPI_BUS_ADDRESS"));
}

AXError replyError(const QDBusMessage& reply) {
  if (reply.type() == QDBusMessage::ReplyMessage) return AXError::success;
  if (reply.type() == QDBusMessage::ErrorMessage)
    return errorFromDBus(reply.errorName().toStdString());
  return AXError::failure;
}

// The QDBusArgument inside `value` when its signature is `signature`.
std::optional<QDBusArgument> argumentOf(const QVariant& value, const char* signature) {
  if (value.metaType() != QMetaType::fromType<QDBusArgument>()) return std::nullopt;
  auto argument = value.value<QDBusArgument>();
  if (argument.currentSignature() != QLatin1String(signature)) return std::nullopt;
  return argument;
}

ObjectRef readReference(const QDBusArgument& argument) {
  ObjectRef ref;
  QDBusObjectPath path;
  argument.beginStructure();
  argument >> ref.bus >> path;
  argument.endStructure();
  ref.path = path.path();
  return ref;
}

}  // namespace

double monotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int timeoutMilliseconds(double seconds) {
  if (!std::isfinite(seconds) || seconds <= 0) return 1;
  return static_cast<int>(std::clamp(std::ceil(seconds * 1000.0), 1.0, 600000.0));
}

// ── Bus ──

Bus::Bus() {
  static std::atomic<int> counter{0};
  connectionName_ = QStringLiteral("tovrel-atspi-%1").arg(counter.fetch_add(1));
  std::lock_guard lock(connectionMutex_);
  connectLocked();
}

Bus::~Bus() {
  std::lock_guard lock(connectionMutex_);
  connection_.reset();
  QDBusConnection::disconnectFromBus(connectionName_);
}

void Bus::connectLocked() {
  lastAttempt_ = monotonicSeconds();
  const QString address = accessibilityBusAddress();
  if (address.isEmpty()) return;
  QDBusConnection::disconnectFromBus(connectionName_);
  QDBusConnection connection = QDBusConnection::connectToBus(address, connectionName_);
  if (!connection.isConnected()) return;
  connection_ = connection;
  // An ATK bridge (GTK 3, the browsers) answers for a whole window in one reply of its cache only
  // while some client listens for an event, as every screen reader does: listen for one that
  // plain use of an application seldom raises (a document turning its page). Its signals never
  // reach this connection, which matches none. Sent, not called, like the greetings below.
  auto listen = QDBusMessage::createMethodCall(
      QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/registry"),
      QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("RegisterEvent"));
  listen.setArguments({QStringLiteral("document:page-changed"), QStringList(), QString()});
  connection.send(listen);
}

std::optional<QDBusConnection> Bus::connection() {
  std::lock_guard lock(connectionMutex_);
  if (connection_ && !connection_->isConnected()) connection_.reset();
  if (!connection_ && monotonicSeconds() - lastAttempt_ >= reconnectInterval) connectLocked();
  return connection_;
}

std::optional<QString> Bus::busNameOf(std::int32_t pid, double timeout, AXError& error) {
  auto lookUp = [&]() -> std::optional<QString> {
    std::lock_guard lock(cacheMutex_);
    for (const auto& [name, owner] : applications_) {
      if (owner == pid) return name;
    }
    return std::nullopt;
  };
  if (auto found = lookUp()) return found;
  std::lock_guard refreshing(refreshMutex_);
  if (auto found = lookUp()) return found;  // another thread refreshed meanwhile
  error = AXError::invalidUIElement;
  bool due = false;
  {
    std::lock_guard lock(cacheMutex_);
    due = monotonicSeconds() - lastRefresh_ >= refreshInterval;
    // Until the next refresh, a registry that did not answer keeps saying so.
    if (!due && lastRefreshError_ == AXError::cannotComplete) error = AXError::cannotComplete;
  }
  if (!due) return std::nullopt;
  refresh(timeout, error);
  {
    std::lock_guard lock(cacheMutex_);
    lastRefreshError_ = error;
  }
  if (auto found = lookUp()) {
    error = AXError::success;
    return found;
  }
  return std::nullopt;
}

void Bus::refresh(double timeout, AXError& error) {
  {
    std::lock_guard lock(cacheMutex_);
    lastRefresh_ = monotonicSeconds();
  }
  AXError listError = AXError::success;
  const QVariant listed = callOnce(*this, {QStringLiteral("org.a11y.atspi.Registry"), rootPath},
                                   QStringLiteral("org.a11y.atspi.Accessible"),
                                   QStringLiteral("GetChildren"), {}, timeout, listError);
  const auto children = listError == AXError::success ? decodeReferences(listed) : std::nullopt;
  if (!children) {
    error =
        listError == AXError::cannotComplete ? AXError::cannotComplete : AXError::invalidUIElement;
    return;
  }

  std::vector<QString> unknown;
  {
    std::lock_guard lock(cacheMutex_);
    for (const auto& child : *children) {
      if (!pids_.count(child.bus)) unknown.push_back(child.bus);
    }
  }
  Batch batch(*this, timeout);
  for (const auto& name : unknown)
    batch.add(dbusService, dbusPath, dbusInterface, QStringLiteral("GetConnectionUnixProcessID"),
              {name});
  batch.run();
  if (batch.overall() == AXError::cannotComplete) error = AXError::cannotComplete;

  greet(unknown);

  std::lock_guard lock(cacheMutex_);
  for (std::size_t i = 0; i < unknown.size(); ++i) {
    if (batch.error(static_cast<int>(i)) != AXError::success) continue;
    bool ok = false;
    const uint pid = batch.argument(static_cast<int>(i)).toUInt(&ok);
    if (ok) pids_[unknown[i]] = static_cast<std::int32_t>(pid);
  }
  applications_.clear();
  for (const auto& child : *children) {
    auto found = pids_.find(child.bus);
    if (found != pids_.end()) applications_.emplace_back(child.bus, found->second);
  }
  // Connections that left the registry are forgotten, so the tables do not grow for ever.
  const auto gone = [&](const QString& name) {
    return std::none_of(children->begin(), children->end(),
                        [&](const ObjectRef& child) { return child.bus == name; });
  };
  std::erase_if(pids_, [&](const auto& entry) { return gone(entry.first); });
  std::erase_if(greeted_, gone);
}

void Bus::greet(const std::vector<QString>& applications) {
  std::vector<QString> fresh;
  {
    std::lock_guard lock(cacheMutex_);
    for (const auto& name : applications) {
      if (greeted_.insert(name).second) fresh.push_back(name);
    }
  }
  if (fresh.empty()) return;
  auto bus = connection();
  if (!bus) return;
  // Sent, not called: the reply is never waited for, and QtDBus drops it (it has no way to mark a
  // call as wanting none).
  for (const auto& name : fresh)
    bus->send(QDBusMessage::createMethodCall(name, rootPath,
                                             QStringLiteral("org.a11y.atspi.Application"),
                                             QStringLiteral("GetApplicationBusAddress")));
}

std::optional<std::int32_t> Bus::pidOf(const QString& busName, double timeout) {
  {
    std::lock_guard lock(cacheMutex_);
    auto found = pids_.find(busName);
    if (found != pids_.end()) return found->second;
  }
  AXError error = AXError::success;
  const QVariant answer =
      callOnce(*this, {dbusService, dbusPath}, dbusInterface,
               QStringLiteral("GetConnectionUnixProcessID"), {busName}, timeout, error);
  bool ok = false;
  const uint pid = answer.toUInt(&ok);
  if (error != AXError::success || !ok) return std::nullopt;
  std::lock_guard lock(cacheMutex_);
  pids_[busName] = static_cast<std::int32_t>(pid);
  return static_cast<std::int32_t>(pid);
}

void Bus::forget(const QString& busName) {
  std::lock_guard lock(cacheMutex_);
  pids_.erase(busName);
  std::erase_if(applications_, [&](const auto& entry) { return entry.first == busName; });
}

// ── Batch ──

int Batch::add(const QString& service, const QString& path, const QString& interface,
               const QString& method, const QVariantList& arguments) {
  auto message = QDBusMessage::createMethodCall(service, path, interface, method);
  if (!arguments.isEmpty()) message.setArguments(arguments);
  requests_.push_back(std::move(message));
  return static_cast<int>(requests_.size() - 1);
}

void Batch::run() {
  replies_.assign(requests_.size(), QDBusMessage());
  errors_.assign(requests_.size(), AXError::cannotComplete);
  overall_ = AXError::success;
  if (requests_.empty()) return;
  const auto connection = bus_.connection();
  if (!connection) {
    overall_ = AXError::cannotComplete;
    return;
  }
  const int milliseconds = timeoutMilliseconds(timeout_);
  std::deque<std::pair<std::size_t, QDBusPendingCall>> inFlight;
  std::size_t next = 0;
  while (next < requests_.size() || !inFlight.empty()) {
    while (next < requests_.size() && inFlight.size() < maxInFlight &&
           overall_ != AXError::cannotComplete) {
      inFlight.emplace_back(next, connection->asyncCall(requests_[next], milliseconds));
      ++next;
    }
    if (inFlight.empty()) break;  // the rest stays unsent: the application stopped answering
    auto [index, pending] = std::move(inFlight.front());
    inFlight.pop_front();
    pending.waitForFinished();
    replies_[index] = pending.reply();
    errors_[index] = replyError(replies_[index]);
    if (errors_[index] == AXError::cannotComplete) overall_ = AXError::cannotComplete;
  }
}

QVariant Batch::argument(int index, int position) const {
  const auto& reply = replies_.at(static_cast<std::size_t>(index));
  const auto arguments = reply.arguments();
  if (position < 0 || position >= arguments.size()) return {};
  return arguments.at(position);
}

// ── Pipeline ──

void Pipeline::add(const ObjectRef& ref, const QString& interface, const QString& method,
                   const QVariantList& arguments, Handler handler) {
  auto message = QDBusMessage::createMethodCall(ref.bus, ref.path, interface, method);
  if (!arguments.isEmpty()) message.setArguments(arguments);
  unsent_.emplace_back(std::move(message), std::move(handler));
}

AXError Pipeline::run() {
  const auto connection = bus_.connection();
  if (!connection) {
    unsent_.clear();
    return AXError::cannotComplete;
  }
  const int milliseconds = timeoutMilliseconds(timeout_);
  AXError overall = AXError::success;
  std::deque<std::pair<QDBusPendingCall, Handler>> inFlight;
  while (true) {
    if (!unsent_.empty() && monotonicSeconds() > sendUntil_) {
      stoppedSending_ = true;
      unsent_.clear();
    }
    while (!unsent_.empty() && inFlight.size() < maxInFlight && overall == AXError::success) {
      auto [message, handler] = std::move(unsent_.front());
      unsent_.pop_front();
      inFlight.emplace_back(connection->asyncCall(message, milliseconds), std::move(handler));
    }
    if (inFlight.empty()) break;
    auto [pending, handler] = std::move(inFlight.front());
    inFlight.pop_front();
    pending.waitForFinished();
    const QDBusMessage reply = pending.reply();
    const AXError error = replyError(reply);
    if (error == AXError::cannotComplete) overall = AXError::cannotComplete;
    if (handler) handler(error, reply);
  }
  unsent_.clear();
  return overall;
}

QVariant callOnce(Bus& bus, const ObjectRef& ref, const QString& interface, const QString& method,
                  const QVariantList& arguments, double timeout, AXError& error) {
  Batch batch(bus, timeout);
  batch.add(ref, interface, method, arguments);
  batch.run();
  error = batch.error(0);
  return error == AXError::success ? batch.argument(0) : QVariant();
}

// ── Decoding ──

std::optional<std::vector<ObjectRef>> decodeReferences(const QVariant& value) {
  auto argument = argumentOf(value, "a(so)");
  if (!argument) return std::nullopt;
  const QDBusArgument& in = *argument;
  std::vector<ObjectRef> refs;
  in.beginArray();
  while (!in.atEnd())
    refs.push_back(readReference(in));
  in.endArray();
  return refs;
}

std::optional<ObjectRef> decodeReference(const QVariant& value) {
  auto argument = argumentOf(value, "(so)");
  if (!argument) return std::nullopt;
  const QDBusArgument& in = *argument;
  return readReference(in);
}

std::optional<std::vector<std::uint32_t>> decodeUints(const QVariant& value) {
  auto argument = argumentOf(value, "au");
  if (!argument) return std::nullopt;
  const QDBusArgument& in = *argument;
  std::vector<std::uint32_t> out;
  in.beginArray();
  while (!in.atEnd()) {
    uint word = 0;
    in >> word;
    out.push_back(word);
  }
  in.endArray();
  return out;
}

std::optional<std::vector<std::string>> decodeStrings(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QStringList>()) {
    std::vector<std::string> out;
    for (const auto& item : value.toStringList())
      out.push_back(item.toStdString());
    return out;
  }
  auto argument = argumentOf(value, "as");
  if (!argument) return std::nullopt;
  const QDBusArgument& in = *argument;
  std::vector<std::string> out;
  in.beginArray();
  while (!in.atEnd()) {
    QString item;
    in >> item;
    out.push_back(item.toStdString());
  }
  in.endArray();
  return out;
}

std::optional<std::vector<std::string>> decodeActionNames(const QVariant& value) {
  auto argument = argumentOf(value, "a(sss)");
  if (!argument) return std::nullopt;
  const QDBusArgument& in = *argument;
  std::vector<std::string> out;
  in.beginArray();
  while (!in.atEnd()) {
    QString name;
    QString description;
    QString keys;
    in.beginStructure();
    in >> name >> description >> keys;
    in.endStructure();
    out.push_back(name.toStdString());
  }
  in.endArray();
  return out;
}

std::optional<std::map<std::string, std::string>> decodeStringMap(const QVariant& value) {
  auto argument = argumentOf(value, "a{ss}");
  if (!argument) return std::nullopt;
  const QDBusArgument& in = *argument;
  std::map<std::string, std::string> out;
  in.beginMap();
  while (!in.atEnd()) {
    QString key;
    QString item;
    in.beginMapEntry();
    in >> key >> item;
    in.endMapEntry();
    out[key.toStdString()] = item.toStdString();
  }
  in.endMap();
  return out;
}

std::optional<Extents> decodeExtents(const QVariant& value) {
  auto argument = argumentOf(value, "(iiii)");
  if (!argument) return std::nullopt;
  const QDBusArgument& in = *argument;
  Extents extents;
  in.beginStructure();
  in >> extents.x >> extents.y >> extents.width >> extents.height;
  in.endStructure();
  return extents;
}

std::optional<std::vector<ObjectRef>> decodeRelationTargets(const QVariant& value,
                                                            std::uint32_t type) {
  auto argument = argumentOf(value, "a(ua(so))");
  if (!argument) return std::nullopt;
  const QDBusArgument& in = *argument;
  std::optional<std::vector<ObjectRef>> found;
  in.beginArray();
  while (!in.atEnd()) {
    uint relation = 0;
    std::vector<ObjectRef> targets;
    in.beginStructure();
    in >> relation;
    in.beginArray();
    while (!in.atEnd())
      targets.push_back(readReference(in));
    in.endArray();
    in.endStructure();
    if (relation == type && !found) found = std::move(targets);
  }
  in.endArray();
  if (!found) found.emplace();
  return found;
}

std::optional<std::vector<CacheItem>> decodeCacheItems(const QVariant& value) {
  auto argument = argumentOf(value, "a((so)(so)(so)iiassusau)");
  if (!argument) return std::nullopt;
  const QDBusArgument& in = *argument;
  std::vector<CacheItem> items;
  in.beginArray();
  while (!in.atEnd()) {
    CacheItem item;
    QString name;
    QString description;
    in.beginStructure();
    item.ref = readReference(in);
    readReference(in);  // its application
    item.parent = readReference(in);
    in >> item.index >> item.childCount;
    in.beginArray();
    while (!in.atEnd()) {
      QString interface;
      in >> interface;
      item.interfaces.push_back(interface.toStdString());
    }
    in.endArray();
    uint role = 0;
    in >> name >> role >> description;
    item.role = role;
    in.beginArray();
    while (!in.atEnd()) {
      uint word = 0;
      in >> word;
      item.states.push_back(word);
    }
    in.endArray();
    in.endStructure();
    item.name = name.toStdString();
    item.description = description.toStdString();
    items.push_back(std::move(item));
  }
  in.endArray();
  return items;
}

QVariant unwrapVariant(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QDBusVariant>())
    return value.value<QDBusVariant>().variant();
  return value;
}

}  // namespace tovrel::platform::atspi
