#include "platform/atspi/AtspiNode.hpp"

#include <QDBusVariant>
#include <QHash>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <span>
#include <thread>

#include "core/StageTrace.hpp"
#include "platform/atspi/AtspiFetch.hpp"
#include "platform/atspi/QtSelfAccessibility.hpp"
#include "platform/x11/RootOrigin.hpp"

namespace tovrel::platform::atspi {
namespace {

namespace rootOrigin = x11::rootOrigin;

const QString atspiAccessible = QStringLiteral("org.a11y.atspi.Accessible");
const QString atspiComponent = QStringLiteral("org.a11y.atspi.Component");
const QString atspiAction = QStringLiteral("org.a11y.atspi.Action");
const QString dbusProperties = QStringLiteral("org.freedesktop.DBus.Properties");

constexpr int maxHitSteps = 64;
// A pop-up list keeps its items in one of its first children.
constexpr std::size_t maxSelectionHolders = 3;
// A list that opens shows it within a few frames; one still collapsed after this opened nothing.
constexpr double expansionWait = 0.25;
constexpr std::chrono::milliseconds expansionPoll{15};
constexpr int maxFocusSearch = 2000;
constexpr int maxPopUpSearch = 4000;

// `need` when the snapshot of `field` has already answered a read of `attribute`, else 0; the
// read is then noted as answered by whatever snapshot serves it.
template <class T>
unsigned liveAfterFirstRead(NodeState& node, std::string_view attribute,
                            const Fact<T> NodeState::*field, Need need) {
  std::lock_guard lock(node.mutex);
  const auto& fact = node.*field;
  auto served = node.servedAt.find(attribute);
  if (fact.value && served != node.servedAt.end() && served->second == fact.at) return need;
  return 0;
}

template <class T>
void noteServed(NodeState& node, std::string_view attribute, const Fact<T> NodeState::*field) {
  std::lock_guard lock(node.mutex);
  node.servedAt[std::string(attribute)] = (node.*field).at;
}

template <class T>
AXResult<T> factOf(const NodeState& node, const Fact<T> NodeState::*field) {
  std::lock_guard lock(node.mutex);
  const auto& fact = node.*field;
  if (!fact.value) return AXError::cannotComplete;
  return *fact.value;
}

// A D-Bus "not there" for a value the element may simply not have.
AXError absentAsNoValue(AXError error) {
  return error == AXError::failure ? AXError::noValue : error;
}

bool truthy(const AXValue& value) {
  if (const auto* flag = std::get_if<bool>(&value)) return *flag;
  if (const auto* number = std::get_if<double>(&value)) return *number != 0;
  return false;
}

class AtspiElement : public AXNode {
 public:
  enum class Kind { object, application, systemWide };

  AtspiElement(std::shared_ptr<Shared> shared, Kind kind, std::int32_t pid, NodeStatePtr state)
      : shared_(std::move(shared)), kind_(kind), pid_(pid), state_(std::move(state)) {}

  bool sameObject(const AXNode& other) const override {
    const auto* element = dynamic_cast<const AtspiElement*>(&other);
    if (!element || element->kind_ != kind_) return false;
    switch (kind_) {
      case Kind::systemWide:
        return true;
      case Kind::application:
        return element->pid_ == pid_;
      case Kind::object:
        return element->state_->ref == state_->ref;
    }
    return false;
  }

  std::size_t hash() const override {
    switch (kind_) {
      case Kind::systemWide:
        return 0x5157;
      case Kind::application:
        return std::hash<std::int32_t>{}(pid_) ^ 0xa99;
      case Kind::object:
        return static_cast<std::size_t>(qHash(state_->ref.bus) * 31U + qHash(state_->ref.path));
    }
    return 0;
  }

  std::optional<std::int32_t> pid() const override {
    switch (kind_) {
      case Kind::systemWide:
        return std::nullopt;
      case Kind::application: {
        AXError error = AXError::success;
        return resolve(error) ? std::optional<std::int32_t>(pid_) : std::nullopt;
      }
      case Kind::object:
        if (state_->pid) return state_->pid;
        return shared_->bus.pidOf(state_->ref.bus, timeout());
    }
    return std::nullopt;
  }

  void setMessagingTimeout(double seconds) override { timeout_.store(seconds); }

  AXResult<AXValue> attribute(std::string_view name) override {
    if (kind_ == Kind::systemWide) return systemWideAttribute(name);
    AXError error = AXError::success;
    NodeStatePtr state = resolve(error);
    if (!state) return error;
    auto result = kind_ == Kind::application ? applicationAttribute(state, name)
                                             : objectAttribute(state, name);
    noteFailure(state, result.error());
    return result;
  }

  AXError setAttribute(std::string_view name, const AXValue& value) override {
    if (kind_ == Kind::systemWide) return AXError::attributeUnsupported;
    if (kind_ == Kind::application) {
      // Waking needs no registered application: asleep, it is not on the bus at all.
      if ((name == "AXManualAccessibility" || name == "AXEnhancedUserInterface") && truthy(value))
        return switchOnAccessibility();
      return AXError::attributeUnsupported;
    }
    if (!truthy(value)) return AXError::attributeUnsupported;
    AXError error = AXError::success;
    NodeStatePtr state = resolve(error);
    if (!state) return error;
    if (name == "AXFocused")
      error = grabFocus(state);
    else if (name == "AXSelected")
      error = select(state);
    else
      return AXError::attributeUnsupported;
    state->invalidate();
    noteFailure(state, error);
    return error;
  }

  AXResult<std::vector<std::string>> actionNames() override {
    if (kind_ == Kind::systemWide) return std::vector<std::string>{};
    AXError error = AXError::success;
    NodeStatePtr state = resolve(error);
    if (!state) return error;
    auto names = atspiActions(state);
    if (!names.ok()) {
      noteFailure(state, names.error());
      return names.error();
    }
    return axActionNames(names.value());
  }

