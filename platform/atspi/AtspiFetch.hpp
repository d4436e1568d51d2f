#pragma once

// Asking applications what the elements need to know about their nodes: for some nodes at once in
// one batch, or for a whole subtree in one pipeline that asks for each node's children the moment
// the node's own answers arrive.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/atspi/AtspiNode.hpp"

namespace tovrel::platform::atspi {

enum Need : unsigned {
  needRole = 1U << 0,
  needStates = 1U << 1,
  needInterfaces = 1U << 2,
  needExtents = 1U << 3,
  needName = 1U << 4,
  needDescription = 1U << 5,
  needChildren = 1U << 6,
  needAttributes = 1U << 7,
  needActions = 1U << 8,
  needParent = 1U << 9,
  needLabelledBy = 1U << 10,
  lastNeed = needLabelledBy,
};
inline constexpr unsigned roleNeeds = needRole | needStates;
// What a walk reads about every node it visits: what it is, whether it is showing and enabled,
// where it is and its children. Every further question costs about as much again (the price is
// the message through the bus, not the answer), so the name and the actions are asked only of
// the nodes that may become targets (snapshotDetails), and the interfaces and the description
// only of the elements that need them. Properties are read one at a time: Properties.GetAll makes
// a Qt 6.4 application crash.
inline constexpr unsigned snapshotNeeds = roleNeeds | needExtents | needChildren;
inline constexpr unsigned snapshotDetails = needName | needActions;

// Children beyond this many are first asked only whether they are showing: a list of thousands of
// rows shows a few dozen, and only those are worth the rest of the questions.
inline constexpr std::size_t statesFirstAbove = 32;
// A read-ahead opens no new node after this long: a window takes a few tens of milliseconds, and
// one that takes longer must leave the walk time to use what was read within its budget.
inline constexpr double readAheadSeconds = 0.3;

// Whether the node may become a target, so that its name and actions are worth asking.
bool wantsDetails(const NodeState& node);
bool isShowing(const NodeState& node);
// Whether the node has a frame and actions by its toolkit's conventions, without being asked.
bool offersFramesAndActions(const NodeState& node);
// Whether a read-ahead asked for the snapshots of its children within the snapshot lifetime.
bool childrenReadAhead(const NodeState& node, double now);

// Asks every node, in one batch, whatever of `needs` it does not know freshly (or, for the needs
// in `live`, at all). cannotComplete when the application did not answer in time; other errors
// stay with the facts they concern.
AXError fetch(Shared& shared, std::span<const NodeStatePtr> nodes, unsigned needs, double timeout,
              unsigned live = 0);
AXError fetchOne(Shared& shared, const NodeStatePtr& node, unsigned needs, double timeout);

// Reads ahead, in one pipeline, everything a walk below `root` will read: the snapshot and
// children of every showing descendant whose frame meets the root's (or has none), and the
// details of those that may become targets, stopping after `maxNodes` nodes or when it has taken
// readAheadSeconds (what it has not reached is read as the walk reaches it). The facts are
// kept exactly as the walk's own reads would have left them.
AXError fetchTree(Shared& shared, const NodeStatePtr& root, double timeout,
                  std::size_t maxNodes = 8000);
// Whether a read-ahead may start now: not while one that ran out of time is recent.
bool readAheadAllowed(const Shared& shared, double now);

std::optional<std::uint32_t> decodeUint(const QVariant& value);

}  // namespace tovrel::platform::atspi
