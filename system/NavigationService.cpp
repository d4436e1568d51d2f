#include "system/NavigationService.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <string_view>
#include <utility>

#include "system/EventClassifier.hpp"

// The heart of the service: construction and teardown, the application's commands, the executor
// that carries out the router's effects, the three navigation timers, the watchdog and the log.

namespace tovrel {

namespace {

constexpr std::string_view cannotReadKeyboard =
    "Tovrel cannot read the keyboard right now. See Diagnostics.";
constexpr std::string_view needsAccess =
    "Allow Accessibility access first. Tovrel cannot take over the keyboard yet.";
constexpr std::string_view accessWithdrawn =
    "Accessibility access was turned off, so Tovrel stopped. Allow access again to continue.";
constexpr std::string_view noAppInFront =
    " needs an app in front. Switch to the app, then try again.";
constexpr std::string_view pointerFailed = "A pointer event could not be posted";

// A random (version 4) UUID in its lower-case, hyphenated text form.
std::string randomUUID() {
  static thread_local std::mt19937_64 generator{[] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }()};
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 8) {
    const std::uint64_t word = generator();
    for (std::size_t j = 0; j < 8; ++j)
      bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
  std::string text;
  text.reserve(36);
  constexpr std::string_view digits = "0123456789abcdef";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 0x0F];
  }
  return text;
}

// A callback that holds the service weakly: it runs `body` only while the service exists, and
// only on the main thread, where everything the service owns lives.
template <class Body>
std::function<void()> heldWeakly(std::weak_ptr<NavigationService*> weak,
                                 const platform::Clock& clock, Body body) {
  return [weak = std::move(weak), &clock, body = std::move(body)] {
    auto service = weak.lock();
    if (!service || !clock.isMainThread()) return;
    body(**service);
  };
}

std::string frameText(const std::optional<HintTarget::Frame>& frame) {
  if (!frame) return "-";
  return fmt::format("{},{},{},{}", frame->x, frame->y, frame->width, frame->height);
}

}  // namespace

NavigationService::NavigationService(platform::Platform& platform, TovrelConfig config)
    : platform_(platform),
      discovery_(DiscoveryServices::of(platform)),
      alive_(std::make_shared<NavigationService*>(this)),
      router_(config, platform.application.doubleClickInterval()),
      output_(platform.events, platform.displays, platform.clock),
      hints_(platform.overlays, platform.displays),
      scanBar_(platform.overlays, platform.scheduler, platform.clock),
      dot_(platform.overlays, platform.displays),
      scrollOutline_(platform.overlays),
      clickHider_(platform.displays),
      secureHotKeys_(platform.hotKeys) {
  readiness_ = Permissions::report(platform_.access, platform_.events, platform_.hotKeys);
  output_.confineToCurrentDisplay = config.confineToCurrentDisplay;
  auto& workspace = platform_.workspace;
  frontPID_ = workspace.frontmostApplicationPid();
  if (auto front = frontPID_; front && *front != workspace.selfPid()) {
    lastExternalPID_ = front;
    if (auto app = workspace.application(*front)) {
      frontBundleID_ = app->bundleIdentifier;
      frontName_ = app->localizedName;
    }
  }
}

NavigationService::~NavigationService() {
  // Whatever still holds the service weakly (timers, tasks, queued work, the tap, the key
  // catcher) finds it gone from here on.
  alive_.reset();
  if (tap_) tap_->uninstall();
  tap_.reset();
  for (auto* timer : {&tickTimer_, &watchdog_, &labelTimer_, &secureWatch_}) {
    if (*timer) (*timer)->invalidate();
    timer->reset();
  }
  for (auto* task : {&discoveryTask_, &scrollTask_, &parkTask_, &areaRefresh_}) {
    if (*task) (*task)->cancelled = true;
  }
  observers_.clear();
}

// ── Commands of the application ──

