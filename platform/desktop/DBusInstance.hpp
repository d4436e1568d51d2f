#pragma once

// One instance per session over the session bus: the instance owns a well-known name and serves
// org.freedesktop.Application's Activate on its object, so a later launch can ask it to show
// itself and hand over its startup id (without which the window manager may refuse the focus).

#include <QDBusConnection>
#include <QString>

#include <memory>

#include "platform/SingleInstance.hpp"

namespace tovrel::platform::desktop {

class DBusInstance : public InstanceServices {
 public:
  static constexpr char serviceName[] = "local.tovrel.Tovrel";
  static constexpr char objectPath[] = "/local/tovrel/Tovrel";
  static constexpr char applicationInterface[] = "org.freedesktop.Application";
  // How long a later launch waits for the instance to answer.
  static constexpr int activateTimeoutMs = 2000;

  // Made on the main thread, after the Qt application; `activated` runs there too.
  explicit DBusInstance(QDBusConnection connection = QDBusConnection::sessionBus(),
                        QString service = QString::fromLatin1(serviceName));
  // Gives the name and the object back.
  ~DBusInstance() override;
  DBusInstance(const DBusInstance&) = delete;
  DBusInstance& operator=(const DBusInstance&) = delete;

  Claim claim(std::function<void(const std::string& startupId)> activated) override;
  // Blocks the calling thread until the answer or the time-out, without running its event loop.
  bool activateOther(const std::string& startupId) override;

 private:
  class ApplicationObject;

  void release();

  QDBusConnection connection_;
  QString service_;
  std::unique_ptr<ApplicationObject> object_;
  bool claimed_ = false;
};

}  // namespace tovrel::platform::desktop
