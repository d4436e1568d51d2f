#include "platform/x11/overlay/QtOverlayServices.hpp"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QScreen>
#include <QVariant>

#include "platform/x11/overlay/QtOverlayDrawing.hpp"
#include "platform/x11/overlay/QtOverlayPanel.hpp"

namespace tovrel::platform::x11 {
namespace {

Rect rectOf(const QRect& rect) {
  return {static_cast<double>(rect.x()), static_cast<double>(rect.y()),
          static_cast<double>(rect.width()), static_cast<double>(rect.height())};
}

// GNOME's animation switch, read through the desktop portal; nothing when it cannot be read
// quickly. A missing session bus is not looked for (that could start one).
std::optional<bool> desktopAnimationsEnabled() {
  if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) return std::nullopt;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return std::nullopt;
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.portal.Desktop"),
      QStringLiteral("/org/freedesktop/portal/desktop"),
      QStringLiteral("org.freedesktop.portal.Settings"), QStringLiteral("Read"));
  call << QStringLiteral("org.gnome.desktop.interface") << QStringLiteral("enable-animations");
  call.setAutoStartService(false);
  constexpr int timeoutMs = 100;
  const QDBusMessage reply = bus.call(call, QDBus::Block, timeoutMs);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
    return std::nullopt;
  // The portal wraps the value in a variant, older ones twice.
  QVariant value = reply.arguments().first();
  for (int depth = 0; depth < 4 && value.userType() == qMetaTypeId<QDBusVariant>(); ++depth)
    value = qvariant_cast<QDBusVariant>(value).variant();
  if (value.userType() != QMetaType::Bool) return std::nullopt;
  return value.toBool();
}

}  // namespace

QtOverlayServices::QtOverlayServices() = default;
QtOverlayServices::~QtOverlayServices() = default;

std::unique_ptr<OverlayPanel> QtOverlayServices::createPanel(Rect contentRect) {
  return std::make_unique<QtOverlayPanel>(contentRect);
}

std::vector<Screen> QtOverlayServices::screens() {
  QScreen* primary = QGuiApplication::primaryScreen();
  if (primary == nullptr) return {};
  std::vector<QScreen*> ordered{primary};
  for (QScreen* screen : QGuiApplication::screens())
    if (screen != primary) ordered.push_back(screen);
  const QPoint origin = primary->geometry().topLeft();
  std::vector<Screen> result;
  result.reserve(ordered.size());
  for (QScreen* screen : ordered)
    result.push_back({rectOf(screen->geometry().translated(-origin)),
                      rectOf(screen->availableGeometry().translated(-origin))});
  return result;
}

double QtOverlayServices::labelWidth(std::string_view text, double fontSize) {
  return overlay::labelWidth(text, fontSize);
}

bool QtOverlayServices::reduceMotion() {
  if (qgetenv("TOVREL_REDUCE_MOTION") == "1") return true;
  if (!desktopReducesMotion_) {
    const std::optional<bool> animations = desktopAnimationsEnabled();
    desktopReducesMotion_ = animations.has_value() && !*animations;
  }
  return *desktopReducesMotion_;
}

std::optional<std::vector<std::uint8_t>> QtOverlayServices::renderLabelSample(
    double width, double height, const std::vector<Rect>& blocks, const HintCanvasContent& canvas) {
  return overlay::labelSample(width, height, blocks, canvas);
}

}  // namespace tovrel::platform::x11
