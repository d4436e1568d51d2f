// The General page and its two sheets, offscreen over a real model: the exclusions, the login
// item, import, export and reset, and the pure rules they are built on.

#include "app/Settings/GeneralPage.hpp"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <sstream>

#include "app/Settings/FilePanels.hpp"
#include "app/Settings/GeneralLogic.hpp"
#include "app/Settings/ImportReviewSheet.hpp"
#include "app/Settings/ResetSheet.hpp"
#include "core/ConfigValidator.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeDesktopEntries.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/SettingsPictures.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

using platform::RunningApplication;
using Status = platform::LoginItemServices::Status;

// --- the pure rules
// -------------------------------------------------------------------------------

TEST(ResetRules, ScopesTheirTitlesAndWhatEachResets) {
  for (ResetScope scope : allResetScopes)
    EXPECT_EQ(resetScopeFromRaw(resetScopeTitle(scope)), scope);
  for (const char* other : {"", "everything", "Cursor keys and speed ", "All"})
    EXPECT_EQ(resetScopeFromRaw(other), std::nullopt) << other;
  EXPECT_EQ(resetChangeText(ResetScope::cursor), "Cursor keys and speed reset to defaults");

  // Every field changed: each scope resets exactly its own.
  TovrelConfig changed;
  changed.cursorBindings.erase(changed.cursorBindings.begin());
  changed.motion = MotionProfile::fast();
  changed.clickAlphabet = "abc";
  changed.clickStaysActive = !changed.clickStaysActive;
  changed.clickEntry.separateExit = !changed.clickEntry.separateExit;
  changed.appearance.hintSize = AppearanceSettings::Size::large;
  changed.excludedBundleIDs = {"org.gnome.Calculator"};
  changed.showMenuBarIcon = !changed.showMenuBarIcon;
  const TovrelConfig& defaults = TovrelConfig::defaults();

  const TovrelConfig cursor = resetConfig(changed, ResetScope::cursor);
  EXPECT_EQ(cursor.cursorBindings, defaults.cursorBindings);
  EXPECT_EQ(cursor.motion, defaults.motion);
  EXPECT_EQ(cursor.clickAlphabet, "abc");
  EXPECT_EQ(cursor.excludedBundleIDs, changed.excludedBundleIDs);

  const TovrelConfig click = resetConfig(changed, ResetScope::click);
  EXPECT_EQ(click.clickAlphabet, defaults.clickAlphabet);
  EXPECT_EQ(click.clickStaysActive, defaults.clickStaysActive);
  EXPECT_EQ(click.clickEntry, changed.clickEntry);  // never the start gesture
  EXPECT_EQ(click.appearance, changed.appearance);  // nor the label size
  EXPECT_EQ(click.motion, changed.motion);
  EXPECT_EQ(resetConfig(changed, ResetScope::everything), defaults);
}

