// Pictures of another shape than the output (--size with --fit): stretched
// to fill it, scaled whole into it with bands of the background colour
// (letterbox), or scaled to cover it with the overhang cut off (crop).
#pragma once

#include <cstdint>
#include <string>

#include "cli_options.h"
#include "host_picture.h"
#include "picture_loading.h"

namespace qvcli {

enum class FitMode { Stretch, Letterbox, Crop };

// Throws a UsageError for anything but stretch, letterbox or crop.
FitMode ParseFitMode(const std::string& text);

// Where a picture goes in the output: scaled to width x height with its
// top-left pixel at (left, top), negative when cropped.
struct Placement {
    int width = 0, height = 0;
    int left = 0, top = 0;
};

Placement PlacePicture(Size2 picture, Size2 output, FitMode mode);

// Whether the two sizes have the same shape (width : height).
bool SameShape(Size2 a, Size2 b);

// The picture at the output size as `mode` places it, on the background.
HostPicture FitPicture(const InputPicture& picture, Size2 output, FitMode mode, uint32_t backgroundRgb);

}  // namespace qvcli
