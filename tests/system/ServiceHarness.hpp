#pragma once

// The navigation service over the in-memory desktop, with a window into its private state.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/fake/FakeDesktop.hpp"
#include "system/NavigationService.hpp"

namespace tovrel {

// Reads and writes the service's private fields for the tests.
class NavigationServiceTestAccess {
 public:
  explicit NavigationServiceTestAccess(NavigationService& service) : s(service) {}

  NavigationRouter& router() { return s.router_; }
  CursorOutput& output() { return s.output_; }
  // Writable, so a test can tell whether a later refresh rewrote it.
  OverlayModel& overlayModel() { return s.overlayModel_; }
  HintOverlay& hints() { return s.hints_; }
  ScanProgressBar& scanBar() { return s.scanBar_; }
  PointerDot& dot() { return s.dot_; }
  ScrollOutline& scrollOutline() { return s.scrollOutline_; }
  PointerHider& clickHider() { return s.clickHider_; }
  HostedOverlay* badge() { return s.badge_.get(); }
  HostedOverlay* hud() { return s.hud_.get(); }
  HostedOverlay* help() { return s.help_.get(); }
  bool& keyDragMoved() { return s.keyDragMoved_; }
  bool& mouseDragging() { return s.mouseDragging_; }
  bool hasPendingScrollReturn() const { return s.pendingScrollReturn_.has_value(); }
  EventTap* tap() { return s.tap_.get(); }
  platform::Timer* tickTimer() { return s.tickTimer_.get(); }
  platform::Timer* watchdog() { return s.watchdog_.get(); }
  platform::Timer* labelTimer() { return s.labelTimer_.get(); }
  std::optional<double>& labelTimerDeadline() { return s.labelTimerDeadline_; }
  std::optional<double>& lastTick() { return s.lastTick_; }
  std::optional<std::int32_t>& targetPID() { return s.targetPID_; }
  std::optional<std::int32_t>& lastExternalPID() { return s.lastExternalPID_; }
  std::optional<std::string>& frontBundleID() { return s.frontBundleID_; }
  std::optional<std::string>& frontName() { return s.frontName_; }
  std::int64_t& snapshotCounter() { return s.snapshotCounter_; }
  auto& elementsBySnapshot() { return s.elementsBySnapshot_; }
  bool discoveryRunning() const { return s.discoveryTask_ && !s.discoveryTask_->cancelled; }
  bool scrollTaskRunning() const { return s.scrollTask_ && !s.scrollTask_->cancelled; }
  bool parkTaskRunning() const { return s.parkTask_ && !s.parkTask_->cancelled; }
  bool areaRefreshRunning() const { return s.areaRefresh_ && !s.areaRefresh_->cancelled; }
  std::optional<Point>& scrollHome() { return s.scrollHome_; }
  std::optional<Point>& scrollParked() { return s.scrollParked_; }
  // (point, scrolled) of the application's last spot.
  std::optional<std::pair<Point, bool>> lastSpot(std::int32_t pid) const {
    auto found = s.lastSpots_.find(pid);
    if (found == s.lastSpots_.end()) return std::nullopt;
    return std::make_pair(found->second.point, found->second.scrolled);
  }
  void setLastSpot(std::int32_t pid, Point point, bool scrolled) {
    s.lastSpots_[pid] = {point, scrolled};
  }
  std::size_t lastSpotCount() const { return s.lastSpots_.size(); }
  SystemHotKeys& secureHotKeys() { return s.secureHotKeys_; }
  platform::Timer* secureWatch() { return s.secureWatch_.get(); }
  KeyCatcher* keyCatcher() { return s.keyCatcher_.get(); }
  bool& screenshotting() { return s.screenshotting_; }
  std::size_t cachedScrollApps() const { return s.scrollAreasByApp_.size(); }
  void forgetScrollAreas() { s.scrollAreasByApp_.clear(); }
  std::optional<std::vector<HintTarget::Frame>> cachedAreas(std::int32_t pid) const {
    auto found = s.scrollAreasByApp_.find(pid);
    if (found == s.scrollAreasByApp_.end()) return std::nullopt;
    return found->second.areas;
  }
  std::size_t observerCount() const { return s.observers_.size(); }
  std::optional<std::int64_t>& emptyRetryGeneration() { return s.emptyRetryGeneration_; }
  bool& editingSettings() { return s.editingSettings_; }
  void setMessage(std::optional<std::string> text) { s.setMessage(std::move(text)); }
  const std::optional<platform::KeyInterception>& interception() const { return s.interception_; }

