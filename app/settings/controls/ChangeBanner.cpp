#include "app/settings/controls/ChangeBanner.hpp"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>

#include "app/settings/Symbols.hpp"
#include "app/settings/Theme.hpp"

namespace tovrel::settings {

namespace {

// A change text on one line, cut short with an ellipsis when the bar is too narrow; a problem
// sentence whole, over as many lines as it needs.
class ElidedLabel : public QLabel {
 public:
  using QLabel::QLabel;
  void setFullText(const QString& text, bool whole) {
    full_ = text;
    setToolTip(text);
    setAccessibleName(text);
    setWordWrap(whole);
    elide();
  }
  QSize minimumSizeHint() const override { return QSize(40, QLabel::minimumSizeHint().height()); }

 protected:
  void resizeEvent(QResizeEvent* event) override {
    QLabel::resizeEvent(event);
    elide();
  }

 private:
  void elide() {
    setText(wordWrap() ? full_
                       : fontMetrics().elidedText(full_, Qt::ElideRight, std::max(width(), 1)));
  }
  QString full_;
};

}  // namespace

ChangeBanner::ChangeBanner(AppModel& model, QWidget* parent)
    : QWidget(parent),
      model_(model),
      dismissal_(
          model.platform().scheduler, [this] { return currentChange(); },
          [&model] { model.dismissChange(); }) {
  setObjectName(QStringLiteral("changeBanner"));
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(16, 8, 16, 8);
  row->setSpacing(10);
  check_ = new QLabel;
  check_->setAccessibleName(QString());
  text_ = new ElidedLabel;
  text_->setObjectName(QStringLiteral("changeText"));
  text_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  undo_ = new QPushButton(QStringLiteral("Undo"));
  undo_->setFocusPolicy(Qt::TabFocus);
  dismiss_ = new QToolButton;
  dismiss_->setAutoRaise(true);
  dismiss_->setAccessibleName(QStringLiteral("Dismiss"));
  dismiss_->setToolTip(QStringLiteral("Dismiss"));
  dismiss_->setFocusPolicy(Qt::TabFocus);
  row->addWidget(check_);
  row->addWidget(text_, 1);
  row->addWidget(undo_);
  row->addWidget(dismiss_);
  QObject::connect(undo_, &QPushButton::clicked, this, [this] { model_.undo(); });
  QObject::connect(dismiss_, &QToolButton::clicked, this, [this] { model_.dismissChange(); });

  token_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::lastChange || property == AppModel::Property::undoStack)
      refresh();
  });
  refresh();
}

ChangeBanner::~ChangeBanner() {
  model_.removeObserver(token_);
}

std::optional<std::uint64_t> ChangeBanner::currentChange() const {
  if (!model_.lastChange()) return std::nullopt;
  return model_.changeCount();
}

void ChangeBanner::refresh() {
  const std::optional<std::string>& change = model_.lastChange();
  setVisible(change.has_value());
  static_cast<ElidedLabel*>(text_)->setFullText(QString::fromStdString(change.value_or("")),
                                                model_.lastChangeFailed());
  // A refused commit took nothing to undo, and an older change's Undo would read as its.
  undo_->setVisible(!model_.undoStack().empty() && !model_.lastChangeFailed());
  restyle();
  // The wait runs only while the banner is on screen: a change made while the window is closed
  // shows its full time once the window is open again. A cleared text ends any wait.
  if (!change || isVisible()) dismissal_.shown(currentChange(), !model_.lastChangeFailed());
}

void ChangeBanner::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  dismissal_.shown(currentChange(), !model_.lastChangeFailed());
}

void ChangeBanner::tornDown() {
  dismissal_.tornDown();
}

void ChangeBanner::restyle() {
  const QPalette& colours = palette();
  const QFont callout = settings::font(TextStyle::callout);
  text_->setFont(callout);
  undo_->setFont(callout);
  const int side = 14;
  const bool failed = model_.lastChangeFailed();
  check_->setPixmap(symbolIcon(failed ? "exclamationmark.triangle.fill" : "checkmark.circle.fill",
                               colour(failed ? Colour::orange : Colour::green, colours), side)
                        .pixmap(side, side));
  dismiss_->setIcon(symbolIcon("xmark", colour(Colour::secondary, colours), 12));
}

void ChangeBanner::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) restyle();
}

void ChangeBanner::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colours = palette();
  // The bar: the window's colour a shade apart from the page, with a hairline along its top.
  QColor bar = colour(Colour::windowBackground, colours);
  bar = isDark(colours) ? bar.lighter(112) : bar.darker(103);
  painter.fillRect(rect(), bar);
  painter.fillRect(QRectF(0, 0, width(), 1), colour(Colour::separator, colours));
}

}  // namespace tovrel::settings
