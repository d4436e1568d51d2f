#include "app/settings/pages/ClickModePage.hpp"

#include <QLineEdit>
#include <QPointer>
#include <QShowEvent>

#include "app/settings/controls/SettingControls.hpp"
#include "app/settings/pages/ClickModeLogic.hpp"
#include "app/settings/pages/EntrySection.hpp"
#include "core/PlatformTexts.hpp"

namespace tovrel::settings {

namespace {

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

constexpr int lettersWidth = 240;

QFont monospaced() {
  QFont font = settings::font(TextStyle::body);
  font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Noto Sans Mono"),
                    QStringLiteral("monospace")});
  font.setStyleHint(QFont::Monospace);
  font.setFixedPitch(true);
  return font;
}

}  // namespace

ClickModePage::ClickModePage(const PageContext& context) : model_(context.model) {
  setObjectName(QStringLiteral("Clicking"));
  addWidget(new EntrySection(model_, InteractionMode::click, context.openAccessibilitySettings));

  FormSection* switches = addSection();
  const QString enter = QString::fromStdString(Key::name(Key::returnKey));
  switches->addRow(new SettingToggle(
      model_, QStringLiteral("Confirm with ") + enter,
      QStringLiteral("Type a label, then press ") + enter + QStringLiteral(" to click it."),
      &TovrelConfig::clickRequireReturn));
  switches->addRow(
      new SettingToggle(model_, QStringLiteral("Stay on after clicking"),
                        QStringLiteral("Keep labels up for the next click until you press Escape."),
                        &TovrelConfig::clickStaysActive));
  const QString panelTitle = text(platformText::labelMenuBarAndPanel);
  const QString panelDetail = text(platformText::labelMenuBarAndPanelDetail);
  menuBarAndPanel_ = new SwitchButton;
  menuBarAndPanel_->setObjectName(QStringLiteral("labelMenuBarAndPanel"));
  menuBarAndPanel_->setAccessibleName(panelTitle);
  menuBarAndPanel_->setAccessibleDescription(panelDetail);
  menuBarAndPanel_->onToggled([this](bool on) {
    const QPointer<ClickModePage> alive(this);
    ClickEdit edit = setMenuBarAndPanel(model_.config(), on);
    model_.commit(edit.config, edit.change);
    // A refused change tells nobody: show the stored state again.
    if (alive) refresh();
  });
  switches->addLabeledRow(new SettingLabel(panelTitle, panelDetail), menuBarAndPanel_);

  FormSection* labels = addSection();
  QStringList sizeTitles;
  for (AppearanceSettings::Size size : labelSizes)
    sizeTitles << labelSizeTitle(size);
  size_ = new SegmentedControl(sizeTitles);
  size_->setObjectName(QStringLiteral("labelSize"));
  size_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  size_->onSelected([this](const QString& title) {
    const std::optional<AppearanceSettings::Size> size = labelSizeNamed(title);
    if (!size) return;
    const QPointer<ClickModePage> alive(this);
    ClickEdit edit = setLabelSize(model_.config(), *size);
    model_.commit(edit.config, edit.change);
    if (alive) refresh();
  });
  labels->addRow(new SettingRow(QStringLiteral("Label size"),
                                QStringLiteral("How big labels are on screen."), size_));

  letters_ = new QLineEdit;
  letters_->setObjectName(QString::fromLatin1(lettersFieldName));
  letters_->setPlaceholderText(QStringLiteral("Letters"));
  letters_->setAccessibleName(QStringLiteral("Letters"));
  letters_->setFont(monospaced());
  letters_->setFixedWidth(lettersWidth);
  // Return saves; leaving the field keeps the typed text unsaved.
  QObject::connect(letters_, &QLineEdit::returnPressed, letters_, [this] { saveAlphabet(); });
  labels->addRow(new SettingRow(QStringLiteral("Label letters"),
                                QStringLiteral("The letters labels are made from, easiest first."),
                                letters_));
  problems_ = new ProblemList;
  problems_->setObjectName(QStringLiteral("labelLettersProblems"));
  labels->addRow(problems_);

  token_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::config) refresh();
  });
  refresh();
  // Also for a picture of the page drawn without showing it.
  loadLetters();
}

ClickModePage::~ClickModePage() {
  model_.removeObserver(token_);
}

void ClickModePage::refresh() {
  const TovrelConfig& config = model_.config();
  menuBarAndPanel_->setOn(menuBarAndPanelShown(config));
  size_->setSelected(labelSizeTitle(config.appearance.hintSize));
}

void ClickModePage::showEvent(QShowEvent* event) {
  FormPage::showEvent(event);
  if (!event->spontaneous()) loadLetters();
}

void ClickModePage::loadLetters() {
  letters_->setText(QString::fromStdString(model_.config().clickAlphabet));
}

void ClickModePage::saveAlphabet() {
  const QPointer<ClickModePage> alive(this);
  ClickEdit edit = setLabelLetters(model_.config(), letters_->text());
  const std::vector<std::string> problems = model_.commit(edit.config, edit.change);
  if (alive) problems_->setProblems(problems);
}

}  // namespace tovrel::settings
