#include "app/shell/SettingsWindow.hpp"

#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>

#include "app/settings/Pages.hpp"
#include "app/settings/SettingsWindowView.hpp"
#include "app/shell/ModeIcons.hpp"

namespace tovrel::shell {

namespace {

constexpr int frameSaveDelayMs = 500;

}  // namespace

SettingsWindow::SettingsWindow(AppModel& model, const std::vector<Menu>& menus,
                               const Perform& perform,
                               std::function<std::optional<std::string>()> turnOnAccessibility,
                               platform::DesktopEntryServices* desktopEntries)
    : model_(model) {
  setWindowTitle(settings::settingsWindowTitle(model_.page()));
  setWindowIcon(appIcon());
  fillMenuBar(*menuBar(), menus, perform);
  settings::PageContext context{model_, std::move(turnOnAccessibility), desktopEntries};
  view_ = new settings::SettingsWindowView(
      model_, [context](SettingsPage page) { return settings::makePage(context, page); });
  view_->onTitleChanged = [this](const QString& title) { setWindowTitle(title); };
  setCentralWidget(view_);
  // The sizes are the content's: the menu bar comes on top of them.
  view_->setMinimumSize(minimumWidth, minimumHeight);
  const QSize size(contentWidth, contentHeight + menuBar()->heightForWidth(contentWidth));
  resize(size);
  // Centred on the primary screen unless an earlier run kept a frame.
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(size.width() / 2, size.height() / 2));
  }
  restoreFrame();

  frameSaver_.setSingleShot(true);
  frameSaver_.setInterval(frameSaveDelayMs);
  QObject::connect(&frameSaver_, &QTimer::timeout, this, [this] { saveFrame(); });
}

SettingsWindow::~SettingsWindow() = default;

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
