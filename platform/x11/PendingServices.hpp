#pragma once

// TEMPORARY: stand-ins until the real backends are wired in. Deleted by then.

#include "platform/Platform.hpp"

namespace tovrel::platform::x11 {

class PendingSystemEvents : public SystemEvents {
 public:
  std::unique_ptr<Observation> observe(NotificationCenter, SystemNotification,
                                       std::function<void(const NotificationInfo&)>) override {
    return std::make_unique<Observation>();
  }
};

class PendingApplication : public ApplicationServices {
 public:
  bool isActive() override { return false; }
  bool hasKeyWindow() override { return false; }
  std::optional<FirstResponder> firstResponder() override { return std::nullopt; }
  void resignFirstResponder() override {}
  bool activate(std::int32_t) override { return false; }
  double doubleClickInterval() override { return 0.4; }
};

class PendingOverlays : public OverlayServices {
 public:
  std::unique_ptr<OverlayPanel> createPanel(Rect) override { return nullptr; }
  std::vector<Screen> screens() override { return {}; }
  double labelWidth(std::string_view, double) override { return 0; }
  bool reduceMotion() override { return false; }
  std::optional<std::vector<std::uint8_t>> renderLabelSample(double, double,
                                                             const std::vector<Rect>&,
                                                             const HintCanvasContent&) override {
    return std::nullopt;
  }
};

}  // namespace tovrel::platform::x11
