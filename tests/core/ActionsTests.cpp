#include <gtest/gtest.h>

#include <set>

#include "core/Actions.hpp"

namespace tovrel {
namespace {

TEST(CursorAction, CasesTitlesGroupsAndHolds) {
  auto cases = allCases<CursorAction>();
  ASSERT_EQ(cases.size(), 18u);
  EXPECT_EQ(cases.front(), CursorAction::moveUp);
  EXPECT_EQ(cases.back(), CursorAction::help);

  struct Row {
    CursorAction action;
    std::string raw, title;
    CursorActionGroup group;
    bool hold;
  };
  using G = CursorActionGroup;
  const std::vector<Row> rows = {
      {CursorAction::moveUp, "moveUp", "Move up", G::move, true},
      {CursorAction::moveRight, "moveRight", "Move right", G::move, true},
      {CursorAction::scrollRight, "scrollRight", "Scroll right", G::scroll, true},
      {CursorAction::leftClick, "leftClick", "Left click", G::buttons, false},
      {CursorAction::forwardButton, "forwardButton", "Forward button", G::buttons, false},
      {CursorAction::doubleClick, "doubleClick", "Double click", G::buttons, false},
      {CursorAction::dragHold, "dragHold", "Drag", G::holds, true},
      {CursorAction::precision, "precision", "Precision", G::holds, true},
      {CursorAction::boost, "boost", "Speed boost", G::holds, true},
      {CursorAction::help, "help", "Show keys", G::other, false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(rawValue(row.action), row.raw);
    EXPECT_EQ(fromRaw<CursorAction>(row.raw), row.action);
    EXPECT_EQ(title(row.action), row.title);
    EXPECT_EQ(group(row.action), row.group);
    EXPECT_EQ(isHold(row.action), row.hold);
  }
  EXPECT_EQ(fromRaw<CursorAction>("MoveUp"), std::nullopt);

  // Group membership in declaration order, and eleven hold actions in all.
  std::vector<std::vector<CursorAction>> members(5);
  int holds = 0;
  std::set<std::string_view> titles;
  for (auto action : cases) {
    members[static_cast<std::size_t>(group(action))].push_back(action);
    holds += isHold(action);
    titles.insert(title(action));
    EXPECT_EQ(fromRaw<CursorAction>(rawValue(action)), action);
  }
  EXPECT_EQ(titles.size(), 18u);
  EXPECT_EQ(holds, 11);
  EXPECT_EQ(members[0].size(), 4u);
  EXPECT_EQ(members[1].size(), 4u);
  EXPECT_EQ(members[2].size(), 6u);
  EXPECT_EQ(members[3],
            (std::vector{CursorAction::dragHold, CursorAction::precision, CursorAction::boost}));
  EXPECT_EQ(members[4], std::vector{CursorAction::help});
}

TEST(CursorActionGroup, StoredTextIsTheDisplayText) {
  EXPECT_EQ(fromRaw<CursorActionGroup>("Mouse buttons"), CursorActionGroup::buttons);
  EXPECT_EQ(fromRaw<CursorActionGroup>("buttons"), std::nullopt);
  EXPECT_EQ(rawValue(CursorActionGroup::holds), "Hold keys");
  EXPECT_EQ(allCases<CursorActionGroup>().size(), 5u);
}

TEST(ClickControl, CasesAndTitles) {
  const std::vector<std::tuple<ClickControl, std::string, std::string>> rows = {
      {ClickControl::startSearch, "startSearch", "Search targets"},
      {ClickControl::nextTarget, "nextTarget", "Next target"},
      {ClickControl::previousTarget, "previousTarget", "Previous target"},
      {ClickControl::activateSelected, "activateSelected", "Activate selected"},
      {ClickControl::backspace, "backspace", "Back / delete"},
      {ClickControl::cycleAction, "cycleAction", "Change action"},
      {ClickControl::refresh, "refresh", "Refresh targets"},
  };
  auto cases = allCases<ClickControl>();
  ASSERT_EQ(cases.size(), rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto& [control, raw, text] = rows[i];
    EXPECT_EQ(cases[i], control);
    EXPECT_EQ(rawValue(control), raw);
    EXPECT_EQ(title(control), text);
  }
}

TEST(TargetAction, NextCyclesThroughAllFour) {
  EXPECT_EQ(next(TargetAction::movePointer), TargetAction::press);
  EXPECT_EQ(next(TargetAction::press), TargetAction::rightClick);
  EXPECT_EQ(title(TargetAction::press), "Click");
  EXPECT_EQ(title(TargetAction::movePointer), "Move pointer");
  for (auto action : allCases<TargetAction>()) {
    std::set<TargetAction> seen;
    TargetAction current = action;
    for (int i = 0; i < 4; ++i) {
      seen.insert(current);
      current = next(current);
    }
    EXPECT_EQ(current, action);
    EXPECT_EQ(seen.size(), 4u);
  }
}

TEST(DragStyle, StoredTexts) {
  EXPECT_EQ(fromRaw<DragStyle>("toggle"), DragStyle::toggle);
  EXPECT_EQ(fromRaw<DragStyle>("Hold"), std::nullopt);
  EXPECT_EQ(rawValue(DragStyle::hold), "hold");
}

}  // namespace
}  // namespace tovrel
