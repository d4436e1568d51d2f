#include "app/settings/pages/ModePageLogic.hpp"

#include <algorithm>
#include <cmath>

#include "core/PlatformTexts.hpp"

namespace tovrel::settings {

std::vector<Gesture> gesturesOf(const TovrelConfig& config, CursorAction action) {
  std::vector<Gesture> gestures;
  for (const CursorBinding& binding : config.cursorBindings)
    if (binding.action == action) gestures.push_back(binding.gesture);
  return gestures;
}

std::string_view heldCaption(CursorAction action) {
  return isHold(action) ? "while held" : "";
}

std::string_view addPlaceholder(bool hasGestures) {
  return hasGestures ? "+" : "Add key";
}

std::string addTitle(CursorAction action) {
  return "another key for " + std::string(title(action));
}

namespace bindingEdit {

namespace {

std::vector<CursorBinding>::iterator find(std::vector<CursorBinding>& bindings,
                                          const CursorBinding& wanted) {
  return std::find(bindings.begin(), bindings.end(), wanted);
}

}  // namespace

PageEdit replace(const TovrelConfig& config, CursorAction action, const Gesture& old,
                 const std::optional<Gesture>& replacement) {
  const std::string name(title(action));
  PageEdit edit{config, replacement ? name + ": " + replacement->displayName()
                                    : name + ": removed " + old.displayName()};
  std::vector<CursorBinding>& bindings = edit.config.cursorBindings;
  const auto found = find(bindings, CursorBinding{action, old});
  if (found == bindings.end()) return edit;
  if (replacement)
    found->gesture = *replacement;
  else
    bindings.erase(found);
  return edit;
}

std::optional<PageEdit> add(const TovrelConfig& config, CursorAction action,
                            const std::optional<Gesture>& gesture) {
  if (!gesture) return std::nullopt;
  PageEdit edit{config, std::string(title(action)) + ": added " + gesture->displayName()};
  edit.config.cursorBindings.push_back(CursorBinding{action, *gesture});
  return edit;
}

PageEdit takeOver(const TovrelConfig& config, CursorAction action, const Gesture& gesture,
                  const std::optional<Gesture>& old) {
  PageEdit edit{config, gesture.displayName() + " moved to " + std::string(title(action))};
  std::vector<CursorBinding>& bindings = edit.config.cursorBindings;
  std::erase_if(bindings, [&](const CursorBinding& binding) {
    return binding.gesture == gesture && binding.action != action;
  });
  if (old) {
    const auto found = find(bindings, CursorBinding{action, *old});
    if (found != bindings.end()) {
      found->gesture = gesture;
      return edit;
    }
  }
  bindings.push_back(CursorBinding{action, gesture});
  return edit;
}

}  // namespace bindingEdit

namespace speedPicker {

std::vector<std::string> segments(const MotionProfile& motion) {
  std::vector<std::string> names;
  for (const auto& [name, profile] : MotionProfile::presets())
    names.emplace_back(name);
  if (!motion.presetName()) names.emplace_back(custom);
  return names;
}

std::string selected(const MotionProfile& motion) {
  return std::string(motion.presetName().value_or(custom));
}

std::optional<PageEdit> choose(const TovrelConfig& config, std::string_view name) {
  for (const auto& [presetName, profile] : MotionProfile::presets()) {
    if (presetName != name) continue;
    PageEdit edit{config, "Speed: " + std::string(name)};
    edit.config.motion = profile;
    return edit;
  }
  return std::nullopt;
}

}  // namespace speedPicker

namespace scrollSpeed {

std::string changeText(double speed) {
  // The slider clamps every value into its range; the guard keeps the conversion defined anyway.
  const double whole = std::isfinite(speed) ? std::clamp(std::trunc(speed), -1e15, 1e15) : 0;
  return "Scroll speed " + std::to_string(static_cast<long long>(whole)) + " " +
         std::string(platformText::speedUnit);
}

PageEdit edit(const TovrelConfig& config, double speed) {
  PageEdit edit{config, changeText(speed)};
  edit.config.scrolling.maximumSpeed = speed;
  return edit;
}

}  // namespace scrollSpeed

}  // namespace tovrel::settings
