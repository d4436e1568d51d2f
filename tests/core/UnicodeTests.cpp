#include <gtest/gtest.h>

#include <random>

#include "core/Unicode.hpp"

namespace tovrel::unicode {
namespace {

TEST(Unicode, CharactersAreGraphemeClusters) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"", {}},
      {"ab", {"a", "b"}},
      {"e\u0301x", {"e\u0301", "x"}},
      {"\U0001F44D\U0001F3FD!", {"\U0001F44D\U0001F3FD", "!"}},
      {"a\r\nb", {"a", "\r\n", "b"}},
      {"\U0001F1E9\U0001F1EA", {"\U0001F1E9\U0001F1EA"}},
      {"a\xff", {"a", "\uFFFD"}},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(characters(text), expected) << text;
}

TEST(Unicode, LowerCaseNormalFormsAndProperties) {
  EXPECT_EQ(lowercased("ASDF"), "asdf");
  EXPECT_EQ(lowercased("ÀÉÎ Straße"), "àéî straße");
  EXPECT_EQ(lowercased("ΣΑΣ"), "σας");  // final sigma follows the default mapping's context rule
  EXPECT_EQ(nfc("e\u0301"), "\u00e9");
  EXPECT_EQ(nfd("\u00e9"), "e\u0301");
  EXPECT_EQ(nfc("abc"), "abc");

  for (char32_t letter : {U'a', U'Z', U'é', U'中', U'ß', U'ж'})
    EXPECT_TRUE(isAlphabetic(letter));
  for (char32_t number : {U'1', U'٣', U'½', U'Ⅻ'})
    EXPECT_TRUE(isNumeric(number));
  for (char32_t other : {U'-', U' ', U';', U'€', U'\u0301'}) {
    EXPECT_FALSE(isAlphabetic(other) || isNumeric(other)) << static_cast<int>(other);
  }
}

TEST(Unicode, InvalidUtf8IsReplacedNeverPassedOn) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"abc", "abc"},
      {"\xff", "\uFFFD"},
      {"a\xc3", "a\uFFFD"},
      {"\xed\xa0\x80", "\uFFFD\uFFFD\uFFFD"},  // an encoded surrogate is not UTF-8
      {"\xc0\xaf", "\uFFFD\uFFFD"},            // overlong
      {"é", "é"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(sanitizedUtf8(text), expected);
    EXPECT_EQ(isValidUtf8(text), text == expected);
  }
}

TEST(Unicode, PrefixNeverSplitsACharacter) {
  std::string accents;
  for (int i = 0; i < 200; ++i)
    accents += "e\u0301";
  std::string cut = prefixCharacters(accents, 160);
  EXPECT_EQ(characters(cut).size(), 160u);
  EXPECT_EQ(prefixCharacters("short", 160), "short");
  EXPECT_EQ(prefixCharacters("abcdef", 3), "abc");
  EXPECT_EQ(prefixCharacters("日本語です", 2), "日本");
  EXPECT_EQ(prefixCharacters("abc", 0), "");
}

TEST(Unicode, ArbitraryBytesSegmentIntoValidText) {
  std::mt19937 random(9);
  for (int step = 0; step < 2000; ++step) {
    std::string bytes;
    auto length = random() % 24;
    for (std::size_t i = 0; i < length; ++i)
      bytes += static_cast<char>(random() % 256);
    std::string clean = sanitizedUtf8(bytes);
    ASSERT_TRUE(isValidUtf8(clean));
    std::string joined;
    for (const auto& character : characters(bytes))
      joined += character;
    ASSERT_EQ(joined, clean);
    ASSERT_TRUE(isValidUtf8(lowercased(bytes)));
    ASSERT_TRUE(isValidUtf8(prefixCharacters(bytes, 5)));
    std::string rebuilt;
    for (char32_t scalar : scalars(bytes))
      rebuilt += toUtf8(scalar);
    ASSERT_EQ(rebuilt, clean);
  }
}

}  // namespace
}  // namespace tovrel::unicode
