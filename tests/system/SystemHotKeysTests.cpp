#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/fake/FakeHotKeys.hpp"
#include "system/SystemHotKeys.hpp"

namespace tovrel {
namespace {

using platform::HotKeyID;
using platform::hotKeyStatus::eventNotHandled;
using platform::hotKeyStatus::noError;

constexpr std::uint32_t tvrl = 0x5456524C;
constexpr Modifiers commandShift{Modifiers::command, Modifiers::shift};

struct SystemHotKeysTest : ::testing::Test {
  platform::fake::FakeHotKeyServices desktop;
  std::vector<int> fired;
  std::unique_ptr<SystemHotKeys> hotKeys = std::make_unique<SystemHotKeys>(desktop);

  SystemHotKeys::Action record(int value) {
    return [this, value] { fired.push_back(value); };
  }
};

TEST(HotKeyModifierMask, TranslatesEachModifier) {
  const std::pair<Modifiers, std::uint32_t> rows[] = {
      {Modifiers::command, 256},  {Modifiers::shift, 512}, {Modifiers::option, 2048},
      {Modifiers::control, 4096}, {commandShift, 768},     {Modifiers(0xFF), 6912},
  };
  for (const auto& [modifiers, mask] : rows)
    EXPECT_EQ(hotKeyModifierMask(modifiers), mask) << int(modifiers.rawValue);
}

TEST_F(SystemHotKeysTest, CommandShiftSpaceRegistersUnderTheMarker) {
  hotKeys->registerHotKey(1, Key::space, commandShift, record(1));
  auto registered = desktop.registrationsOf(1);
  ASSERT_EQ(registered.size(), 1u);
  EXPECT_EQ(registered[0].id, (HotKeyID{tvrl, 1}));
  EXPECT_EQ(registered[0].keyCode, 49);
  EXPECT_EQ(registered[0].modifierMask, 768u);
  EXPECT_EQ(desktop.press({tvrl, 1}), noError);
  EXPECT_EQ(fired, std::vector<int>{1});
}

TEST_F(SystemHotKeysTest, RegisteringAgainReplacesAndRefusalLeavesNothing) {
  hotKeys->registerHotKey(2, Key::j, Modifiers::control, record(1));
  hotKeys->registerHotKey(2, Key::k, Modifiers::option, record(2));
  ASSERT_EQ(desktop.registrationsOf(2).size(), 1u);
  EXPECT_EQ(desktop.registrationsOf(2)[0].keyCode, Key::k);
  desktop.press({tvrl, 2});
  EXPECT_EQ(fired, std::vector<int>{2});

  desktop.refused.push_back({Key::space, 768});
  hotKeys->registerHotKey(2, Key::space, commandShift, record(3));
  EXPECT_FALSE(hotKeys->hasHotKeys());
  EXPECT_TRUE(desktop.registrations.empty());
  EXPECT_EQ(desktop.press({tvrl, 2}), noError);  // ours, but nothing runs
  EXPECT_EQ(fired, std::vector<int>{2});
  EXPECT_EQ(desktop.handlersInstalled, 1);
}

TEST_F(SystemHotKeysTest, ForeignSignaturesAndMissingIdsAreNotHandled) {
  int foreignRuns = 0;  // another part of the process, handling its own hot keys behind ours
  auto foreign = desktop.installHandler([&](const HotKeyID* id) {
    if (!id || id->signature != 0x41424344) return eventNotHandled;
    ++foreignRuns;
    return noError;
  });
  hotKeys->registerHotKey(1, Key::space, Modifiers::command, record(1));
  EXPECT_EQ(desktop.press({0x41424344, 1}), noError);
  EXPECT_EQ(foreignRuns, 1);
  EXPECT_EQ(desktop.press({0x58585858, 1}), eventNotHandled);
  EXPECT_EQ(desktop.pressWithoutID(), eventNotHandled);
  EXPECT_TRUE(fired.empty());
}

TEST_F(SystemHotKeysTest, UnregisterAllKeepsTheHandlerAndTheDestructorRemovesIt) {
  // Starting a mode takes the hot keys away while the action still runs.
  hotKeys->registerHotKey(1, Key::space, Modifiers::command, [this] {
    hotKeys->unregisterAll();
    fired.push_back(1);
  });
  hotKeys->registerHotKey(2, Key::j, Modifiers::control, record(2));
  EXPECT_EQ(desktop.press({tvrl, 1}), noError);
  EXPECT_EQ(fired, std::vector<int>{1});
  EXPECT_TRUE(desktop.registrations.empty());
  EXPECT_EQ(desktop.handlerCount(), 1u);

  hotKeys->registerHotKey(3, Key::c, Modifiers::command, record(3));
  hotKeys.reset();
  EXPECT_TRUE(desktop.registrations.empty());
  EXPECT_EQ(desktop.handlerCount(), 0u);
}

}  // namespace
}  // namespace tovrel