  AXError performAction(std::string_view action) override {
    if (kind_ == Kind::systemWide) return AXError::actionUnsupported;
    AXError error = AXError::success;
    NodeStatePtr state = resolve(error);
    if (!state) return error;
    auto names = atspiActions(state);
    if (!names.ok()) {
      noteFailure(state, names.error());
      return names.error();
    }
    const auto index = atspiActionIndex(names.value(), action);
    if (!index) return AXError::actionUnsupported;
    bool expands = false;
    if (action == "AXPress") {
      auto facts = roleFacts(state);
      expands = facts.ok() && pressExpands(facts.value().role, facts.value().states);
    }
    if (shared_->beforeAction) shared_->beforeAction();
    const QVariant done = callOnce(shared_->bus, state->ref, atspiAction,
                                   QStringLiteral("DoAction"), {*index}, timeout(), error);
    state->invalidate();
    noteFailure(state, error);
    if (error == AXError::noValue) return AXError::actionUnsupported;
    if (error != AXError::success) return error;
    if (!done.toBool()) return AXError::failure;
    return expands ? awaitExpansion(state) : AXError::success;
  }

  AXResult<AXElement> elementAtPosition(float x, float y) override {
    if (kind_ != Kind::application) return AXError::illegalArgument;
    if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e9F || std::fabs(y) > 1e9F)
      return AXError::illegalArgument;
    AXError error = AXError::success;
    NodeStatePtr state = resolve(error);
    if (!state) return error;
    auto result = hitTest(state, rootOrigin::rootX(static_cast<int>(std::lround(x))),
                          rootOrigin::rootY(static_cast<int>(std::lround(y))));
    noteFailure(state, result.error());
    return result;
  }

 private:
  double timeout() const {
    const double set = timeout_.load();
    return set > 0 ? set : defaultMessagingTimeout;
  }

  // The object's state; for an application, found on the bus by its process id.
  NodeStatePtr resolve(AXError& error) const {
    if (kind_ == Kind::object) return state_;
    {
      std::lock_guard lock(resolveMutex_);
      if (state_) return state_;
    }
    stageTrace::Scope scope(stageTrace::Stage::greeting);
    auto busName = shared_->bus.busNameOf(pid_, timeout(), error);
    if (!busName) return nullptr;
    {
      // A read that starts here places its frames by the windows as they are now.
      std::lock_guard lock(shared_->windowListMutex);
      if (shared_->windowList.pid == pid_) shared_->windowList = {};
    }
    ToolkitConventions conventions;
    const auto toolkit = toolkitOf(*shared_, *busName, timeout());
    if (toolkit) conventions = conventionsOf(toolkit->first, toolkit->second);
    // Conventions guessed while the application was too busy to name its toolkit serve this read
    // only: kept, they would misplace and misname a GTK 4 window's elements for good.
    if (!toolkit) return std::make_shared<NodeState>(ObjectRef{*busName, rootPath}, pid_);
    std::lock_guard lock(resolveMutex_);
    if (!state_)
      state_ = std::make_shared<NodeState>(ObjectRef{*busName, rootPath}, pid_, conventions);
    return state_;
  }

  // An application that has gone leaves a stale bus name behind: forget it, so the next read
  // looks the process up again.
  void noteFailure(const NodeStatePtr& state, AXError error) {
    if (error != AXError::invalidUIElement || kind_ != Kind::application) return;
    shared_->bus.forget(state->ref.bus);
    std::lock_guard lock(resolveMutex_);
    if (state_ == state) state_.reset();
  }

  AXElement elementOf(const NodeStatePtr& state) const {
    if (state->ref.isRoot()) {
      const auto pid = state->pid ? state->pid : shared_->bus.pidOf(state->ref.bus, timeout());
      if (!pid) return {};
      if (*pid == static_cast<std::int32_t>(::getpid())) return selfApplication(*pid);
      return AXElement(std::make_shared<AtspiElement>(shared_, Kind::application, *pid, state));
    }
    return AXElement(std::make_shared<AtspiElement>(shared_, Kind::object, 0, state));
  }

  AXElement elementOf(const ObjectRef& ref, const NodeState& from) const {
    return elementOf(stateNear(ref, from));
  }

  // ── Reading facts ──

  AXResult<RoleFacts> roleFacts(const NodeStatePtr& state) {
    if (AXError error = fetchOne(*shared_, state, roleNeeds, timeout()); error != AXError::success)
      return error;
    RoleFacts facts;
    {
      std::lock_guard lock(state->mutex);
      if (!state->role.value) return AXError::cannotComplete;  // cleared by a write meanwhile
      const auto& role = *state->role.value;
      if (!role.ok()) return role.error();
      facts.role = role.value();
      if (state->states.value && state->states.value->ok())
        facts.states = state->states.value->value();
      else if (state->states.value && state->states.value->error() == AXError::invalidUIElement)
        return AXError::invalidUIElement;
      facts.placement = state->placement;
      facts.parentRole = state->parentRole;
    }
    if (facts.states.has(State::defunct)) return AXError::invalidUIElement;
    if (roleNeedsInterfaces(facts.role, facts.states)) {
      auto interfaces = interfacesOf(state);
      if (interfaces.ok()) facts.interfaces = interfaces.value();
    }
    if (roleNeedsParentRole(facts.role) && !facts.parentRole) {
      if (auto parentRole = readParentRole(state)) facts.parentRole = *parentRole;
    }
    if (roleNeedsChildRoles(facts.role)) facts.holdsScrollBar = holdsScrollBar(state);
    if (roleNeedsXmlRoles(facts.role)) {
      auto attributes = objectAttributes(state);
      if (attributes.ok()) {
        auto found = attributes.value().find("xml-roles");
        if (found != attributes.value().end()) facts.xmlRoles = found->second;
      }
    }
    return facts;
  }

