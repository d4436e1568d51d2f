#include "platform/atspi/AtspiFetch.hpp"

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "core/StageTrace.hpp"

namespace tovrel::platform::atspi {
namespace {

using stageTrace::Stage;

const QString atspiAccessible = QStringLiteral("org.a11y.atspi.Accessible");
const QString atspiComponent = QStringLiteral("org.a11y.atspi.Component");
const QString atspiAction = QStringLiteral("org.a11y.atspi.Action");
const QString dbusProperties = QStringLiteral("org.freedesktop.DBus.Properties");

constexpr int maxTreeDepth = 64;
// More actions than this on one element is a broken answer, not a list worth asking through.
constexpr std::uint32_t maxActions = 64;

struct Call {
  QString interface;
  QString method;
  QVariantList arguments;
};

Call callFor(Need need, const NodeState& node) {
  switch (need) {
    case needRole:
      return {atspiAccessible, QStringLiteral("GetRole"), {}};
    case needStates:
      return {atspiAccessible, QStringLiteral("GetState"), {}};
    case needInterfaces:
      return {atspiAccessible, QStringLiteral("GetInterfaces"), {}};
    case needExtents:
      // Screen coordinates (0), or window coordinates (1) from a toolkit that has no others and
      // complains of every request for them.
      return {atspiComponent,
              QStringLiteral("GetExtents"),
              {node.conventions.windowRelativeExtents ? 1U : 0U}};
    case needName:
      return {dbusProperties, QStringLiteral("Get"), {atspiAccessible, QStringLiteral("Name")}};
    case needDescription:
      return {
          dbusProperties, QStringLiteral("Get"), {atspiAccessible, QStringLiteral("Description")}};
    case needChildren:
      return {atspiAccessible, QStringLiteral("GetChildren"), {}};
    case needAttributes:
      return {atspiAccessible, QStringLiteral("GetAttributes"), {}};
    case needActions:
      if (node.conventions.listsActions) return {atspiAction, QStringLiteral("GetActions"), {}};
      // How many, and then each one's name by its index.
      return {dbusProperties, QStringLiteral("Get"), {atspiAction, QStringLiteral("NActions")}};
    case needParent:
      return {dbusProperties, QStringLiteral("Get"), {atspiAccessible, QStringLiteral("Parent")}};
    case needLabelledBy:
      return {atspiAccessible, QStringLiteral("GetRelationSet"), {}};
  }
  return {};
}

// The stage a question's time counts to.
Stage stageOf(Need need) {
  switch (need) {
    case needInterfaces:
      return Stage::interfaces;
    case needName:
    case needDescription:
    case needAttributes:
    case needActions:
    case needLabelledBy:
      return Stage::details;
    default:
      return Stage::walk;
  }
}

Call actionNameCall(int index) {
  return {atspiAction, QStringLiteral("GetName"), {index}};
}

unsigned freshMask(const NodeState& node, double now) {
  unsigned mask = 0;
  if (node.role.fresh(now)) mask |= needRole;
  if (node.states.fresh(now)) mask |= needStates;
  // An object's interfaces are its own for life.
  if (node.interfaces.fresh(now) || (node.interfaces.value && node.interfaces.value->ok()))
    mask |= needInterfaces;
  if (node.extents.fresh(now)) mask |= needExtents;
  if (node.name.fresh(now)) mask |= needName;
  if (node.description.fresh(now)) mask |= needDescription;
  if (node.children.fresh(now)) mask |= needChildren;
  if (node.attributes.fresh(now)) mask |= needAttributes;
  if (node.actions.fresh(now)) mask |= needActions;
  if (node.parent) mask |= needParent;
  if (node.labelledBy.fresh(now)) mask |= needLabelledBy;
  return mask;
}

template <class T>
void store(Fact<T>& fact, AXError error, std::optional<T> value, double at) {
  // An unanswered question is asked again next time rather than remembered.
  if (error == AXError::cannotComplete) return;
  if (error == AXError::success && !value) error = AXError::failure;
  fact.value = error == AXError::success ? AXResult<T>(std::move(*value)) : AXResult<T>(error);
  fact.at = at;
}

std::optional<std::string> decodeString(const QVariant& value) {
  const QVariant inner = unwrapVariant(value);
  if (inner.metaType() != QMetaType::fromType<QString>()) return std::nullopt;
  return inner.toString().toStdString();
}

// Whether the placement has found the window it lies in.
bool placed(WindowPlacement& placement) {
  std::lock_guard lock(placement.mutex);
  return placement.shift.has_value();
}

// The placement a node's children take: its own surface's when it has one that was found on the
// screen, else its window's. The node's mutex is held.
std::shared_ptr<WindowPlacement> childPlacement(const NodeState& node) {
  if (node.surface && placed(*node.surface)) return node.surface;
  return node.window;
}

// Children made anew keep what their earlier selves had learnt while it is fresh.
std::vector<NodeStatePtr> childStates(const NodeState& parent, const std::vector<ObjectRef>& refs,
                                      const std::vector<NodeStatePtr>* previous) {
  std::vector<NodeStatePtr> out;
  out.reserve(refs.size());
  std::size_t hint = 0;
  for (const auto& ref : refs) {
    NodeStatePtr reused;
    if (previous) {
      for (std::size_t i = 0; i < previous->size() && !reused; ++i) {
        const auto& candidate = (*previous)[(hint + i) % previous->size()];
        if (candidate->ref == ref) {
          reused = candidate;
          hint = (hint + i + 1) % previous->size();
        }
      }
    }
    if (!reused) {
      reused = stateNear(ref, parent, childPlacement(parent));
      std::lock_guard lock(reused->mutex);
      reused->parent = parent.ref;
      reused->placement = parent.ref.isRoot() ? Placement::topLevel : Placement::inside;
    }
    out.push_back(std::move(reused));
  }
  return out;
}

// A toolkit that places elements within their window puts a pop-up on a surface of its own yet
// reports it, and what it holds, as if it lay at its origin in the window.
bool mayHaveOwnSurface(std::uint32_t role) {
  switch (static_cast<Role>(role)) {
    case Role::menu:
    case Role::popupMenu:
    case Role::dialog:
    case Role::window:
      return true;
    default:
      return false;
  }
}

// A pop-up's surface is the window of exactly its size; another only roughly as large is not it.
constexpr long surfaceTolerance = 4;

// A frame as the toolkit reports it → the frame on the screen, by `placement`. Its top-level's own
// frame says where the window's origin is; the window system says where that window lies.
// Nothing when that window was not found.
std::optional<Extents> placeOnScreen(Shared& shared, const NodeState& node, WindowPlacement& window,
                                     Extents extents, double now, long tolerance,
                                     const FrameIdentity& identity) {
  std::lock_guard lock(window.mutex);
  const bool topLevel = node.ref == window.topLevel;
  if (topLevel &&
      (!window.reported || window.reported->x != extents.x || window.reported->y != extents.y ||
       window.reported->width != extents.width || window.reported->height != extents.height ||
       window.name != identity.name || window.active != identity.active)) {
    window.reported = extents;
    window.name = std::string(identity.name);
    window.active = identity.active;
    window.shiftAt = -1e9;
  }
  // Windows move: where it lies is asked again once the snapshots of its elements are stale.
  if (window.reported && shared.windowsOf && node.pid && now - window.shiftAt >= snapshotLifetime) {
    const Extents& own = *window.reported;
    const FrameIdentity identity{window.name, window.active};
    const auto listed = windowsOf(shared, *node.pid, false);
    window.shift =
        windowShift(listed.windows, own.x, own.y, own.width, own.height, tolerance, identity);
    // A window that opened since the list was made is looked for in a new one.
    if (!window.shift && listed.reused)
      window.shift = windowShift(windowsOf(shared, *node.pid, true).windows, own.x, own.y,
                                 own.width, own.height, tolerance, identity);
    window.shiftAt = now;
  }
  if (!window.shift) return std::nullopt;
  extents.x += window.shift->dx;
  extents.y += window.shift->dy;
  return extents;
}

Extents placeOnScreen(Shared& shared, NodeState& node, Extents extents, double now) {
  if (!node.window) return extents;
  std::shared_ptr<WindowPlacement> surface;
  // What a top-level says of itself tells its window from others of its size: read with its own
  // lock, never under a placement's.
  std::string name;
  std::optional<bool> active;
  {
    std::lock_guard lock(node.mutex);
    if (node.ref == node.window->topLevel) {
      if (node.name.value && node.name.value->ok()) name = node.name.value->value();
      if (node.states.value && node.states.value->ok())
        active = node.states.value->value().has(State::active);
    }
    if (node.ref != node.window->topLevel && node.role.value && node.role.value->ok() &&
        mayHaveOwnSurface(node.role.value->value())) {
      if (!node.surface) node.surface = std::make_shared<WindowPlacement>(node.ref);
      surface = node.surface;
    }
  }
  if (surface) {
    if (auto placed =
            placeOnScreen(shared, node, *surface, extents, now, surfaceTolerance, {name, active}))
      return *placed;
  }
  return placeOnScreen(shared, node, *node.window, extents, now, windowTolerance, {name, active})
      .value_or(extents);
}

StateSet conventionalStates(const NodeState& node, StateSet states) {
  // Inside a showing window (the walk reaches no other), a visible element is showing.
  if (node.conventions.visibleMeansShowing && node.window && node.ref != node.window->topLevel &&
      states.has(State::visible))
    states.bits |= std::uint64_t{1} << static_cast<unsigned>(State::showing);
  return states;
}

// Each fact as an answer brings it, its node's mutex held.
void storeStates(NodeState& node, AXError error,
                 const std::optional<std::vector<std::uint32_t>>& words, double now) {
  store(node.states, error,
        words ? std::optional<StateSet>(conventionalStates(node, StateSet::fromWords(*words)))
              : std::nullopt,
        now);
}

void storeInterfaces(Shared& shared, NodeState& node, AXError error,
                     const std::optional<std::vector<std::string>>& names, double now) {
  const auto flags =
      names ? std::optional<std::uint32_t>(interfacesFromNames(*names)) : std::nullopt;
  store(node.interfaces, error, flags, now);
  if (error == AXError::success && flags) rememberInterfaces(shared, node.ref, *flags);
}

void storeName(NodeState& node, AXError error, std::optional<std::string> name, double now) {
  std::optional<std::uint32_t> role;
  if (node.role.value && node.role.value->ok()) role = node.role.value->value();
  if (name) *name = std::string(ownName(*name, role, node.conventions));
  store(node.name, error, std::move(name), now);
}

void storeChildren(NodeState& node, AXError error,
                   const std::optional<std::vector<ObjectRef>>& refs, double now) {
  std::optional<std::vector<NodeStatePtr>> states;
  if (refs) {
    const std::vector<NodeStatePtr>* previous =
        node.children.value && node.children.value->ok() ? &node.children.value->value() : nullptr;
    states = childStates(node, *refs, previous);
    if (node.role.value && node.role.value->ok()) {
      const std::uint32_t role = node.role.value->value();
      for (const auto& child : *states) {
        std::lock_guard childLock(child->mutex);
        child->parentRole = role;
      }
    }
  }
  store(node.children, error, std::move(states), now);
}

// When a list of actions whose names are still to come was read: never fresh.
constexpr double awaitingNames = -1e18;

// Stores one answer. For actions, the count of names to ask one by one is returned.
std::optional<int> applyReply(Shared& shared, NodeState& node, Need need, AXError error,
                              const QVariant& value, double now) {
  std::optional<Extents> extents;
  if (need == needExtents) {
    extents = decodeExtents(value);
    if (extents && error == AXError::success) extents = placeOnScreen(shared, node, *extents, now);
  }
  std::lock_guard lock(node.mutex);
  switch (need) {
    case needRole:
      store(node.role, error, decodeUint(value), now);
      break;
    case needStates:
      storeStates(node, error, decodeUints(value), now);
      break;
    case needInterfaces:
      storeInterfaces(shared, node, error, decodeStrings(value), now);
      break;
    case needExtents:
      store(node.extents, error, extents, now);
      break;
    case needName:
      storeName(node, error, decodeString(value), now);
      break;
    case needDescription:
      store(node.description, error, decodeString(value), now);
      break;
    case needChildren:
      storeChildren(node, error, decodeReferences(value), now);
      break;
    case needAttributes:
      store(node.attributes, error, decodeStringMap(value), now);
      break;
    case needActions: {
      // Listed, or nameless until the names asked by index arrive; a list of names that are not
      // plain names is asked by index too.
      std::optional<std::vector<std::string>> names;
      if (node.conventions.listsActions)
        names = decodeActionNames(value);
      else if (auto count = decodeUint(unwrapVariant(value)); count && *count <= maxActions)
        names.emplace(*count);
      store(node.actions, error, names, now);
      if (error == AXError::success && names && !names->empty() &&
          (!node.conventions.listsActions || !plainActionNames(*names))) {
        // Not an answer until the names are in: a read that ends before they arrive (a time-out
        // cuts it short) leaves the list to be asked again, not to serve as nameless actions.
        node.actions.at = awaitingNames;
        return static_cast<int>(names->size());
      }
      break;
    }
    case needLabelledBy:
      store(node.labelledBy, error, decodeRelationTargets(value, relationLabelledBy), now);
      break;
    case needParent:
      if (error == AXError::success) {
        if (auto parent = decodeReference(unwrapVariant(value))) {
          node.parent = *parent;
          if (!parent->isNull() && node.placement == Placement::unknown)
            node.placement = parent->isRoot() ? Placement::topLevel : Placement::inside;
        }
      }
      break;
  }
  return std::nullopt;
}

// The names asked by index, once every one of them was answered.
void applyNamesByIndex(NodeState& node, const std::vector<std::optional<std::string>>& answers,
                       double now) {
  std::lock_guard lock(node.mutex);
  if (!node.actions.value || !node.actions.value->ok() || node.actions.at != awaitingNames) return;
  node.actions.value =
      AXResult<std::vector<std::string>>(actionNamesByIndex(node.actions.value->value(), answers));
  node.actions.at = now;
}

// The interface a question belongs to, when not every object offers it.
std::uint32_t interfaceAsked(Need need) {
  switch (need) {
    case needExtents:
      return Interface::componentInterface;
    case needActions:
      return Interface::actionInterface;
    default:
      return 0;
  }
}
constexpr unsigned gatedNeeds = needExtents | needActions;

struct Asks {
  unsigned now = 0;
  // Asked once the answer about the node's interfaces is in.
  unsigned afterInterfaces = 0;
};

// What to ask of `node` out of `needs`: what it does not know freshly (or, for the needs in
// `live`, at all), where a question of an interface goes only to a node known to offer it. A
// node known not to offer it has the answer "no value" without asking; one whose interfaces are
// not known yet is asked them first.
Asks plan(Shared& shared, NodeState& node, unsigned needs, double now, unsigned live) {
  std::optional<std::uint32_t> remembered;
  bool interfacesUnknown = false;
  {
    std::lock_guard lock(node.mutex);
    interfacesUnknown = !node.interfaces.value || !node.interfaces.value->ok();
  }
  if (interfacesUnknown && (needs & (gatedNeeds | needInterfaces)))
    remembered = knownInterfaces(shared, node.ref);
  std::lock_guard lock(node.mutex);
  if (remembered) {
    node.interfaces.value = AXResult<std::uint32_t>(*remembered);
    node.interfaces.at = now;
  }
  Asks asks;
  asks.now = needs & ~(freshMask(node, now) & ~live);
  const unsigned gated = asks.now & gatedNeeds;
  if (!gated) return asks;
  const auto& interfaces = node.interfaces.value;
  if (!interfaces && offersFramesAndActions(node)) return asks;
  if (!interfaces) {
    asks.now = (asks.now & ~gated) | needInterfaces;
    asks.afterInterfaces = gated;
    return asks;
  }
  for (unsigned bit = 1; bit <= lastNeed; bit <<= 1) {
    if (!(gated & bit)) continue;
    const auto need = static_cast<Need>(bit);
    if (interfaces->ok() && (interfaces->value() & interfaceAsked(need))) continue;
    asks.now &= ~bit;
    // A node that could not say what it offers is not asked, and its answer is not made up: it
    // is asked again once a new answer about its interfaces is in. A node that is gone, or that
    // does not offer the interface, has the answer it would have given.
    if (!interfaces->ok() && interfaces->error() != AXError::invalidUIElement) continue;
    const AXError error = interfaces->ok() ? AXError::noValue : interfaces->error();
    if (need == needExtents) node.extents = {AXResult<Extents>(error), now};
    if (need == needActions) node.actions = {AXResult<std::vector<std::string>>(error), now};
  }
  return asks;
}

bool nameIsEmpty(const NodeState& node) {
  std::lock_guard lock(node.mutex);
  return node.name.value && node.name.value->ok() && node.name.value->value().empty();
}

// A plain container large enough to be seen: the walk asks whether it can be pressed.
bool mayBeClickableGroup(const NodeState& node) {
  std::lock_guard lock(node.mutex);
  if (!node.role.value || !node.role.value->ok()) return false;
  const auto role = static_cast<Role>(node.role.value->value());
  if (role != Role::filler && role != Role::panel) return false;
  if (!node.extents.value || !node.extents.value->ok()) return false;
  const Extents& extents = node.extents.value->value();
  return extents.width >= 4 && extents.height >= 4;
}

// Whether the walk may look for another name of a nameless node: it names the controls. What
// only shows something (an icon, a text, a heading) and offers no action is asked that only when
// the walk needs it, so a window of many nameless pictures is not asked four more questions for
// each.
bool mayBeNamed(const NodeState& node) {
  std::lock_guard lock(node.mutex);
  // Unknown, or actions it has (one that offers no Action interface has none).
  if (!node.actions.value) return true;
  if (node.actions.value->ok() ? !node.actions.value->value().empty()
                               : node.actions.value->error() != AXError::noValue)
    return true;
  if (!node.role.value || !node.role.value->ok()) return true;
  switch (static_cast<Role>(node.role.value->value())) {
    case Role::acceleratorLabel:
    case Role::animation:
    case Role::canvas:
    case Role::caption:
    case Role::drawingArea:
    case Role::heading:
    case Role::icon:
    case Role::image:
    case Role::label:
    case Role::levelBar:
    case Role::paragraph:
    case Role::progressBar:
    case Role::section:
    case Role::separator:
    case Role::staticText:
    case Role::statusBar:
    case Role::toolTip:
      return false;
    default:
      return true;
  }
}

bool outside(const Extents& inner, const Extents& outer) {
  if (inner.width <= 0 || inner.height <= 0) return false;
  return inner.x + inner.width <= outer.x || outer.x + outer.width <= inner.x ||
         inner.y + inner.height <= outer.y || outer.y + outer.height <= inner.y;
}

std::optional<Extents> knownExtents(const NodeState& node) {
  std::lock_guard lock(node.mutex);
  if (!node.extents.value || !node.extents.value->ok()) return std::nullopt;
  return node.extents.value->value();
}

// What a toolkit that describes every object a client has met in one answer of its cache said of
// them: a read-ahead of a window learns from it what it would otherwise ask of each node in turn,
// level after level. What the application has not described (objects no client has met yet,
// children made since) is asked as before.
class CacheIndex {
 public:
  // Asks the application of `window` for its cache, when its toolkit keeps one.
  void read(Shared& shared, const NodeStatePtr& window, double timeout) {
    if (!window->conventions.cachesItems) return;
    {
      std::lock_guard lock(window->mutex);
      const bool topLevel = window->placement == Placement::topLevel ||
                            (window->window && window->ref == window->window->topLevel);
      if (!topLevel) return;
    }
    Batch batch(shared.bus, timeout);
    batch.add(window->ref.bus, QStringLiteral("/org/a11y/atspi/cache"),
              QStringLiteral("org.a11y.atspi.Cache"), QStringLiteral("GetItems"));
    {
      stageTrace::Scope scope(Stage::walk);
      scope.weigh(Stage::walk, 1);
      batch.run();
    }
    if (batch.error(0) != AXError::success) return;
    auto items = decodeCacheItems(batch.argument(0));
    if (!items) return;
    items_ = std::move(*items);
    for (const CacheItem& item : items_) {
      if (item.ref.bus != window->ref.bus) continue;
      byPath_[item.ref.path] = &item;
      // One that is not among its parent's children (a browser's pop-up, kept beside the button
      // that opens it) is not counted as one.
      if (item.index >= 0) byParent_[item.parent.path].push_back(&item);
    }
  }

