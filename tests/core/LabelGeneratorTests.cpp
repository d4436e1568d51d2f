#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "core/InteractionMode.hpp"
#include "core/LabelGenerator.hpp"

namespace tovrel {
namespace {

using Texts = std::vector<std::string>;

TEST(UsableAlphabet, KeepsLowerCasedLettersAndNumbersOnce) {
  struct Case {
    std::string alphabet;
    std::set<std::string> reserved;
    Texts expected;
  };
  const std::vector<Case> cases = {
      {"ASDF", {}, {"a", "s", "d", "f"}},
      {"aAbB", {}, {"a", "b"}},
      {"a s-d;f1", {}, {"a", "s", "d", "f", "1"}},
      {"asdf", {"s"}, {"a", "d", "f"}},
      {"asdf", {"S"}, {"a", "s", "d", "f"}},
      {"", {}, {}},
      {"-;,. !?", {}, {}},
      {"ÉéE\u0301x", {}, {"é", "x"}},
      {"e\u0301", {"é"}, {}},
      {"日本1２", {}, {"日", "本", "1", "２"}},
      {"\U0001F600a", {}, {"a"}},
      {"\xff"
       "a",
       {},
       {"a"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LabelGenerator::usableAlphabet(c.alphabet, c.reserved), c.expected) << c.alphabet;
  }
}

TEST(Labels, WorkedExamples) {
  const Texts asdf = {"a", "s", "d", "f"};
  EXPECT_EQ(LabelGenerator::labels(4, asdf), asdf);
  EXPECT_EQ(LabelGenerator::labels(5, asdf), (Texts{"aa", "as", "ad", "af", "sa"}));
  EXPECT_TRUE(LabelGenerator::labels(0, asdf).empty());
  EXPECT_TRUE(LabelGenerator::labels(-3, asdf).empty());
  EXPECT_TRUE(LabelGenerator::labels(1, Texts{"x"}).empty());
  EXPECT_TRUE(LabelGenerator::labels(5, Texts{}).empty());

  const Texts ab = {"a", "b"};
  auto sixtyFour = LabelGenerator::labels(64, ab);
  ASSERT_EQ(sixtyFour.size(), 64u);
  EXPECT_EQ(sixtyFour.front(), "aaaaaa");
  EXPECT_EQ(sixtyFour[1], "aaaaab");
  EXPECT_EQ(sixtyFour.back(), "bbbbbb");
  EXPECT_TRUE(LabelGenerator::labels(65, ab).empty());

  auto alphabet = LabelGenerator::usableAlphabet("asdfghjklqwertyuiopzxcvbnm");
  auto one = LabelGenerator::labels(26, alphabet);
  EXPECT_EQ(one.front(), "a");
  EXPECT_EQ(one[1], "s");
  auto two = LabelGenerator::labels(27, alphabet);
  EXPECT_EQ(two[25], "am");
  EXPECT_EQ(two[26], "sa");
  EXPECT_EQ(LabelGenerator::labels(676, alphabet).back(), "mm");
  EXPECT_EQ(LabelGenerator::labels(677, alphabet).front().size(), 3u);
}

TEST(Labels, HugeRequestsNeitherOverflowNorSucceed) {
  Texts large;
  for (int i = 0; i < 5000; ++i)
    large.push_back(std::to_string(i));
  EXPECT_TRUE(
      LabelGenerator::labels(std::numeric_limits<std::int64_t>::max(), Texts{"a", "b"}).empty());
  // 5000^6 overflows 64 bits on the way; the request is still refused cleanly.
  EXPECT_TRUE(LabelGenerator::labels(std::numeric_limits<std::int64_t>::max(), large).empty());
}

// For every alphabet size and count: the shortest sufficient length, all labels distinct, and label
// i reads back as i in base a.
TEST(Labels, ShortestDistinctCountingLabels) {
  for (int size = 2; size <= 12; ++size) {
    Texts alphabet;
    for (int i = 0; i < size; ++i)
      alphabet.push_back(std::string(1, static_cast<char>('a' + i)));
    for (std::int64_t count : {1, 2, size - 1, size, size + 1, size * size, size * size + 1, 400}) {
      auto labels = LabelGenerator::labels(count, alphabet);
      if (std::pow(size, 6) < static_cast<double>(count)) {
        ASSERT_TRUE(labels.empty());
        continue;
      }
      ASSERT_EQ(static_cast<std::int64_t>(labels.size()), count);
      std::size_t length = 1;
      while (std::pow(size, length) < static_cast<double>(count))
        ++length;
      std::set<std::string> distinct(labels.begin(), labels.end());
      ASSERT_EQ(static_cast<std::int64_t>(distinct.size()), count);
      for (std::int64_t i = 0; i < count; ++i) {
        const auto& label = labels[static_cast<std::size_t>(i)];
        ASSERT_EQ(label.size(), length);
        std::int64_t value = 0;
        for (char digit : label)
          value = value * size + (digit - 'a');
        ASSERT_EQ(value, i) << label;
      }
    }
  }
}

TEST(InteractionMode, StoredTextsAndNames) {
  EXPECT_EQ(fromRaw<InteractionMode>("scroll"), InteractionMode::scroll);
  EXPECT_EQ(name(InteractionMode::scroll), "Scrolling");
  EXPECT_EQ(fromRaw<InteractionMode>("Cursor"), std::nullopt);
  EXPECT_EQ(fromRaw<InteractionMode>(" off"), std::nullopt);
  const std::vector<std::pair<InteractionMode, std::string>> names = {
      {InteractionMode::off, "Typing"},
      {InteractionMode::cursor, "Moving"},
      {InteractionMode::click, "Clicking"},
      {InteractionMode::scroll, "Scrolling"},
  };
  for (const auto& [mode, text] : names) {
    EXPECT_EQ(name(mode), text);
    EXPECT_EQ(fromRaw<InteractionMode>(rawValue(mode)), mode);
  }
  EXPECT_EQ(allCases<InteractionMode>().size(), 4u);
}

}  // namespace
}  // namespace tovrel
