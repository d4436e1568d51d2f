#include <gtest/gtest.h>

#include <random>
#include <unordered_set>

#include "core/ConfigRecords.hpp"

namespace tovrel {
namespace {

using Kind = json::DecodingError::Kind;

template <class T>
T decode(std::string_view text) {
  json::Value value = json::parse(text);
  return T::fromJson(json::Reader(value));
}

template <class T>
T roundTrip(const T& record) {
  return decode<T>(json::writePretty(record.toJson()));
}

TEST(MotionProfile, PresetsAndTheirNames) {
  const auto& presets = MotionProfile::presets();
  ASSERT_EQ(presets.size(), 3u);
  EXPECT_EQ(presets[0].first, "Gentle");
  EXPECT_EQ(presets[1].first, "Balanced");
  EXPECT_EQ(presets[2].first, "Fast");
  EXPECT_EQ(MotionProfile::gentle(), (MotionProfile{80, 1100, 0.9, 0.2, 2.0}));
  EXPECT_EQ(MotionProfile::fast(), (MotionProfile{200, 2400, 0.4, 0.2, 2.0}));

  EXPECT_EQ((MotionProfile{120, 1600, 0.6, 0.2, 2.0}).presetName(), "Balanced");
  EXPECT_EQ((MotionProfile{120, 1600, 0.6, 0.2, 2.5}).presetName(), std::nullopt);
  EXPECT_EQ((MotionProfile{120, 1600, 0.6000000001, 0.2, 2.0}).presetName(), std::nullopt);
  for (const auto& [name, profile] : presets)
    EXPECT_EQ(profile.presetName(), name);
}

TEST(MotionProfile, ClampedBringsEachValueIntoRange) {
  const std::vector<std::pair<MotionProfile, MotionProfile>> cases = {
      {{5, 3, 0, 2, 0.5}, {10, 10, 0.05, 1, 1}},
      {{3000, 9000, 9, 0.01, 9}, {2000, 5000, 5, 0.05, 4}},
      {{120, 1600, 0.6, 0.2, 2.0}, {120, 1600, 0.6, 0.2, 2.0}},
      {{500, 100, 1, 0.5, 2}, {500, 500, 1, 0.5, 2}},
      {{-1, -1, -1, -1, -1}, {10, 10, 0.05, 0.05, 1}},
  };
  for (const auto& [input, expected] : cases)
    EXPECT_EQ(input.clamped(), expected);

  std::mt19937 random(2);
  std::uniform_real_distribution<double> any(-10000, 10000);
  for (int step = 0; step < 1000; ++step) {
    MotionProfile profile{any(random), any(random), any(random), any(random), any(random)};
    MotionProfile clamped = profile.clamped();
    ASSERT_GE(clamped.initialSpeed, 10);
    ASSERT_LE(clamped.initialSpeed, 2000);
    ASSERT_GE(clamped.maximumSpeed, clamped.initialSpeed);
    ASSERT_LE(clamped.maximumSpeed, 5000);
    ASSERT_GE(clamped.rampSeconds, 0.05);
    ASSERT_LE(clamped.rampSeconds, 5);
    ASSERT_GE(clamped.precisionMultiplier, 0.05);
    ASSERT_LE(clamped.precisionMultiplier, 1);
    ASSERT_GE(clamped.boostMultiplier, 1);
    ASSERT_LE(clamped.boostMultiplier, 4);
    ASSERT_EQ(clamped.clamped(), clamped);
  }
}

TEST(Appearance, InitialValuesAndScales) {
  AppearanceSettings initial;
  EXPECT_EQ(initial.badgePlacement, AppearanceSettings::BadgePlacement::nearPointer);
  EXPECT_EQ(initial.badgeSize, AppearanceSettings::Size::regular);
  EXPECT_EQ(initial.hintSize, AppearanceSettings::Size::regular);
  EXPECT_EQ(initial.hintOpacity, 0.92);
  EXPECT_EQ(scale(AppearanceSettings::Size::small), 0.85);
  EXPECT_EQ(scale(AppearanceSettings::Size::regular), 1.0);
  EXPECT_EQ(scale(AppearanceSettings::Size::large), 1.3);
  EXPECT_EQ(ScrollProfile::standard(), (ScrollProfile{900, 0.6, false}));
}

TEST(RecordJson, EveryRecordRoundTrips) {
  EntryConfig entry{Gesture::key(49, Modifiers{Modifiers::command, Modifiers::shift}), true,
                    Gesture::modifierTap(61)};
  EXPECT_EQ(roundTrip(entry), entry);
  CursorBinding binding{CursorAction::dragHold, Gesture::key(Key::leftCommand)};
  EXPECT_EQ(roundTrip(binding), binding);
  MotionProfile odd{-3.5, 0, 1e-9, 123456.789, 5};
  EXPECT_EQ(roundTrip(odd), odd);
  EXPECT_EQ(roundTrip(ScrollProfile{1.25, 0, true}), (ScrollProfile{1.25, 0, true}));
  AppearanceSettings look{AppearanceSettings::BadgePlacement::screenCorner,
                          AppearanceSettings::Size::small, AppearanceSettings::Size::large, 5};
  EXPECT_EQ(roundTrip(look), look);

  EXPECT_EQ(json::writePretty(ScrollProfile::standard().toJson()),
            "{\n  \"maximumSpeed\": 900.0,\n  \"rampSeconds\": 0.6,\n  \"reverse\": false\n}");
}

TEST(RecordJson, WholeNumbersAndUnknownMembersAreAccepted) {
  auto profile = decode<MotionProfile>(
      R"({"initialSpeed": 80, "maximumSpeed": 1100, "rampSeconds": 0.9,
          "precisionMultiplier": 0.2, "boostMultiplier": 2, "comment": "mine"})");
  EXPECT_EQ(profile, MotionProfile::gentle());
  auto look = decode<AppearanceSettings>(
      R"({"badgePlacement": "nearPointer", "badgeSize": "regular", "hintSize": "large",
          "hintOpacity": 1, "extra": [1, 2]})");
  EXPECT_EQ(look.hintSize, AppearanceSettings::Size::large);
  EXPECT_EQ(look.hintOpacity, 1.0);
}

