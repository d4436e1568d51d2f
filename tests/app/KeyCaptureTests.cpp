#include "app/settings/controls/KeyCapture.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/settings/controls/ShortcutFieldState.hpp"

namespace tovrel::settings {
namespace {

// One key event as a keyboard delivers it: a press or release of a key code, with the
// modifiers the toolkit reports for a key that is not a modifier key.
struct Stroke {
  std::uint16_t code;
  bool down;
  Modifiers modifiers = Modifiers::none;
  bool repeat = false;
};

Stroke press(std::uint16_t code, Modifiers modifiers = Modifiers::none) {
  return {code, true, modifiers};
}
Stroke release(std::uint16_t code) {
  return {code, false};
}
Stroke repeat(std::uint16_t code) {
  return {code, true, Modifiers::none, true};
}

// What the recorder reports for the strokes, in order, driven as the capture widget drives it.
std::vector<CaptureOutcome> record(RecorderKind kind, const std::vector<Stroke>& strokes) {
  CaptureLogic logic(kind);
  HeldModifierKeys held;
  std::vector<CaptureOutcome> reports;
  for (const Stroke& stroke : strokes) {
    CaptureOutcome outcome;
    if (Key::isModifierKey(stroke.code)) {
      if (stroke.down)
        held.press(stroke.code);
      else
        held.release(stroke.code);
      outcome = logic.modifierKey(stroke.code, stroke.down, held.modifiers());
    } else if (stroke.down) {
      outcome = logic.keyDown(stroke.code, stroke.modifiers | held.modifiers(), stroke.repeat);
    }
    if (outcome.kind != CaptureOutcome::Kind::nothing) reports.push_back(outcome);
  }
  return reports;
}

TEST(CaptureLogic, ReportsWhatEachKindOfRecordingMakesOfTheKeys) {
  using K = RecorderKind;
  const CaptureOutcome cancel = CaptureOutcome::cancel();
  auto key = [](std::uint16_t code, Modifiers modifiers = Modifiers::none) {
    return CaptureOutcome::of(Gesture::key(code, modifiers));
  };
  struct Case {
    const char* what;
    RecorderKind kind;
    std::vector<Stroke> strokes;
    std::vector<CaptureOutcome> reports;
  };
  const std::vector<Case> cases = {
      {"entry: Escape cancels", K::entry, {press(Key::escape), release(Key::escape)}, {cancel}},
      {"entry: Shift-Escape is recorded",
       K::entry,
       {press(Key::leftShift), press(Key::escape), release(Key::escape), release(Key::leftShift)},
       {key(Key::escape, Modifiers::shift)}},
      {"entry: Caps Lock is no modifier, Escape still cancels",
       K::entry,
       {press(Key::capsLock), release(Key::capsLock), press(Key::escape)},
       {cancel}},
      {"entry: a Right Option press and release is its tap",
       K::entry,
       {press(Key::rightOption), release(Key::rightOption)},
       {CaptureOutcome::of(Gesture::modifierTap(Key::rightOption))}},
      {"exit: Escape is recorded", K::exit, {press(Key::escape)}, {key(Key::escape)}},
      {"exit: a lone Right Option is that key alone",
       K::exit,
       {press(Key::rightOption), release(Key::rightOption)},
       {key(Key::rightOption)}},
      {"action: Escape cancels", K::action, {press(Key::escape)}, {cancel}},
      {"action: a lone Left Shift is that key alone",
       K::action,
       {press(Key::leftShift), release(Key::leftShift)},
       {key(Key::leftShift)}},
      {"Option-A on the key-down, the Option release after it reports nothing",
       K::entry,
       {press(Key::leftOption), press(Key::a), release(Key::a), release(Key::leftOption)},
       {key(Key::a, Modifiers::option)}},
      {"a held key reports once, its repeats never",
       K::action,
       {press(Key::j), repeat(Key::j), repeat(Key::j), release(Key::j)},
       {key(Key::j)}},
      {"Shift then Command, both released, reports nothing",
       K::entry,
       {press(Key::leftShift), press(Key::leftCommand), release(Key::leftCommand),
        release(Key::leftShift)},
       {}},
      {"Left Shift held, Right Shift pressed and released, reports Right Shift",
       K::action,
       {press(Key::leftShift), press(Key::rightShift), release(Key::rightShift)},
       {key(Key::rightShift)}},
      {"a lone Caps Lock is no tap", K::entry, {press(Key::capsLock), release(Key::capsLock)}, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(record(c.kind, c.strokes), c.reports) << c.what;
}

// The field's state through a sequence of the user's steps, with the owner answering each call.
TEST(ShortcutFieldState, FollowsTheUsersStepsAndTheOwnersAnswers) {
  const Gesture a = Gesture::key(Key::a, Modifiers::control);
  const Gesture b = Gesture::key(Key::b, Modifiers::control);
  const Gesture fallback = Gesture::modifierTap(Key::rightOption);
  const Problems no = {"Ctrl A already clicks."};
  const Problems stillNo = {"Clicking cannot be left without a key."};
  enum Act { start, hearA, hearB, cancel, save, replace, keep, another, restore, remove, shown };
  struct Step {
    Act act;
    Problems answer;  // the owner's, when it is asked
    bool recording;
    std::optional<Gesture> pending;
    Problems problems;
  };
  const std::vector<Step> steps = {
      {save, {}, false, std::nullopt, {}},  // nothing pending: the owner is not asked
      {start, {}, true, std::nullopt, {}},
      {hearA, {}, true, a, {}},
      {hearB, {}, true, b, {}},  // a later gesture replaces the first
      {save, no, false, b, no},  // refused: closed, kept for Replace
      {replace, stillNo, false, b, stillNo},
      {another, {}, true, std::nullopt, {}},
      {hearA, {}, true, a, {}},
      {save, no, false, a, no},
      {replace, {}, false, std::nullopt, {}},
      {hearA, {}, false, std::nullopt, {}},    // heard while idle: ignored
      {replace, {}, false, std::nullopt, {}},  // nothing to replace: the owner is not asked
      {start, {}, true, std::nullopt, {}},
      {hearA, {}, true, a, {}},
      {save, no, false, a, no},
      {keep, {}, false, std::nullopt, {}},
      {restore, no, false, std::nullopt, no},
      {start, {}, true, std::nullopt, {}},
      {shown, no, true, std::nullopt, no},
      {cancel, {}, false, std::nullopt, no},  // cancelling keeps the problems
      {remove, {}, false, std::nullopt, {}},
  };
  std::vector<std::optional<Gesture>> saved;
  std::vector<Gesture> replaced;
  ShortcutFieldState state;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step& step = steps[i];
    const SaveFunction onSave = [&](std::optional<Gesture> g) {
      saved.push_back(g);
      return step.answer;
    };
    switch (step.act) {
      case start:
        state.startRecording();
        break;
      case hearA:
        state.gestureReported(a);
        break;
      case hearB:
        state.gestureReported(b);
        break;
      case cancel:
        state.cancel();
        break;
      case save:
        state.save(onSave);
        break;
      case replace:
        state.replace([&](Gesture g) {
          replaced.push_back(g);
          return step.answer;
        });
        break;
      case keep:
        state.keepExisting();
        break;
      case another:
        state.chooseAnother();
        break;
      case restore:
        state.restoreDefault(fallback, onSave);
        break;
      case remove:
        state.remove(onSave);
        break;
      case shown:
        state.buttonAnswered(step.answer);
        break;
    }
    EXPECT_EQ(state.recording(), step.recording) << "step " << i;
    EXPECT_EQ(state.pending(), step.pending) << "step " << i;
    EXPECT_EQ(state.problems(), step.problems) << "step " << i;
    EXPECT_EQ(state.saveEnabled(), step.pending.has_value()) << "step " << i;
  }
  EXPECT_EQ(saved, (std::vector<std::optional<Gesture>>{b, a, a, fallback, std::nullopt}));
  EXPECT_EQ(replaced, (std::vector<Gesture>{b, a}));
}

TEST(ShortcutFieldState, RestoreAndRemoveShowOnlyWhereTheyCanAct) {
  const Gesture tap = Gesture::modifierTap(Key::rightOption);
  const Gesture sameCodeAsKey = Gesture::key(Key::rightOption);
  const Gesture chord = Gesture::key(Key::j, Modifiers::command);
  struct Case {
    std::optional<Gesture> gesture;
    std::optional<Gesture> defaultGesture;
    bool allowsClear;
    bool restore;
    bool remove;
  };
  const std::vector<Case> cases = {
      {tap, tap, true, false, true},
      {sameCodeAsKey, tap, false, true, false},
      {Gesture::key(Key::j), chord, true, true, true},
      {std::nullopt, chord, true, true, false},
      {chord, std::nullopt, false, false, false},
      {std::nullopt, std::nullopt, true, false, false},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(ShortcutFieldState::showsRestore(c.gesture, c.defaultGesture), c.restore) << i;
    EXPECT_EQ(ShortcutFieldState::showsRemove(c.gesture, c.allowsClear), c.remove) << i;
  }
}

TEST(ShortcutFieldState, TextsNameTheTitleAndTheGesture) {
  const std::string title = "Moving start";
  const Gesture tap = Gesture::modifierTap(Key::rightOption);
  EXPECT_EQ(hintText(RecorderKind::entry),
            "Tap a single modifier such as Right Alt, or press a key with modifiers.");
  EXPECT_EQ(hintText(RecorderKind::exit),
            "Press the key that should leave the mode. Escape records Escape here.");
  EXPECT_EQ(hintText(RecorderKind::action),
            "Plain keys work here. Press a modifier alone to bind it as a hold.");
  EXPECT_EQ(fieldText::keyCapsAccessibleName(title, tap), "Moving start: Right Alt tap. Change");
  EXPECT_EQ(fieldText::keyCapsAccessibleName(title, std::nullopt), "Moving start: none. Change");
  EXPECT_EQ(fieldText::keyCaps(std::nullopt, "None"), "None");
  EXPECT_EQ(fieldText::changeHelp(title), "Change Moving start");
  EXPECT_EQ(fieldText::restoreHelp(tap), "Restore default: Right Alt tap");
  EXPECT_EQ(fieldText::restoreAccessibleName(title), "Restore default for Moving start");
  EXPECT_EQ(fieldText::removeAccessibleName(title, tap), "Remove Right Alt tap from Moving start");
  EXPECT_EQ(fieldText::pill(std::nullopt), "Press keys…");
  EXPECT_EQ(fieldText::pillAccessibleName(title, std::nullopt),
            "Recording Moving start. No key yet");
  EXPECT_EQ(fieldText::pillAccessibleName(title, Gesture::key(Key::space, Modifiers::shift)),
            "Recording Moving start. Shift Space");
}

}  // namespace
}  // namespace tovrel::settings