  // Qt keeps a scroll area's bars in a container of their own beside the viewport: a container
  // of two or three children (the viewport and one or two bar containers) holds a scroll bar when
  // a child is one, or is a container of nothing but one or two scroll bars. Looking costs a
  // round trip only for such small containers, whose children the walk reads next anyway; a
  // container of nothing but scroll bars is not itself a scroll area.
  bool holdsScrollBar(const NodeStatePtr& state) {
    const auto count = childCount(state);
    if (!count || *count < 2 || *count > 3) return false;
    auto children = showingChildren(state);
    if (!children.ok() || children.value().empty()) return false;
    bool anyBar = false;
    bool onlyBars = true;
    for (const auto& child : children.value()) {
      const auto role = cachedRoleNumber(child);
      if (role == static_cast<std::uint32_t>(Role::scrollBar)) {
        anyBar = true;
        continue;
      }
      onlyBars = false;
      if (role && roleNeedsChildRoles(*role) && onlyScrollBars(child)) anyBar = true;
    }
    return anyBar && !onlyBars;
  }

  bool onlyScrollBars(const NodeStatePtr& state) {
    const auto count = childCount(state);
    if (!count || *count < 1 || *count > 2) return false;
    auto children = showingChildren(state);
    if (!children.ok() || children.value().empty()) return false;
    return std::all_of(children.value().begin(), children.value().end(), [&](const auto& child) {
      return cachedRoleNumber(child) == static_cast<std::uint32_t>(Role::scrollBar);
    });
  }

  // How many children it has, showing or not, from one list read.
  std::optional<std::size_t> childCount(const NodeStatePtr& state) {
    if (fetchOne(*shared_, state, needChildren, timeout()) != AXError::success) return std::nullopt;
    auto children = factOf(*state, &NodeState::children);
    if (!children.ok()) return std::nullopt;
    return children.value().size();
  }

  static std::optional<std::uint32_t> cachedRoleNumber(const NodeStatePtr& state) {
    std::lock_guard lock(state->mutex);
    if (!state->role.value || !state->role.value->ok()) return std::nullopt;
    return state->role.value->value();
  }

  std::optional<std::uint32_t> readParentRole(const NodeStatePtr& state) {
    auto parent = parentRef(state);
    if (!parent.ok()) return std::nullopt;
    AXError error = AXError::success;
    const auto role = decodeUint(callOnce(shared_->bus, parent.value(), atspiAccessible,
                                          QStringLiteral("GetRole"), {}, timeout(), error));
    if (error != AXError::success || !role) return std::nullopt;
    std::lock_guard lock(state->mutex);
    state->parentRole = *role;
    return role;
  }

  AXResult<ObjectRef> parentRef(const NodeStatePtr& state) {
    if (AXError error = fetchOne(*shared_, state, needParent, timeout()); error != AXError::success)
      return error;
    std::lock_guard lock(state->mutex);
    if (!state->parent || state->parent->isNull()) return AXError::noValue;
    return *state->parent;
  }

  AXResult<StateSet> statesOf(const NodeStatePtr& state, unsigned live = 0) {
    if (AXError error =
            fetch(*shared_, std::span<const NodeStatePtr>(&state, 1), needStates, timeout(), live);
        error != AXError::success)
      return error;
    auto states = factOf(*state, &NodeState::states);
    if (states.ok() && states.value().has(State::defunct)) return AXError::invalidUIElement;
    return states;
  }

  AXResult<std::uint32_t> interfacesOf(const NodeStatePtr& state) {
    if (AXError error = fetchOne(*shared_, state, needInterfaces, timeout());
        error != AXError::success)
      return error;
    return factOf(*state, &NodeState::interfaces);
  }

  // Whether the node is known to offer `interface`: its other questions go only to those that do.
  // A hit test's descent then costs no question of interfaces per step where every element has
  // a frame.
  bool offers(const NodeStatePtr& state, Interface interface) {
    if ((interface == Interface::componentInterface || interface == Interface::actionInterface) &&
        offersFramesAndActions(*state))
      return true;
    auto interfaces = interfacesOf(state);
    return interfaces.ok() && (interfaces.value() & interface) != 0;
  }

  AXResult<std::string> stringFact(const NodeStatePtr& state, Need need,
                                   const Fact<std::string> NodeState::*field) {
    if (AXError error = fetchOne(*shared_, state, need, timeout()); error != AXError::success)
      return error;
    auto value = factOf(*state, field);
    if (!value.ok()) return absentAsNoValue(value.error());
    return value;
  }

  AXResult<std::map<std::string, std::string>> objectAttributes(const NodeStatePtr& state) {
    if (AXError error = fetchOne(*shared_, state, needAttributes, timeout());
        error != AXError::success)
      return error;
    return factOf(*state, &NodeState::attributes);
  }

  AXResult<std::vector<std::string>> atspiActions(const NodeStatePtr& state) {
    if (AXError error = fetchOne(*shared_, state, needActions, timeout());
        error != AXError::success)
      return error;
    auto names = factOf(*state, &NodeState::actions);
    if (!names.ok() && (names.error() == AXError::noValue || names.error() == AXError::failure))
      return std::vector<std::string>{};
    return names;
  }

  AXResult<std::string> axRoleOf(const NodeStatePtr& state) {
    auto facts = roleFacts(state);
    if (!facts.ok()) return facts.error();
    return axRole(facts.value());
  }