void NavigationService::start() {
  // The label layer's windows are made now, not when the first labels are waited for, and the
  // labels' font is loaded by drawing one on a turn of the loop soon after.
  hints_.ensurePanels();
  platform_.scheduler.after(0, [weak = weak()] {
    if (auto alive = weak.lock()) LabelSample::png((**alive).platform_.overlays, {"AB"});
  });
  observeSystem();
  installTapIfPossible();
  updateExclusion();
  secureWatch_ = platform_.scheduler.schedule(
      secureWatchInterval, true,
      heldWeakly(weak(), platform_.clock, [](NavigationService& s) { s.syncSecureHotKey(); }));
  syncKeyInterception();
}

void NavigationService::shutdown() {
  route(RouterInput::ForceOff{});
  output_.releaseAll();
  dot_.hide();
  hideScrollOutline();
  if (clickHider_.hidden) clickHider_.show();
  if (secureWatch_) secureWatch_->invalidate();
  secureWatch_.reset();
  secureHotKeys_.unregisterAll();
  if (tap_) tap_->uninstall();
  tap_.reset();
  interception_.reset();
  setObserved(tapInstalled_, false, Property::tapInstalled);
  observers_.clear();
}

void NavigationService::setMode(InteractionMode mode) {
  if (mode == InteractionMode::off) {
    stopNavigation();
    return;
  }
  if (!tapInstalled_) {
    const bool someAccess = readiness_.accessibilityTrusted || readiness_.activeTapCreatable ||
                            readiness_.secureInputActive;
    setMessage(std::string(someAccess ? cannotReadKeyboard : needsAccess));
    return;
  }
  auto& workspace = platform_.workspace;
  // Cursor mode moves the pointer over whatever is in front; only when that is this program does
  // the user mean the application they came from.
  const bool bringBack =
      mode != InteractionMode::cursor || workspace.frontmostApplicationPid() == workspace.selfPid();
  if (bringBack && lastExternalPID_ && workspace.application(*lastExternalPID_))
    platform_.application.activate(*lastExternalPID_);
  applyEffects(mutateRouter([mode](NavigationRouter& router) { return router.requestMode(mode); }));
}

void NavigationService::stopNavigation() {
  applyEffects(mutateRouter([](NavigationRouter& router) { return router.requestOff(); }));
  output_.releaseAll();
}

void NavigationService::apply(const TovrelConfig& config) {
  output_.confineToCurrentDisplay = config.confineToCurrentDisplay;
  applyEffects(
      mutateRouter([&config](NavigationRouter& router) { return router.updateConfig(config); }));
  updateExclusion();
  // The entry chords may have changed. Registered again at once rather than on the next
  // secure-input check, which would leave a second without a way in; before start() and after
  // shutdown() there is no check to follow, and nothing is registered.
  secureHotKeys_.unregisterAll();
  if (secureWatch_) syncSecureHotKey();
  syncKeyInterception();
}

void NavigationService::recheckReadiness() {
  installTapIfPossible();
  setObserved(readiness_,
              Permissions::report(platform_.access, platform_.events, platform_.hotKeys),
              Property::readiness);
}

// ── Observation ──

std::uint64_t NavigationService::observe(std::function<void(Property)> changed) {
  const std::uint64_t token = nextObserverToken_++;
  propertyObservers_.emplace(token, std::move(changed));
  return token;
}

void NavigationService::removeObserver(std::uint64_t token) {
  propertyObservers_.erase(token);
}

void NavigationService::notify(Property property) {
  // An observer may add or remove observers while it runs: walk the tokens taken up front and
  // skip those that are gone by their turn.
  std::vector<std::uint64_t> tokens;
  tokens.reserve(propertyObservers_.size());
  for (const auto& [token, observer] : propertyObservers_)
    tokens.push_back(token);
  for (std::uint64_t token : tokens) {
    auto found = propertyObservers_.find(token);
    if (found == propertyObservers_.end()) continue;
    auto observer = found->second;
    observer(property);
  }
}

void NavigationService::setMessage(std::optional<std::string> text) {
  setObserved(message_, std::move(text), Property::message);
}

