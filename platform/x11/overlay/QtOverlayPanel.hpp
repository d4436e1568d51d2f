#pragma once

// One overlay window: frameless, above everything, bypassing the window manager (so it is on
// every workspace, in no task bar and over full-screen windows), never focused, transparent for
// the mouse. It is a bare window rather than a widget: a window without an accessible root is
// no child of the application in the accessibility tree, so neither assistive technology nor our
// own discovery ever sees it.
//
// Without a compositing manager a translucent window draws black wherever it is transparent;
// the window is then shaped to the parts its content draws, and left unmapped while it draws
// nothing at all.

#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Overlays.hpp"

class QVariantAnimation;
class QWindow;

namespace tovrel::platform::x11 {

// Whether a compositing manager owns this screen's selection (false without an X display).
bool compositingManagerRunning();

// Whether a transparent pixel shows what lies beneath, so that no shape is needed: with a
// compositing manager, and on any platform other than X (the offscreen one shows nothing at all).
// The X server is asked at most once a second.
bool translucencyWorks();

class QtOverlayPanel : public OverlayPanel {
 public:
  // Main thread, after the QApplication. `compositing` answers whether translucency works; it
  // is asked whenever the panel is ordered front.
  explicit QtOverlayPanel(Rect contentRect, std::function<bool()> compositing = translucencyWorks);
  ~QtOverlayPanel() override;
  QtOverlayPanel(const QtOverlayPanel&) = delete;
  QtOverlayPanel& operator=(const QtOverlayPanel&) = delete;

  void setContent(OverlayContent content) override;
  const OverlayContent& content() const override { return content_; }
  OverlaySize fittingSize() override;
  void setFrame(Rect frame) override;
  Rect frame() const override { return frame_; }
  void orderFront() override;
  void orderOut() override;
  bool isVisible() const override { return shown_; }
  void redisplay() override;
  void setAlpha(double alpha) override;
  double alpha() const override { return alpha_; }
  void animateAlpha(double target, double seconds, std::function<void()> completion) override;

  // The window showing the panel, for tests and diagnostics. It carries the dynamic property
  // "tovrelOverlay".
  QWindow& window();

 private:
  class Surface;

  void stopAnimation();
  void applyAlpha(double alpha);
  // Lays the content out again and brings the window's shape, mapping and pixels up to date.
  void refresh();

  std::unique_ptr<Surface> surface_;
  std::function<bool()> compositing_;
  OverlayContent content_;
  Rect frame_;
  bool shown_ = false;
  bool dirty_ = true;         // the content or frame changed while hidden
  bool translucent_ = false;  // what `compositing_` said last
  double alpha_ = 1;
  QPointer<QVariantAnimation> animation_;
  std::uint64_t animationRun_ = 0;
};

}  // namespace tovrel::platform::x11
