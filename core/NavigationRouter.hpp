#pragma once

// The mode state machine at the heart of the program. Every keyboard event, asynchronous result
// and system notification comes in as one RouterInput; the router answers whether the desktop
// event is swallowed and with an ordered list of effects for its owner to carry out. It never reads
// a clock or touches the desktop: the caller passes the time (seconds of uptime) and the pointer.

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <variant>
#include <vector>

#include "core/ClickSession.hpp"
#include "core/CursorEngine.hpp"
#include "core/HintTarget.hpp"
#include "core/InteractionMode.hpp"
#include "core/Keys.hpp"
#include "core/ModifierTapRecognizer.hpp"
#include "core/ScrollSession.hpp"
#include "core/TovrelConfig.hpp"
#include "core/VariantValue.hpp"

namespace tovrel {

class RouterInput {
 public:
  // From the event tap or the key-catching panel.
  struct Key {
    KeyEvent event;
    // A press or repeat the tap already let through, having found it no key of this router's:
    // it reached the application, and nothing here acts on it.
    bool passedByTap = false;
    bool operator==(const Key&) const = default;
  };
  struct TargetsDiscovered {
    std::int64_t generation = 0;
    std::int64_t snapshot = 0;
    std::vector<HintTarget> targets;
    bool operator==(const TargetsDiscovered&) const = default;
  };
  struct ActivationFinished {
    std::int64_t generation = 0;
    bool succeeded = false;
    bool operator==(const ActivationFinished&) const = default;
  };
  // While one of the program's own text inputs has the keyboard.
  struct SuspendRouting {
    bool suspended = false;
    bool operator==(const SuspendRouting&) const = default;
  };
  struct ScrollWindowFound {
    std::int64_t generation = 0;
    std::optional<HintTarget::Frame> frame;  // the window
    std::vector<ScrollNode> clickChain;
    std::vector<ScrollNode> focusChain;
    std::vector<HintTarget::Frame> areas;
    std::optional<ScrollPoint> resume;
    std::optional<ScrollHover> hover;  // the pointer over the window
    bool operator==(const ScrollWindowFound&) const = default;
  };
  struct ScrollAreasMoved {
    std::int64_t generation = 0;
    std::vector<HintTarget::Frame> areas;
    // The session's first full search, which the region may be chosen again from.
    bool firstSearch = false;
    bool operator==(const ScrollAreasMoved&) const = default;
  };
  struct AllowEntriesWhileSuspended {
    bool allowed = false;
    bool operator==(const AllowEntriesWhileSuspended&) const = default;
  };
  // A real button, drag or wheel event.
  struct PointerButton {
    bool operator==(const PointerButton&) const = default;
  };
  struct ExternalPointerMoved {
    bool operator==(const ExternalPointerMoved&) const = default;
  };
  struct ForceOff {
    bool operator==(const ForceOff&) const = default;
  };
  // The frontmost application or the focus changed.
  struct FocusChanged {
    bool operator==(const FocusChanged&) const = default;
  };
  struct TypedLabelTimeout {
    bool operator==(const TypedLabelTimeout&) const = default;
  };

  using Value =
      std::variant<Key, TargetsDiscovered, ActivationFinished, SuspendRouting, ScrollWindowFound,
                   ScrollAreasMoved, AllowEntriesWhileSuspended, PointerButton,
                   ExternalPointerMoved, ForceOff, FocusChanged, TypedLabelTimeout>;
  TOVREL_VARIANT_VALUE(RouterInput)
};

class NavigationEffect {
 public:
  // Begin the mode: choose the target application, prepare its overlays.
  struct Started {
    InteractionMode mode = InteractionMode::off;
    bool operator==(const Started&) const = default;
  };
  // The mode ended: hide every overlay, cancel the mode's tasks, forget the target.
  struct Stopped {
    InteractionMode mode = InteractionMode::off;
    bool operator==(const Stopped&) const = default;
  };
  // Post the pointer command.
  struct Cursor {
    CursorCommand command;
    bool operator==(const Cursor&) const = default;
  };
  // Activate target `index` of discovery snapshot `snapshot`.
  struct Activate {
    std::size_t index = 0;
    std::int64_t snapshot = 0;
    std::int64_t generation = 0;
    TargetAction action = TargetAction::press;
    bool operator==(const Activate&) const = default;
  };
  struct DiscoverTargets {
    std::int64_t generation = 0;
    bool operator==(const DiscoverTargets&) const = default;
  };
  struct FindScrollWindow {
    std::int64_t generation = 0;
    bool operator==(const FindScrollWindow&) const = default;
  };
  struct ParkPointer {
    double x = 0;
    double y = 0;
    bool operator==(const ParkPointer&) const = default;
  };
  struct RefreshOverlay {
    bool operator==(const RefreshOverlay&) const = default;
  };

  using Value = std::variant<Started, Stopped, Cursor, Activate, DiscoverTargets, FindScrollWindow,
                             ParkPointer, RefreshOverlay>;
  TOVREL_VARIANT_VALUE(NavigationEffect)
};

using NavigationEffects = std::vector<NavigationEffect>;

struct RouterDecision {
  bool consumed = false;  // the desktop event is swallowed
  NavigationEffects effects;