std::string NavigationService::routerSummary() const {
  const NavigationRouter& r = router_;
  std::string summary =
      fmt::format("{}|{}|{:d}{:d}{:d}|{:d}:{}", static_cast<int>(r.mode()), r.generation(),
                  r.routingSuspended(), r.entriesAllowedWhileSuspended(), r.helpVisible(),
                  r.cursor().leftDown(), r.cursor().held().bits());
  if (const ClickSession* click = r.click()) {
    // Typed texts go in with their lengths, so that no two different states read the same.
    summary +=
        fmt::format("|c{}:{}:{}:{}:{}:{}:{}:{}:{:d}:{}", static_cast<int>(click->substate()),
                    click->typedPrefix().size(), click->typedPrefix(), click->query().size(),
                    click->query(), click->selection(), static_cast<int>(click->pendingAction()),
                    click->targets().size(), click->hasSnapshot(), click->snapshot());
  }
  if (const ScrollSession* scroll = r.scroll()) {
    const auto index = scroll->areaIndex();
    summary += fmt::format("|s{}:{}:{}:{}", index ? static_cast<long long>(*index) : -1LL,
                           scroll->areas().size(), frameText(scroll->outlined()),
                           frameText(scroll->window()));
  }
  return summary;
}

// ── State ──

double NavigationService::currentSpeed() const {
  return router_.cursorNeedsTicks() ? router_.cursor().currentMoveSpeed() : 0.0;
}

std::optional<std::string> NavigationService::clickTargetCandidate() {
  if (!lastExternalPID_) return std::nullopt;
  auto app = platform_.workspace.application(*lastExternalPID_);
  if (!app) return std::nullopt;
  return app->localizedName;
}

// ── The effect executor ──

void NavigationService::applyEffects(const NavigationEffects& effects) {
  if (effects.empty()) {
    updateTimers();
    // Suspending routing has no effects, yet the taps in use change with it.
    syncKeyInterception();
    syncTapEventMask();
    return;
  }
  // A copy: an effect may apply a batch of its own (a start without a target stops at once), and
  // the caller's list must not change underneath.
  const NavigationEffects batch = effects;
  for (const NavigationEffect& effect : batch) {
    if (effect.as<NavigationEffect::RefreshOverlay>()) continue;
    execute(effect);
  }
  if (pendingScrollReturn_) {
    const ScrollReturn back = *pendingScrollReturn_;
    pendingScrollReturn_.reset();
    // A pointer the user moved away from where scroll mode parked it stays where it is.
    if (router_.mode() == InteractionMode::off) {
      const Point at = pointerLocation();
      if (std::hypot(at.x - back.parked.x, at.y - back.parked.y) < scrollReturnDistance)
        postMove(back.home);
    }
  }
  updateTimers();
  refreshOverlays();
  syncKeyInterception();
  syncTapEventMask();
}

void NavigationService::execute(const NavigationEffect& effect) {
  if (const auto* started = effect.as<NavigationEffect::Started>()) {
    executeStarted(started->mode);
  } else if (const auto* stopped = effect.as<NavigationEffect::Stopped>()) {
    executeStopped(stopped->mode);
  } else if (const auto* cursor = effect.as<NavigationEffect::Cursor>()) {
    executeCursor(cursor->command);
  } else if (const auto* activation = effect.as<NavigationEffect::Activate>()) {
    freeInput();
    // After the current batch, and after the tap callback has returned.
    platform_.executor.postToMain(
        heldWeakly(weak(), platform_.clock, [a = *activation](NavigationService& s) {
          s.activate(a.index, a.snapshot, a.generation, a.action);
        }));
  } else if (const auto* discover = effect.as<NavigationEffect::DiscoverTargets>()) {
    scheduleDiscovery(discover->generation);
  } else if (const auto* find = effect.as<NavigationEffect::FindScrollWindow>()) {
    findScrollWindow(find->generation);
  } else if (const auto* park = effect.as<NavigationEffect::ParkPointer>()) {
    parkPointer(park->x, park->y);
  }
  // RefreshOverlay: the executor refreshes once per batch.
}

