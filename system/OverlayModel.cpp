#include <utility>

#include "system/Overlays.hpp"

namespace tovrel {

namespace {

// Stores the value and reports whether it differs from the old one; equal values leave the
// observers alone.
template <typename T>
bool assign(T& field, T value) {
  if (field == value) return false;
  field = std::move(value);
  return true;
}

}  // namespace

void OverlayModel::setBadgeTitle(std::string value) {
  if (assign(badgeTitle_, std::move(value))) notify();
}
void OverlayModel::setBadgeDetail(std::optional<std::string> value) {
  if (assign(badgeDetail_, std::move(value))) notify();
}
void OverlayModel::setBadgeDragging(bool value) {
  if (assign(badgeDragging_, value)) notify();
}
void OverlayModel::setBadgeScale(double value) {
  if (assign(badgeScale_, value)) notify();
}
void OverlayModel::setHudTitle(std::string value) {
  if (assign(hudTitle_, std::move(value))) notify();
}
void OverlayModel::setHudApp(std::string value) {
  if (assign(hudApp_, std::move(value))) notify();
}
void OverlayModel::setHudLine(std::string value) {
  if (assign(hudLine_, std::move(value))) notify();
}
void OverlayModel::setHudQuery(std::optional<std::string> value) {
  if (assign(hudQuery_, std::move(value))) notify();
}
void OverlayModel::setHudCount(std::int64_t value) {
  if (assign(hudCount_, value)) notify();
}
void OverlayModel::setHudAction(std::optional<std::string> value) {
  if (assign(hudAction_, std::move(value))) notify();
}
void OverlayModel::setHudMessage(std::optional<std::string> value) {
  if (assign(hudMessage_, std::move(value))) notify();
}
void OverlayModel::setHelpRows(std::vector<HelpEntry> value) {
  // The help is refilled whenever it is shown; it is redrawn every time, equal or not.
  helpRows_ = std::move(value);
  notify();
}
void OverlayModel::setHelpExit(std::string value) {
  if (assign(helpExit_, std::move(value))) notify();
}

std::uint64_t OverlayModel::observe(std::function<void()> changed) {
  const std::uint64_t token = nextToken_++;
  observers_.emplace(token, std::move(changed));
  return token;
}

void OverlayModel::removeObserver(std::uint64_t token) {
  observers_.erase(token);
}

void OverlayModel::notify() {
  // An observer may remove itself or another one while it runs: walk a copy of the tokens and
  // call only those still registered.
  std::vector<std::uint64_t> tokens;
  tokens.reserve(observers_.size());
  for (const auto& [token, observer] : observers_)
    tokens.push_back(token);
  for (std::uint64_t token : tokens) {
    auto found = observers_.find(token);
    if (found == observers_.end()) continue;
    std::function<void()> observer = found->second;
    observer();
  }
}

platform::BadgeContent badgeView(const OverlayModel& model) {
  return {model.badgeTitle(), model.badgeDetail(), model.badgeDragging(), model.badgeScale()};
}

platform::HudContent clickHUDView(const OverlayModel& model) {
  return {model.hudTitle(), model.hudApp(),    model.hudLine(),   model.hudQuery(),
          model.hudCount(), model.hudAction(), model.hudMessage()};
}

platform::HelpContent helpView(const OverlayModel& model) {
  platform::HelpContent content;
  content.rows.reserve(model.helpRows().size());
  for (const HelpEntry& entry : model.helpRows())
    content.rows.push_back({entry.group, entry.rows});
  content.exit = model.helpExit();
  return content;
}

HostedOverlay::HostedOverlay(platform::OverlayServices& overlays, OverlayModel& model, View view)
    : view(view), panel(overlays.createPanel({0, 0, 10, 10})), model_(model) {
  render();
  token_ = model_.observe([this] { render(); });
}

HostedOverlay::~HostedOverlay() {
  model_.removeObserver(token_);
}

platform::OverlaySize HostedOverlay::fittingSize() {
  return panel->fittingSize();
}

void HostedOverlay::place(Point topLeft) {
  const platform::OverlaySize size = fittingSize();
  panel->setFrame({topLeft.x, topLeft.y, size.width, size.height});
  if (!panel->isVisible()) panel->orderFront();
}

void HostedOverlay::orderOut() {
  panel->orderOut();
}

bool HostedOverlay::isVisible() const {
  return panel->isVisible();
}

void HostedOverlay::render() {
  ++renders;
  switch (view) {
    case View::badge:
      panel->setContent(badgeView(model_));
      break;
    case View::hud:
      panel->setContent(clickHUDView(model_));
      break;
    case View::help:
      panel->setContent(helpView(model_));
      break;
  }
}

}  // namespace tovrel
