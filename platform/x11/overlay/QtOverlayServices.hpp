#pragma once

// The overlay windows on X11 with Qt, and what goes with them: the screen list, the width of a
// label chip's text, the desktop's wish for less motion, the label sample image.

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Overlays.hpp"

namespace tovrel::platform::x11 {

class QtMotionSetting;

// Made on the main thread once the QApplication exists; main thread only.
class QtOverlayServices : public OverlayServices {
 public:
  QtOverlayServices();
  ~QtOverlayServices() override;
  QtOverlayServices(const QtOverlayServices&) = delete;
  QtOverlayServices& operator=(const QtOverlayServices&) = delete;

  std::unique_ptr<OverlayPanel> createPanel(Rect contentRect) override;
  std::size_t visiblePanelCount() override;
  // Qt's screens, the primary first, shifted so that the primary's top-left is (0, 0).
  std::vector<Screen> screens() override;
  double labelWidth(std::string_view text, double fontSize) override;
  // TOVREL_REDUCE_MOTION=1 says yes; otherwise the desktop's animation setting as it is now.
  bool reduceMotion() override;
  std::optional<std::vector<std::uint8_t>> renderLabelSample(
      double width, double height, const std::vector<Rect>& blocks,
      const HintCanvasContent& canvas) override;

 private:
  std::unique_ptr<QtMotionSetting> motion_;
};

}  // namespace tovrel::platform::x11
