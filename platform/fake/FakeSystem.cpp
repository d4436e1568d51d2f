#include "platform/fake/FakeSystem.hpp"

#include <algorithm>

namespace tovrel::platform::fake {

namespace {

class FakeObservation : public Observation {
 public:
  FakeObservation(std::weak_ptr<void> owner, std::function<void()> remove)
      : owner_(std::move(owner)), remove_(std::move(remove)) {}
  ~FakeObservation() override {
    if (!owner_.expired()) remove_();
  }

 private:
  std::weak_ptr<void> owner_;
  std::function<void()> remove_;
};

}  // namespace

std::unique_ptr<Observation> FakeSystemEvents::observe(
    NotificationCenter center, SystemNotification notification,
    std::function<void(const NotificationInfo&)> handler) {
  const std::uint64_t token = next_++;
  observers_.emplace(token, Entry{center, notification, std::move(handler)});
  std::weak_ptr<std::map<std::uint64_t, Entry>*> weak = alive_;
  return std::make_unique<FakeObservation>(alive_, [weak, token] {
    if (auto map = weak.lock()) (*map)->erase(token);
  });
}

void FakeSystemEvents::post(SystemNotification notification, const NotificationInfo& info) {
  std::vector<std::uint64_t> tokens;
  for (const auto& [token, entry] : observers_)
    if (entry.notification == notification) tokens.push_back(token);
  for (std::uint64_t token : tokens) {
    auto found = observers_.find(token);
    if (found == observers_.end()) continue;  // removed by an earlier handler
    auto handler = found->second.handler;
    handler(info);
  }
}

std::size_t FakeSystemEvents::observerCount(SystemNotification notification) const {
  return static_cast<std::size_t>(
      std::count_if(observers_.begin(), observers_.end(),
                    [&](const auto& item) { return item.second.notification == notification; }));
}

std::vector<NotificationCenter> FakeSystemEvents::centers(SystemNotification notification) const {
  std::vector<NotificationCenter> result;
  for (const auto& [token, entry] : observers_)
    if (entry.notification == notification) result.push_back(entry.center);
  return result;
}

FakeOverlayPanel::FakeOverlayPanel(FakeOverlays& owner, Rect contentRect)
    : owner_(owner), frame_(contentRect) {
  owner_.live_.push_back(this);
}

FakeOverlayPanel::~FakeOverlayPanel() {
  std::erase(owner_.live_, this);
}

void FakeOverlayPanel::setContent(OverlayContent content) {
  content_ = std::move(content);
  ++contentSets;
}

OverlaySize FakeOverlayPanel::fittingSize() {
  if (std::holds_alternative<BadgeContent>(content_) ||
      std::holds_alternative<HudContent>(content_) || std::holds_alternative<HelpContent>(content_))
    return owner_.hostedSize;
  return {frame_.width, frame_.height};
}

void FakeOverlayPanel::setFrame(Rect frame) {
  frame_ = frame;
  ++frameSets;
}

void FakeOverlayPanel::orderFront() {
  visible_ = true;
  ++ordersFront;
}

void FakeOverlayPanel::orderOut() {
  visible_ = false;
  animation_.reset();
  ++ordersOut;
}

void FakeOverlayPanel::setAlpha(double alpha) {
  alpha_ = alpha;
  animation_.reset();
}

void FakeOverlayPanel::animateAlpha(double target, double seconds,
                                    std::function<void()> completion) {
  animation_ = Animation{target, seconds, std::move(completion)};
  if (seconds <= 0) completeAnimation();
}

bool FakeOverlayPanel::completeAnimation() {
  if (!animation_) return false;
  Animation done = std::move(*animation_);
  animation_.reset();
  alpha_ = done.target;
  if (done.completion) done.completion();
  return true;
}

std::unique_ptr<OverlayPanel> FakeOverlays::createPanel(Rect contentRect) {
  ++panelsCreated;
  return std::make_unique<FakeOverlayPanel>(*this, contentRect);
}

double FakeOverlays::labelWidth(std::string_view text, double fontSize) {
  // Characters, not bytes: labels are ASCII letters and digits, "·" is one character too.
  std::size_t characters = 0;
  for (unsigned char byte : text)
    if ((byte & 0xC0) != 0x80) ++characters;
  return static_cast<double>(characters) * characterWidth * fontSize / 10.5;
}

std::optional<std::vector<std::uint8_t>> FakeOverlays::renderLabelSample(
    double width, double height, const std::vector<Rect>& blocks, const HintCanvasContent& canvas) {
  samples.push_back({width, height, blocks, canvas});
  return std::nullopt;
}

std::vector<FakeOverlayPanel*> FakeOverlays::visiblePanels() const {
  std::vector<FakeOverlayPanel*> result;
  for (FakeOverlayPanel* panel : live_)
    if (panel->isVisible()) result.push_back(panel);
  return result;
}

int FakeOverlays::completeAnimations() {
  int completed = 0;
  for (bool any = true; any;) {
    any = false;
    for (FakeOverlayPanel* panel : panels())
      if (panel->completeAnimation()) {
        ++completed;
        any = true;
        break;  // a completion may have destroyed panels: look again
      }
  }
  return completed;
}

}  // namespace tovrel::platform::fake
