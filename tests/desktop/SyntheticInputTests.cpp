// The self-test's synthetic keyboard and mouse in the private desktop: what it posts reaches an
// application as typed, the tap takes it for hardware input, and it gives back everything it held
// and every condition it set.

#include <QProcess>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/Keys.hpp"
#include "platform/x11/input/OwnEventLedger.hpp"
#include "platform/x11/input/X11KeyTable.hpp"
#include "platform/x11/input/X11SyntheticInput.hpp"
#include "platform/x11/input/X11Tap.hpp"
#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/QtTestApp.hpp"

// Xlib last: its macros (None, Bool) clash with the test framework's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XKBrules.h>

namespace tovrel::desktoptest {
namespace {

using platform::EventType;
using platform::InputEvent;
namespace eventType = platform::eventType;

struct Heard {
  EventType type;
  InputEvent event;
};

bool autoRepeatOn(Desktop& desktop) {
  XKeyboardState state{};
  XGetKeyboardControl(desktop.display(), &state);
  return state.global_auto_repeat == AutoRepeatModeOn;
}

void setAutoRepeat(Desktop& desktop, bool on) {
  XKeyboardControl control{};
  control.auto_repeat_mode = on ? AutoRepeatModeOn : AutoRepeatModeOff;
  XChangeKeyboardControl(desktop.display(), KBAutoRepeatMode, &control);
  desktop.sync();
}

std::string layout(Desktop& desktop) {
  char* rules = nullptr;
  XkbRF_VarDefsRec defs{};
  if (!XkbRF_GetNamesProp(desktop.display(), &rules, &defs)) return {};
  std::string result = defs.layout != nullptr ? defs.layout : "";
  if (defs.variant != nullptr && *defs.variant != '\0')
    result += "(" + std::string(defs.variant) + ")";
  for (char* text : {rules, defs.model, defs.layout, defs.variant, defs.options})
    std::free(text);
  return result;
}

class SyntheticInputTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qtApp();
    receiver_ = startReceiver();
    ASSERT_NE(receiver_, nullptr);
    ASSERT_TRUE(receiver_->activate());
    originalLayout_ = layout(desktop());
    originalRepeat_ = autoRepeatOn(desktop());
  }

  void TearDown() override {
    tap_.reset();
    if (desktop_) {
      QProcess::execute("setxkbmap",
                        {QString::fromStdString(originalLayout_.empty() ? "us" : originalLayout_)});
      setAutoRepeat(desktop(), originalRepeat_);
    }
    DesktopTest::TearDown();
  }

  void startTap() {
    tap_ = platform::x11::X11Tap::create(
        0x0E401CFE,
        [this](EventType type, const InputEvent& event) {
          heard_.push_back({type, event});
          return false;
        },
        ledger_);
    ASSERT_NE(tap_, nullptr);
    source_ = tap_->addToMainLoop();
    tap_->enable(true);
    tap_->setKeyInterception({});
    ASSERT_TRUE(tap_->waitUntilApplied(2.0));
  }

  const Heard* heard(EventType type, std::uint16_t code) {
    for (const Heard& entry : heard_)
      if (entry.type == type && entry.event.keyCode == code) return &entry;
    return nullptr;
  }

  std::string typedAfter(std::size_t mark, const std::string& expected) {
    pumpUntil([&] { return receiver_->log().typedText(mark) == expected; });
    return receiver_->log().typedText(mark);
  }

  void tap(platform::SyntheticInput& input, std::uint16_t code, Modifiers modifiers = {}) {
    ASSERT_TRUE(input.key(code, true, modifiers)) << input.lastProblem();
    ASSERT_TRUE(input.key(code, false, modifiers)) << input.lastProblem();
  }

  std::unique_ptr<Receiver> receiver_;
  std::shared_ptr<platform::x11::OwnEventLedger> ledger_ =
      std::make_shared<platform::x11::OwnEventLedger>();
  std::unique_ptr<platform::x11::X11Tap> tap_;
  std::unique_ptr<platform::TapSource> source_;
  std::vector<Heard> heard_;
  std::string originalLayout_;
  bool originalRepeat_ = false;
};