TEST(ResetRules, SummaryLines) {
  const TovrelConfig& defaults = TovrelConfig::defaults();
  auto withBindingsChanged = [&](std::size_t actions) {
    TovrelConfig config;
    std::vector<CursorAction> seen;
    for (CursorBinding& binding : config.cursorBindings) {
      if (seen.size() == actions) break;
      if (std::find(seen.begin(), seen.end(), binding.action) != seen.end()) continue;
      seen.push_back(binding.action);
      binding.gesture = Gesture::key(Key::f1, Modifiers::control);
    }
    return config;
  };
  TovrelConfig staysActive;
  staysActive.clickStaysActive = !staysActive.clickStaysActive;
  TovrelConfig scrollStart;
  scrollStart.scrollEntry.gesture = Gesture::key(Key::k, Modifiers::command);
  TovrelConfig excluded;
  excluded.excludedBundleIDs = {"firefox"};
  TovrelConfig faster;
  faster.motion = MotionProfile::fast();

  struct Case {
    const char* name;
    TovrelConfig current;
    ResetScope scope;
    bool alreadyDefault;
    std::vector<std::string> lines;
  };
  const std::string shortcuts =
      "Start and exit shortcuts return to Right Option tap, Command Shift Space, and Command "
      "Shift J, with Escape to exit.";
  const std::vector<Case> cases = {
      {"defaults, cursor",
       defaults,
       ResetScope::cursor,
       true,
       {"These settings already use the defaults."}},
      {"defaults, click",
       defaults,
       ResetScope::click,
       true,
       {"These settings already use the defaults."}},
      {"defaults, all",
       defaults,
       ResetScope::everything,
       true,
       {"These settings already use the defaults."}},
      {"three actions",
       withBindingsChanged(3),
       ResetScope::cursor,
       false,
       {"3 Cursor actions return to default keys."}},
      {"one action",
       withBindingsChanged(1),
       ResetScope::cursor,
       false,
       {"1 Cursor action return to default keys."}},
      {"speed", faster, ResetScope::cursor, false, {"Pointer speed returns to Gentle."}},
      {"stays active only", staysActive, ResetScope::click, false, {}},
      {"scroll start", scrollStart, ResetScope::everything, false, {shortcuts}},
      {"scroll start kept by cursor scope",
       scrollStart,
       ResetScope::cursor,
       true,
       {"These settings already use the defaults."}},
      {"excluded apps", excluded, ResetScope::everything, false, {"Every app is allowed again."}},
  };
  for (const Case& c : cases) {
    const ResetSummary summary = resetSummary(c.current, resetConfig(c.current, c.scope));
    EXPECT_EQ(summary.alreadyDefault, c.alreadyDefault) << c.name;
    EXPECT_EQ(summary.lines, c.lines) << c.name;
  }
}

TEST(ImportRules, SummaryLinesAndApplying) {
  const TovrelConfig current;
  auto summary = [&](const TovrelConfig& proposed) {
    std::vector<std::string> texts;
    for (const SummaryLine& line : importSummary(current, proposed))
      texts.push_back(line.text);
    return texts;
  };
  const std::string footnote = "Your current settings are kept as a backup, and Undo is available.";
  EXPECT_EQ(summary(current), (std::vector<std::string>{"0 Cursor actions change.", footnote}));

  TovrelConfig one = current;
  one.cursorBindings.front().gesture = Gesture::key(Key::f1, Modifiers::control);
  EXPECT_EQ(summary(one).front(), "1 Cursor action change.");

  TovrelConfig separate = current;
  separate.cursorEntry.separateExit = true;
  separate.cursorEntry.exit = Gesture::key(Key::q);
  EXPECT_EQ(summary(separate)[1], "Cursor start: " + current.cursorEntry.gesture.displayName() +
                                      "; exit: " + Gesture::key(Key::q).displayName());
  TovrelConfig sameKey = current;
  sameKey.cursorEntry.gesture = Gesture::modifierTap(Key::rightCommand);
  sameKey.cursorEntry.separateExit = false;
  EXPECT_EQ(summary(sameKey)[1], "Cursor start: Right Command tap; exit: same key");

  TovrelConfig click = current;
  click.clickEntry.gesture = Gesture::key(Key::k, Modifiers::command);
  EXPECT_EQ(summary(click)[1], "Label-click start: " + click.clickEntry.gesture.displayName());

  TovrelConfig preset = current;
  preset.motion = MotionProfile::fast();
  EXPECT_EQ(summary(preset)[1], "Pointer speed changes to Fast.");
  preset.motion.boostMultiplier += 0.25;
  EXPECT_EQ(summary(preset)[1], "Pointer speed changes to custom values.");

  const ImportReview good = settingsFileReview("a.json", current);
  const ImportReview rowsOnly = {QUuid::createUuid(), "t", current, {{"a", "b", "c", {}}}, {}};
  const ImportReview refused = {QUuid::createUuid(), "t", current, {{"a", "b", "c", {}}}, {"x"}};
  EXPECT_TRUE(applyEnabled(good));
  EXPECT_EQ(applyChangeText(good), "Settings imported");
  EXPECT_EQ(reviewSheetWidth(good), 480);
  EXPECT_EQ(applyChangeText(rowsOnly), "Mouseless keys imported");
  EXPECT_EQ(reviewSheetWidth(rowsOnly), 760);
  EXPECT_FALSE(applyEnabled(refused));
  EXPECT_NE(good.id, settingsFileReview("a.json", current).id);
}

