#include <gtest/gtest.h>

#include <unistd.h>
#include <QAccessible>
#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <random>
#include <string>

#include "platform/atspi/QtSelfAccessibility.hpp"
#include "platform/x11/overlay/QtOverlayDrawing.hpp"
#include "platform/x11/overlay/QtOverlayPanel.hpp"
#include "platform/x11/overlay/QtOverlayServices.hpp"
#include "tests/x11/OffscreenApp.hpp"

namespace tovrel::platform::x11 {
namespace {

class QtOverlay : public testing::Test {
 protected:
  void SetUp() override {
    if (!offscreenWidgetApp()) GTEST_SKIP() << "another test made an application without widgets";
  }
};

// --- The label chips, drawn over a known background and compared pixel by pixel ---

const QColor background(40, 80, 120);

QImage render(const HintCanvasContent& content) {
  QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
  image.fill(background);
  QPainter painter(&image);
  painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  overlay::hintCanvasDrawing(content, QSizeF(200, 100)).paint(painter);
  return image;
}

int luminance(QRgb pixel) {
  return qGray(pixel);
}

int distance(const QColor& a, const QColor& b) {
  return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                   std::abs(a.blue() - b.blue())});
}

// Canvas coordinates (y up). "ab": tail up to (40, 60) from its top edge at 56. "cd": selected,
// tail down to (120, 36) from its bottom edge at 40. In the image "ab" spans rows 44..60.
HintCanvasContent sampleCanvas(double opacity = 1) {
  HintCanvasContent content;
  content.fontSize = 10.5;
  content.opacity = opacity;
  content.chips = {{"ab", 0, {20, 40, 40, 16}, {40, 60}, false, false, true},
                   {"cd", 0, {100, 40, 40, 16}, {120, 36}, true, false, false}};
  content.highlight = Rect{150, 10, 30, 20};  // rows 70..90 in the image
  return content;
}

TEST_F(QtOverlay, ChipsAreFilledTopToBottomOutlinedAndTailed) {
  const QImage image = render(sampleCanvas());
  // The gradient spans the chip with its tail, rows 40..60: light at the top, deeper below.
  EXPECT_LT(distance(image.pixelColor(24, 46), QColor(252, 243, 158)), 6);
  EXPECT_LT(distance(image.pixelColor(24, 57), QColor(251, 231, 116)), 6);
  // The thin outline darkens the edge; the selected chip's 2 px border is black.
  EXPECT_LT(luminance(image.pixel(20, 52)), luminance(image.pixel(24, 52)) - 40);
  EXPECT_GT(luminance(image.pixel(20, 52)), 40);
  EXPECT_LT(luminance(image.pixel(99, 52)), 12);
  EXPECT_LT(luminance(image.pixel(100, 52)), 12);
  // Tails only where they point.
  EXPECT_NE(image.pixelColor(40, 42), background);
  EXPECT_EQ(image.pixelColor(40, 63), background);
  EXPECT_NE(image.pixelColor(120, 62), background);
  EXPECT_EQ(image.pixelColor(120, 41), background);
  // The ring: grown by 2 and stroked 2.5 px wide, hollow.
  EXPECT_LT(distance(image.pixelColor(148, 80), QColor(0x0A, 0x84, 0xFF)), 5);
  for (const auto& [x, y] : {std::pair{165, 80}, {5, 5}, {80, 90}, {70, 30}, {195, 50}})
    EXPECT_EQ(image.pixelColor(x, y), background) << x << "," << y;

  // A faint fill lets the background through; the border stays as dark.
  const QImage faint = render(sampleCanvas(0.6));
  EXPECT_LT(faint.pixelColor(24, 57).red(), image.pixelColor(24, 57).red() - 40);
  EXPECT_LT(luminance(faint.pixel(99, 52)), 12);
}

