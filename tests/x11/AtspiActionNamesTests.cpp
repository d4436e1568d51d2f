// Action names as applications list them, and the names asked one by one when the list cannot be
// read (a Gecko browser lists every name as ";;").
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/atspi/AtspiRoles.hpp"

namespace tovrel::platform::atspi {
namespace {

using Names = std::vector<std::string>;
using Answers = std::vector<std::optional<std::string>>;

TEST(AtspiActionNamesTest, OnlyListsOfPlainNamesAreTakenAsTheyAre) {
  struct Case {
    Names listed;
    bool plain;
  };
  const std::vector<Case> cases = {
      {{}, true},
      {{"Press", "SetFocus"}, true},
      {{"click"}, true},
      {{"show-menu", "set_focus", "org.example.Open"}, true},
      {{"Drücken"}, true},  // a translated name
      {{";;"}, false},
      {{""}, false},
      {{"click", ";;"}, false},
      {{"<Alt>f"}, false},
      {{"press:jump"}, false},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& name : c.listed)
      shown += "[" + name + "]";
    EXPECT_EQ(plainActionNames(c.listed), c.plain) << shown;
  }
}

TEST(AtspiActionNamesTest, NamesAskedByIndexReplaceUnreadableOnesAndBecomeAXActions) {
  struct Case {
    Names listed;
    Answers answers;
    Names expected;
    Names expectedAX;
  };
  const std::vector<Case> cases = {
      // A browser's button and link: every listed name unreadable, the per-index names plain.
      {{";;"}, {"press"}, {"press"}, {"AXPress"}},
      {{";;", ";;"}, {"click", "jump"}, {"click", "jump"}, {"AXPress", "jump"}},
      // A missing or unreadable answer keeps what was listed.
      {{";;", ";;"}, {std::nullopt, "click"}, {";;", "click"}, {";;", "AXPress"}},
      {{"", "press"}, {";;", "press"}, {"", "press"}, {"", "AXPress"}},
      // Fewer answers than actions (the application stopped answering half way).
      {{";;", ";;", ";;"}, {"click"}, {"click", ";;", ";;"}, {"AXPress", ";;", ";;"}},
      // A browser's check box and tab.
      {{";;"}, {"uncheck"}, {"uncheck"}, {"AXPress"}},
      {{";;"}, {"switch"}, {"switch"}, {"AXPress"}},
      // More answers than listed actions are ignored.
      {{";;"}, {"click", "jump"}, {"click"}, {"AXPress"}},
  };
  for (const auto& c : cases) {
    const Names names = actionNamesByIndex(c.listed, c.answers);
    EXPECT_EQ(names, c.expected);
    EXPECT_EQ(axActionNames(names), c.expectedAX);
    // The index that performs the press is the one whose name was asked.
    const auto press = atspiActionIndex(names, "AXPress");
    const bool pressable =
        std::find(c.expectedAX.begin(), c.expectedAX.end(), "AXPress") != c.expectedAX.end();
    EXPECT_EQ(press.has_value(), pressable);
  }
}

TEST(AtspiActionNamesTest, AnsweringByIndexKeepsEveryActionInPlace) {
  const std::vector<std::string> pool = {";;", "", "click", "press", "jump", "<b>", "Toggle"};
  std::mt19937 random(7);
  for (int round = 0; round < 500; ++round) {
    Names listed(random() % 6);
    for (auto& name : listed)
      name = pool[random() % pool.size()];
    Answers answers(random() % 8);
    for (auto& answer : answers) {
      if (random() % 4 != 0) answer = pool[random() % pool.size()];
    }
    const Names names = actionNamesByIndex(listed, answers);
    ASSERT_EQ(names.size(), listed.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      const bool answeredPlainly =
          i < answers.size() && answers[i] && plainActionNames({*answers[i]});
      EXPECT_EQ(names[i], answeredPlainly ? *answers[i] : listed[i]) << "action " << i;
    }
  }
}

}  // namespace
}  // namespace tovrel::platform::atspi
