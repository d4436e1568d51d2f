// The shortcut recorder against the real desktop: while it records in a window of this program,
// the navigation service running beside it leaves every key to it, the mode entries included.

#include <QAbstractButton>
#include <QApplication>
#include <QVBoxLayout>
#include <QWidget>

#include <unistd.h>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/settings/controls/ShortcutField.hpp"
#include "core/Keys.hpp"
#include "core/TovrelConfig.hpp"
#include "platform/x11/X11Desktop.hpp"
#include "system/NavigationService.hpp"
#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/QtTestApp.hpp"

namespace tovrel::desktoptest {
namespace {

// The right Alt key: Moving starts with its tap by default. Clicking starts with Super, Shift and
// Space.
constexpr Keycode rightAlt = 108;
constexpr Keycode superLeft = 133;
constexpr Keycode shiftLeft = 50;
constexpr Keycode space = 65;

class RecorderDesktopTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qtApp();
    x11_ = platform::x11::X11Desktop::open();
    ASSERT_NE(x11_, nullptr);
    // The default entries, the Moving tap toggling: a tap that wrongly started Moving while the
    // recorder had the keyboard is undone by the next one, and Moving is then never seen on.
    TovrelConfig config = TovrelConfig::defaults();
    config.cursorEntry.separateExit = false;
    service_ = std::make_unique<NavigationService>(x11_->platform(), config);
    service_->start();
    ASSERT_TRUE(service_->tapInstalled());
  }

  void TearDown() override {
    if (service_) {
      service_->shutdown();
      service_.reset();
    }
    window_.reset();
    x11_.reset();
    DesktopTest::TearDown();
  }

  void tapRightAlt() {
    inputWhilePumping(desktop(), [](Desktop& d) {
      d.hardwareKey(rightAlt, true);
      d.hardwareKey(rightAlt, false);
    });
  }

  long modesStarted() const {
    const auto& log = service_->log();
    return std::count_if(log.begin(), log.end(), [](const NavigationService::LogEntry& entry) {
      return entry.text.size() > 3 && entry.text.ends_with(" on");
    });
  }

  std::unique_ptr<platform::x11::X11Desktop> x11_;
  std::unique_ptr<NavigationService> service_;
  std::unique_ptr<QWidget> window_;
};

// Both kinds of entry: Moving's lone right Alt tap, and Clicking's chord, which the input tap
// holds grabbed while no mode is on.
TEST_F(RecorderDesktopTest, EntryGesturesTypedWhileRecordingReachTheRecorderAndStartNothing) {
  const TovrelConfig& config = service_->config();
  ASSERT_EQ(config.cursorEntry.gesture, Gesture::modifierTap(Key::rightOption));
  ASSERT_EQ(config.clickEntry.gesture,
            Gesture::key(Key::space, Modifiers{Modifiers::command, Modifiers::shift}));
  struct Row {
    const char* name;
    Gesture entry;
    std::vector<Keycode> keys;  // pressed in order, released in reverse
  };
  const Row rows[] = {
      {"Moving's tap", config.cursorEntry.gesture, {rightAlt}},
      {"Clicking's chord", config.clickEntry.gesture, {superLeft, shiftLeft, space}},
  };

  window_ = std::make_unique<QWidget>();
  window_->setWindowTitle(QStringLiteral("Tovrel recorder test"));
  window_->setGeometry(60, 80, 360, 140);
  auto* layout = new QVBoxLayout(window_.get());
  auto* field = new settings::ShortcutField(
      x11_->platform().application, QStringLiteral("Moving start"), std::nullopt,
      settings::RecorderKind::entry, std::nullopt, false, QStringLiteral("None"), true,
      [](std::optional<Gesture>) { return settings::Problems{}; });
  layout->addWidget(field);
  window_->show();
  const auto id = desktop().waitForWindow("Tovrel recorder test", getpid());
  ASSERT_TRUE(id.has_value());
  ASSERT_TRUE(desktop().focus(*id)) << desktop().focusReport();
  ASSERT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == window_.get(); }));

  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    field->startRecording();
    QWidget* pill = field->findChild<QWidget*>(QStringLiteral("pill"));
    ASSERT_NE(pill, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return QApplication::focusWidget() == pill; }))
        << "the recorder did not take the keyboard";
    inputWhilePumping(desktop(), [&row](Desktop& d) {
      for (Keycode key : row.keys)
        d.hardwareKey(key, true);
      for (auto key = row.keys.rbegin(); key != row.keys.rend(); ++key)
        d.hardwareKey(*key, false);
    });
    ASSERT_TRUE(pumpUntil([&] { return field->state().pending() == row.entry; }))
        << "the gesture did not reach the recorder";
    EXPECT_TRUE(field->isRecording());
    field->findChild<QAbstractButton*>(QStringLiteral("cancel"))->click();
    ASSERT_TRUE(pumpUntil([&] { return !field->isRecording() && !pill->hasFocus(); }));
  }

  // With the recorder closed the tap starts Moving. The service decides keys in the order they
  // come: when it has started Moving it has decided everything typed before, and started nothing.
  tapRightAlt();
  ASSERT_TRUE(pumpUntil([&] { return service_->mode() == InteractionMode::cursor; }))
      << "the tap after recording did not start Moving";
  EXPECT_EQ(modesStarted(), 1) << "a gesture typed into the recorder started a mode";

  // The recorder keeps the keys only while its window is in front: once another application is,
  // the tap is Moving's at once, though the toolkit goes on calling this program active a moment.
  service_->setMode(InteractionMode::off);
  ASSERT_TRUE(desktop().focus(*id)) << desktop().focusReport();
  field->startRecording();
  QWidget* pill = field->findChild<QWidget*>(QStringLiteral("pill"));
  ASSERT_TRUE(pumpUntil([&] { return QApplication::focusWidget() == pill; }));
  std::string error;
  auto receiver = Receiver::start(desktop(), {}, &error);
  ASSERT_TRUE(receiver) << error;
  ASSERT_TRUE(receiver->activate());
  ASSERT_TRUE(pumpUntil([&] { return !service_->editingSettings(); }))
      << "the recorder kept the keys with another application in front";
  tapRightAlt();
  EXPECT_TRUE(pumpUntil([&] { return service_->mode() == InteractionMode::cursor; }))
      << "a tap in another application, just after the recorder had the keys, started nothing";
}

}  // namespace
}  // namespace tovrel::desktoptest