  // Stores what the cache says of `node` unless its facts are fresh already; its children only
  // when the cache holds each of them at its place (it may still list one that is gone, or miss
  // one). Whether it knew the node.
  bool learn(Shared& shared, NodeState& node, double now) const {
    const auto found = byPath_.find(node.ref.path);
    if (found == byPath_.end()) return false;
    const CacheItem& item = *found->second;
    std::optional<std::vector<ObjectRef>> refs;
    if (const auto listed = byParent_.find(node.ref.path); listed != byParent_.end()) {
      std::vector<const CacheItem*> kids = listed->second;
      std::sort(kids.begin(), kids.end(),
                [](const CacheItem* a, const CacheItem* b) { return a->index < b->index; });
      bool complete = static_cast<int>(kids.size()) == item.childCount;
      for (std::size_t i = 0; complete && i < kids.size(); ++i)
        complete = kids[i]->index == static_cast<int>(i);
      if (complete) {
        refs.emplace();
        for (const CacheItem* kid : kids)
          refs->push_back(kid->ref);
      }
    } else if (item.childCount == 0) {
      refs.emplace();
    }
    // A pop-up's children take its surface's placement, found only once its frame is in: they
    // are asked after it, as a read without the cache asks them.
    if (mayHaveOwnSurface(item.role) && node.window && node.ref != node.window->topLevel)
      refs.reset();
    std::lock_guard lock(node.mutex);
    if (node.role.fresh(now) && node.states.fresh(now)) return true;
    store(node.role, AXError::success, std::optional<std::uint32_t>(item.role), now);
    storeStates(node, AXError::success, item.states, now);
    storeInterfaces(shared, node, AXError::success, item.interfaces, now);
    storeName(node, AXError::success, item.name, now);
    store(node.description, AXError::success, std::optional<std::string>(item.description), now);
    if (refs) storeChildren(node, AXError::success, refs, now);
    return true;
  }

