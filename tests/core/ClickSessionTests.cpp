#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "core/ClickSession.hpp"
#include "core/LabelGenerator.hpp"

namespace tovrel {
namespace {

using Decision = ClickSession::Decision;
using Indices = std::vector<std::size_t>;
const auto letters = LabelGenerator::usableAlphabet("asdfghjklqwertyuiopzxcvbnm");
const Modifiers shift = Modifiers::shift, command = Modifiers::command;

// Return activates, Tab and Shift-Tab move, slash searches, Delete erases, period cycles and
// Command-R rediscovers.
const ClickSession::ControlMap controls = {
    {Gesture::key(Key::returnKey), ClickControl::activateSelected},
    {Gesture::key(Key::tab), ClickControl::nextTarget},
    {Gesture::key(Key::tab, shift), ClickControl::previousTarget},
    {Gesture::key(Key::slash), ClickControl::startSearch},
    {Gesture::key(Key::deleteKey), ClickControl::backspace},
    {Gesture::key(Key::period), ClickControl::cycleAction},
    {Gesture::key(Key::r, command), ClickControl::refresh}};

KeyEvent key(std::uint16_t code, std::optional<std::string> character = {}, Modifiers mods = {},
             bool typesCharacter = true) {
  return KeyEvent(KeyEvent::Kind::down, code, mods, false, {}, typesCharacter, character);
}
KeyEvent text(std::string character, Modifiers mods = {}) {
  return key(Key::a, character, mods);
}

// The named targets, then "t<i>" up to `count`.
std::vector<HintTarget> targets(std::vector<std::string> names, std::size_t count = 0) {
  for (std::size_t i = names.size(); i < count; ++i)
    names.push_back("t" + std::to_string(i));
  std::vector<HintTarget> result;
  for (const auto& name : names)
    result.push_back({name, "AXButton", {0, 0, 10, 10}});
  return result;
}

TEST(ClickSession, TypingLabels) {
  for (bool requireReturn : {false, true}) {
    ClickSession session(letters, requireReturn, false);
    session.setTargets(targets({}, 27), 7);
    ASSERT_EQ(session.labels().size(), 27u);
    EXPECT_EQ(session.labels()[0] + session.labels()[1] + session.labels()[2], "aaasad");
    EXPECT_EQ(session.handle(text("a"), controls), Decision::consumed());
    EXPECT_EQ(session.visible().size(), 26u);
    EXPECT_EQ(session.handle(text("s"), controls),
              requireReturn ? Decision::consumed() : Decision::activate(1, TargetAction::press));
    EXPECT_EQ(session.typedPrefix(), "as");
    EXPECT_EQ(session.selectedTarget(), std::optional<std::size_t>(1));
    EXPECT_EQ(session.handle(key(Key::returnKey), controls), Decision::activate(1, {}));
  }
  ClickSession session(letters, false, false);
  session.setTargets(targets({}, 27), 1);
  session.handle(text("a"), controls);
  session.handle(key(Key::tab), controls);
  for (const char* swallowed : {"1", "-", "ß"})
    EXPECT_EQ(session.handle(text(swallowed), controls), Decision::consumed());
  EXPECT_EQ(session.typedPrefix(), "a");
  EXPECT_EQ(session.selection(), 1u);
  session.handle(key(Key::deleteKey), controls);
  EXPECT_EQ(session.typedPrefix() + std::to_string(session.selection()), "0");
  session.handle(text("s"), controls);
  EXPECT_EQ(session.handle(text("f"), controls), Decision::consumed());  // only "sa" begins so
  EXPECT_EQ(session.typedPrefix(), "s");
  EXPECT_EQ(session.handle(key(Key::r, {}, command), controls), Decision::refresh());
  EXPECT_EQ(session.typedPrefix(), "");
  session.handle(text("s"), controls);
  EXPECT_EQ(session.handle(text("A", shift), controls), Decision::activate(26, {}));

  // Letters are whole characters: typing "q" must not match labels that begin with "q" + accent.
  ClickSession marked(LabelGenerator::usableAlphabet("q\u0301q"), false, false);
  marked.setTargets(targets({}, 4), 1);
  marked.handle(text("q"), controls);
  EXPECT_EQ(marked.visible(), (Indices{2, 3}));
  EXPECT_EQ(marked.handle(text("Q\u0301"), controls), Decision::activate(2, {}));
}

TEST(ClickSession, SingleKeys) {
  // Keypad Enter, Escape, Forward Delete and Page Down are outside the control table.
  // In the search sub-state or not; the key; the decision; the query or typed prefix afterwards.
  const std::vector<std::tuple<bool, KeyEvent, Decision, std::string>> cases = {
      {false, text("A", shift), Decision::consumed(), "a"},
      {false, text("a", command), Decision::unhandled(), ""},
      {true, text("a", Modifiers::control), Decision::unhandled(), ""},
      {true, text("É", shift), Decision::consumed(), "é"},
      {true, text(" "), Decision::consumed(), " "},
      {true, key(76, "\r", {}, false), Decision::unhandled(), ""},
      {true, key(Key::escape, "\x1b", {}, false), Decision::unhandled(), ""},
      {true, key(117, "\x7f", {}, false), Decision::unhandled(), ""},
      {true, key(121, "\x0c", {}, true), Decision::consumed(), ""},
      {true, text("ab"), Decision::consumed(), ""},
      {true, key(Key::a, {}, {}, false), Decision::unhandled(), ""},
      {false, key(Key::leftArrow), Decision::scroll(-120, 0), ""},
      {false, key(Key::rightArrow, {}, shift), Decision::scroll(120, 0), ""},
      {false, key(Key::downArrow), Decision::scroll(0, -120), ""},
      {false, key(Key::upArrow), Decision::scroll(0, 120), ""},
      {false, key(Key::upArrow, {}, Modifiers::option), Decision::unhandled(), ""},
      {true, key(Key::downArrow, {}, command), Decision::unhandled(), ""},
      {true, key(Key::r, "r", command), Decision::refresh(), ""},
      {false, KeyEvent(KeyEvent::Kind::up, Key::a, {}, false, {}, true, "a"), Decision::consumed(),
       ""}};
  for (const auto& [search, event, expected, typed] : cases) {
    ClickSession session(letters, false, search);
    session.setTargets(targets({}, 27), 1);
    EXPECT_EQ(session.handle(event, controls), expected) << event.code;
    EXPECT_EQ(search ? session.query() : session.typedPrefix(), typed) << event.code;
  }
}

TEST(ClickSession, SearchSelectionAndBackspace) {
  ClickSession session(letters, false, false);
  session.setTargets(targets({"Open", "Save As", "Autosave", "Save"}), 1);
  session.handle(text("a"), controls);
  EXPECT_EQ(session.handle(key(Key::slash, "/"), controls), Decision::consumed());
  EXPECT_EQ(session.typedPrefix(), "");
  for (const char* c : {"S", "a", "v", "é", " "})
    session.handle(text(c), controls);
  EXPECT_EQ(session.query(), "savé ");
  session.handle(key(Key::deleteKey), controls);
  session.handle(key(Key::deleteKey), controls);
  EXPECT_EQ(session.visible(), (Indices{3, 1, 2}));
  const std::vector<std::pair<KeyEvent, std::size_t>> moves = {
      {key(Key::tab), 1},     {key(Key::downArrow), 2},  {key(Key::tab), 0},
      {key(Key::upArrow), 2}, {key(Key::rightArrow), 2}, {key(Key::tab, {}, shift), 1}};
  for (const auto& [event, selection] : moves) {
    EXPECT_EQ(session.handle(event, controls), Decision::consumed());
    EXPECT_EQ(session.selection(), selection);
  }
  EXPECT_EQ(session.handle(key(Key::returnKey), controls), Decision::activate(1, {}));
  session.setTargets(targets({"Save", "Saves", "Close"}), 2);  // the query stays and applies
  EXPECT_EQ(session.selection(), 0u);
  EXPECT_EQ(session.visible(), (Indices{0, 1}));
  session.handle(text("x"), controls);
  for (auto move : {key(Key::tab), key(Key::tab, {}, shift)}) {
    session.handle(move, controls);
    EXPECT_EQ(session.selection(), 0u);
  }
  EXPECT_EQ(session.handle(key(Key::returnKey), controls), Decision::consumed());
  for (int i = 0; i < 5; ++i)
    session.handle(key(Key::deleteKey), controls);
  EXPECT_EQ(session.substate(), ClickSession::Substate::labels);
  EXPECT_EQ(session.handle(key(Key::deleteKey), controls), Decision::consumed());
  EXPECT_EQ(session.visible(), (Indices{0, 1, 2}));
}

TEST(ClickSession, PendingActionCyclesAndUnlabelledTargets) {
  ClickSession session({"a"}, false, false);
  session.setTargets(targets({}, 3), 1);
  for (auto action : {TargetAction::rightClick, TargetAction::doubleClick,
                      TargetAction::movePointer, TargetAction::press}) {
    session.handle(key(Key::period, "."), controls);
    EXPECT_EQ(session.pendingAction(), action);
  }
  EXPECT_EQ(session.handle(text("a"), controls), Decision::consumed());
  EXPECT_TRUE(session.visible().empty());
  EXPECT_EQ(session.selectedTarget(), std::nullopt);
  EXPECT_EQ(session.handle(key(Key::returnKey), controls), Decision::consumed());
  session.handle(key(Key::period, "."), controls);
  session.setAlphabet(letters);
  session.setTargets(targets({}, 3), 2);
  EXPECT_EQ(session.handle(text("d"), controls), Decision::activate(2, TargetAction::rightClick));
}

TEST(ClickSession, RandomSessionsKeepTheirInvariants) {
  std::vector<KeyEvent> events;
  for (const char* c : {"a", "s", "D", "x", " "})
    events.push_back(text(c));
  for (auto code : {Key::tab, Key::returnKey, Key::slash, Key::deleteKey, Key::period, Key::upArrow,
                    Key::downArrow})
    events.push_back(key(code));
  events.push_back(key(Key::tab, {}, shift));
  events.push_back(key(Key::r, {}, command));
  std::mt19937 random(4242);
  auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  for (int run = 0; run < 100; ++run) {
    ClickSession session({"a", "s", "d"}, run % 2 == 0, run % 3 == 0);
    for (int step = 0; step < 60; ++step) {
      if (pick(8) == 0) {
        std::vector<std::string> names(pick(12));
        for (auto& name : names) {
          std::size_t length = 1 + pick(3);
          name.assign(length, "asd x"[pick(5)]);
        }
        session.setTargets(targets(names), step);
      }
      auto decision = session.handle(events[pick(events.size())], controls);
      if (auto activate = decision.as<Decision::Activate>()) {
        EXPECT_LT(activate->target, session.targets().size());
      }
      auto shown = session.visible();
      auto selected = session.selectedTarget();
      EXPECT_TRUE(!selected || std::find(shown.begin(), shown.end(), *selected) != shown.end());
      const auto& prefix = session.typedPrefix();
      EXPECT_TRUE(prefix.empty() ||
                  std::any_of(session.labels().begin(), session.labels().end(),
                              [&](auto& label) { return label.starts_with(prefix); }));
    }
  }
}

}  // namespace
}  // namespace tovrel
