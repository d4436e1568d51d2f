#include "app/settings/previews/ModePreview.hpp"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "app/settings/Symbols.hpp"
#include "app/settings/Theme.hpp"
#include "app/settings/controls/AccessibilityHidden.hpp"
#include "platform/paint/Chip.hpp"

namespace tovrel::settings {
namespace {

QPainterPath rounded(const QRectF& rect, double radius) {
  QPainterPath path;
  path.addRoundedRect(rect, radius, radius);
  return path;
}

struct Look {
  const QPalette& palette;
  QColor mode;
  QColor of(Colour name, double opacity = 1) const { return colour(name, palette, opacity); }
};

void paintCap(QPainter& painter, const PreviewKeyCap& cap, const Look& look) {
  QRectF rect = cap.rect;
  if (cap.pressed) {
    rect.translate(0, 1);
  } else {
    painter.fillPath(rounded(rect.translated(0, 1.5), 5), QColor::fromRgbF(0, 0, 0, 0.12f));
  }
  const QPainterPath body = rounded(rect, 5);
  painter.fillPath(body, cap.pressed ? look.mode : look.of(Colour::controlBackground));
  painter.strokePath(body, QPen(cap.pressed ? look.mode : look.of(Colour::secondary, 0.35), 0.75));
  painter.setFont(fontOfSize(10, QFont::DemiBold));
  painter.setPen(cap.pressed ? QColor(Qt::white) : look.of(Colour::primary, 0.75));
  painter.drawText(rect, Qt::AlignCenter, QString::fromStdString(cap.text));
}

void paintCursor(QPainter& painter, QSizeF size, const PreviewKeys& keys, double t,
                 const Look& look) {
  const CursorFrame frame = PreviewGeometry::cursor(size, keys, t);
  if (frame.ringRadius && frame.ringOpacity > 0) {
    QColor ring = look.mode;
    ring.setAlphaF(static_cast<float>(ring.alphaF() * frame.ringOpacity));
    painter.setPen(QPen(ring, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(frame.pointer, *frame.ringRadius, *frame.ringRadius);
  }
  paintSymbol(painter, "cursorarrow", frame.pointerBox, look.of(Colour::primary));
  for (const PreviewKeyCap& cap : frame.caps)
    paintCap(painter, cap, look);
}

void paintScroll(QPainter& painter, QSizeF size, double t, const Look& look) {
  const ScrollFrame frame = PreviewGeometry::scroll(size, t);
  const QPainterPath viewport = rounded(frame.viewport, 6);
  painter.fillPath(viewport, look.of(Colour::controlBackground));
  painter.save();
  painter.setClipPath(viewport);
  for (const PreviewBar& bar : frame.bars)
    painter.fillPath(rounded(bar.rect, 2.5), look.of(Colour::secondary, bar.opacity));
  painter.restore();
  painter.strokePath(viewport, QPen(look.of(Colour::secondary, 0.3), 0.75));
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::white);
  painter.drawEllipse(frame.marker);
  painter.setBrush(look.of(Colour::blue));
  painter.drawEllipse(frame.marker.adjusted(1, 1, -1, -1));
  for (const PreviewKeyCap& cap : frame.caps)
    paintCap(painter, cap, look);
}

void paintClick(QPainter& painter, QSizeF size, double t, const Look& look) {
  const ClickFrame frame = PreviewGeometry::click(size, t);
  QColor clicked = look.mode;
  clicked.setAlphaF(0.5f);
  for (const ClickTile& tile : frame.tiles)
    painter.fillPath(rounded(tile.rect, 6),
                     tile.clicked ? clicked : look.of(Colour::secondary, 0.18));
  const paint::Type heavy = paint::type(10, QFont::ExtraBold);
  for (const ClickTile& tile : frame.tiles) {
    if (!tile.chip) continue;
    const QRectF& chip = *tile.chip;
    const QPainterPath shape = paint::calloutShape(chip, 4, 3);
    QLinearGradient fill(QPointF(chip.center().x(), chip.top()),
                         QPointF(chip.center().x(), chip.bottom()));
    fill.setColorAt(0, QColor::fromRgbF(1.0f, 0.98f, 0.77f));
    fill.setColorAt(1, QColor::fromRgbF(0.99f, 0.88f, 0.28f));
    painter.fillPath(shape, fill);
    painter.strokePath(shape, QPen(QColor::fromRgbF(0.4f, 0.4f, 0.4f), tile.typed ? 1.5 : 0.75));
    const paint::TextBlock letter =
        paint::textBlock(QString::fromStdString(tile.letter), heavy,
                         tile.typed ? QColor::fromRgbF(0, 0, 0, 0.3f) : QColor(Qt::black));
    const QPointF centre(chip.center().x(), chip.top() + 12.5);
    letter.draw(painter, centre - QPointF(letter.size.width() / 2, letter.size.height() / 2));
  }
}

}  // namespace

void paintModePreview(QPainter& painter, QSizeF size, InteractionMode mode, const PreviewKeys& keys,
                      double t, const QPalette& palette) {
  painter.save();
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  const Look look{palette, colour(modeColour(mode), palette)};
  painter.fillPath(rounded(QRectF(QPointF(0, 0), size), 10),
                   colour(modeColour(mode), palette, 0.07));
  switch (mode) {
    case InteractionMode::scroll:
      paintScroll(painter, size, t, look);
      break;
    case InteractionMode::cursor:
      paintCursor(painter, size, keys, t, look);
      break;
    default:
      paintClick(painter, size, t, look);
      break;
  }
  painter.restore();
}

ModePreview::ModePreview(InteractionMode mode, Keys keys, std::optional<double> time,
                         bool reduceMotion, QWidget* parent)
    : QWidget(parent),
      mode_(mode),
      keys_(std::move(keys)),
      time_(time),
      reduceMotion_(reduceMotion) {
  hideFromAccessibility(this);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setFixedHeight(previewHeight);
  // 34 ms keeps it under 30 frames a second.
  timer_.setInterval(34);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { update(); });
}

void ModePreview::setMode(InteractionMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  update();
}

void ModePreview::setKeys(Keys keys) {
  if (keys == keys_) return;
  keys_ = std::move(keys);
  update();
}

void ModePreview::setTime(std::optional<double> time) {
  if (time == time_) return;
  time_ = time;
  followChanges();
}

void ModePreview::setReduceMotion(bool reduceMotion) {
  if (reduceMotion == reduceMotion_) return;
  reduceMotion_ = reduceMotion;
  followChanges();
}

void ModePreview::followChanges() {
  const bool animate = isVisible() && !time_ && !reduceMotion_;
  if (animate && !timer_.isActive()) timer_.start();
  if (!animate) timer_.stop();
  update();
}

QSize ModePreview::sizeHint() const {
  return QSize(400, previewHeight);
}

QSize ModePreview::minimumSizeHint() const {
  // The key block and the smallest track or viewport beside it.
  return QSize(216, previewHeight);
}

void ModePreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const double t =
      PreviewGeometry::instant(time_, reduceMotion_, PreviewGeometry::secondsSinceReferenceDate());
  paintModePreview(painter, QSizeF(size()), mode_, keys_, t, palette());
}

void ModePreview::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  followChanges();
}

void ModePreview::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  timer_.stop();
}

}  // namespace tovrel::settings
