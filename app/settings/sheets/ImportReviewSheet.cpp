#include "app/settings/sheets/ImportReviewSheet.hpp"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/settings/Theme.hpp"
#include "app/settings/controls/Form.hpp"
#include "app/settings/controls/SettingControls.hpp"

namespace tovrel::settings {

namespace {

QTableWidgetItem* cell(const std::string& text, const QColor& colour) {
  auto* item = new QTableWidgetItem(QString::fromStdString(text));
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  item->setForeground(colour);
  return item;
}

}  // namespace

ImportReviewSheet::ImportReviewSheet(AppModel& model, ImportReview review,
                                     std::function<void()> close, QWidget* parent)
    : QDialog(parent), model_(model), review_(std::move(review)), close_(std::move(close)) {
  setObjectName(QStringLiteral("importReviewSheet"));
  setWindowTitle(QString::fromStdString(review_.title));
  setWindowModality(Qt::WindowModal);
  setAttribute(Qt::WA_DeleteOnClose);
  const QPalette& colours = palette();

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(22, 22, 22, 22);
  column->setSpacing(14);

  auto* title =
      new ThemedLabel(QString::fromStdString(review_.title), TextStyle::title3, Colour::primary);
  title->setObjectName(QStringLiteral("title"));
  title->setFont(settings::font(TextStyle::title3, QFont::DemiBold));
  title->setWordWrap(true);
  column->addWidget(title);

  if (!review_.rows.empty()) {
    table_ = new QTableWidget(static_cast<int>(review_.rows.size()), 4);
    table_->setObjectName(QStringLiteral("rows"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Mouseless command"), QStringLiteral("Key"),
                                       QStringLiteral("Tovrel"), QStringLiteral("Note")});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->setMinimumHeight(220);
    table_->setFont(settings::font(TextStyle::callout));
    const QColor primary = colour(Colour::primary, colours);
    const QColor secondary = colour(Colour::secondary, colours);
    const QColor orange = colour(Colour::orange, colours);
    for (int i = 0; i < table_->rowCount(); ++i) {
      const MouselessImport::Row& row = review_.rows[static_cast<std::size_t>(i)];
      table_->setItem(i, 0, cell(row.source, primary));
      table_->setItem(i, 1, cell(row.sourceBinding, secondary));
      table_->setItem(i, 2, cell(row.proposal, primary));
      QTableWidgetItem* note = cell(row.issue.value_or(""), row.issue ? orange : secondary);
      note->setToolTip(QString::fromStdString(row.issue.value_or("")));
      table_->setItem(i, 3, note);
    }
    // The notes are long: they end in an ellipsis and their tooltip holds the whole text.
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setTextElideMode(Qt::ElideRight);
    for (int column = 0; column < 3; ++column)
      table_->horizontalHeader()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);
    column->addWidget(table_, 1);
  }

  if (review_.proposed) {
    summary_ = new QWidget;
    summary_->setObjectName(QStringLiteral("summary"));
    summaryLayout_ = new QVBoxLayout(summary_);
    summaryLayout_->setContentsMargins(0, 0, 0, 0);
    summaryLayout_->setSpacing(4);
    column->addWidget(summary_);
  }

  if (!review_.problems.empty()) {
    auto* refused = new ThemedLabel(QStringLiteral("This cannot be applied. Nothing was changed."),
                                    TextStyle::callout, Colour::red);
    refused->setObjectName(QStringLiteral("refused"));
    refused->setFont(settings::font(TextStyle::callout, QFont::DemiBold));
    refused->setWordWrap(true);
    column->addWidget(refused);
    auto* problems = new ProblemList(review_.problems);
    problems->setObjectName(QStringLiteral("problems"));
    column->addWidget(problems);
  }

  auto* footer = new QHBoxLayout;
  footer->setSpacing(8);
  footer->addStretch(1);
  cancel_ = new QPushButton(QStringLiteral("Cancel"));
  cancel_->setObjectName(QStringLiteral("cancel"));
  cancel_->setAutoDefault(false);
  apply_ = new QPushButton(QStringLiteral("Apply"));
  apply_->setObjectName(QStringLiteral("apply"));
  apply_->setDefault(true);
  apply_->setEnabled(applyEnabled(review_));
  footer->addWidget(cancel_);
  footer->addWidget(apply_);
  column->addLayout(footer);

  QObject::connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  QObject::connect(apply_, &QPushButton::clicked, this, [this] { apply(); });
  QObject::connect(this, &QDialog::finished, this, [this] {
    if (close_) close_();
  });

  observer_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::config) refreshSummary();
  });
  refreshSummary();
}

ImportReviewSheet::~ImportReviewSheet() {
  model_.removeObserver(observer_);
}

QStringList ImportReviewSheet::summaryLines() const {
  QStringList lines;
  if (summary_ == nullptr) return lines;
  for (QLabel* line : summary_->findChildren<QLabel*>())
    lines << line->text();
  return lines;
}

void ImportReviewSheet::refreshSummary() {
  if (summaryLayout_ != nullptr) {
    while (QLayoutItem* item = summaryLayout_->takeAt(0)) {
      delete item->widget();
      delete item;
    }
    for (const SummaryLine& line : importSummary(model_.config(), *review_.proposed)) {
      const bool footnote = line.style == SummaryLine::Style::footnote;
      auto* label = new ThemedLabel(QString::fromStdString(line.text),
                                    footnote ? TextStyle::caption : TextStyle::callout,
                                    footnote ? Colour::secondary : Colour::primary);
      if (line.style == SummaryLine::Style::count)
        label->setFont(settings::font(TextStyle::callout, QFont::Medium));
      label->setWordWrap(true);
      summaryLayout_->addWidget(label);
    }
  }
  fitHeight();
}

void ImportReviewSheet::fitHeight() {
  // The width follows from the table, the height from the content.
  const int width = reviewSheetWidth(review_);
  QLayout* column = layout();
  column->activate();
  setFixedSize(width, column->hasHeightForWidth() ? column->totalHeightForWidth(width)
                                                  : column->totalSizeHint().height());
}

void ImportReviewSheet::apply() {
  if (!applyEnabled(review_)) return;
  // A refusal here can only be a failed save, which the model reports in its storage note.
  model_.commit(*review_.proposed, applyChangeText(review_));
  accept();
}

}  // namespace tovrel::settings
