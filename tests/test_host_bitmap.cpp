// Host stand-ins: bitmap creation limits, layout, palettes, device contexts
// and windows.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "platform/window.h"
#include "support/dib_buffers.h"

namespace {

using qv::test::MakeBitmap;

TEST(HostBitmapCreate, RejectsSizesBelowOne)
{
    EXPECT_EQ(CreateHostBitmap(0, 1, 32), nullptr);
    EXPECT_EQ(CreateHostBitmap(1, 0, 32), nullptr);
    EXPECT_EQ(CreateHostBitmap(-1, 5, 24), nullptr);
    EXPECT_EQ(CreateHostBitmap(5, -1, 8), nullptr);
    EXPECT_EQ(CreateHostBitmap(INT32_MIN, INT32_MIN, 1), nullptr);
}

TEST(HostBitmapCreate, RejectsUnsupportedDepths)
{
    for (int32_t depth : {0, 2, 3, 7, 12, 15, 48, 64, -32}) {
        SCOPED_TRACE(depth);
        EXPECT_EQ(CreateHostBitmap(4, 4, depth), nullptr);
    }
}

TEST(HostBitmapCreate, RejectsByteCountsThatDoNotFit)
{
    EXPECT_EQ(CreateHostBitmap(65536, 65536, 32), nullptr);       // 16 GiB
    EXPECT_EQ(CreateHostBitmap(INT32_MAX, 1, 32), nullptr);       // row alone is 8 GiB
    EXPECT_EQ(CreateHostBitmap(INT32_MAX, INT32_MAX, 1), nullptr);
    EXPECT_EQ(CreateHostBitmap(46341, 46341, 8), nullptr);        // 2^31 + 142443 bytes
    EXPECT_EQ(CreateHostBitmap(1, INT32_MAX, 8), nullptr);        // 4 bytes a row
}

TEST(HostBitmapCreate, AcceptsEverySupportedDepth)
{
    for (int32_t depth : {1, 4, 8, 16, 24, 32}) {
        SCOPED_TRACE(depth);
        auto bitmap = MakeBitmap(7, 3, depth);
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(GetHostBitmapWidth(bitmap.get()), 7);
        EXPECT_EQ(GetHostBitmapHeight(bitmap.get()), 3);
        EXPECT_EQ(GetHostBitmapDepth(bitmap.get()), depth);
        const uint8_t* bits = GetHostBitmapBits(bitmap.get());
        ASSERT_NE(bits, nullptr);
        const int32_t bytes = GetHostBitmapStride(bitmap.get()) * 3;
        for (int32_t i = 0; i < bytes; ++i) ASSERT_EQ(bits[i], 0) << "byte " << i;
    }
}

// Pictures of 4 MiB and more take memory on 2 MiB boundaries (for huge
// pages), rounded up; smaller ones do not. Both kinds start all black and
// are writable to their last byte.
TEST(HostBitmapCreate, LargePicturesAreAlignedZeroedAndWhole)
{
    const struct {
        int32_t width, height, depth;
        bool aligned;
    } cases[] = {{1024, 1023, 32, false}, {1024, 1024, 32, true}, {1921, 1081, 24, true}, {1920, 1080, 32, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        auto bitmap = MakeBitmap(c.width, c.height, c.depth);
        ASSERT_NE(bitmap, nullptr);
        uint8_t* bits = GetHostBitmapBits(bitmap.get());
        const size_t bytes = static_cast<size_t>(GetHostBitmapStride(bitmap.get())) * static_cast<size_t>(c.height);
        if (c.aligned) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(bits) % (uintptr_t{2} << 20), 0u);
        }
        size_t nonZero = 0;
        for (size_t i = 0; i < bytes; ++i) nonZero += bits[i] != 0;
        EXPECT_EQ(nonZero, 0u);
        bits[bytes - 1] = 0xAB;
        EXPECT_EQ(bits[bytes - 1], 0xAB);
    }
}

TEST(HostBitmapLayout, RowsArePaddedToFourBytes)
{
    struct Case {
        int32_t width, depth, stride;
    };
    for (const Case c : {Case{1, 1, 4}, Case{32, 1, 4}, Case{33, 1, 8}, Case{8, 4, 4}, Case{9, 4, 8},
                         Case{3, 8, 4}, Case{5, 8, 8}, Case{1, 16, 4}, Case{3, 16, 8},
                         Case{1, 24, 4}, Case{3, 24, 12}, Case{5, 24, 16}, Case{3, 32, 12}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.depth);
        auto bitmap = MakeBitmap(c.width, 2, c.depth);
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(GetHostBitmapStride(bitmap.get()), c.stride);
        EXPECT_EQ(qv::gfx::DibStride(c.width, c.depth), static_cast<uint32_t>(c.stride));
    }
}

