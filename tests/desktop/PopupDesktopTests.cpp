// Popups opened from the keyboard: menus and combo boxes of real GTK 3 and GTK 4 applications and
// of a Qt window open from their labels with the last label key held as people type, and from a
// cursor-mode click; a key that an open menu holds belongs to the menu alone. A GTK 4 window's
// labels and scroll outline lie in the window, where its toolkit can only say where they lie
// within it.

#include <X11/keysym.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "core/Keys.hpp"
#include "core/TovrelConfig.hpp"
#include "platform/x11/X11Desktop.hpp"
#include "platform/x11/session/X11Workspace.hpp"
#include "system/AccessibilityTargets.hpp"
#include "system/NavigationService.hpp"
#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/FrameSearch.hpp"
#include "tests/desktop/QtTestApp.hpp"

// After Qt: the X headers define macros (Bool, Status, None) that Qt's headers use as names.
#include <X11/Xlib.h>

extern char** environ;

namespace tovrel::desktoptest {
namespace {

constexpr Keycode rightAlt = 108;
constexpr const char* childVariable = "TOVREL_POPUP_WINDOW";

// ── The Qt window, in a process of its own ──

int runQtWindow() {
  static int argc = 1;
  static char name[] = "tovrel-popups";
  static char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Tovrel popups"));
  QMenu* menu = window.menuBar()->addMenu(QStringLiteral("Colours"));
  menu->addAction(QStringLiteral("Red"));
  menu->addAction(QStringLiteral("Blue"));
  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  auto* combo = new QComboBox;
  combo->addItems({QStringLiteral("Apples"), QStringLiteral("Pears"), QStringLiteral("Plums")});
  layout->addWidget(combo);
  // A list whose rows act on a click, which selecting them does not make.
  auto* list = new QListWidget;
  list->addItems({QStringLiteral("Cherries"), QStringLiteral("Grapes"), QStringLiteral("Lemons")});
  list->setFixedHeight(90);
  QObject::connect(list, &QListWidget::itemClicked, &window, [&window](QListWidgetItem* item) {
    window.setWindowTitle(QStringLiteral("Clicked ") + item->text());
  });
  layout->addWidget(list);
  layout->addStretch();
  window.setCentralWidget(central);
  window.setGeometry(200, 150, 420, 240);
  window.show();
  return app.exec();
}

// Runs before main() in the child and never returns there.
[[maybe_unused]] const bool childRan = [] {
  if (std::getenv(childVariable)) {
    std::fflush(nullptr);
    std::_Exit(runQtWindow());
  }
  return false;
}();

pid_t spawnCommand(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const auto& part : command)
    argv.push_back(const_cast<char*>(part.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  return pid;
}

struct PopupCase {
  const char* name;
  std::vector<std::string> command;  // empty: the Qt window; "{config}" is a fresh folder
  const char* title;
  const char* target;
  const char* mainTitle = nullptr;  // a window the application also opens, which may take focus
  // Run with settings, documents and session of its own (an application that restores its last
  // session would otherwise open what an earlier run left).
  bool freshHome = false;
  // The title the window takes once its document was typed into: typing must still reach it after
  // the popups (a menu that failed to open leaves an application that takes no keys at all).
  const char* typedTitle = nullptr;
  int attempts = 3;
  // Files written to "{config}" before the start, by name: a page, a browser's settings.
  std::vector<std::pair<const char*, const char*>> files = {};
};

// Every row of the tables here is shown by its name.
template <class Row>
requires requires(const Row& row) {
  row.name;
}
void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

// An application that needs only its files: tried once, with no other window and no typing.
PopupCase withFiles(const char* name, std::vector<std::string> command, const char* title,
                    std::vector<std::pair<const char*, const char*>> files) {
  PopupCase app{name, std::move(command), title, ""};
  app.attempts = 1;
  app.files = std::move(files);
  return app;
}

class PopupDesktopTest : public DesktopTest {
 protected:
  void startApp(const PopupCase& app, bool keyRepeat = false) {
    qtApp();
    QProcess::execute("xset", {"r", keyRepeat ? "on" : "off"});
    std::vector<std::string> command = app.command;
    for (const auto& [name, text] : app.files) {
      ASSERT_TRUE(QDir(config_.path()).mkpath(QFileInfo(QString::fromUtf8(name)).path()));
      QFile file(config_.filePath(QString::fromUtf8(name)));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) > 0) << name;
    }
    for (auto& part : command)
      part = expanded(part);
    if (app.freshHome) {
      ASSERT_TRUE(home_.isValid());
      const std::string home = home_.path().toStdString();
      command.insert(command.begin(),
                     {"env", "HOME=" + home, "XDG_CONFIG_HOME=" + home + "/config",
                      "XDG_DATA_HOME=" + home + "/data", "XDG_STATE_HOME=" + home + "/state",
                      "XDG_CACHE_HOME=" + home + "/cache"});
    }
    pid_ = app.command.empty() ? spawnSelf({std::string(childVariable) + "=1"})
                               : spawnCommand(command);
    ASSERT_GT(pid_, 0);
    if (app.mainTitle) {
      ASSERT_TRUE(desktop().waitForWindow(app.mainTitle, 0, 15s).has_value());
    }
    const std::string wantedTitle = expanded(app.title);
    auto window = desktop().waitForWindow(wantedTitle, 0, 15s);
    ASSERT_TRUE(window.has_value()) << "no window " << wantedTitle;
    window_ = *window;
    ASSERT_TRUE(desktop().focus(window_));
    x11_ = platform::x11::X11Desktop::open();
    ASSERT_NE(x11_, nullptr);
    service_ = std::make_unique<NavigationService>(x11_->platform(), TovrelConfig::defaults());
    service_->start();
    ASSERT_TRUE(service_->tapInstalled());
    // As the program does whenever its own window becomes active, the first time it runs too.
    service_->recheckReadiness();
    // The front application reaches the service through the workspace notifications.
    ASSERT_TRUE(pumpUntil([&] { return service_->clickTargetCandidate().has_value(); }, 10s))
        << "the service never learnt which application is in front";
    // A toolkit tells its accessibility clients which window is active a little after X moved
    // the focus, and an application that opens two windows may flip between them at first.
    const auto application = x11_->platform().accessibility.application(pid_);
    ASSERT_TRUE(pumpUntil(
        [&] {
          auto focused = AccessibilityTargets::elementAttribute(application, "AXFocusedWindow");
          const auto title =
              focused ? AccessibilityTargets::stringAttribute(*focused, "AXTitle") : std::nullopt;
          // A window without a title of its own names none.
          return title == wantedTitle || title == "";
        },
        30s))
        << wantedTitle << " never became the application's focused window";
  }