TEST(GeneralRules, RunningApplicationsOfferedInCodePointOrder) {
  const std::vector<RunningApplication> running = {
      {1, "org.gnome.Nautilus", "files", {}},
      {2, "local.tovrel.Tovrel", "Tovrel", {}},
      {3, "xfce4-panel", "Panel", {}},
      {4, "org.gnome.Calculator", "Calculator", {}},
      {5, "", "Nameless", {}},
      {6, "firefox", "Firefox", {}},
      {7, "org.kde.kate", "E\u0301diteur", {}},  // decomposed: composes to É, after a–z too
      {8, "org.kde.kwrite", "Calculator", {}},   // same name: stays after the first
      {9, "code", std::nullopt, {}},
      {10, "org.gnome.Terminal", "Zed", {}},
  };
  std::vector<std::string> ids;
  for (const RunningApplication& app :
       runningAppsForMenu(running, platformIds::selfIdentifier, {"firefox"}))
    ids.push_back(app.bundleIdentifier);
  EXPECT_EQ(ids,
            (std::vector<std::string>{"code", "org.gnome.Calculator", "org.kde.kwrite",
                                      "org.gnome.Terminal", "org.gnome.Nautilus", "org.kde.kate"}));
  EXPECT_TRUE(runningAppsForMenu({running[1], running[2], running[5]}, platformIds::selfIdentifier,
                                 {"firefox"})
                  .empty());
  EXPECT_EQ(menuTitle(running[8]), "code");
  EXPECT_EQ(menuTitle({11, "", std::nullopt, {}}), "App");
}

TEST(GeneralRules, NamesEditsLoginAndFolders) {
  platform::fake::FakeDesktopEntries entries;
  entries.install({"org.example.Viewer", "", "Viewer.app Pro.app", {}, {}});
  EXPECT_EQ(excludedDisplayName("org.example.Viewer", &entries), "Viewer Pro");
  EXPECT_EQ(excludedDisplayName("gone.app.id", &entries), "gone.app.id");
  EXPECT_EQ(excludedDisplayName("org.example.Viewer", nullptr), "org.example.Viewer");

  TovrelConfig config;
  config.excludedBundleIDs = {"a", "b", "a"};
  const ExclusionEdit removed = removeExcluded(config, "a", "Alpha");
  EXPECT_EQ(removed.config.excludedBundleIDs, std::vector<std::string>{"b"});
  EXPECT_EQ(removed.change, "Tovrel turned back on in Alpha");
  const auto added = addExcluded(config, {1, "org.mozilla.firefox", "Firefox", {}});
  ASSERT_TRUE(added);
  EXPECT_EQ(added->config.excludedBundleIDs.back(), "org.mozilla.firefox");
  EXPECT_EQ(added->change, "Tovrel turned off in Firefox");
  EXPECT_EQ(addExcluded(config, {1, "x", std::nullopt, {}})->change, "Tovrel turned off in x");
  EXPECT_EQ(addExcluded(config, {1, "", "Nameless", {}}), std::nullopt);

  for (auto [status, on, hint] : {std::tuple{Status::notRegistered, false, false},
                                  {Status::enabled, true, false},
                                  {Status::requiresApproval, true, true},
                                  {Status::notFound, false, false}}) {
    EXPECT_EQ(loginSwitchOn(status), on);
    EXPECT_EQ(showsApprovalHint(status), hint);
  }

  std::set<std::string> folders;
  auto isFolder = [&](const std::string& path) { return folders.contains(path); };
  EXPECT_EQ(mouselessStartFolder("/x", "/h", isFolder), std::nullopt);
  folders = {"/h/Library/Application Support/Mouseless/configs"};
  EXPECT_EQ(mouselessStartFolder("/x", "/h", isFolder), *folders.begin());
  folders.insert("/x/Mouseless/configs");
  EXPECT_EQ(mouselessStartFolder("/x", "/h", isFolder), "/x/Mouseless/configs");
  folders.insert("/h/.config/Mouseless/configs");
  EXPECT_EQ(mouselessStartFolder("relative", "/h", isFolder), "/h/.config/Mouseless/configs");
}

