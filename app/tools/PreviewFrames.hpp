#pragma once

// Still frames of the settings window's mode previews, for reviewing their animation: each
// mode's picture at fixed instants, in light and dark, as PNG files.

#include <string>
#include <vector>

#include "core/InteractionMode.hpp"

namespace tovrel::tools::PreviewFrames {

struct Frame {
  InteractionMode mode;
  double time;  // seconds into the animation
  bool dark;
  // "cursor-4.15-dark.png": the mode, the time in its shortest form, the scheme.
  std::string fileName() const;
};

// Every frame, in the order they are made: each mode's times, light before dark.
std::vector<Frame> frames();

// The frame as PNG data, 848 by 232 pixels (the 400 by 92 preview with a 12 point margin, at
// scale 2); empty when it could not be made.
std::vector<unsigned char> png(const Frame& frame);

// Writes every frame into `directory`, which must exist; a frame that cannot be made or written
// is left out and its sentence returned.
std::vector<std::string> write(const std::string& directory);

}  // namespace tovrel::tools::PreviewFrames
