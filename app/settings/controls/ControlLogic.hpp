#pragma once

// What the shared setting controls decide, apart from their widgets: how a slider position or a
// typed number becomes a value, how values read, which Boolean field a toggle writes and what it
// calls the change, and the geometry of tiles and highlights. Tests use these without a display.

#include <QLocale>
#include <QRectF>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/settings/Theme.hpp"
#include "core/TovrelConfig.hpp"

namespace tovrel::settings {

// A closed range of values, lower <= upper.
struct ValueRange {
  double lower = 0;
  double upper = 0;
};

namespace number {

// Where a slider position lands: a multiple of `step` when there is one, else hundredths for a
// range ending at 10 or below and whole numbers above; then clamped into `range`. Halves round
// away from zero.
double snap(double position, ValueRange range, std::optional<double> step);
// A typed value is clamped into `range` but neither snapped nor rounded.
double clampTyped(double typed, ValueRange range);
// 2 for a range ending at 10 or below (small values need their fractions), else 0.
int maximumFractionDigits(double upper);
// The value as the user's locale writes it, with its digit grouping, with up to
// maximumFractionDigits(upper) fraction digits and no trailing zeros.
QString format(double value, double upper, const QLocale& locale);
// Text typed in the same format; nothing for text that is no number or is not finite.
std::optional<double> parse(const QString& text, const QLocale& locale);

// How a QSlider, which knows only integers, covers a range: slider value i stands for
// i × unit, and i runs from first to last.
struct SliderScale {
  double unit = 1;
  int first = 0;
  int last = 0;
};
SliderScale sliderScale(ValueRange range, std::optional<double> step);

}  // namespace number

// A writable path from the configuration to one of its Boolean fields, directly or through one
// record: `&TovrelConfig::showMenuBarIcon`, `{&TovrelConfig::scrolling, &ScrollProfile::reverse}`.
class BoolKeyPath {
 public:
  // Implicit, so an owner can pass `&TovrelConfig::field` where a path is asked for.
  BoolKeyPath(bool TovrelConfig::*field)
      : read_([field](const TovrelConfig& c) { return c.*field; }),
        write_([field](TovrelConfig& c, bool b) { c.*field = b; }) {}
  template <class Record>
  BoolKeyPath(Record TovrelConfig::*record, bool Record::*field)
      : read_([record, field](const TovrelConfig& c) { return (c.*record).*field; }),
        write_([record, field](TovrelConfig& c, bool b) { (c.*record).*field = b; }) {}

  bool get(const TovrelConfig& config) const { return read_(config); }
  void set(TovrelConfig& config, bool value) const { write_(config, value); }
  // A copy of `config` with the field set to `value`.
  TovrelConfig with(const TovrelConfig& config, bool value) const;

 private:
  std::function<bool(const TovrelConfig&)> read_;
  std::function<void(TovrelConfig&, bool)> write_;
};

// "<title> on" / "<title> off".
std::string toggleChangeText(std::string_view title, bool on);

// An icon tile in `square`: its symbol drawn at 0.55 of the edge as a font size, centred, on a
// rounded square of radius 0.24 of the edge.
struct IconTileGeometry {
  double symbolPixels = 0;
  double cornerRadius = 0;
  QRectF symbolBox;
};
IconTileGeometry iconTileGeometry(std::string_view symbol, const QRectF& square);

// A status line's symbol and its colour.
std::string_view statusSymbol(bool ok);
Colour statusColour(bool ok);

// The search highlight: radius 10, 6 beyond the content, the accent colour at 0.16 while the
// highlighted setting is this anchor's id, else nothing.
inline constexpr double anchorOutset = 6;
inline constexpr double anchorRadius = 10;
inline constexpr double anchorOpacity = 0.16;
inline constexpr int anchorAnimationMilliseconds = 300;
double anchorTint(const std::optional<std::string>& highlighted, std::string_view id);

}  // namespace tovrel::settings