  // The children that are showing, each with a fresh snapshot of what a walk reads.
  AXResult<std::vector<NodeStatePtr>> showingChildren(const NodeStatePtr& state,
                                                      unsigned live = 0) {
    // Whoever reads one window's children goes on to read what lies below them: read the whole
    // window ahead in one pipeline, where each node's children are asked as soon as its own
    // answers arrive, instead of a round trip after another down every branch. An application's
    // list of windows is read on its own.
    const double now = monotonicSeconds();
    if (live == 0 && !state->ref.isRoot() && !childrenReadAhead(*state, now) &&
        readAheadAllowed(*shared_, now)) {
      if (AXError error = fetchTree(*shared_, state, timeout()); error == AXError::cannotComplete)
        return error;
    }
    if (AXError error = fetch(*shared_, std::span<const NodeStatePtr>(&state, 1), needChildren,
                              timeout(), live);
        error != AXError::success)
      return error;
    auto children = factOf(*state, &NodeState::children);
    if (!children.ok()) return absentAsNoValue(children.error());
    std::vector<NodeStatePtr> candidates = children.value();
    // Those freshly known not to show are asked nothing more.
    if (!(live & needStates))
      std::erase_if(candidates,
                    [now](const NodeStatePtr& child) { return knownHidden(*child, now); });
    if (candidates.size() > statesFirstAbove) {
      if (AXError error = fetch(*shared_, candidates, needStates, timeout(), live);
          error != AXError::success)
        return error;
      std::erase_if(candidates, [](const NodeStatePtr& child) { return !isShowing(*child); });
    }
    if (AXError error = fetch(*shared_, candidates, snapshotNeeds, timeout(), live);
        error != AXError::success)
      return error;
    std::erase_if(candidates, [](const NodeStatePtr& child) { return !isShowing(*child); });
    std::vector<NodeStatePtr> detailed;
    for (const auto& child : candidates) {
      if (wantsDetails(*child)) detailed.push_back(child);
    }
    if (AXError error = fetch(*shared_, detailed, snapshotDetails, timeout(), live);
        error != AXError::success)
      return error;
    return candidates;
  }

  static bool knownHidden(const NodeState& node, double now) {
    std::lock_guard lock(node.mutex);
    if (!node.states.fresh(now) || !node.states.value->ok()) return false;
    const StateSet states = node.states.value->value();
    return !states.has(State::showing) || states.has(State::defunct);
  }

  static bool hasState(const NodeState& node, State wanted) {
    std::lock_guard lock(node.mutex);
    return node.states.value && node.states.value->ok() && node.states.value->value().has(wanted);
  }

  // An application's showing top-level windows, with open menus last where the walk looks for
  // them.
  AXResult<std::vector<NodeStatePtr>> topLevels(const NodeStatePtr& application,
                                                unsigned live = 0) {
    auto children = showingChildren(application, live);
    if (!children.ok()) return children;
    std::vector<NodeStatePtr> ordered = children.value();
    std::stable_partition(ordered.begin(), ordered.end(),
                          [&](const NodeStatePtr& child) { return cachedRole(child) != "AXMenu"; });
    return ordered;
  }

  // The role from what a snapshot already holds (top-levels need nothing more).
  std::string cachedRole(const NodeStatePtr& state) {
    auto role = axRoleOf(state);
    return role.ok() ? role.value() : std::string();
  }

  std::optional<std::string> cachedSubrole(const NodeStatePtr& state) {
    auto facts = roleFacts(state);
    return facts.ok() ? axSubrole(facts.value()) : std::nullopt;
  }

  // A toolkit that keeps its pop-ups inside their window's tree while showing them on surfaces
  // of their own: the open ones join the application's top-levels, last, where an open menu
  // belongs. Looked for only while the application shows more windows than it lists.
  void appendPopUps(const NodeState& application, std::vector<NodeStatePtr>& topLevels) {
    if (!shared_->windowsOf || !application.pid) return;
    if (windowsOf(*shared_, *application.pid, false).windows.size() <= topLevels.size()) return;
    std::vector<NodeStatePtr> level = topLevels;
    int visited = 0;
    while (!level.empty() && visited < maxPopUpSearch) {
      std::vector<NodeStatePtr> next;
      for (const auto& node : level) {
        auto children = showingChildren(node);
        if (!children.ok()) continue;
        for (const auto& child : children.value()) {
          if (++visited > maxPopUpSearch) break;
          if (onOwnSurface(*child))
            topLevels.push_back(child);
          else
            next.push_back(child);
        }
      }
      level = std::move(next);
    }
  }

  static bool onOwnSurface(NodeState& node) {
    std::shared_ptr<WindowPlacement> surface;
    {
      std::lock_guard lock(node.mutex);
      surface = node.surface;
    }
    if (!surface) return false;
    std::lock_guard lock(surface->mutex);
    return surface->shift.has_value();
  }

  AXResult<NodeStatePtr> focusedWindow(const NodeStatePtr& application, unsigned live = 0) {
    auto windows = topLevels(application, live);
    if (!windows.ok()) return windows.error();
    NodeStatePtr fallback;
    for (const auto& window : windows.value()) {
      if (!hasState(*window, State::active)) continue;
      if (cachedRole(window) == "AXWindow") return window;
      if (!fallback) fallback = window;
    }
    if (fallback) return fallback;
    if (auto window = activeOnScreen(*application, windows.value())) return window;
    return AXError::noValue;
  }

  // While the keyboard is grabbed and let go (as every entry into a mode does), a toolkit may
  // call none of its windows active for a moment: the window system's active window, by its
  // title, is the one of a single top-level of that name.
  NodeStatePtr activeOnScreen(const NodeState& application,
                              const std::vector<NodeStatePtr>& windows) {
    if (!shared_->windowsOf || !application.pid) return nullptr;
    const auto listed = windowsOf(*shared_, *application.pid, true).windows;
    const auto active = std::find_if(listed.begin(), listed.end(),
                                     [](const ScreenWindow& window) { return window.active; });
    if (active == listed.end() || active->title.empty()) return nullptr;
    NodeStatePtr found;
    for (const auto& window : windows) {
      if (cachedRole(window) != "AXWindow") continue;
      std::lock_guard lock(window->mutex);
      if (!window->name.value || !window->name.value->ok() ||
          window->name.value->value() != active->title)
        continue;
      if (found) return nullptr;
      found = window;
    }
    return found;
  }

  AXResult<AXValue> elements(const std::vector<NodeStatePtr>& states) {
    std::vector<AXElement> out;
    out.reserve(states.size());
    for (const auto& state : states) {
      if (auto element = elementOf(state)) out.push_back(std::move(element));
    }
    return AXValue(std::move(out));
  }

  // ── Attributes ──

