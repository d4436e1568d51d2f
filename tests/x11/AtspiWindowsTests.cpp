// Toolkits whose frames are window-relative, and where such a window's content lies on screen.
#include "platform/atspi/AtspiWindows.hpp"

#include "platform/atspi/AtspiRoles.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tovrel::platform::atspi {
namespace {

TEST(AtspiWindows, OnlyGtkFourAndLaterPlaceElementsWithinTheirWindow) {
  struct Case {
    std::string name;
    std::string version;
    bool relative;
  };
  const Case cases[] = {
      {"GTK", "4.8.3", true},    {"GTK", "4.14.0", true},   {"GTK", "5", true},
      {"gtk", "4.0", true},      {"GTK", "3.24.38", false}, {"GTK", "", false},
      {"GTK", "four", false},    {"Qt", "6.4.2", false},    {"Chromium", "120.0", false},
      {"Gecko", "115.0", false}, {"", "4.8", false},
  };
  for (const auto& [name, version, relative] : cases) {
    const ToolkitConventions conventions = conventionsOf(name, version);
    EXPECT_EQ(conventions.windowRelativeExtents, relative) << name << " " << version;
    EXPECT_EQ(conventions.visibleMeansShowing, relative) << name << " " << version;
    EXPECT_EQ(ownName("GtkListItemWidget", std::nullopt, conventions).empty(), relative)
        << name << version;
    EXPECT_EQ(ownName("button", std::nullopt, conventions).empty(), relative) << name << version;
    // The toolkits whose own bridge lists actions are asked for the list; an ATK-bridged one
    // (GTK 3, and an office suite that says it is GTK 3) is asked each name by its index.
    EXPECT_EQ(conventions.listsActions, relative || name == "Qt") << name << " " << version;
    // GTK 4 keeps a cache of its own; the ATK bridge (GTK 3, the browsers) keeps one too.
    const bool atk =
        (name == "GTK" && version.starts_with("3")) || name == "Chromium" || name == "Gecko";
    EXPECT_EQ(conventions.cachesItems, relative || atk) << name << " " << version;
    // Asked frames and actions without their interfaces: only where every element has both.
    EXPECT_EQ(conventions.offersFramesAndActions, relative || name == "Chromium" || name == "Gecko")
        << name << " " << version;
  }
}

TEST(AtspiWindows, OnlyAnElementsOwnTypeOrKindStandsInForItsName) {
  const auto gtk4 = conventionsOf("GTK", "4.8");
  const auto label = static_cast<std::uint32_t>(Role::label);
  const auto button = static_cast<std::uint32_t>(Role::pushButton);
  const struct {
    const char* reported;
    std::optional<std::uint32_t> role;
    bool blank;
  } cases[] = {
      {"GtkButton", button, true},
      {"AdwSplitButton", std::nullopt, true},
      {"label", button, true},
      {"button", label, false},
      {"GtkLabel", label, true},  // an empty label
      {"GtkInscription", static_cast<std::uint32_t>(Role::staticText), true},
      // A text that shows a type's name (a row of the toolkit's own inspector) shows a name.
      {"GtkWindow", label, false},
      {"AdwButton", static_cast<std::uint32_t>(Role::heading), false},
      {"Gtk", button, false},
      {"Gtkfoo", button, false},
      {"GtkImage 2", button, false},
      {"Open", button, false},
      {"Button", button, false},
      {"buttons", button, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ownName(c.reported, c.role, gtk4).empty(), c.blank) << c.reported;
}

TEST(AtspiWindows, TheShiftPutsTheContentWhereTheFittingWindowShowsIt) {
  using Margins = std::array<int, 4>;
  struct Case {
    const char* what;
    std::vector<ScreenWindow> windows;
    int x, y, width, height;
    std::optional<Shift> expected;
    FrameIdentity identity{};
  };
  // Two windows of one application and one size, the first listed on top.
  const auto twins = [](const char* topTitle, bool topActive, const char* lowTitle,
                        bool lowActive) {
    return std::vector<ScreenWindow>{{400, 300, 700, 520, std::nullopt, topTitle, topActive},
                                     {0, 0, 700, 520, std::nullopt, lowTitle, lowActive}};
  };
  const Case cases[] = {
      {"no window", {}, 0, 0, 690, 510, std::nullopt},
      // A client-side decorated window with even resize borders around its content.
      {"even borders", {{290, 140, 700, 520, std::nullopt}}, 0, 0, 690, 510, Shift{295, 145}},
      {"no borders", {{10, 20, 300, 200, std::nullopt}}, 0, 0, 300, 200, Shift{10, 20}},
      // Shadows the toolkit names, deeper below than above.
      {"named margins",
       {{100, 50, 740, 570, Margins{20, 20, 14, 46}}},
       0,
       0,
       700,
       510,
       Shift{120, 64}},
      // A toolkit that already reports the screen position needs no shift.
      {"already on screen", {{290, 140, 700, 520, std::nullopt}}, 295, 145, 690, 510, Shift{0, 0}},
      // The window whose content fits, not the first one listed.
      {"two windows",
       {{0, 0, 1280, 800, std::nullopt}, {400, 300, 310, 210, std::nullopt}},
       0,
       0,
       300,
       200,
       Shift{405, 305}},
      // A content larger than any window still lands on the nearest fit, unshifted by margins.
      {"content larger", {{50, 60, 200, 100, std::nullopt}}, 0, 0, 300, 150, Shift{50, 60}},
      // Of windows of one size: the one of the element's title, whichever is on top or active;
      {"the title, below", twins("A", true, "B", false), 0, 0, 700, 520, Shift{0, 0}, {"B", true}},
      {"the title, on top",
       twins("A", false, "B", true),
       0,
       0,
       700,
       520,
       Shift{400, 300},
       {"A", std::nullopt}},
      // then the one as active as the element;
      {"same title, inactive",
       twins("A", true, "A", false),
       0,
       0,
       700,
       520,
       Shift{0, 0},
       {"A", false}},
      {"same title, active",
       twins("A", false, "A", true),
       0,
       0,
       700,
       520,
       Shift{0, 0},
       {"A", true}},
      // then the topmost; a better size still wins over a title.
      {"alike", twins("A", false, "A", false), 0, 0, 700, 520, Shift{400, 300}, {"A", false}},
      {"size first",
       {{400, 300, 700, 520, std::nullopt, "A", true}, {0, 0, 300, 200, std::nullopt, "B", false}},
       0,
       0,
       300,
       200,
       Shift{0, 0},
       {"A", true}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(windowShift(c.windows, c.x, c.y, c.width, c.height, windowTolerance, c.identity),
              c.expected)
        << c.what;
}

TEST(AtspiWindows, APopUpTakesOnlyTheWindowOfItsOwnSize) {
  // A menu reported at its button's place in the main window, shown on a surface of its own.
  const std::vector<ScreenWindow> windows = {{290, 140, 700, 520, std::nullopt},
                                             {717, 164, 263, 587, std::nullopt}};
  EXPECT_EQ(windowShift(windows, 536, 6, 263, 587, 4), (Shift{181, 158}));
  EXPECT_EQ(windowShift(windows, 536, 6, 265, 589, 4), (Shift{181, 158}));
  // Nothing of its size: not a surface of its own.
  EXPECT_EQ(windowShift(windows, 536, 6, 200, 300, 4), std::nullopt);
  EXPECT_EQ(windowShift({}, 536, 6, 263, 587, 4), std::nullopt);
}

}  // namespace
}  // namespace tovrel::platform::atspi
