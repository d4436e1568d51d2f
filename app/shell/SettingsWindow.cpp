#include "app/shell/SettingsWindow.hpp"

#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "app/shell/ModeIcons.hpp"
#include "core/EnumTable.hpp"

namespace tovrel::shell {

namespace {

constexpr int frameSaveDelayMs = 500;

QString text(std::string_view value) {
  return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

// What the access state says about the service's readiness.
QString readinessDetail(const PermissionReport& report, bool tapInstalled) {
  QStringList lines;
  switch (report.status()) {
    case ReadinessStatus::ready:
      lines << (tapInstalled ? QStringLiteral("Tovrel hears the keyboard.")
                             : QStringLiteral("Tovrel can hear the keyboard."));
      break;
    case ReadinessStatus::restricted:
      lines << QString::fromStdString(Permissions::secureInputReason(report.secureInputApp));
      break;
    case ReadinessStatus::unavailable:
    case ReadinessStatus::needsAccess:
      lines << QStringLiteral(
          "The desktop does not let Tovrel hear the keyboard. Tovrel needs an X11 session.");
      break;
  }
  if (report.accessibilityTrusted) {
    lines << QStringLiteral(
        "Accessibility is on: Tovrel can read the controls of other "
        "applications.");
  } else {
    lines << QStringLiteral(
        "Accessibility is off for this desktop session, so Clicking and "
        "Scrolling cannot read the controls of other applications.");
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace

SettingsWindow::SettingsWindow(AppModel& model, const std::vector<Menu>& menus,
                               const Perform& perform,
                               std::function<std::optional<std::string>()> turnOnAccessibility)
    : model_(model), turnOnAccessibility_(std::move(turnOnAccessibility)) {
  setWindowTitle(QStringLiteral("Tovrel"));
  setWindowIcon(appIcon());
  fillMenuBar(*menuBar(), menus, perform);
  setCentralWidget(buildContent());
  setMinimumSize(minimumWidth, minimumHeight);
  resize(contentWidth, contentHeight);
  // Centred on the primary screen unless an earlier run kept a frame.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(contentWidth / 2, contentHeight / 2));
  }
  restoreFrame();

  frameSaver_.setSingleShot(true);
  frameSaver_.setInterval(frameSaveDelayMs);
  QObject::connect(&frameSaver_, &QTimer::timeout, this, [this] { saveFrame(); });

  modelToken_ = model_.observe([this](AppModel::Property property) {
    if (property == AppModel::Property::page || property == AppModel::Property::storageNote ||
        property == AppModel::Property::config)
      refresh();
  });
  navigationToken_ = model_.navigation().observe([this](NavigationService::Property property) {
    if (property == NavigationService::Property::readiness ||
        property == NavigationService::Property::tapInstalled)
      refresh();
  });
  refresh();
}

SettingsWindow::~SettingsWindow() {
  model_.removeObserver(modelToken_);
  model_.navigation().removeObserver(navigationToken_);
}

QWidget* SettingsWindow::buildContent() {
  auto* content = new QWidget;
  auto* columns = new QHBoxLayout(content);

  sidebar_ = new QListWidget;
  sidebar_->setFixedWidth(180);
  pages_ = new QStackedWidget;
  for (SettingsPage page : allCases<SettingsPage>()) {
    sidebar_->addItem(text(rawValue(page)));
    auto* placeholder = new QLabel(text(rawValue(page)));
    placeholder->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    QFont font = placeholder->font();
    font.setPointSizeF(font.pointSizeF() * 1.6);
    font.setBold(true);
    placeholder->setFont(font);
    pages_->addWidget(placeholder);
  }
  QObject::connect(sidebar_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0 && row < static_cast<int>(allCases<SettingsPage>().size()))
      model_.setPage(allCases<SettingsPage>()[static_cast<std::size_t>(row)]);
  });

  auto* right = new QVBoxLayout;
  auto* access = new QHBoxLayout;
  accessLine_ = new QLabel;
  accessLine_->setObjectName(QStringLiteral("accessState"));
  // The access card's two actions; the card itself comes with the settings pages.
  accessButton_ = new QPushButton(QStringLiteral("Open Settings"));
  QObject::connect(accessButton_, &QPushButton::clicked, this, [this] {
    accessProblem_ = turnOnAccessibility_ ? turnOnAccessibility_() : std::nullopt;
    refresh();
  });
  checkButton_ = new QPushButton(QStringLiteral("Check Again"));
  QObject::connect(checkButton_, &QPushButton::clicked, this, [this] {
    accessProblem_.reset();
    model_.navigation().recheckReadiness();
    refresh();
  });
  access->addWidget(accessLine_, 1);
  access->addWidget(accessButton_);
  access->addWidget(checkButton_);
  accessDetail_ = new QLabel;
  accessDetail_->setWordWrap(true);
  storageNote_ = new QLabel;
  storageNote_->setWordWrap(true);
  storageNote_->setObjectName(QStringLiteral("storageNote"));
  right->addLayout(access);
  right->addWidget(accessDetail_);
  right->addWidget(storageNote_);
  right->addWidget(pages_, 1);

  columns->addWidget(sidebar_);
  columns->addLayout(right, 1);
  return content;
}

void SettingsWindow::refresh() {
  const int row = static_cast<int>(model_.page());
  if (sidebar_->currentRow() != row) sidebar_->setCurrentRow(row);
  pages_->setCurrentIndex(row);

  const NavigationService& navigation = model_.navigation();
  const PermissionReport& report = navigation.readiness();
  ReadinessStatus status =
      model_.assumesAccessForSnapshots() ? ReadinessStatus::ready : report.status();
  accessLine_->setText(QStringLiteral("Status: ") + text(displayText(status)));
  QString detail = model_.assumesAccessForSnapshots()
                       ? QString()
                       : readinessDetail(report, navigation.tapInstalled());
  if (accessProblem_) detail += QStringLiteral("\n") + QString::fromStdString(*accessProblem_);
  accessDetail_->setText(detail);
  const bool needsAccess = !model_.assumesAccessForSnapshots() &&
                           (!report.accessibilityTrusted || status != ReadinessStatus::ready);
  accessButton_->setVisible(needsAccess);
  checkButton_->setVisible(needsAccess);
  storageNote_->setVisible(model_.storageNote().has_value());
  storageNote_->setText(QString::fromStdString(model_.storageNote().value_or("")));
}

void SettingsWindow::present() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
  // Qt focuses the first control on showing; a focused text field would pause navigation.
  QTimer::singleShot(0, this, [this] {
    if (QWidget* focused = focusWidget()) focused->clearFocus();
  });
}

QString SettingsWindow::frameFile() {
  QString state = qEnvironmentVariable("XDG_STATE_HOME");
  if (state.isEmpty() || !QDir::isAbsolutePath(state))
    state = QDir::homePath() + QStringLiteral("/.local/state");
  return state + QStringLiteral("/Tovrel/window.ini");
}

void SettingsWindow::saveFrame() {
  if (restoring_) return;
  QSettings settings(frameFile(), QSettings::IniFormat);
  settings.setValue(QString::fromLatin1(frameName) + QStringLiteral("/geometry"), saveGeometry());
}

void SettingsWindow::restoreFrame() {
  QSettings settings(frameFile(), QSettings::IniFormat);
  QByteArray geometry =
      settings.value(QString::fromLatin1(frameName) + QStringLiteral("/geometry")).toByteArray();
  if (geometry.isEmpty()) return;
  restoring_ = true;
  restoreGeometry(geometry);
  restoring_ = false;
}

void SettingsWindow::closeEvent(QCloseEvent* event) {
  frameSaver_.stop();
  saveFrame();
  QMainWindow::closeEvent(event);
  if (event->isAccepted() && onClosed) onClosed();
}

void SettingsWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (isVisible() && !restoring_) frameSaver_.start();
}

void SettingsWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  if (isVisible() && !restoring_) frameSaver_.start();
}

}  // namespace tovrel::shell