  AXResult<AXValue> applicationAttribute(const NodeStatePtr& state, std::string_view name) {
    if (name == "AXRole") {
      // Asked all the same, so that an application that no longer answers says so.
      auto role = fetchOne(*shared_, state, needRole, timeout());
      if (role != AXError::success) return role;
      auto value = factOf(*state, &NodeState::role);
      if (!value.ok()) return value.error();
      return AXValue(std::string("AXApplication"));
    }
    if (name == "AXChildren" || name == "AXWindows") {
      auto windows = topLevels(state);
      if (!windows.ok()) return windows.error();
      std::vector<NodeStatePtr> chosen = windows.value();
      if (name == "AXWindows")
        std::erase_if(chosen, [&](const NodeStatePtr& w) { return cachedRole(w) != "AXWindow"; });
      else if (state->conventions.windowRelativeExtents)
        appendPopUps(*state, chosen);
      return elements(chosen);
    }
    if (name == "AXFocusedWindow") {
      // Which window is active changes as often as the focus: nothing remembered is trusted.
      auto window = focusedWindow(state, needStates | needChildren);
      if (!window.ok()) return window.error();
      return AXValue(elementOf(window.value()));
    }
    if (name == "AXMainWindow") {
      auto windows = topLevels(state);
      if (!windows.ok()) return windows.error();
      for (const auto& window : windows.value()) {
        if (cachedSubrole(window) == "AXStandardWindow") return AXValue(elementOf(window));
      }
      return AXError::noValue;
    }
    if (name == "AXFocusedUIElement") return focusedElement(state);
    if (name == "AXToolkitName") {
      auto toolkit = toolkitOf(*shared_, state->ref.bus, timeout());
      if (!toolkit || toolkit->first.empty()) return AXError::noValue;
      return AXValue(toolkit->first);
    }
    if (name == "AXTypeNamesForNoName")
      return AXValue(std::in_place_type<bool>, state->conventions.typeNameForNoName);
    if (name == "AXSubrole" || name == "AXParent" || name == "AXPosition" || name == "AXSize" ||
        name == "AXFullScreen" || name == "AXMenuBar" || name == "AXExtrasMenuBar" ||
        name == "AXEnabled" || name == "AXFocused" || name == "AXSelected" ||
        name == "AXFocusable" || name == "AXSelectable" || name == "AXValue" ||
        name == "AXTitleUIElement" || name == "AXPlaceholderValue" || name == "AXHelp")
      return AXError::noValue;
    if (name == "AXTitle" || name == "AXDescription" || name == "AXRoleDescription")
      return commonAttribute(state, name, "AXApplication");
    return AXError::attributeUnsupported;
  }

  AXResult<AXValue> objectAttribute(const NodeStatePtr& state, std::string_view name) {
    if (name == "AXPosition" || name == "AXSize") {
      const unsigned live = liveAfterFirstRead(*state, name, &NodeState::extents, needExtents);
      if (AXError error = fetch(*shared_, std::span<const NodeStatePtr>(&state, 1),
                                needExtents | needStates, timeout(), live ? live | needStates : 0);
          error != AXError::success)
        return error;
      if (hasState(*state, State::defunct)) return AXError::invalidUIElement;
      noteServed(*state, name, &NodeState::extents);
      auto extents = factOf(*state, &NodeState::extents);
      if (!extents.ok()) return absentAsNoValue(extents.error());
      const Extents& e = extents.value();
      if (name == "AXPosition")
        return AXValue(Point{static_cast<double>(rootOrigin::globalX(e.x)),
                             static_cast<double>(rootOrigin::globalY(e.y))});
      return AXValue(AXSize{static_cast<double>(e.width), static_cast<double>(e.height)});
    }
    if (name == "AXEnabled" || name == "AXFocused" || name == "AXSelected") {
      auto states =
          statesOf(state, liveAfterFirstRead(*state, name, &NodeState::states, needStates));
      if (!states.ok()) return states.error();
      noteServed(*state, name, &NodeState::states);
      const StateSet set = states.value();
      if (name == "AXEnabled") return AXValue(set.has(State::enabled) || set.has(State::sensitive));
      return AXValue(set.has(name == "AXFocused" ? State::focused : State::selected));
    }
    // What an element can become does not change while it shows: the snapshot serves.
    if (name == "AXFocusable" || name == "AXSelectable") {
      auto states = statesOf(state);
      if (!states.ok()) return states.error();
      return AXValue(
          states.value().has(name == "AXFocusable" ? State::focusable : State::selectable));
    }
    if (name == "AXChildren") {
      auto children = showingChildren(state);
      if (!children.ok()) return children.error();
      return elements(children.value());
    }
    // Showing or not: what a box has scrolled out of view is not showing, and only its frames
    // tell that the box scrolls.
    if (name == "AXAllChildren") {
      if (AXError error =
              fetch(*shared_, std::span<const NodeStatePtr>(&state, 1), needChildren, timeout());
          error != AXError::success)
        return error;
      auto children = factOf(*state, &NodeState::children);
      if (!children.ok()) return absentAsNoValue(children.error());
      return elements(children.value());
    }
    if (name == "AXParent") {
      auto parent = parentRef(state);
      if (!parent.ok()) return absentAsNoValue(parent.error());
      auto element = elementOf(parent.value(), *state);
      if (!element) return AXError::noValue;
      return AXValue(std::move(element));
    }
    if (name == "AXTitleUIElement") {
      if (AXError error = fetchOne(*shared_, state, needLabelledBy, timeout());
          error != AXError::success)
        return absentAsNoValue(error);
      auto targets = factOf(*state, &NodeState::labelledBy);
      if (!targets.ok()) return absentAsNoValue(targets.error());
      for (const auto& target : targets.value()) {
        if (target.isNull()) continue;
        if (auto element = elementOf(target, *state)) return AXValue(std::move(element));
      }
      return AXError::noValue;
    }
    if (name == "AXPlaceholderValue" || name == "AXHelp") {
      auto attributes = objectAttributes(state);
      if (!attributes.ok()) return absentAsNoValue(attributes.error());
      const auto& map = attributes.value();
      const auto keys = name == "AXPlaceholderValue"
                            ? std::vector<std::string>{"placeholder-text"}
                            : std::vector<std::string>{"tooltip", "tooltip-text", "help-text"};
      for (const auto& key : keys) {
        if (auto found = map.find(key); found != map.end() && !found->second.empty())
          return AXValue(found->second);
      }
      return AXError::noValue;
    }
    if (name == "AXFullScreen" || name == "AXMenuBar" || name == "AXExtrasMenuBar")
      return AXError::noValue;
    if (name == "AXFocusedWindow" || name == "AXMainWindow" || name == "AXWindows" ||
        name == "AXFocusedUIElement" || name == "AXFocusedApplication")
      return AXError::attributeUnsupported;

    auto facts = roleFacts(state);
    if (!facts.ok()) return facts.error();
    const std::string role = axRole(facts.value());
    if (name == "AXRole") return AXValue(role);
    if (name == "AXSubrole") {
      auto subrole = axSubrole(facts.value());
      if (!subrole) return AXError::noValue;
      return AXValue(*subrole);
    }
    if (name == "AXValue") return value(state, role);
    return commonAttribute(state, name, role);
  }

