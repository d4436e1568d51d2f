#include "system/Overlays.hpp"

// SKELETON: the hint labels are being written.

namespace tovrel {

HintOverlay::HintOverlay(platform::OverlayServices& overlays, platform::DisplayServices& displays)
    : overlays_(overlays), displays_(displays) {}
double HintOverlay::fontSize(AppearanceSettings::Size) {
  return 10.5;
}
void HintOverlay::render(const std::vector<Item>&, std::optional<Rect>, const AppearanceSettings&) {
}
void HintOverlay::clear() {}
void HintOverlay::ensurePanels() {}
std::vector<platform::HintChip> HintOverlay::layout(const std::vector<Item>&, const Rect&, double) {
  return {};
}
std::vector<platform::HintChip> HintOverlay::layout(
    const std::vector<Item>&, const Rect&, double, double, const std::vector<Rect>&,
    const std::function<double(const std::string&, double)>&) {
  return {};
}

namespace LabelSample {
std::optional<std::vector<std::uint8_t>> png(platform::OverlayServices&,
                                             const std::vector<std::string>&) {
  return std::nullopt;
}
}  // namespace LabelSample

}  // namespace tovrel