TEST(HostBitmapLayout, DibStrideLimits)
{
    EXPECT_EQ(qv::gfx::DibStride(0, 32), 0u);
    EXPECT_EQ(qv::gfx::DibStride(-1, 8), 0u);
    EXPECT_EQ(qv::gfx::DibStride(10, 0), 0u);
    EXPECT_EQ(qv::gfx::DibStride(10, -24), 0u);
    EXPECT_EQ(qv::gfx::DibStride(INT32_MAX, 1), 268435456u);
    EXPECT_EQ(qv::gfx::DibStride(INT32_MAX, 8), 2147483648u);
    EXPECT_EQ(qv::gfx::DibStride(INT32_MAX, 16), 0u);  // exactly 2^32
    EXPECT_EQ(qv::gfx::DibStride(INT32_MAX, 24), 0u);
    EXPECT_EQ(qv::gfx::DibStride(INT32_MAX, 32), 0u);
}

TEST(HostBitmapAccess, NullHandlesReadAsZero)
{
    EXPECT_EQ(GetHostBitmapBits(nullptr), nullptr);
    EXPECT_EQ(GetHostBitmapStride(nullptr), 0);
    EXPECT_EQ(GetHostBitmapWidth(nullptr), 0);
    EXPECT_EQ(GetHostBitmapHeight(nullptr), 0);
    EXPECT_EQ(GetHostBitmapDepth(nullptr), 0);
    EXPECT_EQ(GetHostBitmapPalette(nullptr), nullptr);
    DeleteHostBitmap(nullptr);
    DeleteHostDC(nullptr);
    DeleteHostWindow(nullptr);
}

TEST(HostBitmapPalette, OneBitIsBlackAndWhite)
{
    auto bitmap = MakeBitmap(2, 2, 1);
    const uint32_t* palette = GetHostBitmapPalette(bitmap.get());
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(palette[0], 0x000000u);
    EXPECT_EQ(palette[1], 0xFFFFFFu);
}

TEST(HostBitmapPalette, FourBitsHoldTheSixteenDefaultColours)
{
    auto bitmap = MakeBitmap(2, 2, 4);
    const uint32_t* palette = GetHostBitmapPalette(bitmap.get());
    ASSERT_NE(palette, nullptr);
    const uint32_t expected[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                   0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                   0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(palette[i], expected[i]) << "entry " << i;
}

TEST(HostBitmapPalette, EightBitsHoldTheCubeAndAGreyRamp)
{
    auto bitmap = MakeBitmap(2, 2, 8);
    const uint32_t* palette = GetHostBitmapPalette(bitmap.get());
    ASSERT_NE(palette, nullptr);
    EXPECT_EQ(palette[0], 0x000000u);
    EXPECT_EQ(palette[1], 0x000033u);
    EXPECT_EQ(palette[5], 0x0000FFu);
    EXPECT_EQ(palette[6], 0x003300u);
    EXPECT_EQ(palette[36], 0x330000u);
    EXPECT_EQ(palette[36 * 3 + 6 * 4 + 5], 0x99CCFFu);
    EXPECT_EQ(palette[180], 0xFF0000u);
    EXPECT_EQ(palette[215], 0xFFFFFFu);
    EXPECT_EQ(palette[216], 0x060606u);   // 255 / 41 = 6.2
    EXPECT_EQ(palette[236], 0x838383u);   // 255 * 21 / 41 = 130.6
    EXPECT_EQ(palette[255], 0xF9F9F9u);   // 255 * 40 / 41 = 248.8
    std::set<uint32_t> distinct(palette, palette + 256);
    EXPECT_EQ(distinct.size(), 256u);
}

TEST(HostBitmapPalette, NoneAboveEightBits)
{
    for (int32_t depth : {16, 24, 32}) {
        auto bitmap = MakeBitmap(2, 2, depth);
        EXPECT_EQ(GetHostBitmapPalette(bitmap.get()), nullptr) << depth;
    }
}

TEST(HostBitmapPalette, EachBitmapOwnsItsPalette)
{
    auto first = MakeBitmap(2, 2, 8);
    auto second = MakeBitmap(2, 2, 8);
    GetHostBitmapPalette(first.get())[7] = 0x123456;
    EXPECT_EQ(GetHostBitmapPalette(first.get())[7], 0x123456u);
    EXPECT_EQ(GetHostBitmapPalette(second.get())[7], 0x003333u);
}

TEST(HostDeviceContext, SelectsAndReportsBitmaps)
{
    auto a = MakeBitmap(2, 2, 32);
    auto b = MakeBitmap(3, 3, 24);
    qv::test::DcHandle dc(CreateHostDC(a.get()));
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(GetHostSelectedBitmap(dc.get()), a.get());
    EXPECT_EQ(SelectHostBitmap(dc.get(), b.get()), a.get());
    EXPECT_EQ(GetHostSelectedBitmap(dc.get()), b.get());
    EXPECT_EQ(SelectHostBitmap(dc.get(), nullptr), b.get());
    EXPECT_EQ(GetHostSelectedBitmap(dc.get()), nullptr);
    EXPECT_EQ(SelectHostBitmap(nullptr, a.get()), nullptr);
    EXPECT_EQ(GetHostSelectedBitmap(nullptr), nullptr);

    qv::test::DcHandle empty(CreateHostDC(nullptr));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GetHostSelectedBitmap(empty.get()), nullptr);
}

