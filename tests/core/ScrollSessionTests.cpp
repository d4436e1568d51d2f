#include "core/ScrollSession.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace tovrel {
namespace {

using Frame = HintTarget::Frame;
using Dir = ScrollSession::Direction;
constexpr Frame kWindow{0, 0, 1000, 800};
constexpr Frame kLeft{0, 0, 300, 800}, kRight{300, 0, 700, 800};  // both pane-shaped in kWindow
constexpr double kFrame = 1.0 / 120;

KeyEvent down(std::uint16_t code, Modifiers mods = {}, bool types = false, bool repeat = false) {
  return KeyEvent(KeyEvent::Kind::down, code, mods, repeat, std::nullopt, types, std::nullopt);
}
KeyEvent up(std::uint16_t code) {
  return KeyEvent(KeyEvent::Kind::up, code, {}, false, std::nullopt, false, std::nullopt);
}
CursorCommand::Scroll scrollOf(const std::vector<CursorCommand>& commands) {
  EXPECT_EQ(commands.size(), 1u);
  return commands.empty() ? CursorCommand::Scroll{} : *commands[0].as<CursorCommand::Scroll>();
}

TEST(ScrollSessionTabStops, ReducesAndOrders) {
  struct Case {
    const char* name;
    std::vector<Frame> areas, stops;
  } cases[] = {
      // clang-format off
      {"near duplicate", {{100, 100, 300, 400}, {101, 102, 302, 399}}, {{100, 100, 300, 400}}},
      {"shared top edge keeps outer", {{0, 0, 400, 600}, {0, 0, 400, 300}}, {{0, 0, 400, 600}}},
      {"inset both ends keeps inner", {{0, 0, 400, 600}, {0, 50, 400, 500}}, {{0, 50, 400, 500}}},
      {"60% covered container dropped", {{0, 0, 1000, 1000}, {0, 0, 500, 600}, {500, 0, 500, 600}},
       {{0, 0, 500, 600}, {500, 0, 500, 600}}},
      {"59% covered container stays", {{0, 0, 1000, 1000}, {0, 0, 500, 590}, {500, 0, 500, 590}},
       {{0, 0, 1000, 1000}, {0, 0, 500, 590}, {500, 0, 500, 590}}},
      {"clipped, 79 wide dropped", {{-50, -50, 300, 300}, {1921, 0, 100, 100}}, {{0, 0, 250, 250}}},
      {"columns 0,1,2 order by x", {{70, 0, 90, 90}, {30, 300, 90, 90}, {10, 600, 90, 90}},
       {{10, 600, 90, 90}, {30, 300, 90, 90}, {70, 0, 90, 90}}},
      {"same column orders by y", {{10, 300, 90, 90}, {15, 0, 90, 90}}, {{15, 0, 90, 90}, {10, 300, 90, 90}}},
      {"x = 20 is column 1", {{20, 300, 90, 90}, {30, 0, 90, 90}}, {{30, 0, 90, 90}, {20, 300, 90, 90}}},
      // clang-format on
  };
  for (const Case& c : cases)
    EXPECT_EQ(ScrollSession::tabStops(c.areas, {0, 0, 2000, 2000}), c.stops) << c.name;
}

TEST(ScrollSessionTabStops, GeneratedAreasGiveValidOrderedStops) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> pos(-200, 1200), size(20, 900);
  for (int round = 0; round < 300; ++round) {
    std::vector<Frame> raw;
    for (int i = 0, n = int(rng() % 12); i < n; ++i)
      raw.push_back({pos(rng), pos(rng), size(rng), size(rng)});
    if (!raw.empty() && rng() % 2)
      raw.push_back({raw[0].x + 2, raw[0].y - 1, raw[0].width, raw[0].height});
    const auto stops = ScrollSession::tabStops(raw, kWindow);
    for (std::size_t i = 0; i < stops.size(); ++i) {
      const Frame& a = stops[i];
      EXPECT_TRUE(a.width >= 80 && a.height >= 80 && a.x >= 0 && a.y >= 0 &&
                  a.x + a.width <= 1000 && a.y + a.height <= 800);
      for (std::size_t j = i + 1; j < stops.size(); ++j) {
        const Frame& b = stops[j];
        EXPECT_FALSE(std::abs(a.x - b.x) < 4 && std::abs(a.y - b.y) < 4 &&
                     std::abs(a.width - b.width) < 4 && std::abs(a.height - b.height) < 4);
        const double ca = std::round(a.x / 40), cb = std::round(b.x / 40);
        EXPECT_TRUE(ca < cb || (ca == cb && a.y <= b.y)) << "round " << round;
      }
    }
  }
}

