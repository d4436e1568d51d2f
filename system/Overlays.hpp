#pragma once

// The on-screen feedback of the navigation modes, above the desktop's overlay panels: the model
// the badge, head-up display and help are drawn from, the click labels on every screen, the scan
// progress line, the scroll-mode pointer dot, cursor hiding and the scroll-area outlines. All of
// it runs on the main thread; what each overlay shows and where is decided here, the drawing is
// the desktop's.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ConfigRecords.hpp"
#include "core/HintTarget.hpp"
#include "platform/Clock.hpp"
#include "platform/DisplayServices.hpp"
#include "platform/Overlays.hpp"
#include "platform/Scheduler.hpp"

namespace tovrel {

using platform::Rect;

// ── Coordinates ──
// Overlay geometry is worked out with the origin at the bottom-left of the first screen and y
// upward, the frame the overlays' placement rules are stated in; the conversions below turn it to
// and from the desktop's top-left screen pixels. H0 is the height of the first screen's frame (0
// with no screen).
namespace OverlayCoordinates {
double firstScreenHeight(const std::vector<platform::Screen>& screens);
// (x, H0 − y).
Point toBottomLeft(Point topLeft, double h0);
// (minX, H0 − maxY, width, height); the same formula turns it back.
Rect toBottomLeft(const Rect& topLeft, double h0);
Rect toTopLeft(const Rect& bottomLeft, double h0);
}  // namespace OverlayCoordinates

namespace ScreenSpace {
// The first screen, in list order, whose frame holds the point (left and top edges inside, right
// and bottom edges outside); else the main screen; nothing with no screen.
std::optional<platform::Screen> screen(const std::vector<platform::Screen>& screens, Point global);
std::optional<platform::Screen> screen(platform::OverlayServices& overlays, Point global);
}  // namespace ScreenSpace

// ── The model of the badge, head-up display and help ──
struct HelpEntry {
  std::string group;
  std::vector<platform::HelpRow> rows;
  bool operator==(const HelpEntry&) const = default;
};

// Every setter notifies the observers only when the value changes, except setHelpRows, which
// notifies on every call.
class OverlayModel {
 public:
  const std::string& badgeTitle() const { return badgeTitle_; }
  const std::optional<std::string>& badgeDetail() const { return badgeDetail_; }
  bool badgeDragging() const { return badgeDragging_; }
  double badgeScale() const { return badgeScale_; }
  const std::string& hudTitle() const { return hudTitle_; }
  const std::string& hudApp() const { return hudApp_; }
  const std::string& hudLine() const { return hudLine_; }
  const std::optional<std::string>& hudQuery() const { return hudQuery_; }
  std::int64_t hudCount() const { return hudCount_; }
  const std::optional<std::string>& hudAction() const { return hudAction_; }
  const std::optional<std::string>& hudMessage() const { return hudMessage_; }
  const std::vector<HelpEntry>& helpRows() const { return helpRows_; }
  const std::string& helpExit() const { return helpExit_; }

  void setBadgeTitle(std::string value);
  void setBadgeDetail(std::optional<std::string> value);
  void setBadgeDragging(bool value);
  void setBadgeScale(double value);
  void setHudTitle(std::string value);
  void setHudApp(std::string value);
  void setHudLine(std::string value);
  void setHudQuery(std::optional<std::string> value);
  void setHudCount(std::int64_t value);
  void setHudAction(std::optional<std::string> value);
  void setHudMessage(std::optional<std::string> value);
  void setHelpRows(std::vector<HelpEntry> value);
  void setHelpExit(std::string value);

  // Returns a token for removeObserver.
  std::uint64_t observe(std::function<void()> changed);
  void removeObserver(std::uint64_t token);

 private:
  void notify();

  std::string badgeTitle_ = "Moving";
  std::optional<std::string> badgeDetail_;
  bool badgeDragging_ = false;
  double badgeScale_ = 1.0;
  std::string hudTitle_ = "Clicking";
  std::string hudApp_;
  std::string hudLine_;
  std::optional<std::string> hudQuery_;
  std::int64_t hudCount_ = 0;
  std::optional<std::string> hudAction_;
  std::optional<std::string> hudMessage_;
  std::vector<HelpEntry> helpRows_;
  std::string helpExit_;

  std::map<std::uint64_t, std::function<void()>> observers_;
  std::uint64_t nextToken_ = 1;
};

// What the three hosted views draw: pure functions of the model.
platform::BadgeContent badgeView(const OverlayModel& model);
platform::HudContent clickHUDView(const OverlayModel& model);
platform::HelpContent helpView(const OverlayModel& model);

// A panel hosting one of the three views, re-rendered whenever the model changes.
class HostedOverlay {
 public:
  enum class View { badge, hud, help };

  // Made 10 × 10 at the origin; resized before it shows.
  HostedOverlay(platform::OverlayServices& overlays, OverlayModel& model, View view);
  ~HostedOverlay();
  HostedOverlay(const HostedOverlay&) = delete;
  HostedOverlay& operator=(const HostedOverlay&) = delete;

  platform::OverlaySize fittingSize();
  // Sets the frame (global top-left) and shows the panel when it is not visible yet.
  void place(Point topLeft);
  void orderOut();
  bool isVisible() const;

