#include "app/settings/SettingsWindowView.hpp"

#include <QApplication>
#include <QHideEvent>
#include <QListWidget>
#include <QPainter>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "app/settings/Symbols.hpp"
#include "app/settings/controls/ChangeBanner.hpp"
#include "app/settings/controls/SettingControls.hpp"

namespace tovrel::settings {

namespace {

constexpr int pageRole = Qt::UserRole + 1;
constexpr int tileSize = 20;
const QString sidebarStyle =
    QStringLiteral("QListWidget { background: transparent; padding-top: 8px; }");
constexpr int rowHeight = 28;
constexpr int sectionGap = 14;

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

// The first row of a section after the first stands lower: the gap between sections is part of
// it, so screen readers and discovery see only the pages.
bool opensSection(std::size_t row) {
  return row > 0 && sidebarRows()[row].section != sidebarRows()[row - 1].section;
}

// A row: the tile, then the title.
class SidebarDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const auto row = static_cast<std::size_t>(index.data(pageRole).toInt());
    return QSize(option.rect.width(), rowHeight + (opensSection(row) ? sectionGap : 0));
  }

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QVariant page = index.data(pageRole);
    if (!page.isValid()) return;
    const auto number = static_cast<std::size_t>(page.toInt());
    const SidebarRow& row = sidebarRows()[number];
    const QPalette& colours = option.palette;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF cell =
        QRectF(option.rect).adjusted(8, 1 + (opensSection(number) ? sectionGap : 0), -8, -1);
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    if (selected) {
      QColor fill = colour(Colour::accent, colours);
      if (!option.state.testFlag(QStyle::State_Active)) fill = colour(Colour::gray, colours, 0.35);
      painter->setPen(Qt::NoPen);
      painter->setBrush(fill);
      painter->drawRoundedRect(cell, 6, 6);
    }
    const QRectF tile(cell.left() + 6, cell.center().y() - tileSize / 2.0, tileSize, tileSize);
    paintIconTile(*painter, tile, row.symbol, colour(row.colour, colours));
    painter->setFont(settings::font(TextStyle::body));
    painter->setPen(selected && option.state.testFlag(QStyle::State_Active)
                        ? colours.color(QPalette::HighlightedText)
                        : colour(Colour::primary, colours));
    const QRectF title = cell.adjusted(6 + tileSize + 8, 0, -6, 0);
    painter->drawText(title, Qt::AlignVCenter | Qt::AlignLeft,
                      option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                    Qt::ElideRight, int(title.width())));
    if (option.state.testFlag(QStyle::State_HasFocus)) {
      QPen ring(colour(Colour::accent, colours, 0.5), 2);
      painter->setPen(ring);
      painter->setBrush(Qt::NoBrush);
      painter->drawRoundedRect(cell.adjusted(1, 1, -1, -1), 6, 6);
    }
    painter->restore();
  }
};

}  // namespace

const std::array<SidebarRow, 5>& sidebarRows() {
  static const std::array<SidebarRow, 5> rows = {{
      {SettingsPage::click, 1, "hand.point.up.left.fill", Colour::teal},
      {SettingsPage::scroll, 1, "scroll.fill", Colour::mint},
      {SettingsPage::cursor, 1, "cursorarrow.motionlines", Colour::indigo},
      {SettingsPage::general, 2, "gearshape.fill", Colour::gray},
      {SettingsPage::about, 2, "info.circle.fill", Colour::blue},
  }};
  return rows;
}

bool shouldWriteSelection(std::optional<SettingsPage> reported, SettingsPage current) {
  return reported.has_value() && *reported != current;
}

QString settingsWindowTitle(SettingsPage page) {
  return QStringLiteral("Tovrel — ") + text(rawValue(page));
}

