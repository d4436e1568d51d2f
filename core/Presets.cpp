#include "core/Presets.hpp"

#include <algorithm>
#include <unordered_set>

namespace tovrel {

namespace {

using A = CursorAction;

CursorBinding bind(CursorAction action, std::uint16_t code, Modifiers modifiers = Modifiers::none) {
  return CursorBinding{action, Gesture::key(code, modifiers)};
}

bool isMoveOrScroll(CursorAction action) {
  return static_cast<int>(action) <= static_cast<int>(A::scrollRight);
}

}  // namespace

namespace Presets {

const Preset& standard() {
  static const Preset preset{
      "Standard",
      "I J K L move, arrows scroll, Space clicks, Shift-Space right-clicks.",
      {
          bind(A::moveUp, Key::i),
          bind(A::moveLeft, Key::j),
          bind(A::moveDown, Key::k),
          bind(A::moveRight, Key::l),
          bind(A::scrollUp, Key::upArrow),
          bind(A::scrollDown, Key::downArrow),
          bind(A::scrollLeft, Key::leftArrow),
          bind(A::scrollRight, Key::rightArrow),
          bind(A::leftClick, Key::space),
          bind(A::rightClick, Key::space, Modifiers::shift),
          bind(A::middleClick, Key::e),
          bind(A::backButton, Key::w),
          bind(A::forwardButton, Key::q),
          bind(A::precision, Key::a),
          bind(A::boost, Key::s),
          bind(A::help, Key::slash, Modifiers::shift),
      },
      std::nullopt,
  };
  return preset;
}

const Preset& mouseless() {
  static const Preset preset = [] {
    std::vector<CursorBinding> list;
    for (const CursorBinding& binding : standard().cursorBindings) {
      if (binding.action != A::scrollRight) list.push_back(binding);
    }
    list.push_back(bind(A::scrollRight, Key::slash));
    list.push_back(bind(A::boost, Key::d));
    list.push_back(bind(A::boost, Key::f));
    return Preset{"Mouseless", "Standard, plus / scrolls right, D and F boost.", std::move(list),
                  std::nullopt};
  }();
  return preset;
}

const Preset& vim() {
  static const Preset preset = [] {
    std::vector<CursorBinding> list = standard().cursorBindings;
    for (CursorBinding& binding : list) {
      switch (binding.action) {
        case A::moveUp:
          binding.gesture = Gesture::key(Key::k);
          break;
        case A::moveDown:
          binding.gesture = Gesture::key(Key::j);
          break;
        case A::moveLeft:
          binding.gesture = Gesture::key(Key::h);
          break;
        case A::moveRight:
          binding.gesture = Gesture::key(Key::l);
          break;
        default:
          break;
      }
    }
    return Preset{"Vim HJKL", "H J K L move, arrows scroll.", std::move(list), std::nullopt};
  }();
  return preset;
}

const Preset& arrows() {
  static const Preset preset = [] {
    std::vector<CursorBinding> list;
    for (const CursorBinding& binding : standard().cursorBindings) {
      if (!isMoveOrScroll(binding.action)) list.push_back(binding);
    }
    const std::vector<CursorBinding> added = {
        bind(A::moveUp, Key::upArrow),
        bind(A::moveDown, Key::downArrow),
        bind(A::moveLeft, Key::leftArrow),
        bind(A::moveRight, Key::rightArrow),
        bind(A::scrollUp, Key::upArrow, Modifiers::shift),
        bind(A::scrollDown, Key::downArrow, Modifiers::shift),
        bind(A::scrollLeft, Key::leftArrow, Modifiers::shift),
        bind(A::scrollRight, Key::rightArrow, Modifiers::shift),
    };
    list.insert(list.end(), added.begin(), added.end());
    return Preset{"Arrow keys", "Arrows move, Shift-arrows scroll.", std::move(list), std::nullopt};
  }();
  return preset;
}

const std::vector<Preset>& all() {
  static const std::vector<Preset> list = {standard(), mouseless(), vim(), arrows()};
  return list;
}

const std::map<ClickControl, Gesture>& standardClickControls() {
  static const std::map<ClickControl, Gesture> controls = {
      {ClickControl::startSearch, Gesture::key(Key::slash)},
      {ClickControl::nextTarget, Gesture::key(Key::tab)},
      {ClickControl::previousTarget, Gesture::key(Key::tab, Modifiers::shift)},
      {ClickControl::activateSelected, Gesture::key(Key::returnKey)},
      {ClickControl::backspace, Gesture::key(Key::deleteKey)},
      {ClickControl::cycleAction, Gesture::key(Key::period)},
      {ClickControl::refresh, Gesture::key(Key::r, Modifiers::command)},
  };
  return controls;
}

}  // namespace Presets

std::vector<BindingChange> BindingChange::diff(const std::vector<CursorBinding>& from,
                                               const std::vector<CursorBinding>& to) {
  auto gesturesOf = [](const std::vector<CursorBinding>& list, CursorAction action) {
    std::vector<Gesture> gestures;
    for (const CursorBinding& binding : list) {
      if (binding.action == action) gestures.push_back(binding.gesture);
    }
    return gestures;
  };
  auto asSet = [](const std::vector<Gesture>& gestures) {
    return std::unordered_set<Gesture>(gestures.begin(), gestures.end());
  };

  std::vector<BindingChange> changes;
  for (CursorAction action : allCases<CursorAction>()) {
    std::vector<Gesture> before = gesturesOf(from, action);
    std::vector<Gesture> after = gesturesOf(to, action);
    if (asSet(before) != asSet(after)) {
      changes.push_back(BindingChange{action, std::move(before), std::move(after)});
    }
  }
  return changes;
}

}  // namespace tovrel