TEST(HostDeviceContext, StretchModeStartsAtBlackOnWhiteAndKeepsWhatIsSet)
{
    qv::test::DcHandle dc(CreateHostDC(nullptr));
    EXPECT_EQ(GetHostStretchMode(dc.get()), 1);
    EXPECT_EQ(qv::gfx::SetStretchBltMode(dc.get(), qv::gfx::kColorOnColor), 1);
    EXPECT_EQ(GetHostStretchMode(dc.get()), 3);
    EXPECT_EQ(qv::gfx::SetStretchBltMode(dc.get(), 4), 3);
    EXPECT_EQ(qv::gfx::SetStretchBltMode(dc.get(), 2), 4);
    // Modes outside 1..4 are refused and change nothing.
    EXPECT_EQ(qv::gfx::SetStretchBltMode(dc.get(), 0), 0);
    EXPECT_EQ(qv::gfx::SetStretchBltMode(dc.get(), 5), 0);
    EXPECT_EQ(GetHostStretchMode(dc.get()), 2);
    EXPECT_EQ(qv::gfx::SetStretchBltMode(nullptr, 3), 0);
    EXPECT_EQ(GetHostStretchMode(nullptr), 0);
}

// ---- windows and the compressor chooser ----

struct ChooserLog {
    int calls = 0;
    bool optionsWereZero = false;
    int32_t answer = 1;
};

int32_t RecordingChooser(void* context, AVICOMPRESSOPTIONS* options)
{
    auto* log = static_cast<ChooserLog*>(context);
    ++log->calls;
    const auto* bytes = reinterpret_cast<const uint8_t*>(options);
    log->optionsWereZero = true;
    for (std::size_t i = 0; i < sizeof *options; ++i) log->optionsWereZero &= bytes[i] == 0;
    options->fccType = 0x73646976;  // "vids"
    options->fccHandler = 0x64697678;
    options->dwQuality = 7500;
    return log->answer;
}

struct WindowDeleter {
    void operator()(HostWindow* window) const { DeleteHostWindow(window); }
};
using WindowHandle = std::unique_ptr<HostWindow, WindowDeleter>;

TEST(HostWindowChooser, NoChooserMeansTheDefault)
{
    AVICOMPRESSOPTIONS options{};
    options.dwQuality = 42;
    EXPECT_EQ(qv::win::RunChooser(nullptr, &options), -1);
    WindowHandle window(CreateHostWindow(nullptr, nullptr));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(qv::win::RunChooser(window.get(), &options), -1);
    EXPECT_EQ(options.dwQuality, 42u);
}

TEST(HostWindowChooser, ChooserGetsZeroedOptionsAndItsContext)
{
    ChooserLog log;
    WindowHandle window(CreateHostWindow(RecordingChooser, &log));
    AVICOMPRESSOPTIONS options;
    std::memset(&options, 0x5A, sizeof options);
    EXPECT_EQ(qv::win::RunChooser(window.get(), &options), 1);
    EXPECT_EQ(log.calls, 1);
    EXPECT_TRUE(log.optionsWereZero);
    EXPECT_EQ(options.fccHandler, 0x64697678u);
    EXPECT_EQ(options.dwQuality, 7500u);
    EXPECT_EQ(options.dwKeyFrameEvery, 0u);
}

TEST(HostWindowChooser, CancelAndOtherConfirmations)
{
    ChooserLog log;
    WindowHandle window(CreateHostWindow(RecordingChooser, &log));
    AVICOMPRESSOPTIONS options{};
    log.answer = 0;
    EXPECT_EQ(qv::win::RunChooser(window.get(), &options), 0);
    log.answer = -1;  // any non-zero answer confirms, even the "no chooser" value
    EXPECT_EQ(qv::win::RunChooser(window.get(), &options), 1);
    log.answer = 7;
    EXPECT_EQ(qv::win::RunChooser(window.get(), &options), 1);
    EXPECT_EQ(qv::win::RunChooser(window.get(), nullptr), 0);
    EXPECT_EQ(log.calls, 3);
}

}  // namespace
