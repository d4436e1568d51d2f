#include "platform/x11/input/X11Panels.hpp"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "core/Keys.hpp"
#include "platform/x11/session/X11HotKeys.hpp"
#include "tests/x11/OffscreenApp.hpp"

namespace tovrel::platform::x11 {
namespace {

namespace flag = eventFlag;
constexpr unsigned shiftState = xModifier::shift, controlState = xModifier::control,
                   lockState = xModifier::lock;

TEST(PanelModifierFlags, ModifierKeysAddTheirSideAndFamilyUntilTheLastOneIsUp) {
  PanelModifierFlags flags;
  struct Step {
    std::uint16_t key;
    bool press;
    unsigned stateBefore;
    std::uint64_t expected;
  };
  for (auto [key, press, state, expected] : {
           Step{Key::leftShift, true, 0, flag::shift | flag::leftShift},
           Step{Key::rightShift, true, shiftState,
                flag::shift | flag::leftShift | flag::rightShift},
           Step{Key::a, true, shiftState, flag::shift | flag::leftShift | flag::rightShift},
           Step{Key::leftShift, false, shiftState, flag::shift | flag::rightShift},
           Step{Key::rightShift, false, shiftState, 0},
           Step{Key::rightOption, true, 0, flag::option | flag::rightOption},
           Step{Key::leftCommand, true, xModifier::mod1,
                flag::option | flag::rightOption | flag::command | flag::leftCommand},
       })
    EXPECT_EQ(flags.update(key, press, state), expected) << key << (press ? " down" : " up");
}

TEST(PanelModifierFlags, TheServerStateWinsOverKeysReleasedUnseen) {
  PanelModifierFlags flags;
  flags.update(Key::leftControl, true, 0);
  // Control was let go while another window had the keyboard: the state no longer has it.
  EXPECT_EQ(flags.update(Key::a, true, 0), 0u);
  // Held from before the panel took the keyboard: the family without a side.
  EXPECT_EQ(flags.update(Key::a, true, controlState), flag::control);
}

TEST(PanelModifierFlags, CapsLockTogglesOnThePressAndHoldsOnTheRelease) {
  PanelModifierFlags flags;
  EXPECT_EQ(flags.update(Key::capsLock, true, 0), flag::alphaShift);
  EXPECT_EQ(flags.update(Key::capsLock, false, lockState), flag::alphaShift);
  EXPECT_EQ(flags.update(Key::a, true, lockState), flag::alphaShift);
  EXPECT_EQ(flags.update(Key::capsLock, true, lockState), 0u);
  EXPECT_EQ(flags.update(Key::capsLock, false, lockState), 0u);
}

// The panel's window fed key events the way Qt's X11 backend delivers them (X keycode as the
// native scan code, X state as the native modifiers), on the offscreen platform.
class CatcherPanelKeys : public testing::Test {
 protected:
  struct Delivery {
    EventType type;
    InputEvent event;
    bool isKeyEquivalent;
  };

  void SetUp() override {
    if (!offscreenWidgetApp()) GTEST_SKIP() << "another test made a non-widget application";
    auto before = QApplication::topLevelWidgets();
    panel_ = X11Panels().createKeyCatcherPanel(PanelStyle{});
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (!before.contains(widget)) window_ = widget;
    ASSERT_NE(window_, nullptr);
    panel_->setKeyHandler([this](EventType type, const InputEvent& event, bool isKeyEquivalent) {
      delivered_.push_back({type, event, isKeyEquivalent});
    });
  }

  // Returns whether the window accepted the event.
  bool send(QEvent::Type type, int qtKey, unsigned xKeycode, unsigned xState,
            Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {},
            bool autorepeat = false) {
    QKeyEvent event(type, qtKey, modifiers, xKeycode, 0, xState, text, autorepeat);
    QCoreApplication::sendEvent(window_, &event);
    return event.isAccepted();
  }

  std::unique_ptr<KeyCatcherPanel> panel_;
  QWidget* window_ = nullptr;
  std::vector<Delivery> delivered_;
};

TEST_F(CatcherPanelKeys, AShortcutChordArrivesOnceAsAKeyEquivalentAndIsSwallowed) {
  unsigned control = xModifier::control;
  EXPECT_TRUE(send(QEvent::ShortcutOverride, Qt::Key_Q, 24, control, Qt::ControlModifier, "\x11"));
  send(QEvent::KeyPress, Qt::Key_Q, 24, control, Qt::ControlModifier, "\x11");
  send(QEvent::KeyRelease, Qt::Key_Q, 24, control, Qt::ControlModifier, "\x11");
  ASSERT_EQ(delivered_.size(), 2u);
  EXPECT_EQ(delivered_[0].type, eventType::keyDown);
  EXPECT_TRUE(delivered_[0].isKeyEquivalent);
  EXPECT_EQ(delivered_[0].event.keyCode, Key::q);
  EXPECT_EQ(delivered_[0].event.flags, eventFlag::control);
  EXPECT_EQ(delivered_[0].event.text, u"\x11");
  EXPECT_EQ(delivered_[1].type, eventType::keyUp);
  EXPECT_FALSE(delivered_[1].isKeyEquivalent);
}

TEST_F(CatcherPanelKeys, PlainKeysTabAndRepeatsArriveAsKeysOnce) {
  EXPECT_TRUE(send(QEvent::ShortcutOverride, Qt::Key_A, 38, 0, Qt::NoModifier, "a"));
  send(QEvent::KeyPress, Qt::Key_A, 38, 0, Qt::NoModifier, "a");
  send(QEvent::KeyRelease, Qt::Key_A, 38, 0, Qt::NoModifier, "a", true);  // repeat pair
  send(QEvent::KeyPress, Qt::Key_A, 38, 0, Qt::NoModifier, "a", true);
  send(QEvent::KeyPress, Qt::Key_Tab, 23, 0, Qt::NoModifier, "\t");  // not a focus move
  send(QEvent::KeyPress, Qt::Key_Menu, 135, 0);                      // a key without a code
  ASSERT_EQ(delivered_.size(), 3u);
  EXPECT_EQ(delivered_[0].event.text, u"a");
  EXPECT_FALSE(delivered_[0].event.autorepeat);
  EXPECT_FALSE(delivered_[0].isKeyEquivalent);
  EXPECT_TRUE(delivered_[1].event.autorepeat);
  EXPECT_EQ(delivered_[2].event.keyCode, Key::tab);
}

TEST_F(CatcherPanelKeys, ModifierKeysArriveAsFlagsChanged) {
  send(QEvent::KeyPress, Qt::Key_Shift, 50, 0, Qt::ShiftModifier);
  send(QEvent::KeyRelease, Qt::Key_Shift, 50, xModifier::shift);
  ASSERT_EQ(delivered_.size(), 2u);
  for (const Delivery& delivery : delivered_) {
    EXPECT_EQ(delivery.type, eventType::flagsChanged);
    EXPECT_EQ(delivery.event.keyCode, Key::leftShift);
    EXPECT_TRUE(delivery.event.text.empty());
  }
  EXPECT_EQ(delivered_[0].event.flags, eventFlag::shift | eventFlag::leftShift);
  EXPECT_EQ(delivered_[1].event.flags, 0u);
}

}  // namespace
}  // namespace tovrel::platform::x11