TEST(ScrollSessionRegion, PaneShape) {
  EXPECT_EQ(ScrollSession::paneShaped({-10, -10, 310, 900}, kWindow), (Frame{0, 0, 300, 800}));
  EXPECT_FALSE(ScrollSession::paneShaped({0, 0, 149, 800}, kWindow));  // too narrow
  EXPECT_FALSE(ScrollSession::paneShaped({0, 0, 300, 559}, kWindow));  // below 70 % height
  EXPECT_FALSE(ScrollSession::paneShaped({0, 0, 850, 800}, kWindow));  // 85 % of the window
}

TEST(ScrollSessionRegion, SetWindowChoosesRegionAndPark) {
  const ScrollNode leftPane{"AXGroup", kLeft}, web{std::string(webAreaRole), kWindow};
  const ScrollNode smallScroll{"AXScrollArea", {400, 100, 200, 200}};
  const ScrollNode text{"AXStaticText", {420, 140, 60, 20}};
  const auto over = [](Point at, std::vector<ScrollNode> chain = {}) {
    return std::optional<ScrollHover>(ScrollHover{at, std::move(chain)});
  };
  struct Case {
    const char* name;
    std::vector<ScrollNode> click, focus;
    std::vector<Frame> areas;
    std::optional<Point> resume;
    std::optional<ScrollHover> hover;
    Point park;
    std::optional<Frame> outlined;
    std::optional<std::size_t> index;
  } cases[] = {
      // clang-format off
      {"nothing: window centre", {}, {}, {}, {}, {}, {500, 400}, {}, {}},
      {"largest stop", {}, {}, {kLeft, kRight}, {}, {}, {650, 400}, kRight, 1},
      {"largest tie: first", {}, {}, {{0, 0, 500, 800}, {500, 0, 500, 800}}, {}, {}, {250, 400}, Frame{0, 0, 500, 800}, 0},
      {"pane that is no stop", {{"AXGroup", {0, 0, 320, 800}}, web}, {}, {kLeft, kRight}, {}, {}, {500, 400}, {}, 1},
      {"resume outside ignored", {}, {}, {kLeft, kRight}, Point{1000, 0}, {}, {650, 400}, kRight, 1},
      {"resume inside, no pane", {}, {}, {kLeft, kRight}, Point{50, 50}, {}, {50, 50}, {}, 0},
      {"resume inside click pane", {leftPane, web}, {}, {kLeft, kRight}, Point{100, 700}, {}, {100, 700}, kLeft, 0},
      {"resume outside click pane", {leftPane, web}, {}, {kLeft, kRight}, Point{900, 700}, {}, {900, 700}, {}, 1},
      {"pane inside web area", {leftPane, web}, {smallScroll}, {kLeft, kRight}, {}, {}, {150, 400}, kLeft, 0},
      {"no web area, click outside largest", {leftPane}, {}, {kLeft, kRight}, {}, {}, {500, 400}, {}, 1},
      {"click inside largest", {{"AXButton", {600, 300, 10, 10}}}, {}, {kLeft, kRight}, {}, {}, {650, 400}, kRight, 1},
      {"then focus pane", {leftPane}, {smallScroll}, {kLeft, kRight}, {}, {}, {500, 200}, smallScroll.frame, 1},
      {"79-high scroll area skipped", {web, {"AXScrollArea", {310, 10, 200, 79}}, {"AXScrollArea", {310, 10, 200, 300}}},
       {}, {kLeft, kRight}, {}, {}, {410, 160}, Frame{310, 10, 200, 300}, 1},
      // The pointer: its chain names a pane before any stop is known, or it rests over a stop.
      {"pointer over a scroll area, no stops yet", {}, {}, {}, {}, over({450, 150}, {text, smallScroll}),
       {450, 150}, smallScroll.frame, {}},
      {"pointer over a stop", {}, {}, {kLeft, kRight}, {}, over({100, 700}, {{"AXGroup", kLeft}}), {100, 700}, kLeft, 0},
      {"pointer over no pane", {}, {}, {}, {}, over({100, 100}, {{"AXButton", {90, 90, 40, 20}}}), {500, 400}, {}, {}},
      {"pointer outside the window", {}, {}, {kLeft, kRight}, {}, over({1200, 100}, {smallScroll}), {650, 400}, kRight, 1},
      {"pointer before a click elsewhere", {{"AXTextField", {20, 20, 200, 30}}}, {}, {{300, 100, 700, 700}, {0, 200, 290, 600}},
       {}, over({100, 300}), {100, 300}, Frame{0, 200, 290, 600}, 0},
      {"pointer before focus pane", {}, {smallScroll}, {kLeft, kRight}, {}, over({100, 100}), {100, 100}, kLeft, 0},
      {"click pane before pointer", {leftPane, web}, {}, {kLeft, kRight}, {}, over({650, 400}), {150, 400}, kLeft, 0},
      {"pointer over the click pane stays", {leftPane, web}, {}, {kLeft, kRight}, {}, over({100, 700}), {100, 700}, kLeft, 0},
      {"resume before pointer", {}, {}, {kLeft, kRight}, Point{900, 700}, over({100, 100}), {900, 700}, {}, 1},
      // clang-format on
  };
  for (const Case& c : cases) {
    ScrollSession session(ScrollProfile::standard());
    EXPECT_EQ(session.setWindow(kWindow, c.click, c.focus, c.areas, c.resume, c.hover), c.park)
        << c.name;
    EXPECT_EQ(session.outlined(), c.outlined) << c.name;
    EXPECT_EQ(session.window(), c.outlined.value_or(kWindow)) << c.name;
    EXPECT_EQ(session.areaIndex(), c.index) << c.name;
  }
}

