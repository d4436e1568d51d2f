#pragma once

// The eight small controls every settings page is assembled from, so that all pages look alike
// and write the configuration the same way. Only SettingToggle writes to the model; NumberSlider
// hands its values to its owner, who passes the value to show back through setValue().

#include <QColor>
#include <QLabel>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/model/AppModel.hpp"
#include "app/settings/controls/ControlLogic.hpp"
#include "app/settings/controls/Form.hpp"

class QAccessibleInterface;
class QLineEdit;
class QSlider;
class QVBoxLayout;

namespace tovrel::settings {

// A title in the body style over a detail in the callout style and the secondary colour, 2
// apart; the detail wraps over as many lines as it needs and is left out when empty.
class SettingLabel : public QWidget {
 public:
  SettingLabel(const QString& title, const QString& detail, QWidget* parent = nullptr);
  void setTitle(const QString& title);
  void setDetail(const QString& detail);
  QLabel* titleLabel() const { return title_; }
  QLabel* detailLabel() const { return detail_; }

 private:
  ThemedLabel* title_;
  ThemedLabel* detail_;
};

// A setting's label with any control on the trailing side.
class SettingRow : public LabeledRow {
 public:
  SettingRow(const QString& title, const QString& detail, QWidget* control,
             QWidget* parent = nullptr);
  SettingLabel* settingLabel() const { return static_cast<SettingLabel*>(label()); }
};

// A switch bound to one Boolean field of the configuration. Switching commits a copy of the
// model's configuration with the field changed, named "<title> on" or "<title> off"; the switch
// always shows what the configuration holds, so a refused change springs back.
class SettingToggle : public LabeledRow {
 public:
  SettingToggle(AppModel& model, const QString& title, const QString& detail, BoolKeyPath keyPath,
                QWidget* parent = nullptr);
  ~SettingToggle() override;
  SwitchButton* switchButton() const { return switch_; }

 private:
  void refresh();
  void write(bool on);

  AppModel& model_;
  std::string title_;
  BoolKeyPath keyPath_;
  SwitchButton* switch_;
  std::uint64_t observer_;
};

// A slider, a number field and a unit for one value in `range`. Slider positions are snapped to
// `step` (or to hundredths / whole numbers) and clamped; typed numbers are clamped only. Each new
// value goes to `onChange` at once, during a drag too.
class NumberSlider : public LabeledRow {
 public:
  NumberSlider(const QString& title, std::optional<QString> detail, const QString& unit,
               ValueRange range, std::optional<double> step, double value,
               std::function<void(double)> onChange, QWidget* parent = nullptr);
  // The value to show. Calls no onChange, and leaves the field alone while the user is typing
  // in it.
  void setValue(double value);
  double value() const { return value_; }
  // The value as shown, with its unit ("1,200 px/s"): what assistive technology reads.
  QString valueText() const;
  ValueRange range() const { return range_; }
  const number::SliderScale& scale() const { return scale_; }
  QSlider* slider() const { return slider_; }
  QLineEdit* field() const { return field_; }

 protected:
  void changeEvent(QEvent* event) override;

 private:
  class WideSlider;
  static QAccessibleInterface* accessibleFactory(const QString& className, QObject* object);
  void showValue(bool evenWhileTyping);
  void sliderMoved(int position);
  void fieldEdited();

  QString title_;
  QString unit_;
  ValueRange range_;
  std::optional<double> step_;
  number::SliderScale scale_;
  double value_;
  std::function<void(double)> onChange_;
  QSlider* slider_;
  QLineEdit* field_;
};

// One line of status: a green check when `ok`, else an orange warning triangle, beside a title
// and a wrapping caption detail.
class StatusLine : public QWidget {
 public:
  StatusLine(bool ok, const QString& title, const QString& detail, QWidget* parent = nullptr);
  void setStatus(bool ok, const QString& title, const QString& detail);
  bool ok() const { return ok_; }
  const SymbolView* symbol() const { return symbol_; }

 private:
  bool ok_;
  SymbolView* symbol_;
  ThemedLabel* title_;
  ThemedLabel* detail_;
};

// Problem sentences in red, each after a stop sign, 4 apart. Takes no space at all while empty.
// Rows are kept by their text, so a row that stays keeps its widget.
class ProblemList : public QWidget {
 public:
  explicit ProblemList(const std::vector<std::string>& problems = {}, QWidget* parent = nullptr);
  void setProblems(const std::vector<std::string>& problems);
  QStringList problems() const;

 private:
  QVBoxLayout* layout_;
  std::vector<std::pair<QString, QWidget*>> rows_;
};

// Paints an icon tile in `square`: the symbol in white, semibold-sized at 0.55 of the edge, on a
// rounded square (radius 0.24 of the edge) with a gradient from a lighter tint of `colour` at
// the top to `colour` at the bottom. For row delegates that draw tiles themselves.
void paintIconTile(QPainter& painter, const QRectF& square, std::string_view symbol,
                   const QColor& colour);

// A coloured tile with a symbol, `size` square. Hidden from assistive technology: the text
// beside it says what it means.
class IconTile : public QWidget {
 public:
  // A named colour follows the palette between light and dark.
  IconTile(std::string symbol, Colour colour, double size, QWidget* parent = nullptr);
  IconTile(std::string symbol, const QColor& colour, double size, QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string symbol_;
  std::variant<Colour, QColor> colour_;
  double size_;
};

// Wraps a section or row so a search can point at it: the content is named `id` (its object
// name), and while the model's highlighted setting is `id` a tint in the accent colour lies
// behind it, reaching 6 beyond it on every side, faded in and out over 0.3 s. The tint is drawn
// by a sibling behind the anchor, so the content keeps the place the layout gives it.
class SearchAnchor : public QWidget {
 public:
  SearchAnchor(AppModel& model, const QString& id, QWidget* content, QWidget* parent = nullptr);
  ~SearchAnchor() override;
  QWidget* content() const { return content_; }
  // The tint's opacity now, between 0 and 0.16.
  double tintOpacity() const { return tint_; }

 protected:
  bool event(QEvent* event) override;

 private:
  class Halo;
  void follow();
  void placeHalo();

  AppModel& model_;
  std::string id_;
  QWidget* content_;
  QPointer<Halo> halo_;
  QVariantAnimation fade_;
  double tint_ = 0;
  std::uint64_t observer_;
};

}  // namespace tovrel::settings
