#pragma once

// The settings page of Clicking: how the mode starts and stops, how a typed label is confirmed,
// whether labels stay up after a click, whether the menu bar and the panel are labelled too, how
// big labels are and the letters they are made from.

#include <QString>
#include <cstdint>
#include <vector>

#include "app/settings/controls/Form.hpp"
#include "app/settings/pages/PageContext.hpp"

class QLineEdit;

namespace tovrel::settings {

class ProblemList;

class ClickModePage : public FormPage {
 public:
  // The object name of the letters field, by which the self-test finds an editable field.
  static constexpr const char* lettersFieldName = "labelLetters";

  explicit ClickModePage(const PageContext& context);
  ~ClickModePage() override;

  SwitchButton* menuBarAndPanelSwitch() const { return menuBarAndPanel_; }
  SegmentedControl* sizePicker() const { return size_; }
  QLineEdit* lettersField() const { return letters_; }
  ProblemList* letterProblems() const { return problems_; }

 protected:
  // The letters field takes the stored letters each time the page comes on screen, and only then.
  void showEvent(QShowEvent* event) override;

 private:
  void refresh();
  void loadLetters();
  void saveAlphabet();

  AppModel& model_;
  SwitchButton* menuBarAndPanel_ = nullptr;
  SegmentedControl* size_ = nullptr;
  QLineEdit* letters_ = nullptr;
  ProblemList* problems_ = nullptr;
  std::uint64_t token_ = 0;
};

}  // namespace tovrel::settings