// The first full search of the window can come after the region was chosen without it: the
// region is chosen again with it, unless the user has chosen since.
TEST(ScrollSessionRegion, FreshAreasChooseTheRegionAgainUntilTheUserChooses) {
  const std::vector<Frame> both{kLeft, kRight};
  const auto over = [](Point at) { return std::optional<ScrollHover>(ScrollHover{at, {}}); };
  struct Case {
    const char* name;
    std::vector<Frame> known;
    std::optional<Point> resume;
    std::optional<ScrollHover> hover;
    std::optional<Point> userMove;
    Point pointer;  // where the pointer is when the areas come
    std::optional<Point> park;
    std::optional<Frame> outlined;
  } cases[] = {
      // clang-format off
      {"nothing known: the largest", {}, {}, over({1200, 100}), {}, {500, 400}, Point{650, 400}, kRight},
      {"nothing known, pointer over a stop", {}, {}, over({100, 700}), {}, {500, 400}, Point{100, 700}, kLeft},
      {"the user moved: the stop under the pointer", {}, {}, over({1200, 100}), Point{100, 100}, {100, 100}, {}, kLeft},
      {"known already: nothing moves", both, {}, {}, {}, {700, 500}, {}, kRight},
      {"known, pointer moved away: back in", both, {}, {}, {}, {100, 100}, Point{650, 400}, kRight},
      {"a resumed spot stays", {}, Point{900, 700}, {}, {}, {900, 700}, {}, {}},
      // clang-format on
  };
  for (const Case& c : cases) {
    ScrollSession session(ScrollProfile::standard());
    session.setWindow(kWindow, {}, {}, c.known, c.resume, c.hover);
    if (c.userMove) session.pointerMoved(*c.userMove);
    EXPECT_EQ(session.areasFound(both, c.pointer), c.park) << c.name;
    EXPECT_EQ(session.outlined(), c.outlined) << c.name;
    EXPECT_EQ(session.window(), c.outlined.value_or(kWindow)) << c.name;
    // Once is enough: later areas only follow the pointer.
    EXPECT_EQ(session.areasFound(both, {1200, 100}), std::nullopt) << c.name;
  }
}

