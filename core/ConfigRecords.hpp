#pragma once

// The small records the configuration is built from: how a mode starts and stops, one cursor-mode
// binding, the pointer and scroll speed profiles and the look of the overlays.
//
// Reading a record requires every one of its members and ignores members of other names; values are
// kept as read (consumers clamp what they use, and the validator judges the whole configuration).

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>

#include "core/Actions.hpp"
#include "core/Json.hpp"
#include "core/Keys.hpp"

namespace tovrel {

struct EntryConfig {
  // Starts the mode and, from another mode, switches to it.
  Gesture gesture;
  // True: only `exit` stops the mode and `gesture` does nothing while it is on. False: `gesture`
  // toggles the mode off and `exit` is kept but unused.
  bool separateExit = false;
  Gesture exit;

  bool operator==(const EntryConfig&) const = default;

  json::Value toJson() const;
  static EntryConfig fromJson(const json::Reader& reader);
};

struct CursorBinding {
  CursorAction action;
  Gesture gesture;

  bool operator==(const CursorBinding&) const = default;

  json::Value toJson() const;
  static CursorBinding fromJson(const json::Reader& reader);
};

// Pointer speed in cursor mode.
struct MotionProfile {
  double initialSpeed = 0;         // points per second at the start of a move
  double maximumSpeed = 0;         // points per second after the ramp
  double rampSeconds = 0;          // from the initial to the maximum speed
  double precisionMultiplier = 0;  // while precision is held
  double boostMultiplier = 0;      // while boost is held

  static const MotionProfile& gentle();
  static const MotionProfile& balanced();
  static const MotionProfile& fast();
  // Gentle, Balanced, Fast, with their names.
  static const std::array<std::pair<std::string_view, MotionProfile>, 3>& presets();

  // The name of the first preset equal to this profile in all five values, with no tolerance.
  std::optional<std::string_view> presetName() const;
  // Each value brought into the range the cursor engine works with.
  MotionProfile clamped() const;

  bool operator==(const MotionProfile&) const = default;

  json::Value toJson() const;
  static MotionProfile fromJson(const json::Reader& reader);
};

// Scroll speed in cursor and scroll mode.
struct ScrollProfile {
  double maximumSpeed = 0;  // scroll distance per second at the end of the ramp
  double rampSeconds = 0;
  bool reverse = false;  // flips the direction of every scroll

  static const ScrollProfile& standard();

  bool operator==(const ScrollProfile&) const = default;

  json::Value toJson() const;
  static ScrollProfile fromJson(const json::Reader& reader);
};

struct AppearanceSettings {
  enum class BadgePlacement { nearPointer, screenCorner };
  enum class Size { small, regular, large };

  BadgePlacement badgePlacement = BadgePlacement::nearPointer;
  Size badgeSize = Size::regular;
  Size hintSize = Size::regular;
  double hintOpacity = 0.92;

  bool operator==(const AppearanceSettings&) const = default;

  json::Value toJson() const;
  // Every member is required here too: the initial values above serve only new settings.
  static AppearanceSettings fromJson(const json::Reader& reader);
};

// The factor overlays multiply badge and label sizes by: 0.85, 1.0, 1.3.
double scale(AppearanceSettings::Size size);

template <>
struct EnumInfo<AppearanceSettings::BadgePlacement> {
  static constexpr std::string_view typeName = "AppearanceSettings.BadgePlacement";
  static constexpr std::array<std::string_view, 2> raw = {"nearPointer", "screenCorner"};
};

template <>
struct EnumInfo<AppearanceSettings::Size> {
  static constexpr std::string_view typeName = "AppearanceSettings.Size";
  static constexpr std::array<std::string_view, 3> raw = {"small", "regular", "large"};
};

}  // namespace tovrel

template <>
struct std::hash<tovrel::CursorBinding> {
  std::size_t operator()(const tovrel::CursorBinding& binding) const noexcept {
    std::size_t seed = std::hash<std::string_view>{}(tovrel::rawValue(binding.action));
    return seed ^ (binding.gesture.hash() + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
  }
};
