#include "app/settings/controls/Form.hpp"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "app/settings/Symbols.hpp"

namespace tovrel::settings {

namespace {

// The palette a widget's named colours are chosen by: its parent's, or the application's for a
// window; never the widget's own, whose text colour it may have changed itself.
QPalette surroundingPalette(const QWidget* widget) {
  return widget->parentWidget() != nullptr ? widget->parentWidget()->palette()
                                           : QGuiApplication::palette();
}

constexpr int sectionRadius = 8;
constexpr int rowInsetX = 12;
constexpr int rowInsetY = 8;

}  // namespace

// ---- ThemedLabel

ThemedLabel::ThemedLabel(const QString& text, TextStyle style, Colour colour, QWidget* parent)
    : QLabel(text, parent), colour_(colour) {
  setFont(settings::font(style));
  applyColour();
}

void ThemedLabel::setColour(Colour colour) {
  colour_ = colour;
  applyColour();
}

void ThemedLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ParentChange)
    applyColour();
}

void ThemedLabel::applyColour() {
  if (applying_) return;  // setPalette below sends a palette change of its own
  applying_ = true;
  QPalette own = palette();
  own.setColor(QPalette::WindowText, colour(colour_, surroundingPalette(this)));
  setPalette(own);
  applying_ = false;
}

// ---- SymbolView

SymbolView::SymbolView(std::string symbol, Colour colour, double fontPixels, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), colour_(colour), fontPixels_(fontPixels) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setSymbol(std::string symbol, Colour colour) {
  symbol_ = std::move(symbol);
  colour_ = colour;
  updateGeometry();
  update();
}

QSize SymbolView::sizeHint() const {
  return symbolSize(symbol_, fontPixels_).toSize().expandedTo(QSize(1, 1));
}

void SymbolView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintSymbol(painter, symbol_, QRectF(rect()), colour(colour_, palette()));
}

// ---- LabeledRow

LabeledRow::LabeledRow(QWidget* label, QWidget* control, QWidget* parent)
    : QWidget(parent), layout_(new QHBoxLayout(this)) {
  layout_->setContentsMargins(0, 0, 0, 0);
  layout_->setSpacing(12);
  if (label != nullptr) setLabel(label);
  if (control != nullptr) setControl(control);
}

void LabeledRow::setLabel(QWidget* label) {
  delete label_;
  label_ = label;
  // No horizontal alignment: the label takes all the width the control leaves, so wrapping text
  // wraps at that width.
  if (label_ != nullptr) layout_->insertWidget(0, label_, 1, Qt::AlignVCenter);
}

void LabeledRow::setControl(QWidget* control) {
  delete control_;
  control_ = control;
  if (control_ != nullptr) layout_->addWidget(control_, 0, Qt::AlignTrailing | Qt::AlignVCenter);
}

// ---- FormSection

// The rounded box of a section. Each row sits in a padded cell that shows and hides with the
// row; hairlines are drawn above every visible cell but the first.
class SectionBox : public QWidget {
 public:
  explicit SectionBox(QWidget* parent) : QWidget(parent), layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    hide();
  }

  void add(QWidget* row) {
    auto* cell = new QWidget(this);
    auto* padding = new QVBoxLayout(cell);
    padding->setContentsMargins(rowInsetX, rowInsetY, rowInsetX, rowInsetY);
    padding->addWidget(row);
    cell->setVisible(!row->isHidden());
    row->installEventFilter(this);
    cells_.push_back({row, cell});
    layout_->addWidget(cell);
    follow();
  }

  void remove(QWidget* row) {
    const auto found =
        std::find_if(cells_.begin(), cells_.end(), [row](const Cell& c) { return c.row == row; });
    if (found == cells_.end()) return;
    delete found->cell;  // and the row in it
    cells_.erase(found);
    follow();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent) {
      for (const Cell& c : cells_)
        if (c.row == watched) c.cell->setVisible(event->type() == QEvent::ShowToParent);
      follow();
    }
    return QWidget::eventFilter(watched, event);
  }

  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& p = palette();
    painter.setPen(QPen(colour(Colour::separator, p), 1));
    painter.setBrush(colour(Colour::controlBackground, p));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), sectionRadius,
                            sectionRadius);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(colour(Colour::separator, p), 0));
    bool first = true;
    for (const Cell& c : cells_) {
      if (c.cell->isHidden()) continue;
      if (!first) {
        const int y = c.cell->geometry().top();
        painter.drawLine(rowInsetX, y, width() - rowInsetX, y);
      }
      first = false;
    }
  }

 private:
  struct Cell {
    QWidget* row;
    QWidget* cell;
  };

  // The box exists only while it has a row to show.
  void follow() {
    setVisible(std::any_of(cells_.begin(), cells_.end(),
                           [](const Cell& c) { return !c.cell->isHidden(); }));
    update();
  }

  QVBoxLayout* layout_;
  std::vector<Cell> cells_;
};

