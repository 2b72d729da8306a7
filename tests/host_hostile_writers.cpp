// The GIF and AVI writers driven with hostile arguments from outside the
// library: missing output variables and file names, sizes of 0, below 0 and
// at the 16-bit limit, every depth from 0 to 64, rates and positions at the
// 32-bit limits, and handles that are null, foreign, unreadable or already
// closed. Each call gives its documented code, and every handle a Start
// stored is closed by its End.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

#include "hostile_support.h"

namespace {


TEST(HostileGifWriter, StartWithoutAnOutputVariableMakesNothing)
{
    const std::string path = qv::test::ScratchPath("no-variable.gif");
    EXPECT_EQ(RenderAnimatedGIFStart(path.c_str(), 4, 4, 24, 2500, 0, nullptr), 1);
    EXPECT_TRUE(qv::test::ReadFileBytes(path).empty());
}

TEST(HostileGifWriter, StartWithoutAFileStoresAHandleThatEndCloses)
{
    for (const char* name : {static_cast<const char*>(nullptr), "", "/nonexistent-dir/x.gif", "/"}) {
        GifWriter* writer = reinterpret_cast<GifWriter*>(0x1);
        EXPECT_EQ(RenderAnimatedGIFStart(name, 4, 4, 24, 2500, 0, &writer), 2) << (name ? name : "(null)");
        ASSERT_NE(writer, reinterpret_cast<GifWriter*>(0x1));
        qv::test::HostPicture frame(4, 4, 24);
        EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, writer), 1);
        RenderAnimatedGIFEnd(writer);
    }
    // A file that opens but takes no bytes: the header is not written.
    GifWriter* writer = nullptr;
    EXPECT_EQ(RenderAnimatedGIFStart("/proc/version", 4, 4, 24, 2500, 0, &writer), 4);
    qv::test::HostPicture frame(4, 4, 24);
    EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, writer), 4);
    RenderAnimatedGIFEnd(writer);
}

TEST(HostileGifWriter, EveryDepthFromZeroTo64)
{
    qv::test::HostPicture frame(5, 3, 32);
    frame.fillPattern(3);
    for (int32_t depth = 0; depth <= 64; ++depth) {
        const std::string path = qv::test::ScratchPath("depth" + std::to_string(depth) + ".gif");
        GifWriter* writer = nullptr;
        const int32_t start = RenderAnimatedGIFStart(path.c_str(), 5, 3, depth, 1000, 2, &writer);
        ASSERT_NE(writer, nullptr);
        // The image library makes an 8-bit working picture for the depths it
        // does not know, and frames are reduced from that.
        EXPECT_EQ(start, 0) << depth;
        EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 3, writer), 0) << depth;
        RenderAnimatedGIFEnd(writer);
        const std::vector<uint8_t> file = qv::test::ReadFileBytes(path);
        // Header (32 bytes) and trailer, plus one 5 x 3 frame: 18 bytes of
        // extension and descriptor, 768 of colour table, 21 of code stream.
        EXPECT_EQ(file.size(), 32u + 18 + 768 + 21 + 1) << depth;
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(file.back(), 0x3B);
    }
}

TEST(HostileGifWriter, SizesBelowZeroAreRefusedZeroAndLimitsAreWritten)
{
    qv::test::HostPicture frame(4, 4, 24);
    struct Case {
        int32_t width, height, start, frame, start8;
    };
    // Pictures of no pixels are not made (3). Pictures wider or taller than
    // 65535 are refused where frames are quantised (the image library's
    // quantiser cannot take them); at 8 bits nothing is quantised and the
    // frames are written with the low 16 bits of the size.
    const Case cases[] = {{-1, 4, 3, 1, 3},        {4, -1, 3, 1, 3},      {INT32_MIN, 4, 3, 1, 3},
                          {4, -32768, 3, 1, 3},    {0, 4, 3, 1, 3},       {4, 0, 3, 1, 3},
                          {0, 0, 3, 1, 3},         {32767, 1, 0, 0, 0},   {1, 32767, 0, 0, 0},
                          {65535, 2, 0, 0, 0},     {0x10002, 2, 3, 1, 0}, {2, 0x10001, 3, 1, 0},
                          {INT32_MAX, 1, 3, 1, -1}, {65536, 65536, 3, 1, -1}};
    for (const Case& c : cases) {
        const std::string path = qv::test::ScratchPath("size.gif");
        GifWriter* writer = nullptr;
        EXPECT_EQ(RenderAnimatedGIFStart(path.c_str(), c.width, c.height, 24, 2500, 0, &writer), c.start)
            << c.width << "x" << c.height;
        EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, writer), c.frame) << c.width << "x" << c.height;
        RenderAnimatedGIFEnd(writer);
        if (c.start8 < 0) continue;  // at 8 bits these would allocate gigabytes
        writer = nullptr;
        EXPECT_EQ(RenderAnimatedGIFStart(path.c_str(), c.width, c.height, 8, 2500, 0, &writer), c.start8);
        if (c.start8 == 0) {
            EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, writer), 0);
        }
        RenderAnimatedGIFEnd(writer);
    }
}

