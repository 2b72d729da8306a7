// Saving one host picture as a JPEG, TIFF or PNG file through FreeImage.
#pragma once

#include <cstdint>

#include <FreeImage.h>
#include <quorvane/quorvane.h>

namespace qv::still {

inline constexpr int32_t kFormatJpeg = 4;
inline constexpr int32_t kFormatTiff = 5;

// 4 JPEG, 5 TIFF, every other value PNG.
FREE_IMAGE_FORMAT FileFormatFor(int32_t format);

// Whether a picture of this depth must be widened to 24 bits before it is
// saved in `fileFormat`: TIFF keeps 4, 8 and 24 bits, JPEG and PNG only 24.
bool NeedsWidening(FREE_IMAGE_FORMAT fileFormat, int32_t bitsPerPixel);

// Returns 1 when the file was saved, 0 when not (including when FreeImage
// cannot allocate or widen the picture, and when the file system refused
// some of the bytes); every bitmap made is released.
int32_t SaveHostPicture(QvDC imageDC, QvBitmap imageBitmap, int32_t width, int32_t height,
                        int32_t bitsPerPixel, const char* fileName, int32_t format, int32_t saveFlags);

}  // namespace qv::still