// A chip is drawn once and copied afterwards: only to where it looks the same, whole pixels away.
TEST_F(QtOverlay, ChipsAreCopiedOnlyWhereTheyLookTheSame) {
  auto canvasAt = [](double x, int typed, bool selected) {
    HintCanvasContent content;
    content.chips = {{"ab", typed, {x, 40, 40, 16}, {x + 20, 60}, selected, false, true}};
    return render(content);
  };
  const QImage first = canvasAt(20, 0, false);
  EXPECT_EQ(canvasAt(33, 0, false).copy(13, 0, 187, 100), first.copy(0, 0, 187, 100));
  // Half a pixel on, typed or selected: drawn afresh, so not the same pixels.
  for (const QImage& other :
       {canvasAt(20.5, 0, false), canvasAt(20, 1, false), canvasAt(20, 0, true)})
    EXPECT_NE(other, first);
}

TEST_F(QtOverlay, TypedLettersAreFaded) {
  HintCanvasContent content;
  content.fontSize = 13.65;
  content.chips = {{"mm", 1, {60, 30, 60, 22}, {90, 55}}};
  const QImage image = render(content);
  const double width = overlay::chipLabel("mm", 1, content.fontSize).size.width();
  const int left = static_cast<int>(std::round(90 - width / 2));
  auto darkest = [&](int from, int to) {
    int least = 255;
    for (int x = from; x < to; ++x)
      for (int y = 50; y < 68; ++y)
        least = std::min(least, luminance(image.pixel(x, y)));
    return least;
  };
  const int half = static_cast<int>(width / 2);
  EXPECT_LT(darkest(left + half, left + 2 * half), 60);
  EXPECT_GT(darkest(left, left + half), darkest(left + half, left + 2 * half) + 80);
}

TEST_F(QtOverlay, LabelWidthsAndTheSampleImage) {
  QtOverlayServices services;
  const double ab = services.labelWidth("ab", 10.5);
  EXPECT_DOUBLE_EQ(ab, services.labelWidth("AB", 10.5));
  EXPECT_GT(services.labelWidth("abc", 10.5), ab);
  // Fractional sizes stay fractional: 10.45 and 9.975 pixels are not both 10.
  EXPECT_NEAR(services.labelWidth("ab", 11) / ab, 11 / 10.5, 0.01);

  HintCanvasContent canvas;
  std::vector<Rect> blocks;
  for (int i = 0; i < 3; ++i) {
    const double x = 32 + 34.0 * i;
    const double w = std::max(17.0, std::round(8.5 + services.labelWidth("as", 10.5)));
    canvas.chips.push_back({"as", 0, {std::round(x - w / 2), 21, w, 15.5}, {x, 40}});
    blocks.push_back({x - 10, 37, 20, 16});
  }
  QImage image;
  const auto png = services.renderLabelSample(142, 60, blocks, canvas);
  ASSERT_TRUE(png && image.loadFromData(png->data(), static_cast<int>(png->size()), "PNG"));
  EXPECT_EQ(image.size(), QSize(284, 120));
  EXPECT_LE(distance(image.pixelColor(1, 1), QColor(245, 245, 245)), 1);
  // The first block beside its chip's tail (rows 7..23 in points), then inside the chip.
  EXPECT_LE(distance(image.pixelColor(2 * 23, 2 * 10), QColor(179, 179, 179)), 1);
  const QColor chip = image.pixelColor(2 * 22, 2 * 31);
  EXPECT_GT(chip.red(), 200);
  EXPECT_LT(chip.blue(), chip.red() - 60);
  const auto empty = services.renderLabelSample(40, 60, {}, {});
  ASSERT_TRUE(empty && image.loadFromData(empty->data(), static_cast<int>(empty->size()), "PNG"));
  EXPECT_EQ(image.size(), QSize(80, 120));
}