TEST(HostileGifWriter, RatesLoopCountsAndHoldsAtTheirLimits)
{
    qv::test::HostPicture frame(2, 2, 24);
    const int32_t values[] = {INT32_MIN, -1, 0, 1, 65535, 65536, INT32_MAX};
    for (int32_t rate : values) {
        for (int32_t loop : values) {
            const std::string path = qv::test::ScratchPath("rate.gif");
            GifWriter* writer = nullptr;
            ASSERT_EQ(RenderAnimatedGIFStart(path.c_str(), 2, 2, 24, rate, loop, &writer), 0);
            for (int32_t hold : values) ASSERT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), hold, writer), 0);
            RenderAnimatedGIFEnd(writer);
            const std::vector<uint8_t> file = qv::test::ReadFileBytes(path);
            ASSERT_GE(file.size(), 33u);
            // The looping extension holds the low 16 bits of the count.
            EXPECT_EQ(file[29] | file[30] << 8, loop & 0xFFFF);
        }
    }
}

TEST(HostileGifWriter, NullPicturesWriteTheWorkingPictureAsItStands)
{
    const std::string path = qv::test::ScratchPath("null-picture.gif");
    GifWriter* writer = nullptr;
    ASSERT_EQ(RenderAnimatedGIFStart(path.c_str(), 3, 2, 24, 2500, 0, &writer), 0);
    EXPECT_EQ(RenderAnimatedGIF(nullptr, nullptr, 1, writer), 0);
    HostDC* empty = CreateHostDC(nullptr);
    EXPECT_EQ(RenderAnimatedGIF(empty, nullptr, 1, writer), 0);
    DeleteHostDC(empty);
    RenderAnimatedGIFEnd(writer);
    EXPECT_EQ(qv::test::ReadFileBytes(path).size(), 32u + 2 * (18 + 768 + 11) + 1);
}

TEST(HostileGifWriter, NullForeignUnreadableAndClosedHandlesAreRefused)
{
    qv::test::HostPicture frame(2, 2, 24);
    EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, nullptr), 1);
    RenderAnimatedGIFEnd(nullptr);

    // A record that merely looks like a writer: the first word as a live
    // writer's, the rest garbage.
    uint32_t lookalike[16];
    std::memset(lookalike, 0xA5, sizeof lookalike);
    lookalike[0] = 0x46475651u;
    EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, reinterpret_cast<GifWriter*>(lookalike)), 1);
    RenderAnimatedGIFEnd(reinterpret_cast<GifWriter*>(lookalike));

    // Addresses that cannot be read at all.
    for (uintptr_t address : {uintptr_t{1}, uintptr_t{0x10}, uintptr_t{0xFFFFFFFFFFFFF000u}}) {
        EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, reinterpret_cast<GifWriter*>(address)), 1);
        RenderAnimatedGIFEnd(reinterpret_cast<GifWriter*>(address));
    }

    // A handle after its End, and an AVI writer's handle.
    const std::string path = qv::test::ScratchPath("closed.gif");
    GifWriter* writer = nullptr;
    ASSERT_EQ(RenderAnimatedGIFStart(path.c_str(), 2, 2, 24, 2500, 0, &writer), 0);
    RenderAnimatedGIFEnd(writer);
    EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, writer), 1);
    RenderAnimatedGIFEnd(writer);
    EXPECT_EQ(qv::test::ReadFileBytes(path).size(), 33u);  // one trailer only

    AviWriter* avi = nullptr;
    ASSERT_EQ(RenderCompressedStart(nullptr, qv::test::ScratchPath("cross.avi").c_str(), 2, 2, 24, 2500, 1, &avi), 0);
    EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, reinterpret_cast<GifWriter*>(avi)), 1);
    RenderAnimatedGIFEnd(reinterpret_cast<GifWriter*>(avi));
    EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, avi), 0);  // still open
    RenderCompressedEnd(avi);
}