  // `text` with "{config}" standing for the application's own folder.
  std::string expanded(std::string text) const {
    const std::string folder = config_.path().toStdString();
    for (auto at = text.find("{config}"); at != std::string::npos;
         at = text.find("{config}", at + folder.size()))
      text.replace(at, std::string("{config}").size(), folder);
    return text;
  }

  void TearDown() override {
    if (service_) {
      service_->shutdown();
      service_.reset();
    }
    x11_.reset();
    if (pid_ > 0) stopChild(pid_);
    QProcess::execute("xset", {"r", "on"});
    DesktopTest::TearDown();
  }

  void input(const std::function<void(Desktop&)>& act) { inputWhilePumping(desktop(), act); }

  // Generous: only a failing wait takes this long.
  bool waitForMode(InteractionMode mode, std::chrono::milliseconds timeout = 10s) {
    return pumpUntil([&] { return service_->mode() == mode; }, timeout);
  }

  void hold(Keycode code, std::chrono::milliseconds held) {
    input([&](Desktop& d) { d.hardwareKey(code, true); });
    pump(held);
    input([&](Desktop& d) { d.hardwareKey(code, false); });
  }

  // Command+Shift+Space, the click-mode entry.
  void typeClickEntry() {
    input([&](Desktop& d) { d.hardwareChord({XK_Super_L, XK_Shift_L, XK_space}); });
  }

  void tapRightAlt() {
    input([&](Desktop& d) {
      d.hardwareKey(rightAlt, true);
      d.hardwareKey(rightAlt, false);
    });
  }

  // The menu titled `title` opened by a plain click; it holds the keyboard from then on.
  void openMenuByClick(const std::string& title) {
    const auto at = centreOf(title);
    ASSERT_TRUE(at.has_value());
    input([&](Desktop& d) { d.hardwareClick(at->first, at->second); });
    ASSERT_TRUE(popupOpens());
  }

  // Click mode on the front window; the label of the target named `name` (empty when none).
  std::string labelOf(const std::string& name) {
    typeClickEntry();
    if (!waitForMode(InteractionMode::click)) {
      ADD_FAILURE() << "Clicking did not start; the service says: "
                    << service_->message().value_or("nothing");
      return {};
    }
    if (!pumpUntil(
            [&] {
              const ClickSession* click = service_->router().click();
              return click && click->hasSnapshot() && !click->labels().empty();
            },
            10s)) {
      ADD_FAILURE() << "no labels appeared";
      return {};
    }
    const ClickSession& click = *service_->router().click();
    for (std::size_t i = 0; i < click.targets().size() && i < click.labels().size(); ++i)
      if (click.targets()[i].name == name) return click.labels()[i];
    std::string names;
    for (const auto& target : click.targets())
      names += " '" + target.name + "'";
    ADD_FAILURE() << "no label for '" << name << "'; targets:" << names;
    return {};
  }

  // Where the target named `name` is, from click mode's targets; click mode is left again.
  std::optional<std::pair<int, int>> centreOf(const std::string& name) {
    if (labelOf(name).empty()) return std::nullopt;
    std::optional<std::pair<int, int>> at;
    for (const auto& target : service_->router().click()->targets())
      if (target.name == name)
        at = {static_cast<int>(target.frame.center().x), static_cast<int>(target.frame.center().y)};
    input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
    if (!waitForMode(InteractionMode::off)) {
      ADD_FAILURE() << "Escape did not end Clicking";
      return std::nullopt;
    }
    return at;
  }

  // Types `label` as a person does: the last key stays down for `held`.
  void typeHoldingLast(const std::string& label, std::chrono::milliseconds held) {
    input([&](Desktop& d) { d.hardwareType(label.substr(0, label.size() - 1)); });
    const char last = static_cast<char>(std::tolower(static_cast<unsigned char>(label.back())));
    hold(desktop().keycode(static_cast<Keysym>(last)), held);
  }

  // From Moving with the pointer on `target`, Space held as people hold it opens its popup every
  // time; the open menu holds the keyboard, so Escape is its key alone and closes only the menu.
  // With `busy`, this thread answers nothing for that long after Space goes down: the answer
  // comes after the tap stopped waiting for it, and the click with it.
  void spaceOpensEveryTime(const std::string& target, int attempts,
                           std::chrono::milliseconds busy = 0ms) {
    const auto at = centreOf(target);
    ASSERT_TRUE(at.has_value());
    input([&](Desktop& d) { d.hardwareMove(at->first, at->second); });
    tapRightAlt();
    ASSERT_TRUE(waitForMode(InteractionMode::cursor));
    const Keycode space = desktop().keycode(XK_space);
    for (int attempt = 1; attempt <= attempts; ++attempt) {
      input([&](Desktop& d) { d.hardwareKey(space, true); });
      std::this_thread::sleep_for(busy);
      pump(80ms);
      input([&](Desktop& d) { d.hardwareKey(space, false); });
      ASSERT_TRUE(popupOpens()) << "attempt " << attempt << " did not open " << target;
      input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
      ASSERT_TRUE(popupCloses()) << "attempt " << attempt;
      EXPECT_EQ(service_->mode(), InteractionMode::cursor) << "attempt " << attempt;
    }
    input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
    ASSERT_TRUE(waitForMode(InteractionMode::off));
  }

  // From its label in Clicking, `attempts` times, the last label key held as people hold it; the
  // screen is kept as `picture` when a try fails.
  void labelOpensEveryTime(const std::string& target, int attempts, const std::string& picture) {
    for (int attempt = 1; attempt <= attempts; ++attempt) {
      const std::string label = labelOf(target);
      ASSERT_FALSE(label.empty());
      typeHoldingLast(label, 80ms);
      const bool opened = popupOpens();
      if (!opened) savePicture(picture);
      ASSERT_TRUE(opened) << "attempt " << attempt << ": " << target << " did not open from "
                          << label;
      input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
      ASSERT_TRUE(popupCloses()) << "attempt " << attempt;
      ASSERT_TRUE(waitForMode(InteractionMode::off)) << "attempt " << attempt;
    }
  }

  void expectTypingReachesTheDocument(const PopupCase& app) {
    if (!app.typedTitle) return;
    input([&](Desktop& d) { d.hardwareType("ok"); });
    EXPECT_TRUE(desktop().waitForWindow(app.typedTitle, pid_, 5s).has_value())
        << "typed keys did not reach the document";
  }

  bool popupOpens() {
    return pumpUntil([] { return keyboardIsGrabbed(); }, 10s);
  }
  bool popupCloses() {
    return pumpUntil([] { return !keyboardIsGrabbed(); }, 10s);
  }

