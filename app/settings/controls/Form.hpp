#pragma once

// The grouped form every settings page is built from: a scrolling column of sections, each a
// rounded box of rows split by hairlines, with optional text above and below the box; rows that
// pair a label with a control on the trailing side; and the two controls such forms use that Qt
// lacks, an on/off switch and a segmented picker. Colours and fonts come from Theme, read from the
// palette at paint time, so light and dark palettes both look right.

#include <QAbstractButton>
#include <QLabel>
#include <QScrollArea>
#include <QStringList>
#include <QVariantAnimation>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "app/settings/Theme.hpp"
#include "app/settings/controls/AccessibilityHidden.hpp"

class QVBoxLayout;
class QHBoxLayout;

namespace tovrel::settings {

// A label in one of the text styles and named colours, kept in that colour when the palette
// changes between light and dark.
class ThemedLabel : public QLabel {
 public:
  ThemedLabel(const QString& text, TextStyle style, Colour colour, QWidget* parent = nullptr);
  void setColour(Colour colour);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void applyColour();

  Colour colour_;
  bool applying_ = false;
};

// One symbol drawn at the size it takes beside text of `fontPixels`, in a named colour.
class SymbolView : public QWidget {
 public:
  SymbolView(std::string symbol, Colour colour, double fontPixels, QWidget* parent = nullptr);
  void setSymbol(std::string symbol, Colour colour);
  const std::string& symbol() const { return symbol_; }
  Colour namedColour() const { return colour_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string symbol_;
  Colour colour_;
  double fontPixels_;
};

// A row of the form: the label on the leading side, the control on the trailing side, both
// centred vertically. The label takes the width the control leaves.
class LabeledRow : public QWidget {
 public:
  explicit LabeledRow(QWidget* label = nullptr, QWidget* control = nullptr,
                      QWidget* parent = nullptr);
  // Each replaces (and deletes) the one before.
  void setLabel(QWidget* label);
  void setControl(QWidget* control);
  QWidget* label() const { return label_; }
  QWidget* control() const { return control_; }

 private:
  QHBoxLayout* layout_;
  QWidget* label_ = nullptr;
  QWidget* control_ = nullptr;
};

class SectionBox;

// One section of the form: optional header text, the rounded box of rows, optional footer text.
// A row that hides itself (an empty problem list) takes its hairline and padding with it.
class FormSection : public QWidget {
 public:
  explicit FormSection(const QString& header = {}, const QString& footer = {},
                       QWidget* parent = nullptr);
  void setHeader(const QString& header);
  void setFooter(const QString& footer);
  // A row across the whole width of the box.
  void addRow(QWidget* row);
  LabeledRow* addLabeledRow(QWidget* label, QWidget* control);
  // A label in the body style.
  LabeledRow* addLabeledRow(const QString& title, QWidget* control);
  // Deletes a row added before, with its hairline.
  void removeRow(QWidget* row);

 private:
  ThemedLabel* header_;
  SectionBox* box_;
  ThemedLabel* footer_;
};

// A page of the form: a scrolling column of sections on the window's background, 20 from the
// edges, 18 between sections.
class FormPage : public QScrollArea {
 public:
  explicit FormPage(QWidget* parent = nullptr);
  FormSection* addSection(const QString& header = {}, const QString& footer = {});
  // Any widget in the column, such as a section wrapped in a search anchor.
  void addWidget(QWidget* widget);
  QWidget* column() const { return column_; }

 private:
  QWidget* column_;
  QVBoxLayout* layout_;
};

// An on/off switch: a rounded track, in the accent colour when on, with a knob that slides.
// Takes keyboard focus and toggles on Space; assistive technology sees a checkable button named
// by its accessible name.
class SwitchButton : public QAbstractButton {
 public:
  explicit SwitchButton(QWidget* parent = nullptr);
  // Runs when the user toggles the switch, by any means, not when setOn() does.
  void onToggled(std::function<void(bool)> callback) { toggled_ = std::move(callback); }
  void setOn(bool on);
  bool isOn() const { return isChecked(); }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::function<void(bool)> toggled_;
  QVariantAnimation knob_;
  bool settingOn_ = false;
};

// A row of mutually exclusive segments painted as one capsule, at its natural size. Left and
// right arrows move the selection while it has focus.
class SegmentedControl : public QWidget {
 public:
  explicit SegmentedControl(const QStringList& segments = {}, QWidget* parent = nullptr);
  // The selection stays when its segment is still offered.
  void setSegments(const QStringList& segments);
  QStringList segments() const;
  // No callback; a name that is not offered selects nothing.
  void setSelected(const QString& segment);
  QString selected() const;
  // Runs when the user chooses a segment other than the selected one.
  void onSelected(std::function<void(const QString&)> callback) { selected_ = std::move(callback); }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void choose(int index);
  int selectedIndex() const;

  QHBoxLayout* layout_;
  std::vector<QAbstractButton*> buttons_;
  int chosen_ = -1;
  std::function<void(const QString&)> selected_;
};

}  // namespace tovrel::settings
