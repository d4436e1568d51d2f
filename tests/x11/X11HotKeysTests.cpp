#include "platform/x11/session/X11HotKeys.hpp"

#include <gtest/gtest.h>

#include <set>

namespace tovrel::platform::x11 {
namespace {

constexpr unsigned long numLock = 0xff7f, superL = 0xffeb, superR = 0xffec, altL = 0xffe9,
                        shiftL = 0xffe1, hyperL = 0xffed;
constexpr unsigned mod3 = 1u << 5, mod5 = 1u << 7;

TEST(X11HotKeys, ModifierBitsFollowTheKeyboardsModifierMap) {
  using Rows = std::array<std::vector<unsigned long>, 8>;
  // Shift, Lock, Control, Mod1 … Mod5 as a stock keymap has them.
  Rows stock{{{shiftL}, {}, {}, {altL}, {numLock}, {}, {superL, superR, hyperL}, {}}};
  EXPECT_EQ(modifierBitsFromKeysyms(stock), ModifierBits{});

  Rows moved{{{}, {}, {}, {altL}, {}, {superR}, {}, {numLock}}};
  EXPECT_EQ(modifierBitsFromKeysyms(moved), (ModifierBits{mod3, xModifier::mod1, mod5}));

  // Super only on the Control row does not make Control the Command bit; no Num Lock, no bit.
  Rows odd{{{}, {}, {superL}, {}, {}, {}, {}, {}}};
  EXPECT_EQ(modifierBitsFromKeysyms(odd), (ModifierBits{xModifier::mod4, xModifier::mod1, 0}));
}

TEST(X11HotKeys, HotKeyMasksBecomeXModifierStates) {
  ModifierBits bits;
  struct Case {
    std::uint32_t mask;
    unsigned state;
  };
  for (auto [mask, state] : {
           Case{0, 0}, Case{768, xModifier::mod4 | xModifier::shift},  // Command-Shift
           Case{hotKeyModifier::option, xModifier::mod1},
           Case{hotKeyModifier::control | hotKeyModifier::shift,
                xModifier::control | xModifier::shift},
           Case{256 | 512 | 2048 | 4096,
                xModifier::mod4 | xModifier::shift | xModifier::mod1 | xModifier::control},
           Case{1024 | 65536, 0},  // bits without a meaning here
       })
    EXPECT_EQ(xModifiersForHotKeyMask(mask, bits), state) << mask;
  EXPECT_EQ(xModifiersForHotKeyMask(hotKeyModifier::command, ModifierBits{mod3, 0, 0}), mod3);
}

TEST(X11HotKeys, EveryChordIsGrabbedWithEachLockCombination) {
  unsigned chord = xModifier::mod4 | xModifier::shift;
  std::vector<unsigned> variants = lockVariants(chord, xModifier::mod2);
  EXPECT_EQ(std::set<unsigned>(variants.begin(), variants.end()),
            (std::set<unsigned>{chord, chord | xModifier::lock, chord | xModifier::mod2,
                                chord | xModifier::lock | xModifier::mod2}));
  EXPECT_EQ(variants.size(), 4u);
  EXPECT_EQ(lockVariants(0, 0), (std::vector<unsigned>{0, xModifier::lock}));

  // A pressed chord is recognised whatever the locks, buttons and keyboard group add.
  for (unsigned variant : variants) {
    unsigned state = variant | (1u << 8) /* Button1 */ | (1u << 13) /* group */;
    EXPECT_EQ(chordModifiers(state, xModifier::mod2), chord) << variant;
  }
}

}  // namespace
}  // namespace tovrel::platform::x11