  // Learns the showing nodes below `window` that the cache reaches, breadth first, at most
  // `maxNodes`; returns them, `window` first.
  std::vector<NodeStatePtr> learnTree(Shared& shared, const NodeStatePtr& window, double now,
                                      std::size_t maxNodes) const {
    std::vector<NodeStatePtr> showing;
    if (byPath_.empty()) return showing;
    std::deque<NodeStatePtr> queue{window};
    while (!queue.empty() && showing.size() < maxNodes) {
      const NodeStatePtr node = queue.front();
      queue.pop_front();
      if (!learn(shared, *node, now) || !isShowing(*node)) continue;
      showing.push_back(node);
      std::lock_guard lock(node->mutex);
      if (node->children.fresh(now) && node->children.value->ok())
        for (const auto& child : node->children.value->value())
          queue.push_back(child);
    }
    return showing;
  }

 private:
  std::vector<CacheItem> items_;
  std::map<QString, const CacheItem*> byPath_;
  std::map<QString, std::vector<const CacheItem*>> byParent_;
};

// The read-ahead of one subtree. Replies come back in the order the calls went out, so a node's
// last call answered means all of its calls are.
class TreeFetch {
 public:
  TreeFetch(Shared& shared, double timeout, std::size_t maxNodes)
      : shared_(shared),
        timeout_(timeout),
        pipeline_(shared.bus, timeout),
        now_(monotonicSeconds()),
        maxNodes_(maxNodes) {}

