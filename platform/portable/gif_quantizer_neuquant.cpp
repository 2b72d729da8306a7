#include "platform/gif_quantizer.h"

#include "quantize/neuquant.h"

namespace qv::platform {

FIBITMAP* QuantizeGifFrame(FIBITMAP* picture24) { return quantize::QuantizeForGif(picture24); }

}  // namespace qv::platform
