#pragma once

// The runtime that joins the navigation router to the desktop: it owns the pointer output, the
// event tap, the overlays, the timers, the asynchronous tasks and the activity log, carries out
// the router's effects one by one, and keeps the observable state the settings window, the status
// item and the self-test read. One per program; main thread only.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/HintTarget.hpp"
#include "core/InteractionMode.hpp"
#include "core/NavigationRouter.hpp"
#include "core/TovrelConfig.hpp"
#include "platform/Platform.hpp"
#include "system/AccessibilityTargets.hpp"
#include "system/CursorOutput.hpp"
#include "system/EventTap.hpp"
#include "system/KeyCatcher.hpp"
#include "system/Overlays.hpp"
#include "system/Permissions.hpp"
#include "system/SystemHotKeys.hpp"

namespace tovrel {

// Adopted by an input of this program that must see every key (the shortcut recorder).
using SuspendsNavigation = platform::SuspendsNavigation;

class NavigationService {
 public:
  struct LogEntry {
    std::string id;   // a random UUID, lower-case, hyphenated
    double date = 0;  // seconds since the Unix epoch
    std::string text;
    bool operator==(const LogEntry&) const = default;
  };
  struct DiscoveryStats {
    int targets = 0;
    double milliseconds = 0;
    int visitedNodes = 0;
    bool truncated = false;
    std::string scope;
    int contentTargets = 0;
    bool operator==(const DiscoveryStats&) const = default;
  };
  struct ActivationRecord {
    std::string outcome;
    bool usedPointer = false;
    bool operator==(const ActivationRecord&) const = default;
  };

  // The observable properties.
  enum class Property {
    router,
    readiness,
    tapInstalled,
    message,
    targetName,
    editingSettings,
    excludedAppInFront,
    log,
    lastDiscovery,
    lastActivation,
    emptyRetryGeneration,
  };

  static constexpr std::size_t logCapacity = 80;
  static constexpr double tickInterval = 1.0 / 120.0;
  static constexpr double maxTickStep = 0.05;
  static constexpr double watchdogInterval = 1.0;
  static constexpr double secureWatchInterval = 1.0;
  static constexpr double scrollReturnDistance = 2.0;
  // What one read of the front window for click mode may cost, and what it reads beside the
  // window as the settings ask.
  static constexpr AccessibilityTargets::Budget discoveryBudget{8000, 60, 400, 0.8};
  static AccessibilityTargets::Extras discoveryExtras(const TovrelConfig& config) {
    return {config.clickLabelsMenuBar, config.clickLabelsDock};
  }

  // Installs nothing.
  NavigationService(platform::Platform& platform, TovrelConfig config);
  ~NavigationService();
  NavigationService(const NavigationService&) = delete;
  NavigationService& operator=(const NavigationService&) = delete;

  // ── Commands of the application ──
  void start();
  void shutdown();
  void setMode(InteractionMode mode);
  void stopNavigation();
  void apply(const TovrelConfig& config);
  void recheckReadiness();

  // ── Observation ──
  // `changed` runs after every change of a property. Returns a token for removeObserver.
  std::uint64_t observe(std::function<void(Property)> changed);
  void removeObserver(std::uint64_t token);

  // ── State ──
  const NavigationRouter& router() const { return router_; }
  InteractionMode mode() const { return router_.mode(); }
  const TovrelConfig& config() const { return router_.config(); }
  const PermissionReport& readiness() const { return readiness_; }
  bool tapInstalled() const { return tapInstalled_; }
  const std::optional<std::string>& message() const { return message_; }
  const std::optional<std::string>& targetName() const { return targetName_; }
  bool editingSettings() const { return editingSettings_; }
  const std::optional<std::string>& excludedAppInFront() const { return excludedAppInFront_; }
  const std::vector<LogEntry>& log() const { return log_; }
  const std::optional<DiscoveryStats>& lastDiscovery() const { return lastDiscovery_; }
  const std::optional<ActivationRecord>& lastActivation() const { return lastActivation_; }
  // The cursor engine's move speed while it needs ticks, else 0.
  double currentSpeed() const;
  // The name of the last application in front other than this one, while it runs.
  std::optional<std::string> clickTargetCandidate();
  const OverlayModel& overlayModel() const { return overlayModel_; }
  // The installed tap's port, for tests that read its own counters; null while none is installed.
  const platform::TapPort* tapPort() const { return tap_ ? tap_->port.get() : nullptr; }

 private:
  friend class NavigationServiceTestAccess;

