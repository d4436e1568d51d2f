#pragma once

// The program's life: what a launch asks for, one instance per session, the model and the
// navigation service, the menus, the status item and the settings window, and an orderly end on
// every kind of termination. Main thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/launch/LaunchPlan.hpp"
#include "app/model/AppModel.hpp"
#include "app/shell/MenuModel.hpp"
#include "platform/DesktopEntries.hpp"
#include "platform/LoginItems.hpp"
#include "platform/SingleInstance.hpp"

namespace tovrel::shell {

class SettingsWindow;
class StatusItem;

// What the delegate needs of the desktop, so it runs on the in-memory desktop in tests.
struct ShellEnvironment {
  platform::LoginItemServices& loginItems;
  platform::InstanceServices& instance;
  platform::TerminationSignals& termination;
  // The desktop the navigation service runs on; nullptr when it cannot be reached. Asked once.
  std::function<platform::Platform*()> desktop;
  // Ends the event loop with this status.
  std::function<void(int status)> exit;
  // Where a tool or test run's lines and problems go.
  std::function<void(const std::string& line)> printError;
  // The startup-notification id this launch was given (read before Qt takes it from the
  // environment); handed to the running instance when this launch hands over.
  std::string startupId;
  // Names and icons of installed applications, for the settings pages; none leaves them out.
  platform::DesktopEntryServices* desktopEntries = nullptr;
};

// What a developer tool is given. A tool runs alone in its process: nothing of the normal path
// (model, navigation, status item, settings window) exists beside it.
struct ToolContext {
  // The desktop, opened on first use; nullptr when the X display cannot be reached.
  std::function<platform::Platform*()> desktop;
  platform::LoginItemServices& loginItems;
  platform::DesktopEntryServices* desktopEntries = nullptr;
  // One line on standard error.
  std::function<void(const std::string& line)> printError;
  // Ends the process with this status; called once, at once or later from the event loop.
  std::function<void(int status)> finish;
};
// A developer tool or a test run, filled in by the tools that exist.
using ToolHandler = std::function<void(const launch::ToolRun&, const ToolContext&)>;
using TestHandler =
    std::function<void(const launch::TestRun&, AppModel&, std::function<void(int status)> finish)>;
// Runs before the model reads its settings; a sentence ends the launch with status 1.
using TestPreparation = std::function<std::optional<std::string>(const launch::TestRun&)>;

class AppDelegate {
 public:
  AppDelegate(launch::Arguments arguments, ShellEnvironment environment);
  ~AppDelegate();
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  void registerTool(launch::Tool tool, ToolHandler handler);
  void registerTest(launch::TestKind kind, TestHandler handler, TestPreparation prepare = {});

  std::optional<std::string> argument(std::string_view flag) const;

  // Before the event loop: the status to exit with at once (another instance runs), or nothing
  // to go on.
  std::optional<int> willFinishLaunching();
  // Inside the event loop.
  void didFinishLaunching();
  // Once, whichever way the program ends.
  void willTerminate();
  // A later launch asked this instance to show itself; its startup id, when it had one, ends the
  // desktop's launch feedback once the window is up.
  void handleReopen(const std::string& startupId = {});
  bool shouldTerminateAfterLastWindowClosed() const { return false; }

  // Menu actions.
  void perform(MenuAction action);
  void showSettings();
  void showKeys();
  void openHelp();
  void enterCursor();
  void enterClick();
  void enterScroll();
  void stopNavigation();
  // The readiness action: switches accessibility on for the desktop, re-checks and shows the
  // window's access state; a sentence when the desktop could not do it.
  std::optional<std::string> turnOnAccessibility();

  void updateStatusItem();

  AppModel* model() { return model_.get(); }
  SettingsWindow* settingsWindow() { return settingsWindow_.get(); }
  StatusItem* statusItem() { return statusItem_.get(); }
  bool launchedAsLoginItem() const { return launchedAsLoginItem_; }
  const std::vector<Menu>& mainMenu() const { return mainMenu_; }
  std::vector<MenuItem> applicationDockMenu() const { return dockMenu(); }
  // The settings window's activation policy: whether it shows in the task bar and the window
  // switcher like an ordinary application.
  bool regularPolicy() const { return regularPolicy_; }

 private:
  // False, after saying why, when the signals could not be taken over.
  bool quitCleanlyOnSIGTERM();
  void observeMenuBarPreference();
  void scheduleStatusUpdate();
  void finish(int status);

  launch::Arguments arguments_;
  ShellEnvironment environment_;
  std::unique_ptr<AppModel> model_;
  std::unique_ptr<SettingsWindow> settingsWindow_;
  std::unique_ptr<StatusItem> statusItem_;
  bool launchedAsLoginItem_ = false;
  bool signalsInstalled_ = false;
  // Startup ids of launches that asked for the window before the model existed.
  std::vector<std::string> pendingReopens_;

  std::vector<Menu> mainMenu_;
  std::map<launch::Tool, ToolHandler> tools_;
  std::map<launch::TestKind, TestHandler> tests_;
  std::map<launch::TestKind, TestPreparation> preparations_;
  bool testRunning_ = false;
  bool terminated_ = false;
  bool statusUpdatePending_ = false;
  bool regularPolicy_ = false;
  std::uint64_t modelObservation_ = 0;
  std::uint64_t navigationObservation_ = 0;
  std::shared_ptr<AppDelegate*> alive_;
};

}  // namespace tovrel::shell