FormSection::FormSection(const QString& header, const QString& footer, QWidget* parent)
    : QWidget(parent),
      header_(new ThemedLabel(header, TextStyle::caption, Colour::secondary, this)),
      box_(new SectionBox(this)),
      footer_(new ThemedLabel(footer, TextStyle::caption, Colour::secondary, this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  for (ThemedLabel* text : {header_, footer_}) {
    text->setWordWrap(true);
    text->setContentsMargins(rowInsetX, 0, rowInsetX, 0);
  }
  layout->addWidget(header_);
  layout->addWidget(box_);
  layout->addWidget(footer_);
  setHeader(header);
  setFooter(footer);
}

void FormSection::setHeader(const QString& header) {
  header_->setText(header);
  header_->setVisible(!header.isEmpty());
}

void FormSection::setFooter(const QString& footer) {
  footer_->setText(footer);
  footer_->setVisible(!footer.isEmpty());
}

void FormSection::addRow(QWidget* row) {
  box_->add(row);
}

void FormSection::removeRow(QWidget* row) {
  box_->remove(row);
}

LabeledRow* FormSection::addLabeledRow(QWidget* label, QWidget* control) {
  auto* row = new LabeledRow(label, control);
  addRow(row);
  return row;
}

LabeledRow* FormSection::addLabeledRow(const QString& title, QWidget* control) {
  auto* label = new ThemedLabel(title, TextStyle::body, Colour::primary);
  label->setWordWrap(true);
  return addLabeledRow(label, control);
}

// ---- FormPage

FormPage::FormPage(QWidget* parent)
    : QScrollArea(parent), column_(new QWidget), layout_(new QVBoxLayout(column_)) {
  setFrameShape(QFrame::NoFrame);
  setWidgetResizable(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setBackgroundRole(QPalette::Window);
  viewport()->setBackgroundRole(QPalette::Window);
  viewport()->setAutoFillBackground(true);
  layout_->setContentsMargins(20, 20, 20, 20);
  layout_->setSpacing(18);
  layout_->addStretch(1);
  setWidget(column_);
}

FormSection* FormPage::addSection(const QString& header, const QString& footer) {
  auto* section = new FormSection(header, footer);
  addWidget(section);
  return section;
}

void FormPage::addWidget(QWidget* widget) {
  layout_->insertWidget(layout_->count() - 1, widget);
}

// ---- SwitchButton

namespace {

constexpr QSizeF trackSize(34, 20);
constexpr double focusRing = 3;

QColor mix(const QColor& a, const QColor& b, double t) {
  const auto lerp = [t](float x, float y) { return x + static_cast<float>(t) * (y - x); };
  return QColor::fromRgbF(lerp(a.redF(), b.redF()), lerp(a.greenF(), b.greenF()),
                          lerp(a.blueF(), b.blueF()), lerp(a.alphaF(), b.alphaF()));
}

}  // namespace

SwitchButton::SwitchButton(QWidget* parent) : QAbstractButton(parent) {
  setCheckable(true);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setCursor(Qt::PointingHandCursor);
  knob_.setDuration(140);
  knob_.setEasingCurve(QEasingCurve::InOutQuad);
  QObject::connect(&knob_, &QVariantAnimation::valueChanged, this, [this] { update(); });
  QObject::connect(this, &QAbstractButton::toggled, this, [this](bool on) {
    const double from = knob_.state() == QAbstractAnimation::Running
                            ? knob_.currentValue().toDouble()
                            : (on ? 0.0 : 1.0);
    knob_.stop();
    if (isVisible()) {
      knob_.setStartValue(from);
      knob_.setEndValue(on ? 1.0 : 0.0);
      knob_.start();
    }
    update();
    // Every way the state turns but setOn() is the user's: a click, Space, or an accessibility
    // action, which toggles without clicking.
    if (!settingOn_ && toggled_) toggled_(on);
  });
}

void SwitchButton::setOn(bool on) {
  const bool outer = settingOn_;
  settingOn_ = true;
  setChecked(on);
  settingOn_ = outer;
}

QSize SwitchButton::sizeHint() const {
  return (trackSize + QSizeF(2 * focusRing, 2 * focusRing)).toSize();
}

void SwitchButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& p = palette();
  const bool dark = isDark(p);
  const double at = knob_.state() == QAbstractAnimation::Running ? knob_.currentValue().toDouble()
                                                                 : (isChecked() ? 1.0 : 0.0);
  if (!isEnabled()) painter.setOpacity(0.45);

  const QRectF track(
      QPointF((width() - trackSize.width()) / 2, (height() - trackSize.height()) / 2), trackSize);
  const double round = track.height() / 2;
  if (hasFocus()) {
    painter.setPen(QPen(colour(Colour::accent, p, 0.55), 2.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(track.adjusted(-1.5, -1.5, 1.5, 1.5), round + 1.5, round + 1.5);
  }
  const QColor off = colour(Colour::gray, p, dark ? 0.45 : 0.28);
  painter.setPen(Qt::NoPen);
  painter.setBrush(mix(off, colour(Colour::accent, p), at));
  painter.drawRoundedRect(track, round, round);

  const double inset = 2;
  const double diameter = track.height() - 2 * inset;
  const QPointF knobCentre(
      track.left() + inset + diameter / 2 + at * (track.width() - 2 * inset - diameter),
      track.center().y());
  painter.setBrush(QColor::fromRgbF(0, 0, 0, dark ? 0.35f : 0.18f));
  painter.drawEllipse(knobCentre + QPointF(0, 0.6), diameter / 2 + 0.3, diameter / 2 + 0.3);
  painter.setBrush(Qt::white);
  painter.drawEllipse(knobCentre, diameter / 2, diameter / 2);
}

// ---- SegmentedControl

namespace {

constexpr int segmentPadding = 11;
constexpr int segmentHeight = 22;
constexpr int capsuleInset = 2;

// One segment: a checkable button for the mouse and assistive technology; the control paints it.
class Segment : public QAbstractButton {
 public:
  Segment(const QString& text, QWidget* parent) : QAbstractButton(parent) {
    setText(text);
    setCheckable(true);
    setFocusPolicy(Qt::NoFocus);
    setFont(settings::font(TextStyle::body, QFont::Medium));
  }
  QSize sizeHint() const override {
    return {fontMetrics().horizontalAdvance(text()) + 2 * segmentPadding,
            segmentHeight - 2 * capsuleInset};
  }

 protected:
  void paintEvent(QPaintEvent*) override {}
  // The control checks the chosen segment itself, after comparing it with the one before.
  void nextCheckState() override {}
};

}  // namespace

SegmentedControl::SegmentedControl(const QStringList& segments, QWidget* parent)
    : QWidget(parent), layout_(new QHBoxLayout(this)) {
  layout_->setContentsMargins(capsuleInset, capsuleInset, capsuleInset, capsuleInset);
  layout_->setSpacing(0);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  setSegments(segments);
}

void SegmentedControl::setSegments(const QStringList& segments) {
  if (segments == this->segments()) return;
  const QString kept = selected();
  // The owner may set new segments from the choice callback of one of the old ones, which is
  // still running: they go later.
  for (QAbstractButton* button : buttons_) {
    QObject::disconnect(button, nullptr, this, nullptr);
    layout_->removeWidget(button);
    button->hide();
    button->deleteLater();
  }
  buttons_.clear();
  chosen_ = -1;
  for (int i = 0; i < segments.size(); ++i) {
    auto* button = new Segment(segments[i], this);
    QObject::connect(button, &QAbstractButton::clicked, this, [this, i] { choose(i); });
    // Assistive technology toggles a segment without clicking it: turning one on chooses it, and
    // the chosen one cannot be turned off.
    QObject::connect(button, &QAbstractButton::toggled, this, [this, i](bool on) {
      if (on) {
        choose(i);
      } else {
        setSelected(selected());
      }
    });
    layout_->addWidget(button);
    buttons_.push_back(button);
  }
  setSelected(kept);
  updateGeometry();
  update();
}

QStringList SegmentedControl::segments() const {
  QStringList names;
  for (const QAbstractButton* button : buttons_)
    names << button->text();
  return names;
}

void SegmentedControl::setSelected(const QString& segment) {
  chosen_ = -1;
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    const bool on = chosen_ < 0 && buttons_[i]->text() == segment;
    if (on) chosen_ = static_cast<int>(i);
    const QSignalBlocker quiet(buttons_[i]);
    buttons_[i]->setChecked(on);
  }
  update();
}

QString SegmentedControl::selected() const {
  return chosen_ < 0 ? QString() : buttons_[static_cast<std::size_t>(chosen_)]->text();
}

int SegmentedControl::selectedIndex() const {
  return chosen_;
}

void SegmentedControl::choose(int index) {
  const int before = selectedIndex();
  const QString name = buttons_[static_cast<std::size_t>(index)]->text();
  setSelected(name);
  if (index != before && selected_) selected_(name);
}

QSize SegmentedControl::sizeHint() const {
  int width = 2 * capsuleInset;
  for (const QAbstractButton* button : buttons_)
    width += button->sizeHint().width();
  return {width, segmentHeight};
}

void SegmentedControl::keyPressEvent(QKeyEvent* event) {
  const int count = static_cast<int>(buttons_.size());
  int step = 0;
  if (event->key() == Qt::Key_Left) step = layoutDirection() == Qt::RightToLeft ? 1 : -1;
  if (event->key() == Qt::Key_Right) step = layoutDirection() == Qt::RightToLeft ? -1 : 1;
  if (step == 0 || count == 0) return QWidget::keyPressEvent(event);
  const int from = selectedIndex();
  const int to = from < 0 ? (step > 0 ? 0 : count - 1) : std::clamp(from + step, 0, count - 1);
  if (to != from) choose(to);
  event->accept();
}

void SegmentedControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& p = palette();
  const bool dark = isDark(p);
  const QRectF capsule = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const double round = capsule.height() / 2;
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour(Colour::gray, p, dark ? 0.3 : 0.16));
  painter.drawRoundedRect(capsule, round, round);

  const int chosen = selectedIndex();
  for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) {
    const QRectF cell = buttons_[static_cast<std::size_t>(i)]->geometry();
    if (i == chosen) {
      const double r = cell.height() / 2;
      painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.12f));
      painter.drawRoundedRect(cell.translated(0, 0.5), r, r);
      painter.setBrush(dark ? colour(Colour::gray, p, 0.65) : colour(Colour::controlBackground, p));
      painter.drawRoundedRect(cell, r, r);
    } else if (i > 0 && i - 1 != chosen) {
      painter.setPen(QPen(colour(Colour::separator, p), 1));
      painter.drawLine(QPointF(cell.left(), cell.top() + 4),
                       QPointF(cell.left(), cell.bottom() - 4));
      painter.setPen(Qt::NoPen);
    }
  }
  painter.setFont(settings::font(TextStyle::body, QFont::Medium));
  for (int i = 0; i < static_cast<int>(buttons_.size()); ++i) {
    const QAbstractButton* button = buttons_[static_cast<std::size_t>(i)];
    painter.setPen(colour(Colour::primary, p, isEnabled() ? 1.0 : 0.4));
    painter.drawText(QRectF(button->geometry()), Qt::AlignCenter, button->text());
  }
  if (hasFocus()) {
    painter.setPen(QPen(colour(Colour::accent, p, 0.55), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(capsule.adjusted(0.5, 0.5, -0.5, -0.5), round, round);
  }
}

}  // namespace tovrel::settings
