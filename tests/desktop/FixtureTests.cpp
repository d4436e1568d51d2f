// The fixture application as the self-test uses it: started with a state file, driven with real
// input and session-bus notifications, and read back only through that file.
#include <X11/keysym.h>

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "tests/desktop/DesktopHarness.hpp"
#include "tests/desktop/FixtureHarness.hpp"
#include "tests/desktop/QtTestApp.hpp"

namespace tovrel::desktoptest {
namespace {

bool intersects(const Rect& a, const Rect& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

bool contains(const Rect& outer, const Rect& inner) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

double padCount(const QJsonObject& state, const char* name) {
  return state.value("pad").toObject().value(name).toDouble(-1);
}

class FixtureTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    qtApp();  // the session bus connection wants an application object
  }

  std::unique_ptr<FixtureApp> start(bool canvas = false) {
    std::string error;
    auto app = FixtureApp::start({canvas, canvas ? "canvas-state.json" : "fixture-state.json", {}},
                                 &error);
    if (app == nullptr) ADD_FAILURE() << error;
    return app;
  }

  WindowId window(const FixtureApp& app, const char* title) {
    const auto found = desktop().waitForWindow(title, app.pid());
    EXPECT_TRUE(found.has_value()) << "no window \"" << title << "\"";
    return found.value_or(0);
  }