// Wherever the pointer rests and whatever the areas, the park point lies in the chosen region,
// where the wheel reaches it: from the first look, the first full search and every Tab.
TEST(ScrollSessionRegion, TheParkPointLiesInTheChosenRegion) {
  std::mt19937 rng(2718);
  std::uniform_real_distribution<double> x(-100, 1100), y(-100, 900), size(40, 700);
  const auto areas = [&] {
    std::vector<Frame> raw(rng() % 6);
    for (Frame& f : raw)
      f = {x(rng), y(rng), size(rng), size(rng)};
    return raw;
  };
  const auto chain = [&](const std::vector<Frame>& raw) {
    std::vector<ScrollNode> nodes;
    if (!raw.empty() && rng() % 2)
      nodes.push_back(
          {std::string(rng() % 2 ? scrollAreaRole : "AXGroup"), raw[rng() % raw.size()]});
    if (rng() % 2) nodes.push_back({std::string(webAreaRole), kWindow});
    return nodes;
  };
  const auto point = [&] { return Point{x(rng), y(rng)}; };
  for (int round = 0; round < 2000; ++round) {
    const std::vector<Frame> first = areas(), fresh = areas();
    std::optional<Point> resume;
    if (rng() % 3 == 0) resume = point();
    std::optional<ScrollHover> hover;
    if (rng() % 2) hover = ScrollHover{point(), chain(first)};
    ScrollSession session(ScrollProfile::standard());
    const auto park = session.setWindow(kWindow, chain(first), chain(first), first, resume, hover);
    ASSERT_TRUE(park && session.window());
    EXPECT_TRUE(session.window()->contains(*park)) << round << " " << *park;
    EXPECT_EQ(session.window(), session.outlined().value_or(kWindow)) << round;

    const Point pointer = rng() % 2 ? *park : point();
    if (const auto again = session.areasFound(fresh, pointer)) {
      EXPECT_TRUE(session.window()->contains(*again)) << round << " " << *again;
    } else {
      EXPECT_TRUE(session.window()->contains(pointer) || !kWindow.contains(pointer)) << round;
    }
    if (const auto tab = session.keyDown(down(Key::tab)).park) {
      EXPECT_TRUE(session.window()->contains(*tab)) << round << " " << *tab;
    }
  }
}

TEST(ScrollSessionRegion, PointerSelectsSmallestContainingStop) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> x(0, 1000), y(0, 800), size(80, 380);
  for (int round = 0; round < 100; ++round) {
    std::vector<Frame> raw(8);
    for (Frame& f : raw)
      f = {x(rng) * 0.7, y(rng) * 0.6, size(rng), size(rng)};
    ScrollSession session(ScrollProfile::standard());
    session.setWindow(kWindow, {}, {}, raw, std::nullopt, std::nullopt);
    for (int probe = 0; probe < 20; ++probe) {
      const Point p{x(rng), y(rng)};
      const auto before = session.areaIndex();
      session.pointerMoved(p);
      std::optional<double> smallest;  // nothing under the pointer keeps the selection
      for (const Frame& s : session.areas())
        if (s.contains(p))
          smallest = std::min(smallest.value_or(s.width * s.height), s.width * s.height);
      if (!smallest) {
        EXPECT_EQ(session.areaIndex(), before);
        continue;
      }
      ASSERT_TRUE(session.areaIndex());
      const Frame& chosen = session.areas()[*session.areaIndex()];
      EXPECT_TRUE(chosen.contains(p) && chosen.width * chosen.height == *smallest);
      EXPECT_EQ(session.outlined(), chosen);
    }
  }
}

