#include "app/settings/pages/GeneralPage.hpp"

#include <QEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <cstdlib>
#include <filesystem>

#include "app/settings/Symbols.hpp"
#include "app/settings/controls/AccessCard.hpp"
#include "app/settings/controls/AppIconView.hpp"
#include "app/settings/controls/SettingControls.hpp"
#include "app/settings/pages/GeneralLogic.hpp"
#include "app/settings/sheets/FilePanels.hpp"
#include "app/settings/sheets/ImportReviewSheet.hpp"
#include "app/settings/sheets/ResetSheet.hpp"
#include "core/FileSystem.hpp"
#include "core/PlatformTexts.hpp"

namespace tovrel::settings {

namespace {

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

// A symbol beside a wrapping line, both in `colour`.
QWidget* symbolLine(const char* symbol, const QString& line, Colour colour, QLabel** label) {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  layout->addWidget(new SymbolView(symbol, colour, 13), 0, Qt::AlignTop);
  auto* words = new ThemedLabel(line, TextStyle::body, colour);
  words->setWordWrap(true);
  layout->addWidget(words, 1);
  if (label != nullptr) *label = words;
  return row;
}

// A push button that opens `menu`, sized to its title and the menu's arrow.
QPushButton* menuButton(const QString& title, QMenu* menu) {
  auto* button = new QPushButton(title);
  button->setFont(settings::font(TextStyle::body));
  button->setAutoDefault(false);
  button->setMenu(menu);
  button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  return button;
}

QPushButton* pushButton(const QString& title, const QString& name) {
  auto* button = new QPushButton(title);
  button->setObjectName(name);
  button->setFont(settings::font(TextStyle::body));
  button->setAutoDefault(false);
  button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
  return button;
}

// The file's bytes, or why they cannot be had.
std::variant<std::string, std::string> readFile(const std::string& path) {
  try {
    return std::variant<std::string, std::string>(std::in_place_index<0>,
                                                  FileSystem::real().read(path));
  } catch (const std::exception& error) {
    return std::variant<std::string, std::string>(std::in_place_index<1>, error.what());
  }
}

// Something is at `path` and it is no regular file. Asked without opening it: opening a named
// pipe waits for a writer.
bool notARegularFile(const std::string& path) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  return !error && status.type() != std::filesystem::file_type::regular;
}

}  // namespace

// Names and icons when the shell gave no reader of desktop entries: every application is shown by
// its id with the generic icon.
class GeneralPage::NoEntries : public platform::DesktopEntryServices {
 public:
  std::optional<platform::DesktopEntry> entry(std::string_view) override { return std::nullopt; }
  std::string locale() override { return {}; }
  std::vector<std::string> iconDirectories() override { return {}; }
};

GeneralPage::GeneralPage(const PageContext& context, QWidget* parent)
    : FormPage(parent),
      model_(context.model),
      entries_(context.desktopEntries),
      panels_(context.filePanels != nullptr ? *context.filePanels : FilePanels::standard()) {
  setObjectName(QStringLiteral("General"));
  if (entries_ == nullptr) {
    noEntries_ = std::make_unique<NoEntries>();
    entries_ = noEntries_.get();
  }

  accessCard_ = new AccessCard(model_, context.openAccessibilitySettings);
  addWidget(accessCard_);

  buildLoginSection();
  buildExclusionSection();
  buildFileSection();

  storageSection_ = addSection();
  storageSection_->setObjectName(QStringLiteral("storage"));
  storageSection_->addRow(
      symbolLine("exclamationmark.triangle", QString(), Colour::orange, &storageText_));
  storageText_->setObjectName(QStringLiteral("storageNote"));

  observer_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::config) refreshExclusions();
    if (property == AppModel::Property::storageNote) refreshStorage();
  });
  refreshLogin();
  refreshExclusions();
  refreshStorage();
}

GeneralPage::~GeneralPage() {
  model_.removeObserver(observer_);
  // A sheet still open belongs to this page's window; it goes with the page, quietly.
  if (importSheet_) delete importSheet_.data();
  if (resetSheet_) delete resetSheet_.data();
}

// --- login and status icon
// ------------------------------------------------------------------------