  AXResult<AXValue> commonAttribute(const NodeStatePtr& state, std::string_view name,
                                    const std::string& role) {
    if (name == "AXTitle") {
      auto title = stringFact(state, needName, &NodeState::name);
      if (!title.ok()) return title.error();
      return AXValue(title.value());
    }
    if (name == "AXDescription") {
      auto description = stringFact(state, needDescription, &NodeState::description);
      if (!description.ok()) return description.error();
      return AXValue(description.value());
    }
    if (name == "AXRoleDescription") {
      std::optional<std::string> subrole;
      if (role == "AXWindow") subrole = cachedSubrole(state);
      auto description = roleDescription(role, subrole);
      if (!description) return AXError::noValue;
      return AXValue(*description);
    }
    return AXError::attributeUnsupported;
  }

  AXResult<AXValue> value(const NodeStatePtr& state, const std::string& role) {
    // A text shows its name: what else it holds is asked only of one without a name.
    if (role == "AXStaticText") {
      auto title = stringFact(state, needName, &NodeState::name);
      if (!title.ok()) return title.error();
      if (!title.value().empty()) return AXValue(title.value());
    }
    auto interfaces = interfacesOf(state);
    if (!interfaces.ok() && interfaces.error() != AXError::noValue) return interfaces.error();
    const std::uint32_t flags = interfaces.ok() ? interfaces.value() : 0;
    const bool hasText = (flags & Interface::textInterface) != 0;
    if (isTextValueRole(role) || role == "AXStaticText") {
      if (role == "AXStaticText" || !hasText) {
        auto title = stringFact(state, needName, &NodeState::name);
        if (!title.ok()) return title.error();
        if (!title.value().empty() || !hasText) return AXValue(title.value());
      }
      AXError error = AXError::success;
      const QVariant text =
          callOnce(shared_->bus, state->ref, QStringLiteral("org.a11y.atspi.Text"),
                   QStringLiteral("GetText"), {0, -1}, timeout(), error);
      if (error != AXError::success) return absentAsNoValue(error);
      return AXValue(text.toString().toStdString());
    }
    if (valueIsSelectedItem(cachedRoleNumber(state).value_or(0), flags))
      return selectedItemName(state);
    if (!(flags & Interface::valueInterface)) return AXError::noValue;
    AXError error = AXError::success;
    const QVariant current = callOnce(
        shared_->bus, state->ref, dbusProperties, QStringLiteral("Get"),
        {QStringLiteral("org.a11y.atspi.Value"), QStringLiteral("CurrentValue")}, timeout(), error);
    if (error != AXError::success) return absentAsNoValue(error);
    bool ok = false;
    const double number = unwrapVariant(current).toDouble(&ok);
    if (!ok) return AXError::noValue;
    return AXValue(number);
  }

  // The name of the item a pop-up list shows: the selection of the list itself, or of the first
  // of its few children that holds one (a browser keeps its options in a list inside).
  AXResult<AXValue> selectedItemName(const NodeStatePtr& state) {
    std::vector<NodeStatePtr> holders = {state};
    if (AXError error = fetchOne(*shared_, state, needChildren, timeout());
        error != AXError::success)
      return absentAsNoValue(error);
    if (auto children = factOf(*state, &NodeState::children); children.ok()) {
      const auto& list = children.value();
      holders.insert(
          holders.end(), list.begin(),
          list.begin() + static_cast<std::ptrdiff_t>(std::min(list.size(), maxSelectionHolders)));
    }
    for (const auto& holder : holders) {
      auto interfaces = interfacesOf(holder);
      if (!interfaces.ok() || !(interfaces.value() & Interface::selectionInterface)) continue;
      AXError error = AXError::success;
      const QVariant answer =
          callOnce(shared_->bus, holder->ref, QStringLiteral("org.a11y.atspi.Selection"),
                   QStringLiteral("GetSelectedChild"), {0}, timeout(), error);
      if (error == AXError::cannotComplete) return error;
      if (error != AXError::success) continue;
      auto item = decodeReference(answer);
      if (!item || item->isNull()) continue;
      auto name = stringFact(stateNear(*item, *holder), needName, &NodeState::name);
      if (name.ok() && !name.value().empty()) return AXValue(name.value());
    }
    return AXError::noValue;
  }

  // A press that should expand the element but leaves it collapsed opened nothing: the
  // application may still have answered that it did.
  AXError awaitExpansion(const NodeStatePtr& state) {
    const double deadline = monotonicSeconds() + expansionWait;
    while (true) {
      auto states = statesOf(state, needStates);
      if (!states.ok()) return states.error();
      if (states.value().has(State::expanded)) return AXError::success;
      if (monotonicSeconds() >= deadline) return AXError::failure;
      std::this_thread::sleep_for(expansionPoll);
    }
  }

