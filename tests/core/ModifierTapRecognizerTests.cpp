#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <set>
#include <vector>

#include "core/ModifierTapRecognizer.hpp"

namespace tovrel {
namespace {

// One step of a recognizer script: a modifier change, or (code 0) some other input.
struct Step {
  std::uint16_t code;
  bool down;
  Modifiers others;
  double at;
  std::optional<std::uint16_t> expected;
};
constexpr std::uint16_t other = 0;

TEST(ModifierTapRecognizer, Scripts) {
  const Modifiers shift = Modifiers::shift, command = Modifiers::command;
  struct Case {
    const char* name;
    std::vector<Step> steps;
  };
  const std::vector<Case> cases = {
      {"quick right option tap", {{61, true, {}, 10.0, {}}, {61, false, {}, 10.25, 61}}},
      {"too long", {{61, true, {}, 10.0, {}}, {61, false, {}, 10.5, {}}}},
      {"exactly the limit counts", {{61, true, {}, 2.0, {}}, {61, false, {}, 2.375, 61}}},
      {"second modifier held",
       {{56, true, {}, 1.0, {}}, {60, true, {}, 1.1, {}}, {60, false, {}, 1.2, {}}}},
      {"other key between",
       {{58, true, {}, 1.0, {}}, {other, true, {}, 1.1, {}}, {58, false, {}, 1.2, {}}}},
      {"chord of two modifiers",
       {{55, true, {}, 1.0, {}},
        {56, true, command, 1.05, {}},
        {56, false, command, 1.1, {}},
        {55, false, {}, 1.15, {}}}},
      {"missed shift release is pruned",
       {{56, true, {}, 1.0, {}}, {61, true, {}, 5.0, {}}, {61, false, {}, 5.1, 61}}},
      {"shift still reported keeps spoiling",
       {{56, true, {}, 1.0, {}}, {61, true, shift, 5.0, {}}, {61, false, shift, 5.1, {}}}},
      {"repeated press restarts the candidate",
       {{61, true, {}, 1.0, {}}, {61, true, {}, 3.0, {}}, {61, false, {}, 3.2, 61}}},
      {"caps lock held spoils",
       {{57, true, {}, 1.0, {}}, {61, true, {}, 1.1, {}}, {61, false, {}, 1.2, {}}}},
      {"release without press",
       {{61, false, {}, 1.0, {}}, {61, true, {}, 2.0, {}}, {61, false, {}, 2.1, 61}}},
      {"not a modifier", {{12, true, {}, 1.0, {}}, {12, false, {}, 1.1, {}}}},
  };
  for (const Case& c : cases) {
    ModifierTapRecognizer recognizer(0.375);
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      const Step& step = c.steps[i];
      std::optional<std::uint16_t> result;
      if (step.code == other)
        recognizer.otherInput();
      else
        result = recognizer.modifierChanged(step.code, step.down, step.others, step.at);
      EXPECT_EQ(result, step.expected) << c.name << ", step " << i;
    }
  }
}

TEST(ModifierTapRecognizer, ResetForgetsHeldKeysButKeepsTheStart) {
  ModifierTapRecognizer recognizer(0.25);
  recognizer.modifierChanged(56, true, {}, 4.0);
  recognizer.reset();
  EXPECT_TRUE(recognizer.heldIsEmpty());
  EXPECT_FALSE(recognizer.candidate());
  EXPECT_EQ(recognizer.candidateStart(), 4.0);
  // Nothing held any more, so a tap of another key counts.
  recognizer.modifierChanged(61, true, {}, 5.0);
  EXPECT_EQ(recognizer.modifierChanged(61, false, {}, 5.125), 61);
}

// Over random streams, a tap is reported only for a press and release of the same key that are
// adjacent among all inputs, within the limit, with nothing else believed held.
TEST(ModifierTapRecognizer, ReportsOnlyCleanTaps) {
  std::mt19937 random(7);
  for (int run = 0; run < 200; ++run) {
    ModifierTapRecognizer recognizer(0.25);
    double now = 0;
    struct Input {
      std::uint16_t code;
      bool down;
      double at;
    };
    std::vector<Input> history;
    std::set<std::uint16_t> physicallyDown;
    for (int i = 0; i < 60; ++i) {
      now += std::uniform_real_distribution<double>(0.01, 0.2)(random);
      if (random() % 5 == 0) {
        recognizer.otherInput();
        history.push_back({other, true, now});
        continue;
      }
      const std::uint16_t code = static_cast<std::uint16_t>(54 + random() % 10);
      const bool down = !physicallyDown.contains(code);
      down ? (void)physicallyDown.insert(code) : (void)physicallyDown.erase(code);
      Modifiers others;
      for (std::uint16_t held : physicallyDown) {
        if (Key::modifierFlag(held) != Key::modifierFlag(code)) others |= Key::modifierFlag(held);
      }
      const auto tap = recognizer.modifierChanged(code, down, others, now);
      history.push_back({code, down, now});
      if (!tap) continue;
      ASSERT_EQ(*tap, code);
      ASSERT_GE(history.size(), 2u);
      const Input& press = history[history.size() - 2];
      EXPECT_EQ(press.code, code);
      EXPECT_TRUE(press.down);
      EXPECT_FALSE(down);
      EXPECT_LE(now - press.at, 0.25);
      EXPECT_TRUE(physicallyDown.empty());
    }
  }
}

}  // namespace
}  // namespace tovrel