void NavigationService::executeStarted(InteractionMode mode) {
  auto& application = platform_.application;
  if (secureInputOn()) showKeyCatcher();
  // The front window is read as its application sees itself: active, with the keyboard.
  if (mode == InteractionMode::click || mode == InteractionMode::scroll) freeInput();

  if (mode == InteractionMode::click || mode == InteractionMode::scroll) {
    std::optional<std::int32_t> target;
    if (application.isActive() && application.hasKeyWindow())
      target = platform_.workspace.selfPid();
    else if (auto panelApp = AccessibilityTargets::keyboardPanelApp(discovery_))
      target = panelApp;
    else
      target = lastExternalPID_;
    if (!target) {
      setMessage(std::string(name(mode)) + std::string(noAppInFront));
      applyEffects(mutateRouter([](NavigationRouter& router) { return router.requestOff(); }));
      return;
    }
    targetPID_ = target;
    std::optional<std::string> targetName;
    if (auto app = platform_.workspace.application(*target)) targetName = app->localizedName;
    setObserved(targetName_, std::move(targetName), Property::targetName);
  }

  setMessage(std::nullopt);

  if (editingSettings_ && application.isActive()) {
    // The shortcut recorder keeps the keyboard; any other focused input gives it up.
    const auto responder = application.firstResponder();
    if (!(responder && responder->suspendsNavigation)) {
      if (application.hasKeyWindow()) application.resignFirstResponder();
      updateEditingState();
    }
  }

  if (mode == InteractionMode::scroll) {
    scrollHome_ = pointerLocation();
  } else if (mode == InteractionMode::cursor) {
    lastTick_ = now();
    if (clickHider_.hidden) clickHider_.show();
  }

  record(std::string(name(mode)) + " on");
}

void NavigationService::executeStopped(InteractionMode mode) {
  // A switch to another mode keeps the secure-input fall-backs as they are.
  if (router_.mode() == InteractionMode::off) {
    if (keyCatcher_ && keyCatcher_->panel().isVisible()) keyCatcher_->panel().orderOut();
    syncSecureHotKey();
  }

  for (auto* hosted : {&badge_, &help_, &hud_}) {
    if (*hosted) (*hosted)->orderOut();
  }
  hints_.clear();
  scanBar_.hide();

  for (auto* task : {&discoveryTask_, &scrollTask_, &parkTask_, &areaRefresh_}) {
    if (*task) (*task)->cancelled = true;
    task->reset();
  }
  elementsBySnapshot_.clear();
  scrollsAwaitingPark_.clear();
  targetPID_.reset();
  setObserved(targetName_, std::optional<std::string>{}, Property::targetName);

  hideScrollOutline();
  dot_.hide();

  if (mode == InteractionMode::scroll && scrollHome_ && scrollParked_)
    pendingScrollReturn_ = ScrollReturn{*scrollHome_, *scrollParked_};
  scrollHome_.reset();
  scrollParked_.reset();

  record(std::string(name(mode)) + " off");
}

void NavigationService::freeInput() {
  if (tap_ && tap_->port) tap_->port->freeInputAfterAnswer();
}

void NavigationService::executeCursor(const CursorCommand& command) {
  // A button going down may open a menu, which needs the keyboard for itself.
  if (command.as<CursorCommand::Press>() || command.as<CursorCommand::Click>() ||
      command.as<CursorCommand::ButtonDown>())
    freeInput();
  if (command.as<CursorCommand::Scroll>() && router_.mode() == InteractionMode::scroll &&
      parkTask_ && !parkTask_->cancelled) {
    scrollsAwaitingPark_.push_back(command);
    return;
  }
  if (!output_.perform(command)) record(std::string(pointerFailed));
  if (!command.as<CursorCommand::Scroll>()) return;
  auto pid = targetPID_ ? targetPID_ : platform_.workspace.frontmostApplicationPid();
  if (!pid) return;
  lastSpots_[*pid] = Spot{pointerLocation(), true};
  if (router_.mode() == InteractionMode::scroll) followScrolledAreas(*pid);
}

void NavigationService::forceOff(const std::string& reason) {
  setMessage(reason);
  record(reason);
  route(RouterInput::ForceOff{});
  output_.releaseAll();
  setObserved(readiness_,
              Permissions::report(platform_.access, platform_.events, platform_.hotKeys),
              Property::readiness);
}

void NavigationService::record(const std::string& text) {
  log_.push_back(LogEntry{randomUUID(), platform_.scheduler.wallTime(), text});
  notify(Property::log);
  if (log_.size() > logCapacity) {
    log_.erase(log_.begin(), log_.end() - static_cast<std::ptrdiff_t>(logCapacity));
    notify(Property::log);
  }
}