// The window's shape of a canvas is built from rectangles, not from the chips' outlines: it must
// still hold everything drawn, and little else.
TEST_F(QtOverlay, CanvasShapeHoldsWhatIsDrawnAndLittleElse) {
  std::mt19937 random(7);
  auto uniform = [&](double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(random);
  };
  const QSize size(320, 200);
  for (int round = 0; round < 24; ++round) {
    HintCanvasContent content;
    content.fontSize = round % 3 == 0 ? 13.65 : 10.5;
    const double s = content.fontSize / 10.5;
    for (int i = 0; i < 6; ++i) {
      const double width = std::round(uniform(17, 40) * s);
      const Rect body{uniform(10, 260), uniform(20, 160), width, 15.5 * s};
      const bool up = random() % 2 == 0;
      // Straight above or below, or shifted sideways as the layout does to avoid a neighbour.
      const double x = body.x + width / 2 + (random() % 3 == 0 ? uniform(-120, 120) : 0);
      const Point anchor{x, up ? body.y + body.height + 3.5 * s : body.y - 3.5 * s};
      content.chips.push_back({"ab", 0, body, anchor, random() % 4 == 0, random() % 5 == 0, up});
    }
    if (round % 2 == 0)
      content.highlight = Rect{uniform(0, 250), uniform(0, 150), uniform(1, 70), uniform(1, 50)};

    const overlay::Drawing drawing = overlay::hintCanvasDrawing(content, QSizeF(size));
    QImage shape(size, QImage::Format_Grayscale8);
    shape.fill(0);
    {
      QPainter painter(&shape);
      for (const QRect& rect : drawing.region(size))
        painter.fillRect(rect, Qt::white);
    }
    QImage drawn(size, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    {
      QPainter painter(&drawn);
      painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
      drawing.paint(painter);
    }
    auto inShape = [&](int x, int y) { return qGray(shape.pixel(x, y)) > 0; };
    auto nearDrawn = [&](int x, int y) {
      for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
          if (drawn.rect().contains(x + dx, y + dy) && qAlpha(drawn.pixel(x + dx, y + dy)) > 0)
            return true;
      return false;
    };
    int missing = 0;
    int astray = 0;
    for (int y = 0; y < size.height(); ++y)
      for (int x = 0; x < size.width(); ++x) {
        // Antialiased fringes fainter than an eighth may fall outside, as they always did.
        if (qAlpha(drawn.pixel(x, y)) >= 32 && !inShape(x, y)) ++missing;
        if (inShape(x, y) && !nearDrawn(x, y)) ++astray;
      }
    EXPECT_EQ(missing, 0) << "round " << round;
    EXPECT_EQ(astray, 0) << "round " << round;
  }
}

TEST_F(QtOverlay, RegionOfManyRectanglesIsTheirUnion) {
  std::mt19937 random(11);
  auto between = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int round = 0; round < 30; ++round) {
    std::vector<QRect> rects;
    QRegion united;
    const int count = between(0, 60);
    for (int i = 0; i < count; ++i) {
      // Small and large, touching and overlapping, some empty.
      const QRect rect(between(-5, 90), between(-5, 90), between(0, 30), between(0, 12));
      rects.push_back(rect);
      united += rect;
    }
    const QRegion swept = overlay::regionOf(rects);
    EXPECT_TRUE((swept ^ united).isEmpty()) << "round " << round;
    EXPECT_EQ(swept.boundingRect(), united.boundingRect());
    // Bands abut neither sideways nor, with the same spans, from above.
    EXPECT_LE(swept.rectCount(), united.rectCount());
  }
}

// --- The hosted views' sizes ---

OverlaySize fitting(const OverlayContent& content) {
  return overlay::naturalSize(content).value_or(OverlaySize{-1, -1});
}

TEST_F(QtOverlay, BadgeGrowsWithItsScaleExceptTheGapsBetweenItsParts) {
  for (const std::optional<std::string>& detail :
       {std::optional<std::string>(), std::optional<std::string>("Dragging · Slow")}) {
    const double gaps = detail ? 12 : 6;
    BadgeContent badge{"Moving", detail};
    const OverlaySize normal = fitting(badge);
    badge.scale = 1.5;
    const OverlaySize large = fitting(badge);
    // Whole pixels on both sides: a pixel of slack for each rounding.
    EXPECT_NEAR(large.height, normal.height * 1.5, 2);
    EXPECT_NEAR(large.width - gaps, (normal.width - gaps) * 1.5, 3);
  }
}

