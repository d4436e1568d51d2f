#include "system/Overlays.hpp"

// SKELETON: the overlay model and hosted views are being written.

namespace tovrel {

void OverlayModel::setBadgeTitle(std::string) {}
void OverlayModel::setBadgeDetail(std::optional<std::string>) {}
void OverlayModel::setBadgeDragging(bool) {}
void OverlayModel::setBadgeScale(double) {}
void OverlayModel::setHudTitle(std::string) {}
void OverlayModel::setHudApp(std::string) {}
void OverlayModel::setHudLine(std::string) {}
void OverlayModel::setHudQuery(std::optional<std::string>) {}
void OverlayModel::setHudCount(std::int64_t) {}
void OverlayModel::setHudAction(std::optional<std::string>) {}
void OverlayModel::setHudMessage(std::optional<std::string>) {}
void OverlayModel::setHelpRows(std::vector<HelpEntry>) {}
void OverlayModel::setHelpExit(std::string) {}
std::uint64_t OverlayModel::observe(std::function<void()>) {
  return 0;
}
void OverlayModel::removeObserver(std::uint64_t) {}
void OverlayModel::notify() {}

platform::BadgeContent badgeView(const OverlayModel&) {
  return {};
}
platform::HudContent clickHUDView(const OverlayModel&) {
  return {};
}
platform::HelpContent helpView(const OverlayModel&) {
  return {};
}

HostedOverlay::HostedOverlay(platform::OverlayServices&, OverlayModel& model, View view)
    : view(view), model_(model) {}
HostedOverlay::~HostedOverlay() = default;
platform::OverlaySize HostedOverlay::fittingSize() {
  return {};
}
void HostedOverlay::place(Point) {}
void HostedOverlay::orderOut() {}
bool HostedOverlay::isVisible() const {
  return false;
}
void HostedOverlay::render() {}

}  // namespace tovrel