SettingsWindowView::SettingsWindowView(AppModel& model, PageFactory makePage, QWidget* parent)
    : QWidget(parent), model_(model), makePage_(std::move(makePage)) {
  // Everything inside takes the program's typeface unless it asks for another style.
  setFont(settings::font(TextStyle::body));
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* split = new QSplitter(Qt::Horizontal);
  split->setChildrenCollapsible(false);
  split->setHandleWidth(1);
  outer->addWidget(split);

  sidebar_ = new QListWidget;
  sidebar_->setObjectName(QStringLiteral("sidebar"));
  sidebar_->setAccessibleName(QStringLiteral("Pages"));
  sidebar_->setItemDelegate(new SidebarDelegate(sidebar_));
  sidebar_->setFrameShape(QFrame::NoFrame);
  sidebar_->setMinimumWidth(sidebarMinimum);
  sidebar_->setMaximumWidth(sidebarMaximum);
  sidebar_->setSpacing(0);
  sidebar_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  sidebar_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sidebar_->setContentsMargins(0, 8, 0, 8);
  sidebar_->setStyleSheet(sidebarStyle);
  for (std::size_t i = 0; i < sidebarRows().size(); ++i) {
    const SidebarRow& row = sidebarRows()[i];
    auto* item = new QListWidgetItem(text(rawValue(row.page)));
    item->setData(pageRole, static_cast<int>(i));
    sidebar_->addItem(item);
  }
  QObject::connect(
      sidebar_, &QListWidget::currentItemChanged, this,
      [this](QListWidgetItem* current, QListWidgetItem*) {
        std::optional<SettingsPage> reported;
        if (current && current->data(pageRole).isValid())
          reported = sidebarRows()[static_cast<std::size_t>(current->data(pageRole).toInt())].page;
        if (shouldWriteSelection(reported, model_.page()))
          model_.setPage(*reported);
        else
          refresh();  // a page is always selected
      });

  auto* detail = new QWidget;
  detail_ = new QVBoxLayout(detail);
  detail_->setContentsMargins(0, 0, 0, 0);
  detail_->setSpacing(0);
  banner_ = new ChangeBanner(model_);
  detail_->addWidget(banner_);

  split->addWidget(sidebar_);
  split->addWidget(detail);
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setSizes({sidebarIdeal, 10000});

  token_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::page) refresh();
  });
  refresh();
}

SettingsWindowView::~SettingsWindowView() {
  model_.removeObserver(token_);
}

void SettingsWindowView::refresh() {
  const SettingsPage current = model_.page();
  for (int row = 0; row < sidebar_->count(); ++row) {
    QListWidgetItem* item = sidebar_->item(row);
    const QVariant index = item->data(pageRole);
    if (index.isValid() && sidebarRows()[static_cast<std::size_t>(index.toInt())].page == current) {
      if (sidebar_->currentItem() != item) {
        const QSignalBlocker quiet(sidebar_);
        sidebar_->setCurrentItem(item);
      }
      break;
    }
  }
  if (shown_ != current) showPage(current);
}

void SettingsWindowView::showPage(SettingsPage page) {
  // The old page and whatever was typed into it go; the new one starts from the model.
  if (page_) {
    detail_->removeWidget(page_);
    page_->hide();
    page_->deleteLater();
    page_ = nullptr;
  }
  shown_ = page;
  page_ = makePage_ ? makePage_(page) : new QWidget;
  page_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  detail_->insertWidget(0, page_, 1);
  if (onTitleChanged) onTitleChanged(settingsWindowTitle(page));
}

void SettingsWindowView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // A style sheet keeps the palette the widget had when it was polished: after the desktop
  // switches between light and dark, the sidebar would draw its titles in the old colours.
  if (event->type() == QEvent::PaletteChange && sidebar_ != nullptr) {
    sidebar_->setStyleSheet(QString());
    sidebar_->setStyleSheet(sidebarStyle);
  }
}

void SettingsWindowView::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // Hidden with its window (not minimised): the banner's wait ends now.
  if (!event->spontaneous()) banner_->tornDown();
}

}  // namespace tovrel::settings
