#include <gtest/gtest.h>

#include "platform/fake/FakeAccess.hpp"
#include "platform/fake/FakeEvents.hpp"
#include "platform/fake/FakeHotKeys.hpp"
#include "system/Permissions.hpp"

namespace tovrel {
namespace {

using platform::ConsoleUser;

struct PermissionsTest : ::testing::Test {
  platform::fake::FakeAccessServices access;
  platform::fake::FakeEventServices events;
  platform::fake::FakeHotKeyServices hotKeys;

  PermissionReport report() { return Permissions::report(access, events, hotKeys); }
};

const PermissionReport sample{
    "local.tovrel.Tovrel", "/usr/bin/tovrel", "Test OS 1.0", true, false, true, false,
    std::nullopt};

TEST(PermissionReport, ReadinessMatrix) {
  struct Row {
    bool trusted, tap, secure;
    ReadinessStatus expected;
  };
  const Row rows[] = {
      {true, true, true, ReadinessStatus::restricted},
      {false, false, true, ReadinessStatus::restricted},
      {true, true, false, ReadinessStatus::ready},
      {false, true, false, ReadinessStatus::ready},
      {true, false, false, ReadinessStatus::unavailable},
      {false, false, false, ReadinessStatus::needsAccess},
  };
  for (const Row& row : rows) {
    for (bool listen : {false, true}) {
      PermissionReport report = sample;
      report.accessibilityTrusted = row.trusted;
      report.activeTapCreatable = row.tap;
      report.secureInputActive = row.secure;
      report.listenEventAccess = listen;
      EXPECT_EQ(report.status(), row.expected) << row.trusted << row.tap << row.secure << listen;
    }
  }
  EXPECT_EQ(displayText(ReadinessStatus::restricted), "Restricted by the desktop");
  EXPECT_EQ(displayText(ReadinessStatus::needsAccess), "Needs access");
}

TEST(PermissionReport, Json) {
  EXPECT_EQ(sample.toPrettyJson(),
            "{\n  \"accessibilityTrusted\": true,\n  \"activeTapCreatable\": true,\n"
            "  \"bundleIdentifier\": \"local.tovrel.Tovrel\",\n"
            "  \"executablePath\": \"/usr/bin/tovrel\",\n  \"listenEventAccess\": false,\n"
            "  \"osVersion\": \"Test OS 1.0\",\n  \"secureInputActive\": false\n}");
  EXPECT_EQ(PermissionReport::fromJson(json::Reader(json::parse(sample.toPrettyJson()))), sample);

  PermissionReport held = sample;
  held.secureInputApp = "Keyring";
  json::Value value = json::parse(held.toPrettyJson());
  EXPECT_EQ(value.at("secureInputApp"), "Keyring");
  EXPECT_EQ(PermissionReport::fromJson(json::Reader(value)), held);

  const json::Value full = sample.toJson();
  for (const auto& [key, unused] : full.items()) {
    json::Value missing = full;
    missing.erase(key);
    EXPECT_THROW(PermissionReport::fromJson(json::Reader(missing)), json::DecodingError) << key;
  }
}

TEST_F(PermissionsTest, ReportProbesWithoutPromptingOrEnabling) {
  access.trusted = true;
  events.listenAccess = false;
  EXPECT_EQ(report(), sample);
  EXPECT_EQ(access.trustQueries, std::vector<bool>{false});
  EXPECT_EQ(events.accessRequests, 0);
  ASSERT_EQ(events.taps.size(), 1u);
  const auto& tap = *events.taps[0];
  EXPECT_EQ(tap.mask, std::uint64_t{1} << 10);
  EXPECT_EQ(tap.enableCount, 0);
  EXPECT_TRUE(tap.invalidated && tap.destroyed);
  EXPECT_FALSE(tap.callback(platform::eventType::keyDown, {}));

  events.refuseTap = true;
  EXPECT_FALSE(report().activeTapCreatable);
}

TEST_F(PermissionsTest, BareExecutableFallbacks) {
  access.bundleID.reset();
  access.executable.reset();
  access.arguments = {"./tovrel", "--diagnose"};
  EXPECT_EQ(report().bundleIdentifier, "(no bundle identifier: running a raw executable)");
  EXPECT_EQ(report().executablePath, "./tovrel");
  access.arguments.clear();
  EXPECT_EQ(report().executablePath, "");
}

TEST_F(PermissionsTest, SecureInputHolderAndReason) {
  access.applicationNames = {{42, "Keyring"}, {43, "Terminal"}};
  const std::pair<std::optional<std::vector<ConsoleUser>>, std::optional<std::string>> cases[] = {
      {std::nullopt, std::nullopt},
      {std::vector<ConsoleUser>{{std::nullopt}, {0}, {-5}, {42}}, "Keyring"},
      {std::vector<ConsoleUser>{{7}, {42}}, std::nullopt},  // the first holder decides
      {std::vector<ConsoleUser>{{43}, {42}}, "Terminal"},
  };
  for (const auto& [users, expected] : cases) {
    access.users = users;
    hotKeys.secureInput = false;
    EXPECT_EQ(report().secureInputApp, std::nullopt);
    hotKeys.secureInput = true;
    EXPECT_EQ(report().secureInputApp, expected);
    EXPECT_EQ(Permissions::secureInputReason(access),
              expected
                  ? *expected + " has a password field active, so Tovrel stays off until it closes."
                  : "A password field is active in another app, so Tovrel stays off until "
                    "it closes.");
  }
}

TEST_F(PermissionsTest, PromptsAndSettingsPanes) {
  access.grantOnPrompt = true;
  EXPECT_TRUE(Permissions::requestAccessibilityPrompt(access));
  EXPECT_EQ(access.trustQueries, std::vector<bool>{true});
  events.listenAccess = false;
  events.grantOnRequest = true;
  EXPECT_TRUE(Permissions::requestListenAccessPrompt(events));
  EXPECT_EQ(events.accessRequests, 1);

  access.canOpenURLs = false;
  Permissions::openAccessibilitySettings(access);
  Permissions::openInputMonitoringSettings(access);
  EXPECT_EQ(access.openedURLs,
            (std::vector<std::string>{"x-tovrel-settings:privacy?Privacy_Accessibility",
                                      "x-tovrel-settings:privacy?Privacy_ListenEvent"}));
}

}  // namespace
}  // namespace tovrel
