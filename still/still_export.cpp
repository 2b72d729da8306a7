#include "still/still_export.h"

#include "common/result_codes.h"

#include "platform/graphics.h"
#include "platform/image_library.h"
#include "still/checked_save.h"

namespace qv::still {

FREE_IMAGE_FORMAT FileFormatFor(int32_t format)
{
    switch (format) {
    case kFormatJpeg:
        return FIF_JPEG;
    case kFormatTiff:
        return FIF_TIFF;
    default:
        return FIF_PNG;
    }
}

bool NeedsWidening(FREE_IMAGE_FORMAT fileFormat, int32_t bitsPerPixel)
{
    if (bitsPerPixel == 24) {
        return false;
    }
    if (fileFormat == FIF_TIFF) {
        return bitsPerPixel != 4 && bitsPerPixel != 8;
    }
    return true;
}

int32_t SaveHostPicture(QvDC imageDC, QvBitmap imageBitmap, int32_t width, int32_t height,
                        int32_t bitsPerPixel, const char* fileName, int32_t format, int32_t saveFlags)
{
    // FreeImage takes a negative size by its magnitude; a picture the host
    // did not describe is not saved, nor one without a file name.
    if (fileName == nullptr || width < 1 || height < 1 || !platform::ImageLibraryAvailable()) {
        return qv::result::kStillNotSaved;
    }
    FIBITMAP* picture = FreeImage_Allocate(width, height, bitsPerPixel, 0, 0, 0);
    if (picture == nullptr) {
        return qv::result::kStillNotSaved;
    }
    BITMAPINFO* info = FreeImage_GetInfo(picture);
    BYTE* bits = FreeImage_GetBits(picture);
    // Bottom-up layout: the host's bottom row lands in scan line 0.
    gfx::GetDIBits(imageDC, imageBitmap, 0, static_cast<uint32_t>(height), bits, info, gfx::kDibRgbColors);

    const FREE_IMAGE_FORMAT fileFormat = FileFormatFor(format);
    if (NeedsWidening(fileFormat, bitsPerPixel)) {
        FIBITMAP* wide = FreeImage_ConvertTo24Bits(picture);
        FreeImage_Unload(picture);
        if (wide == nullptr) {
            return qv::result::kStillNotSaved;
        }
        picture = wide;
    }
    const bool saved = SaveCheckingWrites(fileFormat, picture, fileName, saveFlags);
    FreeImage_Unload(picture);
    return saved ? qv::result::kStillSaved : qv::result::kStillNotSaved;
}

}  // namespace qv::still