// ── Timers ──

void NavigationService::updateTimers() {
  const bool needsTicks = router_.cursorNeedsTicks();
  if (needsTicks && !tickTimer_) {
    lastTick_ = now();
    tickTimer_ = platform_.scheduler.schedule(
        tickInterval, true,
        heldWeakly(weak(), platform_.clock, [](NavigationService& s) { s.tick(); }));
  } else if (!needsTicks && tickTimer_) {
    tickTimer_->invalidate();
    tickTimer_.reset();
    if (router_.mode() == InteractionMode::scroll) {
      // Scrolling by key leaves the application's hover stale, and the dot stands in for the
      // pointer again.
      output_.refreshHover();
      dot_.show(pointerLocation());
    }
    lastTick_.reset();
  }

  const std::optional<double> deadline = router_.typedLabelDeadline();
  if (deadline != labelTimerDeadline_) {
    if (labelTimer_) labelTimer_->invalidate();
    labelTimer_.reset();
    labelTimerDeadline_ = deadline;
    if (deadline) {
      labelTimer_ = platform_.scheduler.schedule(
          std::max(*deadline - now(), 0.0) + 0.01, false,
          heldWeakly(weak(), platform_.clock, [](NavigationService& s) {
            s.labelTimerDeadline_.reset();
            s.route(RouterInput::TypedLabelTimeout{});
          }));
    }
  }

  if (router_.mode() != InteractionMode::off) {
    if (!watchdog_) {
      watchdog_ = platform_.scheduler.schedule(
          watchdogInterval, true,
          heldWeakly(weak(), platform_.clock, [](NavigationService& s) { s.checkStillAllowed(); }));
    }
  } else if (watchdog_) {
    watchdog_->invalidate();
    watchdog_.reset();
  }
}

void NavigationService::tick() {
  const double time = now();
  double dt = lastTick_ ? time - *lastTick_ : 0.0;
  lastTick_ = time;
  // A stalled main loop must not turn into one long jump.
  dt = std::min(dt, maxTickStep);
  const NavigationEffects effects =
      mutateRouter([dt](NavigationRouter& router) { return router.tickCursor(dt); }, false);
  bool moved = false;
  for (const NavigationEffect& effect : effects) {
    if (const auto* cursor = effect.as<NavigationEffect::Cursor>())
      moved = moved || cursor->command.as<CursorCommand::Move>() != nullptr;
    execute(effect);
  }
  if (!keyDragMoved_ && moved && clickKeyHoldsLeft()) {
    keyDragMoved_ = true;
    refreshOverlays();
  }
  if (!router_.cursorNeedsTicks()) updateTimers();
  placeBadge();
}

void NavigationService::checkStillAllowed() {
  if (!platform_.access.isProcessTrusted(false)) {
    if (tap_) tap_->uninstall();
    tap_.reset();
    interception_.reset();
    setObserved(tapInstalled_, false, Property::tapInstalled);
    forceOff(std::string(accessWithdrawn));
    return;
  }
  if (secureInputOn() && !keyCatcher().panel().isVisible()) showKeyCatcher();
}

void NavigationService::syncKeyInterception() {
  platform::KeyInterception wanted;
  wanted.modifierTaps = router_.modifierTapsInUse();
  const bool selfInFront = frontPID_ == platform_.workspace.selfPid();
  wanted.withholdModifierTaps = !selfInFront;
  if (router_.mode() == InteractionMode::off) {
    // Modifier taps are not chords: the tap grabs and decides them itself.
    for (const auto& entry : router_.config().entries()) {
      const Gesture& gesture = entry.second.gesture;
      if (!gesture.isKey()) continue;
      const platform::KeyInterception::Chord chord{gesture.keyCode(), gesture.modifiers()};
      if (std::find(wanted.chords.begin(), wanted.chords.end(), chord) == wanted.chords.end())
        wanted.chords.push_back(chord);
    }
  } else {
    wanted.allKeys = true;
    // Moving's own keys never reach an application, even when this program answers too late;
    // not while routing is suspended or this program is in front, where they may be typing.
    if (router_.mode() == InteractionMode::cursor && !router_.routingSuspended() && !selfInFront)
      for (const CursorBinding& binding : router_.config().cursorBindings)
        if (binding.gesture.isKey())
          wanted.modeKeys.push_back({binding.gesture.keyCode(), binding.gesture.modifiers()});
  }
  if (tap_ && interception_ != wanted) {
    tap_->setKeyInterception(wanted);
    interception_ = std::move(wanted);
  }
  publishKeyOwnership();
}

