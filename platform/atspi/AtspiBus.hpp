#pragma once

// The accessibility bus as the elements use it: one QtDBus connection shared by every thread,
// calls sent together and waited for together with an explicit time-out each (the D-Bus default
// of 25 s never applies), and the table of registered applications by process id.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Accessibility.hpp"

namespace tovrel::platform::atspi {

inline constexpr char rootPath[] = "/org/a11y/atspi/accessible/root";
inline constexpr char nullPath[] = "/org/a11y/atspi/null";

// One object on the accessibility bus: the unique name of its application's connection and its
// path.
struct ObjectRef {
  QString bus;
  QString path;

  bool isNull() const { return bus.isEmpty() || path.isEmpty() || path == nullPath; }
  bool isRoot() const { return path == rootPath; }
  bool operator==(const ObjectRef&) const = default;
};

double monotonicSeconds();
// Seconds → the milliseconds QtDBus wants; never 0 or negative, which would mean its default.
int timeoutMilliseconds(double seconds);

class Bus {
 public:
  Bus();
  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  // The connection, or nothing when there is no accessibility bus (tried again at most every
  // few seconds).
  std::optional<QDBusConnection> connection();

  // The bus name of the registered application of a process. On a miss the registry is asked
  // again, at most every half second; `error` says why nothing was found.
  std::optional<QString> busNameOf(std::int32_t pid, double timeout, AXError& error);
  std::optional<std::int32_t> pidOf(const QString& busName, double timeout);
  // An application that stopped answering as itself: look it up afresh next time.
  void forget(const QString& busName);

 private:
  void connectLocked();
  void refresh(double timeout, AXError& error);
  // Asks applications newly met for their bus address, as every accessibility client does when it
  // meets one, once each and with the reply left unread: Chromium keeps its windows' activity to
  // itself until it is asked.
  void greet(const std::vector<QString>& applications);

  std::mutex connectionMutex_;
  QString connectionName_;
  std::optional<QDBusConnection> connection_;
  double lastAttempt_ = -1e9;

  std::mutex refreshMutex_;  // one registry refresh at a time
  std::mutex cacheMutex_;
  std::vector<std::pair<QString, std::int32_t>> applications_;  // registry order
  std::map<QString, std::int32_t> pids_;
  std::set<QString> greeted_;  // of the applications the registry lists
  double lastRefresh_ = -1e9;
  AXError lastRefreshError_ = AXError::success;
};

// Calls sent together, answered together. Each carries the same explicit time-out; once one of
// them has gone unanswered the rest are not sent, since the application is not answering.
class Batch {
 public:
  Batch(Bus& bus, double timeout) : bus_(bus), timeout_(timeout) {}

  int add(const QString& service, const QString& path, const QString& interface,
          const QString& method, const QVariantList& arguments = {});
  int add(const ObjectRef& ref, const QString& interface, const QString& method,
          const QVariantList& arguments = {}) {
    return add(ref.bus, ref.path, interface, method, arguments);
  }
  bool empty() const { return requests_.empty(); }
  std::size_t size() const { return requests_.size(); }

  void run();

  // After run(): the reply's first argument, or the error that replaced it.
  AXError error(int index) const { return errors_.at(static_cast<std::size_t>(index)); }
  QVariant argument(int index, int position = 0) const;
  // cannotComplete when any call went unanswered or the bus is missing, else success.
  AXError overall() const { return overall_; }

 private:
  Bus& bus_;
  double timeout_;
  std::vector<QDBusMessage> requests_;
  std::vector<QDBusMessage> replies_;
  std::vector<AXError> errors_;
  AXError overall_ = AXError::success;
};

// Calls sent as soon as they are known and answered in the order they were sent, where a reply's
// handler may add further calls: a tree is read as fast as its application answers, each level
// asked for the moment its parent's answer arrives instead of after a whole level. Each call has
// the same explicit time-out; once one has gone unanswered nothing more is sent and the handlers
// of calls never sent are not run.
class Pipeline {
 public:
  using Handler = std::function<void(AXError, const QDBusMessage&)>;

  Pipeline(Bus& bus, double timeout) : bus_(bus), timeout_(timeout) {}

  // No call is sent after `seconds` of monotonicSeconds(); the calls in flight are still waited
  // for and handled.
  void sendUntil(double seconds) { sendUntil_ = seconds; }
  // After run(): whether calls were left unsent because the time to send had passed.
  bool stoppedSending() const { return stoppedSending_; }

  void add(const ObjectRef& ref, const QString& interface, const QString& method,
           const QVariantList& arguments, Handler handler);
  // Until every call, those added by handlers included, is answered or left unsent.
  // cannotComplete when a call went unanswered or the bus is missing, else success.
  AXError run();

 private:
  Bus& bus_;
  double timeout_;
  std::deque<std::pair<QDBusMessage, Handler>> unsent_;
  double sendUntil_ = std::numeric_limits<double>::infinity();
  bool stoppedSending_ = false;
};

// One blocking call with an explicit time-out; `error` is success or the reason it failed.
QVariant callOnce(Bus& bus, const ObjectRef& ref, const QString& interface, const QString& method,
                  const QVariantList& arguments, double timeout, AXError& error);

// ── Decoding replies (nothing when the reply has another shape) ──
std::optional<std::vector<ObjectRef>> decodeReferences(const QVariant& value);     // a(so)
std::optional<ObjectRef> decodeReference(const QVariant& value);                   // (so)
std::optional<std::vector<std::uint32_t>> decodeUints(const QVariant& value);      // au
std::optional<std::vector<std::string>> decodeStrings(const QVariant& value);      // as
std::optional<std::vector<std::string>> decodeActionNames(const QVariant& value);  // a(sss)
std::optional<std::map<std::string, std::string>> decodeStringMap(const QVariant& value);
struct Extents {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};
std::optional<Extents> decodeExtents(const QVariant& value);  // (iiii)
// a(ua(so)): the targets of the first relation of `type`.
std::optional<std::vector<ObjectRef>> decodeRelationTargets(const QVariant& value,
                                                            std::uint32_t type);
// One object as an application's cache describes it (Cache.GetItems).
struct CacheItem {
  ObjectRef ref;
  ObjectRef parent;
  int index = -1;  // among its parent's children
  int childCount = 0;
  std::vector<std::string> interfaces;
  std::string name;
  std::uint32_t role = 0;
  std::string description;
  std::vector<std::uint32_t> states;
};
std::optional<std::vector<CacheItem>> decodeCacheItems(
    const QVariant& value);  // a((so)(so)(so)iiassusau)
// A property's value as Properties.Get returns it (a variant inside the variant).
QVariant unwrapVariant(const QVariant& value);

}  // namespace tovrel::platform::atspi