TEST(HostileAviWriter, StartWithoutAnOutputVariableMakesNothing)
{
    const std::string path = qv::test::ScratchPath("no-variable.avi");
    EXPECT_EQ(RenderCompressedStart(nullptr, path.c_str(), 4, 4, 24, 2500, 1, nullptr), 1);
    EXPECT_TRUE(qv::test::ReadFileBytes(path).empty());
}

TEST(HostileAviWriter, EveryDepthFromZeroTo64)
{
    qv::test::HostPicture frame(6, 4, 24);
    for (int32_t depth = 0; depth <= 64; ++depth) {
        const bool usable = depth == 16 || depth == 24 || depth == 32;
        const std::string path = qv::test::ScratchPath("depth" + std::to_string(depth) + ".avi");
        AviWriter* writer = nullptr;
        EXPECT_EQ(RenderCompressedStart(nullptr, path.c_str(), 6, 4, depth, 2500, 1, &writer), usable ? 0 : 6)
            << depth;
        ASSERT_NE(writer, nullptr);
        EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, writer), usable ? 0 : 1) << depth;
        RenderCompressedEnd(writer);
        // Refused depths make no file.
        EXPECT_EQ(qv::test::ReadFileBytes(path).empty(), !usable) << depth;
    }
}

TEST(HostileAviWriter, SizesFileNamesAndRatesAtTheirLimits)
{
    struct Case {
        int32_t width, height, depth, result;
    };
    const Case cases[] = {{0, 4, 24, 6},        {4, 0, 24, 6},         {-1, 4, 24, 6},      {4, -4, 24, 6},
                          {INT32_MIN, 1, 32, 6}, {32767, 32767, 32, 6}, {INT32_MAX, 1, 16, 6}, {1, INT32_MAX, 16, 6},
                          {32767, 1, 32, 0},     {1, 32767, 16, 0}};
    for (const Case& c : cases) {
        AviWriter* writer = nullptr;
        EXPECT_EQ(RenderCompressedStart(nullptr, qv::test::ScratchPath("size.avi").c_str(), c.width, c.height,
                                        c.depth, 2500, 1, &writer),
                  c.result)
            << c.width << "x" << c.height;
        RenderCompressedEnd(writer);
    }
    for (const char* name : {static_cast<const char*>(nullptr), "", "/nonexistent-dir/x.avi"}) {
        AviWriter* writer = nullptr;
        EXPECT_EQ(RenderCompressedStart(nullptr, name, 4, 4, 24, 2500, 1, &writer), 2);
        ASSERT_NE(writer, nullptr);
        qv::test::HostPicture frame(4, 4, 24);
        EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, writer), 1);
        RenderCompressedEnd(writer);
    }
    qv::test::HostPicture frame(4, 4, 24);
    for (int32_t rate : {INT32_MIN, -1, 0, 1, INT32_MAX}) {
        for (int32_t total : {INT32_MIN, -1, 0, INT32_MAX}) {
            const std::string path = qv::test::ScratchPath("rate.avi");
            AviWriter* writer = nullptr;
            ASSERT_EQ(RenderCompressedStart(nullptr, path.c_str(), 4, 4, 24, rate, total, &writer), 0);
            EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, writer), 0);
            RenderCompressedEnd(writer);
            int32_t w = 0, h = 0, length = 0;
            float fps = -1.0f;
            ASSERT_EQ(GetAVIinfo(path.c_str(), &w, &h, &fps, &length), 0) << rate << " " << total;
            EXPECT_EQ(w, 4);
            EXPECT_EQ(length, total == 0 || total == -1 || total == INT32_MIN ? (total == 0 ? 1 : total) : total);
        }
    }
}

TEST(HostileAviWriter, FramePositionsAtThe32BitLimits)
{
    qv::test::HostPicture frame(4, 4, 24);
    const std::string path = qv::test::ScratchPath("positions.avi");
    AviWriter* writer = nullptr;
    ASSERT_EQ(RenderCompressedStart(nullptr, path.c_str(), 4, 4, 24, 2500, 1, &writer), 0);
    EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, writer), 0);
    EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, writer), 1);  // not after the last
    // Gaps that would take the file past 1 GiB of empty frames are refused
    // before anything is written.
    EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0xFFFFFFFFu, writer), 1);
    EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0x80000000u, writer), 1);
    EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0x7FFFFFFFu, writer), 1);
    EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 1, writer), 0);
    RenderCompressedEnd(writer);
    int32_t w = 0, h = 0, length = 0;
    float fps = 0.0f;
    ASSERT_EQ(GetAVIinfo(path.c_str(), &w, &h, &fps, &length), 0);
    EXPECT_EQ(length, 2);
}

