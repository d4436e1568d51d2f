#include "app/tools/PreviewFrames.hpp"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <array>
#include <charconv>

#include "app/settings/Theme.hpp"
#include "app/settings/previews/ModePreview.hpp"
#include "app/tools/ToolOutput.hpp"

namespace tovrel::tools::PreviewFrames {

namespace {

struct Row {
  InteractionMode mode;
  std::vector<double> times;
};

const std::array<Row, 2>& table() {
  static const std::array<Row, 2> rows{{
      {InteractionMode::cursor, {0.4, 1.4, 2.5, 3.3, 4.15}},
      {InteractionMode::click, {1.6}},
  }};
  return rows;
}

// The keys a person would see on a fresh configuration: I J K L around Space.
const settings::PreviewKeys& previewKeys() {
  static const settings::PreviewKeys keys{"I", "J", "K", "L", "Space"};
  return keys;
}

constexpr double previewWidth = 400;
constexpr double previewHeight = 92;
constexpr double padding = 12;
constexpr double scale = 2;
// The dark background: an sRGB grey at white level 0.17.
constexpr double darkGrey = 0.17;

std::string shortest(double value) {
  std::array<char, 32> text{};
  auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() ? std::string(text.data(), end) : std::to_string(value);
}

}  // namespace

std::string Frame::fileName() const {
  return std::string(rawValue(mode)) + "-" + shortest(time) + "-" + (dark ? "dark" : "light") +
         ".png";
}

std::vector<Frame> frames() {
  std::vector<Frame> all;
  for (const Row& row : table())
    for (double time : row.times)
      for (bool dark : {false, true})
        all.push_back({row.mode, time, dark});
  return all;
}

std::vector<unsigned char> png(const Frame& frame) {
  const QSizeF logical(previewWidth + 2 * padding, previewHeight + 2 * padding);
  QImage image((logical * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return {};
  image.setDevicePixelRatio(scale);
  image.fill(frame.dark ? QColor::fromRgbF(darkGrey, darkGrey, darkGrey) : QColor(Qt::white));
  {
    QPainter painter(&image);
    painter.translate(padding, padding);
    paintModePreview(painter, QSizeF(previewWidth, previewHeight), frame.mode, previewKeys(),
                     frame.time, frame.dark ? settings::darkPalette() : settings::lightPalette());
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) return {};
  return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

std::vector<std::string> write(const std::string& directory) {
  std::vector<std::string> problems;
  for (const Frame& frame : frames()) {
    const std::string path = directory + "/" + frame.fileName();
    const std::vector<unsigned char> data = png(frame);
    if (data.empty()) {
      problems.push_back("Tovrel could not draw " + path + ".");
      continue;
    }
    if (auto problem = writeDirectly(path, data)) problems.push_back(*problem);
  }
  return problems;
}

}  // namespace tovrel::tools::PreviewFrames
