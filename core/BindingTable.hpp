#pragma once

// A lookup from gesture to action built from an ordered binding list: the first binding of a
// gesture wins, a repeated identical binding is silent, and every later binding of the gesture to
// a different action is kept as a conflict.

#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/Keys.hpp"

namespace tovrel {

template <class Action>
class BindingTable {
 public:
  struct Conflict {
    Gesture gesture;
    Action first;   // keeps the gesture
    Action second;  // the later, different action

    bool operator==(const Conflict&) const = default;
  };

  BindingTable() = default;

  explicit BindingTable(const std::vector<std::pair<Gesture, Action>>& bindings) {
    lookup_.reserve(bindings.size());
    for (const auto& [gesture, action] : bindings) {
      auto [found, inserted] = lookup_.try_emplace(gesture, action);
      if (!inserted && !(found->second == action))
        conflicts_.push_back(Conflict{gesture, found->second, action});
    }
  }

  const std::unordered_map<Gesture, Action>& lookup() const { return lookup_; }
  const std::vector<Conflict>& conflicts() const { return conflicts_; }

  std::optional<Action> operator[](const Gesture& gesture) const {
    auto found = lookup_.find(gesture);
    if (found == lookup_.end()) return std::nullopt;
    return found->second;
  }

  // The action of the key chord; a modifier-tap binding is never found this way.
  std::optional<Action> action(std::uint16_t keyCode, Modifiers modifiers) const {
    return (*this)[Gesture::key(keyCode, modifiers)];
  }

 private:
  std::unordered_map<Gesture, Action> lookup_;
  std::vector<Conflict> conflicts_;
};

}  // namespace tovrel