void GeneralPage::buildLoginSection() {
  FormSection* section = addSection();
  section->setObjectName(QStringLiteral("startup"));
  loginSwitch_ = new SwitchButton;
  loginSwitch_->setObjectName(QStringLiteral("openAtLogin"));
  loginSwitch_->setAccessibleName(QStringLiteral("Open at login"));
  section->addRow(new SettingRow(QStringLiteral("Open at login"),
                                 text(platformText::loginItemDetail), loginSwitch_));
  loginSwitch_->onToggled([this](bool on) { setLaunchAtLogin(on); });

  approvalHint_ = symbolLine("exclamationmark.triangle.fill", text(platformText::loginItemApproval),
                             Colour::orange, nullptr);
  approvalHint_->setObjectName(QStringLiteral("approvalHint"));
  section->addRow(approvalHint_);

  loginErrorLine_ = new ThemedLabel(QString(), TextStyle::caption, Colour::red);
  loginErrorLine_->setObjectName(QStringLiteral("loginError"));
  loginErrorLine_->setWordWrap(true);
  section->addRow(loginErrorLine_);

  section->addRow(new SettingToggle(model_, QStringLiteral("Show in menu bar"),
                                    QStringLiteral("An icon that shows which mode is on."),
                                    &TovrelConfig::showMenuBarIcon));
}

bool GeneralPage::event(QEvent* event) {
  // The login item changes outside Tovrel too (a session manager, a removed autostart file): it is
  // read again whenever the page comes on screen or its window back to the front.
  if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) refreshLogin();
  return FormPage::event(event);
}

void GeneralPage::setLaunchAtLogin(bool on) {
  loginError_ = model_.setLaunchAtLogin(on);
  refreshLogin();
}

void GeneralPage::refreshLogin() {
  loginStatus_ = model_.loginItems().status();
  loginSwitch_->setOn(loginSwitchOn(loginStatus_));
  approvalHint_->setVisible(showsApprovalHint(loginStatus_));
  loginErrorLine_->setText(QString::fromStdString(loginError_.value_or("")));
  loginErrorLine_->setVisible(loginError_.has_value());
}

// --- excluded applications
// ------------------------------------------------------------------------

void GeneralPage::buildExclusionSection() {
  exclusions_ = addSection(
      QStringLiteral("Turned off in"),
      QStringLiteral(
          "In these apps Tovrel stays out of the way, and its shortcuts reach the app."));
  exclusions_->setObjectName(QStringLiteral("turnedOffIn"));
  addAppMenu_ = new QMenu(this);
  addAppMenu_->setObjectName(QStringLiteral("addAppMenu"));
  QObject::connect(addAppMenu_, &QMenu::aboutToShow, this, [this] { fillAddAppMenu(); });
}

std::vector<platform::RunningApplication> GeneralPage::runningApps() const {
  return runningAppsForMenu(model_.platform().workspace.runningApplications(),
                            platformIds::selfIdentifier, model_.config().excludedBundleIDs);
}

void GeneralPage::fillAddAppMenu() {
  addAppMenu_->clear();
  for (const platform::RunningApplication& app : runningApps()) {
    QAction* item = addAppMenu_->addAction(QString::fromStdString(menuTitle(app)));
    item->setData(QString::fromStdString(app.bundleIdentifier));
    QObject::connect(item, &QAction::triggered, this, [this, app] {
      later([this, app] {
        if (auto edit = addExcluded(model_.config(), app))
          model_.commit(edit->config, edit->change);
      });
    });
  }
}

std::vector<std::string> GeneralPage::excludedRows() const {
  std::vector<std::string> ids;
  for (const auto& [id, row] : exclusionRows_)
    ids.push_back(id);
  return ids;
}

void GeneralPage::refreshExclusions() {
  const std::vector<std::string>& excluded = model_.config().excludedBundleIDs;
  if (addAppRow_ != nullptr && excludedRows() == excluded) return;
  for (const auto& [id, row] : exclusionRows_)
    exclusions_->removeRow(row);
  exclusionRows_.clear();
  if (addAppRow_ != nullptr) exclusions_->removeRow(addAppRow_);

  for (const std::string& id : excluded) {
    const std::string name = excludedDisplayName(id, entries_);
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(new AppIconView(id, *entries_));
    auto* title = new ThemedLabel(QString::fromStdString(name), TextStyle::body, Colour::primary);
    title->setObjectName(QStringLiteral("appName"));
    title->setTextFormat(Qt::PlainText);
    layout->addWidget(title, 1);
    auto* remove = new QToolButton;
    remove->setObjectName(QStringLiteral("remove"));
    remove->setAutoRaise(true);
    remove->setIcon(symbolIcon("minus.circle.fill", colour(Colour::secondary, palette()), 16));
    remove->setIconSize(QSize(16, 16));
    remove->setToolTip(QStringLiteral("Turn Tovrel back on here"));
    remove->setAccessibleName(QStringLiteral("Turn Tovrel back on in ") +
                              QString::fromStdString(name));
    QObject::connect(remove, &QToolButton::clicked, this, [this, id, name] {
      later([this, id, name] {
        const ExclusionEdit edit = removeExcluded(model_.config(), id, name);
        model_.commit(edit.config, edit.change);
      });
    });
    layout->addWidget(remove);
    exclusions_->addRow(row);
    exclusionRows_.emplace_back(id, row);
  }

  addAppRow_ = new QWidget;
  auto* layout = new QHBoxLayout(addAppRow_);
  layout->setContentsMargins(0, 0, 0, 0);
  QPushButton* add = menuButton(QStringLiteral("Add App…"), addAppMenu_);
  add->setObjectName(QStringLiteral("addApp"));
  layout->addWidget(add);
  layout->addStretch(1);
  exclusions_->addRow(addAppRow_);
}

