// Scroll mode over a real browser page: a small box under the page's centre scrolls on its own,
// and the pointer must be parked where the wheel reaches the page instead.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <functional>
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

// A page titled `title` with a box of 400 by 260 fixed under the page's centre, its element
// opened by `box` and holding `content`.
std::string pageWith(const std::string& title, const std::string& box, const std::string& content) {
  return R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>)" +
         title + R"(</title>
<style>
body { margin: 0; font: 16px sans-serif }
#box { position: fixed; left: 50%; top: 50%; width: 400px; height: 260px;
       margin: -130px 0 0 -200px; overflow: auto; border: 1px solid #888 }
</style></head>
<body><h1>Page heading</h1>
)" + box +
         content +
         R"(</div>
<div style="height: 3000px"><p>Page filler</p></div></body></html>
)";
}

const std::string page =
    pageWith("Scroll page", R"(<div id="box" tabindex="0" aria-label="Inner box">)",
             R"(<p>Box line one</p><div style="height: 1500px">Box filler</div>)");

// The same box of plain paragraphs, neither focusable nor named: a browser exposes it as a bare
// section, lists only the paragraphs it shows, and its hit tests need not answer with it.
const std::string plainPage = pageWith("Plain page", R"(<div id="box">)", [] {
  std::string paragraphs;
  for (int i = 1; i <= 12; ++i)
    paragraphs += "<p>Box paragraph " + std::to_string(i) + "</p>\n";
  return paragraphs;
}());

bool write(const QString& path, const std::string& text) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) &&
         file.write(text.data(), static_cast<qint64>(text.size())) >= 0;
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
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("profile")));
    ASSERT_TRUE(write(dir_.filePath(QStringLiteral("profile/user.js")), firefoxSettings));
    browser_ = browser;
  }

  // Shows `html` in the browser and waits for its window, titled `title`.
  void open(const std::string& html, const std::string& title) {
    const QString pagePath = dir_.filePath(QStringLiteral("page.html"));
    ASSERT_TRUE(write(pagePath, html));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("GNOME_ACCESSIBILITY"), QStringLiteral("1"));
    environment.remove(QStringLiteral("MOZ_HEADLESS"));
    process_.setProcessEnvironment(environment);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.start(
        browser_, {QStringLiteral("--no-remote"), QStringLiteral("--profile"),
                   dir_.filePath(QStringLiteral("profile")), QStringLiteral("file://") + pagePath});
    ASSERT_TRUE(process_.waitForStarted(10000));
    const auto window = desktop().waitForWindow(title + " \u2014 Mozilla Firefox", 0, 60s);
    ASSERT_TRUE(window.has_value()) << "the browser never showed the page";
    desktop().focus(*window);
  }
  void TearDown() override {
    if (process_.state() != QProcess::NotRunning) {
      process_.terminate();
      if (!process_.waitForFinished(10000)) process_.kill();
      process_.waitForFinished(5000);
    }
    x11_.reset();
    DesktopTest::TearDown();
  }

  DiscoveryServices services() { return DiscoveryServices::of(x11_->platform()); }
  std::int32_t pid() const { return static_cast<std::int32_t>(process_.processId()); }

  using Wanted = desktoptest::ElementWanted;

  std::optional<Frame> frameNamed(const std::string& name) {
    return frameWhere([&](const platform::AXElement& element, const std::string& role) {
      return targets::accessibleName(element, role) == name;
    });
  }

  std::optional<Frame> frameWhere(const Wanted& wanted) {
    const auto element = elementWhere(wanted);
    return element ? targets::frame(*element) : std::nullopt;
  }

  // The first element `wanted` accepts in the front window, breadth first.
  std::optional<platform::AXElement> elementWhere(const Wanted& wanted) {
    DiscoveryServices s = services();
    return desktoptest::elementWhere(s.accessibility.application(pid()), wanted, 12);
  }

  // Waits until the box `findBox` finds and the page's area around it are readable; the box must
  // lie under the page's centre.
  void awaitBoxInPage(const std::function<std::optional<Frame>()>& findBox,
                      std::optional<Frame>& box, std::optional<Frame>& area) {
    // The page reaches the accessibility bus a while after its window shows.
    ASSERT_TRUE(pumpUntil(
        [&] {
          box = findBox();
          DiscoveryServices s = services();
          area.reset();
          // The box is an area of its own too.
          for (const Frame& found :
               targets::scrollContextNow(s, pid(), std::nullopt, std::nullopt, true).areas)
            if (box && found.contains(box->center()) && found.width > box->width &&
                found.height > box->height)
              area = found;
          return box && area;
        },
        60s))
        << "the page and its box never became readable";
    ASSERT_TRUE(box->contains(area->center())) << "the box must lie under the page's centre";
  }

  std::unique_ptr<platform::x11::X11Desktop> x11_;
  QTemporaryDir dir_;
  QString browser_;
  QProcess process_;
};

TEST_F(WebScrollTest, ThePointerIsParkedOverThePageNotTheBoxUnderItsCentre) {
  open(page, "Scroll page");
  std::optional<Frame> box;
  std::optional<Frame> area;
  ASSERT_NO_FATAL_FAILURE(awaitBoxInPage([&] { return frameNamed("Inner box"); }, box, area));

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

TEST_F(WebScrollTest, APlainBoxOfParagraphsUnderThePageCentreIsKeptClear) {
  open(plainPage, "Plain page");
  // The box, border included, is the only element of its size.
  const auto boxSized = [](const platform::AXElement& element, const std::string&) {
    const auto f = targets::frame(element);
    return f && std::abs(f->width - 402) <= 2 && std::abs(f->height - 262) <= 2;
  };
  std::optional<Frame> box;
  std::optional<Frame> area;
  ASSERT_NO_FATAL_FAILURE(awaitBoxInPage([&] { return frameWhere(boxSized); }, box, area));

  // What the box has scrolled out of view is not among the children it shows, only among all.
  const auto element = elementWhere(boxSized);
  ASSERT_TRUE(element.has_value());
  const auto showing = targets::childrenOf(*element);
  const auto all = targets::elementsAttribute(*element, "AXAllChildren");
  ASSERT_TRUE(showing && all);
  EXPECT_EQ(all->size(), 12u);
  EXPECT_LT(showing->size(), all->size());
  for (const auto& child : *showing)
    EXPECT_NE(std::find(all->begin(), all->end(), child), all->end());

  // Every answer, not just a later one: what scrolls at a place does not hang on the hit test.
  for (int attempt = 0; attempt < 3; ++attempt) {
    DiscoveryServices s = services();
    const Point parked = targets::quietPointNow(s, pid(), area->center(), *area);
    EXPECT_FALSE(box->contains(parked)) << "parked over the box at " << parked;
    EXPECT_TRUE(area->contains(parked)) << parked;
  }
}

}  // namespace
}  // namespace tovrel::desktoptest