  AXError run(const NodeStatePtr& root) {
    // The frames of every showing node the cache describes are asked at once, not level after
    // level.
    cache_.read(shared_, root, timeout_);
    if (const auto learnt = cache_.learnTree(shared_, root, now_, maxNodes_); learnt.size() > 1) {
      if (AXError error = fetch(shared_, learnt, needExtents, timeout_);
          error == AXError::cannotComplete)
        return error;
    }
    stageTrace::Scope scope(Stage::walk);
    bounds_ = knownExtents(*root);
    ask(root, snapshotNeeds, [this, root] { open(root, 0); });
    pipeline_.sendUntil(now_ + readAheadSeconds);
    const AXError error = pipeline_.run();
    if (pipeline_.stoppedSending()) shared_.readAheadCutAt.store(now_);
    for (std::size_t stage = 0; stage < stageTrace::stageCount; ++stage)
      scope.weigh(static_cast<Stage>(stage), sent_[stage]);
    return error;
  }

 private:
  void ask(const NodeStatePtr& node, unsigned needs, std::function<void()> then) {
    const Asks asks = plan(shared_, *node, needs, now_, 0);
    if (asks.afterInterfaces) {
      then = [this, node, gated = asks.afterInterfaces, then = std::move(then)]() mutable {
        // Asked of the interfaces the answer says it offers; nothing more when none came.
        send(node, plan(shared_, *node, gated, now_, 0).now & ~needInterfaces, std::move(then));
      };
    }
    send(node, asks.now, std::move(then));
  }

