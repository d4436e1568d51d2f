#include "app/settings/controls/AccessCard.hpp"

#include <QBoxLayout>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "app/settings/Symbols.hpp"
#include "app/settings/Theme.hpp"
#include "app/settings/pages/EntryLogic.hpp"

namespace tovrel::settings {

namespace {

constexpr int inset = 16;
constexpr int spacing = 12;
constexpr double radius = 12;
constexpr int symbolPixels = 16;

}  // namespace

AccessCard::AccessCard(AppModel& model, std::function<std::optional<std::string>()> openSettings,
                       QWidget* parent)
    : QWidget(parent), model_(model), openSettings_(std::move(openSettings)) {
  setObjectName(QStringLiteral("accessCard"));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(inset, inset, inset, inset);
  outer->setSpacing(8);

  heading_ = new QWidget;
  auto* headingRow = new QHBoxLayout(heading_);
  headingRow->setContentsMargins(0, 0, 0, 0);
  headingRow->setSpacing(8);
  symbol_ = new QLabel;
  title_ = new QLabel;
  title_->setObjectName(QStringLiteral("accessCardTitle"));
  title_->setFont(settings::font(TextStyle::headline));
  title_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  headingRow->addWidget(symbol_);
  headingRow->addWidget(title_);

  buttons_ = new QWidget;
  auto* buttonRow = new QHBoxLayout(buttons_);
  buttonRow->setContentsMargins(0, 0, 0, 0);
  buttonRow->setSpacing(8);
  open_ = new QPushButton(QStringLiteral("Open Settings"));
  open_->setAutoDefault(false);
  check_ = new QPushButton(QStringLiteral("Check Again"));
  check_->setAutoDefault(false);
  buttonRow->addWidget(open_);
  buttonRow->addWidget(check_);

  arrangement_ = new QBoxLayout(QBoxLayout::LeftToRight);
  arrangement_->setSpacing(spacing);
  arrangement_->addWidget(heading_, 0, Qt::AlignLeft);
  arrangement_->addStretch(1);
  arrangement_->addWidget(buttons_, 0, Qt::AlignLeft);
  outer->addLayout(arrangement_);

  problemLine_ = new QLabel;
  problemLine_->setWordWrap(true);
  problemLine_->setFont(settings::font(TextStyle::callout));
  outer->addWidget(problemLine_);

  QObject::connect(open_, &QPushButton::clicked, this, [this] {
    problem_ = openSettings_ ? openSettings_() : std::nullopt;
    refresh();
  });
  QObject::connect(check_, &QPushButton::clicked, this, [this] {
    problem_.reset();
    model_.navigation().recheckReadiness();
    refresh();
  });
  watch_ = std::make_unique<ReadinessWatch>(model_, [this] { refresh(); });
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Maximum);
  refresh();
}

AccessCard::~AccessCard() = default;

void AccessCard::refresh() {
  const NavigationService& navigation = model_.navigation();
  const PermissionReport& report = navigation.readiness();
  const bool shown = accessCardShown(keyboardAccessAllowed(model_),
                                     model_.assumesAccessForSnapshots(), report.secureInputActive);
  secure_ = report.secureInputActive;
  const QString title =
      QString::fromStdString(accessCardTitle(report.secureInputActive, report.secureInputApp));
  title_->setText(title);
  setAccessibleName(title);
  buttons_->setVisible(accessCardOffersActions(report.secureInputActive));
  problemLine_->setVisible(shown && problem_.has_value());
  problemLine_->setText(QString::fromStdString(problem_.value_or("")));
  const QPalette& colours = palette();
  const char* symbol = secure_ ? "lock.fill" : "hand.raised.fill";
  symbol_->setPixmap(symbolIcon(symbol, colour(Colour::orange, colours), symbolPixels)
                         .pixmap(symbolPixels, symbolPixels));
  // The prominent one is filled with the accent colour.
  QPalette prominent = colours;
  prominent.setColor(QPalette::Button, colour(Colour::accent, colours));
  prominent.setColor(QPalette::ButtonText, colours.color(QPalette::HighlightedText));
  open_->setPalette(prominent);
  setVisible(shown);
  arrange();
}

int AccessCard::rowWidth() const {
  int width = heading_->sizeHint().width() + spacing + inset * 2;
  if (!buttons_->isHidden()) width += buttons_->sizeHint().width();
  return width;
}

void AccessCard::arrange() {
  const bool fits = width() >= rowWidth();
  const auto direction = fits ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
  if (arrangement_->direction() != direction) {
    arrangement_->setDirection(direction);
    updateGeometry();
  }
}

void AccessCard::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  arrange();
}

void AccessCard::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) refresh();
}

void AccessCard::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette& colours = palette();
  QPainterPath card;
  card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
  painter.fillPath(card, colour(Colour::orange, colours, 0.1));
  painter.setPen(QPen(colour(Colour::orange, colours, 0.3), 1));
  painter.drawPath(card);
}

}  // namespace tovrel::settings
