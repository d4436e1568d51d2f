#include "app/settings/pages/EntryLogic.hpp"

#include <gtest/gtest.h>

#include "core/ConfigValidator.hpp"

namespace tovrel::settings {
namespace {

const Gesture commandSpace = Gesture::key(Key::space, Modifiers::command);

TEST(EntryLogic, WarningsAreThoseNamingTheModeOrItsStartGesture) {
  TovrelConfig config = TovrelConfig::defaults();
  // Moving starts with a chord the desktop is known to use; Scrolling stops with a plain "J".
  config.cursorEntry.gesture = commandSpace;
  config.scrollEntry.separateExit = true;
  config.scrollEntry.exit = Gesture::key(Key::j);
  const std::vector<std::string> all = ConfigValidator::warnings(config);
  ASSERT_EQ(all.size(), 2u);
  const std::string& shortcut = all[0].find("may already") != std::string::npos ? all[0] : all[1];
  const std::string& typed = &shortcut == &all[0] ? all[1] : all[0];

  struct Row {
    InteractionMode mode;
    std::vector<std::string> expected;
  };
  const Row rows[] = {
      {InteractionMode::cursor, {shortcut}},
      // "…cannot be typed in Clicking search…" names Clicking: every stop-key warning shows there.
      {InteractionMode::click, {typed}},
      {InteractionMode::scroll, {typed}},
      {InteractionMode::off, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(name(row.mode)));
    EXPECT_EQ(entryWarnings(config, row.mode), row.expected);
  }
}

TEST(EntryLogic, PreviewCaptionsComeFromTheFirstBindingOfEachAction) {
  struct Row {
    const char* name;
    std::vector<CursorBinding> bindings;
    PreviewCaptions expected;
  };
  auto with = [](std::initializer_list<std::pair<std::string, std::string>> changes) {
    PreviewCaptions captions;
    for (const auto& [field, value] : changes) {
      if (field == "up") captions.up = value;
      if (field == "right") captions.right = value;
      if (field == "click") captions.click = value;
    }
    return captions;
  };
  const Row rows[] = {
      {"none bound: the fallbacks", {}, {}},
      {"a chord gives its first character",
       {{CursorAction::moveUp, Gesture::key(Key::i, Modifiers::control)},
        {CursorAction::moveUp, Gesture::key(Key::w)}},
       with({{"up", "C"}})},
      {"Enter becomes the enter symbol",
       {{CursorAction::leftClick, Gesture::key(Key::returnKey)}},
       with({{"click", "↵"}})},
      {"Space stays whole; one character stays",
       {{CursorAction::leftClick, Gesture::key(Key::space)},
        {CursorAction::moveRight, Gesture::key(Key::semicolon)}},
       with({{"click", "Space"}, {"right", ";"}})},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TovrelConfig config;
    config.cursorBindings = row.bindings;
    EXPECT_EQ(previewCaptions(config), row.expected);
  }
  EXPECT_EQ(shortenCaption("F12"), "F");
  EXPECT_EQ(shortenCaption("F1"), "F1");
  EXPECT_EQ(shortenCaption("⌫x"), "⌫x");
  EXPECT_EQ(shortenCaption("⌫xy"), "⌫");
}

TEST(EntryLogic, EditsChangeOnlyTheirModesGestureAndSayWhat) {
  const TovrelConfig& base = TovrelConfig::defaults();
  const Gesture tap = Gesture::modifierTap(Key::rightCommand);
  EXPECT_FALSE(startEdit(base, InteractionMode::cursor, std::nullopt));
  EXPECT_FALSE(stopEdit(base, InteractionMode::scroll, std::nullopt));

  auto start = startEdit(base, InteractionMode::scroll, tap);
  ASSERT_TRUE(start);
  EXPECT_EQ(start->change, "Scrolling starts with " + tap.displayName());
  TovrelConfig expected = base;
  expected.scrollEntry.gesture = tap;
  EXPECT_EQ(start->config, expected);

  auto stop = stopEdit(base, InteractionMode::click, Gesture::key(Key::escape));
  ASSERT_TRUE(stop);
  EXPECT_EQ(stop->change, "Clicking stops with Escape");
  expected = base;
  expected.clickEntry.exit = Gesture::key(Key::escape);
  EXPECT_EQ(stop->config, expected);
}

}  // namespace
}  // namespace tovrel::settings
