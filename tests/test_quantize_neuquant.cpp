// The library's NeuQuant against FreeImage 3.18's FIQ_NNQUANT quantiser:
// every palette entry and every index byte must match, with each kernel
// forced in turn, on random pictures of every shape and on real photographs.
#include <gtest/gtest.h>

#include <FreeImage.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "quantize/kernel_select.h"
#include "quantize/neuquant.h"

namespace {

using qv::quantize::Kernel;
// Thirty-two random bits a draw.
using Random = std::independent_bits_engine<std::mt19937, 32, uint32_t>;

struct Unload {
    void operator()(FIBITMAP* bitmap) const { FreeImage_Unload(bitmap); }
};
using Picture = std::unique_ptr<FIBITMAP, Unload>;

const Kernel kKernels[] = {Kernel::Portable, Kernel::Avx2, Kernel::Avx512};

class KernelSwitch {
public:
    explicit KernelSwitch(Kernel k) : previous_(qv::quantize::ActiveKernel()) { ok_ = qv::quantize::UseKernel(k); }
    ~KernelSwitch() { qv::quantize::UseKernel(previous_); }
    bool ok() const { return ok_; }

private:
    Kernel previous_;
    bool ok_ = false;
};

using Painter = std::function<void(int x, int y, BYTE* bgr)>;

Picture Paint(int width, int height, const Painter& paint)
{
    Picture picture(FreeImage_Allocate(width, height, 24));
    for (int y = 0; y < height; ++y) {
        BYTE* row = FreeImage_GetScanLine(picture.get(), y);
        for (int x = 0; x < width; ++x) paint(x, y, row + 3 * x);
    }
    return picture;
}

// Empty when the two agree; otherwise where they first differ.
std::string Difference(FIBITMAP* expected, FIBITMAP* actual)
{
    if (expected == nullptr || actual == nullptr)
        return expected == actual ? "" : "one result is null";
    if (FreeImage_GetBPP(actual) != 8 || FreeImage_GetWidth(actual) != FreeImage_GetWidth(expected) ||
        FreeImage_GetHeight(actual) != FreeImage_GetHeight(expected))
        return "shape differs";
    const RGBQUAD* want = FreeImage_GetPalette(expected);
    const RGBQUAD* got = FreeImage_GetPalette(actual);
    for (int i = 0; i < 256; ++i)
        if (std::memcmp(&want[i], &got[i], sizeof(RGBQUAD)) != 0) return "palette entry " + std::to_string(i);
    const unsigned width = FreeImage_GetWidth(expected);
    for (unsigned y = 0; y < FreeImage_GetHeight(expected); ++y) {
        const BYTE* a = FreeImage_GetScanLine(expected, static_cast<int>(y));
        const BYTE* b = FreeImage_GetScanLine(actual, static_cast<int>(y));
        for (unsigned x = 0; x < width; ++x)
            if (a[x] != b[x])
                return "index at scan line " + std::to_string(y) + " column " + std::to_string(x) + ": " +
                       std::to_string(a[x]) + " expected, " + std::to_string(b[x]) + " given";
    }
    return "";
}

// Checks one picture against FreeImage with every kernel this processor has.
void ExpectSameAsFreeImage(FIBITMAP* picture, const std::string& label)
{
    Picture expected(FreeImage_ColorQuantize(picture, FIQ_NNQUANT));
    ASSERT_NE(expected, nullptr) << label;
    for (Kernel kernel : kKernels) {
        KernelSwitch use(kernel);
        if (!use.ok()) continue;
        Picture actual(qv::quantize::NeuQuantize(picture));
        EXPECT_EQ(Difference(expected.get(), actual.get()), "")
            << label << ", kernel " << qv::quantize::KernelName(kernel);
    }
}

TEST(NeuQuantKernels, ReportsWhichKernelsThisProcessorRuns)
{
    for (Kernel kernel : kKernels)
        if (!qv::quantize::KernelAvailable(kernel))
            std::printf("note: the %s kernel is not checked here (the processor lacks it)\n", qv::quantize::KernelName(kernel));
    EXPECT_TRUE(qv::quantize::KernelAvailable(Kernel::Portable));
    EXPECT_FALSE(KernelSwitch(Kernel::Portable).ok() == false);
}

TEST(NeuQuantPlainPictures, FlatPicturesOfEveryKindOfColour)
{
    const uint32_t colours[] = {0x000000, 0xFFFFFF, 0x808080, 0xFF0000, 0x00FF00, 0x0000FF, 0x123456, 0xFEFDFC, 0x010203};
    for (uint32_t colour : colours)
        for (int size : {1, 3, 17, 64}) {
            Picture picture = Paint(size, size + 1, [&](int, int, BYTE* p) {
                p[FI_RGBA_RED] = static_cast<BYTE>(colour >> 16);
                p[FI_RGBA_GREEN] = static_cast<BYTE>(colour >> 8);
                p[FI_RGBA_BLUE] = static_cast<BYTE>(colour);
            });
            ExpectSameAsFreeImage(picture.get(), "flat " + std::to_string(colour) + " at " + std::to_string(size));
        }
}

TEST(NeuQuantPlainPictures, TwoColoursInStripesAndCheckers)
{
    for (int w : {2, 15, 100})
        for (int h : {1, 16, 77}) {
            Picture stripes = Paint(w, h, [](int x, int, BYTE* p) {
                p[0] = p[1] = p[2] = x % 2 ? 255 : 0;
            });
            ExpectSameAsFreeImage(stripes.get(), "stripes " + std::to_string(w) + "x" + std::to_string(h));
            Picture checkers = Paint(w, h, [](int x, int y, BYTE* p) {
                const bool on = (x / 3 + y / 3) % 2;
                p[FI_RGBA_RED] = on ? 200 : 10;
                p[FI_RGBA_GREEN] = on ? 30 : 220;
                p[FI_RGBA_BLUE] = on ? 90 : 90;
            });
            ExpectSameAsFreeImage(checkers.get(), "checkers " + std::to_string(w) + "x" + std::to_string(h));
        }
}

TEST(NeuQuantPlainPictures, GradientsAndNoise)
{
    Random rng(7);
    const int sizes[][2] = {{256, 1}, {1, 256}, {320, 240}, {123, 457}};
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        Picture ramp = Paint(w, h, [&](int x, int y, BYTE* p) {
            p[FI_RGBA_RED] = static_cast<BYTE>(x * 255 / std::max(w - 1, 1));
            p[FI_RGBA_GREEN] = static_cast<BYTE>(y * 255 / std::max(h - 1, 1));
            p[FI_RGBA_BLUE] = static_cast<BYTE>((x + y) & 255);
        });
        ExpectSameAsFreeImage(ramp.get(), "gradient " + std::to_string(w) + "x" + std::to_string(h));
        Picture grey = Paint(w, h, [&](int x, int y, BYTE* p) { p[0] = p[1] = p[2] = static_cast<BYTE>((x + 3 * y) & 255); });
        ExpectSameAsFreeImage(grey.get(), "grey ramp " + std::to_string(w) + "x" + std::to_string(h));
        Picture noise = Paint(w, h, [&](int, int, BYTE* p) {
            const uint32_t v = rng();
            p[0] = static_cast<BYTE>(v);
            p[1] = static_cast<BYTE>(v >> 8);
            p[2] = static_cast<BYTE>(v >> 16);
        });
        ExpectSameAsFreeImage(noise.get(), "noise " + std::to_string(w) + "x" + std::to_string(h));
    }
}

