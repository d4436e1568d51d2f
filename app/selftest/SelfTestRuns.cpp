#include "app/selftest/SelfTestRuns.hpp"

#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>

#include "app/selftest/LiveSelfTest.hpp"
#include "app/selftest/Report.hpp"
#include "app/selftest/SelfTestConfig.hpp"
#include "app/shell/AppDelegate.hpp"
#include "app/shell/SettingsWindow.hpp"

namespace tovrel::selftest {

namespace {

void printLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  // Scripts follow a run as it goes.
  std::fflush(stdout);
}

void printProblem(const std::string& problem) {
  std::fprintf(stderr, "%s\n", problem.c_str());
}

void start(shell::AppDelegate& delegate, const launch::TestRun& run, AppModel& model,
           std::function<void(int)> finish) {
  // The run starts once launching has finished, from the event loop itself.
  QTimer::singleShot(0, [&delegate, run, &model, finish = std::move(finish)] {
    EventLoopPacer pacer;
    std::function<QWidget*()> showSettings;
    if (run.kind == launch::TestKind::selfTest)
      showSettings = [&delegate]() -> QWidget* {
        delegate.showSettings();
        return delegate.settingsWindow();
      };
    std::optional<std::filesystem::path> fixture;
    if (run.fixture) fixture = std::filesystem::path(*run.fixture);
    LiveSelfTest test({model, run.directory, fixture, showSettings, pacer, printLine});
    int status = 1;
    switch (run.kind) {
      case launch::TestKind::selfTest:
        status = test.run() ? 0 : 1;
        break;
      case launch::TestKind::scrollCheck:
        status = test.scrollCheck() ? 0 : 1;
        break;
      case launch::TestKind::demoLabels:
        status = test.demoLabels(4) ? 0 : 1;
        break;
    }
    for (const std::string& problem : test.problems())
      printProblem(problem);
    if (run.kind != launch::TestKind::demoLabels && !test.checks().empty())
      printLine("Report: " + (std::filesystem::path(run.directory) / markdownReportName).string() +
                "\n");
    finish(status);
  });
}

}  // namespace

void registerSelfTests(shell::AppDelegate& delegate) {
  auto prepare = [](const launch::TestRun& run) {
    return writeSelfTestConfig(std::filesystem::path(run.directory));
  };
  for (launch::TestKind kind :
       {launch::TestKind::selfTest, launch::TestKind::scrollCheck, launch::TestKind::demoLabels})
    delegate.registerTest(
        kind,
        [&delegate](const launch::TestRun& run, AppModel& model, std::function<void(int)> finish) {
          start(delegate, run, model, std::move(finish));
        },
        prepare);
}

}  // namespace tovrel::selftest