  void send(const NodeStatePtr& node, unsigned missing, std::function<void()> then) {
    if (missing == 0) {
      if (then) then();
      return;
    }
    unsigned last = 0;
    for (unsigned bit = 1; bit <= lastNeed; bit <<= 1)
      if (missing & bit) last = bit;
    for (unsigned bit = 1; bit <= lastNeed; bit <<= 1) {
      if (!(missing & bit)) continue;
      const auto need = static_cast<Need>(bit);
      const Call call = callFor(need, *node);
      ++sent_[static_cast<std::size_t>(stageOf(need))];
      auto done = bit == last ? std::move(then) : std::function<void()>();
      pipeline_.add(
          node->ref, call.interface, call.method, call.arguments,
          [this, node, need, done = std::move(done)](AXError error, const QDBusMessage& reply) {
            const QVariant value =
                reply.arguments().isEmpty() ? QVariant() : reply.arguments().first();
            if (auto count = applyReply(shared_, *node, need, error, value, now_))
              askNamesByIndex(node, *count);
            if (done) done();
          });
    }
  }

  void askNamesByIndex(const NodeStatePtr& node, int count) {
    if (count <= 0) return;
    auto answers = std::make_shared<std::vector<std::optional<std::string>>>(count);
    sent_[static_cast<std::size_t>(Stage::details)] += count;
    auto answered = std::make_shared<bool>(true);
    for (int index = 0; index < count; ++index) {
      const Call call = actionNameCall(index);
      pipeline_.add(
          node->ref, call.interface, call.method, call.arguments,
          [this, node, answers, answered, index, count](AXError error, const QDBusMessage& reply) {
            if (error == AXError::success && !reply.arguments().isEmpty())
              (*answers)[index] = decodeString(reply.arguments().first());
            *answered = *answered && error != AXError::cannotComplete;
            if (index == count - 1 && *answered) applyNamesByIndex(*node, *answers, now_);
          });
    }
  }