// --- the page and its sheets
// ----------------------------------------------------------------------

// File choices as a test scripts them.
class ScriptedPanels : public FilePanels {
 public:
  std::optional<std::string> chooseFileToOpen(QWidget*, const OpenRequest& request) override {
    opened.push_back(request);
    return answer;
  }
  std::optional<std::string> chooseFileToSave(QWidget*, const QString& fileName,
                                              const QStringList& filters) override {
    saveNames.push_back(fileName);
    saveFilters = filters;
    return answer;
  }
  void showError(QWidget*, const QString& text) override { errors.push_back(text); }

  std::optional<std::string> answer;
  std::vector<OpenRequest> opened;
  std::vector<QString> saveNames;
  QStringList saveFilters;
  std::vector<QString> errors;
};

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeAll(const std::string& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

class GeneralPageTest : public ::testing::Test {
 protected:
  GeneralPageTest() {
    testapp::ensureWidgetApp();
    settingsFile = folder.filePath("config.json").toStdString();
    model = std::make_unique<AppModel>(ConfigStore(settingsFile), desktop.platform, loginItems);
    TovrelConfig saved = model->config();
    saved.showMenuBarIcon = !saved.showMenuBarIcon;  // so a file is on disk
    EXPECT_TRUE(model->commit(saved, "saved").empty());
    entries.install({"org.gnome.Calculator", "", "Calculator", {}, {}});
  }

  std::unique_ptr<GeneralPage> makePage() {
    auto page = std::make_unique<GeneralPage>(PageContext{*model, {}, &entries, &panels});
    page->resize(720, 540);
    page->show();
    return page;
  }

  std::string file(const std::string& name, std::string_view bytes) {
    const std::string path = folder.filePath(QString::fromStdString(name)).toStdString();
    writeAll(path, bytes);
    return path;
  }

  QTemporaryDir folder;
  std::string settingsFile;
  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  platform::fake::FakeDesktopEntries entries;
  ScriptedPanels panels;
  std::unique_ptr<AppModel> model;
};

TEST_F(GeneralPageTest, ImportsAreReviewedAndNothingChangesUntilApplied) {
  TovrelConfig other = model->config();
  other.motion = MotionProfile::fast();
  const std::string good = [&] {
    TovrelConfig kept = model->config();
    EXPECT_TRUE(model->commit(other, "other").empty());
    std::string data = model->exportData();
    model->undo();
    EXPECT_EQ(model->config(), kept);
    return data;
  }();
  TovrelConfig future = other;
  future.schemaVersion = TovrelConfig::currentSchemaVersion + 1;
  const std::string newer = json::writePretty(future.toJson());
  TovrelConfig conflicting = model->config();
  conflicting.scrollEntry = conflicting.clickEntry;
  const std::string conflictingJson = json::writePretty(conflicting.toJson());

  struct Case {
    const char* name;
    bool keyFile;
    std::string bytes;
    std::string title;
    bool applies;
  };
  const std::vector<Case> cases = {
      {"good.json", false, good, "Import good.json", true},
      {"broken.json", false, "{\"schemaVersion\": ", "Import broken.json", false},
      {"newer.json", false, newer, "Import newer.json", false},
      {"conflicting.json", false, conflictingJson, "Import conflicting.json", false},
      {"empty.json", false, "", "Import empty.json", false},
      {"config.yaml", true, "- entries:\n    move up: cmd+shift+j\n", "Import from Mouseless",
       false},
      {"latin1.yaml", true, "- entries:\n    move up: \xe9\n", "Mouseless import", false},
  };
  const std::string onDisk = readAll(settingsFile);
  auto page = makePage();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    panels.answer = file(c.name, c.bytes);
    c.keyFile ? page->importMouseless() : page->importSettings();
    ImportReviewSheet* sheet = page->importSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->review().title, c.title);
    EXPECT_EQ(sheet->applyButton()->isEnabled(), c.applies);
    EXPECT_EQ(sheet->review().problems.empty(), c.applies);
    for (const std::string& problem : sheet->review().problems)
      EXPECT_FALSE(problem.empty());
    EXPECT_EQ(sheet->width(), c.keyFile && !sheet->review().rows.empty() ? 760 : 480);
    // Return does nothing while Apply is off; Escape cancels.
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return page->importSheet() == nullptr; }, 2000));
    EXPECT_EQ(readAll(settingsFile), onDisk);
  }
  EXPECT_EQ(panels.opened.back().message.toStdString(),
            "Choose a Mouseless config.yaml. Tovrel only reads it.");

  // Cancelling the panel shows nothing.
  panels.answer.reset();
  page->importSettings();
  EXPECT_EQ(page->importSheet(), nullptr);

  // Return applies the good file, with the banner's text, and closes.
  panels.answer = file("Tovrel Settings.json", good);
  page->importSettings();
  ASSERT_NE(page->importSheet(), nullptr);
  EXPECT_EQ(page->importSheet()->review().title, "Import Tovrel Settings.json");
  QTest::keyClick(page->importSheet(), Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([&] { return page->importSheet() == nullptr; }, 2000));
  EXPECT_EQ(model->config(), other);
  EXPECT_EQ(model->lastChange(), "Settings imported");
  EXPECT_NE(readAll(settingsFile), onDisk);
}