  View view;
  std::unique_ptr<platform::OverlayPanel> panel;
  int renders = 0;  // times the view was drawn from the model

 private:
  void render();
  OverlayModel& model_;
  std::uint64_t token_ = 0;
};

// ── Click labels ──
class HintOverlay {
 public:
  struct Item {
    std::string label;
    int typed = 0;
    HintTarget::Frame frame;  // global top-left
    bool selected = false;
    bool operator==(const Item&) const = default;
  };

  HintOverlay(platform::OverlayServices& overlays, platform::DisplayServices& displays);

  // Label font size by the configured size: 8.925, 10.5, 13.65.
  static double fontSize(AppearanceSettings::Size size);

  // Lays out and shows the labels on every screen; `highlight` in global top-left points.
  void render(const std::vector<Item>& items, std::optional<Rect> highlight,
              const AppearanceSettings& appearance);
  // Orders every panel out; they stay for the next labels on the same screens.
  void clear();
  // Exactly one panel per current screen, with the screen's frame.
  void ensurePanels();
  // The chips of one panel; `panelFrame` in global bottom-left coordinates.
  std::vector<platform::HintChip> layout(const std::vector<Item>& items, const Rect& panelFrame,
                                         double fontSize);

  // The same, with everything it reads passed in.
  static std::vector<platform::HintChip> layout(
      const std::vector<Item>& items, const Rect& panelFrame, double fontSize, double h0,
      const std::vector<Rect>& displays,
      const std::function<double(const std::string&, double)>& labelWidth);

  std::vector<std::unique_ptr<platform::OverlayPanel>> panels;  // screen order
  std::vector<Rect> panelFrames;                                // global top-left, parallel

 private:
  platform::OverlayServices& overlays_;
  platform::DisplayServices& displays_;
};

namespace LabelSample {
// A row of chips as a PNG, for previewing the label style; nothing when it cannot be made.
std::optional<std::vector<std::uint8_t>> png(platform::OverlayServices& overlays,
                                             const std::vector<std::string>& labels);
}  // namespace LabelSample

// ── The scan progress line ──
class ScanProgressBar {
 public:
  static constexpr double height = 3;

  ScanProgressBar(platform::OverlayServices& overlays, platform::Scheduler& scheduler,
                  const platform::Clock& clock);
  ~ScanProgressBar();
  ScanProgressBar(const ScanProgressBar&) = delete;
  ScanProgressBar& operator=(const ScanProgressBar&) = delete;

  // The share of the track filled `elapsed` seconds into a scan with this budget.
  static double progress(double elapsed, double budget);

  void start(const platform::Screen& screen, double budget);
  void finish();
  void hide();

  std::unique_ptr<platform::OverlayPanel> panel;
  std::unique_ptr<platform::Timer> timer;
  double started = 0;  // uptime
  double budget = 0.8;
  double trackWidth = 0;
  double fill = 0;  // the fill's width

 private:
  void setFill(double width);
  platform::OverlayServices& overlays_;
  platform::Scheduler& scheduler_;
  const platform::Clock& clock_;
  // Counts starts and hides, so that a fade that ends after the line was started again (or
  // removed) leaves it alone.
  std::uint64_t run_ = 0;
  std::shared_ptr<ScanProgressBar*> alive_;
};

// ── Cursor visibility ──
namespace PointerVisibility {
// Asks, once per process, that the program may hide the cursor while another application is
// active.
void allowHidingInBackground();
bool requested();
}  // namespace PointerVisibility

// Remembers that the system cursor was hidden for a reason other than the dot.
class PointerHider {
 public:
  explicit PointerHider(platform::DisplayServices& displays) : displays_(displays) {}
  void hide();
  void show();
  bool hidden = false;

 private:
  platform::DisplayServices& displays_;
};

// The scroll-mode stand-in for the cursor; the system cursor is hidden exactly once while shown.
class PointerDot {
 public:
  PointerDot(platform::OverlayServices& overlays, platform::DisplayServices& displays);
  void show(Point global);
  // Orders the panel out and shows the cursor again when the dot hid it.
  void hide();
  bool isVisible() const;

  double size = 8;
  std::unique_ptr<platform::OverlayPanel> panel;  // made on first use
  bool cursorHidden = false;

 private:
  platform::OverlayServices& overlays_;
  platform::DisplayServices& displays_;
};

// ── Scroll-area outlines ──
class ScrollOutline {
 public:
  struct Item {
    Rect rect;  // global top-left
    int number = 0;
    bool active = false;
    bool operator==(const Item&) const = default;
  };

  explicit ScrollOutline(platform::OverlayServices& overlays);

  // The outlines to draw: the first nine areas numbered, less the inactive ones whose badge
  // centre lies in the current area, plus the current area unnumbered when it has no index.
  static std::vector<Item> items(const std::optional<Rect>& current, const std::vector<Rect>& areas,
                                 std::optional<std::size_t> currentIndex);

  void show(const std::optional<Rect>& current, const std::vector<Rect>& areas,
            std::optional<std::size_t> currentIndex, bool fade);
  // Orders every panel out; they stay for reuse.
  void hide();

  std::vector<std::unique_ptr<platform::OverlayPanel>> panels;

 private:
  platform::OverlayServices& overlays_;
};

}  // namespace tovrel
