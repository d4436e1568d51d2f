#include "platform/x11/overlay/QtOverlayPanel.hpp"

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QScreen>
#include <QSurfaceFormat>
#include <QVariantAnimation>

#include "platform/x11/overlay/QtOverlayDrawing.hpp"

// After Qt: X's headers define macros (None, Bool, …) that break Qt's.
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <string>

namespace tovrel::platform::x11 {

namespace {

// Qt's own connection to the X server; none on other platforms.
Display* qtDisplay() {
  auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  auto* x11 = application != nullptr
                  ? application->nativeInterface<QNativeInterface::QX11Application>()
                  : nullptr;
  return x11 != nullptr ? x11->display() : nullptr;
}

// Sends what Qt has queued for the server now: the main loop may not do so before it sleeps.
void flushRequests() {
  if (Display* display = qtDisplay()) XFlush(display);
}

// Where a frame in global points lies in root pixels, edges rounded on their own so that
// neighbouring frames stay neighbours; nothing for frames that cover no whole pixel.
std::optional<QRect> pixelsOf(const Rect& frame) {
  constexpr double limit = 1e8;
  for (double value : {frame.x, frame.y, frame.x + frame.width, frame.y + frame.height})
    if (!std::isfinite(value) || std::abs(value) > limit) return std::nullopt;
  const QScreen* primary = QGuiApplication::primaryScreen();
  const QPoint origin = primary != nullptr ? primary->geometry().topLeft() : QPoint();
  const auto left = static_cast<int>(std::lround(frame.x));
  const auto top = static_cast<int>(std::lround(frame.y));
  const auto right = static_cast<int>(std::lround(frame.x + frame.width));
  const auto bottom = static_cast<int>(std::lround(frame.y + frame.height));
  if (right - left < 1 || bottom - top < 1) return std::nullopt;
  return QRect(left + origin.x(), top + origin.y(), right - left, bottom - top);
}

double clampAlpha(double alpha, double fallback) {
  return std::isnan(alpha) ? fallback : std::clamp(alpha, 0.0, 1.0);
}

}  // namespace

bool compositingManagerRunning() {
  Display* display = qtDisplay();
  if (display == nullptr) return false;
  const std::string selection = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
  const Atom atom = XInternAtom(display, selection.c_str(), False);
  return XGetSelectionOwner(display, atom) != 0;
}

bool translucencyWorks() {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return true;
  // Asking the server waits for everything sent before to be done (the last shape, the last
  // raise): once a second is soon enough to notice a compositing manager come or go.
  using Clock = std::chrono::steady_clock;
  static std::optional<Clock::time_point> asked;
  static bool running = false;
  const Clock::time_point now = Clock::now();
  if (!asked || now - *asked >= std::chrono::seconds(1)) {
    running = compositingManagerRunning();
    asked = now;
  }
  return running;
}

class QtOverlayPanel::Surface : public QRasterWindow {
 public:
  Surface() {
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
             Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
             Qt::NoDropShadowWindowHint | Qt::X11BypassWindowManagerHint);
    QSurfaceFormat translucent = format();
    translucent.setAlphaBufferSize(8);
    setFormat(translucent);
    // Mapping it must not ask the window manager to activate it.
    setProperty("_q_showWithoutActivating", true);
    setProperty("tovrelOverlay", true);
    setObjectName(QStringLiteral("tovrel-overlay"));
    setTitle(QStringLiteral("Tovrel overlay"));  // for tools that list windows
  }

  overlay::Drawing drawing;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(QRect(QPoint(0, 0), size()), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    drawing.paint(painter);
  }
};

QtOverlayPanel::QtOverlayPanel(Rect contentRect, std::function<bool()> compositing)
    : surface_(std::make_unique<Surface>()),
      compositing_(std::move(compositing)),
      frame_(contentRect) {
  if (const auto pixels = pixelsOf(frame_)) surface_->setGeometry(*pixels);
  surface_->create();
}

QtOverlayPanel::~QtOverlayPanel() {
  stopAnimation();
}

QWindow& QtOverlayPanel::window() {
  return *surface_;
}

