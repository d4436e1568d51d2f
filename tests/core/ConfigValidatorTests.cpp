#include "core/ConfigValidator.hpp"

#include <gtest/gtest.h>

#include <functional>

#include "core/BindingTable.hpp"

namespace tovrel {
namespace {

using Strings = std::vector<std::string>;

const Gesture tab = Gesture::key(Key::tab);
const Gesture commandShiftJ = Gesture::key(Key::j, {Modifiers::command, Modifiers::shift});

TEST(BindingTable, FirstBindingWinsAndLaterDifferentOnesConflict) {
  const Gesture g = Gesture::key(Key::k);
  BindingTable<CursorAction> table({{g, CursorAction::moveUp},
                                    {g, CursorAction::moveDown},
                                    {g, CursorAction::moveUp},
                                    {g, CursorAction::boost},
                                    {Gesture::modifierTap(Key::k), CursorAction::help}});
  using Conflict = BindingTable<CursorAction>::Conflict;
  EXPECT_EQ(table.conflicts(),
            (std::vector<Conflict>{{g, CursorAction::moveUp, CursorAction::moveDown},
                                   {g, CursorAction::moveUp, CursorAction::boost}}));
  EXPECT_EQ(table[g], CursorAction::moveUp);
  EXPECT_EQ(table.action(Key::k, Modifiers::none), CursorAction::moveUp);
  EXPECT_EQ(table.action(Key::k, Modifiers::shift), std::nullopt);
  // A modifier-tap binding is never found as a chord of the same key.
  EXPECT_EQ(table[Gesture::modifierTap(Key::k)], CursorAction::help);
  EXPECT_EQ(table.lookup().size(), 2u);
}

struct Case {
  const char* name;
  std::function<void(TovrelConfig&)> change;
  Strings problems;
  Strings warnings;
};

TEST(ConfigValidator, ProblemsAndWarnings) {
  const Case cases[] = {
      {"defaults", [](TovrelConfig&) {}, {}, {}},
      {"space bound twice",
       [](TovrelConfig& c) {
         c.cursorBindings.push_back({CursorAction::middleClick, Gesture::key(Key::space)});
       },
       {"Space is assigned to both “Left click” and “Middle click” in Moving."},
       {}},
      {"three modes on one start",
       [](TovrelConfig& c) {
         c.cursorEntry.gesture = c.clickEntry.gesture = c.scrollEntry.gesture = commandShiftJ;
       },
       {"Moving and Clicking cannot start with the same shortcut.",
        "Moving and Scrolling cannot start with the same shortcut.",
        "Clicking and Scrolling cannot start with the same shortcut."},
       {}},
      {"stop equals start",
       [](TovrelConfig& c) { c.cursorEntry.exit = c.cursorEntry.gesture; },
       {"Moving’s stop key must differ from its start shortcut."},
       {}},
      {"stop equals start without separate exit",
       [](TovrelConfig& c) {
         c.cursorEntry.exit = c.cursorEntry.gesture;
         c.cursorEntry.separateExit = false;
       },
       {},
       {}},
      {"Moving stops on a bound key",
       [](TovrelConfig& c) { c.cursorEntry.exit = Gesture::key(Key::q); },
       {"Q stops Moving, so it cannot also be “Forward button”."},
       {"“Q” stops Moving, so it cannot be typed in Clicking search or used in labels."}},
      {"Clicking stops on a control's key",
       [](TovrelConfig& c) { c.clickEntry.exit = Gesture::key(Key::period); },
       {". stops Clicking, so it cannot also be “Change action”."},
       {"“.” stops Clicking, so it cannot be typed in Clicking search or used in labels."}},
      {"Scrolling's stop key is not checked against bindings",
       [](TovrelConfig& c) { c.scrollEntry.exit = Gesture::key(Key::space); },
       {},
       {}},
      {"start gesture known to the desktop",
       [](TovrelConfig& c) { c.clickEntry.gesture = Gesture::key(Key::space, Modifiers::command); },
       {},
       {"Super Space may already be used by the desktop for Switch input source. Tovrel will "
        "take it first."}},
      {"start gesture bound in Moving",
       [](TovrelConfig& c) { c.scrollEntry.gesture = Gesture::key(Key::space, Modifiers::shift); },
       {"Shift Space starts a mode, so it cannot also be “Right click”."},
       {}},
      {"start gesture bound in Moving and in Clicking",
       [](TovrelConfig& c) {
         c.cursorEntry.gesture = tab;
         c.cursorBindings.push_back({CursorAction::doubleClick, tab});
       },
       {"Tab starts a mode, so it cannot also be “Double click”.",
        "Tab starts a mode, so it cannot also be “Next target”."},
       {}},
      {"three controls on Tab",
       [](TovrelConfig& c) {
         c.clickControls[ClickControl::previousTarget] = tab;
         c.clickControls[ClickControl::cycleAction] = tab;
       },
       {"Tab is assigned to both “Next target” and “Previous target” in Clicking.",
        "Tab is assigned to both “Previous target” and “Change action” in Clicking."},
       {}},
      {"one letter in both cases",
       [](TovrelConfig& c) { c.clickAlphabet = "aA"; },
       {"Labels need at least two different letters."},
       {}},
      {"a letter and a dash",
       [](TovrelConfig& c) { c.clickAlphabet = "a-"; },
       {"Labels need at least two different letters."},
       {}},
      {"a letter and a digit", [](TovrelConfig& c) { c.clickAlphabet = "a1"; }, {}, {}},
      {"equal speeds",
       [](TovrelConfig& c) { c.motion.initialSpeed = c.motion.maximumSpeed = 1100; },
       {},
       {}},
      {"start faster than top",
       [](TovrelConfig& c) {
         c.motion.initialSpeed = 1101;
         c.motion.maximumSpeed = 1100;
       },
       {"Top speed must be at least the starting speed."},
       {}},
      {"every rule at once keeps rule order",
       [](TovrelConfig& c) {
         c.motion.initialSpeed = 5000;
         c.clickAlphabet = "";
         c.scrollEntry.gesture = Gesture::key(Key::e);
         c.cursorEntry.exit = Gesture::key(Key::w);
         c.cursorEntry.gesture = c.clickEntry.gesture;
         c.clickControls[ClickControl::refresh] = tab;
         c.cursorBindings.push_back({CursorAction::help, Gesture::key(Key::i)});
       },
       {"I is assigned to both “Move up” and “Show keys” in Moving.",
        "Tab is assigned to both “Next target” and “Refresh targets” in Clicking.",
        "Moving and Clicking cannot start with the same shortcut.",
        "W stops Moving, so it cannot also be “Back button”.",
        "E starts a mode, so it cannot also be “Middle click”.",
        "Labels need at least two different letters.",
        "Top speed must be at least the starting speed."},
       {"“W” stops Moving, so it cannot be typed in Clicking search or used in labels."}},
  };
  for (const Case& c : cases) {
    TovrelConfig config;
    c.change(config);
    EXPECT_EQ(ConfigValidator::problems(config), c.problems) << c.name;
    EXPECT_EQ(ConfigValidator::warnings(config), c.warnings) << c.name;
  }
}

TEST(ConfigValidator, EveryKnownShortcutWarnsForEveryMode) {
  for (const auto& [gesture, function] : ConfigValidator::knownSystemShortcuts()) {
    TovrelConfig config;
    config.cursorEntry.gesture = config.clickEntry.gesture = config.scrollEntry.gesture = gesture;
    Strings warnings = ConfigValidator::warnings(config);
    ASSERT_EQ(warnings.size(), 3u) << gesture.displayName();
    EXPECT_EQ(warnings[0], warnings[2]);
    EXPECT_NE(warnings[0].find(" for " + function + "."), std::string::npos);
  }
  EXPECT_EQ(ConfigValidator::knownSystemShortcuts().size(), 11u);
}

}  // namespace
}  // namespace tovrel
