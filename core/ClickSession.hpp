#pragma once

// The state of click mode: the targets of the latest discovery with their letter labels, the label
// letters typed so far, the search query, the highlighted entry and the action an activation will
// carry. It knows nothing of time or of the desktop; the router owns it and turns its decisions
// into effects.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <variant>
#include <vector>

#include "core/Actions.hpp"
#include "core/HintTarget.hpp"
#include "core/Keys.hpp"
#include "core/VariantValue.hpp"

namespace tovrel {

class ClickSession {
 public:
  enum class Substate { labels, search };

  class Decision {
   public:
    // Activate target `target` (an index into `targets`) with `action`.
    struct Activate {
      std::size_t target = 0;
      TargetAction action = TargetAction::press;
      bool operator==(const Activate&) const = default;
    };
    // Scroll by this amount at the pointer, then discover again.
    struct Scroll {
      double dx = 0;
      double dy = 0;
      bool operator==(const Scroll&) const = default;
    };
    // The key was not used; it goes on to the application.
    struct Unhandled {
      bool operator==(const Unhandled&) const = default;
    };
    // The key was used or swallowed; redraw.
    struct Consumed {
      bool operator==(const Consumed&) const = default;
    };
    // Discover the targets again.
    struct Refresh {
      bool operator==(const Refresh&) const = default;
    };
    using Value = std::variant<Activate, Scroll, Unhandled, Consumed, Refresh>;

    static constexpr Decision activate(std::size_t target, TargetAction action) {
      return Activate{target, action};
    }
    static constexpr Decision scroll(double dx, double dy) { return Scroll{dx, dy}; }
    static constexpr Decision unhandled() { return Unhandled{}; }
    static constexpr Decision consumed() { return Consumed{}; }
    static constexpr Decision refresh() { return Refresh{}; }

    TOVREL_VARIANT_VALUE(Decision)
  };

  using ControlMap = std::unordered_map<Gesture, ClickControl>;

  // `alphabet`: the usable label letters, lower case and distinct (LabelGenerator::usableAlphabet).
  ClickSession(std::vector<std::string> alphabet, bool requireReturn, bool searchFirst);

  Substate substate() const { return substate_; }
  const std::vector<HintTarget>& targets() const { return targets_; }
  // labels()[i] labels targets()[i]; empty when the alphabet cannot label this many targets.
  const std::vector<std::string>& labels() const { return labels_; }
  std::int64_t snapshot() const { return snapshot_; }
  bool hasSnapshot() const { return hasSnapshot_; }
  const std::string& typedPrefix() const { return typedPrefix_; }
  const std::string& query() const { return query_; }
  // A position in visible(), not a target index.
  std::size_t selection() const { return selection_; }
  TargetAction pendingAction() const { return pendingAction_; }

  const std::vector<std::string>& alphabet() const { return alphabet_; }
  void setAlphabet(std::vector<std::string> alphabet) { alphabet_ = std::move(alphabet); }
  bool requireReturn() const { return requireReturn_; }
  void setRequireReturn(bool requireReturn) { requireReturn_ = requireReturn; }

  // No label letters are typed, so a new target list may replace the current one.
  bool acceptsNewSnapshot() const { return typedPrefix_.empty(); }
  // New targets with fresh labels; the typed letters and the selection reset, the sub-state,
  // the query and the pending action stay.
  void setTargets(std::vector<HintTarget> targets, std::int64_t snapshot);
  void clearTypedLabel();

  // The target indices now shown, in display order.
  std::vector<std::size_t> visible() const;
  std::optional<std::size_t> selectedTarget() const;

  Decision handle(const KeyEvent& event, const ControlMap& controls);
  // Whether `handle` keeps a press from the application: a control, an arrow, or typing. A
  // shortcut, and a key that types nothing, pass; nothing the session holds changes that.
  static bool owns(const KeyEvent& event, const ControlMap& controls);

 private:
  Substate substate_;
  std::vector<HintTarget> targets_;
  std::vector<std::string> labels_;
  std::int64_t snapshot_ = 0;
  bool hasSnapshot_ = false;
  std::string typedPrefix_;
  std::string query_;
  std::size_t selection_ = 0;
  TargetAction pendingAction_ = TargetAction::press;
  std::vector<std::string> alphabet_;
  bool requireReturn_;
  // Implementation members follow.

  // The names of targets_, folded once per target list so that the search does not fold every
  // name again on each key.
  std::vector<TargetSearch::PreparedName> preparedNames_;
  // Labels are compared letter by letter as positions in the alphabet they were made from, never
  // as bytes: a byte prefix can end inside a letter that carries a combining mark, and the
  // alphabet may be reassigned while the labels stay.
  std::vector<std::string> labelAlphabet_;
  std::vector<std::string> labelAlphabetComposed_;
  std::vector<std::vector<std::size_t>> labelDigits_;
  std::vector<std::size_t> typedDigits_;

  Decision perform(ClickControl control);
  Decision typeLabelCharacter(const std::string& character);
  void moveSelection(std::int64_t delta);
  void clearTypedDigits();
  bool someLabelBeginsWith(const std::vector<std::size_t>& digits) const;
};

std::ostream& operator<<(std::ostream& stream, const ClickSession::Decision& decision);

}  // namespace tovrel
