#include "picture_fit.h"

#include <algorithm>
#include <cmath>

#include "cli_error.h"

namespace qvcli {

FitMode ParseFitMode(const std::string& text)
{
    if (text == "stretch") return FitMode::Stretch;
    if (text == "letterbox") return FitMode::Letterbox;
    if (text == "crop") return FitMode::Crop;
    throw UsageError("--fit: '" + text + "' is not stretch, letterbox or crop");
}

bool SameShape(Size2 a, Size2 b) { return int64_t{a.width} * b.height == int64_t{a.height} * b.width; }

Placement PlacePicture(Size2 picture, Size2 output, FitMode mode)
{
    if (mode == FitMode::Stretch || SameShape(picture, output)) return {output.width, output.height, 0, 0};
    const double sx = double(output.width) / picture.width, sy = double(output.height) / picture.height;
    const double s = mode == FitMode::Letterbox ? std::min(sx, sy) : std::max(sx, sy);
    // The side that fits exactly is taken as it is, so no rounding leaves a
    // one-pixel band or overhang there.
    Placement p;
    p.width = s == sx ? output.width : std::max(1, static_cast<int>(std::lround(picture.width * s)));
    p.height = s == sy ? output.height : std::max(1, static_cast<int>(std::lround(picture.height * s)));
    p.left = (output.width - p.width) / 2;
    p.top = (output.height - p.height) / 2;
    return p;
}

HostPicture FitPicture(const InputPicture& picture, Size2 output, FitMode mode, uint32_t backgroundRgb)
{
    const Placement p = PlacePicture(picture.size(), output, mode);
    if (p.width == output.width && p.height == output.height) return picture.ToHost(output);
    const HostPicture scaled = picture.ToHost({p.width, p.height});
    HostPicture fitted(output.width, output.height);
    for (int y = 0; y < output.height; ++y) {
        uint32_t* out = fitted.row(y);
        const int sy = y - p.top;
        for (int x = 0; x < output.width; ++x) {
            const int sx = x - p.left;
            const bool inside = sy >= 0 && sy < p.height && sx >= 0 && sx < p.width;
            out[x] = inside ? scaled.row(sy)[sx] : backgroundRgb;
        }
    }
    return fitted;
}

}  // namespace qvcli
