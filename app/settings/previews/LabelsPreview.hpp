#pragma once

// A mock window of buttons, each with the chip click mode would put on it, drawn from the user's
// label letters and label size so every change to them is seen at once. The search variant shows
// a typed name search narrowing the buttons down. One widget paints it all: the chips hang below
// their cells, past where a child widget would be cut off. Hidden from accessibility.

#include <QWidget>
#include <string>
#include <vector>

#include "core/ConfigRecords.hpp"

namespace tovrel::settings {

class LabelsPreview : public QWidget {
 public:
  // `alphabet`: the usable label characters in order (LabelGenerator::usableAlphabet).
  LabelsPreview(std::vector<std::string> alphabet, bool search, AppearanceSettings appearance,
                std::vector<std::string> buttons = sampleButtons(), QWidget* parent = nullptr);

  // "Back", "Share", "Save", "Name", "Cancel", "Done".
  static std::vector<std::string> sampleButtons();

  const std::vector<std::string>& alphabet() const { return alphabet_; }
  bool search() const { return search_; }
  const AppearanceSettings& appearance() const { return appearance_; }
  const std::vector<std::string>& buttons() const { return buttons_; }

  void setAlphabet(std::vector<std::string> alphabet);
  void setSearch(bool search);
  void setAppearance(const AppearanceSettings& appearance);
  void setButtons(std::vector<std::string> buttons);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void changed();
  double cellHeight() const;
  double barHeight() const;

  std::vector<std::string> alphabet_;
  bool search_;
  AppearanceSettings appearance_;
  std::vector<std::string> buttons_;
};

}  // namespace tovrel::settings
