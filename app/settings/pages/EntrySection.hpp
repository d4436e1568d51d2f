#pragma once

// The section that opens each mode's page: how the mode starts and stops, the warnings about those
// gestures and a small picture of the mode at work, headed by the access card while Tovrel cannot
// read the keyboard. It edits the mode's entry through the recorders and the model's commit.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/model/AppModel.hpp"
#include "app/settings/pages/EntryLogic.hpp"

class QVBoxLayout;

namespace tovrel::settings {

class AccessCard;
class FormSection;
class LabelsPreview;
class ModePreview;
class SearchAnchor;
class ShortcutField;

class EntrySection : public QWidget {
 public:
  // `mode` is cursor, click or scroll. `openSettings` is the access card's action.
  EntrySection(AppModel& model, InteractionMode mode,
               std::function<std::optional<std::string>()> openSettings, QWidget* parent = nullptr);
  ~EntrySection() override;

  void refresh();

  ShortcutField* startField() const { return start_; }
  ShortcutField* stopField() const { return stop_; }
  AccessCard* accessCard() const { return card_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void showWarnings(const std::vector<std::string>& warnings);

  AppModel& model_;
  EntryMode entry_;
  FormSection* section_ = nullptr;
  AccessCard* card_ = nullptr;
  ShortcutField* start_ = nullptr;
  ShortcutField* stop_ = nullptr;
  QWidget* sameAgain_ = nullptr;
  QWidget* warningsRow_ = nullptr;
  QVBoxLayout* warningsList_ = nullptr;
  std::vector<std::string> warnings_;
  LabelsPreview* labels_ = nullptr;
  ModePreview* motion_ = nullptr;
  std::uint64_t token_ = 0;
};

}  // namespace tovrel::settings
