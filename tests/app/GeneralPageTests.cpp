// The General page and its two sheets, offscreen over a real model: the exclusions, the login
// item, import, export and reset, and the pure rules they are built on.

#include "app/settings/pages/GeneralPage.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "app/settings/pages/GeneralLogic.hpp"
#include "app/settings/sheets/FilePanels.hpp"
#include "app/settings/sheets/ImportReviewSheet.hpp"
#include "app/settings/sheets/ResetSheet.hpp"
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
using Lines = std::vector<std::string>;

const std::string asDefaults = "These settings already use the defaults.";
const std::string shortcutsLine =
    "Start and exit shortcuts return to Right Alt tap, Super Shift Space, and Super "
    "Shift J, with Escape to exit.";

// The defaults with one edit made.
TovrelConfig changed(const std::function<void(TovrelConfig&)>& edit) {
  TovrelConfig config = TovrelConfig::defaults();
  edit(config);
  return config;
}

// --- the pure rules

TEST(ResetRules, ScopesTheirTitlesAndWhatEachResets) {
  for (ResetScope scope : allResetScopes)
    EXPECT_EQ(resetScopeFromRaw(resetScopeTitle(scope)), scope);
  for (const char* other : {"", "everything", "Cursor keys and speed ", "All"})
    EXPECT_EQ(resetScopeFromRaw(other), std::nullopt) << other;
  EXPECT_EQ(resetChangeText(ResetScope::cursor), "Cursor keys and speed reset to defaults");

  // Every field changed: each scope resets exactly its own.
  const TovrelConfig all = changed([](TovrelConfig& c) {
    c.cursorBindings.erase(c.cursorBindings.begin());
    c.motion = MotionProfile::fast();
    c.clickAlphabet = "abc";
    c.clickStaysActive = !c.clickStaysActive;
    c.clickEntry.separateExit = !c.clickEntry.separateExit;
    c.appearance.hintSize = AppearanceSettings::Size::large;
    c.excludedBundleIDs = {"org.gnome.Calculator"};
    c.showMenuBarIcon = !c.showMenuBarIcon;
  });
  const TovrelConfig& defaults = TovrelConfig::defaults();
  const TovrelConfig cursor = resetConfig(all, ResetScope::cursor);
  EXPECT_EQ(cursor.cursorBindings, defaults.cursorBindings);
  EXPECT_EQ(cursor.motion, defaults.motion);
  EXPECT_EQ(cursor.clickAlphabet, "abc");
  EXPECT_EQ(cursor.excludedBundleIDs, all.excludedBundleIDs);
  const TovrelConfig click = resetConfig(all, ResetScope::click);
  EXPECT_EQ(click.clickAlphabet, defaults.clickAlphabet);
  EXPECT_EQ(click.clickStaysActive, defaults.clickStaysActive);
  EXPECT_EQ(click.clickEntry, all.clickEntry);  // never the start gesture
  EXPECT_EQ(click.appearance, all.appearance);  // nor the label size
  EXPECT_EQ(click.motion, all.motion);
  EXPECT_EQ(resetConfig(all, ResetScope::everything), defaults);
}

TEST(ResetRules, SummaryLines) {
  // The first `actions` distinct cursor actions bound away from their default keys.
  const auto rebound = [](std::size_t actions) {
    return changed([&](TovrelConfig& c) {
      std::vector<CursorAction> seen;
      for (CursorBinding& binding : c.cursorBindings) {
        if (seen.size() == actions) break;
        if (std::find(seen.begin(), seen.end(), binding.action) != seen.end()) continue;
        seen.push_back(binding.action);
        binding.gesture = Gesture::key(Key::f1, Modifiers::control);
      }
    });
  };
  const TovrelConfig& defaults = TovrelConfig::defaults();
  const TovrelConfig staysActive =
      changed([](auto& c) { c.clickStaysActive = !c.clickStaysActive; });
  const TovrelConfig scrollStart =
      changed([](auto& c) { c.scrollEntry.gesture = Gesture::key(Key::k, Modifiers::command); });
  const TovrelConfig excluded = changed([](auto& c) { c.excludedBundleIDs = {"firefox"}; });
  const TovrelConfig faster = changed([](auto& c) { c.motion = MotionProfile::fast(); });
  const struct {
    const char* name;
    TovrelConfig current;
    ResetScope scope;
    Lines lines;  // the defaults line alone: nothing to reset
  } cases[] = {
      // clang-format off
      {"defaults, cursor", defaults, ResetScope::cursor, {asDefaults}},
      {"defaults, click", defaults, ResetScope::click, {asDefaults}},
      {"defaults, all", defaults, ResetScope::everything, {asDefaults}},
      {"three actions", rebound(3), ResetScope::cursor, {"3 Cursor actions return to default keys."}},
      {"one action", rebound(1), ResetScope::cursor, {"1 Cursor action return to default keys."}},
      {"speed", faster, ResetScope::cursor, {"Pointer speed returns to Gentle."}},
      {"stays active only", staysActive, ResetScope::click, {}},
      {"scroll start", scrollStart, ResetScope::everything, {shortcutsLine}},
      {"scroll start kept by cursor scope", scrollStart, ResetScope::cursor, {asDefaults}},
      {"excluded apps", excluded, ResetScope::everything, {"Every app is allowed again."}},
      // clang-format on
  };
  for (const auto& c : cases) {
    const ResetSummary summary = resetSummary(c.current, resetConfig(c.current, c.scope));
    EXPECT_EQ(summary.alreadyDefault, c.lines == Lines{asDefaults}) << c.name;
    EXPECT_EQ(summary.lines, c.lines) << c.name;
  }
}

