#pragma once

// One cursor-mode action's keys: a recorder for each gesture bound to the action, in the order of
// the binding list, then a recorder that adds another. A recorded gesture replaces the one its
// recorder shows, is added, or is taken over from the actions that have it; each commits a whole
// binding list and hands the model's problems back to the recorder.

#include <cstdint>
#include <optional>
#include <vector>

#include "app/model/AppModel.hpp"
#include "app/settings/controls/Form.hpp"
#include "app/settings/controls/ShortcutFieldState.hpp"
#include "core/Actions.hpp"

class QHBoxLayout;

namespace tovrel::settings {

class ShortcutField;

class ActionBindingRow : public LabeledRow {
 public:
  ActionBindingRow(AppModel& model, CursorAction action, QWidget* parent = nullptr);
  ~ActionBindingRow() override;

  // `old` becomes `replacement`, in place; no replacement removes it.
  Problems replace(const Gesture& old, const std::optional<Gesture>& replacement);
  // Appends the gesture; no gesture changes nothing.
  Problems add(const std::optional<Gesture>& gesture);
  // Takes the gesture from every other action, in place of `old` when given, else appended.
  Problems takeOver(const Gesture& gesture, const std::optional<Gesture>& old);

  CursorAction action() const { return action_; }
  // One per gesture of the action, in order.
  const std::vector<ShortcutField*>& gestureFields() const { return fields_; }
  ShortcutField* addField() const { return add_; }

 private:
  // Matches the recorders to the gestures now bound: a recorder keeps its gesture where it can,
  // else takes the next one by position, so the recorder whose save caused the refresh lives on.
  void refresh();
  ShortcutField* makeField();

  AppModel& model_;
  CursorAction action_;
  QHBoxLayout* line_;
  std::vector<ShortcutField*> fields_;
  ShortcutField* add_;
  std::uint64_t observer_ = 0;
};

}  // namespace tovrel::settings
