#include "app/settings/controls/SettingControls.hpp"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QSlider>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "app/settings/Symbols.hpp"

namespace tovrel::settings {

namespace {

// Hidden by hide(), not merely not yet shown with its parent.
bool explicitlyHidden(const QWidget* widget) {
  return widget->testAttribute(Qt::WA_WState_ExplicitShowHide) &&
         widget->testAttribute(Qt::WA_WState_Hidden);
}

QVBoxLayout* column(QWidget* owner, int spacing) {
  auto* layout = new QVBoxLayout(owner);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(spacing);
  return layout;
}

ThemedLabel* wrapping(ThemedLabel* label) {
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::NoTextInteraction);
  return label;
}

QColor mix(const QColor& a, const QColor& b, double t) {
  const auto lerp = [t](float x, float y) { return x + static_cast<float>(t) * (y - x); };
  return QColor::fromRgbF(lerp(a.redF(), b.redF()), lerp(a.greenF(), b.greenF()),
                          lerp(a.blueF(), b.blueF()), lerp(a.alphaF(), b.alphaF()));
}

}  // namespace

// The slider of a NumberSlider, which asks for a comfortable width and can give it up down to 140.
class NumberSlider::WideSlider : public QSlider {
 public:
  explicit WideSlider(const NumberSlider& owner) : QSlider(Qt::Horizontal), owner_(owner) {
    setMinimumWidth(140);
    setMaximumWidth(320);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  }
  QSize sizeHint() const override { return {240, QSlider::sizeHint().height()}; }
  const NumberSlider& owner() const { return owner_; }

 protected:
  // A wheel turned to scroll the page must not change a setting it happens to pass over.
  void wheelEvent(QWheelEvent* event) override {
    if (hasFocus()) return QSlider::wheelEvent(event);
    event->ignore();
  }

 private:
  const NumberSlider& owner_;
};

namespace {

// What assistive technology reads of a number slider is the value it shows, with its unit, not
// the step the slider stands at; what it sets or steps goes the way a drag or an arrow key goes.
class NumberSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit NumberSliderAccessible(QSlider* slider, const NumberSlider& owner)
      : QAccessibleWidget(slider, QAccessible::Slider), owner_(owner) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Value) return owner_.valueText();
    return QAccessibleWidget::text(kind);
  }

  QVariant currentValue() const override { return owner_.value(); }
  void setCurrentValue(const QVariant& value) override {
    const double wanted = value.toDouble();
    if (!std::isfinite(wanted)) return;
    const number::SliderScale& scale = owner_.scale();
    slider()->setValue(static_cast<int>(std::clamp(std::round(wanted / scale.unit),
                                                   static_cast<double>(scale.first),
                                                   static_cast<double>(scale.last))));
  }
  QVariant maximumValue() const override { return owner_.range().upper; }
  QVariant minimumValue() const override { return owner_.range().lower; }
  QVariant minimumStepSize() const override { return owner_.scale().unit; }

  QStringList actionNames() const override {
    QStringList names;
    if (slider()->isEnabled()) names << increaseAction() << decreaseAction();
    return names + QAccessibleWidget::actionNames();
  }
  void doAction(const QString& name) override {
    if (!slider()->isEnabled()) return;
    if (name == increaseAction()) {
      slider()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    } else if (name == decreaseAction()) {
      slider()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else {
      QAccessibleWidget::doAction(name);
    }
  }

 private:
  QSlider* slider() const { return static_cast<QSlider*>(widget()); }
  const NumberSlider& owner_;
};

}  // namespace

QAccessibleInterface* NumberSlider::accessibleFactory(const QString&, QObject* object) {
  auto* slider = dynamic_cast<WideSlider*>(object);
  return slider != nullptr ? new NumberSliderAccessible(slider, slider->owner()) : nullptr;
}

// ---- SettingLabel

SettingLabel::SettingLabel(const QString& title, const QString& detail, QWidget* parent)
    : QWidget(parent),
      title_(wrapping(new ThemedLabel(title, TextStyle::body, Colour::primary, this))),
      detail_(wrapping(new ThemedLabel(detail, TextStyle::callout, Colour::secondary, this))) {
  QVBoxLayout* layout = column(this, 2);
  layout->addWidget(title_);
  layout->addWidget(detail_);
  setDetail(detail);
}