TEST(ScrollSessionKeys, TabDigitsAndTypingKeys) {
  ScrollSession session(ScrollProfile::standard());
  EXPECT_EQ(session.keyDown(down(Key::tab)),
            (ScrollSession::KeyResult{true, {}, {}}));  // no window yet
  const std::vector<Frame> four{
      {0, 0, 100, 100}, {0, 200, 100, 100}, {200, 0, 100, 100}, {200, 200, 100, 100}};
  session.setWindow(kWindow, {}, {}, four, Point{999, 799}, std::nullopt);
  ASSERT_EQ(session.areas(), four);
  EXPECT_EQ(session.keyDown(down(Key::tab)).park, (Point{50, 50}));
  session.areasMoved(four, {999, 799});  // nothing under the pointer: no selection
  EXPECT_EQ(session.window(), kWindow);
  EXPECT_EQ(session.keyDown(down(Key::tab, Modifiers::shift)).park, (Point{250, 250}));
  EXPECT_EQ(session.keyDown(down(Key::tab)).park, (Point{50, 50}));  // wraps
  EXPECT_EQ(session.keyDown(down(Key::digits[3])).park, (Point{250, 250}));
  EXPECT_EQ(session.keyDown(down(Key::digits[4])), (ScrollSession::KeyResult{true, {}, {}}));
  EXPECT_EQ(session.window(), four[3]);
  EXPECT_FALSE(session.keyDown(down(Key::digits[4], Modifiers::shift)).consumed);
  EXPECT_TRUE(session.keyDown(down(Key::digits[4], Modifiers::shift, true)).consumed);
  EXPECT_FALSE(session.keyDown(down(Key::tab, Modifiers::command)).consumed);
  EXPECT_FALSE(session.keyDown(down(Key::j, Modifiers::control, true)).consumed);
  EXPECT_TRUE(session.keyDown(down(Key::x, {}, true)).consumed);
  EXPECT_FALSE(session.needsTicks());
}

TEST(ScrollSessionKeys, HeldDirectionsRampAndCancel) {
  ScrollSession session(ScrollProfile::standard());
  EXPECT_TRUE(session.keyDown(down(Key::j)).consumed);
  EXPECT_NEAR(scrollOf(session.tick(kFrame)).dy, -1.5034, 1e-4);
  while (session.elapsed() < 0.6)
    session.tick(kFrame);
  const auto full = scrollOf(session.tick(kFrame));
  EXPECT_NEAR(full.dy, -7.5, 1e-9);
  EXPECT_EQ(full.dx, 0);
  EXPECT_TRUE(session.keyUp(up(Key::j)).consumed);
  EXPECT_EQ(session.elapsed(), 0);

  session.keyDown(down(Key::h));
  session.keyDown(down(Key::l));
  EXPECT_TRUE(session.tick(kFrame).empty());
  session.keyUp(up(Key::l));
  EXPECT_EQ(session.held(), std::set<Dir>{Dir::left});
  EXPECT_LT(scrollOf(session.tick(kFrame)).dx, 0);

  ScrollSession reversed({900, 0.6, true});
  reversed.keyDown(down(Key::k));
  EXPECT_LT(scrollOf(reversed.tick(kFrame)).dy, 0);
  EXPECT_TRUE(reversed.tick(0).empty());
}