  // Waits until the state member `name` (an integer) reaches `value`.
  static bool reaches(const FixtureApp& app, const char* name, double value) {
    return app.waitFor([&](const QJsonObject& s) { return s.value(name).toDouble() == value; });
  }
};

TEST_F(FixtureTest, StartsActivatedWithItsFramesInsideItsWindowAndQuitsOnTerm) {
  const auto started = std::chrono::steady_clock::now();
  auto app = start();
  ASSERT_NE(app, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "frames came too late";
  const WindowId id = window(*app, "Tovrel Fixture");
  ASSERT_NE(id, 0U);
  const auto outer = desktop().windowRect(id);
  const auto screen = desktop().windowRect(desktop().root());
  ASSERT_TRUE(outer && screen);
  EXPECT_TRUE(contains(*screen, *outer));

  for (const char* name : {"typing", "pad", "scroll", "increment", "moving", "name"}) {
    const auto frame = app->frame(name);
    ASSERT_TRUE(frame.has_value()) << name;
    EXPECT_GT(frame->width, 0) << name;
    EXPECT_TRUE(contains(*outer, *frame)) << name << " lies outside the window";
  }
  EXPECT_GE(app->frame("pad")->width, 320);
  EXPECT_GE(app->frame("pad")->height, 220);
  const QJsonObject state = app->state();
  for (const char* member : {"counter", "second", "moving", "scrollY"})
    EXPECT_EQ(state.value(member).toDouble(-1), 0) << member;
  for (const char* counter :
       {"leftDown", "rightDown", "otherDown", "leftUp", "maxClickCount", "dragDistance"})
    EXPECT_EQ(padCount(state, counter), 0) << counter;
  EXPECT_EQ(state.value("typing"), QJsonValue(QString()));
  EXPECT_EQ(state.value("name"), QJsonValue(QString()));

  // It activated itself: nobody else gave it the focus.
  EXPECT_TRUE(pumpUntil([&] { return desktop().hasFocus(id); }, 5s));

  const int status = app->stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

TEST_F(FixtureTest, ClicksAndTypingReachTheButtonsAndFields) {
  auto app = start();
  ASSERT_NE(app, nullptr);
  const Rect increment = *app->frame("increment");
  desktop().hardwareClick(increment.centerX(), increment.centerY());
  EXPECT_TRUE(reaches(*app, "counter", 1));

  const Rect typing = *app->frame("typing");
  desktop().hardwareClick(typing.centerX(), typing.centerY());
  desktop().hardwareType("Hello, World");
  EXPECT_TRUE(app->waitFor([](const QJsonObject& s) { return s["typing"] == "Hello, World"; }))
      << QJsonDocument(app->state()).toJson().toStdString();

  // Super+Right takes the caret to the end, as the self-test's "end of field" chord expects.
  const Rect name = *app->frame("name");
  desktop().hardwareClick(name.centerX(), name.centerY());
  desktop().hardwareType("ab");
  desktop().hardwareTap(XK_Home);
  desktop().hardwareChord({XK_Super_L, XK_Right});
  desktop().hardwareType("c");
  EXPECT_TRUE(app->waitFor([](const QJsonObject& s) { return s["name"] == "abc"; }))
      << app->state()["name"].toString().toStdString();
  EXPECT_EQ(app->number("counter"), 1);
  EXPECT_EQ(app->state()["typing"], "Hello, World");
}

TEST_F(FixtureTest, PadCountsEveryPressItsOwnClickRunsAndDragDistance) {
  auto app = start();
  ASSERT_NE(app, nullptr);
  const Rect pad = *app->frame("pad");
  const int x = pad.centerX();
  const int y = pad.centerY();
  const auto settled = [&](double leftDown, double leftUp, double maxClickCount) {
    return app->waitFor([&](const QJsonObject& s) {
      return padCount(s, "leftDown") == leftDown && padCount(s, "leftUp") == leftUp &&
             padCount(s, "maxClickCount") == maxClickCount;
    });
  };

  desktop().hardwareClick(x, y);
  EXPECT_TRUE(settled(1, 1, 1));
  desktop().hardwareClick(x, y, 3);
  desktop().hardwareClick(x, y, 2);
  desktop().xtestButton(8, true);  // back: Xvfb's own mouse stops at button 3
  desktop().xtestButton(8, false);
  EXPECT_TRUE(app->waitFor([](const QJsonObject& s) {
    return padCount(s, "rightDown") == 1 && padCount(s, "otherDown") == 2;
  })) << QJsonDocument(app->state()).toJson().toStdString();

  // Quick presses 30 px apart are no run; three at one spot are, counted press by press even
  // though Qt reports the second as a double click.
  desktop().hardwareClick(x - 15, y);
  desktop().hardwareClick(x + 15, y);
  EXPECT_TRUE(settled(3, 3, 1));
  desktop().hardwareMove(x, y);
  for (int i = 0; i < 3; ++i) {
    desktop().hardwareButton(1, true);
    desktop().hardwareButton(1, false);
  }
  EXPECT_TRUE(settled(6, 6, 3));

  desktop().hardwareMove(x - 100, y);
  desktop().hardwareButton(1, true);
  for (int step = 1; step <= 10; ++step)
    desktop().hardwareMove(x - 100 + 10 * step, y + (step == 5 ? 6 : 0));
  desktop().hardwareButton(1, false);
  EXPECT_TRUE(settled(7, 7, 3));
  // 100 px along, plus a 6 px detour out and back.
  EXPECT_NEAR(padCount(app->state(), "dragDistance"), 100 + 2 * (std::hypot(10, 6) - 10), 0.5);
  EXPECT_EQ(padCount(app->state(), "rightDown"), 1);
}

TEST_F(FixtureTest, WheelStepsScrollTheScrollArea) {
  auto app = start();
  ASSERT_NE(app, nullptr);
  const Rect scroll = *app->frame("scroll");
  desktop().hardwareMove(scroll.centerX(), scroll.centerY());
  // On a busy machine the first steps can reach the window before it has taken in where the
  // pointer is, and others only long after they were sent: pairs of steps go on until the area
  // has scrolled.
  bool scrolled = false;
  for (int i = 0; i < 10 && !scrolled; ++i) {
    for (int step = 0; step < 2; ++step) {
      desktop().xtestButton(5, true);
      desktop().xtestButton(5, false);
    }
    scrolled =
        app->waitFor([](const QJsonObject& s) { return s["scrollY"].toDouble() > 0; }, 1000ms);
  }
  ASSERT_TRUE(scrolled);
  // Late steps down settle first; the step up comes after all of them, so the area falls back
  // from the furthest it went.
  double last = -1;
  auto quietSince = std::chrono::steady_clock::now();
  pumpUntil(
      [&] {
        const double y = app->state()["scrollY"].toDouble();
        if (y != last) {
          last = y;
          quietSince = std::chrono::steady_clock::now();
        }
        return std::chrono::steady_clock::now() - quietSince > 300ms;
      },
      5s);
  desktop().xtestButton(4, true);
  desktop().xtestButton(4, false);
  double furthest = last;
  EXPECT_TRUE(app->waitFor([&](const QJsonObject& s) {
    const double y = s["scrollY"].toDouble();
    furthest = std::max(furthest, y);
    return y > 0 && y < furthest;
  }));
}

TEST_F(FixtureTest, NotificationsMoveRemoveAndRestoreTheMovingTarget) {
  auto app = start();
  ASSERT_NE(app, nullptr);
  const Rect window = *desktop().windowRect(this->window(*app, "Tovrel Fixture"));
  const Rect home = *app->frame("moving");
  const auto movedFrom = [&](const Rect& from) {
    EXPECT_TRUE(app->waitFor([&](const QJsonObject&) {
      const auto now = app->frame("moving");
      return now && (now->x != from.x || now->y != from.y);
    }));
    const Rect now = app->frame("moving").value_or(from);
    EXPECT_GE(std::max(std::abs(now.x - from.x), std::abs(now.y - from.y)), 40);
    EXPECT_TRUE(contains(window, now));
    return now;
  };
  const auto atHome = [&] {
    return app->waitFor([&](const QJsonObject&) {
      const auto now = app->frame("moving");
      return now && now->x == home.x && now->y == home.y && now->width == home.width;
    });
  };

  ASSERT_TRUE(FixtureApp::signal("move"));
  const Rect away = movedFrom(home);
  desktop().hardwareClick(away.centerX(), away.centerY());
  EXPECT_TRUE(reaches(*app, "moving", 1));
  ASSERT_TRUE(FixtureApp::signal("move"));
  movedFrom(away);  // each move goes somewhere new
  ASSERT_TRUE(FixtureApp::signal("restore"));
  EXPECT_TRUE(atHome());

  ASSERT_TRUE(FixtureApp::signal("remove"));
  EXPECT_TRUE(app->waitFor(
      [](const QJsonObject& s) { return !s["frames"].toObject().contains("moving"); }));
  // Gone, not hidden: a click where it stood presses nothing. The increment click after it marks
  // when the first one has been handled.
  desktop().hardwareClick(home.centerX(), home.centerY());
  const Rect increment = *app->frame("increment");
  desktop().hardwareClick(increment.centerX(), increment.centerY());
  EXPECT_TRUE(reaches(*app, "counter", 1));
  EXPECT_EQ(app->number("moving"), 1);

  // Moving what is gone does nothing; restoring brings it back, pressable, with its count kept.
  ASSERT_TRUE(FixtureApp::signal("move"));
  ASSERT_TRUE(FixtureApp::signal("restore"));
  EXPECT_TRUE(atHome());
  desktop().hardwareClick(home.centerX(), home.centerY());
  EXPECT_TRUE(reaches(*app, "moving", 2));
}

TEST_F(FixtureTest, TheStateFileIsCompleteJsonAtEveryRead) {
  auto app = start();
  ASSERT_NE(app, nullptr);
  const Rect typing = *app->frame("typing");
  const Rect pad = *app->frame("pad");
  desktop().hardwareClick(typing.centerX(), typing.centerY());

  const std::string text = "the quick brown fox jumps over the lazy dog";
  std::atomic<bool> done = false;
  std::thread driver([&] {
    auto other = Desktop::open();
    if (other) {
      other->hardwareType(text);
      other->hardwareMove(pad.x + 20, pad.y + 20);
      other->hardwareButton(1, true);
      for (int step = 1; step <= 30; ++step)
        other->hardwareMove(pad.x + 20 + 5 * step, pad.y + 20 + 3 * step);
      other->hardwareButton(1, false);
    }
    done = true;
  });

  QFile file(QString::fromStdString(app->statePath()));
  int reads = 0;
  int broken = 0;
  QSet<QByteArray> seen;
  while (!done || reads < 3000) {
    ++reads;
    if (!file.open(QIODevice::ReadOnly)) {
      ++broken;
      continue;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        document.object()["frames"].toObject().isEmpty()) {
      ++broken;
    }
    seen.insert(bytes);
  }
  driver.join();
  EXPECT_EQ(broken, 0) << "of " << reads << " reads";
  // The reads watched the file change, many times over.
  EXPECT_GT(seen.size(), 20);
  EXPECT_TRUE(app->waitFor([&](const QJsonObject& s) {
    return s["typing"].toString().toStdString() == text && padCount(s, "leftUp") == 1;
  }));
}

TEST_F(FixtureTest, TheCanvasStandsBesideTheMainWindowAndTakesTheFocus) {
  auto main = start();
  ASSERT_NE(main, nullptr);
  const WindowId mainId = window(*main, "Tovrel Fixture");
  ASSERT_TRUE(desktop().focus(mainId));

  auto canvas = start(true);
  ASSERT_NE(canvas, nullptr);
  const WindowId canvasId = window(*canvas, "Tovrel Fixture Canvas");
  ASSERT_NE(canvasId, 0U);
  const auto frames = canvas->state()["frames"].toObject();
  EXPECT_EQ(frames.keys(), QStringList{"canvas"});
  const Rect drawing = *canvas->frame("canvas");
  const Rect canvasRect = *desktop().windowRect(canvasId);
  EXPECT_EQ(drawing.x, canvasRect.x);
  EXPECT_EQ(drawing.y, canvasRect.y);
  EXPECT_EQ(drawing.width, canvasRect.width);
  EXPECT_EQ(drawing.height, canvasRect.height);
  // Clear of the main window by more than a window manager's border, once the manager has placed
  // both (on a loaded machine it may not have yet when the canvas reports its frame).
  Rect mainRect{};
  const bool clear = pumpUntil(
      [&] {
        mainRect = *desktop().windowRect(mainId);
        return !intersects(
            {mainRect.x - 10, mainRect.y - 30, mainRect.width + 20, mainRect.height + 40},
            *desktop().windowRect(canvasId));
      },
      5s);
  EXPECT_TRUE(clear) << "main window at " << mainRect.x << "," << mainRect.y << " "
                     << mainRect.width << "x" << mainRect.height << ", canvas at " << canvasRect.x
                     << "," << canvasRect.y;
  EXPECT_TRUE(contains(*desktop().windowRect(desktop().root()), canvasRect));

  EXPECT_TRUE(pumpUntil([&] { return desktop().hasFocus(canvasId); }, 5s));
}

}  // namespace
}  // namespace tovrel::desktoptest