TEST(ImportRules, SummaryLinesAndApplying) {
  const TovrelConfig current;
  auto summary = [&](const TovrelConfig& proposed) {
    Lines texts;
    for (const SummaryLine& line : importSummary(current, proposed))
      texts.push_back(line.text);
    return texts;
  };
  const std::string footnote = "Your current settings are kept as a backup, and Undo is available.";
  EXPECT_EQ(summary(current), (Lines{"0 Cursor actions change.", footnote}));
  const Gesture commandK = Gesture::key(Key::k, Modifiers::command);
  TovrelConfig one = current, separate = current, sameKey = current, click = current;
  one.cursorBindings.front().gesture = Gesture::key(Key::f1, Modifiers::control);
  separate.cursorEntry.separateExit = true;
  separate.cursorEntry.exit = Gesture::key(Key::q);
  sameKey.cursorEntry.gesture = Gesture::modifierTap(Key::rightCommand);
  sameKey.cursorEntry.separateExit = false;
  click.clickEntry.gesture = commandK;
  TovrelConfig fast = current, custom = current;
  fast.motion = custom.motion = MotionProfile::fast();
  custom.motion.boostMultiplier += 0.25;
  const std::tuple<const TovrelConfig&, std::size_t, std::string> cases[] = {
      // clang-format off
      {one, 0, "1 Cursor action change."},
      {separate, 1, "Cursor start: " + current.cursorEntry.gesture.displayName() + "; exit: Q"},
      {sameKey, 1, "Cursor start: Right Super tap; exit: same key"},
      {click, 1, "Label-click start: " + commandK.displayName()},
      {fast, 1, "Pointer speed changes to Fast."},
      {custom, 1, "Pointer speed changes to custom values."},
      // clang-format on
  };
  for (const auto& [proposed, line, text] : cases)
    EXPECT_EQ(summary(proposed).at(line), text);

  // A settings file's review applies under its own text (the page shows that); a review with rows
  // is the other tool's keys, and any problem keeps it from applying.
  const ImportReview rowsOnly = {QUuid::createUuid(), "t", current, {{"a", "b", "c", {}}}, {}};
  const ImportReview refused = {QUuid::createUuid(), "t", current, {{"a", "b", "c", {}}}, {"x"}};
  EXPECT_EQ(applyChangeText(rowsOnly), "Mouseless keys imported");
  EXPECT_EQ(reviewSheetWidth(rowsOnly), 760);
  EXPECT_TRUE(applyEnabled(rowsOnly));
  EXPECT_FALSE(applyEnabled(refused));
  EXPECT_NE(settingsFileReview("a.json", current).id, settingsFileReview("a.json", current).id);
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
  Lines ids;
  for (const RunningApplication& app :
       runningAppsForMenu(running, platformIds::selfIdentifier, {"firefox"}))
    ids.push_back(app.bundleIdentifier);
  EXPECT_EQ(ids, (Lines{"code", "org.gnome.Calculator", "org.kde.kwrite", "org.gnome.Terminal",
                        "org.gnome.Nautilus", "org.kde.kate"}));
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

  const TovrelConfig config = changed([](auto& c) { c.excludedBundleIDs = {"a", "b", "a"}; });
  const ExclusionEdit removed = removeExcluded(config, "a", "Alpha");
  EXPECT_EQ(removed.config.excludedBundleIDs, Lines{"b"});
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
  QFile file(QString::fromStdString(path));
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

bool waitGone(const std::function<QWidget*()>& sheet) {
  return QTest::qWaitFor([&] { return sheet() == nullptr; }, 2000);
}

class GeneralPageTest : public ::testing::Test {
 protected:
  GeneralPageTest() {
    testapp::ensureWidgetApp();
    settingsFile = folder.filePath("config.json").toStdString();
    model = std::make_unique<AppModel>(ConfigStore(settingsFile), desktop.platform, loginItems);
    // So a file is on disk.
    EXPECT_TRUE(
        model->commit(changed([](auto& c) { c.showMenuBarIcon = !c.showMenuBarIcon; }), "saved")
            .empty());
    entries.install({"org.gnome.Calculator", "", "Calculator", {}, {}});
  }

  std::unique_ptr<GeneralPage> makePage(AppModel* on = nullptr) {
    auto page =
        std::make_unique<GeneralPage>(PageContext{on ? *on : *model, {}, &entries, &panels});
    page->resize(720, 540);
    return page;
  }

  std::unique_ptr<GeneralPage> showPage() {
    auto page = makePage();
    page->show();
    return page;
  }

  std::string file(const std::string& name, std::string_view bytes) {
    const std::string path = folder.filePath(QString::fromStdString(name)).toStdString();
    std::ofstream(path, std::ios::binary) << bytes;
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
  TovrelConfig other = model->config(), future, conflicting = model->config();
  other.motion = MotionProfile::fast();
  const std::string good = ConfigStore::encode(other);
  future = other;
  future.schemaVersion = TovrelConfig::currentSchemaVersion + 1;
  conflicting.scrollEntry = conflicting.clickEntry;

  const struct {
    const char* name;
    std::string bytes;
    const char* title;  // none: "Import " and the file name
    bool applies;
  } cases[] = {
      // clang-format off
      {"good.json", good, nullptr, true},
      {"broken.json", "{\"schemaVersion\": ", nullptr, false},
      {"newer.json", json::writePretty(future.toJson()), nullptr, false},
      {"conflicting.json", json::writePretty(conflicting.toJson()), nullptr, false},
      {"empty.json", "", nullptr, false},
      {"config.yaml", "- entries:\n    move up: cmd+shift+j\n", "Import from Mouseless", false},
      {"latin1.yaml", "- entries:\n    move up: \xe9\n", "Mouseless import", false},
      // clang-format on
  };
  const std::string onDisk = readAll(settingsFile);
  auto page = showPage();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const bool keyFile = c.title != nullptr;
    panels.answer = file(c.name, c.bytes);
    keyFile ? page->importMouseless() : page->importSettings();
    ImportReviewSheet* sheet = page->importSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->review().title, keyFile ? c.title : std::string("Import ") + c.name);
    EXPECT_EQ(sheet->applyButton()->isEnabled(), c.applies);
    EXPECT_EQ(sheet->review().problems.empty(), c.applies);
    for (const std::string& problem : sheet->review().problems)
      EXPECT_FALSE(problem.empty());
    EXPECT_EQ(sheet->width(), keyFile && !sheet->review().rows.empty() ? 760 : 480);
    // Return does nothing while Apply is off; Escape cancels.
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_TRUE(waitGone([&] { return page->importSheet(); }));
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
  EXPECT_TRUE(waitGone([&] { return page->importSheet(); }));
  EXPECT_EQ(model->config(), other);
  EXPECT_EQ(model->lastChange(), "Settings imported");
  EXPECT_NE(readAll(settingsFile), onDisk);
}

TEST_F(GeneralPageTest, AnImportOfWhatIsNoRegularFileIsRefusedUnread) {
  const std::string pipe = folder.filePath(QStringLiteral("settings.json")).toStdString();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const std::string onDisk = readAll(settingsFile);
  const TovrelConfig before = model->config();
  auto page = showPage();
  const std::string refusal =
      "“settings.json” is not a regular file, so Tovrel did not read it. Nothing was changed.";
  // A named pipe, a device and a folder, as "All files" lets a user choose them.
  const std::string chosen[] = {pipe, "/dev/zero", folder.path().toStdString()};
  for (const std::string& path : chosen) {
    for (const bool keyFile : {false, true}) {
      SCOPED_TRACE(path + (keyFile ? " as a key file" : " as settings"));
      panels.answer = path;
      // A read of the pipe would never come back: the sheet must be there when this returns.
      keyFile ? page->importMouseless() : page->importSettings();
      ImportReviewSheet* sheet = page->importSheet();
      ASSERT_NE(sheet, nullptr);
      const std::string name = std::filesystem::path(path).filename().string();
      EXPECT_EQ(sheet->review().problems,
                Lines{"“" + name +
                      "” is not a regular file, so Tovrel did not read it. Nothing was changed."});
      EXPECT_FALSE(sheet->applyButton()->isEnabled());
      QTest::keyClick(sheet, Qt::Key_Escape);
      EXPECT_TRUE(waitGone([&] { return page->importSheet(); }));
    }
  }
  EXPECT_EQ(notAFileReview("t", "settings.json").problems, Lines{refusal});
  EXPECT_EQ(model->config(), before);
  EXPECT_EQ(readAll(settingsFile), onDisk);
  EXPECT_EQ(model->lastChange(), "saved");
}

TEST_F(GeneralPageTest, ExportWritesTheModelsBytesOrSaysWhyNot) {
  auto page = showPage();
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
  auto page = showPage();
  EXPECT_TRUE(page->excludedRows().empty());
  const auto menuItems = [&] {
    emit page->addAppMenu()->aboutToShow();
    return page->addAppMenu()->actions();
  };
  const QList<QAction*> items = menuItems();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->text(), "Calculator");
  items[0]->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !model->config().excludedBundleIDs.empty(); }, 2000));
  EXPECT_EQ(model->lastChange(), "Tovrel turned off in Calculator");
  EXPECT_EQ(page->excludedRows(), Lines{"org.gnome.Calculator"});
  EXPECT_EQ(menuItems().size(), 1);

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
  auto page = showPage();
  auto* loginSwitch = page->findChild<SwitchButton*>(QStringLiteral("openAtLogin"));
  const auto shown = [&page](const char* name) {
    return page->findChild<QWidget*>(QLatin1String(name))->isVisibleTo(page.get());
  };
  EXPECT_FALSE(shown("loginError"));
  loginSwitch->click();
  EXPECT_EQ(page->findChild<QLabel*>(QStringLiteral("loginError"))->text(),
            "The desktop did not change the login item: no autostart folder");
  EXPECT_TRUE(shown("loginError"));
  EXPECT_FALSE(loginSwitch->isOn());

  loginItems.failure.reset();
  loginSwitch->click();
  EXPECT_TRUE(loginSwitch->isOn());
  EXPECT_FALSE(shown("loginError"));
  EXPECT_FALSE(shown("approvalHint"));

  loginItems.current = Status::requiresApproval;
  page = showPage();
  EXPECT_TRUE(page->findChild<SwitchButton*>(QStringLiteral("openAtLogin"))->isOn());
  EXPECT_TRUE(shown("approvalHint"));
}