  struct Spot {
    Point point;
    bool scrolled = false;
    bool operator==(const Spot&) const = default;
  };
  struct ScrollReturn {
    Point home;
    Point parked;
  };
  struct CachedScrollContext {
    std::optional<HintTarget::Frame> window;
    std::vector<HintTarget::Frame> areas;
  };
  // What the outlines last showed; the areas are part of it so that outlines follow areas that
  // moved while the current one stayed.
  struct OutlineKey {
    std::optional<HintTarget::Frame> frame;
    std::optional<std::size_t> index;
    std::vector<HintTarget::Frame> areas;
    bool operator==(const OutlineKey&) const = default;
  };
  // A cancellable piece of asynchronous work whose steps run on the main thread.
  struct Task {
    bool cancelled = false;
  };
  using TaskHandle = std::shared_ptr<Task>;
  // Held by every callback instead of the service: empty once the service is gone.
  using Weak = std::weak_ptr<NavigationService*>;

  // ── Core (service core file) ──
  void applyEffects(const NavigationEffects& effects);
  void execute(const NavigationEffect& effect);
  void executeStarted(InteractionMode mode);
  void executeStopped(InteractionMode mode);
  void executeCursor(const CursorCommand& command);
  // What the key being decided sets off needs the keyboard free once the tap has answered.
  void freeInput();
  void forceOff(const std::string& reason);
  void record(const std::string& text);
  void updateTimers();
  void tick();
  void checkStillAllowed();
  // The tap swallows the entry chords while off and every key while a mode is on.
  void syncKeyInterception();
  void syncTapEventMask();
  // Every router call that may change it goes through here: one observed change, notified when
  // the router's observable state differs afterwards.
  template <class Call>
  // `keysMayChange` false: the call cannot change which keys the router takes (a frame tick).
  auto mutateRouter(Call&& call, bool keysMayChange = true)
      -> decltype(call(std::declval<NavigationRouter&>()));
  void publishKeyOwnership();
  platform::TapPort::KeyOwnership keyOwnershipAnswer() const;
  // What observers of the router can see, cheap to compare: mode, generation, flags, the click
  // session's substate, typed text, selection and target count, the scroll session's areas.
  std::string routerSummary() const;
  RouterDecision routerHandle(RouterInput input, std::optional<Point> pointer = std::nullopt);
  // `handle` with the current uptime and pointer, then apply.
  void route(RouterInput input);
  Point pointerLocation();
  double now() const;
  bool clickKeyHoldsLeft() const;
  bool secureInputOn();
  void showKeyCatcher();
  KeyCatcher& keyCatcher();
  // One mouse-move event to `point` from the output's source, marked as the program's own.
  bool postMove(Point point);
  // One button event at the point; one that cannot be made is left out.
  void postButton(Point point, platform::EventType type, std::int64_t number,
                  std::int64_t clickState);
  Weak weak() const { return alive_; }
  void notify(Property property);
  template <class T>
  void setObserved(T& field, T value, Property property);
  void setMessage(std::optional<std::string> text);

  // ── Event road and system watch ──
  bool handleTapEvent(platform::EventType type, const platform::InputEvent& event);
  void installTapIfPossible();
  void observeSystem();
  void observe(platform::NotificationCenter center, platform::SystemNotification notification,
               std::function<void(const platform::NotificationInfo&)> handler);
  void updateExclusion();
  void syncSuspension();
  void updateEditingState();
  void syncSecureHotKey();
  void frontmostChanged(std::optional<std::int32_t> pid, std::optional<std::string> bundleID,
                        std::optional<std::string> name);
  void applicationQuit(std::optional<std::int32_t> pid);

  // ── Overlay contents ──
  void refreshOverlays();
  void placeBadge(std::optional<Point> point = std::nullopt);
  void fillHelp();
  HostedOverlay& badge();
  HostedOverlay& hud();
  HostedOverlay& help();

  // ── Discovery and activation ──
  void scheduleDiscovery(std::int64_t generation);
  void publish(DiscoveryResult result, std::int64_t generation);
  void activate(std::size_t index, std::int64_t snapshot, std::int64_t generation,
                TargetAction action);
  void complete(const AccessibilityTargets::Revalidation& revalidation,
                const std::optional<AccessibilityTargets::SemanticOutcome>& outcome,
                TargetAction action, const AXElementBox* box, std::int64_t finish);
  void finishActivation(std::int64_t generation, bool succeeded);
  void rescheduleDiscovery(double delay, std::int64_t generation);

  // ── Scroll mode ──
  void findScrollWindow(std::int64_t generation);
  void parkPointer(double x, double y);
  void followScrolledAreas(std::int32_t pid);
  void showScrollOutline(bool force, bool fade);
  void hideScrollOutline();

  platform::Platform& platform_;
  DiscoveryServices discovery_;
  std::shared_ptr<NavigationService*> alive_;
  std::map<std::uint64_t, std::function<void(Property)>> propertyObservers_;
  std::uint64_t nextObserverToken_ = 1;

