#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

#include "core/ConfigValidator.hpp"
#include "core/MouselessImport.hpp"
#include "core/Unicode.hpp"

namespace tovrel {
namespace {

namespace MI = MouselessImport;
using A = CursorAction;

constexpr Modifiers cmd = Modifiers::command;
constexpr Modifiers shift = Modifiers::shift;

TEST(MouselessImport, SpecGivesItsChordOrNothing) {
  const std::vector<std::pair<std::string, std::optional<Gesture>>> cases = {
      {"OptionRight tap", Gesture::modifierTap(Key::rightOption)},
      {"OptionRight", Gesture::key(Key::rightOption)},
      {"'AltLeft tap'", Gesture::modifierTap(Key::leftOption)},
      {"optionright tap", std::nullopt},
      {"Foo tap", std::nullopt},
      {"'j'", Gesture::key(Key::j)},
      {" \tJ ", Gesture::key(Key::j)},
      {"'j", std::nullopt},
      {"'je\u0301", Gesture::key(Key::j)},  // the accented closing character goes whole
      {"\"'\"", Gesture::key(39)},
      {"cmd+shift+Return", Gesture::key(Key::returnKey, {cmd, shift})},
      {"Ctrl+OPTION+k", Gesture::key(Key::k, {Modifiers::control, Modifiers::option})},
      {"command+cmd++=", Gesture::key(24, cmd)},
      {"hyper+k", std::nullopt},
      {"cmd+", std::nullopt},
      {"+", std::nullopt},
      {"shift + k", std::nullopt},
      {"Space", Gesture::key(Key::space)},
      {"space", std::nullopt},
      {"\u212A", Gesture::key(Key::k)},          // Kelvin sign lower-cases to k
      {"\u037E", Gesture::key(Key::semicolon)},  // canonically a semicolon
      {"\xFF", std::nullopt},
  };
  for (const auto& [spec, expected] : cases)
    EXPECT_EQ(MI::gesture(spec), expected) << spec;
}

MouselessImport::Parsed commandsOnly(std::map<std::string, std::vector<std::string>> commands) {
  return {std::move(commands), std::nullopt, false};
}

MouselessImport::Parsed settingsOnly(std::optional<std::int64_t> tapThreshold, bool hadSpeed) {
  return {{}, tapThreshold, hadSpeed};
}

TEST(MouselessImport, ParseReadsEntriesAndSettings) {
  constexpr std::int64_t minimum = std::numeric_limits<std::int64_t>::min();
  const MI::Parsed nothing = settingsOnly(std::nullopt, false);
  const std::vector<std::pair<std::string, MI::Parsed>> cases = {
      {"- entries:\n    move up: k\n      - j\n    move down:\n    move up: h\n    b: null\n",
       commandsOnly({{"move up", {"h"}}, {"move down", {}}, {"b", {}}})},
      {"- entries:\n    a: k\n      - j\n    a:\n    a: null\n", commandsOnly({{"a", {"k", "j"}}})},
      {"- entries:\n    a: x\n   b: y\n    c: z\n", commandsOnly({{"a", {"x"}}})},
      {"- entries:\n    a: x\n\n    c: z\n- entries:\n    d:   e  f \n",
       commandsOnly({{"a", {"x"}}, {"d", {"e  f"}}})},
      {"- entries:\n    a: x\n\t\t\t\tb: y\n    c: z\n", commandsOnly({{"a", {"x"}}})},
      {"- entries:\n      - stray\n    a:b\n    c:\n      -  d\n      -\n",
       commandsOnly({{"c", {" d"}}})},
      {"  - entries:  \n    c: z\n", commandsOnly({{"c", {"z"}}})},
      {"- entries:\u2028    a: x\u0085    b: y\u2029    c: z\v    d: w\f    e: v\r    f: u",
       commandsOnly(
           {{"a", {"x"}}, {"b", {"y"}}, {"c", {"z"}}, {"d", {"w"}}, {"e", {"v"}}, {"f", {"u"}}})},
      {"tap_threshold_ms: +42\nbase_move_speed: 3\n", settingsOnly(42, true)},
      {"- tap_threshold_ms:   -7  \n  - move_speed_multiplier: 2\n", settingsOnly(-7, true)},
      {"tap_threshold_ms: -9223372036854775808", settingsOnly(minimum, false)},
      {"tap_threshold_ms: 9223372036854775808", nothing},
      {"tap_threshold_ms: 250 # ms", nothing},
      {"tap_threshold_ms: 300\ntap_threshold_ms: +-5", nothing},
      {"tap_threshold_ms: \u0661", nothing},
      {"tap_threshold_ms:", nothing},
  };
  for (const auto& [text, expected] : cases)
    EXPECT_EQ(MI::parse(text), expected) << text;
}

TEST(MouselessImport, RowsOfSmallFiles) {
  const std::string entries = "- entries:\n    ";
  const std::string unknown = "“Foo” is not a key Tovrel recognizes.";
  const std::string notSupported =
      "Not supported in Tovrel (grid, overlay, or Mouseless-specific command).";
  const std::vector<std::pair<std::string, std::vector<MI::Row>>> cases = {
      {entries + "move up: null\n    move down:\n", {}},
      {entries + "move up:\n      - ArrowUp\n      - shift+k\n",
       {{"move up", "ArrowUp, shift+k", "Move up: Up Arrow, Shift K", std::nullopt}}},
      {entries + "wheel up: k\n      - Foo\n", {{"wheel up", "k, Foo", "Scroll up: K", unknown}}},
      {entries + "wheel up: Foo\n      - k\n", {{"wheel up", "Foo, k", "Scroll up: K", unknown}}},
      {entries + "left mouse button: OptionLeft tap\n",
       {{"left mouse button", "OptionLeft tap", "—",
         "A modifier tap cannot be an in-mode action."}}},
      {entries + "execute mouse action: 'k'\n",
       {{"execute mouse action", "'k'", "Left click: K",
         "Mouseless runs the selected button; Tovrel maps this key to a left click."}}},
      {entries + "enter free mode: Foo\n", {{"enter free mode", "Foo", "—", notSupported}}},
      {entries + "toggle grid mode: g\n    exit free mode: Escape\n",
       {{"exit free mode", "Escape", "Moving stop: Escape", std::nullopt},
        {"toggle grid mode", "g", "—", notSupported}}},
      {entries + "enter free mode: OptionRight tap\n",
       {{"enter free mode", "OptionRight tap", "Moving start: Right Alt tap",
         "Check that Mouseless no longer uses this key, or both apps will react."}}},
      {entries + "toggle label mode: cmd+shift+Space\n      - Foo\n",
       {{"toggle label mode", "cmd+shift+Space, Foo", "Clicking start: Super Shift Space",
         "Mouseless labels are grid cells; Tovrel labels accessible controls."}}},
      {"base_move_speed: 2\ntap_threshold_ms: 50\n" + entries + "b: x\n",
       {{"b", "x", "—", notSupported},
        {"tap_threshold_ms", "50", "Modifier tap limit: 100 ms", std::nullopt},
        {"base_move_speed and multipliers", "frame-based", "Keeps Gentle speed",
         "Mouseless speeds are per frame and cannot be converted exactly. Tune with the practice "
         "area."}}},
  };
  for (const auto& [yaml, expected] : cases)
    EXPECT_EQ(MI::translate(yaml, TovrelConfig::defaults()).rows, expected) << yaml;
}

TEST(MouselessImport, ProposalFollowsTheImport) {
  TovrelConfig base;
  base.motion.boostMultiplier += 0.5;
  base.cursorBindings.push_back({A::leftClick, Gesture::key(Key::x)});

  MI::Result nothing = MI::translate("move up: k\nnoise\n", base);
  EXPECT_EQ(nothing, (MI::Result{{}, base, ConfigValidator::problems(base)}));

  MI::Result clicks = MI::translate(
      "- entries:\n    left click: x\n      - x\n    wheel up: u\n    execute mouse action: "
      "ctrl+z\nbase_move_speed: 1\ntap_threshold_ms: 900\n",
      base);
  std::vector<CursorBinding> expected = base.cursorBindings;
  std::erase_if(expected, [](auto& binding) {
    return binding.action == A::leftClick || binding.action == A::scrollUp;
  });
  expected.push_back({A::scrollUp, Gesture::key(Key::u)});
  expected.push_back({A::leftClick, Gesture::key(Key::z, Modifiers::control)});
  expected.push_back({A::leftClick, Gesture::key(Key::x)});
  expected.push_back({A::leftClick, Gesture::key(Key::x)});
  EXPECT_EQ(clicks.proposed.cursorBindings, expected);
  EXPECT_EQ(clicks.proposed.profileName, "Imported from Mouseless");
  EXPECT_EQ(clicks.proposed.modifierTapMaxMilliseconds, 600);
  EXPECT_EQ(clicks.proposed.motion, base.motion);
  EXPECT_EQ(clicks.rows.back().proposal, "Keeps custom speed");

  // Name order: "toggle" commands run after "enter" and "exit" and win.
  MI::Result modes = MI::translate(
      "- entries:\n    toggle free mode: OptionLeft tap\n    exit free mode: F\n    enter free "
      "mode: g\n    toggle label mode: b\n    enter label mode: a\n",
      base);
  TovrelConfig modesExpected = base;
  modesExpected.cursorEntry = {Gesture::modifierTap(Key::leftOption), false, Gesture::key(Key::f)};
  modesExpected.clickEntry.gesture = Gesture::key(Key::b);
  EXPECT_EQ(modes.proposed, modesExpected);
}

const char* const sampleFile =
    "tap_threshold_ms: 180\n- entries:\n    move left: ArrowLeft\n      - h\n    enter label "
    "mode: cmd+Space\n    grid: g\nbase_move_speed: 4\n- entries:\n    move down: j\n";

TEST(MouselessImport, EveryLineEndImportsAlike) {
  MI::Result lf = MI::translate(sampleFile, TovrelConfig::defaults());
  ASSERT_EQ(lf.rows.size(), 6u);
  for (std::string separator : {"\r\n", "\r", "\u2028", "\u0085"}) {
    std::string text = sampleFile;
    for (std::size_t at = text.find('\n'); at != std::string::npos;
         at = text.find('\n', at + separator.size()))
      text.replace(at, 1, separator);
    EXPECT_EQ(MI::translate(text, TovrelConfig::defaults()), lf) << text;
  }
}

// Lines are assembled from an indent, a head, filler and a line end, so that most rounds reach
// the entries section and its rows; a fifth of the filler is raw bytes.
TEST(MouselessImport, AnyInputGivesAValidatedProposal) {
  using Parts = std::vector<std::string>;
  const Parts indents = {"", "  ", "    ", "      - ", "\t", "     \t"};
  const Parts heads = {"- entries:", "move up:",           "left click: ",      "exit free mode: ",
                       "grid",       "tap_threshold_ms: ", "base_move_speed: 1"};
  const Parts filler = {
      "-12", "+7", "cmd+", "OptionRight tap", "k",       "'",     "\"", "+", ": ", "null",
      "\t",  " ",  "\xFF", "\xE2\x80",        "e\u0301", "\u212A"};
  const Parts lineEnds = {"\n", "\r\n", "\r", "\u2028", "\xC2\x85", "\v"};
  std::mt19937 generator(1108);
  auto pick = [&](const Parts& parts) -> const std::string& {
    return parts[generator() % parts.size()];
  };
  std::size_t rowCount = 0;
  for (int round = 0; round < 400; ++round) {
    std::string text;
    const std::size_t lineCount = round == 0 ? 20000 : generator() % 16;
    for (std::size_t line = 0; line < lineCount; ++line) {
      text += pick(indents) + pick(heads);
      for (std::size_t piece = generator() % 4; piece > 0; --piece)
        text += generator() % 5 ? pick(filler) : std::string(1, static_cast<char>(generator()));
      text += pick(lineEnds);
    }
    MI::Result result;
    ASSERT_NO_THROW(result = MI::translate(text, TovrelConfig::defaults())) << round;
    EXPECT_EQ(result.problems, ConfigValidator::problems(result.proposed)) << round;
    for (const MI::Row& row : result.rows) {
      EXPECT_TRUE(unicode::isValidUtf8(row.source + row.sourceBinding + row.proposal +
                                       row.issue.value_or("")))
          << round;
    }
    rowCount += result.rows.size();
  }
  // Guards the generator: inputs that never form a row would prove little.
  EXPECT_GT(rowCount, 100u);
}

}  // namespace
}  // namespace tovrel