void QtOverlayPanel::setContent(OverlayContent content) {
  // The same content again changes nothing on screen.
  if (shown_ && !dirty_ && content == content_) return;
  content_ = std::move(content);
  redisplay();
}

OverlaySize QtOverlayPanel::fittingSize() {
  if (auto natural = overlay::naturalSize(content_)) return *natural;
  return {frame_.width, frame_.height};
}

void QtOverlayPanel::setFrame(Rect frame) {
  frame_ = frame;
  if (const auto pixels = pixelsOf(frame_)) surface_->setGeometry(*pixels);
  redisplay();
  flushRequests();
}

void QtOverlayPanel::redisplay() {
  // A hidden panel is laid out when it is next ordered front.
  if (shown_) {
    refresh();
  } else {
    dirty_ = true;
  }
}

void QtOverlayPanel::orderFront() {
  const bool translucent = compositing_ && compositing_();
  if (!shown_ || dirty_ || translucent != translucent_) {
    shown_ = true;
    translucent_ = translucent;
    refresh();
  }
  // Windows that bypass the window manager are not kept on top by it.
  if (surface_->isVisible()) surface_->raise();
  flushRequests();
}

void QtOverlayPanel::orderOut() {
  stopAnimation();
  shown_ = false;
  surface_->hide();
  flushRequests();
}

void QtOverlayPanel::refresh() {
  dirty_ = false;
  Surface& surface = *surface_;
  const auto pixels = pixelsOf(frame_);
  const QSizeF bounds = pixels ? QSizeF(frame_.width, frame_.height) : QSizeF();
  surface.drawing = overlay::drawing(content_, bounds);
  bool mapped = shown_ && pixels.has_value();
  if (mapped && translucent_) {
    if (!surface.mask().isEmpty()) surface.setMask(QRegion());
  } else if (mapped) {
    const QRegion shape = surface.drawing.region(pixels->size());
    // An empty mask would mean no shape at all: a window that draws nothing stays unmapped.
    mapped = !shape.isEmpty();
    if (mapped && shape != surface.mask()) surface.setMask(shape);
  }
  if (!mapped) {
    surface.hide();
    return;
  }
  if (!surface.isVisible()) surface.show();
  // Painted when the main loop next turns, however many changes come before.
  surface.update();
}

void QtOverlayPanel::applyAlpha(double alpha) {
  alpha_ = alpha;
  surface_->setOpacity(alpha);
}

void QtOverlayPanel::setAlpha(double alpha) {
  stopAnimation();
  applyAlpha(clampAlpha(alpha, alpha_));
}

void QtOverlayPanel::stopAnimation() {
  ++animationRun_;
  if (QVariantAnimation* animation = animation_) {
    animation_ = nullptr;
    animation->disconnect();
    animation->stop();
    delete animation;
  }
}

void QtOverlayPanel::animateAlpha(double target, double seconds, std::function<void()> completion) {
  stopAnimation();
  target = clampAlpha(target, alpha_);
  if (!(seconds > 0) || !std::isfinite(seconds)) {
    applyAlpha(target);
    if (completion) completion();
    return;
  }
  auto* animation = new QVariantAnimation();
  animation->setStartValue(alpha_);
  animation->setEndValue(target);
  constexpr double longest = 3600;  // an hour: anything longer is a mistake, not a fade
  animation->setDuration(
      std::max(1, static_cast<int>(std::lround(std::min(seconds, longest) * 1000))));
  const std::uint64_t run = ++animationRun_;
  QObject::connect(animation, &QVariantAnimation::valueChanged, animation,
                   [this](const QVariant& value) { applyAlpha(value.toDouble()); });
  QObject::connect(animation, &QAbstractAnimation::finished, animation,
                   [this, animation, run, target, completion = std::move(completion)]() mutable {
                     if (run != animationRun_) return;
                     // The completion may destroy this panel: nothing of it is touched afterwards.
                     auto done = std::move(completion);
                     applyAlpha(target);
                     animation_ = nullptr;
                     animation->disconnect();
                     animation->deleteLater();  // it is still sending this signal
                     if (done) done();
                   });
  animation_ = animation;
  animation->start();
}

}  // namespace tovrel::platform::x11