  void savePicture(const std::string& name) {
    const QString dir = QStringLiteral(TOVREL_ARTIFACT_DIR);
    QDir().mkpath(dir);
    if (QScreen* screen = QGuiApplication::primaryScreen())
      screen->grabWindow(0).save(dir + "/" + QString::fromStdString(name) + ".png");
  }

  QTemporaryDir config_;
  pid_t pid_ = -1;
  QTemporaryDir home_;
  WindowId window_ = 0;
  std::unique_ptr<platform::x11::X11Desktop> x11_;
  std::unique_ptr<NavigationService> service_;
};

// The GTK demonstration opens its main window beside the one asked for.
const PopupCase gtkMenu{
    "GtkMenuBarItem", {"gtk3-demo", "--run=menus"}, "Menus", "foo", "Application Class"};
const PopupCase gtkCombo{
    "GtkComboBox", {"gtk3-demo", "--run=combobox"}, "Combo Boxes", "Boston", "Application Class"};
// A text editor whose menu bar and tool bar hold what its users open most.
const PopupCase geanyMenu{"GeanyMenuBarItem",
                          {"geany", "-c", "{config}"},
                          "untitled - Geany",
                          "File",
                          nullptr,
                          false,
                          "*untitled - Geany",
                          10};
// The arrow beside New: a tool button's menu.
const PopupCase geanyToolMenu{"GeanyToolButtonMenu",
                              {"geany", "-c", "{config}"},
                              "untitled - Geany",
                              "Menu",
                              nullptr,
                              false,
                              "*untitled - Geany",
                              10};
// A GTK 4 application places its elements within its window and calls them only visible; its
// header bar's menu button opens a popover.
const PopupCase gtk4Menu{
    "Gtk4HeaderBarMenu",
    {"env", "GSK_RENDERER=cairo", "GDK_BACKEND=x11", "gnome-text-editor", "--standalone"},
    "New Document (Draft) - Text Editor",
    "Menu",
    nullptr,
    true};
// A GTK 4 grid view, whose tiles take the focus and offer no action: a click opens a font.
const PopupCase fontGrid{"Gtk4FontGrid",
                         {"env", "GSK_RENDERER=cairo", "GDK_BACKEND=x11",
                          "GSETTINGS_BACKEND=memory", "gnome-font-viewer"},
                         "gnome-font-viewer",
                         "",
                         nullptr,
                         true};
const PopupCase qtMenu{"QtMenuBarItem", {}, "Tovrel popups", "Colours"};
// A combo box is named by what it shows.
const PopupCase qtCombo{"QtComboBox", {}, "Tovrel popups", "Apples"};

// People type with auto-repeat on: every try opens the popup, and typing reaches the document
// afterwards.
class LabelOpensPopup : public PopupDesktopTest, public ::testing::WithParamInterface<PopupCase> {};

TEST_P(LabelOpensPopup, EveryTimeWithTheLastLabelKeyHeld) {
  const PopupCase& app = GetParam();
  startApp(app, true);
  if (HasFatalFailure()) return;
  labelOpensEveryTime(app.target, app.attempts, std::string("popup-") + app.name);
  if (HasFatalFailure()) return;
  // The activation is recorded when the call that opened the popup returns, which need not be
  // before the popup is up: wait for it rather than read it at once.
  EXPECT_TRUE(pumpUntil([&] { return service_->lastActivation().has_value(); }, 5s));
  expectTypingReachesTheDocument(app);
}

INSTANTIATE_TEST_SUITE_P(Popups, LabelOpensPopup,
                         ::testing::Values(gtkMenu, gtkCombo, geanyMenu, geanyToolMenu, gtk4Menu,
                                           qtMenu, qtCombo),
                         [](const auto& info) { return std::string(info.param.name); });

class CursorClickOpensPopup : public PopupDesktopTest,
                              public ::testing::WithParamInterface<PopupCase> {};

TEST_P(CursorClickOpensPopup, EveryTimeWithSpaceHeld) {
  startApp(GetParam(), true);
  if (HasFatalFailure()) return;
  spaceOpensEveryTime(GetParam().target, std::max(GetParam().attempts, 6));
  if (HasFatalFailure()) return;
  expectTypingReachesTheDocument(GetParam());
}

TEST_P(CursorClickOpensPopup, EveryTimeWhenTheAnswerIsLate) {
  startApp(GetParam());
  if (HasFatalFailure()) return;
  spaceOpensEveryTime(GetParam().target, 10, 150ms);
}

INSTANTIATE_TEST_SUITE_P(Popups, CursorClickOpensPopup,
                         ::testing::Values(gtkMenu, geanyMenu, qtMenu),
                         [](const auto& info) { return std::string(info.param.name); });

// An application read by Tovrel logs nothing on its account: three rounds of Clicking and a name
// search leave no line of its accessibility bridge, nor an assertion, in the standard error it was
// started with ("{config}/stderr"). Nothing is pressed: geany's notebook complains of a page it
// adds while any accessibility client is connected.
class LeavesNoTrace : public PopupDesktopTest, public ::testing::WithParamInterface<PopupCase> {};

TEST_P(LeavesNoTrace, InTheApplicationsLog) {
  const PopupCase& app = GetParam();
  startApp(app);
  if (HasFatalFailure()) return;
  // A page reaches the accessibility bus a while after its window shows.
  ASSERT_TRUE(pumpUntil(
      [&] {
        return frameNamed(x11_->platform().accessibility.application(pid_), app.target).has_value();
      },
      60s))
      << app.target << " never became readable";
  for (int round = 1; round <= 3; ++round) {
    ASSERT_FALSE(labelOf(app.target).empty()) << "round " << round;
    input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
    ASSERT_TRUE(waitForMode(InteractionMode::off)) << "round " << round;
  }
  ASSERT_FALSE(labelOf(app.target).empty());
  input([&](Desktop& d) { d.hardwareType(std::string("/") + app.target); });
  EXPECT_TRUE(pumpUntil([&] {
    const ClickSession* click = service_->router().click();
    const auto shown = click ? click->visible() : std::vector<std::size_t>();
    return click && !click->query().empty() &&
           std::any_of(shown.begin(), shown.end(),
                       [&](std::size_t i) { return click->targets()[i].name == app.target; });
  })) << "the search did not find "
      << app.target << "; it holds '"
      << (service_->router().click() ? service_->router().click()->query() : "") << "'";
  // Out of the search, then out of Clicking.
  for (int escape = 0; escape < 2 && service_->mode() != InteractionMode::off; ++escape) {
    input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
    waitForMode(InteractionMode::off, 2s);
  }
  ASSERT_EQ(service_->mode(), InteractionMode::off);

  QFile log(QString::fromStdString(expanded("{config}/stderr")));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  std::string complaints;
  for (const QByteArray& line : log.readAll().split('\n')) {
    const QString text = QString::fromUtf8(line);
    if (text.contains(QStringLiteral("CRITICAL")) ||
        text.contains(QStringLiteral("atk"), Qt::CaseInsensitive) ||
        text.contains(QStringLiteral("spi"), Qt::CaseInsensitive) ||
        text.contains(QStringLiteral("Not implemented")))
      complaints += "\n  " + text.toStdString();
  }
  EXPECT_TRUE(complaints.empty()) << app.name << " logged:" << complaints;
}

// Each with its standard error kept.
const PopupCase geanyLog{
    "Geany", {"sh", "-c", "exec geany -c {config} 2>{config}/stderr"}, "untitled - Geany", "New"};
const PopupCase widgetFactoryLog{"Gtk3WidgetFactory",
                                 {"sh", "-c", "exec gtk3-widget-factory 2>{config}/stderr"},
                                 "gtk3-widget-factory",
                                 "Page 2"};

INSTANTIATE_TEST_SUITE_P(Popups, LeavesNoTrace, ::testing::Values(geanyLog, widgetFactoryLog),
                         [](const auto& info) { return std::string(info.param.name); });

// A page that counts its button's clicks and right clicks (its menu kept shut) and shows in its
// title every key that reaches it but the modifiers other than Shift, repeats marked "r".
const char* const eventPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Events</title></head><body>
<button id="button" style="position: absolute; left: 200px; top: 150px; width: 220px;
  height: 90px">Press me</button>
<script>
let clicks = 0, rights = 0;
const keys = [];
const show = () => {
  document.title = 'clicks ' + clicks + (rights ? ' rights ' + rights : '') + ' keys' + keys.join('');
};
button.addEventListener('click', () => { ++clicks; show(); });
button.addEventListener('contextmenu', event => { event.preventDefault(); ++rights; show(); });
for (const type of ['keydown', 'keyup'])
  addEventListener(type, event => {
    if (['Alt', 'AltGraph', 'Control', 'Meta', 'OS', 'Super'].includes(event.key)) return;
    keys.push(' ' + (type == 'keydown' ? '+' : '-') + (event.repeat ? 'r' : '') +
              (event.key == ' ' ? 'Space' : event.key));
    show();
  }, true);
</script></body></html>
)";
// Chromium shows its pages to accessibility clients only when asked to.
PopupCase chromium(const char* name, const char* page, const char* title) {
  return withFiles(
      name,
      {"chromium", "--no-sandbox", "--user-data-dir={config}", "--no-first-run",
       "--no-default-browser-check", "--password-store=basic", "--force-renderer-accessibility",
       "--window-position=0,0", "--window-size=900,600", "file://{config}/page.html"},
      title, {{"page.html", page}});
}
const PopupCase chromiumPage = chromium("ChromiumPage", eventPage, "Events - Chromium");

