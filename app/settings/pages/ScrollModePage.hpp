#pragma once

// The Scrolling page: how scroll mode starts and stops, and how fast held keys scroll.

#include <cstdint>

#include "app/settings/controls/Form.hpp"
#include "app/settings/pages/PageContext.hpp"

namespace tovrel::settings {

class EntrySection;
class NumberSlider;

class ScrollModePage : public FormPage {
 public:
  explicit ScrollModePage(const PageContext& context, QWidget* parent = nullptr);
  ~ScrollModePage() override;

  EntrySection* entrySection() const { return entry_; }
  NumberSlider* speedSlider() const { return speed_; }

 private:
  AppModel& model_;
  EntrySection* entry_;
  NumberSlider* speed_;
  std::uint64_t observer_ = 0;
};

}  // namespace tovrel::settings
