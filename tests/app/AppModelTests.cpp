#include "app/model/AppModel.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "core/ConfigValidator.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/FailingFileSystem.hpp"

namespace tovrel {
namespace {

namespace fs = std::filesystem;
using Property = AppModel::Property;

const std::string unreadablePrefix =
    "Saved settings could not be read, so defaults are in use. The file was not changed. ";

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// A valid configuration distinct for every n.
TovrelConfig variant(int n) {
  TovrelConfig config;
  config.scrolling.maximumSpeed = 1000 + n;
  return config;
}

class AppModelTest : public ::testing::Test {
 protected:
  AppModelTest() {
    std::string pattern = (fs::temp_directory_path() / "tovrel-model.XXXXXX").string();
    folder = ::mkdtemp(pattern.data());
  }
  ~AppModelTest() override {
    model.reset();
    fs::remove_all(folder);
  }
  fs::path file() const { return folder / "config.json"; }
  AppModel& make(bool withStore = true) {
    model.reset();
    std::optional<ConfigStore> store;
    if (withStore) store.emplace(file(), fileSystem);
    model = std::make_unique<AppModel>(std::move(store), desktop.platform, loginItems);
    model->observe([this](Property p) { ++notified[p]; });
    return *model;
  }

  fs::path folder;
  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  testapp::FailingFileSystem fileSystem;
  std::unique_ptr<AppModel> model;
  std::map<Property, int> notified;
};

TEST_F(AppModelTest, CommitOutcomes) {
  enum Outcome { unchanged, refused, unsaved, taken };
  struct Row {
    const char* name;
    TovrelConfig next;
    Outcome outcome;
    bool brokenFileAtStart = false;
  };
  TovrelConfig invalid = variant(2);
  invalid.clickAlphabet = "a";
  invalid.clickEntry = invalid.cursorEntry;
  ASSERT_GE(ConfigValidator::problems(invalid).size(), 2u);
  const std::vector<Row> rows = {
      {"equal", variant(1), unchanged},
      {"validator problems", invalid, refused},
      {"failed save", variant(2), unsaved},
      {"saved", variant(2), taken},
      {"saved keeps an earlier note", variant(2), taken, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(folder);
    fs::create_directory(folder);
    if (row.brokenFileAtStart) std::ofstream(file()) << "{";
    fileSystem.failing = false;
    AppModel& m = make();
    const std::optional<std::string> note = m.storageNote();
    ASSERT_EQ(row.brokenFileAtStart, note.has_value());
    ASSERT_TRUE(m.commit(variant(1), "first").empty());
    const std::string before = slurp(file());
    const std::uint64_t count = m.changeCount();
    fileSystem.failing = row.outcome == unsaved;
    notified.clear();

    const std::vector<std::string> problems = m.commit(row.next, "second");

    const bool took = row.outcome == taken;
    const TovrelConfig& expected = took ? row.next : variant(1);
    EXPECT_EQ(m.config(), expected);
    EXPECT_EQ(m.navigation().config(), expected);
    EXPECT_EQ(m.undoStack().size(), took ? 2u : 1u);
    EXPECT_EQ(slurp(file()), took ? ConfigStore::encode(row.next) : before);
    EXPECT_EQ(notified[Property::config], took ? 1 : 0);
    std::vector<std::string> expectedProblems;
    std::optional<std::string> expectedNote = note;
    if (row.outcome == refused) expectedProblems = ConfigValidator::problems(invalid);
    if (row.outcome == unsaved) {
      expectedProblems = {"Settings could not be saved: " + fileSystem.reason};
      expectedNote = "Settings could not be written: " + fileSystem.reason;
    }
    EXPECT_EQ(problems, expectedProblems);
    EXPECT_EQ(m.storageNote(), expectedNote);
    // The last change reports what became of this commit, never the one before it.
    std::string sentences;
    for (const std::string& problem : expectedProblems)
      sentences += (sentences.empty() ? "" : " ") + problem;
    const bool reported = row.outcome != unchanged;
    EXPECT_EQ(m.lastChange(), took ? "second" : reported ? sentences : "first");
    EXPECT_EQ(m.lastChangeFailed(), reported && !took);
    EXPECT_EQ(m.changeCount(), count + (reported ? 1 : 0));
    EXPECT_EQ(notified[Property::lastChange], reported ? 1 : 0);
  }
}

TEST_F(AppModelTest, EveryCommitIsReportedAndClearingEndsTheFailure) {
  AppModel& m = make();
  ASSERT_TRUE(m.commit(variant(1), "same").empty());
  const std::uint64_t first = m.changeCount();
  notified.clear();
  // The same text again is a new change: it is told and counted.
  ASSERT_TRUE(m.commit(variant(2), "same").empty());
  EXPECT_EQ(m.changeCount(), first + 1);
  EXPECT_EQ(notified[Property::lastChange], 1);

  fileSystem.failing = true;
  ASSERT_FALSE(m.commit(variant(3), "refused").empty());
  EXPECT_TRUE(m.lastChangeFailed());
  // Undo goes back over the last change taken, and clears the failure with the text.
  fileSystem.failing = false;
  m.undo();
  EXPECT_EQ(m.config(), variant(1));
  EXPECT_EQ(m.lastChange(), std::nullopt);
  EXPECT_FALSE(m.lastChangeFailed());

  fileSystem.failing = true;
  ASSERT_FALSE(m.commit(variant(3), "refused").empty());
  m.dismissChange();
  EXPECT_EQ(m.lastChange(), std::nullopt);
  EXPECT_FALSE(m.lastChangeFailed());
  fileSystem.failing = false;
  ASSERT_TRUE(m.commit(variant(3), "taken").empty());
  EXPECT_FALSE(m.lastChangeFailed());
}

TEST_F(AppModelTest, UndoKeepsThirtyStepsAndWalksBack) {
  AppModel& m = make();
  for (int n = 1; n <= 31; ++n)
    ASSERT_TRUE(m.commit(variant(n), "step").empty());
  ASSERT_EQ(m.undoStack().size(), AppModel::undoLimit);
  EXPECT_EQ(m.undoStack().front(), variant(1));
  for (int n = 30; n >= 1; --n) {
    m.undo();
    ASSERT_EQ(m.config(), variant(n));
    EXPECT_EQ(m.navigation().config(), variant(n));
    EXPECT_EQ(slurp(file()), ConfigStore::encode(variant(n)));
    EXPECT_EQ(m.lastChange(), std::nullopt);
  }
  EXPECT_TRUE(m.undoStack().empty());
  notified.clear();
  m.undo();
  EXPECT_EQ(m.config(), variant(1));
  EXPECT_TRUE(notified.empty());
}

TEST_F(AppModelTest, FailedSaveDuringUndoSetsTheNoteAndStillUndoes) {
  AppModel& m = make();
  ASSERT_TRUE(m.commit(variant(1), "one").empty());
  fileSystem.failing = true;
  m.undo();
  EXPECT_EQ(m.config(), TovrelConfig::defaults());
  EXPECT_EQ(m.navigation().config(), TovrelConfig::defaults());
  EXPECT_EQ(m.storageNote(), "Settings could not be written: " + fileSystem.reason);
  EXPECT_EQ(slurp(file()), ConfigStore::encode(variant(1)));
}

TEST_F(AppModelTest, WithoutAStoreChangesLiveInMemory) {
  AppModel& m = make(false);
  EXPECT_EQ(m.storageNote(), "The settings folder is unavailable; changes will not be saved.");
  ASSERT_TRUE(m.commit(variant(1), "one").empty());
  EXPECT_EQ(m.navigation().config(), variant(1));
  auto exported = m.previewImport(m.exportData());
  ASSERT_TRUE(std::holds_alternative<TovrelConfig>(exported));
  EXPECT_EQ(std::get<TovrelConfig>(exported), variant(1));
  m.undo();
  EXPECT_EQ(m.config(), TovrelConfig::defaults());
  EXPECT_FALSE(fs::exists(file()));
}

TEST_F(AppModelTest, UnreadableFileGivesDefaultsAndSurvivesTwoCommits) {
  TovrelConfig conflicting = variant(1);
  conflicting.clickAlphabet = "a";
  json::Value newer = variant(1).toJson();
  newer["schemaVersion"] = 3;
  const std::vector<std::pair<const char*, std::string>> files = {
      {"not JSON", "{\"schemaVersion\": 2,"},
      {"newer schema", newer.dump()},
      {"conflicts", conflicting.toJson().dump()},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    fs::remove_all(folder);
    fs::create_directory(folder);
    std::ofstream(file(), std::ios::binary) << bytes;
    std::string reason;
    try {
      ConfigStore::decode(bytes);
    } catch (const ConfigError& error) {
      reason = error.description();
    }
    ASSERT_FALSE(reason.empty());

    AppModel& m = make();
    EXPECT_EQ(m.config(), TovrelConfig::defaults());
    EXPECT_EQ(m.storageNote(), unreadablePrefix + reason);
    EXPECT_EQ(slurp(file()), bytes);

    ASSERT_TRUE(m.commit(variant(2), "two").empty());
    ASSERT_TRUE(m.commit(variant(3), "three").empty());
    EXPECT_EQ(slurp(folder / "config.unreadable.json"), bytes);
    EXPECT_EQ(slurp(file()), ConfigStore::encode(variant(3)));
  }
}

TEST_F(AppModelTest, OnlyRealChangesNotify) {
  AppModel& m = make();
  m.setPage(SettingsPage::general);
  m.setPage(SettingsPage::general);
  m.setPage(SettingsPage::click);
  m.setAssumesAccessForSnapshots(false);
  m.setHighlightedSetting("labels");
  m.setHighlightedSetting("labels");
  m.dismissChange();
  EXPECT_TRUE(m.commit(TovrelConfig::defaults(), "none").empty());
  EXPECT_EQ(notified,
            (std::map<Property, int>{{Property::page, 2}, {Property::highlightedSetting, 1}}));

  // An observer that leaves while being told is not told again.
  int calls = 0;
  std::uint64_t token = 0;
  token = m.observe([&](Property) {
    ++calls;
    m.removeObserver(token);
  });
  m.setPage(SettingsPage::about);
  m.setPage(SettingsPage::scroll);
  EXPECT_EQ(calls, 1);
}

TEST_F(AppModelTest, PreviewImportTouchesNothing) {
  AppModel& m = make();
  json::Value newer = variant(4).toJson();
  newer["schemaVersion"] = 3;
  TovrelConfig conflicting = variant(4);
  conflicting.clickAlphabet = "a";
  using Kind = ConfigError::Kind;
  const std::vector<std::tuple<std::string, std::optional<Kind>>> rows = {
      {"", Kind::unreadable},
      {"not json", Kind::unreadable},
      {"[1, 2]", Kind::unreadable},
      {"\xff\xfe{}", Kind::unreadable},
      {newer.dump(), Kind::unsupportedSchema},
      {conflicting.toJson().dump(), Kind::conflicts},
      {variant(4).toJson().dump(), std::nullopt},
  };
  for (const auto& [bytes, kind] : rows) {
    SCOPED_TRACE(bytes);
    auto result = m.previewImport(bytes);
    if (kind) {
      ASSERT_TRUE(std::holds_alternative<ConfigError>(result));
      EXPECT_EQ(std::get<ConfigError>(result).kind(), *kind);
    } else {
      ASSERT_TRUE(std::holds_alternative<TovrelConfig>(result));
      EXPECT_EQ(std::get<TovrelConfig>(result), variant(4));
    }
  }
  EXPECT_EQ(std::get<ConfigError>(m.previewImport(newer.dump())),
            ConfigError::unsupportedSchema(3));
  EXPECT_EQ(m.config(), TovrelConfig::defaults());
  EXPECT_FALSE(fs::exists(file()));
  EXPECT_TRUE(notified.empty());
}

TEST_F(AppModelTest, LaunchAtLogin) {
  AppModel& m = make();
  EXPECT_EQ(m.setLaunchAtLogin(true), std::nullopt);
  EXPECT_EQ(loginItems.current, platform::LoginItemServices::Status::enabled);
  loginItems.failure = "no autostart folder";
  EXPECT_EQ(m.setLaunchAtLogin(false),
            "The desktop did not change the login item: no autostart folder");
  EXPECT_EQ(loginItems.requests, (std::vector<bool>{true, false}));
  EXPECT_EQ(loginItems.current, platform::LoginItemServices::Status::enabled);
}

}  // namespace
}  // namespace tovrel