TEST_F(QtOverlay, HeadUpDisplayIs440WideAndGrowsOnlyWithWhatWraps) {
  const OverlaySize base = fitting(HudContent{});
  EXPECT_EQ(base.width, 440);
  HudContent hud;
  hud.app = std::string(300, 'W');  // one line, cut short
  hud.action = "Right click";
  EXPECT_EQ(fitting(hud), base);
  hud.message = "Short.";
  const double oneLine = fitting(hud).height;
  EXPECT_GT(oneLine, base.height + 6);
  std::string words;
  for (int i = 0; i < 60; ++i)
    words += "message ";
  hud.message = words;
  EXPECT_GT(fitting(hud).height, oneLine + 20);
  EXPECT_EQ(fitting(hud).width, 440);

  HudContent search;
  search.query = "";
  const double placeholder = fitting(search).height;
  EXPECT_GT(placeholder, base.height + 6 + 14);
  search.query = "save";
  EXPECT_EQ(fitting(search).height, placeholder);
}

TEST_F(QtOverlay, HelpGrowsByAColumnPerGroupAndALinePerRow) {
  HelpContent help{{}, "Escape"};
  const OverlaySize empty = fitting(help);
  help.rows = {{"Move", {{"Up", "K"}, {"Down", "J"}}},
               {"Click", {{"Left", "Space"}}},
               {"Scroll", {{"Down", "D"}}},
               {"Drag", {{"Hold", "V"}}}};
  const OverlaySize four = fitting(help);
  EXPECT_GT(four.height, empty.height + 12);
  // Each column holds at least the 110-point action box, its gap and its keys.
  EXPECT_GT(four.width, 4 * 118 + 3 * 24 + 36);
  help.rows[0].rows.push_back({"Left", "J"});
  EXPECT_GT(fitting(help).height, four.height + 10);
  EXPECT_EQ(fitting(help).width, four.width);
}

// --- The panel window ---

struct Panel {
  explicit Panel(Rect frame, OverlayContent content, bool compositing = false)
      : panel(frame, [compositing] { return compositing; }) {
    panel.setContent(std::move(content));
    panel.orderFront();
  }
  QtOverlayPanel panel;
  bool has(int x, int y) { return panel.window().mask().contains(QPoint(x, y)); }
};

TEST_F(QtOverlay, WithoutACompositorOnlyTheDrawnPartsExist) {
  const OverlaySize size = fitting(BadgeContent{});
  Panel badge({100, 50, size.width, size.height}, BadgeContent{});
  ASSERT_TRUE(badge.panel.window().isVisible());
  EXPECT_TRUE(badge.has(static_cast<int>(size.width / 2), 2));
  EXPECT_FALSE(badge.has(0, 0));
  EXPECT_FALSE(badge.has(static_cast<int>(size.width) - 1, 0));

  Panel canvas({0, 0, 200, 100}, sampleCanvas());
  // Inside "ab", its tail, the selected chip's border, the ring; not inside the ring.
  for (const auto& [x, y] : {std::pair{30, 50}, {40, 42}, {99, 52}, {148, 80}})
    EXPECT_TRUE(canvas.has(x, y)) << x << "," << y;
  EXPECT_FALSE(canvas.has(165, 80));
  EXPECT_FALSE(canvas.has(70, 30));
  // Nothing drawn: the window stays unmapped, though the panel counts as shown.
  canvas.panel.setContent(HintCanvasContent{});
  EXPECT_TRUE(canvas.panel.isVisible());
  EXPECT_FALSE(canvas.panel.window().isVisible());

  Panel outline({0, 0, 300, 200}, OutlineContent{3, false});
  EXPECT_TRUE(outline.has(19, 19));
  EXPECT_FALSE(outline.has(1, 100));
  outline.panel.setContent(OutlineContent{3, true});
  EXPECT_TRUE(outline.has(1, 100));
  EXPECT_FALSE(outline.has(150, 100));

  Panel composited({0, 0, 200, 100}, sampleCanvas(), true);
  EXPECT_TRUE(composited.panel.window().mask().isEmpty());
  EXPECT_TRUE(composited.panel.window().isVisible());
}