  // The private operations, for tests that drive one step at a time.
  void applyEffects(const NavigationEffects& effects) { s.applyEffects(effects); }
  void execute(const NavigationEffect& effect) { s.execute(effect); }
  void forceOff(const std::string& reason) { s.forceOff(reason); }
  void record(const std::string& text) { s.record(text); }
  void tick() { s.tick(); }
  void checkStillAllowed() { s.checkStillAllowed(); }
  bool handleTapEvent(platform::EventType type, const platform::InputEvent& event) {
    return s.handleTapEvent(type, event);
  }
  void frontmostChanged(std::optional<std::int32_t> pid, std::optional<std::string> id,
                        std::optional<std::string> name) {
    s.frontmostChanged(pid, id, name);
  }
  void applicationQuit(std::optional<std::int32_t> pid) { s.applicationQuit(pid); }
  void updateExclusion() { s.updateExclusion(); }
  void updateEditingState() { s.updateEditingState(); }
  void syncSecureHotKey() { s.syncSecureHotKey(); }
  void refreshOverlays() { s.refreshOverlays(); }
  void placeBadge(std::optional<Point> point = std::nullopt) { s.placeBadge(point); }
  void fillHelp() { s.fillHelp(); }
  void scheduleDiscovery(std::int64_t generation) { s.scheduleDiscovery(generation); }
  void publish(DiscoveryResult result, std::int64_t generation) {
    s.publish(std::move(result), generation);
  }
  void activate(std::size_t index, std::int64_t snapshot, std::int64_t generation,
                TargetAction action) {
    s.activate(index, snapshot, generation, action);
  }
  void complete(const AccessibilityTargets::Revalidation& revalidation,
                const std::optional<AccessibilityTargets::SemanticOutcome>& outcome,
                TargetAction action, const AXElementBox* box, std::int64_t finish) {
    s.complete(revalidation, outcome, action, box, finish);
  }
  void findScrollWindow(std::int64_t generation) { s.findScrollWindow(generation); }
  void parkPointer(double x, double y) { s.parkPointer(x, y); }
  void followScrolledAreas(std::int32_t pid) { s.followScrolledAreas(pid); }
  void showScrollOutline(bool force, bool fade) { s.showScrollOutline(force, fade); }

 private:
  NavigationService& s;
};

// A fresh desktop with one other application ("Editor", pid 200) in front, and a service built
// over it with the default settings.
class ServiceTest : public ::testing::Test {
 protected:
  static constexpr std::int32_t editorPid = 200;

  ServiceTest() {
    desktop.workspace.apps.push_back({editorPid, "org.example.Editor", "Editor", std::nullopt});
    desktop.workspace.frontmost = editorPid;
    desktop.events.pointer = {300, 400};
  }

  // Made on first use, so a test can set the desktop up first.
  NavigationService& service() {
    if (!service_) {
      service_ = std::make_unique<NavigationService>(desktop.platform, config);
      access_ = std::make_unique<NavigationServiceTestAccess>(*service_);
    }
    return *service_;
  }
  NavigationServiceTestAccess& access() {
    service();
    return *access_;
  }
  void destroyService() {
    access_.reset();
    service_.reset();
  }

  // A key event through the live tap, as the desktop would deliver it. True: swallowed.
  bool key(std::uint16_t code, bool down, std::uint64_t flags = 0) {
    platform::InputEvent event;
    event.type = down ? platform::eventType::keyDown : platform::eventType::keyUp;
    event.keyCode = code;
    event.flags = flags;
    event.location = desktop.events.pointer;
    return desktop.events.inject(event);
  }
  // A modifier key going down or up, with its family and device flags.
  bool modifier(std::uint16_t code, std::uint64_t flagsAfter) {
    platform::InputEvent event;
    event.type = platform::eventType::flagsChanged;
    event.keyCode = code;
    event.flags = flagsAfter;
    event.location = desktop.events.pointer;
    return desktop.events.inject(event);
  }
  // The default cursor entry: a lone tap of the right Option key.
  void tapRightOption() {
    using namespace platform::eventFlag;
    modifier(Key::rightOption, option | rightOption);
    modifier(Key::rightOption, 0);
  }
  bool pointer(platform::EventType type, Point at, std::int64_t button = 0) {
    platform::InputEvent event;
    event.type = type;
    event.location = at;
    event.buttonNumber = button;
    return desktop.events.inject(event);
  }

  // Log texts, oldest first.
  std::vector<std::string> logTexts() {
    std::vector<std::string> texts;
    for (const auto& entry : service().log())
      texts.push_back(entry.text);
    return texts;
  }

  platform::fake::FakeDesktop desktop;
  TovrelConfig config = TovrelConfig::defaults();

 private:
  std::unique_ptr<NavigationService> service_;
  std::unique_ptr<NavigationServiceTestAccess> access_;
};

}  // namespace tovrel