  // The descendant of the focused window with the focused state, breadth-first, bounded.
  // Focus moves often: nothing remembered is trusted here.
  AXResult<AXValue> focusedElement(const NodeStatePtr& application) {
    constexpr unsigned live = needStates | needChildren;
    auto window = focusedWindow(application, live);
    if (!window.ok()) return window.error();
    std::vector<NodeStatePtr> level = {window.value()};
    int visited = 0;
    while (!level.empty()) {
      if (AXError error = fetch(*shared_, level, live, timeout(), visited == 0 ? 0 : live);
          error != AXError::success)
        return error;
      std::vector<NodeStatePtr> next;
      for (const auto& node : level) {
        if (hasState(*node, State::focused)) return AXValue(elementOf(node));
        if (!isShowing(*node)) continue;
        std::lock_guard lock(node->mutex);
        if (!node->children.value || !node->children.value->ok()) continue;
        for (const auto& child : node->children.value->value()) {
          if (visited + static_cast<int>(level.size() + next.size()) >= maxFocusSearch) break;
          next.push_back(child);
        }
      }
      visited += static_cast<int>(level.size());
      level = std::move(next);
    }
    return AXError::noValue;
  }

  AXResult<AXElement> hitTest(const NodeStatePtr& application, int x, int y) {
    auto windows = topLevels(application);
    if (!windows.ok()) return windows.error();
    NodeStatePtr window;
    for (const auto& candidate : windows.value()) {
      std::optional<Extents> extents;
      {
        std::lock_guard lock(candidate->mutex);
        if (candidate->extents.value && candidate->extents.value->ok())
          extents = candidate->extents.value->value();
      }
      if (!extents || x < extents->x || y < extents->y || x - extents->x >= extents->width ||
          y - extents->y >= extents->height)
        continue;
      // AT-SPI tells nothing of how an application's windows overlap; the active one is in
      // front.
      if (hasState(*candidate, State::active)) {
        window = candidate;
        break;
      }
      if (!window) window = candidate;
    }
    if (!window) return AXError::noValue;
    // A toolkit that picks by window-relative points answers with whatever it draws there, often
    // an object it does not export: the frames it reports say it too.
    if (window->window) return hitByFrames(window, x, y);

    ObjectRef current = window->ref;
    for (int step = 0; step < maxHitSteps; ++step) {
      if (!offers(current == window->ref ? window : stateNear(current, *window),
                  Interface::componentInterface))
        break;
      AXError error = AXError::success;
      const QVariant answer =
          callOnce(shared_->bus, current, atspiComponent, QStringLiteral("GetAccessibleAtPoint"),
                   {x, y, 0U}, timeout(), error);
      if (error == AXError::cannotComplete) return error;
      if (error != AXError::success) break;
      auto next = decodeReference(answer);
      if (!next || next->isNull() || *next == current) break;
      current = *next;
    }
    if (current == window->ref) return elementOf(window);
    auto element = elementOf(current, *window);
    if (!element) return AXError::noValue;
    return element;
  }

  // The deepest showing element whose frame holds the point, later siblings on top.
  AXResult<AXElement> hitByFrames(const NodeStatePtr& window, int x, int y) {
    NodeStatePtr current = window;
    for (int step = 0; step < maxHitSteps; ++step) {
      auto children = showingChildren(current);
      if (!children.ok()) {
        if (children.error() == AXError::cannotComplete) return children.error();
        break;
      }
      NodeStatePtr next;
      for (auto child = children.value().rbegin(); child != children.value().rend(); ++child) {
        std::lock_guard lock((*child)->mutex);
        const auto& fact = (*child)->extents.value;
        if (!fact || !fact->ok()) continue;
        const Extents& e = fact->value();
        if (e.width > 0 && e.height > 0 && x >= e.x && y >= e.y && x - e.x < e.width &&
            y - e.y < e.height) {
          next = *child;
          break;
        }
      }
      if (!next) break;
      current = next;
    }
    return elementOf(current);
  }

  // ── Writes ──

  AXError grabFocus(const NodeStatePtr& state) {
    if (!offers(state, Interface::componentInterface)) return AXError::attributeUnsupported;
    AXError error = AXError::success;
    const QVariant done = callOnce(shared_->bus, state->ref, atspiComponent,
                                   QStringLiteral("GrabFocus"), {}, timeout(), error);
    if (error == AXError::noValue) return AXError::attributeUnsupported;
    if (error != AXError::success) return error;
    return done.toBool() ? AXError::success : AXError::failure;
  }

  AXError select(const NodeStatePtr& state) {
    auto parent = parentRef(state);
    if (!parent.ok())
      return parent.error() == AXError::noValue ? AXError::attributeUnsupported : parent.error();
    AXError error = AXError::success;
    const QVariant index = callOnce(shared_->bus, state->ref, atspiAccessible,
                                    QStringLiteral("GetIndexInParent"), {}, timeout(), error);
    if (error != AXError::success) return error;
    bool ok = false;
    const int position = index.toInt(&ok);
    if (!ok || position < 0) return AXError::failure;
    if (!offers(stateNear(parent.value(), *state), Interface::selectionInterface))
      return AXError::attributeUnsupported;
    const QVariant done =
        callOnce(shared_->bus, parent.value(), QStringLiteral("org.a11y.atspi.Selection"),
                 QStringLiteral("SelectChild"), {position}, timeout(), error);
    if (error == AXError::noValue) return AXError::attributeUnsupported;
    if (error != AXError::success) return error;
    return done.toBool() ? AXError::success : AXError::failure;
  }