TEST_F(QtOverlay, PanelIsAFloatingWindowOutsideTheAccessibilityTree) {
  QtOverlayServices services;
  QAccessibleInterface* application = QAccessible::queryAccessibleInterface(qApp);
  ASSERT_NE(application, nullptr);
  const int windowsBefore = application->childCount();
  // What our own discovery lists of this process.
  auto selfWindows = [] {
    const auto value = atspi::selfApplication(::getpid()).attribute("AXChildren");
    return value.ok() ? std::get<std::vector<AXElement>>(value.value()).size() : 0U;
  };
  const std::size_t listedBefore = selfWindows();
  auto panel = services.createPanel({10.4, 20.6, 100.2, 50.5});
  auto& window = dynamic_cast<QtOverlayPanel&>(*panel).window();
  EXPECT_EQ(window.geometry(), QRect(10, 21, 101, 50));
  EXPECT_EQ(panel->frame(), (Rect{10.4, 20.6, 100.2, 50.5}));
  EXPECT_EQ(panel->fittingSize(), (OverlaySize{100.2, 50.5}));
  const Qt::WindowFlags wanted = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                 Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                                 Qt::NoDropShadowWindowHint | Qt::X11BypassWindowManagerHint;
  EXPECT_EQ(window.flags() & wanted, wanted);

  panel->setContent(ProgressContent{40});
  panel->orderFront();
  EXPECT_TRUE(panel->isVisible() && window.isVisible());
  EXPECT_EQ(window.accessibleRoot(), nullptr);
  EXPECT_EQ(application->childCount(), windowsBefore);
  EXPECT_EQ(selfWindows(), listedBefore);
  panel->orderOut();
  EXPECT_FALSE(panel->isVisible() || window.isVisible());

  const QRect primary = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(services.screens().at(0).frame, (Rect{0, 0, static_cast<double>(primary.width()),
                                                  static_cast<double>(primary.height())}));
}

TEST_F(QtOverlay, StoppedFadesNeverComplete) {
  Panel fading({0, 0, 8, 8}, DotContent{});
  int quick = 0;
  fading.panel.animateAlpha(0.25, 0, [&] { ++quick; });
  EXPECT_EQ(quick, 1);
  EXPECT_DOUBLE_EQ(fading.panel.alpha(), 0.25);

  // Each way of stopping a fade. A fade of the same length started after it finishing shows the
  // first would have finished by then.
  const std::vector<std::function<void(OverlayPanel&)>> stops = {
      [](OverlayPanel& p) { p.setAlpha(0.5); },
      [](OverlayPanel& p) { p.orderOut(); },
      [](OverlayPanel& p) { p.animateAlpha(0.5, 0.02, {}); },
  };
  for (std::size_t i = 0; i < stops.size(); ++i) {
    Panel stopped({0, 0, 8, 8}, DotContent{});
    Panel witness({0, 0, 8, 8}, DotContent{});
    bool stoppedDone = false;
    bool witnessDone = false;
    stopped.panel.animateAlpha(0, 0.02, [&] { stoppedDone = true; });
    witness.panel.animateAlpha(0, 0.02, [&] { witnessDone = true; });
    stops[i](stopped.panel);
    for (QDeadlineTimer limit(10000); !witnessDone && !limit.hasExpired();)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_TRUE(witnessDone);
    EXPECT_FALSE(stoppedDone) << i;
    EXPECT_DOUBLE_EQ(witness.panel.alpha(), 0);
  }
}

TEST_F(QtOverlay, ReduceMotionFollowsTheEnvironment) {
  const QByteArray saved = qgetenv("TOVREL_REDUCE_MOTION");
  const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
  qputenv("TOVREL_REDUCE_MOTION", "1");
  EXPECT_TRUE(QtOverlayServices().reduceMotion());
  // Without a desktop to ask, motion stays.
  qputenv("TOVREL_REDUCE_MOTION", "0");
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  EXPECT_FALSE(QtOverlayServices().reduceMotion());
  for (const auto& [name, value] :
       {std::pair{"DBUS_SESSION_BUS_ADDRESS", bus}, std::pair{"TOVREL_REDUCE_MOTION", saved}})
    value.isNull() ? qunsetenv(name) : qputenv(name, value);
}

}  // namespace
}  // namespace tovrel::platform::x11
