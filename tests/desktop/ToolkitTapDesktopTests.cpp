// Modifier taps against real applications of three toolkits. Qt 5 takes a lone Alt tap as the
// arming of its menu bar, and Moving's entry is such a tap, ended by an Escape the application
// never sees: without care, the word typed after every second trip through Moving goes to the menu
// bar. Whatever keeps that from happening must leave every other application taking typed keys
// (GTK 4 once stopped taking any), and the applications' own Alt taps and chords, and AltGr
// typing, working as before.

#include <X11/keysym.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
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

struct Editor {
  const char* name;
  std::vector<const char*> command;  // "{config}" stands for its own settings folder
  const char* title;                 // of its window with a new document
  const char* word;                  // what a round types, before the round's number
  std::vector<std::pair<const char*, const char*>> files{};  // written into its settings folder
};

void PrintTo(const Editor& editor, std::ostream* out) {
  *out << editor.name;
}

// No letter of the editors' menu mnemonics (F, E, O, S, H), no space: a word that goes to the menu
// bar is simply lost and opens nothing.
const Editor featherPad{"FeatherPad", {"featherpad"}, "Untitled", "jam"};
const Editor geany{"Geany", {"geany", "-c", "{config}"}, "untitled - Geany", "jam"};
const Editor gtk4Editor{
    "GnomeTextEditor",
    {"env", "GSK_RENDERER=cairo", "GDK_BACKEND=x11", "gnome-text-editor", "--standalone"},
    "New Document (Draft) - Text Editor",
    "jam"};
// A page whose text area has the focus, in both browsers.
constexpr const char* padPage =
    "<!DOCTYPE html><title>Pad</title><textarea autofocus rows=8 cols=40></textarea>";
const Editor firefox{"Firefox",
                     {"env", "GNOME_ACCESSIBILITY=1", "firefox-esr", "--no-remote", "--profile",
                      "{config}", "file://{config}/pad.html"},
                     "Pad \u2014 Mozilla Firefox",
                     "jam",
                     {{"pad.html", padPage}, {"user.js", firefoxSettings}}};
const Editor chromium{"Chromium",
                      {"chromium", "--no-sandbox", "--user-data-dir={config}/chromium",
                       "--no-first-run", "--no-default-browser-check", "--password-store=basic",
                       "--force-renderer-accessibility", "file://{config}/pad.html"},
                      "Pad - Chromium",
                      "jam",
                      {{"pad.html", padPage}}};
// A calculator takes digits; a stray key event it cannot read once left it deaf to every key.
const Editor calculator{"GnomeCalculator",
                        {"env", "GSK_RENDERER=cairo", "GDK_BACKEND=x11", "gnome-calculator"},
                        "Calculator",
                        "7"};

class EditorTapTest : public DesktopTest {
 protected:
  void start(const Editor& editor) {
    QStringList command;
    for (const char* part : editor.command)
      command.append(QString::fromUtf8(part));
    // The program itself, behind "env" and its settings.
    const QString tool = command.filter(QRegularExpression("^(?!env$)[^=]+$")).value(0);
    if (QStandardPaths::findExecutable(tool).isEmpty())
      GTEST_SKIP() << tool.toStdString() << " is not installed (scripts/setup.sh)";
    const QString program = command.takeFirst();
    qtApp();
    QProcess::execute("xset", {"r", "off"});
    ASSERT_TRUE(home_.isValid());
    // Settings of its own: no session to restore, no earlier window sizes.
    const QString config = home_.filePath(QStringLiteral("config"));
    ASSERT_TRUE(QDir(config).mkpath(QStringLiteral(".")));
    for (const auto& [name, text] : editor.files) {
      QFile file(QDir(config).filePath(QString::fromUtf8(name)));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) > 0) << name;
    }
    command.replaceInStrings(QStringLiteral("{config}"), config);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    // Nor drafts an earlier run left.
    for (const char* folder : {"XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
      environment.insert(QString::fromLatin1(folder), home_.filePath(QString::fromLatin1(folder)));
    environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    editor_.setProcessEnvironment(environment);
    editor_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    editor_.setStandardOutputFile(QProcess::nullDevice());
    editor_.start(program, command);
    ASSERT_TRUE(editor_.waitForStarted(10000));
    pid_ = static_cast<pid_t>(editor_.processId());
    const auto window = desktop().waitForWindow(editor.title, pid_, 30s);
    ASSERT_TRUE(window.has_value()) << editor.name << " showed no window";
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
      document_ = targets::firstDescendant(application, "AXTextArea", 20);
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

class EveryEditor : public EditorTapTest, public ::testing::WithParamInterface<Editor> {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    start(GetParam());
  }
};

class QtEditor : public EditorTapTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    start(featherPad);
  }
};

