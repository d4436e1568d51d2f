#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <sstream>
#include <tuple>

#include "core/HintTarget.hpp"

namespace tovrel {
namespace {

using Indices = std::vector<std::size_t>;
using Names = std::vector<std::string>;

TEST(HintTargetFrame, CentreAndHalfOpenContains) {
  const HintTarget::Frame frame{10, 20, 100, 50};
  EXPECT_EQ(frame.center(), (Point{60, 45}));
  const std::vector<std::pair<Point, bool>> cases = {{{10, 20}, true},
                                                     {{109.9, 69.9}, true},
                                                     {{110, 20}, false},
                                                     {{10, 70}, false},
                                                     {{9.99, 30}, false}};
  for (const auto& [point, inside] : cases)
    EXPECT_EQ(frame.contains(point), inside) << frame << " " << point;
  EXPECT_FALSE((HintTarget::Frame{10, 20, 0, 50}).contains({10, 20}));
  EXPECT_FALSE((HintTarget::Frame{10, 20, -5, 50}).contains({8, 30}));
}

TEST(TargetSearch, NormalizeFoldsCaseAndAccentsAndCollapsesWhiteSpace) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"  Save \t As\r\n", "save as"},
      {"Éte", "ete"},
      {"CAFE\u0301", "cafe"},
      {"a\u00A0b\u3000c\u2028d\u0085e", "a b c d e"},
      {" \t\n\u00A0", ""},
      {"Straße", "strasse"},
      {"\u0130stanbul", "istanbul"},
      {"ΣΊΣΥΦΟΣ", "σισυφοσ"},
      {"x\xff", "x\uFFFD"}};
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(TargetSearch::normalize(text), expected) << text;
}

TEST(TargetSearch, RankTable) {
  const std::vector<std::tuple<std::string, Names, Indices>> cases = {
      {"  Save ", {"Save As…", "Autosave", "Save"}, {2, 0, 1}},
      {"", {"b", "", "a"}, {0, 1, 2}},
      {" \t ", {"b", "", "a"}, {0, 1, 2}},
      {"x", {"", "x"}, {1}},
      {"CAFE", {"Café", "tea"}, {0}},
      {"café", {"tea", "CAFE"}, {1}},
      {"save as", {"Save   As", "Save\nAs", "Save\u00A0As", "SaveAs", "As Save"}, {3, 0, 1, 2, 4}},
      {"open file", {"Reopen File", "File Open", "Open File", "Open"}, {2, 1, 0}},
      {"ok", {"OK", "ok", "Ok"}, {0, 1, 2}},
      {"ave", {"Save", "Avenue"}, {1, 0}},
      {"sa", {"Autosave", "Save", "Sax"}, {2, 1, 0}},
      // Lengths count characters: five accented letters are shorter than seven plain ones, and a
      // flag is one character.
      {"e", {"eeeeeee", "ééééé"}, {1, 0}},
      {"x", {"x\U0001F1E9\U0001F1EA", "xy"}, {0, 1}}};
  for (const auto& [query, names, expected] : cases)
    EXPECT_EQ(TargetSearch::rank(query, names), expected) << query;
}

TEST(TargetSearch, RankProperties) {
  const Names pieces = {"save", "Save", "as", "auto", "ÉTÉ", "été", "file",   "open",
                        "re",   "a",    "é",  " ",    "\t",  "\n",  "\u00A0", "x"};
  // Query words with their upper-case forms.
  const std::vector<std::pair<std::string, std::string>> words = {
      {"sa", "SA"}, {"ave", "AVE"}, {"e", "E"}, {"été", "ÉTÉ"}, {"open", "OPEN"},
      {"as", "AS"}, {"o", "O"},     {"f", "F"}, {"re", "RE"},   {"x", "X"}};
  std::mt19937 random(20240611);
  auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  for (int round = 0; round < 300; ++round) {
    Names names(pick(12) + 1);
    for (auto& name : names) {
      for (std::size_t n = pick(6); n > 0; --n)
        name += pieces[pick(pieces.size())];
    }
    std::string query, upper, spaced = " \t";
    for (std::size_t n = pick(4); n > 0; --n) {
      const auto& [lower, upperWord] = words[pick(words.size())];
      query += (query.empty() ? "" : " ") + lower;
      upper += (upper.empty() ? "" : " ") + upperWord;
      spaced += lower + "\u00A0 \n";
    }
    const auto result = TargetSearch::rank(query, names);
    const auto prepared = TargetSearch::prepare(names);
    EXPECT_EQ(TargetSearch::rank(query, prepared), result);
    EXPECT_EQ(TargetSearch::rank(upper, names), result);
    EXPECT_EQ(TargetSearch::rank(spaced, names), result);
    if (query.empty()) continue;  // the identity, checked in the table

    std::istringstream stream(TargetSearch::normalize(query));
    Names queryWords{std::istream_iterator<std::string>(stream), {}};
    const auto& first = queryWords.front();
    EXPECT_EQ(TargetSearch::rank(first + " " + first, names), TargetSearch::rank(first, names));
    auto matches = [&](const std::string& name) {
      return std::all_of(queryWords.begin(), queryWords.end(),
                         [&](auto& word) { return name.find(word) != std::string::npos; });
    };
    // Strictly ascending keys also rule out duplicates.
    std::tuple<int, std::size_t, std::size_t> previous{-1, 0, 0};
    for (std::size_t index : result) {
      ASSERT_LT(index, names.size());
      const auto& name = prepared[index].normalized;
      EXPECT_TRUE(matches(name)) << name << " / " << query;
      int tier = name.starts_with(first) ? 0 : name.find(" " + first) != std::string::npos ? 1 : 2;
      std::tuple<int, std::size_t, std::size_t> key{tier, prepared[index].length, index};
      EXPECT_LT(previous, key) << query;
      previous = key;
    }
    auto expected = std::count_if(prepared.begin(), prepared.end(),
                                  [&](auto& name) { return matches(name.normalized); });
    EXPECT_EQ(result.size(), static_cast<std::size_t>(expected));
  }
}

}  // namespace
}  // namespace tovrel