// Random content of a random style: noise over a few colours, smooth fields,
// or blocks, so that ties in the searches come up often.
Picture RandomPicture(Random& rng, int w, int h)
{
    const int style = static_cast<int>(rng() % 4);
    std::vector<uint32_t> few(1 + rng() % 6);
    for (auto& c : few) c = rng();
    const uint32_t salt = rng();
    return Paint(w, h, [&](int x, int y, BYTE* p) {
        uint32_t v = 0;
        switch (style) {
        case 0: v = rng(); break;
        case 1: v = few[rng() % few.size()]; break;
        case 2: v = static_cast<uint32_t>(x * 3 + (y * 5 << 8) + ((x ^ y) << 16)) + salt; break;
        default: v = few[static_cast<size_t>((x / 4 + y / 3)) % few.size()] ^ (rng() & 0x030303); break;
        }
        p[0] = static_cast<BYTE>(v);
        p[1] = static_cast<BYTE>(v >> 8);
        p[2] = static_cast<BYTE>(v >> 16);
    });
}

TEST(NeuQuantRandomPictures, ThousandsOfSmallPicturesIncludingFewerPixelsThanNeurons)
{
    Random rng(2026);
    for (int n = 0; n < 2500; ++n) {
        // Half below 256 pixels, where the network outnumbers the samples.
        const int w = 1 + static_cast<int>(rng() % (n % 2 ? 16 : 48));
        const int h = 1 + static_cast<int>(rng() % (n % 2 ? 16 : 48));
        Picture picture = RandomPicture(rng, w, h);
        ExpectSameAsFreeImage(picture.get(), "random picture " + std::to_string(n) + " (" + std::to_string(w) + "x" +
                                                 std::to_string(h) + ")");
        if (HasFailure()) return;
    }
}

