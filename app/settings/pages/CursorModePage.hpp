#pragma once

// The Moving page: how cursor mode starts and stops, which keys click, and how quickly the
// pointer picks up speed.

#include <cstdint>

#include "app/settings/controls/Form.hpp"
#include "app/settings/pages/PageContext.hpp"

namespace tovrel::settings {

class ActionBindingRow;
class EntrySection;

class CursorModePage : public FormPage {
 public:
  explicit CursorModePage(const PageContext& context, QWidget* parent = nullptr);
  ~CursorModePage() override;

  EntrySection* entrySection() const { return entry_; }
  ActionBindingRow* leftClickRow() const { return leftClick_; }
  ActionBindingRow* rightClickRow() const { return rightClick_; }
  SegmentedControl* speedPicker() const { return speed_; }

 private:
  void refresh();

  AppModel& model_;
  EntrySection* entry_;
  ActionBindingRow* leftClick_;
  ActionBindingRow* rightClick_;
  SegmentedControl* speed_;
  std::uint64_t observer_ = 0;
};

}  // namespace tovrel::settings