// A key going down or up `after` the step before: from the keyboard device, or from X's synthetic
// keyboard (an on-screen keyboard's, a remote desktop's).
struct KeyStep {
  Keysym sym;
  bool down;
  std::chrono::milliseconds after;
  bool synthetic = false;
};

struct WebPress {
  const char* name;
  bool fromLabel;                  // else Moving's keys with the pointer on the button
  std::chrono::milliseconds held;  // the label's last key
  std::vector<KeyStep> moving{};
  // What the page says before the z typed last: the Shift of the Clicking chord that found the
  // button reached it, as every key Tovrel does not take does.
  const char* page = "clicks 1 keys +Shift -Shift";
  // The browser's window is closed while the keys are held; a window behind it takes the z.
  bool closes = false;
};

// Shift held while Space right-clicks, let go first: the page sees Shift go down and up.
WebPress shiftFirst(const char* name, bool synthetic) {
  return {name,
          false,
          0ms,
          {{XK_Shift_L, true, 0ms, synthetic},
           {XK_space, true, 100ms, synthetic},
           {XK_Shift_L, false, 80ms, synthetic},
           {XK_space, false, 20ms, synthetic}},
          "clicks 0 rights 1 keys +Shift -Shift +Shift -Shift"};
}

std::vector<KeyStep> spaceHeld(std::chrono::milliseconds held, bool synthetic = false) {
  return {{XK_space, true, 0ms, synthetic}, {XK_space, false, held, synthetic}};
}

// `second` goes down `gap` after `first`; 80 ms later one of them comes up, the other 20 ms after.
std::vector<KeyStep> overlapping(Keysym first, Keysym second, std::chrono::milliseconds gap,
                                 bool firstUpFirst, bool synthetic = false) {
  const Keysym up = firstUpFirst ? first : second;
  return {{first, true, 0ms, synthetic},
          {second, true, gap, synthetic},
          {up, false, 80ms, synthetic},
          {up == first ? second : first, false, 20ms, synthetic}};
}

// A key Tovrel takes is its own, press, repeat and release: the page sees one click and, of the
// keys, only what is typed afterwards.
class WebPageKeys : public PopupDesktopTest, public ::testing::WithParamInterface<WebPress> {};