TEST_F(GeneralPageTest, OpenAtLoginIsReadAgainWhenThePageComesOnScreen) {
  auto page = showPage();
  auto* loginSwitch = page->findChild<SwitchButton*>(QStringLiteral("openAtLogin"));
  const auto hintShown = [&page] {
    return page->findChild<QWidget*>(QStringLiteral("approvalHint"))->isVisibleTo(page.get());
  };
  ASSERT_FALSE(loginSwitch->isOn());
  // Changed outside Tovrel while the window was away.
  const Status outside[] = {Status::enabled, Status::notRegistered, Status::requiresApproval};
  for (Status status : outside) {
    SCOPED_TRACE(static_cast<int>(status));
    page->hide();
    loginItems.current = status;
    page->show();
    EXPECT_EQ(loginSwitch->isOn(), loginSwitchOn(status));
    EXPECT_EQ(hintShown(), showsApprovalHint(status));
  }
  // And when the window comes back to the front.
  loginItems.current = Status::notRegistered;
  QEvent activated(QEvent::WindowActivate);
  QCoreApplication::sendEvent(page.get(), &activated);
  EXPECT_FALSE(loginSwitch->isOn());
  EXPECT_TRUE(loginItems.requests.empty());  // reading changed nothing
}

TEST_F(GeneralPageTest, ResetCommitsOrStaysOpenWithTheReasons) {
  auto page = showPage();
  // The first default binding's chord made the scrolling start: resetting the cursor keys would
  // give it back to its action, which the model refuses.
  TovrelConfig taken = model->config();
  const Gesture chord = taken.cursorBindings.front().gesture;
  std::erase_if(taken.cursorBindings, [&](const CursorBinding& b) { return b.gesture == chord; });
  taken.scrollEntry.gesture = chord;
  ASSERT_EQ(ConfigValidator::problems(taken), Lines{});
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
  sheet->resetButton()->click();
  EXPECT_TRUE(waitGone([&] { return page->resetSheet(); }));
  EXPECT_EQ(model->config(), TovrelConfig::defaults());
  EXPECT_EQ(model->lastChange(), "Everything reset to defaults");

  // On the defaults Reset is off, and Escape leaves without a change.
  page->showReset();
  EXPECT_FALSE(page->resetSheet()->resetButton()->isEnabled());
  EXPECT_EQ(page->resetSheet()->summaryLines(), QStringList{QString::fromStdString(asDefaults)});
  QTest::keyClick(page->resetSheet(), Qt::Key_Escape);
  EXPECT_TRUE(waitGone([&] { return page->resetSheet(); }));
  EXPECT_EQ(model->lastChange(), "Everything reset to defaults");
}

