// Clicking, end to end on the fixture window: the entry labels exactly its controls, a label
// activates once, search and Return hand typing to a field, Escape leaves from search, stale
// targets are refused, and switching modes leaves no drag and no labels behind.

#include <algorithm>
#include <array>

#include "app/model/AppModel.hpp"
#include "app/selftest/LiveSelfTest.hpp"
#include "system/NavigationService.hpp"

namespace tovrel::selftest {

using detail::boolText;
using detail::oneDecimal;
using detail::whole;

namespace {

constexpr std::array<std::string_view, 6> expectedNames = {
    "Increment", "Second action", "Name", "Typing area", "Moving target", "Remember me"};

// The label of the first target with this name, from one copy of a click session.
std::optional<std::string> labelOf(const ClickSession* click, std::string_view name) {
  if (click == nullptr) return std::nullopt;
  const auto& targets = click->targets();
  for (std::size_t index = 0; index < targets.size(); ++index)
    if (targets[index].name == name && index < click->labels().size())
      return click->labels()[index];
  return std::nullopt;
}

}  // namespace

void LiveSelfTest::startClicking() {
  activateFixture();
  ensureOff();
  pressClickEntry();
  // Whether the labels came is each check's own business.
  waitFor(2.0, [this] { return labelled(); });
}

void LiveSelfTest::clickDirectEntry() {
  activateFixture();
  ensureOff();
  const double c0 = fixtureNumber("counter");
  const double s0 = fixtureNumber("second");
  const double t0 = pacer_.now();
  pressClickEntry();
  const bool ok = waitFor(2.0, [this] { return labelled(); });
  const double elapsed = (pacer_.now() - t0) * 1000;

  // One copy of the session: what was labelled at this moment is what gets typed.
  const ClickSession* live = navigation().router().click();
  const std::optional<ClickSession> session =
      live ? std::optional<ClickSession>(*live) : std::nullopt;
  std::vector<std::string> names;
  if (session)
    for (const HintTarget& target : session->targets())
      names.push_back(target.name);
  const auto found = std::count_if(expectedNames.begin(), expectedNames.end(), [&](auto name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  });
  const bool disabled = std::find(names.begin(), names.end(), "Disabled action") != names.end();
  const bool passed = ok && navigation().mode() == InteractionMode::click &&
                      found == static_cast<long>(expectedNames.size()) && !disabled &&
                      visibleOverlayCount() > 0;
  const auto& discovery = navigation().lastDiscovery();
  const double discoveryMs = discovery ? discovery->milliseconds : -1;
  record({"L10",
          {"A09"},
          "The Click shortcut starts Click directly and labels the fixture window",
          passed,
          std::to_string(names.size()) + " targets in " + oneDecimal(elapsed) + " ms (discovery " +
              oneDecimal(discoveryMs) + " ms); found " + std::to_string(found) + "/" +
              std::to_string(expectedNames.size()) +
              " expected; disabled button excluded: " + boolText(!disabled) + ".",
          {{"firstLabelsMs", elapsed},
           {"discoveryMs", discoveryMs},
           {"targets", static_cast<double>(names.size())}}});

  const auto label = labelOf(session ? &*session : nullptr, "Increment");
  if (!label) {
    record({"L11",
            {"A11"},
            "Typing a complete label activates once",
            false,
            "No Increment target was labelled.",
            {}});
    return;
  }
  type(*label);
  wait(500);
  const double c1 = fixtureNumber("counter");
  const double s1 = fixtureNumber("second");
  const auto& activation = navigation().lastActivation();
  record({"L11",
          {"A11"},
          "Typing a complete label activates exactly that target once",
          c1 == c0 + 1 && s1 == s0 && navigation().mode() == InteractionMode::off,
          "Increment pressed " + whole(c1 - c0) + "×; other button " +
              whole(fixtureNumber("second") - s0) + "×; mode afterwards " + modeName() +
              " (one-shot); method: " + (activation ? activation->outcome : "none") + ".",
          {}});
}

void LiveSelfTest::searchField() {
  startClicking();
  press(Key::slash);
  type("name");
  wait(150);
  const ClickSession* click = navigation().router().click();
  const std::size_t results = click ? click->visible().size() : 0;
  press(Key::returnKey);
  wait(400);
  type("zq");
  wait(300);
  const std::string name = fixtureText("name");
  record({"L12",
          {"A13"},
          "Search “name”, press " + Key::name(Key::returnKey) +
              ", then type into the field immediately",
          navigation().mode() == InteractionMode::off && name.ends_with("zq"),
          std::to_string(results) + " result(s); mode after " + Key::name(Key::returnKey) + " " +
              modeName() + "; Name field now ends with “" + detail::lastCharacters(name, 2) + "”.",
          {}});
}

void LiveSelfTest::escapeFromSearch() {
  startClicking();
  press(Key::slash);
  type("x");
  wait(100);
  const ClickSession* click = navigation().router().click();
  const bool inSearch = click != nullptr && click->substate() == ClickSession::Substate::search;
  press(Key::escape);
  wait(200);
  const std::size_t overlays = visibleOverlayCount();
  record({"L13",
          {"A24"},
          "One Escape exits Click mode from Search",
          inSearch && navigation().mode() == InteractionMode::off && overlays == 0,
          "Was in search: " + boolText(inSearch) + "; mode after one Escape: " + modeName() +
              "; overlays left: " + std::to_string(overlays) + ".",
          {}});
}

void LiveSelfTest::staleTarget() {
  startClicking();
  const ClickSession* live = navigation().router().click();
  const std::optional<ClickSession> r0 = live ? std::optional<ClickSession>(*live) : std::nullopt;
  const auto movingLabel = labelOf(r0 ? &*r0 : nullptr, "Moving target");
  if (!movingLabel) {
    record({"L14",
            {"A12"},
            "Moved target is not clicked",
            false,
            "Moving target was not labelled.",
            {}});
    return;
  }
  auto outcome = [this] {
    const auto& activation = navigation().lastActivation();
    return activation ? activation->outcome : std::string("none");
  };
  const double m0 = fixtureNumber("moving");
  signalFixture("move");
  wait(400);
  type(*movingLabel);
  wait(500);
  const std::string moveOutcome = outcome();
  const bool stayed = navigation().mode() == InteractionMode::click;
  const std::int64_t snapshot0 = r0->snapshot();
  const bool refreshed = waitFor(1.5, [&] {
    const ClickSession* click = navigation().router().click();
    return (click ? click->snapshot() : 0) > snapshot0;
  });
  signalFixture("remove");
  wait(100);
  std::string removalOutcome = "not run";
  if (auto label = labelOf(navigation().router().click(), "Moving target")) {
    const std::string typed = *label;
    type(typed);
    wait(500);
    removalOutcome = outcome();
  }
  press(Key::escape);
  signalFixture("restore");
  wait(300);
  const double m1 = fixtureNumber("moving");
  const bool passed = m1 == m0 && moveOutcome == "target changed" && stayed && refreshed &&
                      removalOutcome == "target changed";
  record({"L14",
          {"A12"},
          "A target that moved or disappeared is not clicked; labels refresh",
          passed,
          "Moving target pressed " + whole(fixtureNumber("moving") - m0) + "×; after move: “" +
              moveOutcome + "”, stayed in Click " + boolText(stayed) + ", refreshed " +
              boolText(refreshed) + "; after removal: “" + removalOutcome + "”.",
          {}});
}

void LiveSelfTest::switching() {
  activateFixture();
  ensureOff();
  pointAt("pad", 0.5, 0.5);
  wait(250);
  const double u0 = padCount("leftUp");
  tapModifier(
      Key::rightOption, [this] { return navigation().mode() == InteractionMode::cursor; }, 1.0);
  holdModifier(Key::leftCommand);
  wait(150);
  const bool dragDown = leftButtonDown();
  pressClickEntry(Modifiers::command);
  wait(250);
  const bool switched = navigation().mode() == InteractionMode::click;
  const bool released = !leftButtonDown() && padCount("leftUp") == u0 + 1;
  releaseModifier(Key::leftCommand);
  wait(100);
  waitFor(2.0, [this] { return labelled(); });
  tapModifier(
      Key::rightOption, [this] { return navigation().mode() == InteractionMode::cursor; }, 1.0);
  wait(150);
  const bool backInCursor = navigation().mode() == InteractionMode::cursor;
  const bool cleared = navigation().router().click() == nullptr;
  const bool passed =
      dragDown && switched && released && backInCursor && cleared && !leftButtonDown();
  record({"L15",
          {"A10"},
          "Cursor → Click → Cursor: one owner, drag released, no stale labels",
          passed,
          "Drag was down: " + boolText(dragDown) + "; switched to Click: " + boolText(switched) +
              "; drag released before Click: " + boolText(released) +
              "; back in Cursor: " + boolText(navigation().mode() == InteractionMode::cursor) +
              "; Click snapshot cleared: " + boolText(navigation().router().click() == nullptr) +
              ".",
          {}});
  ensureOff();
}

}  // namespace tovrel::selftest
