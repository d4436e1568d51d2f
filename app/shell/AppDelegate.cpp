#include "app/shell/AppDelegate.hpp"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

#include <exception>
#include <filesystem>
#include <utility>

#include "app/shell/SettingsWindow.hpp"
#include "app/shell/StatusItem.hpp"

#ifndef TOVREL_VERSION
#define TOVREL_VERSION "0"
#endif

namespace tovrel::shell {

namespace {

// Where the help page is, beside an installed program or in the build tree.
std::optional<QString> helpPage() {
  const QString base = QCoreApplication::applicationDirPath();
  for (const char* relative : {"/../share/tovrel/accessibility-help.html",
                               "/../../share/tovrel/accessibility-help.html"}) {
    QFileInfo file(base + QString::fromLatin1(relative));
    if (file.isFile()) return file.canonicalFilePath();
  }
  return std::nullopt;
}

// Edit commands go to the text control that has the keyboard focus.
void sendToFocus(const char* slot) {
  QWidget* focused = QApplication::focusWidget();
  if (qobject_cast<QLineEdit*>(focused) || qobject_cast<QTextEdit*>(focused) ||
      qobject_cast<QPlainTextEdit*>(focused))
    QMetaObject::invokeMethod(focused, slot);
}

}  // namespace

AppDelegate::AppDelegate(launch::Arguments arguments, ShellEnvironment environment)
    : arguments_(std::move(arguments)),
      environment_(std::move(environment)),
      alive_(std::make_shared<AppDelegate*>(this)) {}

AppDelegate::~AppDelegate() {
  *alive_ = nullptr;
  if (model_) {
    model_->removeObserver(modelObservation_);
    model_->navigation().removeObserver(navigationObservation_);
  }
  // The window and the status item observe the model: they go first.
  statusItem_.reset();
  settingsWindow_.reset();
  model_.reset();
}

void AppDelegate::registerTool(launch::Tool tool, ToolHandler handler) {
  tools_[tool] = std::move(handler);
}

void AppDelegate::registerTest(launch::TestKind kind, TestHandler handler,
                               TestPreparation prepare) {
  tests_[kind] = std::move(handler);
  if (prepare) preparations_[kind] = std::move(prepare);
}

std::optional<std::string> AppDelegate::argument(std::string_view flag) const {
  return launch::argumentAfter(arguments_, flag);
}

std::optional<int> AppDelegate::willFinishLaunching() {
  if (!launch::isToolLaunch(arguments_)) {
    std::weak_ptr<AppDelegate*> weak = alive_;
    auto claim = environment_.instance.claim([weak](const std::string& startupId) {
      if (auto alive = weak.lock(); alive && *alive) (*alive)->handleReopen(startupId);
    });
    if (claim == platform::InstanceServices::Claim::otherRunning) {
      // A test run beside a running instance would fight it for the keyboard, and reporting
      // success without running would be a lie.
      if (launch::testRun(arguments_)) {
        environment_.printError(
            "Tovrel is already running; quit it before starting a self-test run.");
        return 1;
      }
      // A second login item (a duplicate autostart entry) must not open the window a login launch
      // never opens: the running instance already does what it would.
      if (launch::hasLoginMarker(arguments_)) return 0;
      if (!environment_.instance.activateOther(environment_.startupId)) {
        environment_.printError("Tovrel is already running but did not answer.");
        return 1;
      }
      return 0;
    }
  }
  launchedAsLoginItem_ = launch::hasLoginMarker(arguments_);
  mainMenu_ = shell::mainMenu();
  return std::nullopt;
}

void AppDelegate::didFinishLaunching() {
  if (auto tool = launch::matchTool(arguments_)) {
    auto handler = tools_.find(tool->tool);
    // The program registers every tool and test; a delegate made without one (a test's) says so.
    if (handler == tools_.end()) {
      environment_.printError("Tovrel: nothing runs " +
                              std::string(launch::switchName(tool->tool)) + " here.");
      finish(1);
      return;
    }
    std::weak_ptr<AppDelegate*> weak = alive_;
    ToolContext context{
        .desktop = environment_.desktop,
        .loginItems = environment_.loginItems,
        .desktopEntries = environment_.desktopEntries,
        .printError = environment_.printError,
        .finish =
            [weak](int status) {
              if (auto alive = weak.lock(); alive && *alive) (*alive)->finish(status);
            },
    };
    handler->second(*tool, context);
    return;
  }

  if (auto test = launch::testRun(arguments_)) {
    auto prepare = preparations_.find(test->kind);
    if (prepare != preparations_.end()) {
      // The settings are read from the folder the store uses, which may differ from the run's
      // own when several test switches are given.
      launch::TestRun settingsRun = *test;
      settingsRun.directory = launch::testDirectory(arguments_).value_or(test->directory);
      if (auto problem = prepare->second(settingsRun)) {
        environment_.printError(*problem);
        finish(1);
        return;
      }
    }
  }
  std::optional<ConfigStore> store;
  if (auto directory = launch::testDirectory(arguments_)) {
    store.emplace(std::filesystem::path(*directory) / "selftest-config.json");
  } else {
    try {
      store.emplace(ConfigStore::defaultStore());
    } catch (const std::exception&) {
      // The model says so in its storage note.
    }
  }
  platform::Platform* desktop = environment_.desktop();
  if (desktop == nullptr) {
    environment_.printError("Tovrel could not reach the X display. It needs an X11 session.");
    finish(1);
    return;
  }
  model_ = std::make_unique<AppModel>(std::move(store), *desktop, environment_.loginItems);
  if (!quitCleanlyOnSIGTERM()) {
    finish(1);
    return;
  }
  model_->navigation().start();
  updateStatusItem();
  observeMenuBarPreference();

  if (auto test = launch::testRun(arguments_)) {
    auto handler = tests_.find(test->kind);
    if (handler == tests_.end()) {
      environment_.printError("Tovrel: nothing runs " +
                              std::string(launch::switchName(test->kind)) + " here.");
      finish(1);
      return;
    }
    testRunning_ = true;
    std::weak_ptr<AppDelegate*> weak = alive_;
    handler->second(*test, *model_, [weak](int status) {
      auto alive = weak.lock();
      if (!alive || !*alive) return;
      AppDelegate& self = **alive;
      self.testRunning_ = false;
      self.model_->navigation().shutdown();
      self.finish(status);
    });
  } else if (!launchedAsLoginItem_) {
    showSettings();
  }
  // Launches that asked for the window while this one was starting get it now.
  for (const std::string& startupId : std::exchange(pendingReopens_, {}))
    handleReopen(startupId);
}

bool AppDelegate::quitCleanlyOnSIGTERM() {
  if (signalsInstalled_) return true;
  std::weak_ptr<AppDelegate*> weak = alive_;
  try {
    environment_.termination.install([weak](int) {
      auto alive = weak.lock();
      if (!alive || !*alive) return;
      // A test run that did not end by itself did not pass.
      (*alive)->finish((*alive)->testRunning_ ? 1 : 0);
    });
  } catch (const std::exception& error) {
    // Running on would leave a signal to end the program with keys and buttons still held.
    environment_.printError(std::string("Tovrel cannot start: ") + error.what() + ".");
    return false;
  }
  signalsInstalled_ = true;
  return true;
}

void AppDelegate::finish(int status) {
  willTerminate();
  environment_.exit(status);
}

void AppDelegate::willTerminate() {
  if (terminated_) return;
  terminated_ = true;
  if (model_) model_->navigation().shutdown();
}

void AppDelegate::handleReopen(const std::string& startupId) {
  if (terminated_) return;
  if (!model_) {
    // The name is claimed before the model is made; the window can be shown once it exists.
    pendingReopens_.push_back(startupId);
    return;
  }
  const bool wasShown = settingsWindow_ && settingsWindow_->isVisible();
  showSettings();
  platform::Platform* desktop = model_ ? environment_.desktop() : nullptr;
  if (desktop == nullptr) return;
  // A window already on screen behind others is raised by the window manager only when asked as
  // a pager would: the request came from a launch, not from input this program saw, so the
  // manager's focus-stealing rule would otherwise keep it behind.
  if (wasShown)
    desktop->application.activate(static_cast<std::int32_t>(QCoreApplication::applicationPid()));
  // The launch that asked has exited without a window of its own: its busy pointer ends here.
  if (!startupId.empty()) desktop->application.completeStartup(startupId);
}

void AppDelegate::perform(MenuAction action) {
  switch (action) {
    case MenuAction::about:
      QMessageBox::about(settingsWindow_.get(), QStringLiteral("About Tovrel"),
                         QStringLiteral("<b>Tovrel</b> %1<br>Work the pointer and the controls of "
                                        "other applications from the keyboard.")
                             .arg(QStringLiteral(TOVREL_VERSION)));
      return;
    case MenuAction::showSettings:
      showSettings();
      return;
    case MenuAction::hide:
      if (settingsWindow_) settingsWindow_->hide();
      return;
    case MenuAction::quit:
      finish(0);
      return;
    case MenuAction::undo:
      sendToFocus("undo");
      return;
    case MenuAction::redo:
      sendToFocus("redo");
      return;
    case MenuAction::cut:
      sendToFocus("cut");
      return;
    case MenuAction::copy:
      sendToFocus("copy");
      return;
    case MenuAction::paste:
      sendToFocus("paste");
      return;
    case MenuAction::selectAll:
      sendToFocus("selectAll");
      return;
    case MenuAction::enterCursor:
      enterCursor();
      return;
    case MenuAction::enterClick:
      enterClick();
      return;
    case MenuAction::enterScroll:
      enterScroll();
      return;
    case MenuAction::stopNavigation:
      stopNavigation();
      return;
    case MenuAction::minimize:
      if (QWidget* window = QApplication::activeWindow()) window->showMinimized();
      return;
    case MenuAction::close:
      if (QWidget* window = QApplication::activeWindow()) window->close();
      return;
    case MenuAction::showKeys:
      showKeys();
      return;
    case MenuAction::openHelp:
      openHelp();
      return;
  }
}

void AppDelegate::showSettings() {
  if (!model_) return;
  if (!settingsWindow_) {
    std::weak_ptr<AppDelegate*> weak = alive_;
    auto perform = [weak](MenuAction action) {
      if (auto alive = weak.lock(); alive && *alive) (*alive)->perform(action);
    };
    settingsWindow_ = std::make_unique<SettingsWindow>(
        *model_, mainMenu_, perform,
        [weak]() -> std::optional<std::string> {
          if (auto alive = weak.lock(); alive && *alive) return (*alive)->turnOnAccessibility();
          return std::nullopt;
        },
        environment_.desktopEntries);
    settingsWindow_->onClosed = [weak] {
      if (auto alive = weak.lock(); alive && *alive) (*alive)->regularPolicy_ = false;
    };
  }
  regularPolicy_ = true;
  settingsWindow_->present();
}

void AppDelegate::showKeys() {
  if (!model_) return;
  model_->setPage(SettingsPage::cursor);
  showSettings();
}

void AppDelegate::openHelp() {
  if (auto page = helpPage()) QDesktopServices::openUrl(QUrl::fromLocalFile(*page));
}

void AppDelegate::enterCursor() {
  if (model_) model_->navigation().setMode(InteractionMode::cursor);
}
void AppDelegate::enterClick() {
  if (model_) model_->navigation().setMode(InteractionMode::click);
}
void AppDelegate::enterScroll() {
  if (model_) model_->navigation().setMode(InteractionMode::scroll);
}
void AppDelegate::stopNavigation() {
  if (model_) model_->navigation().stopNavigation();
}

std::optional<std::string> AppDelegate::turnOnAccessibility() {
  if (!model_) return std::nullopt;
  platform::Platform* desktop = environment_.desktop();
  bool done = desktop != nullptr && Permissions::openAccessibilitySettings(desktop->access);
  model_->navigation().recheckReadiness();
  showSettings();
  if (done) return std::nullopt;
  return "The desktop did not switch accessibility on: its accessibility bus (at-spi2-core) did "
         "not answer. Install at-spi2-core, log out and in again, then try once more.";
}

void AppDelegate::updateStatusItem() {
  if (!model_) return;
  if (!model_->config().showMenuBarIcon) {
    statusItem_.reset();
    return;
  }
  if (!statusItem_) {
    std::weak_ptr<AppDelegate*> weak = alive_;
    statusItem_ = std::make_unique<StatusItem>(
        [weak] {
          auto alive = weak.lock();
          std::optional<InteractionMode> mode;
          if (alive && *alive && (*alive)->model_) mode = (*alive)->model_->navigation().mode();
          return statusMenu(mode);
        },
        [weak](MenuAction action) {
          if (auto alive = weak.lock(); alive && *alive) (*alive)->perform(action);
        });
  }
  statusItem_->show(model_->navigation().mode());
}

void AppDelegate::observeMenuBarPreference() {
  modelObservation_ = model_->observe([this](AppModel::Property property) {
    if (property == AppModel::Property::config) scheduleStatusUpdate();
  });
  navigationObservation_ =
      model_->navigation().observe([this](NavigationService::Property property) {
        if (property == NavigationService::Property::router) scheduleStatusUpdate();
      });
}

// Changes come from anywhere, up to every pointer tick: they are folded into one update on the
// next turn of the event loop.
void AppDelegate::scheduleStatusUpdate() {
  if (statusUpdatePending_) return;
  statusUpdatePending_ = true;
  std::weak_ptr<AppDelegate*> weak = alive_;
  QTimer::singleShot(0, [weak] {
    auto alive = weak.lock();
    if (!alive || !*alive) return;
    (*alive)->statusUpdatePending_ = false;
    (*alive)->updateStatusItem();
  });
}

}  // namespace tovrel::shell