TEST_F(GeneralPageTest, ExportWritesTheModelsBytesOrSaysWhyNot) {
  auto page = makePage();
  const std::string target = file("Tovrel Settings.json", "old");
  panels.answer = target;
  page->exportSettings();
  EXPECT_EQ(panels.saveNames.back(), QStringLiteral("Tovrel Settings.json"));
  EXPECT_EQ(panels.saveFilters, QStringList{QStringLiteral("JSON (*.json)")});
  EXPECT_EQ(readAll(target), model->exportData());
  EXPECT_TRUE(panels.errors.empty());
  EXPECT_EQ(model->lastChange(), "saved");  // exporting is no change

  panels.answer = folder.filePath("missing/Tovrel Settings.json").toStdString();
  page->exportSettings();
  ASSERT_EQ(panels.errors.size(), 1u);
  EXPECT_FALSE(panels.errors.front().isEmpty());
  EXPECT_EQ(readAll(target), model->exportData());
}

TEST_F(GeneralPageTest, ExclusionsAreAddedFromTheRunningAppsAndRemovedByTheirRow) {
  desktop.workspace.apps.push_back({200, "org.gnome.Calculator", "Calculator", std::nullopt});
  desktop.workspace.apps.push_back({201, "firefox", "Firefox", std::nullopt});
  auto page = makePage();
  EXPECT_TRUE(page->excludedRows().empty());

  emit page->addAppMenu()->aboutToShow();
  QList<QAction*> items = page->addAppMenu()->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), "Calculator");
  items[0]->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !model->config().excludedBundleIDs.empty(); }, 2000));
  EXPECT_EQ(model->lastChange(), "Tovrel turned off in Calculator");
  EXPECT_EQ(page->excludedRows(), std::vector<std::string>{"org.gnome.Calculator"});
  emit page->addAppMenu()->aboutToShow();
  EXPECT_EQ(page->addAppMenu()->actions().size(), 1);

  // The same id twice (from an imported file) goes with one click.
  TovrelConfig twice = model->config();
  twice.excludedBundleIDs.push_back("org.gnome.Calculator");
  ASSERT_TRUE(model->commit(twice, "twice").empty());
  EXPECT_EQ(page->excludedRows().size(), 2u);
  auto* remove = page->findChild<QAbstractButton*>(QStringLiteral("remove"));
  ASSERT_NE(remove, nullptr);
  EXPECT_EQ(remove->toolTip(), "Turn Tovrel back on here");
  remove->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return model->config().excludedBundleIDs.empty(); }, 2000));
  EXPECT_EQ(model->lastChange(), "Tovrel turned back on in Calculator");
  EXPECT_TRUE(page->excludedRows().empty());
}