void SettingLabel::setTitle(const QString& title) {
  title_->setText(title);
}

void SettingLabel::setDetail(const QString& detail) {
  detail_->setText(detail);
  detail_->setVisible(!detail.isEmpty());
}

// ---- SettingRow

SettingRow::SettingRow(const QString& title, const QString& detail, QWidget* control,
                       QWidget* parent)
    : LabeledRow(new SettingLabel(title, detail), control, parent) {
  if (control != nullptr && control->accessibleName().isEmpty()) control->setAccessibleName(title);
}

// ---- SettingToggle

SettingToggle::SettingToggle(AppModel& model, const QString& title, const QString& detail,
                             BoolKeyPath keyPath, QWidget* parent)
    : LabeledRow(new SettingLabel(title, detail), nullptr, parent),
      model_(model),
      title_(title.toStdString()),
      keyPath_(std::move(keyPath)),
      switch_(new SwitchButton) {
  switch_->setAccessibleName(title);
  switch_->setAccessibleDescription(detail);
  setControl(switch_);
  switch_->onToggled([this](bool on) { write(on); });
  observer_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::config) refresh();
  });
  refresh();
}

SettingToggle::~SettingToggle() {
  model_.removeObserver(observer_);
}

void SettingToggle::refresh() {
  switch_->setOn(keyPath_.get(model_.config()));
}

void SettingToggle::write(bool on) {
  // A page may rebuild itself, this toggle with it, while the model tells of the change.
  const QPointer<SettingToggle> alive(this);
  model_.commit(keyPath_.with(model_.config(), on), toggleChangeText(title_, on));
  // A refused change notifies nobody, so the switch is set back here.
  if (alive) refresh();
}

// ---- NumberSlider

NumberSlider::NumberSlider(const QString& title, std::optional<QString> detail, const QString& unit,
                           ValueRange range, std::optional<double> step, double value,
                           std::function<void(double)> onChange, QWidget* parent)
    : LabeledRow(nullptr, nullptr, parent),
      title_(title),
      unit_(unit),
      range_(range),
      step_(step),
      scale_(number::sliderScale(range, step)),
      value_(value),
      onChange_(std::move(onChange)),
      slider_(nullptr),
      field_(new QLineEdit) {
  static const bool installed = [] {
    QAccessible::installFactory(accessibleFactory);
    return true;
  }();
  (void)installed;
  slider_ = new WideSlider(*this);
  auto* label = new QWidget;
  QVBoxLayout* lines = column(label, 2);
  lines->addWidget(wrapping(new ThemedLabel(title, TextStyle::body, Colour::primary)));
  if (detail)
    lines->addWidget(wrapping(new ThemedLabel(*detail, TextStyle::caption, Colour::secondary)));
  setLabel(label);

  auto* content = new QWidget;
  auto* line = new QHBoxLayout(content);
  line->setContentsMargins(0, 0, 0, 0);
  line->setSpacing(10);
  slider_->setRange(scale_.first, scale_.last);
  slider_->setAccessibleName(title);
  field_->setFixedWidth(60);
  field_->setAlignment(Qt::AlignTrailing | Qt::AlignVCenter);
  field_->setFont(settings::font(TextStyle::body));
  field_->setAccessibleName(title);
  auto* unitLabel = new ThemedLabel(unit, TextStyle::body, Colour::secondary);
  unitLabel->setFixedWidth(30);
  unitLabel->setAlignment(Qt::AlignLeading | Qt::AlignVCenter);
  line->addWidget(slider_, 1, Qt::AlignVCenter);
  line->addWidget(field_, 0, Qt::AlignVCenter);
  line->addWidget(unitLabel, 0, Qt::AlignVCenter);
  setControl(content);

  QObject::connect(slider_, &QSlider::valueChanged, this, [this](int p) { sliderMoved(p); });
  QObject::connect(slider_, &QSlider::sliderReleased, this, [this] { showValue(false); });
  QObject::connect(field_, &QLineEdit::editingFinished, this, [this] { fieldEdited(); });
  showValue(true);
}

void NumberSlider::setValue(double value) {
  value_ = value;
  showValue(false);
}