TEST_P(WebPageKeys, APressClicksOnceAndNoTakenKeyReachesThePage) {
  const WebPress& press = GetParam();
  std::unique_ptr<Receiver> behind;
  if (press.closes) {
    behind = startReceiver();
    ASSERT_NE(behind, nullptr);
  }
  startApp(chromiumPage, true);
  if (HasFatalFailure()) return;
  // The page reaches the accessibility bus a while after its window shows.
  ASSERT_TRUE(pumpUntil(
      [&] {
        return frameNamed(x11_->platform().accessibility.application(pid_), "Press me").has_value();
      },
      60s))
      << "the page never became readable";
  if (press.fromLabel) {
    const std::string label = labelOf("Press me");
    ASSERT_FALSE(label.empty());
    typeHoldingLast(label, press.held);
    ASSERT_TRUE(waitForMode(InteractionMode::off));
  } else {
    const auto at = centreOf("Press me");
    ASSERT_TRUE(at.has_value());
    input([&](Desktop& d) { d.hardwareMove(at->first, at->second); });
    tapRightAlt();
    ASSERT_TRUE(waitForMode(InteractionMode::cursor));
    // Typed from a thread of its own, as a keyboard types: it does not wait for this program.
    input([&](Desktop& d) {
      for (const KeyStep& step : press.moving) {
        std::this_thread::sleep_for(step.after);
        if (step.sym == NoSymbol) {
          d.close(window_);
          continue;
        }
        const Keycode code = d.keycode(step.sym);
        if (step.synthetic)
          d.xtestKey(code, step.down);
        else
          d.hardwareKeyNow(code, step.down);
      }
    });
    if (press.closes) {
      ASSERT_TRUE(pumpUntil([&] { return desktop().hasFocus(behind->window()); }, 10s))
          << desktop().focusReport();
      const std::size_t mark = behind->log().size();
      input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
      ASSERT_TRUE(waitForMode(InteractionMode::off));
      input([&](Desktop& d) { d.hardwareType("z"); });
      EXPECT_TRUE(behind->log().waitFor(keyRelease(desktop().keycode(XK_z)), 5s, mark));
      // Of the keys held across the close, nothing reaches the window behind.
      for (const ReceiverEvent& event : behind->log().since(mark))
        EXPECT_TRUE((!event.is("key-press") && !event.is("key-release")) ||
                    event.number("code") == static_cast<long>(desktop().keycode(XK_z)))
            << event;
      return;
    }
    input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
    ASSERT_TRUE(waitForMode(InteractionMode::off));
  }
  input([&](Desktop& d) { d.hardwareType("z"); });
  const std::string wanted = std::string(press.page) + " +z -z - Chromium";
  EXPECT_TRUE(pumpUntil([&] { return desktop().titleOf(window_) == wanted; }, 10s))
      << "the page says \"" << desktop().titleOf(window_) << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Popups, WebPageKeys,
    ::testing::Values(
        WebPress{"MovingSpace", false, 0ms, spaceHeld(80ms)},
        WebPress{"MovingSpaceHeld", false, 0ms, spaceHeld(1s)},
        // The pointer gliding left, on the button still, when Space clicks.
        WebPress{"MovingSpaceWhileJGlides", false, 0ms, overlapping(XK_j, XK_space, 40ms, false)},
        // A key that passes, and one Moving takes, right after Space.
        WebPress{"MovingShiftRightAfterSpace", false, 0ms,
                 overlapping(XK_space, XK_Shift_L, 3ms, true),
                 "clicks 1 keys +Shift -Shift +Shift -Shift"},
        WebPress{"MovingJRightAfterSpace", false, 0ms, overlapping(XK_space, XK_j, 3ms, true)},
        // Typed through XTest, as scripts and on-screen keyboards type.
        WebPress{"MovingSpaceSynthetic", false, 0ms, spaceHeld(12ms, true)},
        WebPress{"MovingSpaceSyntheticHeld", false, 0ms, spaceHeld(1s, true)},
        WebPress{"MovingSpaceWhileJGlidesSynthetic", false, 0ms,
                 overlapping(XK_j, XK_space, 40ms, false, true)},
        WebPress{"MovingShiftRightAfterSpaceSynthetic", false, 0ms,
                 overlapping(XK_space, XK_Shift_L, 3ms, true, true),
                 "clicks 1 keys +Shift -Shift +Shift -Shift"},
        // Shift held as J glides, let go first; Space clicks afterwards.
        WebPress{"MovingShiftLetGoWhileJGlides",
                 false,
                 0ms,
                 {{XK_Shift_L, true, 0ms},
                  {XK_j, true, 10ms},
                  {XK_Shift_L, false, 60ms},
                  {XK_j, false, 20ms},
                  {XK_space, true, 30ms},
                  {XK_space, false, 80ms}},
                 "clicks 1 keys +Shift -Shift +Shift -Shift"},
        shiftFirst("MovingShiftBeforeSpaceLetGoFirst", false),
        shiftFirst("MovingShiftBeforeSpaceLetGoFirstSynthetic", true),
        // J glides when the window is closed; the window behind takes what is typed next.
        WebPress{"MovingWindowClosedWhileJGlides",
                 false,
                 0ms,
                 {{XK_j, true, 0ms}, {NoSymbol, true, 60ms}, {XK_j, false, 400ms}},
                 "",
                 true},
        WebPress{"Label", true, 80ms}, WebPress{"LabelHeld", true, 1s}),
    [](const auto& info) { return std::string(info.param.name); });

// A box 420 wide that scrolls on its own above a page that does too; the title says how far each
// is. The box holds `content`, below what `above` shows.
std::string scrollPageWith(const std::string& content, const std::string& above = "",
                           const std::string& box = "margin: 40px; height: 160px") {
  return R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Scrolled</title></head><body style="margin: 0">)" +
         above + R"(
<div id="box" style=")" +
         box + R"(; width: 420px; overflow: auto; border: 1px solid">)" + content + R"(</div>
<div style="height: 3000px">Page content</div>
<script>
const show = () => { document.title = 'box ' + box.scrollTop + ' page ' + scrollY; };
box.addEventListener('scroll', show);
addEventListener('scroll', show);
show();
</script></body></html>
)";
}
// One tall block, and a list of rows, as messages, results and code lines are shown.
const std::string scrollPage = scrollPageWith(R"(<div style="height: 1500px">Box content</div>)");
const std::string rowsPage = [] {
  std::string rows;
  for (int row = 1; row <= 10; ++row)
    rows += "<div style=\"height: 36px\">Message " + std::to_string(row) + "</div>";
  return scrollPageWith(rows);
}();
// Below a heading, buttons and a form, a box most of the window tall whose rows of 60 with a
// border end on its bottom edge, so that none past it shows.
const std::string paneRowsPage = [] {
  std::string rows;
  for (int row = 1; row <= 20; ++row)
    rows +=
        "<div style=\"height: 60px; border: 1px solid\">Message " + std::to_string(row) + "</div>";
  return scrollPageWith(rows, R"(<h1 style="margin: 4px">Inbox</h1><button>Reply</button>
<form style="margin: 4px"><input aria-label="Search"> <button>Go</button></form>)",
                        "margin: 8px 40px; height: 558px");
}();

// Firefox shows its pages to accessibility clients only in an accessible desktop.
PopupCase firefox(const char* name, const char* page, const char* title) {
  return withFiles(name,
                   {"env", "GNOME_ACCESSIBILITY=1", "firefox-esr", "--no-remote", "--profile",
                    "{config}", "file://{config}/page.html"},
                   title, {{"page.html", page}, {"user.js", firefoxSettings}});
}

// A browser's accessibility bridge complains in its log of any question to an interface an
// element lacks: the browsers are asked frames and actions without asking their interfaces first.
PopupCase withLog(PopupCase app) {
  std::string line = "exec";
  for (const std::string& part : app.command)
    line += " '" + part + "'";
  app.command = {"sh", "-c", line + " 2>{config}/stderr"};
  app.target = "Press me";
  return app;
}
INSTANTIATE_TEST_SUITE_P(Browsers, LeavesNoTrace,
                         ::testing::Values(withLog(chromiumPage),
                                           withLog(firefox("FirefoxPage", eventPage,
                                                           "Events \u2014 Mozilla Firefox"))),
                         [](const auto& info) { return std::string(info.param.name); });

class WebPageScroll : public PopupDesktopTest, public ::testing::WithParamInterface<PopupCase> {};

