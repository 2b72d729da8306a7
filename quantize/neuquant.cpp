// NeuQuant (Anthony Dekker, 1994) as FreeImage 3.18 runs it for
// FIQ_NNQUANT, reproduced step for step because the palette and indices must
// match FreeImage's to the byte: the same pseudo-random sample order over the
// picture's bytes (scan line 0 first), the same integer shifts and truncating
// divisions, the first best neuron winning every search, the same
// selection sort on green and the same outward search for each pixel.
#include "quantize/neuquant.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "quantize/colour_index.h"
#include "quantize/kernel_select.h"
#include "quantize/network.h"

namespace qv::quantize {
namespace {

// Four primes near 500: the sample step is the first that does not divide
// the picture's byte count.
constexpr int kPrimes[] = {499, 491, 487, 503};

struct Geometry {
    int width = 0, height = 0;
    unsigned line = 0;   // bytes of pixels per scan line (3 x width)
    unsigned pitch = 0;  // bytes from one scan line to the next
    const BYTE* bits = nullptr;
};

void InitNetwork(Network& net, int size)
{
    net.size = size;
    for (int i = 0; i < kMaxNeurons + kVectorPad; ++i) {
        const bool learning = i < size;
        const int32_t start = learning ? (i << (kNetBiasShift + 8)) / size : kFarAway;
        net.b[i] = net.g[i] = net.r[i] = start;
        net.freq[i] = learning ? kIntBias / size : 0;
        net.bias[i] = 0;
    }
}

// radpower[d] = alpha * (1 - d^2 / rad^2) for 0 < d < rad, laid out by signed
// offset from the hit neuron.
void SetNeighbourWeights(Network& net, int rad, int alpha)
{
    std::memset(net.weight, 0, sizeof net.weight);
    for (int d = 1; d < rad; ++d) {
        const int power = alpha * (((rad * rad - d * d) * kRadBias) / (rad * rad));
        net.weight[kWeightCentre + d] = power;
        net.weight[kWeightCentre - d] = power;
    }
}

void Learn(Network& net, const Geometry& picture, int sampling, int initRadius, const Kernels& kernels)
{
    const long long lengthcount = static_cast<long long>(picture.width) * picture.height * 3;
    const int samplepixels = static_cast<int>(lengthcount / (3 * sampling));
    int delta = samplepixels / kCycles;
    if (delta == 0) delta = 1;  // very small pictures

    const int alphadec = 30 + ((sampling - 1) / 3);
    int alpha = kInitAlpha;
    int radius = initRadius;
    int rad = radius >> kRadiusBiasShift;
    if (rad <= 1) rad = 0;
    SetNeighbourWeights(net, rad, alpha);

    int step = 3 * kPrimes[3];
    for (int k = 0; k < 3; ++k) {
        if (lengthcount % kPrimes[k] != 0) {
            step = 3 * kPrimes[k];
            break;
        }
    }

    const bool narrow = lengthcount <= 0xFFFFFFFFll;
    long long pos = 0;
    int untilDecrease = delta;
    for (int i = 0; i < samplepixels;) {
        // 32-bit division where the byte count allows: this runs for every sample.
        const size_t row = narrow ? static_cast<uint32_t>(pos) / picture.line : static_cast<size_t>(pos / picture.line);
        const size_t column = narrow ? static_cast<uint32_t>(pos) % picture.line : static_cast<size_t>(pos % picture.line);
        const BYTE* sample = picture.bits + row * picture.pitch + column;
        const int b = sample[FI_RGBA_BLUE] << kNetBiasShift;
        const int g = sample[FI_RGBA_GREEN] << kNetBiasShift;
        const int r = sample[FI_RGBA_RED] << kNetBiasShift;

        const int j = kernels.contest(net, b, g, r);
        net.b[j] -= (alpha * (net.b[j] - b)) / kInitAlpha;
        net.g[j] -= (alpha * (net.g[j] - g)) / kInitAlpha;
        net.r[j] -= (alpha * (net.r[j] - r)) / kInitAlpha;
        if (rad) kernels.alterNeighbours(net, rad, j, b, g, r);

        pos += step;
        while (pos >= lengthcount) pos -= lengthcount;

        ++i;
        if (--untilDecrease == 0) {  // i % delta == 0, without a division per sample
            untilDecrease = delta;
            alpha -= alpha / alphadec;
            radius -= radius / kRadiusDec;
            rad = radius >> kRadiusBiasShift;
            if (rad <= 1) rad = 0;
            SetNeighbourWeights(net, rad, alpha);
        }
    }
}

// Selection sort on green (the first smallest moves up, as in the original)
// and the search start for each green value.
void BuildIndex(ColourIndex& index, int maxnetpos)
{
    int previouscol = 0, startpos = 0;
    for (int i = 0; i < index.size; ++i) {
        int smallpos = i, smallval = index.g[i];
        for (int j = i + 1; j < index.size; ++j) {
            if (index.g[j] < smallval) {
                smallpos = j;
                smallval = index.g[j];
            }
        }
        if (i != smallpos) {
            std::swap(index.b[i], index.b[smallpos]);
            std::swap(index.g[i], index.g[smallpos]);
            std::swap(index.r[i], index.r[smallpos]);
            std::swap(index.entry[i], index.entry[smallpos]);
        }
        if (smallval != previouscol) {
            index.start[previouscol] = (startpos + i) >> 1;
            for (int j = previouscol + 1; j < smallval; ++j) index.start[j] = i;
            previouscol = smallval;
            startpos = i;
        }
    }
    index.start[previouscol] = (startpos + maxnetpos) >> 1;
    for (int j = previouscol + 1; j < 256; ++j) index.start[j] = maxnetpos;
}

// Frames hold long runs of few colours: the search result of recent colours
// is kept in a small direct-mapped table (the result depends on the colour
// alone, so this changes nothing).
class SearchCache {
public:
    explicit SearchCache(SearchKernel search) : search_(search) {}