QString NumberSlider::valueText() const {
  return number::format(value_, range_.upper, locale()) + QLatin1Char(' ') + unit_;
}

void NumberSlider::showValue(bool evenWhileTyping) {
  const QString text = number::format(value_, range_.upper, locale());
  {
    const QSignalBlocker quiet(slider_);
    if (!slider_->isSliderDown()) {
      const double position = std::round(value_ / scale_.unit);
      slider_->setValue(static_cast<int>(std::clamp(position, static_cast<double>(scale_.first),
                                                    static_cast<double>(scale_.last))));
    }
  }
  if (evenWhileTyping || !field_->isModified()) field_->setText(text);
  // Also in the description, for readers that take a slider's value as a bare number.
  slider_->setAccessibleDescription(valueText());
}

void NumberSlider::sliderMoved(int position) {
  const QPointer<NumberSlider> alive(this);
  if (onChange_) onChange_(number::snap(position * scale_.unit, range_, step_));
  // Between drags the slider shows the owner's value, which stays the old one when the owner
  // refused the new.
  if (alive && !slider_->isSliderDown()) showValue(false);
}

void NumberSlider::fieldEdited() {
  if (!field_->isModified()) return;
  const std::optional<double> typed = number::parse(field_->text(), locale());
  const QPointer<NumberSlider> alive(this);
  if (typed && onChange_) onChange_(number::clampTyped(*typed, range_));
  // Whatever was typed, the field now shows the value in force, in the display format.
  if (alive) showValue(true);
}

void NumberSlider::changeEvent(QEvent* event) {
  LabeledRow::changeEvent(event);
  if (event->type() == QEvent::LocaleChange) showValue(false);
}

// ---- StatusLine

StatusLine::StatusLine(bool ok, const QString& title, const QString& detail, QWidget* parent)
    : QWidget(parent),
      ok_(ok),
      symbol_(new SymbolView(std::string(statusSymbol(ok)), statusColour(ok), 15, this)),
      title_(wrapping(new ThemedLabel(title, TextStyle::body, Colour::primary))),
      detail_(wrapping(new ThemedLabel(detail, TextStyle::caption, Colour::secondary))) {
  hideFromAccessibility(symbol_);
  auto* line = new QHBoxLayout(this);
  line->setContentsMargins(0, 0, 0, 0);
  line->setSpacing(10);
  auto* text = new QWidget;
  QVBoxLayout* lines = column(text, 2);
  lines->addWidget(title_);
  lines->addWidget(detail_);
  line->addWidget(symbol_, 0, Qt::AlignTop);
  line->addWidget(text, 1, Qt::AlignTop);
}

void StatusLine::setStatus(bool ok, const QString& title, const QString& detail) {
  ok_ = ok;
  symbol_->setSymbol(std::string(statusSymbol(ok)), statusColour(ok));
  title_->setText(title);
  detail_->setText(detail);
}

// ---- ProblemList

ProblemList::ProblemList(const std::vector<std::string>& problems, QWidget* parent)
    : QWidget(parent), layout_(column(this, 4)) {
  setProblems(problems);
}

void ProblemList::setProblems(const std::vector<std::string>& problems) {
  std::vector<std::pair<QString, QWidget*>> kept;
  for (const std::string& problem : problems) {
    const QString text = QString::fromStdString(problem);
    auto same = std::find_if(rows_.begin(), rows_.end(),
                             [&](const auto& row) { return row.second && row.first == text; });
    if (same != rows_.end()) {
      kept.emplace_back(text, same->second);
      same->second = nullptr;
      continue;
    }
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);
    auto* stop = new SymbolView("xmark.octagon.fill", Colour::red,
                                settings::font(TextStyle::callout).pixelSize());
    hideFromAccessibility(stop);
    line->addWidget(stop, 0, Qt::AlignTop);
    line->addWidget(wrapping(new ThemedLabel(text, TextStyle::callout, Colour::red)), 1);
    kept.emplace_back(text, row);
  }
  for (auto& [text, row] : rows_)
    delete row;
  rows_ = std::move(kept);
  for (const auto& [text, row] : rows_) {
    layout_->removeWidget(row);
    layout_->addWidget(row);
  }
  if (rows_.empty()) {
    hide();
  } else if (explicitlyHidden(this)) {
    show();
  }
}

