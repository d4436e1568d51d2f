#include <gtest/gtest.h>

#include <random>
#include <set>
#include <unordered_set>

#include "core/Keys.hpp"

namespace tovrel {
namespace {

using Kind = json::DecodingError::Kind;

TEST(KeyNames, NamedKeysThenKeyCapsThenNumber) {
  const std::vector<std::pair<std::uint16_t, std::string>> cases = {
      {49, "Space"},
      {0, "A"},
      {42, "\\"},
      {10, "Key 10"},
      {65535, "Key 65535"},
      {76, "Key 76"},
      {36, "Enter"},
      {51, "Backspace"},
      {54, "Right Super"},
      {55, "Left Super"},
      {58, "Left Alt"},
      {61, "Right Alt"},
      {59, "Left Ctrl"},
      {62, "Right Ctrl"},
      {56, "Left Shift"},
      {57, "Caps Lock"},
      {63, "Fn"},
      {117, "Delete"},
      {99, "F3"},
      {122, "F1"},
      {29, "0"},
      {25, "9"},
      {50, "`"},
      {39, "'"},
      {126, "Up Arrow"},
      {102, "Key 102"},
      {64, "Key 64"},
  };
  for (const auto& [code, expected] : cases)
    EXPECT_EQ(Key::name(code), expected) << code;
}

TEST(KeyNames, EveryFunctionKeyNamedOnce) {
  std::multiset<std::string> names;
  for (int code = 0; code <= 0xFFFF; ++code)
    names.insert(Key::name(static_cast<std::uint16_t>(code)));
  for (int number = 1; number <= 12; ++number) {
    EXPECT_EQ(names.count("F" + std::to_string(number)), 1u) << number;
  }
  for (const char* name :
       {"Home", "End", "Page Up", "Page Down", "Left Arrow", "Right Arrow", "Down Arrow",
        "Up Arrow", "Escape", "Tab", "Enter", "Backspace", "Delete"}) {
    EXPECT_EQ(names.count(name), 1u) << name;
  }
}

TEST(KeyTables, PrintableCodesAgreeWithConstantsAndDigits) {
  const auto& table = Key::printableCodes();
  EXPECT_EQ(table.size(), 48u);
  int letters = 0;
  for (const auto& [code, text] : table) {
    if (text.size() == 1 && text[0] >= 'A' && text[0] <= 'Z') ++letters;
  }
  EXPECT_EQ(letters, 26);
  for (std::size_t i = 0; i < Key::digits.size(); ++i) {
    EXPECT_EQ(Key::printableText(Key::digits[i]), std::to_string(i + 1));
  }
  EXPECT_EQ(Key::printableText(29), "0");
  EXPECT_EQ(Key::printableText(Key::j), "J");
  EXPECT_EQ(Key::printableText(Key::slash), "/");
  EXPECT_EQ(Key::printableText(Key::space), "Space");
  EXPECT_EQ(Key::printableText(Key::returnKey), std::nullopt);
}

TEST(KeyTables, ModifierKeysAndTheirFlags) {
  const std::vector<std::pair<std::uint16_t, Modifiers>> flags = {
      {54, Modifiers::command}, {55, Modifiers::command}, {56, Modifiers::shift},
      {60, Modifiers::shift},   {58, Modifiers::option},  {61, Modifiers::option},
      {59, Modifiers::control}, {62, Modifiers::control}, {57, Modifiers::none},
      {63, Modifiers::none},
  };
  for (const auto& [code, flag] : flags) {
    EXPECT_TRUE(Key::isModifierKey(code)) << code;
    EXPECT_EQ(Key::modifierFlag(code), flag) << code;
  }
  EXPECT_EQ(Key::modifierKeys.size(), 10u);
  for (int code = 0; code <= 0xFFFF; ++code) {
    auto key = static_cast<std::uint16_t>(code);
    if (code >= 54 && code <= 63) continue;
    ASSERT_FALSE(Key::isModifierKey(key)) << code;
    ASSERT_EQ(Key::modifierFlag(key), Modifiers::none) << code;
  }
}

TEST(Modifiers, NamesInCtrlAltSuperShiftOrder) {
  using M = Modifiers;
  const std::vector<std::pair<Modifiers, std::string>> cases = {
      {M::none, ""},
      {M::command, "Super"},
      {M{M::command, M::shift}, "Super Shift"},
      {M{M::shift, M::control}, "Ctrl Shift"},
      {M{M::control, M::option, M::command, M::shift}, "Ctrl Alt Super Shift"},
      {M(0xF0), ""},
      {M(0xF4), "Alt"},
  };
  for (const auto& [modifiers, expected] : cases) {
    EXPECT_EQ(Key::modifierName(modifiers), expected) << int(modifiers.rawValue);
  }
}

TEST(Modifiers, SetOperations) {
  using M = Modifiers;
  M commandShift{M::command, M::shift};
  EXPECT_EQ(commandShift.rawValue, 3);
  EXPECT_TRUE(commandShift.contains(M::shift));
  EXPECT_FALSE(commandShift.contains(M{M::shift, M::option}));
  EXPECT_TRUE(M::shift.isSubset(commandShift));
  EXPECT_FALSE(commandShift.isSubset(M::shift));
  EXPECT_TRUE(M::none.isSubset(M::none));
  EXPECT_TRUE(commandShift.isDisjoint(M{M::option, M::control}));
  EXPECT_FALSE(commandShift.isDisjoint(M::command));
  EXPECT_EQ(commandShift - M::command, M::shift);
  EXPECT_EQ((commandShift ^ M{M::shift, M::option}), (M{M::command, M::option}));
  EXPECT_EQ((commandShift & M{M::shift, M::option}), M::shift);
  M built;
  EXPECT_TRUE(built.isEmpty());
  built.insert(M::control);
  built.insert(M::control);
  built.remove(M::option);
  EXPECT_EQ(built, M::control);
  // Stray bits are kept and compared.
  EXPECT_NE(M(0x81), M::command);
}

TEST(Gesture, DisplayNames) {
  using M = Modifiers;
  const std::vector<std::pair<Gesture, std::string>> cases = {
      {Gesture::key(53), "Escape"},
      {Gesture::key(49, M{M::command, M::shift}), "Super Shift Space"},
      {Gesture::key(38, M{M::control, M::option, M::command, M::shift}), "Ctrl Alt Super Shift J"},
      {Gesture::key(38, M{M::control, M::option}), "Ctrl Alt J"},
      {Gesture::modifierTap(61), "Right Alt tap"},
      {Gesture::modifierTap(54), "Right Super tap"},
      {Gesture::key(10, M::command), "Super Key 10"},
      {Gesture::key(42, M(0x80)), "\\"},
      // What a person reads is Linux's vocabulary: each modifier key by its word and its side,
      // Enter and Delete by those names under any modifier.
      {Gesture::modifierTap(55), "Left Super tap"},
      {Gesture::modifierTap(56), "Left Shift tap"},
      {Gesture::modifierTap(58), "Left Alt tap"},
      {Gesture::modifierTap(59), "Left Ctrl tap"},
      {Gesture::modifierTap(60), "Right Shift tap"},
      {Gesture::modifierTap(62), "Right Ctrl tap"},
      {Gesture::key(36, M(0x0F)), "Ctrl Alt Super Shift Enter"},
      {Gesture::key(117, M::control), "Ctrl Delete"},
  };
  for (const auto& [gesture, expected] : cases)
    EXPECT_EQ(gesture.displayName(), expected);
}

TEST(Gesture, EqualityAndHashFollowCaseCodeAndModifiers) {
  EXPECT_NE(Gesture::key(61), Gesture::modifierTap(61));
  std::unordered_set<Gesture> set = {Gesture::key(61), Gesture::modifierTap(61)};
  EXPECT_EQ(set.size(), 2u);
  EXPECT_EQ(Gesture::modifierTap(61).keyCode(), 61);

  std::mt19937 random(7);
  auto make = [&] {
    auto code = static_cast<std::uint16_t>(random() % 4);
    auto modifiers = Modifiers(static_cast<std::uint8_t>(random() % 3));
    return random() % 2 ? Gesture::key(code, modifiers) : Gesture::modifierTap(code);
  };
  for (int step = 0; step < 2000; ++step) {
    Gesture a = make(), b = make();
    bool same =
        a.kind() == b.kind() && a.keyCode() == b.keyCode() && a.modifiers() == b.modifiers();
    ASSERT_EQ(a == b, same);
    if (a == b) {
      ASSERT_EQ(std::hash<Gesture>{}(a), std::hash<Gesture>{}(b));
    }
  }
}

Gesture decodeGesture(std::string_view text) {
  json::Value value = json::parse(text);
  return Gesture::fromJson(json::Reader(value));
}

TEST(GestureJson, ReadsBothCasesInAnyMemberOrder) {
  const std::vector<std::pair<std::string, Gesture>> cases = {
      {R"({"key": {"code": 49, "modifiers": 3}})",
       Gesture::key(49, Modifiers{Modifiers::command, Modifiers::shift})},
      {R"({"key": {"modifiers": 0, "code": 53}})", Gesture::key(53)},
      {R"({"modifierTap": {"code": 61}})", Gesture::modifierTap(61)},
      {R"({"modifierTap": {"code": 61, "modifiers": 4}})", Gesture::modifierTap(61)},
      {R"({"key": {"code": 49, "modifiers": 0}, "note": 1})", Gesture::key(49)},
      {R"({"key": {"code": 65535, "modifiers": 255}})", Gesture::key(65535, Modifiers(255))},
      {R"({"key": {"code": 49.0, "modifiers": 2}})", Gesture::key(49, Modifiers::shift)},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(decodeGesture(text), expected) << text;
}

TEST(GestureJson, RejectsMalformedGesturesWithTheRightError) {
  struct Case {
    std::string text;
    Kind kind;
    std::string description;
    std::string path;
  };
  const std::vector<Case> cases = {
      {R"({})", Kind::typeMismatch, "Invalid number of keys found, expected one.", ""},
      {R"({"note": 1})", Kind::typeMismatch, "Invalid number of keys found, expected one.", ""},
      {R"({"key": {"code": 1, "modifiers": 0}, "modifierTap": {"code": 61}})", Kind::typeMismatch,
       "Invalid number of keys found, expected one.", ""},
      {R"({"key": {"code": 49}})", Kind::keyNotFound, "No value associated with key “modifiers”.",
       "key"},
      {R"({"modifierTap": {}})", Kind::keyNotFound, "No value associated with key “code”.",
       "modifierTap"},
      {R"({"key": {"code": 70000, "modifiers": 0}})", Kind::dataCorrupted,
       "Parsed JSON number <70000> does not fit in 0…65535.", "key.code"},
      {R"({"key": {"code": -1, "modifiers": 0}})", Kind::dataCorrupted,
       "Parsed JSON number <-1> does not fit in 0…65535.", "key.code"},
      {R"({"key": {"code": 1, "modifiers": 256}})", Kind::dataCorrupted,
       "Parsed JSON number <256> does not fit in 0…255.", "key.modifiers"},
      {R"({"key": {"code": 49.5, "modifiers": 0}})", Kind::dataCorrupted,
       "Parsed JSON number <49.5> is not a whole number.", "key.code"},
      {R"({"key": {"code": "49", "modifiers": 0}})", Kind::typeMismatch,
       "Expected to decode Int but found a string instead.", "key.code"},
      {R"({"key": {"code": null, "modifiers": 0}})", Kind::valueNotFound,
       "Expected Int value but found null instead.", "key.code"},
      {R"({"key": null})", Kind::valueNotFound, "Expected Dictionary value but found null instead.",
       "key"},
      {R"({"key": [49, 0]})", Kind::typeMismatch,
       "Expected to decode Dictionary but found an array instead.", "key"},
      {R"("Escape")", Kind::typeMismatch, "Expected to decode Gesture but found a string instead.",
       ""},
  };
  for (const auto& c : cases) {
    try {
      decodeGesture(c.text);
      ADD_FAILURE() << "decoded " << c.text;
    } catch (const json::DecodingError& error) {
      EXPECT_EQ(error.kind(), c.kind) << c.text;
      EXPECT_EQ(error.debugDescription(), c.description) << c.text;
      EXPECT_EQ(json::pathText(error.codingPath()), c.path) << c.text;
    }
  }
}

TEST(GestureJson, RoundTripsEveryShape) {
  std::mt19937 random(11);
  for (int step = 0; step < 500; ++step) {
    auto code = static_cast<std::uint16_t>(random());
    auto modifiers = Modifiers(static_cast<std::uint8_t>(random()));
    Gesture gesture = step % 2 ? Gesture::key(code, modifiers) : Gesture::modifierTap(code);
    std::string written = json::writePretty(gesture.toJson());
    ASSERT_EQ(decodeGesture(written), gesture) << written;
  }
  EXPECT_EQ(json::writePretty(Gesture::key(53).toJson()),
            "{\n  \"key\": {\n    \"code\": 53,\n    \"modifiers\": 0\n  }\n}");
  EXPECT_EQ(Gesture::modifierTap(61).toJson().dump(), R"({"modifierTap":{"code":61}})");
}

TEST(KeyEvent, ModifierKeyDefaultsFromTheCode) {
  using K = KeyEvent::Kind;
  for (std::uint16_t code : {54, 57, 61, 63}) {
    EXPECT_TRUE(KeyEvent(K::down, code, Modifiers::none, false, std::nullopt, false, std::nullopt)
                    .isModifierKey)
        << code;
  }
  for (std::uint16_t code : {0, 49, 53, 64}) {
    EXPECT_FALSE(
        KeyEvent(K::down, code, Modifiers::none, false, std::nullopt, true, " ").isModifierKey)
        << code;
  }
  EXPECT_FALSE(
      KeyEvent(K::up, 61, Modifiers::none, false, false, false, std::nullopt).isModifierKey);
}

TEST(KeyEvent, EqualityComparesAllSevenFields) {
  using K = KeyEvent::Kind;
  const KeyEvent base(K::down, 0, Modifiers::shift, false, std::nullopt, true, "A");
  std::vector<KeyEvent> variants(7, base);
  variants[0].kind = K::up;
  variants[1].code = 1;
  variants[2].modifiers = Modifiers::none;
  variants[3].isRepeat = true;
  variants[4].isModifierKey = true;
  variants[5].typesCharacter = false;
  variants[6].character = std::nullopt;
  for (const auto& variant : variants)
    EXPECT_NE(variant, base);
  EXPECT_EQ(KeyEvent(K::down, 0, Modifiers::shift, false, false, true, "A"), base);
}

}  // namespace
}  // namespace tovrel