TEST_F(GeneralPageTest, LoginItemFailureIsShownAndTheSwitchFollowsTheDesktop) {
  loginItems.failure = "no autostart folder";
  auto page = makePage();
  auto* loginSwitch = page->findChild<SwitchButton*>(QStringLiteral("openAtLogin"));
  auto* error = page->findChild<QLabel*>(QStringLiteral("loginError"));
  auto* hint = page->findChild<QWidget*>(QStringLiteral("approvalHint"));
  EXPECT_FALSE(error->isVisibleTo(page.get()));
  loginSwitch->click();
  EXPECT_EQ(error->text(), "The desktop did not change the login item: no autostart folder");
  EXPECT_TRUE(error->isVisibleTo(page.get()));
  EXPECT_FALSE(loginSwitch->isOn());

  loginItems.failure.reset();
  loginSwitch->click();
  EXPECT_TRUE(loginSwitch->isOn());
  EXPECT_FALSE(error->isVisibleTo(page.get()));
  EXPECT_FALSE(hint->isVisibleTo(page.get()));

  loginItems.current = Status::requiresApproval;
  auto waiting = makePage();
  EXPECT_TRUE(waiting->findChild<SwitchButton*>(QStringLiteral("openAtLogin"))->isOn());
  EXPECT_TRUE(
      waiting->findChild<QWidget*>(QStringLiteral("approvalHint"))->isVisibleTo(waiting.get()));
}

TEST_F(GeneralPageTest, ResetCommitsOrStaysOpenWithTheReasons) {
  auto page = makePage();
  // The first default binding's chord made the scrolling start: resetting the cursor keys would
  // give it back to its action, which the model refuses.
  TovrelConfig taken = model->config();
  const Gesture chord = taken.cursorBindings.front().gesture;
  std::erase_if(taken.cursorBindings, [&](const CursorBinding& b) { return b.gesture == chord; });
  taken.scrollEntry.gesture = chord;
  ASSERT_EQ(ConfigValidator::problems(taken), std::vector<std::string>{});
  ASSERT_TRUE(model->commit(taken, "taken").empty());

  page->showReset();
  ResetSheet* sheet = page->resetSheet();
  ASSERT_NE(sheet, nullptr);
  EXPECT_EQ(sheet->scope(), ResetScope::cursor);
  EXPECT_EQ(sheet->width(), 460);
  ASSERT_TRUE(sheet->resetButton()->isEnabled());
  sheet->resetButton()->click();
  EXPECT_TRUE(sheet->isVisible());
  EXPECT_FALSE(sheet->problems().isEmpty());
  EXPECT_EQ(model->config(), taken);

  // "Everything" puts the start back too and is taken; the sheet closes.
  sheet->setScope(ResetScope::everything);
  EXPECT_TRUE(sheet->problems().isEmpty());
  EXPECT_TRUE(sheet->summaryLines().contains(QString::fromStdString(
      "Start and exit shortcuts return to Right Option tap, Command Shift Space, and Command "
      "Shift J, with Escape to exit.")));
  sheet->resetButton()->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return page->resetSheet() == nullptr; }, 2000));
  EXPECT_EQ(model->config(), TovrelConfig::defaults());
  EXPECT_EQ(model->lastChange(), "Everything reset to defaults");

  // On the defaults Reset is off, and Escape leaves without a change.
  page->showReset();
  EXPECT_FALSE(page->resetSheet()->resetButton()->isEnabled());
  EXPECT_EQ(page->resetSheet()->summaryLines(),
            QStringList{QStringLiteral("These settings already use the defaults.")});
  QTest::keyClick(page->resetSheet(), Qt::Key_Escape);
  EXPECT_TRUE(QTest::qWaitFor([&] { return page->resetSheet() == nullptr; }, 2000));
  EXPECT_EQ(model->lastChange(), "Everything reset to defaults");
}

}  // namespace
}  // namespace tovrel::settings

