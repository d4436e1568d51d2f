// The program's entry: the usage or the version, then the permission diagnosis before any window
// exists, otherwise the Qt application with the delegate that runs everything else.

#include <QApplication>
#include <QCoreApplication>
#include <QSessionManager>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/launch/Diagnosis.hpp"
#include "app/launch/LaunchPlan.hpp"
#include "app/selftest/SelfTestRuns.hpp"
#include "app/shell/AppDelegate.hpp"
#include "app/tools/DeveloperTools.hpp"
#include "platform/desktop/DBusInstance.hpp"
#include "platform/desktop/SignalPipe.hpp"
#include "platform/desktop/XdgAutostart.hpp"
#include "platform/desktop/XdgDesktopEntries.hpp"
#include "platform/x11/X11Desktop.hpp"

namespace {

using namespace tovrel;

// Qt reads and removes options of its own (-style, -platform, …) from the arguments it gets; the
// program's arguments are its own, so Qt sees only the program's name.
struct QtArguments {
  explicit QtArguments(const char* program) : name(program) {}
  std::string name;
  int count = 1;
  char* values[2] = {name.data(), nullptr};
};

int diagnose(const launch::DiagnosisRequest& request, QtArguments& qtArguments) {
  // Bus calls need an application object; no display is needed.
  QCoreApplication application(qtArguments.count, qtArguments.values);
  platform::x11::X11ReportServices services;
  PermissionReport report =
      Permissions::report(services.access(), services.events(), services.hotKeys());
  return launch::writeDiagnosis(report, request, stdout, stderr);
}

}  // namespace

int main(int argc, char** argv) {
  launch::Arguments arguments(argv, argv + argc);
  QtArguments qtArguments(argc > 0 ? argv[0] : "tovrel");

  // Asked before anything else: no display, no bus, no running instance is involved.
  if (auto information = launch::informationRequested(arguments)) {
    if (std::fputs(information->c_str(), stdout) == EOF || std::fflush(stdout) != 0) {
      std::fprintf(stderr, "Tovrel could not print: %s\n", std::strerror(errno));
      return 1;
    }
    return 0;
  }
  if (auto request = launch::diagnosisRequest(arguments)) return diagnose(*request, qtArguments);

  // Tovrel hears keys and moves the pointer through X; on a Wayland session it runs on XWayland.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb");
  if (qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("xcb")) {
    // Qt would abort without a word of its own making: say what is missing instead.
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
      std::fprintf(stderr, "Tovrel needs an X11 display, and DISPLAY is not set.\n");
      return 1;
    }
    if (!platform::x11::X11Desktop::reachable()) {
      std::fprintf(stderr, "Tovrel could not connect to the X display %s.\n",
                   qgetenv("DISPLAY").constData());
      return 1;
    }
  }

  if (qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland"))
    std::fprintf(stderr,
                 "Tovrel runs on XWayland in this Wayland session: it hears keys and reads "
                 "windows only while an X11 application is in front. Log in to an X11 session "
                 "to use it everywhere.\n");

  // Qt takes the launch's startup id out of the environment when it starts.
  const std::string startupId = qEnvironmentVariable("DESKTOP_STARTUP_ID").toStdString();
  QApplication application(qtArguments.count, qtArguments.values);
  QApplication::setApplicationName(QStringLiteral("Tovrel"));
  QApplication::setOrganizationName(QStringLiteral("Tovrel"));
  QApplication::setDesktopFileName(QStringLiteral("local.tovrel.Tovrel"));
  // Closing the settings window leaves the program running.
  QApplication::setQuitOnLastWindowClosed(false);
  // The login item starts Tovrel; a session manager restoring it as well would make the second
  // start show the settings window at every login.
  auto neverRestart = [](QSessionManager& manager) {
    manager.setRestartHint(QSessionManager::RestartNever);
  };
  QObject::connect(&application, &QGuiApplication::commitDataRequest, neverRestart);
  QObject::connect(&application, &QGuiApplication::saveStateRequest, neverRestart);

  platform::XdgAutostart loginItems;
  platform::XdgDesktopEntries desktopEntries;
  platform::desktop::DBusInstance instance;
  platform::desktop::SignalPipe terminationSignals;
  std::unique_ptr<platform::x11::X11Desktop> desktop;
  bool desktopOpened = false;

  shell::ShellEnvironment environment{
      .loginItems = loginItems,
      .instance = instance,
      .termination = terminationSignals,
      .desktop = [&]() -> platform::Platform* {
        if (!desktopOpened) {
          desktopOpened = true;
          desktop = platform::x11::X11Desktop::open();
        }
        return desktop ? &desktop->platform() : nullptr;
      },
      .exit = [](int status) { QCoreApplication::exit(status); },
      .printError = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); },
      .startupId = startupId,
      .desktopEntries = &desktopEntries,
  };
  auto delegate = std::make_unique<shell::AppDelegate>(arguments, environment);
  selftest::registerSelfTests(*delegate);
  tools::registerDeveloperTools(*delegate);
  if (auto status = delegate->willFinishLaunching()) return *status;

  QObject::connect(&application, &QCoreApplication::aboutToQuit,
                   [&] { delegate->willTerminate(); });
  QTimer::singleShot(0, [&] { delegate->didFinishLaunching(); });
  int status = QApplication::exec();
  // The model and its service hold windows and use the desktop: both go before the application.
  delegate.reset();
  desktop.reset();
  return status;
}