  // Stored properties, in declaration order.
  NavigationRouter router_;                                               // 1 observed
  PermissionReport readiness_;                                            // 2 observed
  bool tapInstalled_ = false;                                             // 3 observed
  std::optional<std::string> message_;                                    // 4 observed
  std::optional<std::string> targetName_;                                 // 5 observed
  bool editingSettings_ = false;                                          // 6 observed
  std::optional<std::string> excludedAppInFront_;                         // 7 observed
  std::vector<LogEntry> log_;                                             // 8 observed
  std::optional<DiscoveryStats> lastDiscovery_;                           // 9 observed
  std::optional<ActivationRecord> lastActivation_;                        // 10 observed
  CursorOutput output_;                                                   // 11
  OverlayModel overlayModel_;                                             // 12
  std::unique_ptr<HostedOverlay> badge_, hud_, help_;                     // 13, made on first use
  HintOverlay hints_;                                                     // 14
  ScanProgressBar scanBar_;                                               // 15
  PointerDot dot_;                                                        // 16
  ScrollOutline scrollOutline_;                                           // 17
  PointerHider clickHider_;                                               // 18
  bool keyDragMoved_ = false;                                             // 19
  bool mouseDragging_ = false;                                            // 20
  std::optional<ScrollReturn> pendingScrollReturn_;                       // 21
  std::unique_ptr<EventTap> tap_;                                         // 22
  std::unique_ptr<platform::Timer> tickTimer_;                            // 23
  std::unique_ptr<platform::Timer> watchdog_;                             // 24
  std::unique_ptr<platform::Timer> labelTimer_;                           // 25
  std::optional<double> labelTimerDeadline_;                              // 26
  std::optional<double> lastTick_;                                        // 27
  std::optional<std::int32_t> targetPID_;                                 // 28
  std::optional<std::int32_t> lastExternalPID_;                           // 29
  std::optional<std::string> frontBundleID_;                              // 30
  std::optional<std::string> frontName_;                                  // 31
  std::int64_t snapshotCounter_ = 0;                                      // 32
  std::map<std::int64_t, std::vector<AXElementBox>> elementsBySnapshot_;  // 33
  TaskHandle discoveryTask_;                                              // 34
  TaskHandle scrollTask_;                                                 // 35
  std::optional<Point> scrollHome_;                                       // 36
  std::optional<Point> scrollParked_;                                     // 37
  std::map<std::int32_t, Spot> lastSpots_;                                // 38
  TaskHandle parkTask_;                                                   // 39
  SystemHotKeys secureHotKeys_;                                           // 40
  std::unique_ptr<platform::Timer> secureWatch_;                          // 41
  std::unique_ptr<KeyCatcher> keyCatcher_;                                // 42, made on first use
  bool screenshotting_ = false;                                           // 43
  OutlineKey lastOutline_;                                                // 44
  TaskHandle areaRefresh_;                                                // 45
  std::map<std::int32_t, CachedScrollContext> scrollAreasByApp_;          // 46
  std::vector<std::unique_ptr<platform::Observation>> observers_;         // 47
  std::optional<std::int64_t> emptyRetryGeneration_;                      // 48 observed
  // Not one of the stored properties: the key interception last handed to the tap.
  std::optional<platform::KeyInterception> interception_;
  // The application in front as the last activation said, this program included: the key
  // interception follows it on every event and must not ask the X server each time.
  std::optional<std::int32_t> frontPID_;
  // Scrolls asked for while the pointer is on its way to the chosen area: the wheel reaches only
  // what is under the pointer, so they wait for it to land (a browser's answer can take half a
  // second, and a person who types Tab and J at once means the area just chosen).
  std::vector<CursorCommand> scrollsAwaitingPark_;
  // What the tap's own thread asks to let a press through without waiting for this thread: a
  // copy of the router as it is now.
  struct KeyOwnershipShare {
    std::mutex mutex;
    std::shared_ptr<const NavigationRouter> router;
  };
  std::shared_ptr<KeyOwnershipShare> keyOwnership_ = std::make_shared<KeyOwnershipShare>();
};

template <class T>
void NavigationService::setObserved(T& field, T value, Property property) {
  if (field == value) return;
  field = std::move(value);
  notify(property);
}

template <class Call>
auto NavigationService::mutateRouter(Call&& call, bool keysMayChange)
    -> decltype(call(std::declval<NavigationRouter&>())) {
  const std::string before = routerSummary();
  auto result = call(router_);
  if (keysMayChange) publishKeyOwnership();
  if (routerSummary() != before) notify(Property::router);
  return result;
}

}  // namespace tovrel
