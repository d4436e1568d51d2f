#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/fake/FakeAccessibility.hpp"
#include "platform/fake/FakeClock.hpp"
#include "platform/fake/FakeDisplays.hpp"
#include "platform/fake/FakeWorkspace.hpp"
#include "system/AccessibilityTargets.hpp"
#include "system/DiscoveryText.hpp"

namespace tovrel {
namespace {

namespace AT = AccessibilityTargets;
using platform::fake::FakeAccessibility;
using Frame = HintTarget::Frame;
using Id = FakeAccessibility::NodeId;

struct AccessibilityTargetsTest : ::testing::Test {
  // The woken-tree sets live for the whole process, so every test takes its own pid.
  static std::int32_t freshPid() {
    static std::int32_t next = 730000;
    return ++next;
  }
  platform::fake::FakeClock clock;
  FakeAccessibility ax{clock};
  platform::fake::FakeWorkspace workspace;
  platform::fake::FakeDisplayServices displays;
  platform::fake::FakeExecutor executor;
  DiscoveryServices services{ax, workspace, displays, clock, executor};
  std::int32_t pid = freshPid();
  Id app = ax.addApplication(pid);

  void text(Id node, const std::string& attribute, const std::string& value) {
    ax.set(node, attribute, value);
  }
};

TEST_F(AccessibilityTargetsTest, AccessibleNameCandidatesInOrder) {
  const std::string long200 = std::string(199, 'a') + "b";
  std::string accents;
  for (int i = 0; i < 200; ++i)
    accents += "e\xCC\x81";  // e and a combining acute: one character of three bytes
  struct Case {
    const char* what;
    std::string role;
    std::function<void(Id)> setup;
    std::optional<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"spaces-only title falls through", "AXButton",
       [&](Id n) { text(n, "AXTitle", "   "), text(n, "AXDescription", "Save"); }, "Save"},
      {"line breaks and no-break spaces trimmed", "AXButton",
       [&](Id n) { text(n, "AXTitle", "\n\t Open \xC2\xA0\r\n"); }, "Open"},
      {"typed text is no name", "AXTextField", [&](Id n) { text(n, "AXValue", "typed"); },
       std::nullopt},
      {"value names a non-text element", "AXSlider", [&](Id n) { text(n, "AXValue", "7"); }, "7"},
      {"title of another type is absent", "AXButton",
       [&](Id n) { ax.set(n, "AXTitle", 3.0), text(n, "AXHelp", "Help"); }, "Help"},
      {"placeholder before title element", "AXTextField",
       [&](Id n) {
         const Id label = ax.add(app, "AXStaticText");
         text(label, "AXValue", "Label");
         ax.set(n, "AXTitleUIElement", FakeAccessibility::Ref{label});
         text(n, "AXPlaceholderValue", "Search");
       },
       "Search"},
      {"title element value then its title", "AXTextField",
       [&](Id n) {
         const Id label = ax.add(app, "AXStaticText");
         text(label, "AXTitle", "Name");
         ax.set(n, "AXTitleUIElement", FakeAccessibility::Ref{label});
         text(n, "AXHelp", "Help");
       },
       "Name"},
      {"200 characters cut to 120", "AXButton", [&](Id n) { text(n, "AXTitle", long200); },
       std::string(120, 'a')},
      {"cut by characters, accents kept", "AXButton", [&](Id n) { text(n, "AXTitle", accents); },
       accents.substr(0, 360)},
      {"nothing at all", "AXButton", [](Id) {}, std::nullopt},
  };
  for (const Case& c : cases) {
    const Id node = ax.add(app, c.role);
    c.setup(node);
    EXPECT_EQ(AT::accessibleName(ax.element(node), c.role), c.expected) << c.what;
  }
}

// Every name cut (target, candidate and hover names, the audit and outline lines) goes through
// this one helper.
TEST(DiscoveryNameCut, KeepsWholeCharacters) {
  const auto times = [](const std::string& unit, int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
      text += unit;
    return text;
  };
  const std::string acute = "e\xCC\x81";            // e + U+0301
  const std::string stacked = "a\xCC\x88\xCC\x81";  // a + two marks
  const std::string family =
      "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9"             // man ZWJ woman
      "\xE2\x80\x8D\xF0\x9F\x91\xA7";                            // ZWJ girl
  const std::string thumb = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";  // with a skin tone
  const std::string france = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";
  const std::string japan = "\xF0\x9F\x87\xAF\xF0\x9F\x87\xB5";
  const struct {
    const char* what;
    std::string text;
    std::size_t count;
    std::string expected;
  } cases[] = {
      {"plain ASCII", "abcdef", 3, "abc"},
      {"empty", "", 40, ""},
      {"nothing wanted", acute, 0, ""},
      {"shorter than the cut", "ab" + acute, 40, "ab" + acute},
      {"exactly at the cut", times(acute, 40), 40, times(acute, 40)},
      {"one past the cut", times(acute, 41), 40, times(acute, 40)},
      {"combining marks", "x" + times(acute, 5), 3, "x" + times(acute, 2)},
      {"stacked marks", times(stacked, 4), 2, times(stacked, 2)},
      {"emoji joined into one", times(family, 3), 2, times(family, 2)},
      {"emoji with a modifier", "ok" + times(thumb, 2), 3, "ok" + thumb},
      {"flags", france + japan + france, 2, france + japan},
      {"CR LF is one", "a\r\nb", 2, "a\r\n"},
      {"ill-formed bytes",
       "ab\xFF"
       "cd",
       3, "ab\xEF\xBF\xBD"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(discovery::cutName(c.text, c.count), c.expected) << c.what;
}

TEST_F(AccessibilityTargetsTest, ReadersGiveNothingOnWrongTypes) {
  const Id node = ax.add(app, "AXButton", Frame{1, 2, 3, 4});
  ax.set(node, "AXZero", 0.0);
  ax.set(node, "AXTwo", 2.0);
  ax.set(node, "AXWord", std::string("yes"));
  const auto element = ax.element(node);
  EXPECT_EQ(AT::boolAttribute(element, "AXZero"), false);
  EXPECT_EQ(AT::boolAttribute(element, "AXTwo"), true);
  EXPECT_EQ(AT::boolAttribute(element, "AXWord"), std::nullopt);
  EXPECT_EQ(AT::elementAttribute(element, "AXWord"), std::nullopt);
  EXPECT_EQ(AT::stringAttribute(element, "AXTwo"), std::nullopt);
  EXPECT_EQ(AT::frame(element), (Frame{1, 2, 3, 4}));
  ax.failActionNames(node, platform::AXError::cannotComplete);
  EXPECT_TRUE(AT::actionNames(element).empty());

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (Frame bad : {Frame{nan, 0, 10, 10}, Frame{0, 0, inf, 10}, Frame{0, -inf, 1, 1}}) {
    ax.setFrame(node, bad);
    EXPECT_EQ(AT::frame(element), std::nullopt) << bad;
  }
  ax.setFrame(node, Frame{1, 2, 3, 4});
  ax.erase(node, "AXSize");
  EXPECT_EQ(AT::frame(element), std::nullopt);
}

TEST(AccessibilityTargets, IsVisible) {
  const Frame clip{0, 0, 100, 100};
  struct Case {
    Frame rect;
    std::vector<platform::Rect> displays;
    bool expected;
  };
  const std::vector<Case> cases = {
      {{0, 0, 3, 50}, {}, false},                       // too narrow, whatever the clip
      {{45, 45, 10, 10}, {}, true},                     // centred, no displays listed
      {{95, 10, 10, 10}, {}, false},                    // centre at x 100, outside the clip
      {{45, 45, 10, 10}, {{200, 0, 100, 100}}, false},  // on no display
      {{45, 45, 10, 10}, {{200, 0, 100, 100}, {0, 0, 60, 60}}, true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(AT::isVisible(c.rect, clip, c.displays), c.expected) << c.rect;
}

TEST_F(AccessibilityTargetsTest, DescendantAndTextSearches) {
  // Level by level: a popover one level down beats one two levels down earlier in child order.
  const Id root = ax.add(app, "AXPopover");
  const Id group = ax.add(root, "AXGroup");
  const Id deep = ax.add(group, "AXPopover");
  const Id shallow = ax.add(root, "AXPopover");
  EXPECT_EQ(AT::firstDescendant(ax.element(root), "AXPopover", 2), ax.element(shallow));
  EXPECT_EQ(AT::firstDescendant(ax.element(group), "AXPopover", 1), ax.element(deep));
  EXPECT_EQ(AT::firstDescendant(ax.element(root), "AXPopover", 0), std::nullopt);
  EXPECT_EQ(AT::firstDescendant(ax.element(root), "AXPopover", 2, [] { return true; }),
            std::nullopt);

  // firstText: depth first over four levels; an empty static text is searched inside, its
  // title unused. Depth 4 reads nothing at all.
  for (int levels = 1; levels <= 5; ++levels) {
    const Id top = ax.add(app, "AXGroup");
    Id node = top;
    for (int i = 1; i < levels; ++i) {
      node = ax.add(node, i == 1 ? "AXStaticText" : "AXGroup");
      text(node, "AXValue", " "), text(node, "AXTitle", "Not the value");
    }
    text(ax.add(node, "AXStaticText"), "AXValue", " Deep\n");
    const auto found = AT::firstText(ax.element(top), 0);
    EXPECT_EQ(found, levels <= 4 ? std::optional<std::string>("Deep") : std::nullopt) << levels;
    const int before = ax.messages();
    EXPECT_EQ(AT::firstText(ax.element(top), 4), std::nullopt);
    EXPECT_EQ(ax.messages(), before);
  }
}

TEST_F(AccessibilityTargetsTest, LinkHitFrame) {
  // The link's click point (no displays) is (100, 37).
  const Frame linkFrame{0, 0, 200, 40};
  struct Child {
    std::string role;
    Frame frame;
    int nesting = 0;  // groups between the link and the child
  };
  struct Case {
    const char* what;
    std::vector<Child> children;
    std::optional<Frame> expected;
  };
  const Frame left{0, 0, 50, 20}, right{150, 0, 50, 20};
  const std::vector<Case> cases = {
      {"one text child", {{"AXStaticText", left}}, std::nullopt},
      {"equal areas: the one taken first off the stack",
       {{"AXStaticText", left}, {"AXStaticText", right}},
       right},
      {"largest area", {{"AXStaticText", {0, 0, 60, 20}}, {"AXImage", right}}, Frame{0, 0, 60, 20}},
      {"heading preferred", {{"AXStaticText", {0, 0, 90, 20}}, {"AXHeading", right}}, right},
      {"click lands on a grown frame",
       {{"AXStaticText", left}, {"AXStaticText", {90, 30, 20, 6}}},
       std::nullopt},
      {"zero-size text is not collected",
       {{"AXStaticText", left}, {"AXStaticText", {150, 0, 0, 20}}},
       std::nullopt},
      {"found four levels down", {{"AXStaticText", left}, {"AXStaticText", right, 3}}, right},
      {"not five levels down", {{"AXStaticText", left}, {"AXStaticText", right, 4}}, std::nullopt},
  };
  for (const Case& c : cases) {
    const Id link = ax.add(app, "AXLink", linkFrame);
    for (const Child& child : c.children) {
      Id parent = link;
      for (int i = 0; i < child.nesting; ++i)
        parent = ax.add(parent, "AXGroup");
      ax.add(parent, child.role, child.frame);
    }
    EXPECT_EQ(AT::linkHitFrame(ax.element(link), linkFrame, {}), c.expected) << c.what;
  }

  // At most 12 collected: the children are taken from the last, so the 13th from the end, the
  // largest, is never seen.
  const Id link = ax.add(app, "AXLink", linkFrame);
  for (int i = 0; i < 20; ++i)
    ax.add(link, "AXImage", Frame{10.0 * i, 0, 5, i == 7 ? 15.0 : 10.0});
  EXPECT_EQ(AT::linkHitFrame(ax.element(link), linkFrame, {}), (Frame{190, 0, 5, 10}));
}

TEST_F(AccessibilityTargetsTest, WakeTree) {
  const auto application = ax.application(pid);
  auto manualWrites = [&] {
    const auto writes = ax.writes();
    return std::count_if(writes.begin(), writes.end(),
                         [](const auto& w) { return w.attribute == "AXManualAccessibility"; });
  };
  EXPECT_TRUE(AT::wakeTree(services, application, pid));
  EXPECT_FALSE(AT::wakeTree(services, application, pid));
  EXPECT_EQ(manualWrites(), 2);

  struct Case {
    bool marker;
    bool expected;
  };
  for (const Case c : {Case{true, true}, Case{false, false}}) {
    const std::int32_t other = freshPid();
    const Id node = ax.addApplication(other);
    ax.setWriteResult(node, "AXManualAccessibility", platform::AXError::attributeUnsupported);
    workspace.apps.push_back({other, "app", "App", "/opt/app" + std::to_string(other)});
    if (c.marker) workspace.files.insert("/opt/app" + std::to_string(other) + "/libcef.so");
    EXPECT_EQ(AT::embedsChromium(services, other), c.marker);
    EXPECT_EQ(AT::wakeTree(services, ax.application(other), other), c.expected);
    const auto writes = ax.writes();
    const bool enhancedWrite = std::any_of(writes.begin(), writes.end(), [&](const auto& w) {
      return w.node == node && w.attribute == "AXEnhancedUserInterface";
    });
    EXPECT_EQ(enhancedWrite, c.marker);
  }
  EXPECT_FALSE(AT::embedsChromium(services, freshPid()));  // not running
  const std::int32_t marked = freshPid();
  EXPECT_TRUE(AT::markEnhanced(marked));
  EXPECT_FALSE(AT::markEnhanced(marked));
}

DiscoveryResult resultOf(const std::vector<Frame>& frames, int contentTargets, int covered) {
  DiscoveryResult result;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    result.targets.push_back({"t" + std::to_string(i), "AXButton", frames[i]});
    result.elements.push_back({{}, "r" + std::to_string(i), frames[i], {}, {}, {}});
  }
  result.contentTargets = contentTargets;
  result.covered = covered;
  return result;
}

TEST(AccessibilityTargets, RemoveCovered) {
  std::vector<Frame> frames;
  for (int i = 0; i < 10; ++i)
    frames.push_back({20.0 * i, 0, 10, 10});  // centres at x 5, 25, 45, ...
  auto untouched = resultOf(frames, 9, 7);
  untouched.removeCovered(std::vector<Frame>{});
  untouched.removeCovered(std::vector<Frame>{{500, 500, 10, 10}});
  EXPECT_EQ(untouched.covered, 7);
  EXPECT_EQ(untouched.targets.size(), 10u);

  auto result = resultOf(frames, 2, 0);
  // Covers the centres of targets 1 and 2, and of 9 through a second rectangle; the right
  // edge at x 5 leaves target 0's centre outside.
  result.removeCovered(std::vector<Frame>{{-10, 0, 15, 10}, {20, 0, 30, 10}, {180, 0, 20, 20}});
  EXPECT_EQ(result.covered, 3);
  EXPECT_EQ(result.contentTargets, 0);
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < result.targets.size(); ++i) {
    kept.push_back(result.targets[i].name);
    EXPECT_EQ("r" + result.targets[i].name.substr(1), result.elements[i].role);
  }
  EXPECT_EQ(kept, (std::vector<std::string>{"t0", "t3", "t4", "t5", "t6", "t7", "t8"}));
}

TEST(AccessibilityTargets, AppendSortsOnlyWhenGivenPairs) {
  auto result = resultOf({{50, 100, 5, 5}, {10, 0, 5, 5}}, 2, 0);  // not in reading order
  result.append({});
  EXPECT_EQ(result.targets[0].name, "t0");
  result.append({{HintTarget{"new", "AXButton", {0, 2, 5, 5}}, AXElementBox{}}});
  std::vector<std::string> names;
  for (const auto& t : result.targets)
    names.push_back(t.name);
  EXPECT_EQ(names, (std::vector<std::string>{"new", "t1", "t0"}));
  EXPECT_EQ(result.elements[1].role, "r1");
  EXPECT_EQ(result.contentTargets, 2);
}

// ── Reading order ──

// A second, deliberately plain rendering of the label order's procedure, written from its
// description, to compare the real one against on input where the relation chains.
namespace reference {

bool before(Frame a, Frame b) {
  return std::abs(a.y - b.y) > 6 ? a.y < b.y : a.x < b.x;
}

void insertFrom(std::vector<Frame>& v, std::size_t lo, std::size_t hi, std::size_t sorted) {
  for (std::size_t k = sorted; k < hi; ++k)
    for (std::size_t i = k; i > lo && before(v[i], v[i - 1]); --i)
      std::swap(v[i], v[i - 1]);
}

void merge(std::vector<Frame>& v, std::size_t lo, std::size_t mid, std::size_t hi) {
  std::vector<Frame> left(v.begin() + lo, v.begin() + mid), right(v.begin() + mid, v.begin() + hi);
  if (left.size() < right.size()) {
    std::size_t a = 0, b = 0, out = lo;
    while (a < left.size() && b < right.size())
      v[out++] = before(right[b], left[a]) ? right[b++] : left[a++];
    while (a < left.size())
      v[out++] = left[a++];
    while (b < right.size())
      v[out++] = right[b++];
  } else {
    std::size_t a = left.size(), b = right.size(), out = hi;
    while (a > 0 && b > 0)
      v[--out] = before(right[b - 1], left[a - 1]) ? left[--a] : right[--b];
    while (b > 0)
      v[--out] = right[--b];
    while (a > 0)
      v[--out] = left[--a];
  }
}

std::vector<Frame> sorted(std::vector<Frame> v) {
  const std::size_t n = v.size();
  std::size_t minRun = n, rest = 0;
  while (minRun >= 64)
    rest |= minRun & 1, minRun >>= 1;
  minRun += rest;
  if (n <= minRun) {
    insertFrom(v, 0, n, std::min<std::size_t>(1, n));
    return v;
  }
  std::vector<std::pair<std::size_t, std::size_t>> runs;  // (start, length)
  auto len = [&](std::size_t fromTop) { return runs[runs.size() - 1 - fromTop].second; };
  auto mergeBelow = [&](std::size_t fromTop) {  // merges the run `fromTop` with the one below
    auto& lower = runs[runs.size() - 2 - fromTop];
    const auto upper = runs[runs.size() - 1 - fromTop];
    merge(v, lower.first, upper.first, upper.first + upper.second);
    lower.second += upper.second;
    runs.erase(runs.end() - 1 - static_cast<std::ptrdiff_t>(fromTop));
  };
  for (std::size_t start = 0; start < n;) {
    std::size_t end = start + 1;
    if (end < n) {
      const bool down = before(v[end], v[start]);
      while (++end < n && before(v[end], v[end - 1]) == down) {
      }
      if (down) std::reverse(v.begin() + start, v.begin() + end);
    }
    if (end < n && end - start < minRun) {
      insertFrom(v, start, std::min(n, start + minRun), end);
      end = std::min(n, start + minRun);
    }
    runs.push_back({start, end - start});
    for (;;) {
      const std::size_t c = runs.size();
      if (c < 2) break;
      if ((c >= 4 && len(3) <= len(2) + len(1)) || (c >= 3 && len(2) <= len(1) + len(0))) {
        mergeBelow(len(2) < len(0) ? 1 : 0);
      } else if (len(1) <= len(0)) {
        mergeBelow(0);
      } else {
        break;
      }
    }
    start = end;
  }
  while (runs.size() > 1)
    mergeBelow(0);
  return v;
}

}  // namespace reference

std::vector<Frame> sortFrames(const std::vector<Frame>& frames) {
  std::vector<TargetPair> pairs;
  for (std::size_t i = 0; i < frames.size(); ++i)
    pairs.push_back({HintTarget{std::to_string(i), "AXButton", frames[i]},
                     AXElementBox{{}, std::to_string(i), frames[i], {}, {}, {}}});
  AT::sortForLabels(pairs);
  std::vector<Frame> out;
  for (const auto& [target, box] : pairs) {
    EXPECT_EQ(target.name, box.role);  // pairs stay pairs
    out.push_back(target.frame);
  }
  return out;
}

TEST(AccessibilityTargets, SortForLabelsGoldenVectors) {
  struct Case {
    std::vector<Frame> in, out;
  };
  const std::vector<Case> cases = {
      {{{100, 10}, {10, 14}, {50, 30}}, {{10, 14}, {100, 10}, {50, 30}}},
      {{{30, 12}, {20, 6}, {10, 0}}, {{10, 0}, {20, 6}, {30, 12}}},  // a chained row
      {{{5, 0}, {5, 0}}, {{5, 0}, {5, 0}}},
      {{}, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(sortFrames(c.in), c.out);

  // 64 rows given bottom up: one descending run, reversed whole.
  std::vector<Frame> descending, ascending;
  for (int i = 0; i < 64; ++i) {
    descending.push_back({0, 1000.0 - 10 * i});
    ascending.insert(ascending.begin(), descending.back());
  }
  EXPECT_EQ(sortFrames(descending), ascending);
}

// Rows that chain through the tolerance, runs that descend, and long ordered stretches of
// every length, so that runs of many sizes meet on the merge stack.
std::vector<Frame> generatedFrames(std::mt19937& random) {
  auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  const auto n = std::uniform_int_distribution<std::size_t>(60, 300)(random);
  std::vector<Frame> frames;
  double y = 0;
  while (frames.size() < n) {
    const auto mode = random() % 5;
    if (mode == 4) {  // an ordered stretch, up or down
      const double step = random() % 2 ? 7 : -7;
      for (auto k = random() % 90; k > 0 && frames.size() < n; --k)
        frames.push_back({std::floor(uniform(0, 50)), y += step});
      continue;
    }
    if (mode == 0) y += uniform(0, 6);
    if (mode == 1) y -= uniform(0, 12);
    if (mode == 2) y = uniform(0, 400);
    frames.push_back({std::floor(uniform(0, 50)), y});
  }
  return frames;
}

// Ascending natural runs of exactly the given lengths, each starting below where the last one
// ended, their rows chained so that the order of merges shows in the result.
std::vector<Frame> framesInRuns(std::mt19937& random, const std::vector<int>& lengths) {
  auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  std::vector<Frame> frames;
  for (int length : lengths) {
    Frame f{uniform(0, 50), uniform(0, 40)};
    for (int i = 0; i < length; ++i) {
      frames.push_back(f);
      const double dy = uniform(0, 8);
      f = {dy > 6 ? uniform(0, 50) : f.x + uniform(0, 5), f.y + dy};
    }
  }
  return frames;
}

TEST(AccessibilityTargets, SortForLabelsMatchesTheProcedure) {
  for (unsigned seed = 1; seed <= 200; ++seed) {
    std::mt19937 random(seed);
    const std::vector<Frame> frames = generatedFrames(random);
    const auto sorted = sortFrames(frames);
    EXPECT_EQ(sorted, reference::sorted(frames)) << "seed " << seed;
    auto key = [](const Frame& f) { return std::make_pair(f.x, f.y); };
    std::vector<std::pair<double, double>> a, b;
    for (std::size_t i = 0; i < frames.size(); ++i)
      a.push_back(key(frames[i])), b.push_back(key(sorted[i]));
    EXPECT_TRUE(std::is_permutation(a.begin(), a.end(), b.begin())) << "seed " << seed;
  }
  // 512 entries (minimum run 32) in runs 190, 130, 40, 32, 50, 70: pushing the fifth run breaks
  // only the rule on the fourth newest run.
  for (unsigned seed = 1; seed <= 10; ++seed) {
    std::mt19937 random(seed);
    const auto frames = framesInRuns(random, {190, 130, 40, 32, 50, 70});
    EXPECT_EQ(sortFrames(frames), reference::sorted(frames)) << "runs, seed " << seed;
  }
}

TEST(AccessibilityTargets, SortForLabelsIsTheStableSortOnWellSeparatedRows) {
  // Rows 10 points apart make the relation a strict weak order; then only one answer is right.
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 random(seed);
    std::vector<Frame> frames;
    const auto n = std::uniform_int_distribution<std::size_t>(1, 300)(random);
    for (std::size_t i = 0; i < n; ++i)
      frames.push_back(
          {static_cast<double>(random() % 8), 10.0 * (random() % 12), static_cast<double>(i), 0});
    auto expected = frames;
    std::stable_sort(expected.begin(), expected.end(), [](const Frame& a, const Frame& b) {
      return a.y != b.y ? a.y < b.y : a.x < b.x;
    });
    EXPECT_EQ(sortFrames(frames), expected) << "seed " << seed;
  }
}

}  // namespace
}  // namespace tovrel