// Scrolling offers the box as an area of its own: Tab outlines it, and J scrolls it and not the
// page.
TEST_P(WebPageScroll, TabReachesTheInnerBoxAndJScrollsItAlone) {
  startApp(GetParam(), true);
  if (HasFatalFailure()) return;
  DiscoveryServices services = DiscoveryServices::of(x11_->platform());
  // The page reaches the accessibility bus a while after its window shows.
  ASSERT_TRUE(pumpUntil(
      [&] { return AccessibilityTargets::scrollAreasNow(services, pid_, false).size() >= 2; }, 60s))
      << "the page and its box never became readable";
  input([&](Desktop& d) { d.hardwareChord({XK_Super_L, XK_Shift_L, XK_j}); });
  ASSERT_TRUE(waitForMode(InteractionMode::scroll));
  const auto session = [&] { return service_->router().scroll(); };
  ASSERT_TRUE(pumpUntil([&] { return session() && session()->outlined(); }, 5s));
  // The areas can be found again a moment after Scrolling starts.
  std::optional<HintTarget::Frame> box;
  ASSERT_TRUE(pumpUntil(
      [&] {
        for (const HintTarget::Frame& area : session()->areas())
          if (std::abs(area.width - 422) <= 4) box = area;
        return box.has_value();
      },
      5s))
      << "the box is not among the scroll areas";
  for (std::size_t tab = 0; tab < session()->areas().size() && *session()->outlined() != *box;
       ++tab) {
    const auto before = *session()->outlined();
    input([&](Desktop& d) { d.hardwareTap(XK_Tab); });
    ASSERT_TRUE(pumpUntil([&] { return *session()->outlined() != before; }, 5s));
  }
  ASSERT_EQ(*session()->outlined(), *box) << "Tab never outlined the box";
  // J at once, as a person types it: the pointer is still on its way to the box (a browser's
  // answers take up to half a second), and the scroll waits for it.
  hold(desktop().keycode(XK_j), 200ms);
  std::string title;
  EXPECT_TRUE(pumpUntil(
      [&] {
        title = desktop().titleOf(window_);
        return title.rfind("box ", 0) == 0 && title.rfind("box 0 ", 0) != 0;
      },
      10s))
      << "the box did not scroll: the page says \"" << title << "\"";
  EXPECT_NE(title.find(" page 0 "), std::string::npos) << "the page scrolled: " << title;
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  EXPECT_TRUE(waitForMode(InteractionMode::off));
}

INSTANTIATE_TEST_SUITE_P(
    Popups, WebPageScroll,
    ::testing::Values(
        chromium("Chromium", scrollPage.c_str(), "box 0 page 0 - Chromium"),
        chromium("ChromiumRows", rowsPage.c_str(), "box 0 page 0 - Chromium"),
        firefox("Firefox", scrollPage.c_str(), "box 0 page 0 \u2014 Mozilla Firefox"),
        firefox("FirefoxRows", rowsPage.c_str(), "box 0 page 0 \u2014 Mozilla Firefox"),
        firefox("FirefoxPaneRows", paneRowsPage.c_str(), "box 0 page 0 \u2014 Mozilla Firefox")),
    [](const auto& info) { return std::string(info.param.name); });

class KeyOwnerTest : public PopupDesktopTest {};

TEST_F(KeyOwnerTest, AKeyAnOpenMenuHoldsActsOnlyInTheMenu) {
  startApp(gtkMenu);
  if (HasFatalFailure()) return;
  openMenuByClick(gtkMenu.target);
  if (HasFatalFailure()) return;
  // Modifier taps are never withheld from applications: Moving still starts.
  tapRightAlt();
  ASSERT_TRUE(waitForMode(InteractionMode::cursor));
  const auto before = desktop().pointer();
  hold(desktop().keycode(XK_l), 400ms);
  pump(100ms);
  EXPECT_EQ(desktop().pointer(), before) << "L moved the pointer while the menu had the key";
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  EXPECT_TRUE(popupCloses()) << "Escape did not reach the menu";
  pump(100ms);
  EXPECT_EQ(service_->mode(), InteractionMode::cursor) << "one Escape closed the menu and Moving";
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  EXPECT_TRUE(waitForMode(InteractionMode::off));
}

TEST_F(KeyOwnerTest, AnEntryChordAnOpenMenuHoldsStartsNothing) {
  startApp(gtkMenu);
  if (HasFatalFailure()) return;
  openMenuByClick(gtkMenu.target);
  if (HasFatalFailure()) return;
  typeClickEntry();
  EXPECT_FALSE(waitForMode(InteractionMode::click, 500ms))
      << "the chord the menu took started Clicking too";
  if (keyboardIsGrabbed()) input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  EXPECT_TRUE(popupCloses());
}

