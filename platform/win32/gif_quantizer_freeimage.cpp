#include "platform/gif_quantizer.h"

namespace qv::platform {

FIBITMAP* QuantizeGifFrame(FIBITMAP* picture24)
{
    // FreeImage's quantiser throws when its own allocations fail.
    try {
        return FreeImage_ColorQuantize(picture24, FIQ_NNQUANT);
    } catch (...) {
        return nullptr;
    }
}

}  // namespace qv::platform
