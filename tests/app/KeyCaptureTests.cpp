#include "app/Settings/KeyCapture.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/Settings/ShortcutFieldState.hpp"

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

TEST(CaptureLogic, TheCandidateIsTheLoneModifierDown) {
  CaptureLogic logic(RecorderKind::entry);
  HeldModifierKeys held;
  held.press(Key::rightCommand);
  logic.modifierKey(Key::rightCommand, true, held.modifiers());
  EXPECT_EQ(logic.modifierCandidate(), Key::rightCommand);
  logic.keyDown(Key::space, held.modifiers(), false);
  EXPECT_EQ(logic.modifierCandidate(), std::nullopt) << "a key makes it a chord";
  EXPECT_EQ(modifierCount(Modifiers{Modifiers::command, Modifiers::shift, Modifiers::option,
                                    Modifiers::control, Modifiers(0x30)}),
            4);
}

// The field's state through a sequence of the user's steps, with the owner answering each call.
TEST(ShortcutFieldState, FollowsTheUsersStepsAndTheOwnersAnswers) {
  const Gesture first = Gesture::key(Key::j, Modifiers::control);
  const Gesture second = Gesture::key(Key::k, Modifiers::control);
  const Problems refusal = {"Control J already moves the pointer left."};
  const Problems stillRefused = {"Moving left cannot be left without a key."};

  struct Owner {
    Problems answer;
    std::vector<std::optional<Gesture>> saved;
    std::vector<Gesture> replaced;
  };
  struct Step {
    const char* what;
    std::function<void(ShortcutFieldState&, Owner&)> act;
    bool recording;
    std::optional<Gesture> pending;
    Problems problems;
  };
  auto onSave = [](Owner& owner) {
    return [&owner](std::optional<Gesture> g) {
      owner.saved.push_back(g);
      return owner.answer;
    };
  };
  auto onReplace = [](Owner& owner) {
    return [&owner](Gesture g) {
      owner.replaced.push_back(g);
      return owner.answer;
    };
  };
  const std::vector<Step> steps = {
      {"save with nothing pending does nothing",
       [&](auto& s, auto& o) { s.save(onSave(o)); },
       false,
       std::nullopt,
       {}},
      {"the key cap starts recording",
       [](auto& s, auto&) { s.startRecording(); },
       true,
       std::nullopt,
       {}},
      {"a gesture is heard", [&](auto& s, auto&) { s.gestureReported(first); }, true, first, {}},
      {"a later one replaces it",
       [&](auto& s, auto&) { s.gestureReported(second); },
       true,
       second,
       {}},
      {"a refused Save closes and keeps it",
       [&](auto& s, auto& o) {
         o.answer = refusal;
         s.save(onSave(o));
       },
       false, second, refusal},
      {"a refused Replace changes only the problems",
       [&](auto& s, auto& o) {
         o.answer = stillRefused;
         s.replace(onReplace(o));
       },
       false, second, stillRefused},
      {"choose another records afresh",
       [](auto& s, auto&) { s.chooseAnother(); },
       true,
       std::nullopt,
       {}},
      {"heard again", [&](auto& s, auto&) { s.gestureReported(first); }, true, first, {}},
      {"refused again",
       [&](auto& s, auto& o) {
         o.answer = refusal;
         s.save(onSave(o));
       },
       false, first, refusal},
      {"an accepted Replace clears everything",
       [&](auto& s, auto& o) {
         o.answer = {};
         s.replace(onReplace(o));
       },
       false,
       std::nullopt,
       {}},
      {"a gesture heard while idle is ignored",
       [&](auto& s, auto&) { s.gestureReported(first); },
       false,
       std::nullopt,
       {}},
      {"record, hear, refused",
       [&](auto& s, auto& o) {
         s.startRecording();
         s.gestureReported(first);
         o.answer = refusal;
         s.save(onSave(o));
       },
       false, first, refusal},
      {"keep existing clears everything",
       [](auto& s, auto&) { s.keepExisting(); },
       false,
       std::nullopt,
       {}},
      {"the restore button shows the owner's answer",
       [&](auto& s, auto& o) {
         o.answer = refusal;
         s.restoreDefault(second, onSave(o));
       },
       false, std::nullopt, refusal},
      {"cancel while recording keeps the problems",
       [&](auto& s, auto&) {
         s.startRecording();
         s.buttonAnswered(refusal);
         s.gestureReported(first);
         s.cancel();
       },
       false, std::nullopt, refusal},
      {"an accepted remove clears the problems",
       [&](auto& s, auto& o) {
         o.answer = {};
         s.remove(onSave(o));
       },
       false,
       std::nullopt,
       {}},
  };
  ShortcutFieldState state;
  Owner owner;
  for (const Step& step : steps) {
    step.act(state, owner);
    EXPECT_EQ(state.recording(), step.recording) << step.what;
    EXPECT_EQ(state.pending(), step.pending) << step.what;
    EXPECT_EQ(state.problems(), step.problems) << step.what;
  }
  const std::vector<std::optional<Gesture>> saved = {second, first, first, second, std::nullopt};
  EXPECT_EQ(owner.saved, saved);
  EXPECT_EQ(owner.replaced, (std::vector<Gesture>{second, first}));
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
            "Tap a single modifier such as Right Option, or press a key with modifiers.");
  EXPECT_EQ(hintText(RecorderKind::exit),
            "Press the key that should leave the mode. Escape records Escape here.");
  EXPECT_EQ(hintText(RecorderKind::action),
            "Plain keys work here. Press a modifier alone to bind it as a hold.");
  EXPECT_EQ(fieldText::keyCapsAccessibleName(title, tap), "Moving start: Right Option tap. Change");
  EXPECT_EQ(fieldText::keyCapsAccessibleName(title, std::nullopt), "Moving start: none. Change");
  EXPECT_EQ(fieldText::keyCaps(std::nullopt, "None"), "None");
  EXPECT_EQ(fieldText::changeHelp(title), "Change Moving start");
  EXPECT_EQ(fieldText::restoreHelp(tap), "Restore default: Right Option tap");
  EXPECT_EQ(fieldText::restoreAccessibleName(title), "Restore default for Moving start");
  EXPECT_EQ(fieldText::removeAccessibleName(title, tap),
            "Remove Right Option tap from Moving start");
  EXPECT_EQ(fieldText::pill(std::nullopt), "Press keys…");
  EXPECT_EQ(fieldText::pillAccessibleName(title, std::nullopt),
            "Recording Moving start. No key yet");
  EXPECT_EQ(fieldText::pillAccessibleName(title, Gesture::key(Key::space, Modifiers::shift)),
            "Recording Moving start. Shift Space");
}

}  // namespace
}  // namespace tovrel::settings
