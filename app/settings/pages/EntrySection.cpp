#include "app/settings/pages/EntrySection.hpp"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/settings/controls/AccessCard.hpp"
#include "app/settings/controls/Form.hpp"
#include "app/settings/controls/SettingControls.hpp"
#include "app/settings/controls/ShortcutField.hpp"
#include "app/settings/previews/LabelsPreview.hpp"
#include "app/settings/previews/ModePreview.hpp"
#include "core/LabelGenerator.hpp"

namespace tovrel::settings {

namespace {

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

QWidget* rowTitle(const QString& title) {
  auto* label = new ThemedLabel(title, TextStyle::title3, Colour::primary);
  label->setFont(settings::font(TextStyle::title3, QFont::DemiBold));
  return label;
}

PreviewKeys keysOf(const TovrelConfig& config) {
  PreviewCaptions captions = previewCaptions(config);
  return PreviewKeys{captions.up, captions.left, captions.down, captions.right, captions.click};
}

std::vector<std::string> alphabetOf(const TovrelConfig& config) {
  return LabelGenerator::usableAlphabet(config.clickAlphabet);
}

}  // namespace

EntrySection::EntrySection(AppModel& model, InteractionMode mode,
                           std::function<std::optional<std::string>()> openSettings,
                           QWidget* parent)
    : QWidget(parent), model_(model), entry_(*entryMode(mode)) {
  const TovrelConfig& config = model_.config();
  const EntryConfig& entry = config.*(entry_.field);
  const EntryConfig& factory = TovrelConfig::defaults().*(entry_.field);
  const QString title = text(entry_.title);

  section_ = new FormSection;
  card_ = new AccessCard(model_, std::move(openSettings));
  section_->addRow(card_);

  platform::ApplicationServices& application = model_.platform().application;
  start_ = new ShortcutField(
      application, title + QStringLiteral(" start"), entry.gesture, RecorderKind::entry,
      factory.gesture, false, QStringLiteral("None"), true,
      [this](std::optional<Gesture> gesture) -> std::vector<std::string> {
        auto edit = startEdit(model_.config(), entry_.mode, gesture);
        return edit ? model_.commit(edit->config, edit->change) : std::vector<std::string>{};
      });
  auto* startTitle = rowTitle(QStringLiteral("Start"));
  section_->addLabeledRow(startTitle, start_);

  // Both contents of the Stop row live on; the entry's choice shows one of them.
  auto* stopContent = new QWidget;
  auto* stopStack = new QHBoxLayout(stopContent);
  stopStack->setContentsMargins(0, 0, 0, 0);
  stopStack->addStretch(1);
  stop_ = new ShortcutField(application, title + QStringLiteral(" stop"), entry.exit,
                            RecorderKind::exit, factory.exit, false, QStringLiteral("None"), true,
                            [this](std::optional<Gesture> gesture) -> std::vector<std::string> {
                              auto edit = stopEdit(model_.config(), entry_.mode, gesture);
                              return edit ? model_.commit(edit->config, edit->change)
                                          : std::vector<std::string>{};
                            });
  sameAgain_ =
      new ThemedLabel(QStringLiteral("Same shortcut again"), TextStyle::body, Colour::secondary);
  stopStack->addWidget(stop_);
  stopStack->addWidget(sameAgain_);
  section_->addLabeledRow(rowTitle(QStringLiteral("Stop")), stopContent);

  warningsRow_ = new QWidget;
  warningsList_ = new QVBoxLayout(warningsRow_);
  warningsList_->setContentsMargins(0, 0, 0, 0);
  warningsList_->setSpacing(4);
  section_->addRow(warningsRow_);

  if (mode == InteractionMode::click) {
    labels_ = new LabelsPreview(alphabetOf(config), false, config.appearance,
                                LabelsPreview::sampleButtons());
    section_->addRow(labels_);
  } else {
    motion_ = new ModePreview(mode, keysOf(config), std::nullopt,
                              model_.platform().overlays.reduceMotion());
    section_->addRow(motion_);
  }

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->addWidget(new SearchAnchor(model_, text(entry_.anchor), section_));

  token_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::config) refresh();
  });
  refresh();
}

EntrySection::~EntrySection() {
  model_.removeObserver(token_);
}

void EntrySection::refresh() {
  const TovrelConfig& config = model_.config();
  const EntryConfig& entry = config.*(entry_.field);
  start_->setGesture(entry.gesture);
  stop_->setGesture(entry.exit);
  stop_->setVisible(entry.separateExit);
  sameAgain_->setVisible(!entry.separateExit);
  showWarnings(entryWarnings(config, entry_.mode));
  if (labels_) {
    labels_->setAlphabet(alphabetOf(config));
    labels_->setAppearance(config.appearance);
  }
  if (motion_) {
    motion_->setKeys(keysOf(config));
    // The desktop's choice may have changed since the section was made.
    motion_->setReduceMotion(model_.platform().overlays.reduceMotion());
  }
}

void EntrySection::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (motion_) motion_->setReduceMotion(model_.platform().overlays.reduceMotion());
}

void EntrySection::showWarnings(const std::vector<std::string>& warnings) {
  warningsRow_->setVisible(!warnings.empty());
  if (warnings == warnings_) return;
  warnings_ = warnings;
  while (QLayoutItem* item = warningsList_->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  for (const std::string& warning : warnings) {
    auto* row = new QWidget;
    row->setObjectName(QString::fromStdString(warning));
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(6);
    auto* symbol = new SymbolView("exclamationmark.triangle.fill", Colour::orange, 10);
    auto* label =
        new ThemedLabel(QString::fromStdString(warning), TextStyle::caption, Colour::orange);
    label->setWordWrap(true);
    line->addWidget(symbol, 0, Qt::AlignTop);
    line->addWidget(label, 1);
    warningsList_->addWidget(row);
  }
}

}  // namespace tovrel::settings
