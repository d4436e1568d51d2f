#include "core/ConfigRecords.hpp"

#include <algorithm>

namespace tovrel {

namespace {

// Raises to the lower bound first, then lowers to the upper bound, so an empty range ends at
// `upper`.
double bound(double value, double lower, double upper) {
  return std::min(std::max(value, lower), upper);
}

}  // namespace

json::Value EntryConfig::toJson() const {
  return {{"gesture", gesture.toJson()}, {"separateExit", separateExit}, {"exit", exit.toJson()}};
}

EntryConfig EntryConfig::fromJson(const json::Reader& reader) {
  reader.expectObject("EntryConfig");
  return EntryConfig{
      .gesture = Gesture::fromJson(reader.member("gesture")),
      .separateExit = reader.member("separateExit").boolean(),
      .exit = Gesture::fromJson(reader.member("exit")),
  };
}

json::Value CursorBinding::toJson() const {
  return {{"action", json::enumToJson(action)}, {"gesture", gesture.toJson()}};
}

CursorBinding CursorBinding::fromJson(const json::Reader& reader) {
  reader.expectObject("CursorBinding");
  return CursorBinding{
      .action = reader.member("action").enumeration<CursorAction>(),
      .gesture = Gesture::fromJson(reader.member("gesture")),
  };
}

const MotionProfile& MotionProfile::gentle() {
  static const MotionProfile profile{80, 1100, 0.9, 0.2, 2.0};
  return profile;
}

const MotionProfile& MotionProfile::balanced() {
  static const MotionProfile profile{120, 1600, 0.6, 0.2, 2.0};
  return profile;
}

const MotionProfile& MotionProfile::fast() {
  static const MotionProfile profile{200, 2400, 0.4, 0.2, 2.0};
  return profile;
}

const std::array<std::pair<std::string_view, MotionProfile>, 3>& MotionProfile::presets() {
  static const std::array<std::pair<std::string_view, MotionProfile>, 3> list = {{
      {"Gentle", gentle()},
      {"Balanced", balanced()},
      {"Fast", fast()},
  }};
  return list;
}

std::optional<std::string_view> MotionProfile::presetName() const {
  for (const auto& [name, profile] : presets()) {
    if (profile == *this) return name;
  }
  return std::nullopt;
}

MotionProfile MotionProfile::clamped() const {
  MotionProfile result;
  result.initialSpeed = bound(initialSpeed, 10, 2000);
  result.maximumSpeed = bound(maximumSpeed, result.initialSpeed, 5000);
  result.rampSeconds = bound(rampSeconds, 0.05, 5);
  result.precisionMultiplier = bound(precisionMultiplier, 0.05, 1);
  result.boostMultiplier = bound(boostMultiplier, 1, 4);
  return result;
}

json::Value MotionProfile::toJson() const {
  return {
      {"initialSpeed", initialSpeed},       {"maximumSpeed", maximumSpeed},
      {"rampSeconds", rampSeconds},         {"precisionMultiplier", precisionMultiplier},
      {"boostMultiplier", boostMultiplier},
  };
}

MotionProfile MotionProfile::fromJson(const json::Reader& reader) {
  reader.expectObject("MotionProfile");
  return MotionProfile{
      .initialSpeed = reader.member("initialSpeed").number(),
      .maximumSpeed = reader.member("maximumSpeed").number(),
      .rampSeconds = reader.member("rampSeconds").number(),
      .precisionMultiplier = reader.member("precisionMultiplier").number(),
      .boostMultiplier = reader.member("boostMultiplier").number(),
  };
}

const ScrollProfile& ScrollProfile::standard() {
  static const ScrollProfile profile{900, 0.6, false};
  return profile;
}

json::Value ScrollProfile::toJson() const {
  return {{"maximumSpeed", maximumSpeed}, {"rampSeconds", rampSeconds}, {"reverse", reverse}};
}

ScrollProfile ScrollProfile::fromJson(const json::Reader& reader) {
  reader.expectObject("ScrollProfile");
  return ScrollProfile{
      .maximumSpeed = reader.member("maximumSpeed").number(),
      .rampSeconds = reader.member("rampSeconds").number(),
      .reverse = reader.member("reverse").boolean(),
  };
}

json::Value AppearanceSettings::toJson() const {
  return {
      {"badgePlacement", json::enumToJson(badgePlacement)},
      {"badgeSize", json::enumToJson(badgeSize)},
      {"hintSize", json::enumToJson(hintSize)},
      {"hintOpacity", hintOpacity},
  };
}

AppearanceSettings AppearanceSettings::fromJson(const json::Reader& reader) {
  reader.expectObject("AppearanceSettings");
  return AppearanceSettings{
      .badgePlacement = reader.member("badgePlacement").enumeration<BadgePlacement>(),
      .badgeSize = reader.member("badgeSize").enumeration<Size>(),
      .hintSize = reader.member("hintSize").enumeration<Size>(),
      .hintOpacity = reader.member("hintOpacity").number(),
  };
}

double scale(AppearanceSettings::Size size) {
  switch (size) {
    case AppearanceSettings::Size::small:
      return 0.85;
    case AppearanceSettings::Size::large:
      return 1.3;
    case AppearanceSettings::Size::regular:
      break;
  }
  return 1.0;
}

}  // namespace tovrel