  // A node whose snapshot is known: its details when it may become a target, then its children
  // when the walk may look at them.
  void open(const NodeStatePtr& node, int depth) {
    if (!isShowing(*node)) return;
    if (monotonicSeconds() - now_ > readAheadSeconds) return;
    if (depth > 0 && wantsDetails(*node)) {
      // A control without a name is named from its description, placeholder or text next: the
      // walk asks those one by one, so they are read ahead too.
      ask(node, snapshotDetails, [this, node] {
        if (nameIsEmpty(*node) && mayBeNamed(*node))
          ask(node, needDescription | needAttributes | needInterfaces | needLabelledBy, {});
      });
    } else if (depth > 0 && mayBeClickableGroup(*node)) {
      ask(node, needActions, {});
    }
    if (depth >= maxTreeDepth) return;
    if (depth > 0 && bounds_) {
      if (auto extents = knownExtents(*node); extents && outside(*extents, *bounds_)) return;
    }
    std::vector<NodeStatePtr> children;
    {
      std::lock_guard lock(node->mutex);
      if (!node->children.value || !node->children.value->ok()) return;
      children = node->children.value->value();
      if (visited_ + children.size() > maxNodes_) return;
      node->childrenReadAheadAt = now_;
    }
    visited_ += children.size();
    const bool statesFirst = children.size() > statesFirstAbove;
    for (const auto& child : children) {
      // One the cache says is not showing is never opened: its frame and the rest go unasked.
      if (cache_.learn(shared_, *child, now_) && !isShowing(*child)) continue;
      auto openChild = [this, child, depth] { open(child, depth + 1); };
      if (!statesFirst) {
        ask(child, snapshotNeeds, openChild);
        continue;
      }
      ask(child, needStates, [this, child, openChild] {
        if (isShowing(*child)) ask(child, snapshotNeeds, openChild);
      });
    }
  }

