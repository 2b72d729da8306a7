// Still-image export: one host picture to a JPEG, TIFF or PNG file.
#include <quorvane/quorvane.h>

#include "api/export_guard.h"
#include "common/result_codes.h"
#include "still/still_export.h"

extern "C" QV_API int32_t QV_CALL SaveToFreeImage(QvDC imageDC, QvBitmap imageBitmap, int32_t width,
                                                  int32_t height, int32_t bitsPerPixel,
                                                  const char* fileName, int32_t format, int32_t saveFlags)
{
    return qv::api::Guarded(qv::result::kStillNotSaved, [&] {
        return qv::still::SaveHostPicture(imageDC, imageBitmap, width, height, bitsPerPixel, fileName, format,
                                          saveFlags);
    });
}