void GeneralPage::later(std::function<void()> edit) {
  QTimer::singleShot(0, this, std::move(edit));
}

// --- import, export and reset
// ---------------------------------------------------------------------

void GeneralPage::buildFileSection() {
  FormSection* section = addSection();
  section->setObjectName(QStringLiteral("files"));
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(8);

  auto* importMenu = new QMenu(this);
  importMenu->setObjectName(QStringLiteral("importMenu"));
  QObject::connect(importMenu->addAction(QStringLiteral("Tovrel Settings…")), &QAction::triggered,
                   this, [this] { later([this] { importSettings(); }); });
  QObject::connect(importMenu->addAction(QStringLiteral("Mouseless Keys…")), &QAction::triggered,
                   this, [this] { later([this] { importMouseless(); }); });
  QPushButton* import = menuButton(QStringLiteral("Import"), importMenu);
  import->setObjectName(QStringLiteral("import"));
  layout->addWidget(import);

  QPushButton* exportButton = pushButton(QStringLiteral("Export…"), QStringLiteral("export"));
  QObject::connect(exportButton, &QPushButton::clicked, this, [this] { exportSettings(); });
  layout->addWidget(exportButton);
  layout->addStretch(1);
  QPushButton* reset = pushButton(QStringLiteral("Reset…"), QStringLiteral("reset"));
  QObject::connect(reset, &QPushButton::clicked, this, [this] { showReset(); });
  layout->addWidget(reset);
  section->addRow(row);
}

void GeneralPage::importSettings() {
  const auto path =
      panels_.chooseFileToOpen(this, {QString(), {QStringLiteral("JSON (*.json)")}, {}});
  if (!path) return;
  const std::string fileName = std::filesystem::path(*path).filename().string();
  if (notARegularFile(*path)) return presentReview(notAFileReview("Import " + fileName, fileName));
  const auto bytes = readFile(*path);
  // A file that cannot be read says so, rather than what an empty file would.
  if (bytes.index() == 1) {
    presentReview(settingsFileReview(fileName, ConfigError::unreadable(std::get<1>(bytes))));
    return;
  }
  presentReview(settingsFileReview(fileName, model_.previewImport(std::get<0>(bytes))));
}

void GeneralPage::importMouseless() {
  const auto start = mouselessStartFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"),
                                          [](const std::string& folder) {
                                            std::error_code error;
                                            return std::filesystem::is_directory(folder, error);
                                          });
  const auto path = panels_.chooseFileToOpen(
      this, {QStringLiteral("Choose a Mouseless config.yaml. Tovrel only reads it."),
             {QStringLiteral("YAML (*.yaml *.yml)"), QStringLiteral("Text (*.txt)"),
              QStringLiteral("All files (*)")},
             start ? QString::fromStdString(*start) : QString()});
  if (!path) return;
  if (notARegularFile(*path)) {
    return presentReview(
        notAFileReview("Mouseless import", std::filesystem::path(*path).filename().string()));
  }
  const auto bytes = readFile(*path);
  presentReview(bytes.index() == 0 ? mouselessReview(std::get<0>(bytes), model_.config())
                                   : mouselessUnreadableReview());
}

void GeneralPage::exportSettings() {
  const auto path = panels_.chooseFileToSave(this, QStringLiteral("Tovrel Settings.json"),
                                             {QStringLiteral("JSON (*.json)")});
  if (!path) return;
  std::optional<std::string> failure;
  try {
    failure = writeExport(*path, model_.exportData());
  } catch (const std::exception& error) {
    failure = error.what();
  }
  if (failure) panels_.showError(this, QString::fromStdString(*failure));
}

void GeneralPage::presentReview(ImportReview review) {
  if (importSheet_) delete importSheet_.data();
  auto* sheet = new ImportReviewSheet(model_, std::move(review), {}, this);
  importSheet_ = sheet;
  sheet->open();
}

void GeneralPage::showReset() {
  if (resetSheet_) delete resetSheet_.data();
  auto* sheet = new ResetSheet(model_, {}, this, allResetScopes.front());
  resetSheet_ = sheet;
  sheet->open();
}

// --- storage note
// ---------------------------------------------------------------------------------

void GeneralPage::refreshStorage() {
  const auto& note = model_.storageNote();
  storageText_->setText(QString::fromStdString(note.value_or("")));
  storageSection_->setVisible(note.has_value());
}

}  // namespace tovrel::settings
