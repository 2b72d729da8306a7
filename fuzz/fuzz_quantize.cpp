// The library's NeuQuant against FreeImage's FIQ_NNQUANT on arbitrary
// pictures: size, palette size, reserved entries, kernel and pixels from the
// input (pixels drawn from a few colours, so that searches tie often, or
// taken as they come). Any difference in the palette or an index aborts.
#include <FreeImage.h>

#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"
#include "quantize/kernel_select.h"
#include "quantize/neuquant.h"

QV_FUZZ_TARGET(FuzzQuantize)
{
    qvfuzz::Input in(data, size);
    const int width = in.range(1, 96), height = in.range(1, 96);
    const uint8_t shape = in.byte();
    const int paletteSize = shape & 1 ? in.range(-2, 262) : 256;
    const int reserveSize = shape & 2 ? in.range(-1, 8) : 0;
    RGBQUAD reserve[8];
    for (auto& entry : reserve) entry = {in.byte(), in.byte(), in.byte(), 0};
    const qv::quantize::Kernel kernels[] = {qv::quantize::Kernel::Portable, qv::quantize::Kernel::Avx2,
                                            qv::quantize::Kernel::Avx512};
    const qv::quantize::Kernel kernel = kernels[in.byte() % 3];
    if (!qv::quantize::UseKernel(kernel)) qv::quantize::UseKernel(qv::quantize::Kernel::Portable);

    // Up to 16 colours to draw from; with none, the bytes are the pixels.
    const int colours = in.byte() % 17;
    uint8_t table[16][3];
    for (int c = 0; c < colours; ++c)
        for (auto& channel : table[c]) channel = in.byte();
    FIBITMAP* picture = FreeImage_Allocate(width, height, 24);
    if (picture == nullptr) return 0;
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(picture, y);
        for (int x = 0; x < width; ++x) {
            if (colours > 0) std::memcpy(row + 3 * x, table[in.byte() % colours], 3);
            else
                for (int k = 0; k < 3; ++k) row[3 * x + k] = in.byte();
        }
    }

    FIBITMAP* theirs = FreeImage_ColorQuantizeEx(picture, FIQ_NNQUANT, paletteSize, reserveSize, reserve);
    FIBITMAP* ours = qv::quantize::NeuQuantize(picture, paletteSize, reserveSize, reserve);
    if ((theirs == nullptr) != (ours == nullptr)) std::abort();
    if (theirs != nullptr) {
        if (std::memcmp(FreeImage_GetPalette(theirs), FreeImage_GetPalette(ours), 256 * sizeof(RGBQUAD)) != 0) std::abort();
        for (int y = 0; y < height; ++y)
            if (std::memcmp(FreeImage_GetScanLine(theirs, y), FreeImage_GetScanLine(ours, y), static_cast<size_t>(width)) != 0)
                std::abort();
    }
    FreeImage_Unload(theirs);
    FreeImage_Unload(ours);
    FreeImage_Unload(picture);
    return 0;
}
