#include "platform/x11/overlay/QtOverlayServices.hpp"

#include <QDBusConnection>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include "platform/x11/overlay/QtMotionSetting.hpp"
#include "platform/x11/overlay/QtOverlayDrawing.hpp"
#include "platform/x11/overlay/QtOverlayPanel.hpp"

namespace tovrel::platform::x11 {
namespace {

Rect rectOf(const QRect& rect) {
  return {static_cast<double>(rect.x()), static_cast<double>(rect.y()),
          static_cast<double>(rect.width()), static_cast<double>(rect.height())};
}

}  // namespace

QtOverlayServices::QtOverlayServices() = default;
QtOverlayServices::~QtOverlayServices() = default;

std::unique_ptr<OverlayPanel> QtOverlayServices::createPanel(Rect contentRect) {
  return std::make_unique<QtOverlayPanel>(contentRect);
}

std::size_t QtOverlayServices::visiblePanelCount() {
  std::size_t count = 0;
  for (QWindow* window : QGuiApplication::topLevelWindows())
    if (window->isVisible() && window->property("tovrelOverlay").toBool()) ++count;
  return count;
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
  // A missing session bus is not looked for (that could start one).
  if (!motion_ && !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
    motion_ = std::make_unique<QtMotionSetting>(QDBusConnection::sessionBus());
  if (!motion_) return false;
  const std::optional<bool> animations = motion_->animationsEnabled();
  return animations.has_value() && !*animations;
}

std::optional<std::vector<std::uint8_t>> QtOverlayServices::renderLabelSample(
    double width, double height, const std::vector<Rect>& blocks, const HintCanvasContent& canvas) {
  return overlay::labelSample(width, height, blocks, canvas);
}

}  // namespace tovrel::platform::x11