TEST_F(KeyOwnerTest, WithNoWindowFocusedMovingKeysStillWork) {
  startApp(qtMenu);
  if (HasFatalFailure()) return;
  // The desktop itself has the keyboard: nobody else can want the key.
  {
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XSetInputFocus(display, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
    XCloseDisplay(display);
  }
  input([&](Desktop& d) { d.hardwareMove(640, 700); });
  tapRightAlt();
  ASSERT_TRUE(waitForMode(InteractionMode::cursor));
  const auto before = desktop().pointer();
  hold(desktop().keycode(XK_l), 400ms);
  EXPECT_TRUE(pumpUntil([&] { return desktop().pointer().first > before.first + 20; }, 2s))
      << "L did not move the pointer with no window focused";
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  EXPECT_TRUE(waitForMode(InteractionMode::off));
}

class Gtk4WindowTest : public PopupDesktopTest {
 protected:
  bool inside(const HintTarget::Frame& frame) const {
    return frame.width > 0 && frame.height > 0 && frame.x >= window.x && frame.y >= window.y &&
           frame.x + frame.width <= window.x + window.width &&
           frame.y + frame.height <= window.y + window.height;
  }
  bool inside(std::pair<int, int> point) const {
    return point.first >= window.x && point.second >= window.y &&
           point.first < window.x + window.width && point.second < window.y + window.height;
  }
  std::optional<HintTarget::Frame> frameNamed(const std::string& name) {
    return desktoptest::frameNamed(x11_->platform().accessibility.application(pid_), name);
  }

  Rect window;
};

TEST_F(Gtk4WindowTest, AnOpenHeaderBarMenuIsLabelledWholeWhereItShows) {
  startApp(gtk4Menu);
  if (HasFatalFailure()) return;
  const std::string label = labelOf("Menu");
  ASSERT_FALSE(label.empty());
  typeHoldingLast(label, 150ms);
  ASSERT_TRUE(popupOpens());
  // The menu is a window of the application's own beside the main one.
  const auto main = desktop().windowRect(window_);
  ASSERT_TRUE(main.has_value());
  std::optional<Rect> menu;
  ASSERT_TRUE(pumpUntil(
      [&] {
        for (const auto& shown : platform::x11::X11Workspace().clientWindows(pid_))
          if (shown.width != main->width || shown.height != main->height)
            menu = Rect{shown.x, shown.y, shown.width, shown.height};
        return menu.has_value();
      },
      5s));
  window = *menu;
  std::optional<HintTarget::Frame> save;
  EXPECT_TRUE(pumpUntil([&] { return (save = frameNamed("Save")) && inside(*save); }, 5s))
      << "Save lies at " << (save ? save->x : -1) << "," << (save ? save->y : -1)
      << ", outside the menu at " << menu->x << "," << menu->y << " " << menu->width << "x"
      << menu->height;

  // Discovery labels the open menu, all of it, and nothing of the window below.
  DiscoveryServices services = DiscoveryServices::of(x11_->platform());
  const DiscoveryResult found = AccessibilityTargets::discoverNow(
      services, pid_, AccessibilityTargets::Budget{}, AccessibilityTargets::Extras{}, true);
  EXPECT_EQ(found.scope, "menu");
  std::string names;
  bool about = false;
  for (const auto& target : found.targets) {
    names += " '" + target.name + "'";
    EXPECT_TRUE(inside(target.frame)) << target.name << " lies outside the menu";
    about = about || target.name == "About Text Editor";
  }
  EXPECT_TRUE(about) << "the menu's last item is missing; targets:" << names;
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  EXPECT_TRUE(popupCloses());
}

// Two windows of one application, one size and one title, at different places: each, when in
// front, gets the labels, and the one behind none.
TEST_F(Gtk4WindowTest, OfTwoWindowsOfOneSizeTheOneInFrontIsLabelled) {
  startApp(gtk4Menu);
  if (HasFatalFailure()) return;
  const auto first = desktop().windowRect(window_);
  ASSERT_TRUE(first.has_value());
  input([&](Desktop& d) { d.hardwareChord({XK_Control_L, XK_Shift_L, XK_n}); });
  // Their content, within the shadows the toolkit draws around it.
  std::vector<Rect> twins;
  ASSERT_TRUE(pumpUntil(
      [&] {
        twins.clear();
        for (const auto& shown : platform::x11::X11Workspace().clientWindows(pid_)) {
          if (shown.width != first->width || shown.height != first->height) continue;
          const auto [left, right, top, bottom] = shown.margins.value_or(std::array{0, 0, 0, 0});
          twins.push_back({shown.x + left, shown.y + top, shown.width - left - right,
                           shown.height - top - bottom});
        }
        return twins.size() == 2;
      },
      10s))
      << "no second window of the same size";
  ASSERT_TRUE(twins[0].x != twins[1].x || twins[0].y != twins[1].y) << "the windows coincide";
  std::optional<WindowId> second;
  ASSERT_TRUE(pumpUntil([&] { return (second = desktop().activeWindow()) && *second != window_; }));
  for (int round = 0; round < 2; ++round) {
    for (const WindowId id : {window_, *second}) {
      ASSERT_TRUE(desktop().focus(id));
      const auto outer = desktop().windowRect(id);
      ASSERT_TRUE(outer.has_value());
      const auto front = std::find_if(twins.begin(), twins.end(), [&](const Rect& content) {
        return content.x >= outer->x && content.x < outer->x + outer->width &&
               content.y >= outer->y && content.y < outer->y + outer->height;
      });
      ASSERT_NE(front, twins.end());
      window = *front;
      ASSERT_FALSE(labelOf("Open").empty());
      for (const HintTarget& target : service_->router().click()->targets())
        EXPECT_TRUE(inside(target.frame))
            << target.name << " at " << target.frame.x << "," << target.frame.y
            << " lies outside the window in front at " << front->x << "," << front->y;
      input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
      ASSERT_TRUE(waitForMode(InteractionMode::off));
    }
  }
}

TEST_F(Gtk4WindowTest, HeaderBarLabelsAndTheScrollOutlineLieInTheWindow) {
  startApp(gtk4Menu);
  if (HasFatalFailure()) return;
  const auto rect = desktop().windowRect(window_);
  ASSERT_TRUE(rect.has_value());
  window = *rect;

  ASSERT_FALSE(labelOf("Open").empty());
  const ClickSession& click = *service_->router().click();
  for (const std::string name : {"Open", "New tab (Ctrl+T)", "Menu"}) {
    const auto target = std::find_if(click.targets().begin(), click.targets().end(),
                                     [&](const HintTarget& t) { return t.name == name; });
    ASSERT_NE(target, click.targets().end()) << "no label for " << name;
    const HintTarget::Frame& frame = target->frame;
    EXPECT_TRUE(inside(frame) && frame.y < window.y + 60)
        << name << " at " << frame.x << "," << frame.y
        << " outside the header bar of the window at " << window.x << "," << window.y;
  }
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  ASSERT_TRUE(waitForMode(InteractionMode::off));

  // Scrolling from a pointer outside the window: the outline and the parked pointer belong in it.
  input([&](Desktop& d) { d.hardwareMove(window.x / 2, window.y / 2); });
  input([&](Desktop& d) { d.hardwareChord({XK_Super_L, XK_Shift_L, XK_j}); });
  ASSERT_TRUE(waitForMode(InteractionMode::scroll));
  ASSERT_TRUE(pumpUntil(
      [&] { return service_->router().scroll() && !service_->router().scroll()->areas().empty(); },
      5s))
      << "Scrolling found no scroll area";
  for (const auto& area : service_->router().scroll()->areas())
    EXPECT_TRUE(inside(area)) << "a scroll area at " << area.x << "," << area.y << " " << area.width
                              << "x" << area.height << " lies outside the window";
  EXPECT_TRUE(pumpUntil([&] { return inside(desktop().pointer()); }, 5s))
      << "the pointer was parked at " << desktop().pointer().first << ","
      << desktop().pointer().second << ", outside the window";
  input([&](Desktop& d) { d.hardwareTap(XK_Escape); });
  EXPECT_TRUE(waitForMode(InteractionMode::off));
}

class FontTileOpens : public Gtk4WindowTest, public ::testing::WithParamInterface<bool> {};

// The first tile typed by its label, or the last found by its name, opens its font: the page
// names the font's family in its header bar.
TEST_P(FontTileOpens, FromItsLabelOrItsName) {
  startApp(fontGrid);
  if (HasFatalFailure()) return;
  window = desktop().windowRect(window_).value_or(Rect{});
  ASSERT_TRUE(pumpUntil([&] {
    return elementWhere(x11_->platform().accessibility.application(pid_),
                        [](const auto&, const std::string& role) { return role == "AXCell"; })
        .has_value();
  }));
  typeClickEntry();
  ASSERT_TRUE(pumpUntil([&] {
    const ClickSession* click = service_->router().click();
    return click && !click->labels().empty();
  }));
  const ClickSession& click = *service_->router().click();
  std::vector<std::size_t> tiles;
  for (std::size_t i = 0; i < click.labels().size(); ++i)
    if (click.targets()[i].role == "AXCell") tiles.push_back(i);
  ASSERT_FALSE(tiles.empty()) << "no tile has a label";
  const std::size_t tile = GetParam() ? tiles.back() : tiles.front();
  const std::string name = click.targets()[tile].name, label = click.labels()[tile];
  if (GetParam())
    input([&](Desktop& d) { d.hardwareType("/" + name), d.hardwareTap(XK_Return); });
  else
    typeHoldingLast(label, 80ms);
  const std::string family = name.substr(0, name.find(", "));
  std::optional<HintTarget::Frame> title;
  EXPECT_TRUE(pumpUntil([&] {
    return (title = frameNamed(family)) && inside(*title) && title->y < window.y + 47;
  })) << "no page of '"
      << name << "' names '" << family << "' in its header bar";
}

// An item of a list, tree or grid pressed from Clicking does what a click on it does: `typed`
// before its label ("." steps to the next action: ".." double-clicks), or "/" to find it by name.
// Done when the window takes `title`, or, without one, when the item is selected.
struct ItemCase {
  const char* name;
  PopupCase app;
  const char* item;
  const char* typed;
  const char* title;
  bool detailedList = false;  // Thunar's detailed list view (Ctrl+2): a row is a cell per column
};

class ItemPress : public Gtk4WindowTest, public ::testing::WithParamInterface<ItemCase> {};

TEST_P(ItemPress, DoesWhatAClickDoes) {
  const ItemCase& c = GetParam();
  startApp(c.app, true);
  if (HasFatalFailure()) return;
  if (c.detailedList) {
    input([&](Desktop& d) { d.hardwareChord({XK_Control_L, XK_2}); });
    ASSERT_TRUE(pumpUntil([&] { return frameNamed("Date Modified").has_value(); }));
  }
  // A page reaches the accessibility bus a while after its window shows.
  ASSERT_TRUE(pumpUntil([&] { return frameNamed(c.item).has_value(); }, 60s))
      << c.item << " never became readable";
  const std::string label = labelOf(c.item);
  ASSERT_FALSE(label.empty());
  if (std::string(c.typed) == "/") {
    input([&](Desktop& d) { d.hardwareType(std::string("/") + c.item), d.hardwareTap(XK_Return); });
  } else {
    input([&](Desktop& d) { d.hardwareType(c.typed); });
    typeHoldingLast(label, 80ms);
  }
  ASSERT_TRUE(waitForMode(InteractionMode::off));
  if (c.title) {
    EXPECT_TRUE(desktop().waitForWindow(expanded(c.title), pid_, 10s).has_value())
        << c.item << " did not do what a click does: the window is \"" << desktop().titleOf(window_)
        << "\" after "
        << (service_->lastActivation() ? service_->lastActivation()->outcome : "no activation");
    return;
  }
  EXPECT_TRUE(pumpUntil([&] {
    const auto item = elementWhere(
        x11_->platform().accessibility.application(pid_),
        [&](const platform::AXElement& element, const std::string& role) {
          return role == "AXCell" && AccessibilityTargets::accessibleName(element, role) == c.item;
        });
    return item && AccessibilityTargets::boolAttribute(*item, "AXSelected") == true;
  })) << c.item
      << " was not selected";
}

// Thunar in a home of its own, on a folder of three folders and a file.
const PopupCase thunarFolder =
    withFiles("Thunar", {"env", "HOME={config}", "thunar", "{config}/files"}, "files - Thunar",
              {{"files/alpha/a", "a"},
               {"files/beta/b", "b"},
               {"files/gamma/c", "c"},
               {"files/notes.txt", "notes"}});
// FeatherPad (Qt 5) with its side pane listing its two documents.
const PopupCase featherPadPane = withFiles(
    "FeatherPad", {"env", "HOME={config}", "featherpad", "{config}/one.txt", "{config}/two.txt"},
    "{config}/one.txt",
    {{".config/featherpad/fp.conf", "[window]\nsidePaneMode=true\n"},
     {"one.txt", "one"},
     {"two.txt", "two"}});
// A mail-like grid whose rows hold a link in their middle cell; the title says where a click on a
// row landed.
const char* const gridPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Grid</title></head><body>
<div role="grid" aria-label="Mail" style="width: 600px">
<div role="row" tabindex="0" id="first" style="display: flex; height: 30px">
  <div role="gridcell" style="width: 200px">Alice</div>
  <div role="gridcell" style="width: 200px"><a href="#thread" style="display: block">Thread</a></div>
  <div role="gridcell" style="width: 200px">Monday</div></div>
<div role="row" tabindex="-1" id="second" style="display: flex; height: 30px">
  <div role="gridcell" style="width: 200px">Bob</div>
  <div role="gridcell" style="width: 200px"><a href="#thread" style="display: block">Thread</a></div>
  <div role="gridcell" style="width: 200px">Tuesday</div></div>
</div>
<script>
for (const row of document.querySelectorAll('[role=row]'))
  row.addEventListener('click', event => {
    document.title = 'row ' + row.id + ' on ' + event.target.tagName;
  });
</script></body></html>
)";
const PopupCase gtk4Demo{
    "Gtk4Demo", {"env", "GSK_RENDERER=cairo", "GDK_BACKEND=x11", "gtk4-demo"}, "GTK Demo", ""};

INSTANTIATE_TEST_SUITE_P(
    Popups, ItemPress,
    ::testing::Values(
        ItemCase{"ThunarRowByLabel", thunarFolder, "beta", "", nullptr, true},
        ItemCase{"ThunarRowByName", thunarFolder, "gamma", "/", nullptr, true},
        ItemCase{"ThunarFolderByDoubleClick", thunarFolder, "beta", "..", "beta - Thunar", true},
        ItemCase{"Gtk4ListRow", gtk4Demo, "Assistant", "", "Assistant"},
        ItemCase{"QtListRow", qtMenu, "Grapes", "", "Clicked Grapes"},
        ItemCase{"Qt5SidePaneRow", featherPadPane, "two.txt", "", "{config}/two.txt"},
        ItemCase{"ChromiumGridRow", chromium("ChromiumGrid", gridPage, "Grid - Chromium"),
                 "Alice Thread Monday", "", "row first on DIV - Chromium"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(Popups, FontTileOpens, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ByName" : "ByLabel"; });

}  // namespace
}  // namespace tovrel::desktoptest