  Shared& shared_;
  const double timeout_;
  Pipeline pipeline_;
  const double now_;
  const std::size_t maxNodes_;
  std::size_t visited_ = 0;
  std::optional<Extents> bounds_;
  CacheIndex cache_;
  std::array<long, stageTrace::stageCount> sent_{};
};

}  // namespace

ListedWindows windowsOf(Shared& shared, std::int32_t pid, bool anew) {
  const double now = monotonicSeconds();
  {
    std::lock_guard lock(shared.windowListMutex);
    const auto& list = shared.windowList;
    if (!anew && list.pid == pid && now - list.at < windowListLifetime) return {list.windows, true};
  }
  stageTrace::Scope scope(Stage::window);
  ListedWindows listed{shared.windowsOf(pid), false};
  std::lock_guard lock(shared.windowListMutex);
  shared.windowList = {pid, listed.windows, now};
  return listed;
}

// Plain containers, bars and small text are labelled only in rare cases the walk asks about on
// its own; a window of thousands of such nodes is read a third faster without their names and
// actions.
bool wantsDetails(const NodeState& node) {
  std::lock_guard lock(node.mutex);
  if (!node.role.value || !node.role.value->ok()) return true;
  const auto role = static_cast<Role>(node.role.value->value());
  // What is drawn nowhere (the rows a list view keeps for later, a page it does not show) is
  // never labelled, but for a toggle that lends its parent's frame.
  if (node.extents.value && node.extents.value->ok() && role != Role::checkBox &&
      role != Role::toggleButton && role != Role::radioButton) {
    const Extents& extents = node.extents.value->value();
    if (extents.width < 4 || extents.height < 4) return false;
  }
  switch (role) {
    case Role::filler:
    case Role::panel:
    case Role::scrollBar:
    case Role::separator:
      return false;
    case Role::label:
    case Role::staticText:
    case Role::paragraph: {
      // Text at least this large may be pressable.
      if (!node.extents.value || !node.extents.value->ok()) return true;
      const Extents& extents = node.extents.value->value();
      return extents.width >= 30 && extents.height >= 30;
    }
    default:
      return true;
  }
}

bool offersFramesAndActions(const NodeState& node) {
  return node.conventions.offersFramesAndActions && !node.ref.isRoot();
}

bool isShowing(const NodeState& node) {
  std::lock_guard lock(node.mutex);
  if (!node.states.value || !node.states.value->ok()) return false;
  const StateSet states = node.states.value->value();
  return states.has(State::showing) && !states.has(State::defunct);
}

bool childrenReadAhead(const NodeState& node, double now) {
  std::lock_guard lock(node.mutex);
  return now - node.childrenReadAheadAt < snapshotLifetime;
}

std::optional<std::uint32_t> decodeUint(const QVariant& value) {
  bool ok = false;
  const uint number = value.toUInt(&ok);
  return ok ? std::optional<std::uint32_t>(number) : std::nullopt;
}

AXError fetch(Shared& shared, std::span<const NodeStatePtr> nodes, unsigned needs, double timeout,
              unsigned live) {
  const double now = monotonicSeconds();
  struct Pending {
    NodeState* node;
    Need need;
    int index;
  };
  std::vector<std::pair<NodeState*, int>> byIndex;
  // Two rounds at most: the second asks what needed the interfaces the first learnt.
  std::vector<std::pair<NodeState*, unsigned>> round;
  for (const auto& node : nodes)
    round.emplace_back(node.get(), needs);
  for (bool first = true; !round.empty(); first = false) {
    Batch batch(shared.bus, timeout);
    std::vector<Pending> pending;
    std::vector<std::pair<NodeState*, unsigned>> later;
    for (const auto& [node, asked] : round) {
      const Asks asks = plan(shared, *node, asked, now, live);
      if (first && asks.afterInterfaces) later.emplace_back(node, asks.afterInterfaces);
      const unsigned missing = first ? asks.now : asks.now & ~needInterfaces;
      for (unsigned bit = 1; bit <= lastNeed; bit <<= 1) {
        if (missing & bit) {
          const auto need = static_cast<Need>(bit);
          const Call call = callFor(need, *node);
          pending.push_back(
              {node, need, batch.add(node->ref, call.interface, call.method, call.arguments)});
        }
      }
    }
    round = first ? std::move(later) : decltype(later)();
    if (batch.empty()) continue;
    {
      stageTrace::Scope scope(Stage::walk);
      for (const auto& p : pending)
        scope.weigh(stageOf(p.need), 1);
      batch.run();
    }

    // Children last: they take their parent's role, which may arrive in the same batch.
    std::stable_partition(pending.begin(), pending.end(),
                          [](const Pending& p) { return p.need != needChildren; });
    for (const auto& p : pending) {
      if (auto count = applyReply(shared, *p.node, p.need, batch.error(p.index),
                                  batch.argument(p.index), now))
        byIndex.emplace_back(p.node, *count);
    }
    if (batch.overall() != AXError::success) return batch.overall();
  }
  if (byIndex.empty()) return AXError::success;

  // The actions' names, all of them in one more batch.
  Batch names(shared.bus, timeout);
  std::vector<std::vector<int>> indexes(byIndex.size());
  for (std::size_t i = 0; i < byIndex.size(); ++i) {
    for (int action = 0; action < byIndex[i].second; ++action) {
      const Call call = actionNameCall(action);
      indexes[i].push_back(
          names.add(byIndex[i].first->ref, call.interface, call.method, call.arguments));
    }
  }
  {
    stageTrace::Scope scope(Stage::details);
    names.run();
  }
  for (std::size_t i = 0; i < byIndex.size(); ++i) {
    std::vector<std::optional<std::string>> answers;
    bool answered = true;
    for (int index : indexes[i]) {
      answers.push_back(names.error(index) == AXError::success ? decodeString(names.argument(index))
                                                               : std::nullopt);
      answered = answered && names.error(index) != AXError::cannotComplete;
    }
    if (answered) applyNamesByIndex(*byIndex[i].first, answers, now);
  }
  return names.overall();
}

AXError fetchOne(Shared& shared, const NodeStatePtr& node, unsigned needs, double timeout) {
  return fetch(shared, std::span<const NodeStatePtr>(&node, 1), needs, timeout);
}

bool readAheadAllowed(const Shared& shared, double now) {
  return now - shared.readAheadCutAt.load() >= snapshotLifetime;
}

AXError fetchTree(Shared& shared, const NodeStatePtr& root, double timeout, std::size_t maxNodes) {
  return TreeFetch(shared, timeout, maxNodes).run(root);
}

}  // namespace tovrel::platform::atspi
