#include "core/TovrelConfig.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "core/Presets.hpp"

namespace tovrel {
namespace {

TovrelConfig read(std::string_view text) {
  json::Value document = json::parse(text);
  return TovrelConfig::fromJson(json::Reader(document));
}

TovrelConfig roundTrip(const TovrelConfig& config) {
  return read(json::writePretty(config.toJson()));
}

// A configuration with every field drawn at random, all seven controls present.
TovrelConfig randomConfig(std::mt19937& random) {
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto gesture = [&]() {
    auto code = static_cast<std::uint16_t>(random() % 65536);
    return pick(3) == 0 ? Gesture::modifierTap(code)
                        : Gesture::key(code, Modifiers(static_cast<std::uint8_t>(random())));
  };
  auto number = [&]() { return std::uniform_real_distribution<double>(-1e6, 1e6)(random); };
  auto text = [&]() {
    static const std::vector<std::string> pieces = {"a", "Ω", "\"", "\\", "\n", " ", "é", "😀"};
    std::string result;
    for (int i = pick(6); i > 0; --i)
      result += pieces[static_cast<std::size_t>(pick(static_cast<int>(pieces.size())))];
    return result;
  };
  auto entry = [&]() { return EntryConfig{gesture(), pick(2) == 0, gesture()}; };

  TovrelConfig config;
  config.schemaVersion = static_cast<std::int64_t>(random()) - 1000;
  config.profileName = text();
  config.cursorEntry = entry();
  config.clickEntry = entry();
  config.scrollEntry = entry();
  config.cursorBindings.clear();
  for (int i = pick(20); i > 0; --i) {
    config.cursorBindings.push_back(
        {allCases<CursorAction>()[static_cast<std::size_t>(pick(18))], gesture()});
  }
  for (auto& [control, bound] : config.clickControls)
    bound = gesture();
  config.motion = {number(), number(), number(), number(), number()};
  config.scrolling = {number(), number(), pick(2) == 0};
  config.dragStyle = pick(2) == 0 ? DragStyle::hold : DragStyle::toggle;
  for (bool* flag :
       {&config.exitCursorOnMouse, &config.confineToCurrentDisplay, &config.clickSearchFirst,
        &config.clickRequireReturn, &config.clickStaysActive, &config.clickPointerFallback,
        &config.clickLabelsMenuBar, &config.clickLabelsDock, &config.showMenuBarIcon}) {
    *flag = pick(2) == 0;
  }
  config.clickAlphabet = text();
  config.modifierTapMaxMilliseconds = static_cast<std::int64_t>(random()) * (pick(2) ? 1 : -1);
  config.excludedBundleIDs.clear();
  for (int i = pick(4); i > 0; --i)
    config.excludedBundleIDs.push_back(text());
  config.appearance = {pick(2) == 0 ? AppearanceSettings::BadgePlacement::nearPointer
                                    : AppearanceSettings::BadgePlacement::screenCorner,
                       static_cast<AppearanceSettings::Size>(pick(3)),
                       static_cast<AppearanceSettings::Size>(pick(3)), number()};
  return config;
}

TEST(TovrelConfig, Defaults) {
  const TovrelConfig& config = TovrelConfig::defaults();
  EXPECT_EQ(config, TovrelConfig());
  EXPECT_EQ(config.schemaVersion, 2);
  EXPECT_EQ(config.profileName, "Standard");
  EXPECT_EQ(config.cursorEntry.gesture.displayName(), "Right Alt tap");
  EXPECT_EQ(config.clickEntry.gesture.displayName(), "Super Shift Space");
  EXPECT_EQ(config.scrollEntry.gesture.displayName(), "Super Shift J");
  for (const auto& [mode, entry] : config.entries()) {
    EXPECT_TRUE(entry.separateExit);
    EXPECT_EQ(entry.exit.displayName(), "Escape");
  }
  EXPECT_EQ(config.cursorBindings, Presets::standard().cursorBindings);
  EXPECT_EQ(config.motion.presetName(), "Gentle");
  EXPECT_EQ(config.clickAlphabet.size(), 26u);
  EXPECT_EQ(config.modifierTapMaxMilliseconds, 250);
  EXPECT_TRUE(config.clickPointerFallback && config.clickLabelsMenuBar && config.clickLabelsDock);
  EXPECT_FALSE(config.showMenuBarIcon || config.clickStaysActive || config.exitCursorOnMouse);
}

TEST(TovrelConfig, EntriesByMode) {
  TovrelConfig config;
  EXPECT_EQ(config.entry(InteractionMode::off), std::nullopt);
  EXPECT_EQ(config.entry(InteractionMode::scroll), config.scrollEntry);
  EntryConfig changed{Gesture::key(Key::k), false, Gesture::key(Key::escape)};
  config.setEntry(changed, InteractionMode::off);
  EXPECT_EQ(config, TovrelConfig::defaults());
  config.setEntry(changed, InteractionMode::click);
  EXPECT_EQ(config.clickEntry, changed);
  EXPECT_EQ(config.entries()[1].second, changed);
}

TEST(TovrelConfig, WritesEveryMemberSortedByName) {
  json::Value written = json::parse(json::writePretty(TovrelConfig::defaults().toJson()));
  std::vector<std::string> names;
  for (const auto& [name, value] : written.items())
    names.push_back(name);
  const std::vector<std::string> expected = {"appearance",
                                             "clickAlphabet",
                                             "clickControls",
                                             "clickEntry",
                                             "clickLabelsDock",
                                             "clickLabelsMenuBar",
                                             "clickPointerFallback",
                                             "clickRequireReturn",
                                             "clickSearchFirst",
                                             "clickStaysActive",
                                             "confineToCurrentDisplay",
                                             "cursorBindings",
                                             "cursorEntry",
                                             "dragStyle",
                                             "excludedBundleIDs",
                                             "exitCursorOnMouse",
                                             "modifierTapMaxMilliseconds",
                                             "motion",
                                             "profileName",
                                             "schemaVersion",
                                             "scrollEntry",
                                             "scrolling",
                                             "showMenuBarIcon"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(written["clickControls"]["refresh"],
            json::parse(R"({"key":{"code":15,"modifiers":1}})"));
  EXPECT_EQ(written["cursorEntry"]["gesture"], json::parse(R"({"modifierTap":{"code":61}})"));
}

TEST(TovrelConfig, RoundTripsEveryField) {
  EXPECT_EQ(roundTrip(TovrelConfig::defaults()), TovrelConfig::defaults());
  std::mt19937 random(2024);
  for (int i = 0; i < 300; ++i) {
    TovrelConfig config = randomConfig(random);
    ASSERT_EQ(roundTrip(config), config) << json::writePretty(config.toJson());
  }
}

TEST(TovrelConfig, AbsentAndNullMembersTakeTheirDefaults) {
  TovrelConfig expected;
  expected.schemaVersion = 1;
  EXPECT_EQ(read("{}"), expected);
  EXPECT_EQ(read(R"({"schemaVersion": null, "motion": null, "unknownMember": [1, 2]})"), expected);
  EXPECT_EQ(read(R"({"schemaVersion": 2})"), TovrelConfig::defaults());

  TovrelConfig empty = read(R"({"excludedBundleIDs": null, "cursorBindings": []})");
  EXPECT_TRUE(empty.excludedBundleIDs.empty());
  EXPECT_TRUE(empty.cursorBindings.empty());
  // Values are taken as they are: judging them is the validator's work.
  EXPECT_EQ(read(R"({"modifierTapMaxMilliseconds": -5})").modifierTapMaxMilliseconds, -5);
}

TEST(TovrelConfig, ClickControlsFallBackWithoutFailing) {
  const auto& defaults = Presets::standardClickControls();
  const Gesture r = Gesture::key(Key::r);
  struct Case {
    const char* member;
    bool refreshIsR;
  };
  const Case cases[] = {
      {R"({"refresh": {"key": {"code": 15, "modifiers": 0}}})", true},
      {R"({"refresh": {"key": {"code": 15, "modifiers": 0}},
           "somethingElse": {"key": {"code": 1, "modifiers": 0}}})",
       true},
      {R"({"refresh": {"key": {"code": 15, "modifiers": 0}}, "nextTarget": 5})", false},
      {R"({"refresh": {"key": {"code": 15, "modifiers": 0}}, "other": {"key": {}}})", false},
      {R"([{"key": {"code": 15, "modifiers": 0}}])", false},
      {R"("refresh")", false},
      {R"({})", false},
  };
  for (const Case& c : cases) {
    TovrelConfig config = read(std::string(R"({"clickControls": )") + c.member + "}");
    std::map<ClickControl, Gesture> expected = defaults;
    if (c.refreshIsR) expected[ClickControl::refresh] = r;
    EXPECT_EQ(config.clickControls, expected) << c.member;
  }
}

TEST(TovrelConfig, MalformedMembersFailTheWholeRead) {
  const char* documents[] = {
      R"([])",
      R"({"motion": {"initialSpeed": 80}})",
      R"({"dragStyle": "drag"})",
      R"({"schemaVersion": "2"})",
      R"({"schemaVersion": 2.5})",
      R"({"cursorEntry": {"gesture": {"modifierTap": {"code": 61}}, "separateExit": true}})",
      R"({"cursorBindings": [{"action": "jump", "gesture": {"key": {"code": 1, "modifiers": 0}}}]})",
      R"({"cursorBindings": [null]})",
      R"({"excludedBundleIDs": ["a", 3]})",
      R"({"appearance": {"badgePlacement": "nearPointer", "badgeSize": "huge",
                         "hintSize": "small", "hintOpacity": 1}})",
      R"({"clickLabelsDock": 1})",
      R"({"profileName": false})",
  };
  for (const char* document : documents)
    EXPECT_THROW(read(document), json::DecodingError) << document;
}

TEST(TovrelConfig, NonFiniteNumbersCannotBeWritten) {
  TovrelConfig config;
  config.motion.rampSeconds = std::nan("");
  EXPECT_THROW(json::writePretty(config.toJson()), json::EncodingError);
  config = TovrelConfig();
  config.appearance.hintOpacity = -INFINITY;
  EXPECT_THROW(json::writePretty(config.toJson()), json::EncodingError);
}

}  // namespace
}  // namespace tovrel
