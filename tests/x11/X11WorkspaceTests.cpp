#include "platform/x11/session/X11Workspace.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace tovrel::platform::x11::windowList {
namespace {

TEST(WindowList, LayersFollowTypeStateAndManagement) {
  using T = WindowType;
  struct Case {
    std::vector<WindowType> types;
    bool above;
    bool overrideRedirect;
    std::optional<int> layer;
  };
  const Case cases[] = {
      {{}, false, false, normalLayer},
      {{T::Normal}, false, false, normalLayer},
      {{T::Dialog, T::Normal}, false, false, normalLayer},
      {{T::Utility}, false, false, normalLayer},
      {{T::Normal}, true, false, floatingLayer},
      {{T::Utility}, true, false, floatingLayer},
      {{T::Toolbar}, false, false, floatingLayer},
      {{T::Splash}, false, false, floatingLayer},
      {{T::Dock}, false, false, dockLayer},
      {{T::Dock}, true, false, dockLayer},
      {{T::PopupMenu}, false, true, popUpLayer},
      {{T::DropdownMenu}, false, true, popUpLayer},
      {{T::Tooltip}, false, true, popUpLayer},
      {{T::Notification}, false, false, popUpLayer},
      {{T::Combo}, false, true, popUpLayer},
      {{}, false, true, popUpLayer},
      {{T::Normal}, true, true, popUpLayer},
      {{T::Desktop}, false, false, std::nullopt},
      {{T::Desktop, T::Normal}, false, false, std::nullopt},
      {{T::Normal, T::Desktop}, false, false, normalLayer},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(windowLayer(cases[i].types, cases[i].above, cases[i].overrideRedirect),
              cases[i].layer);
  }
}

TEST(WindowList, TheManagersStackingOrdersClientsAndTheServerPlacesTheRest) {
  using List = std::vector<unsigned long>;
  // Clients 1–3 framed by 11–13; 21–24 bypass the manager; 30 is the manager's own window.
  const std::vector<RootChild> tree = {{21, 0, true},  {11, 1, false}, {22, 0, true},
                                       {30, 0, false}, {12, 2, false}, {13, 3, false},
                                       {23, 0, true},  {24, 0, true}};
  EXPECT_EQ(frontToBack({1, 2, 3}, tree), (List{24, 23, 3, 2, 22, 1, 21}));
  // The manager's word decides among clients, even against the frames' order.
  EXPECT_EQ(frontToBack({3, 1, 2}, tree), (List{2, 22, 1, 24, 23, 3, 21}));
  // A client without a frame in the tree keeps its place; repeats and zeros count once or never.
  EXPECT_EQ(frontToBack({1, 0, 7, 2, 2}, {{11, 1, false}, {12, 2, false}}), (List{2, 7, 1}));
  EXPECT_EQ(frontToBack({}, {{21, 0, true}, {30, 0, false}, {22, 0, true}}), (List{22, 21}));
}

// When the server stacks the frames as the manager says, the list is the server's order read from
// the top, with frames replaced by their clients and the manager's own windows left out.
TEST(WindowList, AgreeingOrdersGiveTheServersOrder) {
  std::mt19937 random(6);
  for (int round = 0; round < 200; ++round) {
    std::vector<RootChild> tree;
    std::vector<unsigned long> stacking;
    std::vector<unsigned long> expected;
    const int count = std::uniform_int_distribution(0, 12)(random);
    for (int i = 0; i < count; ++i) {
      const unsigned long window = 100 + static_cast<unsigned long>(i);
      switch (std::uniform_int_distribution(0, 2)(random)) {
        case 0:
          tree.push_back({window, window + 1000, false});
          stacking.push_back(window + 1000);
          expected.push_back(window + 1000);
          break;
        case 1:
          tree.push_back({window, 0, true});
          expected.push_back(window);
          break;
        default:
          tree.push_back({window, 0, false});
      }
    }
    std::reverse(expected.begin(), expected.end());
    ASSERT_EQ(frontToBack(stacking, tree), expected) << "round " << round;
  }
}

}  // namespace
}  // namespace tovrel::platform::x11::windowList