TEST_F(GeneralPageTest, ResetTakesNoKeyReturnDoesNothingAndEscapeCancels) {
  auto page = showPage();
  const TovrelConfig before = model->config();
  page->showReset();
  ResetSheet* sheet = page->resetSheet();
  ASSERT_NE(sheet, nullptr);
  sheet->setScope(ResetScope::everything);
  ASSERT_TRUE(sheet->resetButton()->isEnabled());
  for (QPushButton* button : sheet->findChildren<QPushButton*>()) {
    EXPECT_FALSE(button->isDefault()) << button->text().toStdString();
    EXPECT_FALSE(button->autoDefault()) << button->text().toStdString();
  }
  // Return wherever the keyboard is: on the sheet, on each scope, on Reset itself.
  std::vector<QWidget*> places{sheet, sheet->resetButton()};
  for (QRadioButton* radio : sheet->findChildren<QRadioButton*>())
    places.push_back(radio);
  for (QWidget* place : places) {
    SCOPED_TRACE(place->objectName().toStdString());
    place->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter})
      QTest::keyClick(place, key);
    EXPECT_EQ(page->resetSheet(), sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(model->config(), before);
  }
  QTest::keyClick(sheet->resetButton(), Qt::Key_Escape);
  EXPECT_TRUE(waitGone([&] { return page->resetSheet(); }));
  EXPECT_EQ(model->config(), before);
  EXPECT_EQ(model->lastChange(), "saved");
}