// Dropping any one member of a valid record fails with a missing-key error naming it.
template <class T>
void expectEveryMemberRequired(const T& record) {
  json::Value full = record.toJson();
  for (const auto& [name, member] : full.items()) {
    json::Value partial = full;
    partial.erase(name);
    try {
      (void)T::fromJson(json::Reader(partial));
      ADD_FAILURE() << "read without " << name;
    } catch (const json::DecodingError& error) {
      EXPECT_EQ(error.kind(), Kind::keyNotFound) << name;
      EXPECT_NE(error.debugDescription().find("“" + name + "”"), std::string::npos);
    }
  }
}

TEST(RecordJson, EveryMemberIsRequired) {
  expectEveryMemberRequired(EntryConfig{Gesture::key(53), false, Gesture::key(53)});
  expectEveryMemberRequired(CursorBinding{CursorAction::help, Gesture::key(44, Modifiers::shift)});
  expectEveryMemberRequired(MotionProfile::balanced());
  expectEveryMemberRequired(ScrollProfile::standard());
  expectEveryMemberRequired(AppearanceSettings{});
}

TEST(RecordJson, WrongTypesAndUnknownTextsFail) {
  struct Case {
    std::string text;
    Kind kind;
    std::string path;
  };
  const std::vector<Case> scroll = {
      {R"({"maximumSpeed": "900", "rampSeconds": 0.6, "reverse": false})", Kind::typeMismatch,
       "maximumSpeed"},
      {R"({"maximumSpeed": 900, "rampSeconds": 0.6, "reverse": 0})", Kind::typeMismatch, "reverse"},
      {R"({"maximumSpeed": 900, "rampSeconds": null, "reverse": false})", Kind::valueNotFound,
       "rampSeconds"},
      {R"([900, 0.6, false])", Kind::typeMismatch, ""},
  };
  for (const auto& c : scroll) {
    try {
      (void)decode<ScrollProfile>(c.text);
      ADD_FAILURE() << c.text;
    } catch (const json::DecodingError& error) {
      EXPECT_EQ(error.kind(), c.kind) << c.text;
      EXPECT_EQ(json::pathText(error.codingPath()), c.path) << c.text;
    }
  }
  try {
    (void)decode<AppearanceSettings>(
        R"({"badgePlacement": "nearPointer", "badgeSize": "huge", "hintSize": "large",
            "hintOpacity": 1})");
    FAIL();
  } catch (const json::DecodingError& error) {
    EXPECT_EQ(error.kind(), Kind::dataCorrupted);
    EXPECT_EQ(json::pathText(error.codingPath()), "badgeSize");
  }
  try {
    (void)decode<CursorBinding>(
        R"({"action": "jump", "gesture": {"key": {"code": 1, "modifiers": 0}}})");
    FAIL();
  } catch (const json::DecodingError& error) {
    EXPECT_EQ(error.kind(), Kind::dataCorrupted);
    EXPECT_EQ(error.debugDescription(),
              "Cannot initialize CursorAction from invalid String value jump");
  }
  try {
    (void)decode<EntryConfig>(
        R"({"gesture": {}, "separateExit": true, "exit": {"key": {"code": 53, "modifiers": 0}}})");
    FAIL();
  } catch (const json::DecodingError& error) {
    EXPECT_EQ(error.debugDescription(), "Invalid number of keys found, expected one.");
    EXPECT_EQ(json::pathText(error.codingPath()), "gesture");
  }
}

TEST(CursorBinding, EqualBindingsHashAlike) {
  std::unordered_set<CursorBinding> set;
  set.insert({CursorAction::leftClick, Gesture::key(Key::space)});
  set.insert({CursorAction::leftClick, Gesture::key(Key::space)});
  set.insert({CursorAction::middleClick, Gesture::key(Key::space)});
  set.insert({CursorAction::leftClick, Gesture::modifierTap(Key::space)});
  EXPECT_EQ(set.size(), 3u);
}

}  // namespace
}  // namespace tovrel
