// The About page: its access state over the in-memory desktop, the diagnostic report line by
// line, and the copy button that puts the report on the clipboard.

#include "app/settings/pages/AboutPage.hpp"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>

#include "app/settings/controls/AccessCard.hpp"
#include "app/settings/controls/SettingControls.hpp"
#include "app/settings/pages/AboutLogic.hpp"
#include "platform/fake/FakeDesktop.hpp"
#include "platform/fake/FakeLoginItems.hpp"
#include "tests/app/SettingsPictures.hpp"
#include "tests/app/WidgetApp.hpp"

namespace tovrel::settings {
namespace {

std::string stamp(double date) {
  return "t" + std::to_string(static_cast<long long>(date));
}

ReportFacts facts(bool trusted, bool secure) {
  ReportFacts facts;
  facts.version = "0.1.0";
  facts.readiness.osVersion = "Debian GNU/Linux 12";
  facts.readiness.accessibilityTrusted = trusted;
  facts.readiness.secureInputActive = secure;
  facts.tapInstalled = true;
  facts.mode = InteractionMode::click;
  facts.profileName = "Standard";
  facts.schemaVersion = 2;
  return facts;
}

TEST(DiagnosticReport, HeaderLinesDiscoveryAndTheNewestLogLines) {
  ReportFacts ready = facts(true, false);
  ready.lastDiscovery = NavigationService::DiscoveryStats{7, 12.9, 300, true, "window", 5};
  ready.log = {{"a", 100, "Click on"}, {"b", 101, "Click off"}};
  EXPECT_EQ(diagnosticReport(ready, stamp),
            "Tovrel 0.1.0\nSystem: Debian GNU/Linux 12\n"
            "Accessibility: true, tap installed: true, secure input: false\n"
            "Mode: click, profile: Standard, schema: 2\n"
            "Last discovery: 7 targets, 12 ms, 300 nodes, truncated: true\n"
            "t100 Click on\nt101 Click off");

  // No discovery and no log: the four header lines alone, no line feed after the last.
  EXPECT_TRUE(diagnosticReport(facts(false, true), stamp)
                  .ends_with("\nAccessibility: false, tap installed: true, secure input: true\n"
                             "Mode: click, profile: Standard, schema: 2"));

  ReportFacts busy = facts(true, false);
  busy.version.reset();
  for (int i = 0; i < 25; ++i)
    busy.log.push_back({std::to_string(i), 1000.0 + i, "entry " + std::to_string(i)});
  const QStringList lines =
      QString::fromStdString(diagnosticReport(busy, stamp)).split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 4 + 20);
  EXPECT_EQ(lines[0], QStringLiteral("Tovrel dev"));
  EXPECT_EQ(lines[4], QStringLiteral("t1005 entry 5"));
  EXPECT_EQ(lines.back(), QStringLiteral("t1024 entry 24"));
}

TEST(DiagnosticReport, TimeOfDayAddsSecondsToTheLocalesShortFormat) {
  const double date =
      static_cast<double>(QDateTime(QDate(2024, 1, 2), QTime(15, 4, 5)).toSecsSinceEpoch());
  for (auto [locale, shown] :
       {std::pair{"en_US", "3:04:05 PM"}, {"de_DE", "15:04:05"}, {"fi_FI", "15.04.05"}}) {
    EXPECT_EQ(timeOfDay(date, QLocale(QLatin1String(locale))), shown)
        << timeOfDayFormat(QLocale(QLatin1String(locale))).toStdString();
  }
}

TEST(AboutLogic, AccessSecureInputAndVersionTexts) {
  const struct {
    bool assumes, tap, accessibility, allowed;
  } cases[] = {
      {false, true, true, true},    {false, true, false, false}, {false, false, true, false},
      {false, false, false, false}, {true, false, false, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(keyboardAccessAllowed(c.assumes, c.tap, c.accessibility), c.allowed)
        << c.assumes << c.tap << c.accessibility;
  EXPECT_EQ(secureInputDetail("KeePassXC"),
            "KeePassXC has a password field active, so Tovrel waits until it closes. If no "
            "password field is open there, quit and reopen KeePassXC.");
  EXPECT_TRUE(secureInputDetail(std::nullopt).starts_with("Another app has a password"));
  EXPECT_TRUE(secureInputDetail(std::nullopt).ends_with("quit and reopen that app."));
  EXPECT_EQ(versionText("1.2", "42"), "Version 1.2 (42)");
  EXPECT_EQ(versionText(std::nullopt, std::nullopt), "Version dev (-)");
}

class AboutPageTest : public ::testing::Test {
 protected:
  AboutPageTest() { testapp::ensureWidgetApp(); }

  enum class State { ready, needsAccess, secureNamed, secureUnnamed, assumed };

  // A fresh model over the desktop in `state`: an installed tap stays installed.
  void enter(State state) {
    desktop.events.refuseTap = state == State::needsAccess || state == State::assumed;
    desktop.access.trusted = state == State::ready || state == State::secureNamed;
    desktop.hotKeys.secureInput = state != State::ready && state != State::needsAccess;
    desktop.access.users = std::vector<platform::ConsoleUser>{{42}};
    desktop.access.applicationNames.clear();
    if (state == State::secureNamed) desktop.access.applicationNames[42] = "KeePassXC";
    model = std::make_unique<AppModel>(std::nullopt, desktop.platform, loginItems);
    model->setAssumesAccessForSnapshots(state == State::assumed);
  }

  std::unique_ptr<AboutPage> make(std::function<std::optional<std::string>()> openSettings = {}) {
    auto page = std::make_unique<AboutPage>(PageContext{*model, std::move(openSettings)});
    page->show();
    return page;
  }

  platform::fake::FakeDesktop desktop;
  platform::fake::FakeLoginItems loginItems;
  std::unique_ptr<AppModel> model;
};

TEST_F(AboutPageTest, TheStatusLinesAndButtonsFollowTheLiveState) {
  const struct {
    State state;
    bool allowed;
    const char* secureDetail;  // none: no secure-input line
  } cases[] = {
      {State::ready, true, nullptr},
      {State::needsAccess, false, nullptr},
      // The tap is installed and accessibility is on: allowed, and the line shows as well.
      {State::secureNamed, true, "KeePassXC has a password field active"},
      {State::secureUnnamed, false, "Another app has a password field active"},
      {State::assumed, true, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.state));
    enter(c.state);
    auto page = make();
    // The page follows the service's check, made after it came on screen.
    model->navigation().recheckReadiness();
    EXPECT_EQ(page->accessLine()->ok(), c.allowed);
    EXPECT_EQ(page->openButton()->isVisibleTo(page.get()), !c.allowed);
    EXPECT_EQ(page->checkButton()->isVisibleTo(page.get()), !c.allowed);
    EXPECT_EQ(page->secureInputLine()->isVisibleTo(page.get()), c.secureDetail != nullptr);
    if (!c.secureDetail) continue;
    bool shown = false;
    for (QLabel* label : page->secureInputLine()->findChildren<QLabel*>())
      shown |= label->text().startsWith(QString::fromUtf8(c.secureDetail));
    EXPECT_TRUE(shown);
  }
}

// The About page and the access card that General and every mode page show, over one model in
// every state the desktop can be in: the card shows exactly when About finds no access or a
// password field holding the keyboard.
TEST_F(AboutPageTest, TheAccessLineAndTheAccessCardGiveOneAnswer) {
  for (int state = 0; state < 16; ++state) {
    const bool tap = state & 1, accessibility = state & 2, secure = state & 4, assumed = state & 8;
    SCOPED_TRACE(testing::Message() << "tap " << tap << ", accessibility " << accessibility
                                    << ", secure input " << secure << ", assumed " << assumed);
    desktop.events.refuseTap = !tap;
    desktop.access.trusted = accessibility;
    desktop.hotKeys.secureInput = secure;
    model = std::make_unique<AppModel>(std::nullopt, desktop.platform, loginItems);
    model->setAssumesAccessForSnapshots(assumed);
    auto page = make();
    AccessCard card(*model, {});
    model->navigation().recheckReadiness();
    ASSERT_EQ(model->navigation().tapInstalled(), tap);
    const bool allowed = page->accessLine()->ok();
    const bool secureShown = page->secureInputLine()->isVisibleTo(page.get());
    EXPECT_EQ(!card.isHidden(), !allowed || secureShown);
    EXPECT_EQ(secureShown, secure && !assumed);
    EXPECT_EQ(card.accessibleName(), secure
                                         ? QStringLiteral("Another app has a password field active")
                                         : QStringLiteral("Tovrel needs Accessibility access"));
    // Nothing the card's buttons do frees the keyboard from a password field.
    const auto buttons = card.findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 2);
    for (const QPushButton* button : buttons)
      EXPECT_EQ(button->isVisibleTo(&card), !secure) << button->text().toStdString();
    // Without the desktop's accessibility Clicking and Scrolling cannot read other applications.
    if (tap && !accessibility && !secure && !assumed) {
      EXPECT_FALSE(allowed);
    }
  }
}

TEST_F(AboutPageTest, TheAccessButtonsAskTheDesktopAndCheckAgain) {
  enter(State::needsAccess);
  model->navigation().recheckReadiness();
  int asked = 0;
  const std::string refusal = "The desktop did not switch accessibility on.";
  auto page = make([&]() -> std::optional<std::string> {
    ++asked;
    return refusal;
  });
  auto sentenceShown = [&] {
    for (QLabel* label : page->findChildren<QLabel*>(QStringLiteral("openProblem")))
      if (label->isVisibleTo(page.get())) return label->text().toStdString() == refusal;
    return false;
  };
  page->openButton()->click();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(sentenceShown());

  // The desktop lets the tap in and accessibility is on now: Check Again finds access and the
  // buttons go.
  desktop.events.refuseTap = false;
  desktop.access.trusted = true;
  page->checkButton()->click();
  EXPECT_TRUE(page->accessLine()->ok());
  EXPECT_FALSE(sentenceShown());
  EXPECT_FALSE(page->openButton()->isVisibleTo(page.get()));
}

TEST_F(AboutPageTest, CopyPutsAFreshReportOnTheClipboard) {
  enter(State::ready);
  model->navigation().recheckReadiness();
  auto page = make();
  QPushButton& copy = *page->copyButton();
  EXPECT_EQ(copy.text(), QStringLiteral("Copy Diagnostic Report"));
  copy.click();
  const QString first = QGuiApplication::clipboard()->text();
  EXPECT_EQ(first.toStdString(), diagnosticReport(reportFacts(*model), [](double date) {
              return timeOfDay(date, QLocale::system());
            }));
  EXPECT_TRUE(first.contains(QStringLiteral("Mode: off, profile: ")));
  EXPECT_EQ(copy.text(), QStringLiteral("Copied"));

  model->navigation().setMode(InteractionMode::cursor);
  copy.click();
  EXPECT_TRUE(QGuiApplication::clipboard()->text().contains(QStringLiteral("Mode: cursor,")));
  // A page made anew has not copied yet.
  EXPECT_EQ(make()->copyButton()->text(), QStringLiteral("Copy Diagnostic Report"));
  model->navigation().stopNavigation();
}

TEST_F(AboutPageTest, Pictures) {
  for (auto [name, state] : {std::pair{"about", State::ready},
                             {"about-needs-access", State::needsAccess},
                             {"about-secure-input", State::secureNamed}}) {
    enter(state);
    model->navigation().recheckReadiness();
    shootInEveryLook(name, [this] { return std::unique_ptr<QWidget>(make()); });
  }
}

}  // namespace
}  // namespace tovrel::settings