QStringList ProblemList::problems() const {
  QStringList texts;
  for (const auto& [text, row] : rows_)
    texts << text;
  return texts;
}

// ---- IconTile

void paintIconTile(QPainter& painter, const QRectF& square, std::string_view symbol,
                   const QColor& colour) {
  const IconTileGeometry geometry = iconTileGeometry(symbol, square);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(square.topLeft(), square.bottomLeft());
  fill.setColorAt(0, mix(colour, Qt::white, 0.22));
  fill.setColorAt(1, colour);
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  painter.drawRoundedRect(square, geometry.cornerRadius, geometry.cornerRadius);
  painter.restore();
  paintSymbol(painter, symbol, geometry.symbolBox, Qt::white);
}

IconTile::IconTile(std::string symbol, Colour colour, double size, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), colour_(colour), size_(size) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  hideFromAccessibility(this);
}

IconTile::IconTile(std::string symbol, const QColor& colour, double size, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), colour_(colour), size_(size) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  hideFromAccessibility(this);
}

QSize IconTile::sizeHint() const {
  const int edge = static_cast<int>(std::ceil(size_));
  return {edge, edge};
}

void IconTile::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor fill = std::holds_alternative<Colour>(colour_)
                          ? colour(std::get<Colour>(colour_), palette())
                          : std::get<QColor>(colour_);
  const QRectF square(QPointF((width() - size_) / 2, (height() - size_) / 2), QSizeF(size_, size_));
  paintIconTile(painter, square, symbol_, fill);
}

// ---- SearchAnchor

// The tint, a sibling of the anchor just behind it, so it may reach beyond the anchor's own
// rectangle without moving anything in the layout.
class SearchAnchor::Halo : public QWidget {
 public:
  Halo(const SearchAnchor& anchor, QWidget* parent) : QWidget(parent), anchor_(anchor) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hideFromAccessibility(this);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    if (anchor_.tintOpacity() <= 0) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour(Colour::accent, palette(), anchor_.tintOpacity()));
    painter.drawRoundedRect(QRectF(rect()), anchorRadius, anchorRadius);
  }

 private:
  const SearchAnchor& anchor_;
};

SearchAnchor::SearchAnchor(AppModel& model, const QString& id, QWidget* content, QWidget* parent)
    : QWidget(parent), model_(model), id_(id.toStdString()), content_(content) {
  content_->setObjectName(id);
  QVBoxLayout* layout = column(this, 0);
  layout->addWidget(content_);
  fade_.setDuration(anchorAnimationMilliseconds);
  fade_.setEasingCurve(QEasingCurve::InOutQuad);
  QObject::connect(&fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
    tint_ = v.toDouble();
    if (halo_) halo_->update();
  });
  observer_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::highlightedSetting) follow();
  });
  if (parent != nullptr) placeHalo();
  tint_ = anchorTint(model_.highlightedSetting(), id_);
}

SearchAnchor::~SearchAnchor() {
  model_.removeObserver(observer_);
  fade_.stop();
  delete halo_.data();
}

void SearchAnchor::follow() {
  const double target = anchorTint(model_.highlightedSetting(), id_);
  fade_.stop();
  if (isVisible() && target != tint_) {
    fade_.setStartValue(tint_);
    fade_.setEndValue(target);
    fade_.start();
    return;
  }
  // Nothing on screen to fade.
  tint_ = target;
  if (halo_) halo_->update();
}

bool SearchAnchor::event(QEvent* event) {
  const bool handled = QWidget::event(event);
  switch (event->type()) {
    case QEvent::ParentChange:
      delete halo_.data();
      placeHalo();
      break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
      placeHalo();
      break;
    default:
      break;
  }
  return handled;
}

void SearchAnchor::placeHalo() {
  if (parentWidget() == nullptr) return;
  if (!halo_) halo_ = new Halo(*this, parentWidget());
  halo_->setGeometry(
      geometry().adjusted(-static_cast<int>(anchorOutset), -static_cast<int>(anchorOutset),
                          static_cast<int>(anchorOutset), static_cast<int>(anchorOutset)));
  halo_->setVisible(!explicitlyHidden(this));
  halo_->stackUnder(this);
}

}  // namespace tovrel::settings
