// The AT-SPI → AX translation tables, without a bus.
#include "platform/atspi/AtspiRoles.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tovrel::platform::atspi {
namespace {

struct RoleCase {
  Role role;
  std::string expected;
  StateSet states = {};
  std::uint32_t interfaces = 0;
  Placement placement = Placement::inside;
  std::optional<Role> parent = std::nullopt;
  std::string xmlRoles = {};
};

RoleFacts factsOf(const RoleCase& c) {
  RoleFacts facts;
  facts.role = static_cast<std::uint32_t>(c.role);
  facts.states = c.states;
  facts.interfaces = c.interfaces;
  facts.placement = c.placement;
  if (c.parent) facts.parentRole = static_cast<std::uint32_t>(*c.parent);
  facts.xmlRoles = c.xmlRoles;
  return facts;
}

TEST(AtspiRolesTest, RolesFollowStatesInterfacesAndSurroundings) {
  using S = State;
  const std::vector<RoleCase> cases = {
      {Role::pushButton, "AXButton"},
      {Role::pushButton, "AXMenuButton", StateSet::of({S::hasPopup})},
      {Role::pushButtonMenu, "AXMenuButton"},
      {Role::comboBox, "AXPopUpButton"},
      {Role::comboBox, "AXComboBox", StateSet::of({S::editable})},
      {Role::text, "AXTextField", StateSet::of({S::editable})},
      {Role::text, "AXTextArea", StateSet::of({S::editable, S::multiLine})},
      {Role::text, "AXStaticText", StateSet::of({S::readOnly})},
      {Role::text, "AXTextField", {}, editableTextInterface},
      {Role::text, "AXStaticText", StateSet::of({S::readOnly}), editableTextInterface},
      {Role::entry, "AXTextField"},
      {Role::entry, "AXSearchField", {}, 0, Placement::inside, std::nullopt, "combobox searchbox"},
      {Role::entry, "AXTextField", {}, 0, Placement::inside, std::nullopt, "searchboxes"},
      {Role::entry, "AXTextArea", StateSet::of({S::multiLine}), 0, Placement::inside, std::nullopt,
       "searchbox"},
      {Role::passwordText, "AXSecureTextField"},
      {Role::documentText, "AXTextArea", StateSet::of({S::editable})},
      {Role::documentText, "AXGroup"},
      {Role::menuItem, "AXMenuBarItem", {}, 0, Placement::inside, Role::menuBar},
      {Role::menuItem, "AXMenuItem", {}, 0, Placement::inside, Role::popupMenu},
      {Role::checkMenuItem, "AXMenuItem"},
      {Role::menu, "AXMenuBarItem", {}, 0, Placement::inside, Role::menuBar},
      {Role::menu, "AXMenuItem", {}, 0, Placement::inside, Role::menu},
      {Role::menu, "AXMenu", {}, 0, Placement::topLevel, Role::application},
      {Role::popupMenu, "AXMenu", {}, 0, Placement::topLevel},
      {Role::menuBar, "AXMenuBar"},
      {Role::frame, "AXWindow", {}, 0, Placement::topLevel},
      {Role::frame, "AXWindow", {}, 0, Placement::unknown},
      {Role::frame, "AXGroup", {}, 0, Placement::inside},
      {Role::dialog, "AXWindow", {}, 0, Placement::topLevel},
      {Role::filler, "AXWindow", {}, 0, Placement::topLevel},
      {Role::filler, "AXGroup"},
      {Role::toolTip, "AXHelpTag", {}, 0, Placement::topLevel},
      {Role::application, "AXApplication", {}, 0, Placement::unknown},
      {Role::link, "AXLink"},
      {Role::checkBox, "AXCheckBox"},
      {Role::toggleButton, "AXCheckBox"},
      {Role::radioButton, "AXRadioButton"},
      {Role::slider, "AXSlider"},
      {Role::spinButton, "AXIncrementor"},
      {Role::colorChooser, "AXColorWell"},
      {Role::pageTab, "AXTab"},
      {Role::pageTabList, "AXTabGroup"},
      {Role::listItem, "AXRow"},
      {Role::treeItem, "AXRow"},
      {Role::tableCell, "AXCell"},
      {Role::table, "AXTable"},
      {Role::treeTable, "AXOutline"},
      {Role::listBox, "AXList"},
      {Role::scrollPane, "AXScrollArea"},
      {Role::documentWeb, "AXWebArea"},
      {Role::splitPane, "AXSplitGroup"},
      {Role::separator, "AXSplitter"},
      {Role::heading, "AXHeading"},
      {Role::label, "AXStaticText"},
      {Role::staticText, "AXStaticText"},
      {Role::icon, "AXImage"},
      {Role::panel, "AXGroup"},
      {Role::unknown, "AXUnknown"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(axRole(factsOf(c)), c.expected)
        << "role " << static_cast<int>(c.role) << " placement " << static_cast<int>(c.placement);
  }
  // A plain container holding a scroll bar is how Qt shows a scroll area; a top-level window
  // holding one stays a window.
  for (Role container : {Role::filler, Role::panel}) {
    RoleFacts facts = factsOf({container, ""});
    facts.holdsScrollBar = true;
    EXPECT_EQ(axRole(facts), "AXScrollArea");
    EXPECT_TRUE(roleNeedsChildRoles(static_cast<std::uint32_t>(container)));
    facts.placement = Placement::topLevel;
    EXPECT_EQ(axRole(facts), "AXWindow");
  }
  EXPECT_FALSE(roleNeedsChildRoles(static_cast<std::uint32_t>(Role::pushButton)));
}

TEST(AtspiRolesTest, WindowsHaveSubrolesAndEveryRoleADescription) {
  EXPECT_EQ(axSubrole(factsOf({Role::frame, "", {}, 0, Placement::topLevel})), "AXStandardWindow");
  EXPECT_EQ(axSubrole(factsOf({Role::filler, "", {}, 0, Placement::topLevel})), "AXStandardWindow");
  EXPECT_EQ(axSubrole(factsOf({Role::dialog, "", {}, 0, Placement::unknown})), "AXDialog");
  EXPECT_EQ(axSubrole(factsOf({Role::alert, "", {}, 0, Placement::topLevel})), "AXDialog");
  EXPECT_EQ(axSubrole(factsOf({Role::window, "", {}, 0, Placement::topLevel})), std::nullopt);
  EXPECT_EQ(axSubrole(factsOf({Role::frame, "", {}, 0, Placement::inside})), std::nullopt);
  EXPECT_EQ(axSubrole(factsOf({Role::pushButton, "", {}, 0, Placement::topLevel})),
            "AXStandardWindow");
  EXPECT_EQ(axSubrole(factsOf({Role::pushButton, ""})), std::nullopt);

  EXPECT_EQ(roleDescription("AXButton", std::nullopt), "button");
  EXPECT_EQ(roleDescription("AXTextField", std::nullopt), "text field");
  EXPECT_EQ(roleDescription("AXWindow", "AXStandardWindow"), "standard window");
  EXPECT_EQ(roleDescription("AXWindow", "AXDialog"), "dialog");
  EXPECT_EQ(roleDescription("AXWindow", std::nullopt), "window");
  EXPECT_EQ(roleDescription("AXNoSuchRole", std::nullopt), std::nullopt);

  // Every AT-SPI role, wherever it sits and whatever its states, maps to a described AX role, and
  // only windows have subroles.
  const std::vector<StateSet> stateSets = {{},
                                           StateSet::of({State::editable}),
                                           StateSet::of({State::editable, State::multiLine}),
                                           StateSet::of({State::hasPopup}),
                                           StateSet::of({State::readOnly})};
  for (std::uint32_t role = 0; role <= 130; ++role) {
    for (auto placement : {Placement::unknown, Placement::topLevel, Placement::inside}) {
      for (const auto& states : stateSets) {
        RoleFacts facts;
        facts.role = role;
        facts.states = states;
        facts.placement = placement;
        const std::string ax = axRole(facts);
        const auto subrole = axSubrole(facts);
        EXPECT_TRUE(roleDescription(ax, subrole).has_value()) << role << " → " << ax;
        EXPECT_TRUE(!subrole || ax == "AXWindow") << role;
      }
    }
  }
}

TEST(AtspiRolesTest, WhatARoleReadMustAskFirst) {
  EXPECT_TRUE(roleNeedsParentRole(static_cast<std::uint32_t>(Role::menuItem)));
  EXPECT_TRUE(roleNeedsParentRole(static_cast<std::uint32_t>(Role::menu)));
  EXPECT_FALSE(roleNeedsParentRole(static_cast<std::uint32_t>(Role::pushButton)));
  EXPECT_TRUE(roleNeedsXmlRoles(static_cast<std::uint32_t>(Role::entry)));
  EXPECT_FALSE(roleNeedsXmlRoles(static_cast<std::uint32_t>(Role::text)));
  const auto text = static_cast<std::uint32_t>(Role::text);
  EXPECT_TRUE(roleNeedsInterfaces(text, {}));
  EXPECT_FALSE(roleNeedsInterfaces(text, StateSet::of({State::editable})));
  EXPECT_FALSE(roleNeedsInterfaces(text, StateSet::of({State::readOnly})));
  EXPECT_FALSE(roleNeedsInterfaces(static_cast<std::uint32_t>(Role::label), {}));
}

TEST(AtspiRolesTest, StatesAndInterfacesDecode) {
  const StateSet states = StateSet::fromWords({(1U << 25) | (1U << 8), 1U << (42 - 32)});
  EXPECT_TRUE(states.has(State::showing));
  EXPECT_TRUE(states.has(State::enabled));
  EXPECT_TRUE(states.has(State::hasPopup));
  EXPECT_FALSE(states.has(State::focused));
  EXPECT_FALSE(states.has(State::readOnly));
  EXPECT_EQ(StateSet::fromWords({}).bits, 0U);
  EXPECT_EQ(interfacesFromNames({"org.a11y.atspi.Accessible", "org.a11y.atspi.Text",
                                 "org.a11y.atspi.Nonsense", "org.a11y.atspi.Value"}),
            accessibleInterface | textInterface | valueInterface);
}

TEST(AtspiRolesTest, ActionNamesMapBothWays) {
  struct Case {
    std::vector<std::string> atspi;
    std::vector<std::string> ax;
  };
  const std::vector<Case> cases = {
      {{"Press", "SetFocus"}, {"AXPress", "SetFocus"}},
      {{"ShowMenu", "Press"}, {"AXShowMenu", "AXPress"}},
      {{"click", "activate"}, {"AXPress", "activate"}},
      {{"Toggle"}, {"AXPress"}},
      {{"OPEN"}, {"AXPress"}},
      {{"jump"}, {"AXPress"}},
      {{"Context Menu", "show-menu"}, {"AXShowMenu", "show-menu"}},
      {{"menu"}, {"AXShowMenu"}},
      {{"SetFocus", "Increase", "Decrease"}, {"SetFocus", "AXIncrement", "AXDecrement"}},
      {{"expand or contract", "pressed"}, {"expand or contract", "pressed"}},
      {{}, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(axActionNames(c.atspi), c.ax);
    for (std::size_t i = 0; i < c.ax.size(); ++i)
      EXPECT_EQ(atspiActionIndex(c.atspi, c.ax[i]), static_cast<int>(i)) << c.ax[i];
  }
  EXPECT_EQ(atspiActionIndex({"SetFocus"}, "AXPress"), std::nullopt);
  EXPECT_EQ(atspiActionIndex({"Press"}, "Press"), std::nullopt);  // shown as AXPress only
}

TEST(AtspiRolesTest, DBusErrorsBecomeAXErrors) {
  const std::vector<std::pair<std::string, AXError>> cases = {
      {"org.freedesktop.DBus.Error.NoReply", AXError::cannotComplete},
      {"org.freedesktop.DBus.Error.Timeout", AXError::cannotComplete},
      {"org.freedesktop.DBus.Error.Disconnected", AXError::cannotComplete},
      {"org.freedesktop.DBus.Error.UnknownObject", AXError::invalidUIElement},
      {"org.freedesktop.DBus.Error.ServiceUnknown", AXError::invalidUIElement},
      {"org.freedesktop.DBus.Error.UnknownMethod", AXError::noValue},
      {"org.freedesktop.DBus.Error.UnknownInterface", AXError::noValue},
      {"org.freedesktop.DBus.Error.InvalidArgs", AXError::noValue},
      {"org.freedesktop.DBus.Error.AccessDenied", AXError::failure},
      {"org.qtproject.Something", AXError::failure},
      {"", AXError::failure},
  };
  for (const auto& [name, expected] : cases)
    EXPECT_EQ(errorFromDBus(name), expected) << name;
  EXPECT_TRUE(isTextValueRole("AXTextField"));
  EXPECT_TRUE(isTextValueRole("AXComboBox"));
  EXPECT_FALSE(isTextValueRole("AXStaticText"));
  EXPECT_FALSE(isTextValueRole("AXButton"));
}

// A pop-up list is named by its selected item only when it tells nothing itself, and a press of
// it is checked only while it is collapsed and could expand.
TEST(AtspiRolesTest, PopUpListsShowTheirSelectionAndExpandWhenPressed) {
  const auto combo = static_cast<std::uint32_t>(Role::comboBox);
  const auto button = static_cast<std::uint32_t>(Role::pushButton);
  struct ValueCase {
    std::uint32_t role;
    std::uint32_t interfaces;
    bool selectedItem;
  };
  const ValueCase values[] = {
      {combo, accessibleInterface | actionInterface | selectionInterface, true},
      {combo, 0, true},
      {combo, textInterface, false},
      {combo, valueInterface, false},
      {combo, textInterface | editableTextInterface, false},
      {button, selectionInterface, false},
      {static_cast<std::uint32_t>(Role::listBox), selectionInterface, false},
  };
  for (const auto& c : values)
    EXPECT_EQ(valueIsSelectedItem(c.role, c.interfaces), c.selectedItem)
        << c.role << " interfaces " << c.interfaces;

  struct PressCase {
    std::uint32_t role;
    StateSet states;
    bool expands;
  };
  const PressCase presses[] = {
      {combo, StateSet::of({State::enabled, State::expandable, State::hasPopup}), true},
      {combo, StateSet::of({State::expandable, State::expanded}), false},
      {combo, StateSet::of({State::enabled, State::hasPopup}), false},
      {combo, StateSet::of({State::expandable, State::editable}), false},
      {button, StateSet::of({State::expandable, State::hasPopup}), false},
      {static_cast<std::uint32_t>(Role::menu), StateSet::of({State::expandable}), false},
  };
  for (const auto& c : presses)
    EXPECT_EQ(pressExpands(c.role, c.states), c.expands) << c.role << " states " << c.states.bits;
}

}  // namespace
}  // namespace tovrel::platform::atspi