void NavigationService::publishKeyOwnership() {
  std::shared_ptr<const NavigationRouter> copy;
  // Only while a mode grabs every key, and not while this program's own window is in front: what
  // is typed there goes by rules the copy does not know (a text field, the shortcut recorder).
  if (router_.mode() != InteractionMode::off && frontPID_ != platform_.workspace.selfPid())
    copy = router_.keyOwnershipCopy();
  std::lock_guard lock(keyOwnership_->mutex);
  keyOwnership_->router = std::move(copy);
}

platform::TapPort::KeyOwnership NavigationService::keyOwnershipAnswer() const {
  return [share = keyOwnership_](platform::EventType type,
                                 const platform::InputEvent& event) -> std::optional<bool> {
    if (type != platform::eventType::keyDown) return std::nullopt;
    std::shared_ptr<const NavigationRouter> router;
    {
      std::lock_guard lock(share->mutex);
      router = share->router;
    }
    if (!router) return std::nullopt;
    const auto input = EventClassifier::input(type, event, 0);
    const auto* key = input ? input->as<RouterInput::Key>() : nullptr;
    if (!key) return std::nullopt;
    return router->ownsKeyDown(key->event);
  };
}

void NavigationService::syncTapEventMask() {
  // Pointer moves matter while a mode is on, and while a click has hidden the pointer (the first
  // move shows it again). Otherwise nothing follows them, and each would wake the program.
  const bool motion = router_.mode() != InteractionMode::off || clickHider_.hidden;
  if (tap_)
    tap_->setEventMask(motion ? EventClassifier::mask
                              : EventClassifier::mask & ~EventClassifier::pointerMotionMask);
}

// ── Helpers ──

RouterDecision NavigationService::routerHandle(RouterInput input, std::optional<Point> pointer) {
  const double time = now();
  const Point at = pointer ? *pointer : pointerLocation();
  // A pointer move, by far the most frequent input, changes no key's owner.
  const bool keysMayChange = !input.as<RouterInput::ExternalPointerMoved>();
  return mutateRouter(
      [&](NavigationRouter& router) { return router.handle(std::move(input), time, at); },
      keysMayChange);
}

void NavigationService::route(RouterInput input) {
  const RouterDecision decision = routerHandle(std::move(input));
  applyEffects(decision.effects);
}

Point NavigationService::pointerLocation() {
  return platform_.events.pointerLocation().value_or(Point{});
}

double NavigationService::now() const {
  return platform_.clock.uptime();
}

bool NavigationService::clickKeyHoldsLeft() const {
  const auto& held = router_.cursor().heldButtons();
  return std::any_of(held.begin(), held.end(),
                     [](const auto& item) { return item.second.button == MouseButton::left; });
}

bool NavigationService::secureInputOn() {
  return platform_.hotKeys.isSecureEventInputEnabled();
}

void NavigationService::showKeyCatcher() {
  auto& panel = keyCatcher().panel();
  panel.orderFront();
  panel.makeKey();
}

KeyCatcher& NavigationService::keyCatcher() {
  if (!keyCatcher_) {
    keyCatcher_ = std::make_unique<KeyCatcher>(
        platform_.panels, platform_.hotKeys,
        [self = weak()](platform::EventType type, const platform::InputEvent& event) {
          if (auto service = self.lock()) (*service)->handleTapEvent(type, event);
          return false;
        });
  }
  return *keyCatcher_;
}

bool NavigationService::postMove(Point point) {
  if (!output_.source) return false;
  const auto [type, button] = output_.moveType();
  platform::InputEvent event;
  event.type = type;
  event.location = point;
  event.buttonNumber = button;
  event.clickState = 0;
  event.sourceUserData = CursorOutput::marker;
  return output_.source->post(event);
}

}  // namespace tovrel
