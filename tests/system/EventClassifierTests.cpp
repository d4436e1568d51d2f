#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "system/EventClassifier.hpp"

namespace tovrel {
namespace {

namespace flag = platform::eventFlag;
namespace type = platform::eventType;
using K = KeyEvent::Kind;
constexpr Modifiers command = Modifiers::command;
constexpr Modifiers shift = Modifiers::shift;

std::optional<KeyEvent> classify(platform::EventType t, std::uint16_t code, std::uint64_t flags,
                                 std::u16string text = {}, bool autorepeat = false) {
  platform::InputEvent event;
  event.type = t;
  event.keyCode = code;
  event.autorepeat = autorepeat;
  event.text = std::move(text);
  event.flags = flags;
  auto input = EventClassifier::input(t, event, 0);
  const RouterInput::Key* key = input ? input->as<RouterInput::Key>() : nullptr;
  if (!key) return std::nullopt;
  return key->event;
}

TEST(EventClassifier, FlagsChangedTruthTable) {
  struct Case {
    std::uint16_t code;
    std::uint64_t flags;
    K kind;
    Modifiers modifiers;
  };
  const std::vector<Case> cases = {
      {Key::rightOption, flag::option | flag::rightOption, K::down, {}},
      {Key::rightOption, 0, K::up, {}},
      {Key::rightOption, flag::option | flag::leftOption, K::up, {}},  // left Option still held
      {Key::leftShift, flag::shift | flag::leftShift | flag::rightShift, K::down, {}},
      {Key::leftShift, flag::shift | flag::leftShift | flag::command, K::down, command},
      {Key::rightControl, flag::control | flag::rightControl, K::down, {}},
      {Key::capsLock, flag::alphaShift | flag::shift, K::down, shift},
      {Key::capsLock, 0, K::up, {}},
      {Key::function,
       flag::secondaryFn | 0x1E0000,
       K::down,
       {command, shift, Modifiers::option, Modifiers::control}},
      {Key::function, flag::command, K::up, command},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classify(type::flagsChanged, c.code, c.flags),
              KeyEvent(c.kind, c.code, c.modifiers, false, true, false, std::nullopt))
        << c.code << " with flags " << std::hex << c.flags;
  }
}

TEST(EventClassifier, KeysAndTypedCharacters) {
  struct Case {
    platform::EventType t;
    std::uint64_t flags;
    std::u16string text;
    bool typesCharacter;
    std::optional<std::string> character;
  };
  const std::vector<Case> cases = {
      {type::keyDown, flag::shift, u"A", true, "A"},
      {type::keyUp, flag::alphaShift, u"A", true, "A"},
      {type::keyDown, flag::command, u"a", false, "a"},
      {type::keyDown, flag::option, u"\u00E5", false, "\u00E5"},
      {type::keyDown, flag::control, u"\u0001", false, "\x01"},
      {type::keyDown, 0, u" ", true, " "},
      {type::keyDown, 0, u"\r", false, "\r"},        // Return
      {type::keyDown, 0, u"\u007F", false, "\x7F"},  // Delete
      {type::keyDown, 0, u"", false, std::nullopt},  // arrows
      {type::keyDown, 0, u"\u2029x", false, "\u2029x"},
      {type::keyDown, 0, u"\U0001F600", true, "\U0001F600"},
  };
  for (bool autorepeat : {false, true}) {
    for (const Case& c : cases) {
      const K kind = c.t == type::keyDown ? K::down : K::up;
      EXPECT_EQ(classify(c.t, Key::a, c.flags, c.text, autorepeat),
                KeyEvent(kind, Key::a, EventClassifier::modifiers(c.flags), autorepeat, false,
                         c.typesCharacter, c.character))
          << c.character.value_or("(none)");
    }
  }
}

TEST(EventClassifier, UnicodeTextReadsAtMostEightUnitsAndRepairsSurrogates) {
  const std::u16string highSurrogate(1, char16_t(0xD83D));
  const std::vector<std::pair<std::u16string, std::string>> cases = {
      {u"", ""},
      {u"abcdefghij", "abcdefgh"},
      {u"abcdefg\U0001F600", "abcdefg\uFFFD"},  // the pair is cut by the limit
      {u"abcdef\U0001F600", "abcdef\U0001F600"},
      {highSurrogate + u"a" + highSurrogate, "\uFFFDa\uFFFD"},
  };
  for (const auto& [text, expected] : cases) {
    platform::InputEvent event;
    event.text = text;
    EXPECT_EQ(EventClassifier::unicodeText(event), expected);
  }
}

TEST(EventClassifier, PointerAndUnknownTypes) {
  for (platform::EventType t : {1, 2, 3, 4, 6, 7, 22, 25, 26, 27}) {
    auto input = EventClassifier::input(t, {}, 0);
    EXPECT_TRUE(input && input->as<RouterInput::PointerButton>()) << t;
  }
  auto moved = EventClassifier::input(type::mouseMoved, {}, 0);
  EXPECT_TRUE(moved && moved->as<RouterInput::ExternalPointerMoved>());
  for (platform::EventType t : {0u, 23u, 24u, 29u, type::tapDisabledByTimeout})
    EXPECT_FALSE(EventClassifier::input(t, {}, 0)) << t;
}

}  // namespace
}  // namespace tovrel
