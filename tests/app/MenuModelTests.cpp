#include "app/shell/MenuModel.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tovrel::shell {
namespace {

using A = MenuAction;
constexpr auto D = MenuTarget::delegate;
constexpr auto F = MenuTarget::focus;

// One menu line as a person reads it: the menu, the title ("-" for a separator), what it does,
// the shortcut as typed ("Ctrl+Shift+Z", "" for none) and who carries it out.
struct Line {
  std::string menu;
  std::string title;
  std::optional<MenuAction> action;
  std::string shortcut;
  MenuTarget target;
  bool operator==(const Line&) const = default;
};

void PrintTo(const Line& line, std::ostream* out) {
  *out << line.menu << " | " << line.title << " | "
       << (line.action ? static_cast<int>(*line.action) : -1) << " | " << line.shortcut << " | "
       << (line.target == D ? "delegate" : "focus");
}

std::string shortcut(const MenuItem& item) {
  if (!item.key) return "";
  std::string key = item.key->key;
  for (char& c : key)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return std::string("Ctrl+") + (item.key->shift ? "Shift+" : "") + key;
}

std::vector<Line> lines(const std::string& menu, const std::vector<MenuItem>& items) {
  std::vector<Line> out;
  for (const auto& item : items)
    out.push_back(
        {menu, item.separator ? "-" : item.title, item.action, shortcut(item), item.target});
  return out;
}

std::vector<Line> modeLines(const std::string& menu) {
  return {{menu, "Start Moving", A::enterCursor, "", D},
          {menu, "Start Clicking", A::enterClick, "", D},
          {menu, "Start Scrolling", A::enterScroll, "", D},
          {menu, "Stop Navigation", A::stopNavigation, "Ctrl+.", D}};
}

TEST(MenuModel, MainMenuReadsAsTheTable) {
  const std::string T = "Tovrel", E = "Edit", W = "Window", H = "Help";
  std::vector<Line> expected = {
      {T, "About Tovrel", A::about, "", F},
      {T, "-", {}, "", F},
      {T, "Settings…", A::showSettings, "Ctrl+,", D},
      {T, "-", {}, "", F},
      {T, "Hide Tovrel", A::hide, "Ctrl+H", F},
      {T, "Quit Tovrel", A::quit, "Ctrl+Q", F},
      {E, "Undo", A::undo, "Ctrl+Z", F},
      {E, "Redo", A::redo, "Ctrl+Shift+Z", F},
      {E, "-", {}, "", F},
      {E, "Cut", A::cut, "Ctrl+X", F},
      {E, "Copy", A::copy, "Ctrl+C", F},
      {E, "Paste", A::paste, "Ctrl+V", F},
      {E, "Select All", A::selectAll, "Ctrl+A", F},
  };
  for (auto& line : modeLines("Navigation"))
    expected.push_back(line);
  for (const Line& line : std::vector<Line>{{W, "Minimize", A::minimize, "Ctrl+M", F},
                                            {W, "Close", A::close, "Ctrl+W", F},
                                            {H, "Moving Keys", A::showKeys, "", D},
                                            {H, "Accessibility Access Help", A::openHelp, "", D}})
    expected.push_back(line);

  std::vector<Line> actual;
  for (const auto& menu : mainMenu())
    for (auto& line : lines(menu.title, menu.items))
      actual.push_back(line);
  EXPECT_EQ(actual, expected);
}

TEST(MenuModel, DockAndStatusMenus) {
  auto dock = modeLines("");
  dock.push_back({"", "-", {}, "", F});
  dock.push_back({"", "Settings…", A::showSettings, "", D});
  EXPECT_EQ(lines("", dockMenu()), dock);

  const struct {
    std::optional<InteractionMode> mode;
    std::string heading;
  } cases[] = {{std::nullopt, "Typing"},
               {InteractionMode::off, "Typing"},
               {InteractionMode::cursor, "Moving"},
               {InteractionMode::click, "Clicking"},
               {InteractionMode::scroll, "Scrolling"}};
  for (const auto& c : cases) {
    std::vector<Line> expected = {{"", c.heading, {}, "", F}, {"", "-", {}, "", F}};
    for (auto& line : modeLines(""))
      expected.push_back(line);
    expected.push_back({"", "-", {}, "", F});
    expected.push_back({"", "Settings…", A::showSettings, "", D});
    expected.push_back({"", "Quit Tovrel", A::quit, "", F});
    const auto menu = statusMenu(c.mode);
    EXPECT_EQ(lines("", menu), expected) << c.heading;
    ASSERT_FALSE(menu.empty());
    EXPECT_FALSE(menu.front().enabled) << "the heading only names the mode";
    for (std::size_t i = 1; i < menu.size(); ++i)
      EXPECT_TRUE(menu[i].enabled) << menu[i].title;
  }
}

TEST(MenuModel, StatusSymbolAndDescriptionPerMode) {
  const struct {
    InteractionMode mode;
    std::string_view symbol;
    std::string description;
  } cases[] = {{InteractionMode::off, "keyboard", "Tovrel: off"},
               {InteractionMode::cursor, "cursorarrow.motionlines", "Tovrel: cursor"},
               {InteractionMode::click, "hand.point.up.left", "Tovrel: click"},
               {InteractionMode::scroll, "scroll", "Tovrel: scroll"}};
  for (const auto& c : cases) {
    EXPECT_EQ(statusSymbol(c.mode), c.symbol);
    EXPECT_EQ(statusDescription(c.mode), c.description);
  }
}

}  // namespace
}  // namespace tovrel::shell
