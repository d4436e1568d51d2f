// Modifier taps against a real Qt 5 application. Qt takes a lone Alt tap as the arming of its menu
// bar, and Moving's entry is such a tap, ended by an Escape the application never sees: without
// care, the word typed after every second trip through Moving goes to the menu bar. The
// application's own Alt taps and chords, and AltGr typing, must keep working all the same.

#include <X11/keysym.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/TovrelConfig.hpp"
#include "platform/x11/X11Desktop.hpp"
#include "system/AccessibilityTargets.hpp"
#include "system/NavigationService.hpp"
#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/QtTestApp.hpp"

namespace tovrel::desktoptest {
namespace {

namespace targets = AccessibilityTargets;

// The right Alt key: the cursor-mode entry tap.
constexpr Keycode rightAlt = 108;
// A person's tap: long enough to be seen by everyone, well inside the tap's time limit.
constexpr auto tapHold = 80ms;

class QtMenuBarTapTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("featherpad"));
    if (program.isEmpty()) GTEST_SKIP() << "featherpad is not installed (scripts/setup.sh)";
    qtApp();
    QProcess::execute("xset", {"r", "off"});
    ASSERT_TRUE(home_.isValid());
    // Settings of its own: no session to restore, no earlier window sizes.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    editor_.setProcessEnvironment(environment);
    editor_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    editor_.setStandardOutputFile(QProcess::nullDevice());
    editor_.start(program, {});
    ASSERT_TRUE(editor_.waitForStarted(10000));
    pid_ = static_cast<pid_t>(editor_.processId());
    const auto window = desktop().waitForWindow("Untitled", pid_, 30s);
    ASSERT_TRUE(window.has_value()) << "FeatherPad showed no window";
    ASSERT_TRUE(desktop().focus(*window));

    x11_ = platform::x11::X11Desktop::open();
    ASSERT_NE(x11_, nullptr);
    service_ = std::make_unique<NavigationService>(x11_->platform(), TovrelConfig::defaults());
    service_->start();
    ASSERT_TRUE(service_->tapInstalled());
    // The document has the focus once the editor tells its accessibility clients so.
    ASSERT_TRUE(pumpUntil([&] { return documentText() == ""; }, 20s))
        << "the document never became readable";
  }

  void TearDown() override {
    if (service_) {
      service_->shutdown();
      service_.reset();
    }
    x11_.reset();
    if (editor_.state() != QProcess::NotRunning) {
      editor_.kill();
      editor_.waitForFinished(3000);
    }
    if (!layout_.empty()) QProcess::execute("setxkbmap", {QString::fromStdString(layout_)});
    QProcess::execute("xset", {"r", "on"});
    DesktopTest::TearDown();
  }

  // The text of the document, as the editor reports it to its accessibility clients.
  std::optional<std::string> documentText() {
    if (!document_) {
      const auto application = x11_->platform().accessibility.application(pid_);
      document_ = targets::firstDescendant(application, "AXTextArea", 12);
      if (!document_) return std::nullopt;
    }
    return targets::stringAttribute(*document_, "AXValue");
  }

  void input(const std::function<void(Desktop&)>& act) { inputWhilePumping(desktop(), act); }

  bool waitForMode(InteractionMode mode) {
    return pumpUntil([&] { return service_->mode() == mode; });
  }

  void hold(Keycode code, std::chrono::milliseconds held) {
    input([&](Desktop& d) { d.hardwareKey(code, true); });
    pump(held);
    input([&](Desktop& d) { d.hardwareKey(code, false); });
  }

  // Switches the keyboard layout for this test; TearDown puts US back, the private desktop's.
  void useLayout(const std::string& layout) {
    if (layout_.empty()) layout_ = "us";
    ASSERT_EQ(QProcess::execute("setxkbmap", {QString::fromStdString(layout)}), 0);
    desktop().sync();
  }

  QTemporaryDir home_;
  QProcess editor_;
  pid_t pid_ = -1;
  std::string layout_;
  std::optional<platform::AXElement> document_;
  std::unique_ptr<platform::x11::X11Desktop> x11_;
  std::unique_ptr<NavigationService> service_;
};

TEST_F(QtMenuBarTapTest, AWordTypedAfterEachTripThroughMovingArrivesEveryTime) {
  std::string expected;
  std::vector<int> lost;
  for (int round = 1; round <= 10; ++round) {
    hold(rightAlt, tapHold);
    ASSERT_TRUE(waitForMode(InteractionMode::cursor)) << "round " << round;
    input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
    ASSERT_TRUE(waitForMode(InteractionMode::off)) << "round " << round;
    // No letter of the editor's menu mnemonics (F, E, O, S, H), no space: a word that goes to
    // the menu bar is simply lost and opens nothing.
    const std::string word = "jam" + std::to_string(round);
    input([&](Desktop& d) { d.hardwareType(word); });
    if (!pumpUntil([&] { return documentText() == expected + word; }, 3s)) lost.push_back(round);
    expected = documentText().value_or(expected);
  }
  EXPECT_TRUE(lost.empty()) << "lost the words of " << ::testing::PrintToString(lost)
                            << "; the document reads \"" << expected << "\"";
}

TEST_F(QtMenuBarTapTest, AltChordsAndTheApplicationsOwnAltTapStillOpenItsMenus) {
  // Right Alt is Moving's tap, yet Alt+F opens the File menu.
  input([&](Desktop& d) { d.hardwareChord({XK_Alt_R, XK_f}); });
  EXPECT_TRUE(pumpUntil(keyboardIsGrabbed)) << "Right Alt+F opened no menu";
  EXPECT_EQ(service_->mode(), InteractionMode::off);
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  ASSERT_TRUE(pumpUntil([] { return !keyboardIsGrabbed(); }));
  // Left Alt's tap is not Tovrel's: it arms the menu bar as it always did, and F opens File.
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  hold(desktop().keycode(XK_Alt_L), tapHold);
  input([&](Desktop& d) { d.hardwareTap(XK_f); });
  EXPECT_TRUE(pumpUntil(keyboardIsGrabbed)) << "a left Alt tap no longer armed the menu bar";
  EXPECT_EQ(service_->mode(), InteractionMode::off);
  input([&](Desktop& d) {
    d.hardwareTap(XK_Escape);
    d.hardwareTap(XK_Escape);
  });
  EXPECT_TRUE(pumpUntil([] { return !keyboardIsGrabbed(); }));
}

TEST_F(QtMenuBarTapTest, WithRightAltAsAltGrItTypesTheThirdLevelAndItsTapStillStartsMoving) {
  useLayout("de");
  // AltGr+E types the euro sign on a German keyboard.
  const Keycode e = desktop().keycode(XK_e);
  ASSERT_NE(e, 0u);
  input([&](Desktop& d) {
    d.hardwareKey(rightAlt, true);
    d.hardwareKey(e, true);
    d.hardwareKey(e, false);
    d.hardwareKey(rightAlt, false);
  });
  EXPECT_TRUE(pumpUntil([&] { return documentText() == "\u20AC"; }, 5s))
      << "the document reads \"" << documentText().value_or("?") << "\"";
  EXPECT_EQ(service_->mode(), InteractionMode::off);
  hold(rightAlt, tapHold);
  EXPECT_TRUE(waitForMode(InteractionMode::cursor));
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  EXPECT_TRUE(waitForMode(InteractionMode::off));
}

}  // namespace
}  // namespace tovrel::desktoptest
