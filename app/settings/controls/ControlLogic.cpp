#include "app/settings/controls/ControlLogic.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/settings/Symbols.hpp"

namespace tovrel::settings {

namespace number {

namespace {

double clampInto(double value, ValueRange range) {
  return std::min(range.upper, std::max(range.lower, value));
}

}  // namespace

double snap(double position, ValueRange range, std::optional<double> step) {
  double snapped;
  if (step && *step > 0)
    snapped = *step * std::round(position / *step);
  else if (range.upper <= 10)
    snapped = std::round(position * 100) / 100;
  else
    snapped = std::round(position);
  return clampInto(snapped, range);
}

double clampTyped(double typed, ValueRange range) {
  return clampInto(typed, range);
}

int maximumFractionDigits(double upper) {
  return upper <= 10 ? 2 : 0;
}

QString format(double value, double upper, const QLocale& locale) {
  const int digits = maximumFractionDigits(upper);
  const double scale = std::pow(10.0, digits);
  double rounded = std::round(value * scale) / scale;
  if (rounded == 0) rounded = 0;  // never "-0"
  QLocale grouping = locale;
  grouping.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
  QString text = grouping.toString(rounded, 'f', digits);
  if (digits > 0) {
    const QString point = grouping.decimalPoint();
    const qsizetype at = text.lastIndexOf(point);
    if (at >= 0) {
      qsizetype end = text.size();
      while (end > at + point.size() && text[end - 1] == grouping.zeroDigit()[0])
        --end;
      if (end == at + point.size()) end = at;
      text.truncate(end);
    }
  }
  return text;
}

std::optional<double> parse(const QString& text, const QLocale& locale) {
  bool ok = false;
  const double value = locale.toDouble(text.trimmed(), &ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  return value;
}

SliderScale sliderScale(ValueRange range, std::optional<double> step) {
  SliderScale scale;
  scale.unit = step && *step > 0 ? *step : (range.upper <= 10 ? 0.01 : 1.0);
  // A range too wide for the slider's integers moves in coarser units; the snap still decides.
  constexpr double most = 1'000'000;
  if ((range.upper - range.lower) / scale.unit > most)
    scale.unit = (range.upper - range.lower) / most;
  scale.first = static_cast<int>(std::ceil(range.lower / scale.unit - 1e-9));
  scale.last = std::max(scale.first, static_cast<int>(std::floor(range.upper / scale.unit + 1e-9)));
  return scale;
}

}  // namespace number

TovrelConfig BoolKeyPath::with(const TovrelConfig& config, bool value) const {
  TovrelConfig copy = config;
  set(copy, value);
  return copy;
}

std::string toggleChangeText(std::string_view title, bool on) {
  std::string text(title);
  text += on ? " on" : " off";
  return text;
}

IconTileGeometry iconTileGeometry(std::string_view symbol, const QRectF& square) {
  const double edge = std::min(square.width(), square.height());
  IconTileGeometry geometry;
  geometry.symbolPixels = 0.55 * edge;
  geometry.cornerRadius = 0.24 * edge;
  const QSizeF size = symbolSize(symbol, geometry.symbolPixels);
  geometry.symbolBox = QRectF(square.center() - QPointF(size.width() / 2, size.height() / 2), size);
  return geometry;
}

std::string_view statusSymbol(bool ok) {
  return ok ? "checkmark.circle.fill" : "exclamationmark.triangle.fill";
}

Colour statusColour(bool ok) {
  return ok ? Colour::green : Colour::orange;
}

double anchorTint(const std::optional<std::string>& highlighted, std::string_view id) {
  return highlighted && *highlighted == id ? anchorOpacity : 0.0;
}

}  // namespace tovrel::settings
