// The 8-bit palette picture of one GIF frame, made from the writer's working
// bitmap by the path its depth selects.
#pragma once

#include <cstdint>

#include <FreeImage.h>

namespace qv::gif {

struct FramePicture {
    FIBITMAP* picture = nullptr;  // null: no 8-bit picture could be made
    bool owned = false;           // a quantised copy, released by the frame call
};

// Depth 8: the working bitmap itself, with the colour table the host read
// filled in. Depth 24: its NeuQuant quantisation (FreeImage's bytes). Any other
// depth: widened to 24 bits first (the copy is released at once).
FramePicture AcquireFramePicture(FIBITMAP* workBitmap, int16_t bitsPerPixel);

void ReleaseFramePicture(FramePicture& frame);

}  // namespace qv::gif