    int Find(const ColourIndex& index, int b, int g, int r)
    {
        const uint32_t colour = static_cast<uint32_t>(b | g << 8 | r << 16);
        const uint32_t slot = (colour * 2654435761u) >> (32 - kBits);
        if (tag_[slot] == colour + 1) return found_[slot];
        const int best = search_(index, b, g, r);
        tag_[slot] = colour + 1;
        found_[slot] = static_cast<BYTE>(best);
        return best;
    }

private:
    static constexpr int kBits = 14;
    SearchKernel search_;
    std::vector<uint32_t> tag_ = std::vector<uint32_t>(1u << kBits, 0);  // colour + 1; 0 is empty
    std::vector<BYTE> found_ = std::vector<BYTE>(1u << kBits, 0);
};

FIBITMAP* Quantize(FIBITMAP* dib, int paletteSize, int reserveSize, const RGBQUAD* reserve)
{
    Geometry picture;
    picture.width = static_cast<int>(FreeImage_GetWidth(dib));
    picture.height = static_cast<int>(FreeImage_GetHeight(dib));
    picture.line = FreeImage_GetLine(dib);
    picture.pitch = FreeImage_GetPitch(dib);
    picture.bits = FreeImage_GetBits(dib);

    // Only the sampling factor FreeImage_ColorQuantize uses; small pictures
    // would fall back to 1 anyway.
    int sampling = 1;
    const long long adjust = static_cast<long long>(picture.width) * picture.height / kCycles;
    if (sampling >= adjust) sampling = 1;

    const int initrad = paletteSize < 8 ? 1 : (paletteSize >> 3);
    const Kernels kernels = ActiveKernels();
    // Plain failed allocations, not exceptions, for the large tables: a
    // frame that cannot be reduced is an expected outcome under memory
    // pressure, and the writer only needs to hear null.
    std::unique_ptr<ColourIndex> index(new (std::nothrow) ColourIndex());
    if (!index) return nullptr;
    index->size = paletteSize;
    for (int i = paletteSize; i < kMaxEntries + kEntryPad; ++i) index->b[i] = index->g[i] = index->r[i] = kFarEntry;
    if (paletteSize > reserveSize) {
        std::unique_ptr<Network> net(new (std::nothrow) Network());
        if (!net) return nullptr;
        const int learning = paletteSize - reserveSize;
        InitNetwork(*net, learning);
        Learn(*net, picture, sampling, initrad * kRadiusBias, kernels);
        for (int i = 0; i < learning; ++i) {
            const int32_t* channel[3] = {net->b, net->g, net->r};
            int unbiased[3];
            for (int c = 0; c < 3; ++c) {
                const int temp = (channel[c][i] + (1 << (kNetBiasShift - 1))) >> kNetBiasShift;
                unbiased[c] = temp > 255 ? 255 : temp;
            }
            index->b[i] = static_cast<int16_t>(unbiased[0]);
            index->g[i] = static_cast<int16_t>(unbiased[1]);
            index->r[i] = static_cast<int16_t>(unbiased[2]);
            index->entry[i] = static_cast<uint8_t>(i);
        }
    }
    for (int i = 0; i < reserveSize; ++i) {
        const int at = paletteSize - reserveSize + i;
        index->b[at] = reserve[i].rgbBlue;
        index->g[at] = reserve[i].rgbGreen;
        index->r[at] = reserve[i].rgbRed;
        index->entry[at] = static_cast<uint8_t>(at);
    }

    // The 8-bit picture is held so that a failed allocation after it (the
    // search cache, the metadata copy) releases it on the way out.
    std::unique_ptr<FIBITMAP, decltype(&FreeImage_Unload)> held(FreeImage_Allocate(picture.width, picture.height, 8),
                                                                 &FreeImage_Unload);
    FIBITMAP* reduced = held.get();
    if (reduced == nullptr) return nullptr;
    RGBQUAD* palette = FreeImage_GetPalette(reduced);
    for (int j = 0; j < paletteSize; ++j) {
        palette[j].rgbBlue = static_cast<BYTE>(index->b[j]);
        palette[j].rgbGreen = static_cast<BYTE>(index->g[j]);
        palette[j].rgbRed = static_cast<BYTE>(index->r[j]);
    }

    BuildIndex(*index, paletteSize - 1);
    SearchCache cache(kernels.search);
    for (int y = 0; y < picture.height; ++y) {
        BYTE* out = FreeImage_GetScanLine(reduced, y);
        const BYTE* in = FreeImage_GetScanLine(dib, y);
        for (int x = 0; x < picture.width; ++x, in += 3)
            out[x] = static_cast<BYTE>(cache.Find(*index, in[FI_RGBA_BLUE], in[FI_RGBA_GREEN], in[FI_RGBA_RED]));
    }
    FreeImage_CloneMetadata(reduced, dib);
    return held.release();
}

}  // namespace

FIBITMAP* NeuQuantize(FIBITMAP* dib, int paletteSize, int reserveSize, const RGBQUAD* reserve)
{
    if (paletteSize < 2) paletteSize = 2;
    if (paletteSize > 256) paletteSize = 256;
    if (reserveSize < 0) reserveSize = 0;
    if (reserveSize > paletteSize) reserveSize = paletteSize;
    if (!FreeImage_HasPixels(dib) || FreeImage_GetImageType(dib) != FIT_BITMAP || FreeImage_GetBPP(dib) != 24)
        return nullptr;
    if (reserveSize > 0 && reserve == nullptr) return nullptr;
    try {
        return Quantize(dib, paletteSize, reserveSize, reserve);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

FIBITMAP* QuantizeForGif(FIBITMAP* dib)
{
    const char* choice = std::getenv("QUORVANE_QUANTIZER");
    if (choice != nullptr && std::strcmp(choice, "freeimage") == 0) {
        // FreeImage's quantiser throws when its own allocations fail.
        try {
            return FreeImage_ColorQuantize(dib, FIQ_NNQUANT);
        } catch (...) {
            return nullptr;
        }
    }
    return NeuQuantize(dib);
}

}  // namespace qv::quantize
