#include "app/settings/sheets/ResetSheet.hpp"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/settings/Theme.hpp"
#include "app/settings/controls/Form.hpp"
#include "app/settings/controls/SettingControls.hpp"

namespace tovrel::settings {

namespace {

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

}  // namespace

ResetSheet::ResetSheet(AppModel& model, std::function<void()> close, QWidget* parent, Scope scope)
    : QDialog(parent), model_(model), close_(std::move(close)), scope_(scope) {
  setObjectName(QStringLiteral("resetSheet"));
  setWindowTitle(QStringLiteral("Reset Settings"));
  setWindowModality(Qt::WindowModal);
  setAttribute(Qt::WA_DeleteOnClose);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(22, 22, 22, 22);
  column->setSpacing(14);

  auto* title =
      new ThemedLabel(QStringLiteral("Reset Settings"), TextStyle::title3, Colour::primary);
  title->setFont(settings::font(TextStyle::title3, QFont::DemiBold));
  column->addWidget(title);

  auto* picker = new QWidget;
  auto* pickerRow = new QHBoxLayout(picker);
  pickerRow->setContentsMargins(0, 0, 0, 0);
  pickerRow->setSpacing(10);
  auto* pickerTitle = new ThemedLabel(QStringLiteral("Reset:"), TextStyle::body, Colour::primary);
  pickerRow->addWidget(pickerTitle, 0, Qt::AlignTop);
  auto* radios = new QVBoxLayout;
  radios->setSpacing(6);
  auto* group = new QButtonGroup(picker);
  for (Scope each : allResetScopes) {
    auto* radio = new QRadioButton(text(resetScopeTitle(each)));
    radio->setFont(settings::font(TextStyle::body));
    radio->setObjectName(text(resetScopeTitle(each)));
    group->addButton(radio);
    radios->addWidget(radio);
    choices_.push_back(radio);
    QObject::connect(radio, &QRadioButton::toggled, this, [this, each](bool on) {
      if (on && scope_ != each) {
        scope_ = each;
        problems_->setProblems({});
        refresh();
      }
    });
  }
  pickerTitle->setAccessibleName(QStringLiteral("Reset"));
  pickerRow->addLayout(radios);
  pickerRow->addStretch(1);
  column->addWidget(picker);

  summary_ = new QWidget;
  summaryLayout_ = new QVBoxLayout(summary_);
  summaryLayout_->setContentsMargins(0, 0, 0, 0);
  summaryLayout_->setSpacing(4);
  column->addWidget(summary_);

  problems_ = new ProblemList;
  problems_->setObjectName(QStringLiteral("problems"));
  column->addWidget(problems_);

  auto* footer = new QHBoxLayout;
  footer->setSpacing(8);
  footer->addWidget(new ThemedLabel(QStringLiteral("Undo is available afterwards."),
                                    TextStyle::caption, Colour::secondary));
  footer->addStretch(1);
  cancel_ = new QPushButton(QStringLiteral("Cancel"));
  cancel_->setObjectName(QStringLiteral("cancel"));
  cancel_->setAutoDefault(false);
  reset_ = new QPushButton(QStringLiteral("Reset"));
  reset_->setObjectName(QStringLiteral("reset"));
  // Destructive, so no key gives it: neither button is the default, and Return on a focused
  // button does not press it (Space does); Escape cancels.
  reset_->setAutoDefault(false);
  // A destructive button reads in red.
  QPalette warning = reset_->palette();
  warning.setColor(QPalette::ButtonText, colour(Colour::red, warning));
  reset_->setPalette(warning);
  footer->addWidget(cancel_);
  footer->addWidget(reset_);
  column->addLayout(footer);

  QObject::connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  QObject::connect(reset_, &QPushButton::clicked, this, [this] { confirm(); });
  QObject::connect(this, &QDialog::finished, this, [this] {
    if (close_) close_();
  });

  observer_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::config) refresh();
  });
  setScope(scope);
  refresh();
}

ResetSheet::~ResetSheet() {
  model_.removeObserver(observer_);
}

void ResetSheet::setScope(Scope scope) {
  for (std::size_t i = 0; i < allResetScopes.size(); ++i)
    if (allResetScopes[i] == scope) choices_[i]->setChecked(true);
}

QStringList ResetSheet::summaryLines() const {
  QStringList lines;
  for (QLabel* line : summary_->findChildren<QLabel*>())
    lines << line->text();
  return lines;
}

QStringList ResetSheet::problems() const {
  return problems_->problems();
}

void ResetSheet::refresh() {
  const TovrelConfig proposed = resetConfig(model_.config(), scope_);
  const ResetSummary summary = resetSummary(model_.config(), proposed);
  while (QLayoutItem* item = summaryLayout_->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  for (const std::string& line : summary.lines) {
    auto* label = new ThemedLabel(QString::fromStdString(line), TextStyle::callout,
                                  summary.alreadyDefault ? Colour::secondary : Colour::primary);
    label->setWordWrap(true);
    summaryLayout_->addWidget(label);
  }
  reset_->setEnabled(!summary.alreadyDefault);
  fitHeight();
}

void ResetSheet::fitHeight() {
  // The width is fixed and the height follows the content, as a sheet's does.
  QLayout* column = layout();
  column->activate();
  setFixedSize(sheetWidth, column->hasHeightForWidth() ? column->totalHeightForWidth(sheetWidth)
                                                       : column->totalSizeHint().height());
}

void ResetSheet::confirm() {
  const TovrelConfig proposed = resetConfig(model_.config(), scope_);
  if (proposed == model_.config()) return;
  const std::vector<std::string> problems = model_.commit(proposed, resetChangeText(scope_));
  // A refused reset would otherwise look like one that worked: the sheet stays and says why.
  if (!problems.empty()) {
    problems_->setProblems(problems);
    fitHeight();
    return;
  }
  accept();
}

}  // namespace tovrel::settings