  static const RouterDecision passThrough;
  bool operator==(const RouterDecision&) const = default;
};
inline const RouterDecision RouterDecision::passThrough{};

std::string describe(const NavigationEffect& effect);
std::ostream& operator<<(std::ostream& stream, const NavigationEffect& effect);
std::ostream& operator<<(std::ostream& stream, const RouterDecision& decision);

class NavigationRouter {
 public:
  static constexpr double typedLabelTimeout = 3.0;
  static constexpr double doubleClickTolerance = 5.0;

  // `doubleClickInterval`: the desktop's double-click interval in seconds.
  NavigationRouter(TovrelConfig config, double doubleClickInterval);

  RouterDecision handle(RouterInput input, double now, Point pointer);
  // Whether `handle` would keep this press or repeat from the application, in the state as it is.
  bool ownsKeyDown(const KeyEvent& event) const;
  // A copy that answers `ownsKeyDown` as this router does now, for another thread to ask while
  // this one moves on; the sessions' targets and areas, which the answer never needs, stay here.
  std::shared_ptr<const NavigationRouter> keyOwnershipCopy();

  // Starts a mode other than off and other than the current one; otherwise stops.
  NavigationEffects requestMode(InteractionMode mode);
  NavigationEffects requestOff() { return stop(); }
  // Releases what the cursor engine holds and takes the new settings; a running session keeps
  // its own until the mode starts again.
  NavigationEffects updateConfig(TovrelConfig config);
  NavigationEffects tickCursor(double dt);

  // The owner keeps its frame timer alive exactly while this holds.
  bool cursorNeedsTicks() const;
  // When the typed label letters expire, while some are typed.
  std::optional<double> typedLabelDeadline() const;

  InteractionMode mode() const { return mode_; }
  // Counts every start and every stop and fences asynchronous results. 64 bits never wrap: a
  // start or stop every nanosecond would take 292 years to reach the limit.
  std::int64_t generation() const { return generation_; }
  const TovrelConfig& config() const { return config_; }
  const CursorEngine& cursor() const { return cursor_; }
  const ClickSession* click() const { return click_ ? &*click_ : nullptr; }
  const ScrollSession* scroll() const { return scroll_ ? &*scroll_ : nullptr; }
  bool routingSuspended() const { return routingSuspended_; }
  bool entriesAllowedWhileSuspended() const { return entriesAllowedWhileSuspended_; }
  bool helpVisible() const { return helpVisible_; }
  const ModifierTapRecognizer& tapRecognizer() const { return tapRecognizer_; }
  // The modifier keys whose lone tap is this program's right now, in key code order: those that
  // would start, switch or stop a mode and, while a mode is on, every entry tap, even one that does
  // nothing then (a person taps it again to leave). Taps of every other modifier belong to the
  // applications alone.
  std::vector<std::uint16_t> modifierTapsInUse() const;
  const std::set<std::uint16_t>& consumedKeys() const { return consumedKeys_; }
  const ClickSession::ControlMap& controlMap() const { return controlMap_; }
  std::optional<double> typedLabelAt() const { return typedLabelAt_; }

  static CursorEngine makeCursor(const TovrelConfig& config, double doubleClickInterval);
  // When two controls share a gesture, the later control keeps it.
  static ClickSession::ControlMap makeControlMap(const TovrelConfig& config);

 private:
  struct ModeResult {
    bool consumed = false;
    NavigationEffects effects;
  };

  RouterDecision handleKey(const RouterInput::Key& key, double now, Point pointer);
  RouterDecision decideKey(const KeyEvent& event, double now, Point pointer);
  NavigationEffects start(InteractionMode mode);
  NavigationEffects stop();
  NavigationEffects releaseCursor();
  ModeResult modeHandle(const KeyEvent& event, double now, Point pointer);
  ModeResult cursorHandle(const KeyEvent& event, double now, Point pointer);
  ModeResult clickHandle(const KeyEvent& event, double now);
  ModeResult scrollHandle(const KeyEvent& event);
  std::optional<NavigationEffects> entryForTap(std::uint16_t code);
  bool exitTapMatches(std::uint16_t code) const;
  bool rootExitMatches(const KeyEvent& event) const;
  std::optional<InteractionMode> keyEntryMode(const KeyEvent& event) const;
  std::optional<NavigationEffects> toggleOrSwitch(InteractionMode mode);
  bool entryActs(InteractionMode mode) const;
  std::set<std::string> reservedClickCharacters() const;
  bool isCurrent(std::int64_t generation, InteractionMode mode) const {
    return generation == generation_ && mode_ == mode;
  }

  InteractionMode mode_ = InteractionMode::off;
  std::int64_t generation_ = 0;
  TovrelConfig config_;
  CursorEngine cursor_;
  std::optional<ClickSession> click_;
  std::optional<ScrollSession> scroll_;
  bool routingSuspended_ = false;
  bool entriesAllowedWhileSuspended_ = false;
  bool helpVisible_ = false;
  ModifierTapRecognizer tapRecognizer_;
  // Codes whose press was swallowed: their repeats and release are swallowed too.
  std::set<std::uint16_t> consumedKeys_;
  // Codes whose press went on to the application: their release must reach it as well.
  std::set<std::uint16_t> passedKeys_;
  ClickSession::ControlMap controlMap_;
  std::optional<double> typedLabelAt_;
};

}  // namespace tovrel
