#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "core/Unicode.hpp"
#include "system/NavigationService.hpp"

// What the badge, the click-mode head-up display, the key help and the click labels show, and
// where. Everything is recomputed from the router and the service on each call.
//
// Placement is worked out in global top-left points. The formulas are the bottom-left ones of the
// overlay coordinates (origin at the first screen's bottom-left, y upward) turned around: there
// the first screen's height cancels out, so the results are the same without it.

namespace tovrel {

namespace {

constexpr std::string_view separator = " · ";
// The badge sits this far right of and below the pointer.
constexpr double badgeOffsetX = 16;
constexpr double badgeOffsetY = 18;
// The badge in the corner and the head-up display keep this far from the visible area's edges.
constexpr double edgeInset = 12;
// The badge never comes closer than this to the edges of its screen.
constexpr double screenMargin = 4;

std::string joined(const std::vector<std::string>& parts, std::string_view with) {
  std::string text;
  for (const auto& part : parts) {
    if (!text.empty()) text += with;
    text += part;
  }
  return text;
}

double midX(const Rect& rect) {
  return rect.x + rect.width * 0.5;
}
double midY(const Rect& rect) {
  return rect.y + rect.height * 0.5;
}

// The exit key a mode's overlays name: the separate exit when there is one, else the entry.
std::string exitText(const EntryConfig& entry) {
  return (entry.separateExit ? entry.exit : entry.gesture).displayName();
}

std::string controlText(const TovrelConfig& config, ClickControl control,
                        std::string_view unbound) {
  const auto found = config.clickControls.find(control);
  return found == config.clickControls.end() ? std::string(unbound) : found->second.displayName();
}

std::optional<std::string> actionName(TargetAction action) {
  if (action == TargetAction::press) return std::nullopt;
  return std::string(title(action));
}

}  // namespace

void NavigationService::refreshOverlays() {
  const auto hideHosted = [this] {
    if (badge_) badge_->orderOut();
    if (help_) help_->orderOut();
    if (hud_) hud_->orderOut();
  };

  switch (router_.mode()) {
    case InteractionMode::off:
    case InteractionMode::scroll:
      // Scroll mode shows only the pointer dot and the area outlines.
      hideHosted();
      hints_.clear();
      return;

    case InteractionMode::cursor: {
      const CursorEngine& engine = router_.cursor();
      std::vector<std::string> parts;
      if (router_.routingSuspended())
        parts.emplace_back(editingSettings_ ? "paused while editing" : "paused here");
      if (engine.held().contains(CursorAction::precision)) parts.emplace_back("Precision");
      if (engine.held().contains(CursorAction::boost)) parts.emplace_back("Boost");
      // A key that held the left button and let go must not leave the next hold "dragging"
      // before the pointer has moved.
      const bool keyHoldsLeft = clickKeyHoldsLeft();
      if (!keyHoldsLeft) keyDragMoved_ = false;
      const bool dragging = engine.leftDown() || (keyHoldsLeft && keyDragMoved_) || mouseDragging_;
      if (dragging) parts.emplace_back("Dragging");

      overlayModel_.setBadgeTitle("Moving");
      overlayModel_.setBadgeDetail(parts.empty() ? std::nullopt
                                                 : std::optional(joined(parts, separator)));
      overlayModel_.setBadgeDragging(dragging);
      overlayModel_.setBadgeScale(scale(config().appearance.badgeSize));
      placeBadge();

      if (!router_.helpVisible()) {
        if (help_) help_->orderOut();
        return;
      }
      fillHelp();
      const auto screen = ScreenSpace::screen(platform_.overlays, pointerLocation());
      if (!screen) return;
      const platform::OverlaySize size = help().fittingSize();
      help().place(
          {midX(screen->frame) - size.width * 0.5, midY(screen->frame) - size.height * 0.5});
      return;
    }

    case InteractionMode::click:
      break;
  }

  if (badge_) badge_->orderOut();
  if (help_) help_->orderOut();
  const ClickSession* session = router_.click();
  // Without a session the labels and the display keep what they showed last.
  if (!session) return;

  const bool search = session->substate() == ClickSession::Substate::search;
  const bool highlighting = search || (session->requireReturn() && !session->typedPrefix().empty());
  const auto& targets = session->targets();
  const auto& labels = session->labels();
  const std::optional<std::size_t> selected = session->selectedTarget();
  const int typed = static_cast<int>(unicode::characterCount(session->typedPrefix()));

  std::vector<HintOverlay::Item> items;
  const std::vector<std::size_t> visible = session->visible();
  items.reserve(visible.size());
  for (std::size_t i = 0; i < visible.size(); ++i) {
    const std::size_t t = visible[i];
    if (t >= targets.size()) continue;
    HintOverlay::Item item;
    if (search) {
      // Only the first nine matches can be picked by a digit.
      item.label = i < 9 ? std::to_string(i + 1) : "·";
      item.typed = 0;
    } else {
      item.label = t < labels.size() ? labels[t] : std::string();
      item.typed = typed;
    }
    item.frame = targets[t].frame;
    item.selected = highlighting && selected == t;
    items.push_back(std::move(item));
  }
  std::optional<Rect> highlight;
  if (highlighting && selected && *selected < targets.size()) highlight = targets[*selected].frame;
  hints_.render(items, highlight, config().appearance);

  const std::string exitKey = exitText(config().clickEntry);
  overlayModel_.setHudTitle(search ? "Search" : "Clicking");
  overlayModel_.setHudApp(targetName_.value_or(""));
  overlayModel_.setHudCount(static_cast<std::int64_t>(targets.size()));
  overlayModel_.setHudAction(actionName(session->pendingAction()));
  overlayModel_.setHudQuery(search ? std::optional(session->query()) : std::nullopt);
  const std::optional<std::string> hudMessage =
      session->hasSnapshot() ? message_ : std::optional<std::string>();
  overlayModel_.setHudMessage(hudMessage);
  if (search) {
    overlayModel_.setHudLine(
        controlText(config(), ClickControl::activateSelected, Key::name(Key::returnKey)) +
        " activates · " + controlText(config(), ClickControl::nextTarget, Key::name(Key::tab)) +
        " next · " + controlText(config(), ClickControl::backspace, Key::name(Key::deleteKey)) +
        " on empty goes back · " + exitKey + " exits");
  } else {
    overlayModel_.setHudLine("Type a label · " +
                             controlText(config(), ClickControl::startSearch, "/") + " search · " +
                             controlText(config(), ClickControl::cycleAction, ".") +
                             " change action · " + exitKey + " exits");
  }

  // With labels the display only carries a message; a search always shows it.
  if (!search && !hudMessage) {
    if (hud_) hud_->orderOut();
    return;
  }
  const Point anchor =
      targets.empty() ? pointerLocation() : Point{targets.front().frame.x, targets.front().frame.y};
  const auto screen = ScreenSpace::screen(platform_.overlays, anchor);
  if (!screen) return;
  const platform::OverlaySize size = hud().fittingSize();
  hud().place({midX(screen->visibleFrame) - size.width * 0.5, screen->visibleFrame.y + edgeInset});
}

void NavigationService::placeBadge(std::optional<Point> point) {
  if (router_.mode() != InteractionMode::cursor) return;
  const Point p = point ? *point : pointerLocation();
  const auto screen = ScreenSpace::screen(platform_.overlays, p);
  if (!screen) return;
  const platform::OverlaySize size = badge().fittingSize();
  const double w = size.width, h = size.height;

  double left = 0, top = 0;
  switch (config().appearance.badgePlacement) {
    case AppearanceSettings::BadgePlacement::screenCorner:
      left = screen->visibleFrame.x + screen->visibleFrame.width - w - edgeInset;
      top = screen->visibleFrame.y + edgeInset;
      break;
    case AppearanceSettings::BadgePlacement::nearPointer:
      left = p.x + badgeOffsetX;
      top = p.y + badgeOffsetY;
      break;
  }
  // Kept inside the whole screen. When the badge does not fit, the right edge and the top edge
  // win.
  const Rect& frame = screen->frame;
  left = std::max(left, frame.x + screenMargin);
  left = std::min(left, frame.x + frame.width - w - screenMargin);
  top = std::min(top, frame.y + frame.height - h - screenMargin);
  top = std::max(top, frame.y + screenMargin);
  badge().place({left, top});
}

void NavigationService::fillHelp() {
  const TovrelConfig& settings = config();
  std::vector<HelpEntry> entries;
  for (const CursorActionGroup group : allCases<CursorActionGroup>()) {
    HelpEntry entry{std::string(rawValue(group)), {}};
    for (const CursorAction action : allCases<CursorAction>()) {
      if (tovrel::group(action) != group) continue;
      std::vector<std::string> keys;
      for (const CursorBinding& binding : settings.cursorBindings)
        if (binding.action == action) keys.push_back(binding.gesture.displayName());
      if (keys.empty()) continue;
      entry.rows.push_back({std::string(title(action)), joined(keys, ", ")});
    }
    if (!entry.rows.empty()) entries.push_back(std::move(entry));
  }
  overlayModel_.setHelpRows(std::move(entries));
  overlayModel_.setHelpExit(exitText(settings.cursorEntry));
}

HostedOverlay& NavigationService::badge() {
  if (!badge_)
    badge_ = std::make_unique<HostedOverlay>(platform_.overlays, overlayModel_,
                                             HostedOverlay::View::badge);
  return *badge_;
}

HostedOverlay& NavigationService::hud() {
  if (!hud_)
    hud_ = std::make_unique<HostedOverlay>(platform_.overlays, overlayModel_,
                                           HostedOverlay::View::hud);
  return *hud_;
}

HostedOverlay& NavigationService::help() {
  if (!help_)
    help_ = std::make_unique<HostedOverlay>(platform_.overlays, overlayModel_,
                                            HostedOverlay::View::help);
  return *help_;
}

}  // namespace tovrel
