// Scroll mode over a real browser page: a small box under the page's centre scrolls on its own,
// and the pointer must be parked where the wheel reaches the page instead.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <optional>
#include <string>
#include <vector>

#include "platform/x11/X11Desktop.hpp"
#include "system/AccessibilityTargets.hpp"
#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/FrameSearch.hpp"
#include "tests/desktop/QtTestApp.hpp"

namespace tovrel::desktoptest {
namespace {

namespace targets = AccessibilityTargets;
using Frame = HintTarget::Frame;

const char* const page = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Scroll page</title>
<style>
body { margin: 0; font: 16px sans-serif }
#box { position: fixed; left: 50%; top: 50%; width: 400px; height: 260px;
       margin: -130px 0 0 -200px; overflow: auto; border: 1px solid #888 }
</style></head>
<body><h1>Page heading</h1>
<div id="box" tabindex="0" aria-label="Inner box"><p>Box line one</p>
<div style="height: 1500px">Box filler</div></div>
<div style="height: 3000px"><p>Page filler</p></div></body></html>
)";

const char* const preferences = R"(user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
)";

bool write(const QString& path, const char* text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(text) >= 0;
}

class WebScrollTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const QString browser = QStandardPaths::findExecutable(QStringLiteral("firefox-esr"));
    if (browser.isEmpty()) GTEST_SKIP() << "firefox-esr is not installed (scripts/setup.sh)";
    qtApp();
    x11_ = platform::x11::X11Desktop::open();
    ASSERT_NE(x11_, nullptr);
    ASSERT_TRUE(dir_.isValid());
    const QString pagePath = dir_.filePath(QStringLiteral("page.html"));
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("profile")));
    ASSERT_TRUE(write(pagePath, page));
    ASSERT_TRUE(write(dir_.filePath(QStringLiteral("profile/user.js")), preferences));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("GNOME_ACCESSIBILITY"), QStringLiteral("1"));
    environment.remove(QStringLiteral("MOZ_HEADLESS"));
    browser_.setProcessEnvironment(environment);
    browser_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    browser_.setStandardOutputFile(QProcess::nullDevice());
    browser_.start(
        browser, {QStringLiteral("--no-remote"), QStringLiteral("--profile"),
                  dir_.filePath(QStringLiteral("profile")), QStringLiteral("file://") + pagePath});
    ASSERT_TRUE(browser_.waitForStarted(10000));
    const auto window = desktop().waitForWindow("Scroll page \u2014 Mozilla Firefox", 0, 60s);
    ASSERT_TRUE(window.has_value()) << "the browser never showed the page";
    desktop().focus(*window);
  }
  void TearDown() override {
    if (browser_.state() != QProcess::NotRunning) {
      browser_.terminate();
      if (!browser_.waitForFinished(10000)) browser_.kill();
      browser_.waitForFinished(5000);
    }
    x11_.reset();
    DesktopTest::TearDown();
  }

  DiscoveryServices services() { return DiscoveryServices::of(x11_->platform()); }
  std::int32_t pid() const { return static_cast<std::int32_t>(browser_.processId()); }

  std::optional<Frame> frameNamed(const std::string& name) {
    DiscoveryServices s = services();
    return desktoptest::frameNamed(s.accessibility.application(pid()), name, 12);
  }

  std::unique_ptr<platform::x11::X11Desktop> x11_;
  QTemporaryDir dir_;
  QProcess browser_;
};

TEST_F(WebScrollTest, ThePointerIsParkedOverThePageNotTheBoxUnderItsCentre) {
  std::optional<Frame> box;
  std::optional<Frame> area;
  // The page reaches the accessibility bus a while after its window shows.
  ASSERT_TRUE(pumpUntil(
      [&] {
        box = frameNamed("Inner box");
        DiscoveryServices s = services();
        const auto areas =
            targets::scrollContextNow(s, pid(), std::nullopt, std::nullopt, true).areas;
        area.reset();
        for (const Frame& found : areas)
          if (box && found.contains(box->center())) area = found;
        return box && area;
      },
      60s))
      << "the page and its box never became readable";
  ASSERT_TRUE(area->width > box->width && area->height > box->height);
  ASSERT_TRUE(box->contains(area->center())) << "the box must lie under the page's centre";

  // Hit tests over a page that has only just appeared can still answer with the window; a
  // later answer is final.
  Point parked = area->center();
  ASSERT_TRUE(pumpUntil(
      [&] {
        DiscoveryServices s = services();
        parked = targets::quietPointNow(s, pid(), area->center(), *area);
        return !box->contains(parked);
      },
      30s))
      << "parked over the box at " << parked.x << "," << parked.y;
  EXPECT_TRUE(area->contains(parked));
}

}  // namespace
}  // namespace tovrel::desktoptest