TEST_F(GeneralPageTest, Pictures) {
  using Make = std::function<std::unique_ptr<QWidget>()>;
  model->setAssumesAccessForSnapshots(true);  // the ready state, without the access card
  shootInEveryLook("general", [this] { return makePage(); });

  // The rest on a changed configuration with an app that is no longer installed excluded.
  TovrelConfig edited = model->config();
  edited.excludedBundleIDs = {"org.gnome.Calculator", "org.example.Gone"};
  edited.motion = MotionProfile::fast();
  edited.cursorBindings.front().gesture = Gesture::key(Key::f1, Modifiers::control);
  edited.clickAlphabet = "abcdefgh";
  ASSERT_TRUE(model->commit(edited, "edited").empty());
  const auto reset = [this](ResetScope scope) -> Make {
    return [this, scope] { return std::make_unique<ResetSheet>(*model, nullptr, nullptr, scope); };
  };
  const auto review = [this](ImportReview made) -> Make {
    return [this, made] { return std::make_unique<ImportReviewSheet>(*model, made, nullptr); };
  };
  const std::string yaml =
      "- entries:\n    move up: k\n    move down: j\n    left click: cmd+shift+j\n"
      "    toggle grid mode: g\n    enter free mode: OptionRight tap\ntap_threshold_ms: 250\n";
  const TovrelConfig separateExit = changed([](auto& c) {
    c.cursorEntry.separateExit = true;
    c.cursorEntry.exit = Gesture::key(Key::q);
  });
  const std::pair<const char*, Make> looks[] = {
      {"general-excluded", [this] { return makePage(); }},
      {"reset-sheet-cursor", reset(ResetScope::cursor)},
      {"reset-sheet-click", reset(ResetScope::click)},
      {"reset-sheet-everything", reset(ResetScope::everything)},
      {"import-review-settings", review(settingsFileReview("Tovrel Settings.json", separateExit))},
      {"import-review-keys", review(mouselessReview(yaml, model->config()))},
  };
  for (const auto& [name, make] : looks)
    shootInEveryLook(name, make);

  // No keyboard access and a settings file that cannot be written.
  desktop.access.trusted = false;
  AppModel troubled(std::nullopt, desktop.platform, loginItems);
  shootInEveryLook("general-trouble", [&] { return makePage(&troubled); });
}

}  // namespace
}  // namespace tovrel::settings