  // Accessibility is one switch for the whole desktop. Success only when this write turned it
  // on: an application whose tree is already awake must not be reported as having slept.
  AXError switchOnAccessibility() {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) return AXError::cannotComplete;
    const QString service = QStringLiteral("org.a11y.Bus");
    const QString path = QStringLiteral("/org/a11y/bus");
    const QString status = QStringLiteral("org.a11y.Status");
    const QString enabled = QStringLiteral("IsEnabled");
    auto get = QDBusMessage::createMethodCall(service, path, dbusProperties, QStringLiteral("Get"));
    get.setArguments({status, enabled});
    const QDBusMessage answer = session.call(get, QDBus::Block, timeoutMilliseconds(timeout()));
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
      return answer.type() == QDBusMessage::ErrorMessage
                 ? absentAsNoValue(errorFromDBus(answer.errorName().toStdString()))
                 : AXError::failure;
    if (unwrapVariant(answer.arguments().constFirst()).toBool())
      return AXError::attributeUnsupported;
    auto set = QDBusMessage::createMethodCall(service, path, dbusProperties, QStringLiteral("Set"));
    set.setArguments({status, enabled, QVariant::fromValue(QDBusVariant(true))});
    const QDBusMessage done = session.call(set, QDBus::Block, timeoutMilliseconds(timeout()));
    if (done.type() != QDBusMessage::ReplyMessage)
      return done.type() == QDBusMessage::ErrorMessage
                 ? errorFromDBus(done.errorName().toStdString())
                 : AXError::failure;
    return AXError::success;
  }

  // ── The system-wide element ──

  AXResult<AXValue> systemWideAttribute(std::string_view name) {
    if (name == "AXRole") return AXValue(std::string("AXSystemWide"));
    if (name != "AXFocusedApplication" && name != "AXFocusedUIElement")
      return AXError::attributeUnsupported;
    const auto pid = shared_->keyboardFocusPid ? shared_->keyboardFocusPid() : std::nullopt;
    if (!pid) return AXError::noValue;
    AXElement application = applicationElement(shared_, *pid);
    if (!application) return AXError::noValue;
    if (name == "AXFocusedApplication") return AXValue(std::move(application));
    application.setMessagingTimeout(timeout_.load());
    return application.attribute("AXFocusedUIElement");
  }

  std::shared_ptr<Shared> shared_;
  const Kind kind_;
  const std::int32_t pid_;  // of an application element
  mutable std::mutex resolveMutex_;
  mutable NodeStatePtr state_;
  std::atomic<double> timeout_{0};
};

}  // namespace

void NodeState::invalidate() {
  std::lock_guard lock(mutex);
  role = {};
  states = {};
  interfaces = {};
  extents = {};
  name = {};
  description = {};
  children = {};
  attributes = {};
  actions = {};
  labelledBy = {};
  servedAt.clear();
  childrenReadAheadAt = -1e9;
}

NodeStatePtr stateNear(const ObjectRef& ref, const NodeState& from) {
  return stateNear(ref, from, from.window);
}

NodeStatePtr stateNear(const ObjectRef& ref, const NodeState& from,
                       std::shared_ptr<WindowPlacement> placement) {
  if (ref.bus != from.ref.bus) return std::make_shared<NodeState>(ref, std::nullopt);
  std::shared_ptr<WindowPlacement> window;
  if (!ref.isRoot()) {
    if (!from.ref.isRoot())
      window = std::move(placement);
    else if (from.conventions.windowRelativeExtents)
      window = std::make_shared<WindowPlacement>(ref);
  }
  return std::make_shared<NodeState>(ref, from.pid, from.conventions, std::move(window));
}

std::optional<std::pair<std::string, std::string>> toolkitOf(Shared& shared, const QString& bus,
                                                             double timeout) {
  const double now = monotonicSeconds();
  {
    std::lock_guard lock(shared.toolkitMutex);
    if (auto found = shared.toolkits.find(bus);
        found != shared.toolkits.end() &&
        (found->second.toolkit || now - found->second.at < toolkitRetrySeconds))
      return found->second.toolkit;
  }
  const QString application = QStringLiteral("org.a11y.atspi.Application");
  Batch batch(shared.bus, timeout);
  const int name = batch.add(bus, rootPath, dbusProperties, QStringLiteral("Get"),
                             {application, QStringLiteral("ToolkitName")});
  const int version = batch.add(bus, rootPath, dbusProperties, QStringLiteral("Get"),
                                {application, QStringLiteral("Version")});
  batch.run();
  // Unanswered: asked again once the retry time has passed. An application without the
  // properties has no name.
  if (batch.overall() != AXError::success) {
    std::lock_guard lock(shared.toolkitMutex);
    shared.toolkits[bus] = {std::nullopt, now};
    return std::nullopt;
  }
  const auto text = [&](int index) {
    return batch.error(index) == AXError::success
               ? unwrapVariant(batch.argument(index)).toString().toStdString()
               : std::string();
  };
  std::pair<std::string, std::string> toolkit{text(name), text(version)};
  std::lock_guard lock(shared.toolkitMutex);
  shared.toolkits[bus] = {toolkit, now};
  return toolkit;
}

std::optional<std::uint32_t> knownInterfaces(Shared& shared, const ObjectRef& ref) {
  std::lock_guard lock(shared.interfacesMutex);
  const auto bus = shared.interfacesByBus.find(ref.bus);
  if (bus == shared.interfacesByBus.end()) return std::nullopt;
  const auto found = bus->second.find(ref.path);
  if (found == bus->second.end()) return std::nullopt;
  return found->second;
}

void rememberInterfaces(Shared& shared, const ObjectRef& ref, std::uint32_t interfaces) {
  std::lock_guard lock(shared.interfacesMutex);
  // Objects come and go: past this many, everything is forgotten and learnt again as met.
  constexpr std::size_t maxKnown = 100000;
  if (shared.interfacesKnown >= maxKnown) {
    shared.interfacesByBus.clear();
    shared.interfacesKnown = 0;
  }
  if (shared.interfacesByBus[ref.bus].insert_or_assign(ref.path, interfaces).second)
    ++shared.interfacesKnown;
}

AXElement applicationElement(const std::shared_ptr<Shared>& shared, std::int32_t pid) {
  if (pid == static_cast<std::int32_t>(::getpid())) return selfApplication(pid);
  return AXElement(
      std::make_shared<AtspiElement>(shared, AtspiElement::Kind::application, pid, nullptr));
}

AXElement systemWideElement(const std::shared_ptr<Shared>& shared) {
  return AXElement(
      std::make_shared<AtspiElement>(shared, AtspiElement::Kind::systemWide, 0, nullptr));
}

}  // namespace tovrel::platform::atspi