// Ten trips with one right Alt tap, ten with a second tap while Moving is on (which does nothing
// then, yet must not reach the application as a lone tap either), each ended by Escape.
TEST_P(EveryEditor, AWordTypedAfterEachTripThroughMovingArrivesEveryTime) {
  std::string expected;
  std::vector<int> lost;
  for (int round = 1; round <= 20; ++round) {
    hold(rightAlt, tapHold);
    ASSERT_TRUE(waitForMode(InteractionMode::cursor)) << "round " << round;
    if (round > 10) {
      hold(rightAlt, tapHold);
      pump(50ms);
      ASSERT_EQ(service_->mode(), InteractionMode::cursor) << "round " << round;
    }
    input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
    ASSERT_TRUE(waitForMode(InteractionMode::off)) << "round " << round;
    const std::string word = GetParam().word + std::to_string(round);
    input([&](Desktop& d) { d.hardwareType(word); });
    if (!pumpUntil([&] { return documentText() == expected + word; }, 3s)) lost.push_back(round);
    expected = documentText().value_or(expected);
  }
  EXPECT_TRUE(lost.empty()) << "lost the words of " << ::testing::PrintToString(lost)
                            << "; the document reads \"" << expected << "\"";
}

INSTANTIATE_TEST_SUITE_P(Editors, EveryEditor,
                         ::testing::Values(featherPad, geany, gtk4Editor, calculator, firefox,
                                           chromium),
                         [](const auto& info) { return std::string(info.param.name); });

class EditorWithMenus : public EveryEditor {};

TEST_P(EditorWithMenus, RightAltStillMakesAltChords) {
  // Right Alt is Moving's tap, yet Alt+F opens the File menu.
  input([&](Desktop& d) { d.hardwareChord({XK_Alt_R, XK_f}); });
  EXPECT_TRUE(pumpUntil(keyboardIsGrabbed)) << "Right Alt+F opened no menu";
  EXPECT_EQ(service_->mode(), InteractionMode::off);
  // The first Escape closes the menu; Qt's menu bar keeps the keyboard until the second.
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  ASSERT_TRUE(pumpUntil([] { return !keyboardIsGrabbed(); }));
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
}

INSTANTIATE_TEST_SUITE_P(Editors, EditorWithMenus, ::testing::Values(featherPad, geany),
                         [](const auto& info) { return std::string(info.param.name); });

class EditorWithAltGr : public EveryEditor {};

TEST_P(EditorWithAltGr, RightAltTypesTheThirdLevelAsAltGrAndItsTapStillStartsMoving) {
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
  EXPECT_TRUE(waitForMode(InteractionMode::cursor)) << "the AltGr tap did not start Moving";
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  EXPECT_TRUE(waitForMode(InteractionMode::off));
}

INSTANTIATE_TEST_SUITE_P(Editors, EditorWithAltGr,
                         ::testing::Values(featherPad, geany, gtk4Editor, firefox, chromium),
                         [](const auto& info) { return std::string(info.param.name); });

// Left Alt's tap is not Tovrel's: it arms Qt's menu bar as it always did, and F opens File.
TEST_F(QtEditor, TheApplicationsOwnAltTapStillArmsItsMenuBar) {
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

}  // namespace
}  // namespace tovrel::desktoptest
