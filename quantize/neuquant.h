// NeuQuant colour quantisation that gives, palette entry for palette entry
// and index for index, what FreeImage 3.18's FreeImage_ColorQuantizeEx(dib,
// FIQ_NNQUANT, ...) gives, but with the network search and the neighbourhood
// updates on vectors.
#pragma once

#include <FreeImage.h>

namespace qv::quantize {

// A new 8-bit picture of a 24-bit one (FIT_BITMAP with pixels), or null where
// FreeImage's quantiser returns null (any other picture) or on no memory.
// paletteSize is kept to 2..256 and reserveSize to 0..paletteSize; the last
// reserveSize entries of the palette are reserve[0..reserveSize).
FIBITMAP* NeuQuantize(FIBITMAP* dib, int paletteSize = 256, int reserveSize = 0, const RGBQUAD* reserve = nullptr);

// The GIF writers' 256-colour reduction of a 24-bit picture: ours, unless the
// environment variable QUORVANE_QUANTIZER is "freeimage", which routes it to
// FreeImage_ColorQuantize(dib, FIQ_NNQUANT) (same result; a safety valve and
// a way to compare). Never throws.
FIBITMAP* QuantizeForGif(FIBITMAP* dib);

}  // namespace qv::quantize
