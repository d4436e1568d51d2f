#include "core/Presets.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace tovrel {
namespace {

std::vector<CursorAction> actionsOf(const std::vector<BindingChange>& changes) {
  std::vector<CursorAction> actions;
  for (const BindingChange& change : changes)
    actions.push_back(change.action);
  return actions;
}

TEST(Presets, AllFourInOrderWithoutClickEntry) {
  std::vector<std::string> names;
  for (const Preset& preset : Presets::all()) {
    names.push_back(preset.name);
    EXPECT_FALSE(preset.clickEntry.has_value()) << preset.name;
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Standard", "Mouseless", "Vim HJKL", "Arrow keys"}));
  EXPECT_EQ(Presets::all()[2], Presets::vim());
}

TEST(Presets, DerivedListsKeepTheStandardShape) {
  const auto& standard = Presets::standard().cursorBindings;
  ASSERT_EQ(standard.size(), 16u);
  EXPECT_EQ(standard.front(), (CursorBinding{CursorAction::moveUp, Gesture::key(Key::i)}));
  EXPECT_EQ(standard.back(),
            (CursorBinding{CursorAction::help, Gesture::key(Key::slash, Modifiers::shift)}));

  const auto& mouseless = Presets::mouseless().cursorBindings;
  ASSERT_EQ(mouseless.size(), 18u);
  EXPECT_EQ(std::vector<CursorBinding>(mouseless.end() - 3, mouseless.end()),
            (std::vector<CursorBinding>{{CursorAction::scrollRight, Gesture::key(Key::slash)},
                                        {CursorAction::boost, Gesture::key(Key::d)},
                                        {CursorAction::boost, Gesture::key(Key::f)}}));
  EXPECT_EQ(std::count(mouseless.begin(), mouseless.end(),
                       CursorBinding{CursorAction::scrollRight, Gesture::key(Key::rightArrow)}),
            0);

  const auto& vim = Presets::vim().cursorBindings;
  ASSERT_EQ(vim.size(), standard.size());
  std::vector<std::size_t> differing;
  for (std::size_t i = 0; i < vim.size(); ++i) {
    if (!(vim[i] == standard[i])) differing.push_back(i);
  }
  EXPECT_EQ(differing, (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(vim[1], (CursorBinding{CursorAction::moveLeft, Gesture::key(Key::h)}));

  const auto& arrows = Presets::arrows().cursorBindings;
  ASSERT_EQ(arrows.size(), 16u);
  EXPECT_EQ(arrows.front(), (CursorBinding{CursorAction::leftClick, Gesture::key(Key::space)}));
  EXPECT_EQ(arrows.back(), (CursorBinding{CursorAction::scrollRight,
                                          Gesture::key(Key::rightArrow, Modifiers::shift)}));
}

TEST(Presets, StandardClickControlsCoverEveryControl) {
  const auto& controls = Presets::standardClickControls();
  EXPECT_EQ(controls.size(), allCases<ClickControl>().size());
  EXPECT_EQ(controls.at(ClickControl::refresh), Gesture::key(Key::r, Modifiers::command));
  EXPECT_EQ(controls.at(ClickControl::previousTarget), Gesture::key(Key::tab, Modifiers::shift));
}

TEST(BindingChange, ReorderingAndRepeatingAreNoChange) {
  std::vector<CursorBinding> list = Presets::mouseless().cursorBindings;
  EXPECT_TRUE(BindingChange::diff(list, list).empty());
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<CursorBinding> shuffled = list;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    shuffled.push_back(shuffled[random() % shuffled.size()]);
    EXPECT_TRUE(BindingChange::diff(list, shuffled).empty());
  }
}

TEST(BindingChange, ListsChangedActionsInDeclarationOrder) {
  const auto& standard = Presets::standard().cursorBindings;

  auto changes = BindingChange::diff(standard, Presets::vim().cursorBindings);
  EXPECT_EQ(actionsOf(changes),
            (std::vector<CursorAction>{CursorAction::moveUp, CursorAction::moveDown,
                                       CursorAction::moveLeft}));
  EXPECT_EQ(changes[0].before, std::vector<Gesture>{Gesture::key(Key::i)});
  EXPECT_EQ(changes[0].after, std::vector<Gesture>{Gesture::key(Key::k)});
  EXPECT_EQ(changes[0].id(), "moveUp");

  std::vector<CursorBinding> moreBoost = standard;
  moreBoost.push_back({CursorAction::boost, Gesture::key(Key::d)});
  changes = BindingChange::diff(standard, moreBoost);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].action, CursorAction::boost);
  EXPECT_EQ(changes[0].before, std::vector<Gesture>{Gesture::key(Key::s)});
  EXPECT_EQ(changes[0].after, (std::vector<Gesture>{Gesture::key(Key::s), Gesture::key(Key::d)}));

  std::vector<CursorBinding> noHelp = standard;
  std::erase_if(noHelp, [](const CursorBinding& b) { return b.action == CursorAction::help; });
  changes = BindingChange::diff(standard, noHelp);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].action, CursorAction::help);
  EXPECT_TRUE(changes[0].after.empty());
}

}  // namespace
}  // namespace tovrel