TEST(ScrollSessionKeys, DashPaysOutAndReleasesAreSwallowed) {
  ScrollSession session(ScrollProfile::standard());
  session.setWindow(kWindow, {}, {}, {{0, 100, 400, 600}}, std::nullopt, std::nullopt);
  session.keyDown(down(Key::j, Modifiers::shift));
  EXPECT_NEAR(session.dashLeft().dy, -480, 1e-9);
  EXPECT_NEAR(session.dashSpeed().dy, 3000, 1e-9);
  session.keyDown(down(Key::j, Modifiers::shift, false, true));  // auto-repeat adds nothing
  EXPECT_NEAR(session.dashLeft().dy, -480, 1e-9);
  for (int i = 0; i < 5; ++i)
    EXPECT_NEAR(scrollOf(session.tick(kFrame)).dy, -25, 1e-9);
  EXPECT_TRUE(session.keyUp(up(Key::j)).consumed);
  EXPECT_FALSE(session.keyUp(up(Key::x)).consumed);
  session.keyDown(down(Key::h, Modifiers::shift));
  EXPECT_NEAR(session.dashLeft().dx, -320, 1e-9);  // 0.8 of the region's width

  ScrollSession noRegion(ScrollProfile::standard());  // dashes measure 800 x 600
  noRegion.keyDown(down(Key::l, Modifiers::shift));
  noRegion.keyDown(down(Key::k, Modifiers::shift));
  EXPECT_NEAR(noRegion.dashLeft().dx, 640, 1e-9);
  EXPECT_NEAR(noRegion.dashLeft().dy, 480, 1e-9);

  session.reset();
  session.keyDown(down(Key::j, Modifiers::shift));
  EXPECT_NEAR(scrollOf(session.tick(1e-6)).dy, -1, 1e-9);              // at least one pixel a frame
  EXPECT_NEAR(scrollOf(session.tick(478.7 / 3000)).dy, -478.7, 1e-9);  // 0.3 left: dropped
  EXPECT_FALSE(session.needsTicks());
}

// Even rounds: one dash alone. Odd rounds: any interleaving of direction keys and dashes.
TEST(ScrollSessionKeys, GeneratedKeysAndDashesSettle) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> dt(1.0 / 240, 1.0 / 30);
  const std::uint16_t codes[] = {Key::h, Key::j, Key::k, Key::l};
  for (int round = 0; round < 400; ++round) {
    ScrollSession session(ScrollProfile::standard());
    if (rng() % 2)
      session.setWindow(Frame{0, 0, double(80 + rng() % 1500), double(80 + rng() % 1500)}, {}, {},
                        {}, {}, {});
    std::set<std::uint16_t> pressed;
    for (int step = 0, steps = round % 2 ? 30 : 1; step < steps; ++step) {
      const std::uint16_t code = codes[rng() % 4];
      if (steps == 1 || rng() % 2) {
        const bool shift = steps == 1 || rng() % 3 == 0;
        session.keyDown(
            down(code, shift ? Modifiers::shift : Modifiers::none, true, pressed.contains(code)));
        pressed.insert(code);
      } else {
        session.keyUp(up(code));
        pressed.erase(code);
      }
      if (rng() % 3 == 0) session.tick(dt(rng));
    }
    for (std::uint16_t code : pressed)
      session.keyUp(up(code));
    EXPECT_TRUE(session.held().empty());
    const auto queued = session.dashLeft();
    double dx = 0, dy = 0;
    for (int i = 0; i < 1000 && session.needsTicks(); ++i) {
      const auto paid = scrollOf(session.tick(dt(rng)));
      dx += paid.dx, dy += paid.dy;
    }
    EXPECT_FALSE(session.needsTicks()) << "round " << round;
    EXPECT_NEAR(dx, queued.dx, 0.5);
    EXPECT_NEAR(dy, queued.dy, 0.5);
  }
}

}  // namespace
}  // namespace tovrel
