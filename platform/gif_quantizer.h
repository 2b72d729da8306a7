// The 256-colour reduction of a 24-bit picture for a GIF frame. The portable
// build runs the library's own NeuQuant (the same bytes as FreeImage's, much
// faster); the Windows library calls the host's FreeImage.dll, as it does for
// every image call.
#pragma once

#include <FreeImage.h>

namespace qv::platform {

// A new 8-bit picture with a 256-entry palette, or null. Never throws.
FIBITMAP* QuantizeGifFrame(FIBITMAP* picture24);

}  // namespace qv::platform
