#include "gif_frame_quantiser.h"

#include <FreeImage.h>

#include <cstring>
#include <memory>

#include "cli_error.h"
#include "quantize/neuquant.h"

namespace qvcli {

namespace {

struct Unload {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using Picture = std::unique_ptr<FIBITMAP, Unload>;

}  // namespace

HostPicture QuantiseForGif(const HostPicture& frame)
{
    const int width = frame.width(), height = frame.height();
    Picture work(FreeImage_Allocate(width, height, 32, 0, 0, 0));
    if (!work) throw CliError("no memory to reduce a frame to 256 colours");
    // FreeImage's scan line 0 is the bottom row.
    for (int y = 0; y < height; ++y)
        std::memcpy(FreeImage_GetScanLine(work.get(), height - 1 - y), frame.row(y), static_cast<size_t>(width) * 4);
    Picture wide(FreeImage_ConvertTo24Bits(work.get()));
    if (!wide) throw CliError("no memory to reduce a frame to 256 colours");
    work.reset();
    Picture quantised(qv::quantize::QuantizeForGif(wide.get()));
    if (!quantised || FreeImage_GetBPP(quantised.get()) != 8 || FreeImage_GetPalette(quantised.get()) == nullptr)
        throw CliError("a frame could not be reduced to 256 colours");

    HostPicture reduced(width, height, 8);
    const RGBQUAD* palette = FreeImage_GetPalette(quantised.get());
    uint32_t* entries = GetHostBitmapPalette(reduced.bitmap());
    for (int i = 0; i < 256; ++i)
        entries[i] = uint32_t{palette[i].rgbRed} << 16 | uint32_t{palette[i].rgbGreen} << 8 | palette[i].rgbBlue;
    for (int y = 0; y < height; ++y)
        std::memcpy(reduced.bytes(y), FreeImage_GetScanLine(quantised.get(), height - 1 - y), static_cast<size_t>(width));
    return reduced;
}

}  // namespace qvcli