namespace tovrel::settings {
namespace {

TEST_F(GeneralPageTest, Pictures) {
  model->setAssumesAccessForSnapshots(true);  // the ready state, without the access card
  shootInEveryLook("general", [this]() -> std::unique_ptr<QWidget> {
    return std::make_unique<GeneralPage>(PageContext{*model, {}, &entries, &panels});
  });

  TovrelConfig two = model->config();
  two.excludedBundleIDs = {"org.gnome.Calculator", "org.example.Gone"};
  ASSERT_TRUE(model->commit(two, "two").empty());
  shootInEveryLook("general-excluded", [this]() -> std::unique_ptr<QWidget> {
    return std::make_unique<GeneralPage>(PageContext{*model, {}, &entries, &panels});
  });

  // No keyboard access and a settings file that cannot be written.
  desktop.access.trusted = false;
  AppModel troubled(std::nullopt, desktop.platform, loginItems);
  shootInEveryLook("general-trouble", [&]() -> std::unique_ptr<QWidget> {
    return std::make_unique<GeneralPage>(PageContext{troubled, {}, &entries, &panels});
  });

  TovrelConfig changed = model->config();
  changed.motion = MotionProfile::fast();
  changed.cursorBindings.front().gesture = Gesture::key(Key::f1, Modifiers::control);
  changed.clickAlphabet = "abcdefgh";
  ASSERT_TRUE(model->commit(changed, "changed").empty());
  for (ResetScope scope : allResetScopes) {
    const std::string name =
        std::string("reset-sheet-") + (scope == ResetScope::cursor  ? "cursor"
                                       : scope == ResetScope::click ? "click"
                                                                    : "everything");
    shootInEveryLook(name, [this, scope]() -> std::unique_ptr<QWidget> {
      return std::make_unique<ResetSheet>(*model, nullptr, nullptr, scope);
    });
  }

  TovrelConfig imported = TovrelConfig::defaults();
  imported.cursorEntry.separateExit = true;
  imported.cursorEntry.exit = Gesture::key(Key::q);
  shootInEveryLook("import-review-settings", [&]() -> std::unique_ptr<QWidget> {
    return std::make_unique<ImportReviewSheet>(
        *model, settingsFileReview("Tovrel Settings.json", imported), nullptr);
  });
  const std::string yaml =
      "- entries:\n    move up: k\n    move down: j\n    left click: cmd+shift+j\n"
      "    toggle grid mode: g\n    enter free mode: OptionRight tap\ntap_threshold_ms: 250\n";
  shootInEveryLook("import-review-keys", [&]() -> std::unique_ptr<QWidget> {
    return std::make_unique<ImportReviewSheet>(*model, mouselessReview(yaml, model->config()),
                                               nullptr);
  });
}

}  // namespace
}  // namespace tovrel::settings
