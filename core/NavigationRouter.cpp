#include "core/NavigationRouter.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

#include "core/LabelGenerator.hpp"
#include "core/Unicode.hpp"

namespace tovrel {

namespace {

void appendCommands(NavigationEffects& effects, const std::vector<CursorCommand>& commands) {
  for (const CursorCommand& command : commands)
    effects.push_back(NavigationEffect::Cursor{command});
}

template <class... Cases>
struct Overloaded : Cases... {
  using Cases::operator()...;
};

}  // namespace

std::string describe(const NavigationEffect& effect) {
  using E = NavigationEffect;
  return std::visit(
      Overloaded{
          [](const E::Started& e) { return fmt::format("started({})", rawValue(e.mode)); },
          [](const E::Stopped& e) { return fmt::format("stopped({})", rawValue(e.mode)); },
          [](const E::Cursor& e) { return fmt::format("cursor({})", describe(e.command)); },
          [](const E::Activate& e) {
            return fmt::format("activate({}, snapshot {}, generation {}, {})", e.index, e.snapshot,
                               e.generation, rawValue(e.action));
          },
          [](const E::DiscoverTargets& e) {
            return fmt::format("discoverTargets({})", e.generation);
          },
          [](const E::FindScrollWindow& e) {
            return fmt::format("findScrollWindow({})", e.generation);
          },
          [](const E::ParkPointer& e) { return fmt::format("parkPointer({}, {})", e.x, e.y); },
          [](const E::RefreshOverlay&) { return std::string("refreshOverlay"); },
      },
      effect.value());
}

std::ostream& operator<<(std::ostream& stream, const NavigationEffect& effect) {
  return stream << describe(effect);
}

std::ostream& operator<<(std::ostream& stream, const RouterDecision& decision) {
  stream << (decision.consumed ? "consumed [" : "passed [");
  for (std::size_t i = 0; i < decision.effects.size(); ++i)
    stream << (i ? ", " : "") << describe(decision.effects[i]);
  return stream << "]";
}

NavigationRouter::NavigationRouter(TovrelConfig config, double doubleClickInterval)
    : config_(std::move(config)),
      cursor_(makeCursor(config_, doubleClickInterval)),
      tapRecognizer_(static_cast<double>(config_.modifierTapMaxMilliseconds) / 1000),
      controlMap_(makeControlMap(config_)) {}

CursorEngine NavigationRouter::makeCursor(const TovrelConfig& config, double doubleClickInterval) {
  return CursorEngine(config.cursorBindings, config.motion, config.scrolling, doubleClickInterval,
                      doubleClickTolerance, config.dragStyle);
}

ClickSession::ControlMap NavigationRouter::makeControlMap(const TovrelConfig& config) {
  ClickSession::ControlMap map;
  for (const auto& [control, gesture] : config.clickControls)
    map[gesture] = control;
  return map;
}

// Starting and stopping -------------------------------------------------------------------------

NavigationEffects NavigationRouter::releaseCursor() {
  NavigationEffects effects;
  appendCommands(effects, cursor_.resetCommands());
  return effects;
}

NavigationEffects NavigationRouter::stop() {
  if (mode_ == InteractionMode::off) return {};
  NavigationEffects effects = releaseCursor();
  const InteractionMode previous = mode_;
  mode_ = InteractionMode::off;
  ++generation_;
  click_.reset();
  scroll_.reset();
  helpVisible_ = false;
  effects.push_back(NavigationEffect::Stopped{previous});
  return effects;
}

NavigationEffects NavigationRouter::start(InteractionMode mode) {
  NavigationEffects effects = stop();
  mode_ = mode;
  ++generation_;
  effects.push_back(NavigationEffect::Started{mode});
  switch (mode) {
    case InteractionMode::click:
      click_.emplace(
          LabelGenerator::usableAlphabet(config_.clickAlphabet, reservedClickCharacters()),
          config_.clickRequireReturn, config_.clickSearchFirst);
      effects.push_back(NavigationEffect::DiscoverTargets{generation_});
      break;
    case InteractionMode::scroll:
      scroll_.emplace(config_.scrolling);
      effects.push_back(NavigationEffect::FindScrollWindow{generation_});
      break;
    case InteractionMode::cursor:
    case InteractionMode::off:
      break;
  }
  effects.push_back(NavigationEffect::RefreshOverlay{});
  return effects;
}

std::optional<NavigationEffects> NavigationRouter::toggleOrSwitch(InteractionMode mode) {
  if (!entryActs(mode)) return std::nullopt;
  if (mode != mode_) return start(mode);
  return stop();
}

bool NavigationRouter::entryActs(InteractionMode mode) const {
  if (mode == InteractionMode::off) return false;
  // With a separate exit the entry gesture does nothing while its mode is on.
  return mode != mode_ || !config_.entry(mode)->separateExit;
}

std::vector<std::uint16_t> NavigationRouter::modifierTapsInUse() const {
  std::vector<std::uint16_t> codes;
  if (routingSuspended_ && !entriesAllowedWhileSuspended_) return codes;
  const auto entries = config_.entries();
  for (std::uint16_t code : Key::modifierKeys) {
    const Gesture tap = Gesture::modifierTap(code);
    const bool entry = std::any_of(entries.begin(), entries.end(), [&](const auto& pair) {
      return pair.second.gesture == tap && (entryActs(pair.first) || mode_ != InteractionMode::off);
    });
    if (entry || exitTapMatches(code)) codes.push_back(code);
  }
  return codes;
}

NavigationEffects NavigationRouter::requestMode(InteractionMode mode) {
  if (mode != InteractionMode::off && mode != mode_) return start(mode);
  return stop();
}

NavigationEffects NavigationRouter::updateConfig(TovrelConfig config) {
  NavigationEffects effects = releaseCursor();
  cursor_ = makeCursor(config, cursor_.doubleClickInterval());
  tapRecognizer_ =
      ModifierTapRecognizer(static_cast<double>(config.modifierTapMaxMilliseconds) / 1000);
  controlMap_ = makeControlMap(config);
  config_ = std::move(config);
  effects.push_back(NavigationEffect::RefreshOverlay{});
  return effects;
}

// Entry and exit gestures ------------------------------------------------------------------------

std::optional<NavigationEffects> NavigationRouter::entryForTap(std::uint16_t code) {
  for (const auto& [mode, entry] : config_.entries()) {
    if (entry.gesture == Gesture::modifierTap(code)) return toggleOrSwitch(mode);
  }
  return std::nullopt;
}

// A stop gesture may be a lone modifier tap too; without this a hand-written one would leave the
// mode with no keyboard way out.
bool NavigationRouter::exitTapMatches(std::uint16_t code) const {
  if (mode_ == InteractionMode::off) return false;
  const EntryConfig entry = *config_.entry(mode_);
  return entry.separateExit && entry.exit == Gesture::modifierTap(code);
}

std::optional<InteractionMode> NavigationRouter::keyEntryMode(const KeyEvent& event) const {
  const Gesture chord = Gesture::key(event.code, event.modifiers);
  for (const auto& [mode, entry] : config_.entries()) {
    if (entry.gesture == chord) return mode;
  }
  return std::nullopt;
}

bool NavigationRouter::rootExitMatches(const KeyEvent& event) const {
  if (mode_ == InteractionMode::off) return false;
  const EntryConfig entry = *config_.entry(mode_);
  if (!entry.separateExit || !entry.exit.isKey()) return false;
  if (entry.exit.keyCode() != event.code) return false;
  if (entry.exit.modifiers() == event.modifiers) return true;
  if (mode_ != InteractionMode::cursor) return false;

  // Modifiers the user holds for cursor actions (precision on Shift, say) do not spoil the exit.
  Modifiers holding;
  for (const CursorBinding& binding : config_.cursorBindings) {
    const bool active = cursor_.held().contains(binding.action) ||
                        (binding.action == CursorAction::dragHold && cursor_.leftDown());
    if (active && binding.gesture.keyCode() >= 54 && binding.gesture.keyCode() <= 62)
      holding |= Key::modifierFlag(binding.gesture.keyCode());
  }
  return entry.exit.modifiers() == event.modifiers - holding;
}

std::set<std::string> NavigationRouter::reservedClickCharacters() const {
  std::vector<Gesture> gestures;
  for (const auto& [control, gesture] : config_.clickControls)
    gestures.push_back(gesture);
  for (const auto& [mode, entry] : config_.entries()) {
    if (entry.separateExit) gestures.push_back(entry.exit);
  }
  std::set<std::string> reserved;
  for (const Gesture& gesture : gestures) {
    if (!gesture.isKey() || !gesture.modifiers().isDisjoint(shortcutModifiers)) continue;
    const auto text = Key::printableText(gesture.keyCode());
    if (text && unicode::characters(*text).size() == 1) reserved.insert(unicode::lowercased(*text));
  }
  return reserved;
}

// Keys -------------------------------------------------------------------------------------------

RouterDecision NavigationRouter::handleKey(const RouterInput::Key& key, double now, Point pointer) {
  const KeyEvent& event = key.event;
  const bool down = event.kind == KeyEvent::Kind::down;
  const bool freshDown = down && !event.isRepeat;
  // A new press proves the previous one ended, even if its release was never seen; a stale entry
  // would swallow the release of a press the application did get.
  if (freshDown) {
    consumedKeys_.erase(event.code);
    passedKeys_.erase(event.code);
  }
  if (down && key.passedByTap) {
    // Whatever changed since the tap asked, the application has the key: acting on it too would
    // do twice what one key asks.
    if (event.isModifierKey)
      tapRecognizer_.modifierChanged(event.code, true, event.modifiers, now);
    else
      tapRecognizer_.otherInput();
    if (freshDown) passedKeys_.insert(event.code);
    return RouterDecision::passThrough;
  }
  const bool pressWasPassed = !down && passedKeys_.erase(event.code) > 0;

  RouterDecision decision = decideKey(event, now, pointer);

  if (pressWasPassed) {
    // The application saw the press, so it must see the release.
    decision.consumed = false;
  } else if (freshDown && !decision.consumed) {
    passedKeys_.insert(event.code);
  }
  return decision;
}

RouterDecision NavigationRouter::decideKey(const KeyEvent& event, double now, Point pointer) {
  const bool down = event.kind == KeyEvent::Kind::down;

  if (routingSuspended_ && !entriesAllowedWhileSuspended_) {
    // The repeats and the release of a swallowed press stay swallowed.
    if (consumedKeys_.contains(event.code) && (!down || event.isRepeat)) {
      if (!down) consumedKeys_.erase(event.code);
      return {true, {}};
    }
    return RouterDecision::passThrough;
  }

  std::optional<std::uint16_t> tapped;
  if (event.isModifierKey)
    tapped = tapRecognizer_.modifierChanged(event.code, down, event.modifiers, now);
  else
    tapRecognizer_.otherInput();

  if (consumedKeys_.contains(event.code)) {
    if (!down) {
      consumedKeys_.erase(event.code);
      return {true, modeHandle(event, now, pointer).effects};
    }
    if (event.isRepeat) return {true, {}};
  }

  if (tapped) {
    if (exitTapMatches(*tapped)) return {false, stop()};
    if (auto effects = entryForTap(*tapped)) return {false, std::move(*effects)};
  }

  if (down) {
    if (rootExitMatches(event)) {
      consumedKeys_.insert(event.code);
      return {true, stop()};
    }
    if (auto mode = keyEntryMode(event)) {
      consumedKeys_.insert(event.code);
      return {true, toggleOrSwitch(*mode).value_or(NavigationEffects{})};
    }
  }

  if (!routingSuspended_) {
    ModeResult result = modeHandle(event, now, pointer);
    if (result.consumed && down) consumedKeys_.insert(event.code);
    return {result.consumed, std::move(result.effects)};
  }
  return RouterDecision::passThrough;
}

bool NavigationRouter::ownsKeyDown(const KeyEvent& event) const {
  // In the order `decideKey` takes them; a modifier's press never completes a tap.
  if (event.isRepeat && consumedKeys_.contains(event.code)) return true;
  if (routingSuspended_ && !entriesAllowedWhileSuspended_) return false;
  if (rootExitMatches(event) || keyEntryMode(event)) return true;
  if (routingSuspended_) return false;
  switch (mode_) {
    case InteractionMode::off:
      return false;
    case InteractionMode::cursor:
      return cursor_.owns(event);
    case InteractionMode::click:
      return ClickSession::owns(event, controlMap_);
    case InteractionMode::scroll:
      return ScrollSession::owns(event);
  }
  return false;
}

std::shared_ptr<const NavigationRouter> NavigationRouter::keyOwnershipCopy() {
  std::optional<ClickSession> click;
  std::optional<ScrollSession> scroll;
  click.swap(click_);
  scroll.swap(scroll_);
  auto copy = std::make_shared<const NavigationRouter>(*this);
  click.swap(click_);
  scroll.swap(scroll_);
  return copy;
}

NavigationRouter::ModeResult NavigationRouter::modeHandle(const KeyEvent& event, double now,
                                                          Point pointer) {
  switch (mode_) {
    case InteractionMode::off:
      return {};
    case InteractionMode::cursor:
      return cursorHandle(event, now, pointer);
    case InteractionMode::click:
      return clickHandle(event, now);
    case InteractionMode::scroll:
      return scrollHandle(event);
  }
  return {};
}

NavigationRouter::ModeResult NavigationRouter::cursorHandle(const KeyEvent& event, double now,
                                                            Point pointer) {
  const bool down = event.kind == KeyEvent::Kind::down;
  if (down && !event.isRepeat &&
      cursor_.bindings()[Gesture::key(event.code, event.modifiers)] == CursorAction::help) {
    helpVisible_ = !helpVisible_;
    return {true, {NavigationEffect::RefreshOverlay{}}};
  }
  const CursorActionSet heldBefore = cursor_.held();
  const bool leftDownBefore = cursor_.leftDown();
  const std::size_t buttonsBefore = cursor_.heldButtons().size();

  CursorEngine::Result result = down ? cursor_.keyDown(event, now, pointer) : cursor_.keyUp(event);
  ModeResult mode{result.consumed, {}};
  appendCommands(mode.effects, result.commands);
  if (cursor_.held() != heldBefore || cursor_.leftDown() != leftDownBefore ||
      cursor_.heldButtons().size() != buttonsBefore) {
    mode.effects.push_back(NavigationEffect::RefreshOverlay{});
  }
  return mode;
}

NavigationRouter::ModeResult NavigationRouter::clickHandle(const KeyEvent& event, double now) {
  if (!click_ || event.kind != KeyEvent::Kind::down) return {};
  if (auto deadline = typedLabelDeadline(); deadline && now >= *deadline) click_->clearTypedLabel();

  const std::string prefixBefore = click_->typedPrefix();
  const ClickSession::Decision decision = click_->handle(event, controlMap_);
  if (click_->typedPrefix().empty())
    typedLabelAt_.reset();
  else if (click_->typedPrefix() != prefixBefore)
    typedLabelAt_ = now;

  using D = ClickSession::Decision;
  return std::visit(Overloaded{
                        [&](const D::Activate& d) -> ModeResult {
                          return {true,
                                  {NavigationEffect::Activate{d.target, click_->snapshot(),
                                                              generation_, d.action}}};
                        },
                        [&](const D::Scroll& d) -> ModeResult {
                          return {true,
                                  {NavigationEffect::Cursor{CursorCommand::scroll(d.dx, d.dy)},
                                   NavigationEffect::DiscoverTargets{generation_}}};
                        },
                        [](const D::Consumed&) -> ModeResult {
                          return {true, {NavigationEffect::RefreshOverlay{}}};
                        },
                        [&](const D::Refresh&) -> ModeResult {
                          return {true,
                                  {NavigationEffect::DiscoverTargets{generation_},
                                   NavigationEffect::RefreshOverlay{}}};
                        },
                        [](const D::Unhandled&) -> ModeResult { return {}; },
                    },
                    decision.value());
}

NavigationRouter::ModeResult NavigationRouter::scrollHandle(const KeyEvent& event) {
  if (!scroll_) return {};
  ScrollSession::KeyResult result =
      event.kind == KeyEvent::Kind::down ? scroll_->keyDown(event) : scroll_->keyUp(event);
  ModeResult mode{result.consumed, {}};
  appendCommands(mode.effects, result.commands);
  if (result.park)
    mode.effects.push_back(NavigationEffect::ParkPointer{result.park->x, result.park->y});
  return mode;
}

// Everything else --------------------------------------------------------------------------------

RouterDecision NavigationRouter::handle(RouterInput input, double now, Point pointer) {
  using I = RouterInput;
  return std::visit(Overloaded{
                        [&](I::Key& in) { return handleKey(in, now, pointer); },
                        [&](I::TargetsDiscovered& in) -> RouterDecision {
                          if (!isCurrent(in.generation, InteractionMode::click) || !click_)
                            return RouterDecision::passThrough;
                          // Labels never change under the fingers of a user typing one.
                          if (click_->hasSnapshot() && !click_->typedPrefix().empty())
                            return RouterDecision::passThrough;
                          click_->setTargets(std::move(in.targets), in.snapshot);
                          return {false, {NavigationEffect::RefreshOverlay{}}};
                        },
                        [&](I::ActivationFinished& in) -> RouterDecision {
                          if (!isCurrent(in.generation, InteractionMode::click))
                            return RouterDecision::passThrough;
                          if (in.succeeded && !config_.clickStaysActive) return {false, stop()};
                          if (click_) click_->clearTypedLabel();
                          return {false,
                                  {NavigationEffect::DiscoverTargets{in.generation},
                                   NavigationEffect::RefreshOverlay{}}};
                        },
                        [&](I::SuspendRouting& in) -> RouterDecision {
                          if (in.suspended == routingSuspended_) return RouterDecision::passThrough;
                          routingSuspended_ = in.suspended;
                          tapRecognizer_.reset();
                          if (!in.suspended) return {false, {NavigationEffect::RefreshOverlay{}}};
                          if (scroll_) scroll_->reset();
                          NavigationEffects effects = releaseCursor();
                          effects.push_back(NavigationEffect::RefreshOverlay{});
                          return {false, std::move(effects)};
                        },
                        [&](I::ScrollWindowFound& in) -> RouterDecision {
                          if (!isCurrent(in.generation, InteractionMode::scroll) || !scroll_)
                            return RouterDecision::passThrough;
                          auto park = scroll_->setWindow(in.frame, in.clickChain, in.focusChain,
                                                         in.areas, in.resume, in.hover);
                          if (!park) return RouterDecision::passThrough;
                          return {false, {NavigationEffect::ParkPointer{park->x, park->y}}};
                        },
                        [&](I::ScrollAreasMoved& in) -> RouterDecision {
                          if (!isCurrent(in.generation, InteractionMode::scroll) || !scroll_)
                            return RouterDecision::passThrough;
                          if (!in.firstSearch) {
                            scroll_->areasMoved(in.areas, pointer);
                            return RouterDecision::passThrough;
                          }
                          const auto park = scroll_->areasFound(in.areas, pointer);
                          if (!park) return RouterDecision::passThrough;
                          return {false, {NavigationEffect::ParkPointer{park->x, park->y}}};
                        },
                        [&](I::AllowEntriesWhileSuspended& in) -> RouterDecision {
                          entriesAllowedWhileSuspended_ = in.allowed;
                          return RouterDecision::passThrough;
                        },
                        [&](I::PointerButton&) -> RouterDecision {
                          tapRecognizer_.otherInput();
                          if (mode_ == InteractionMode::cursor && config_.exitCursorOnMouse)
                            return {false, stop()};
                          return RouterDecision::passThrough;
                        },
                        [&](I::ExternalPointerMoved&) -> RouterDecision {
                          if (mode_ == InteractionMode::scroll && scroll_)
                            scroll_->pointerMoved(pointer);
                          if (mode_ == InteractionMode::cursor) cursor_.resetRamp();
                          return RouterDecision::passThrough;
                        },
                        [&](I::ForceOff&) -> RouterDecision {
                          tapRecognizer_.reset();
                          return {false, stop()};
                        },
                        [&](I::FocusChanged&) -> RouterDecision {
                          if (mode_ == InteractionMode::click || mode_ == InteractionMode::scroll)
                            return {false, stop()};
                          return RouterDecision::passThrough;
                        },
                        [&](I::TypedLabelTimeout&) -> RouterDecision {
                          if (mode_ != InteractionMode::click || !typedLabelAt_ || !click_ ||
                              click_->typedPrefix().empty() ||
                              now < *typedLabelAt_ + typedLabelTimeout)
                            return RouterDecision::passThrough;
                          click_->clearTypedLabel();
                          typedLabelAt_.reset();
                          return {false, {NavigationEffect::RefreshOverlay{}}};
                        },
                    },
                    input.value());
}

NavigationEffects NavigationRouter::tickCursor(double dt) {
  NavigationEffects effects;
  if (routingSuspended_) return effects;
  if (mode_ == InteractionMode::scroll && scroll_)
    appendCommands(effects, scroll_->tick(dt));
  else if (mode_ == InteractionMode::cursor)
    appendCommands(effects, cursor_.tick(dt));
  return effects;
}

bool NavigationRouter::cursorNeedsTicks() const {
  if (routingSuspended_) return false;
  if (mode_ == InteractionMode::scroll) return scroll_ && scroll_->needsTicks();
  if (mode_ == InteractionMode::cursor) return cursor_.needsTicks();
  return false;
}

std::optional<double> NavigationRouter::typedLabelDeadline() const {
  if (mode_ != InteractionMode::click || !typedLabelAt_ || !click_ || click_->typedPrefix().empty())
    return std::nullopt;
  return *typedLabelAt_ + typedLabelTimeout;
}

}  // namespace tovrel