TEST_F(SyntheticInputTest, TypesAsAKeyboardIsHeardAsHardwareAndGivesEverythingBack) {
  // Start from a desktop unlike the run's: repeating keys, a German layout (Y and Z swapped).
  setAutoRepeat(desktop(), true);
  ASSERT_EQ(QProcess::execute("setxkbmap", {"de"}), 0);
  ASSERT_EQ(layout(desktop()), "de");
  startTap();
  platform::x11::X11SyntheticInput input;
  ASSERT_TRUE(input.available());
  input.setAvoidedModifierKeys({Key::leftShift, Key::leftCommand});
  {
    auto conditions = input.holdRunConditions();
    ASSERT_NE(conditions, nullptr);
    EXPECT_TRUE(conditions->autoRepeatOff()) << conditions->problem();
    EXPECT_TRUE(conditions->keymapKnown()) << conditions->problem();
    EXPECT_FALSE(autoRepeatOn(desktop()));
    EXPECT_EQ(layout(desktop()), "us(mac)");

    std::size_t mark = receiver_->log().size();
    tap(input, Key::y);
    tap(input, Key::a, Modifiers::shift);
    EXPECT_EQ(typedAfter(mark, "yA"), "yA");
    // Right Alt chooses a third level unlike the plain key, so what an Alt chord types shows
    // that it arrived whole.
    mark = receiver_->log().size();
    ASSERT_TRUE(input.modifierKey(Key::rightOption, true));
    tap(input, Key::a, Modifiers::option);
    ASSERT_TRUE(input.modifierKey(Key::rightOption, false));
    EXPECT_EQ(typedAfter(mark, "å"), "å");
    ASSERT_TRUE(pumpUntil([&] { return heard(eventType::keyUp, Key::a) != nullptr; }));
    const Heard* y = heard(eventType::keyDown, Key::y);
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(y->event.sourceUserData, 0);  // not the program's own
    const Heard* capital = heard(eventType::keyDown, Key::a);
    ASSERT_NE(capital, nullptr);
    EXPECT_TRUE(capital->event.flags & platform::eventFlag::rightShift);
    EXPECT_EQ(heard(eventType::flagsChanged, Key::leftShift), nullptr);
    EXPECT_EQ(ledger_->size(), 0u);

    // Held keys, a held modifier and the left button all come back with releaseAll.
    auto rect = receiver_->rect();
    ASSERT_TRUE(rect);
    const Point inside{static_cast<double>(rect->centerX()), static_cast<double>(rect->centerY())};
    ASSERT_TRUE(input.modifierKey(Key::rightControl, true));
    ASSERT_TRUE(input.key(Key::c, true, Modifiers::command));
    ASSERT_TRUE(input.leftButton(true, inside));
    const Keycode c = *platform::x11::xKeycodeForKeyCode(Key::c);
    ASSERT_TRUE(pumpUntil([&] {
      auto keys = desktop().keysDown();
      return std::find(keys.begin(), keys.end(), c) != keys.end() && input.leftButtonDown();
    }));
    EXPECT_EQ(input.pointerLocation(), inside);
    // The chord's own Command went up again right after the key: only what was held is down.
    EXPECT_EQ(desktop().keysDown().size(), 2u);
    input.releaseAll();
    EXPECT_TRUE(desktop().keysDown().empty());
    EXPECT_TRUE(desktop().buttonsDown().empty());
    EXPECT_FALSE(input.leftButtonDown());
    EXPECT_FALSE(input.key(0xFFFF, true)) << "a code without a key";
    EXPECT_FALSE(input.lastProblem().empty());
  }
  EXPECT_TRUE(autoRepeatOn(desktop()));
  EXPECT_EQ(layout(desktop()), "de");
}

}  // namespace
}  // namespace tovrel::desktoptest