TEST(NeuQuantRandomPictures, AHandfulOfLargePicturesUpToFullHd)
{
    Random rng(99);
    // 499 x 491: the byte count is a multiple of the first two step primes.
    const int sizes[][2] = {{1920, 1080}, {1000, 7}, {3, 1500}, {499, 491}};
    for (const auto& s : sizes) {
        Picture picture = RandomPicture(rng, s[0], s[1]);
        ExpectSameAsFreeImage(picture.get(), "large picture " + std::to_string(s[0]) + "x" + std::to_string(s[1]));
    }
}

TEST(NeuQuantPhotographs, DebianSampleImages)
{
    const std::filesystem::path dir = "/usr/lib/python3/dist-packages/skimage/data";
    int checked = 0;
    for (const char* name : {"astronaut.png", "chelsea.png", "coffee.png", "motorcycle_left.png", "rocket.jpg", "camera.png"}) {
        const std::string path = (dir / name).string();
        const FREE_IMAGE_FORMAT format = FreeImage_GetFileType(path.c_str());
        if (format == FIF_UNKNOWN) continue;
        Picture loaded(FreeImage_Load(format, path.c_str()));
        if (!loaded) continue;
        Picture picture(FreeImage_ConvertTo24Bits(loaded.get()));
        ASSERT_NE(picture, nullptr) << name;
        ExpectSameAsFreeImage(picture.get(), name);
        ++checked;
    }
    EXPECT_GE(checked, 5) << "python3-skimage's sample pictures are missing";
}

TEST(NeuQuantContract, RefusesWhatFreeImageRefuses)
{
    Picture wide(FreeImage_Allocate(8, 8, 32));
    EXPECT_EQ(qv::quantize::NeuQuantize(wide.get()), nullptr);
    Picture grey(FreeImage_Allocate(8, 8, 8));
    EXPECT_EQ(qv::quantize::NeuQuantize(grey.get()), nullptr);
    Picture wideChannels(FreeImage_AllocateT(FIT_RGB16, 8, 8, 48));
    EXPECT_EQ(qv::quantize::NeuQuantize(wideChannels.get()), nullptr);
    EXPECT_EQ(qv::quantize::NeuQuantize(nullptr), nullptr);
}

TEST(NeuQuantContract, SmallerPalettesAndReservedEntries)
{
    Random rng(5);
    RGBQUAD reserve[4] = {{1, 2, 3, 0}, {250, 251, 252, 0}, {9, 200, 9, 0}, {0, 0, 0, 0}};
    for (int paletteSize : {2, 7, 8, 100, 255, 256})
        for (int reserveSize : {0, 1, 4}) {
            Picture picture = RandomPicture(rng, 40, 30);
            Picture expected(FreeImage_ColorQuantizeEx(picture.get(), FIQ_NNQUANT, paletteSize, reserveSize, reserve));
            for (Kernel kernel : kKernels) {
                KernelSwitch use(kernel);
                if (!use.ok()) continue;
                Picture actual(qv::quantize::NeuQuantize(picture.get(), paletteSize, reserveSize, reserve));
                EXPECT_EQ(Difference(expected.get(), actual.get()), "")
                    << paletteSize << " colours, " << reserveSize << " reserved, kernel " << qv::quantize::KernelName(kernel);
            }
        }
}

}  // namespace
