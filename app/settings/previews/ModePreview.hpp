#pragma once

// The small animated picture at the foot of a mode's entry section: what the mode does, with key
// caps that light up as the picture moves. Drawn from the mode, the key captions, the size and an
// instant only, so the same painter renders still frames with no window at all.

#include <QPalette>
#include <QSizeF>
#include <QTimer>
#include <QWidget>
#include <optional>

#include "app/settings/previews/ModePreviewGeometry.hpp"
#include "core/InteractionMode.hpp"

class QPainter;

namespace tovrel::settings {

// One frame at instant `t` (seconds) in a `size` area from (0, 0): the Scrolling picture for
// scroll, the Moving one for cursor, the Clicking one otherwise.
void paintModePreview(QPainter& painter, QSizeF size, InteractionMode mode, const PreviewKeys& keys,
                      double t, const QPalette& palette);

// The picture as a widget 92 high, hidden from accessibility. It redraws at most 30 times a
// second while shown, and not at all while reduce motion is on or a fixed time is set.
class ModePreview : public QWidget {
 public:
  using Keys = PreviewKeys;

  static constexpr int previewHeight = 92;

  ModePreview(InteractionMode mode, Keys keys, std::optional<double> time, bool reduceMotion,
              QWidget* parent = nullptr);

  InteractionMode mode() const { return mode_; }
  const Keys& keys() const { return keys_; }
  std::optional<double> time() const { return time_; }
  bool reduceMotion() const { return reduceMotion_; }

  void setMode(InteractionMode mode);
  void setKeys(Keys keys);
  void setTime(std::optional<double> time);
  void setReduceMotion(bool reduceMotion);

  // Whether the picture moves now: shown, with no fixed time and without reduce motion.
  bool isAnimating() const { return timer_.isActive(); }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void followChanges();

  InteractionMode mode_;
  Keys keys_;
  std::optional<double> time_;
  bool reduceMotion_;
  QTimer timer_;
};

}  // namespace tovrel::settings
