#pragma once

// The session's notifications, the program's own standing and the overlay windows, as a test
// plays them.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Application.hpp"
#include "platform/Overlays.hpp"
#include "platform/SystemEvents.hpp"

namespace tovrel::platform::fake {

class FakeSystemEvents : public SystemEvents {
 public:
  std::unique_ptr<Observation> observe(
      NotificationCenter center, SystemNotification notification,
      std::function<void(const NotificationInfo&)> handler) override;

  // Calls every observer of the notification, in the order they registered.
  void post(SystemNotification notification, const NotificationInfo& info = {}) override;
  // Observers registered now.
  std::size_t observerCount() const { return observers_.size(); }
  std::size_t observerCount(SystemNotification notification) const;
  // The centre each observer of the notification registered on.
  std::vector<NotificationCenter> centers(SystemNotification notification) const;

 private:
  struct Entry {
    NotificationCenter center;
    SystemNotification notification;
    std::function<void(const NotificationInfo&)> handler;
  };
  std::map<std::uint64_t, Entry> observers_;
  std::uint64_t next_ = 1;
  std::shared_ptr<std::map<std::uint64_t, Entry>*> alive_ =
      std::make_shared<std::map<std::uint64_t, Entry>*>(&observers_);
};

class FakeApplication : public ApplicationServices {
 public:
  bool isActive() override { return active; }
  bool hasKeyWindow() override { return keyWindow; }
  std::optional<FirstResponder> firstResponder() override {
    return keyWindow ? responder : std::nullopt;
  }
  void resignFirstResponder() override {
    ++resigns;
    responder.reset();
  }
  bool activate(std::int32_t pid) override {
    activations.push_back(pid);
    return activationSucceeds;
  }
  double doubleClickInterval() override { return doubleClick; }
  void completeStartup(const std::string& startupId) override {
    completedStartups.push_back(startupId);
  }
  // The rule tests rely on: a native code from 0 to 127 is the key code itself (0 is A, 53
  // Escape, 61 Right Option); any other code is a key without a code.
  std::optional<std::uint16_t> keyCodeOfOwnKeyEvent(std::uint32_t nativeScanCode) override {
    if (nativeScanCode > 127) return std::nullopt;
    return static_cast<std::uint16_t>(nativeScanCode);
  }

  bool active = false;
  bool keyWindow = false;
  std::optional<FirstResponder> responder;
  int resigns = 0;
  std::vector<std::int32_t> activations;
  bool activationSucceeds = true;
  double doubleClick = 0.5;
  std::vector<std::string> completedStartups;
};

class FakeOverlays;

// A panel that remembers everything done to it. Animations wait until the test completes them.
class FakeOverlayPanel : public OverlayPanel {
 public:
  FakeOverlayPanel(FakeOverlays& owner, Rect contentRect);
  ~FakeOverlayPanel() override;

  void setContent(OverlayContent content) override;
  const OverlayContent& content() const override { return content_; }
  OverlaySize fittingSize() override;
  void setFrame(Rect frame) override;
  Rect frame() const override { return frame_; }
  void orderFront() override;
  void orderOut() override;
  bool isVisible() const override { return visible_; }
  void redisplay() override { ++redisplays; }
  void setAlpha(double alpha) override;
  double alpha() const override { return alpha_; }
  void animateAlpha(double target, double seconds, std::function<void()> completion) override;

  // Ends a running animation as if its time were up: alpha reaches the target, the completion
  // runs. False when none runs.
  bool completeAnimation();
  bool animating() const { return animation_.has_value(); }
  double animationTarget() const { return animation_ ? animation_->target : alpha_; }
  double animationSeconds() const { return animation_ ? animation_->seconds : 0; }

  int contentSets = 0;
  int frameSets = 0;
  int ordersFront = 0;
  int ordersOut = 0;
  int redisplays = 0;

 private:
  struct Animation {
    double target = 0;
    double seconds = 0;
    std::function<void()> completion;
  };
  FakeOverlays& owner_;
  OverlayContent content_;
  Rect frame_;
  bool visible_ = false;
  double alpha_ = 1;
  std::optional<Animation> animation_;
};

class FakeOverlays : public OverlayServices {
 public:
  std::unique_ptr<OverlayPanel> createPanel(Rect contentRect) override;
  std::vector<Screen> screens() override { return screenList; }
  // Every character is `characterWidth` × fontSize / 10.5 wide.
  double labelWidth(std::string_view text, double fontSize) override;
  bool reduceMotion() override { return reducedMotion; }
  std::size_t visiblePanelCount() override { return visiblePanels().size(); }
  std::optional<std::vector<std::uint8_t>> renderLabelSample(
      double width, double height, const std::vector<Rect>& blocks,
      const HintCanvasContent& canvas) override;

  // The panels alive now, in the order they were made.
  std::vector<FakeOverlayPanel*> panels() const { return live_; }
  std::vector<FakeOverlayPanel*> visiblePanels() const;
  // Completes every running animation (also those started by completions); the number completed.
  int completeAnimations();

  std::vector<Screen> screenList;
  double characterWidth = 6;
  bool reducedMotion = false;
  // The fitting size of badge, head-up display and help content (others: the panel's frame).
  OverlaySize hostedSize{120, 24};
  int panelsCreated = 0;
  struct SampleRequest {
    double width = 0;
    double height = 0;
    std::vector<Rect> blocks;
    HintCanvasContent canvas;
  };
  std::vector<SampleRequest> samples;

 private:
  friend class FakeOverlayPanel;
  std::vector<FakeOverlayPanel*> live_;
};

}  // namespace tovrel::platform::fake
