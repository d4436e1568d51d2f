#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "core/Actions.hpp"
#include "core/Json.hpp"
#include "core/Unicode.hpp"

namespace tovrel::json {
namespace {

using Kind = DecodingError::Kind;

std::string nested(int depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(JsonParse, RejectsBadDocumentsWithAReadableMessage) {
  const std::vector<std::string> bad = {
      "",
      "{",
      "[1,]",
      "{\"a\": 1,}",
      "{} x",
      "// comment\n{}",
      "\"\xff\"",
      "{\"\xc3\": 1}",
      "\xff\xfe{}",
      "1e400",
      "{\"a\": NaN}",
      nested(65),
      nested(1000),
      nested(200000),
      std::string(100000, '{'),
  };
  for (const auto& text : bad) {
    try {
      (void)parse(text);
      ADD_FAILURE() << "parsed " << text.substr(0, 40);
    } catch (const DecodingError& error) {
      EXPECT_EQ(error.kind(), Kind::dataCorrupted);
      EXPECT_TRUE(error.debugDescription().starts_with("The given data was not valid JSON"));
      EXPECT_TRUE(unicode::isValidUtf8(error.what())) << error.what();
      EXPECT_EQ(std::string(error.what()).find("[json.exception"), std::string::npos);
    }
  }
}

TEST(JsonParse, NestingLimitIsSixtyFourLevels) {
  EXPECT_NO_THROW((void)parse(nested(64)));
  EXPECT_THROW((void)parse(nested(65)), DecodingError);
  std::string objects;
  for (int i = 0; i < 64; ++i)
    objects += "{\"a\":";
  objects += "1" + std::string(64, '}');
  EXPECT_NO_THROW((void)parse(objects));
  try {
    (void)parse(nested(1000));
  } catch (const DecodingError& error) {
    EXPECT_NE(error.debugDescription().find("nested deeper than 64 levels"), std::string::npos);
  }
}

TEST(JsonParse, AcceptsByteOrderMarkAndWhitespace) {
  EXPECT_EQ(parse("\xef\xbb\xbf {\"a\": 1} \n")["a"], 1);
}

TEST(JsonReader, IntegersAreRangeCheckedNeverWrapped) {
  struct Case {
    std::string text;
    std::int64_t min, max;
    std::optional<std::int64_t> expected;
    Kind kind = Kind::dataCorrupted;
  };
  constexpr auto i64min = std::numeric_limits<std::int64_t>::min();
  constexpr auto i64max = std::numeric_limits<std::int64_t>::max();
  const std::vector<Case> cases = {
      {"49", 0, 65535, 49},
      {"49.0", 0, 65535, 49},
      {"1e2", 0, 65535, 100},
      {"-0.0", 0, 65535, 0},
      {"65535", 0, 65535, 65535},
      {"65536", 0, 65535, std::nullopt},
      {"70000", 0, 65535, std::nullopt},
      {"-1", 0, 65535, std::nullopt},
      {"49.5", 0, 65535, std::nullopt},
      {"2.7", i64min, i64max, std::nullopt},
      {"9223372036854775807", i64min, i64max, i64max},
      {"-9223372036854775808", i64min, i64max, i64min},
      {"9223372036854775808", i64min, i64max, std::nullopt},
      {"18446744073709551615", i64min, i64max, std::nullopt},
      {"9.3e18", i64min, i64max, std::nullopt},
      {"-9.3e18", i64min, i64max, std::nullopt},
      {"\"49\"", 0, 65535, std::nullopt, Kind::typeMismatch},
      {"true", 0, 65535, std::nullopt, Kind::typeMismatch},
      {"null", 0, 65535, std::nullopt, Kind::valueNotFound},
  };
  for (const auto& c : cases) {
    Value value = parse(c.text);
    Reader reader(value);
    if (c.expected) {
      EXPECT_EQ(reader.integer(c.min, c.max), *c.expected) << c.text;
      continue;
    }
    try {
      (void)reader.integer(c.min, c.max);
      ADD_FAILURE() << "read " << c.text;
    } catch (const DecodingError& error) {
      EXPECT_EQ(error.kind(), c.kind) << c.text;
    }
  }
}

TEST(JsonReader, ScalarTypesAreStrict) {
  Value value = parse(R"({"n": 2, "f": 0.25, "b": true, "s": "x", "z": null, "o": {}, "a": [1]})");
  Reader reader(value);
  EXPECT_EQ(reader.member("n").number(), 2.0);
  EXPECT_EQ(reader.member("f").number(), 0.25);
  EXPECT_TRUE(reader.member("b").boolean());
  EXPECT_EQ(reader.member("s").string(), "x");
  EXPECT_EQ(reader.member("a").elements().size(), 1u);

  auto kindOf = [&](auto read) -> std::optional<Kind> {
    try {
      read();
    } catch (const DecodingError& error) {
      return error.kind();
    }
    return std::nullopt;
  };
  EXPECT_EQ(kindOf([&] { (void)reader.member("b").number(); }), Kind::typeMismatch);
  EXPECT_EQ(kindOf([&] { (void)reader.member("n").boolean(); }), Kind::typeMismatch);
  EXPECT_EQ(kindOf([&] { (void)reader.member("n").string(); }), Kind::typeMismatch);
  EXPECT_EQ(kindOf([&] { (void)reader.member("z").string(); }), Kind::valueNotFound);
  EXPECT_EQ(kindOf([&] { (void)reader.member("o").elements(); }), Kind::typeMismatch);
  EXPECT_EQ(kindOf([&] { (void)reader.member("missing"); }), Kind::keyNotFound);
  EXPECT_EQ(kindOf([&] { (void)reader.member("a").member("x"); }), Kind::typeMismatch);
}

TEST(JsonReader, OptionalMembersTreatNullAsAbsent) {
  Value value = parse(R"({"z": null, "n": 1})");
  Reader reader(value);
  EXPECT_FALSE(reader.optionalMember("z").has_value());
  EXPECT_FALSE(reader.optionalMember("missing").has_value());
  ASSERT_TRUE(reader.optionalMember("n").has_value());
  EXPECT_TRUE(reader.contains("z"));
  EXPECT_FALSE(reader.contains("missing"));
}

TEST(JsonReader, ErrorsCarryTheCodingPath) {
  Value value = parse(R"({"cursorBindings": [{}, {"gesture": {"key": {"code": "x"}}}]})");
  Reader reader(value);
  try {
    (void)reader.member("cursorBindings")
        .elements()[1]
        .member("gesture")
        .member("key")
        .member("code")
        .integer<std::uint16_t>();
    FAIL();
  } catch (const DecodingError& error) {
    EXPECT_EQ(pathText(error.codingPath()), "cursorBindings[1].gesture.key.code");
    EXPECT_EQ(std::string(error.what()),
              "Expected to decode Int but found a string instead. (at "
              "cursorBindings[1].gesture.key.code)");
  }
}

TEST(JsonReader, EnumerationsMatchStoredTextsExactly) {
  Value value = parse(R"(["moveUp", "MoveUp", "move up", 3])");
  auto elements = Reader(value).elements();
  EXPECT_EQ(elements[0].enumeration<CursorAction>(), CursorAction::moveUp);
  try {
    (void)elements[1].enumeration<CursorAction>();
    FAIL();
  } catch (const DecodingError& error) {
    EXPECT_EQ(error.kind(), Kind::dataCorrupted);
    EXPECT_EQ(error.debugDescription(),
              "Cannot initialize CursorAction from invalid String value MoveUp");
    EXPECT_EQ(pathText(error.codingPath()), "[1]");
  }
  EXPECT_THROW((void)elements[2].enumeration<CursorAction>(), DecodingError);
  EXPECT_THROW((void)elements[3].enumeration<CursorAction>(), DecodingError);
}

TEST(JsonWrite, SortsMembersAndRefusesWhatCannotBeReadBack) {
  Value value = {{"zeta", 1}, {"alpha", {{"b", true}, {"a", "x"}}}, {"mid", 0.5}};
  EXPECT_EQ(writePretty(value),
            "{\n  \"alpha\": {\n    \"a\": \"x\",\n    \"b\": true\n  },\n  \"mid\": 0.5,\n"
            "  \"zeta\": 1\n}");

  const std::vector<std::pair<Value, std::string>> unwritable = {
      {{{"motion", {{"rampSeconds", std::nan("")}}}}, "motion.rampSeconds"},
      {{{"list", {1.0, std::numeric_limits<double>::infinity()}}}, "list[1]"},
      {{{"name", "\xff"}}, "name"},
      {Value{{"\xc3", 1}}, ""},
  };
  for (const auto& [bad, path] : unwritable) {
    try {
      (void)writePretty(bad);
      ADD_FAILURE() << "wrote " << path;
    } catch (const EncodingError& error) {
      EXPECT_EQ(pathText(error.codingPath()), path);
    }
  }
}

TEST(JsonWrite, FiniteDoublesRoundTripExactly) {
  std::mt19937_64 random(5);
  std::uniform_real_distribution<double> distribution(-1e6, 1e6);
  for (int step = 0; step < 1000; ++step) {
    double number = distribution(random);
    Value written = {{"x", number}};
    ASSERT_EQ(Reader(parse(writePretty(written))).member("x").number(), number);
  }
}

TEST(JsonParse, RandomBytesNeverCrash) {
  std::mt19937 random(3);
  const std::string alphabet = "{}[]\":,0123456789.eE+-truefalsn \\u\xff\xc3\x80";
  for (int step = 0; step < 3000; ++step) {
    std::string text;
    auto length = random() % 40;
    for (std::size_t i = 0; i < length; ++i)
      text += alphabet[random() % alphabet.size()];
    try {
      Value value = parse(text);
      EXPECT_NO_THROW((void)writePretty(value));
    } catch (const DecodingError& error) {
      ASSERT_TRUE(unicode::isValidUtf8(error.what()));
    }
  }
}

}  // namespace
}  // namespace tovrel::json
