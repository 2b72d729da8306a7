// A rendered frame reduced to the 256 colours that the GIF writer would give
// it, so that this slow step can run on the rendering threads.
#pragma once

#include "host_picture.h"

namespace qvcli {

// The writer, started at 32 bits, reads a frame bottom row first into a
// 32-bit FreeImage picture, widens it to 24 bits and quantises it with
// NeuQuant. This does the same here and returns an 8-bit picture with the
// resulting palette and indices, which a writer started at 8 bits stores as
// they are: the file is byte for byte the one the 32-bit frame would give.
// Safe to call from several threads at once. Throws CliError.
HostPicture QuantiseForGif(const HostPicture& frame);

}  // namespace qvcli