TEST(HostileAviWriter, NullForeignUnreadableAndClosedHandlesAreRefused)
{
    qv::test::HostPicture frame(2, 2, 24);
    EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, nullptr), 1);
    RenderCompressedEnd(nullptr);

    uint32_t lookalike[64];
    std::memset(lookalike, 0, sizeof lookalike);
    lookalike[0] = 0x52574151u;
    EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, reinterpret_cast<AviWriter*>(lookalike)), 1);
    RenderCompressedEnd(reinterpret_cast<AviWriter*>(lookalike));

    for (uintptr_t address : {uintptr_t{1}, uintptr_t{0x10}, uintptr_t{0xFFFFFFFFFFFFF000u}}) {
        EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, reinterpret_cast<AviWriter*>(address)), 1);
        RenderCompressedEnd(reinterpret_cast<AviWriter*>(address));
    }

    AviWriter* writer = nullptr;
    ASSERT_EQ(RenderCompressedStart(nullptr, qv::test::ScratchPath("closed.avi").c_str(), 2, 2, 24, 2500, 1, &writer),
              0);
    RenderCompressedEnd(writer);
    EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, writer), 1);
    RenderCompressedEnd(writer);

    GifWriter* gif = nullptr;
    ASSERT_EQ(RenderAnimatedGIFStart(qv::test::ScratchPath("cross.gif").c_str(), 2, 2, 24, 2500, 0, &gif), 0);
    EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, reinterpret_cast<AviWriter*>(gif)), 1);
    RenderCompressedEnd(reinterpret_cast<AviWriter*>(gif));
    EXPECT_EQ(RenderAnimatedGIF(frame.dc(), frame.bitmap(), 1, gif), 0);  // still open
    RenderAnimatedGIFEnd(gif);
}

TEST(HostileAviWriter, ChoosersThatFillTheOptionsWithNonsense)
{
    struct Choice {
        uint32_t fcc, keyEvery, quality, bytesPerSecond, flags;
        int32_t confirm;
    };
    static const Choice choices[] = {
        {0, 0, 0, 0, 0, 0},                                     // cancelled
        {QV_FOURCC('N', 'O', 'P', 'E'), 1, 100, 0, 0, 1},        // unknown code
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 1},
        {QV_FOURCC('M', 'J', 'P', 'G'), 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0, -1},
        {QV_FOURCC('m', 'j', 'p', 'g'), 1, 10001, 0xFFFFFFFFu, 2, 1},
    };
    const int32_t expected[] = {4, 5, 5, 0, 0};
    qv::test::HostPicture frame(8, 8, 24);
    for (size_t i = 0; i < sizeof choices / sizeof choices[0]; ++i) {
        HostWindow* window = CreateHostWindow(
            [](void* context, AVICOMPRESSOPTIONS* options) -> int32_t {
                const Choice& c = *static_cast<const Choice*>(context);
                options->fccHandler = c.fcc;
                options->dwKeyFrameEvery = c.keyEvery;
                options->dwQuality = c.quality;
                options->dwBytesPerSecond = c.bytesPerSecond;
                options->dwFlags = c.flags;
                options->lpFormat = reinterpret_cast<void*>(0x1);
                options->cbFormat = 0xFFFFFFFFu;
                options->lpParms = reinterpret_cast<void*>(0x1);
                options->cbParms = 0xFFFFFFFFu;
                return c.confirm;
            },
            const_cast<Choice*>(&choices[i]));
        AviWriter* writer = nullptr;
        const int32_t result =
            RenderCompressedStart(window, qv::test::ScratchPath("chosen.avi").c_str(), 8, 8, 24, 2500, 3, &writer);
        EXPECT_EQ(result, expected[i]) << i;
        EXPECT_EQ(RenderCompressed(frame.dc(), frame.bitmap(), 0, writer), result == 0 ? 0 : 1) << i;
        RenderCompressedEnd(writer);
        DeleteHostWindow(window);
    }
}

}  // namespace
