// The animated GIF writer as an outside host uses it: public exports and
// host stand-ins only. Files are checked byte by byte where the layout is
// fixed, and decoded by giflib, ImageMagick and FFmpeg.
#include <gtest/gtest.h>
#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/gif_decoded.h"
#include "support/host_picture.h"
#include "support/scratch_files.h"
#include "support/shell_run.h"
#include "support/gif_writing.h"

namespace {

using Bytes = std::vector<uint8_t>;
using qv::test::HostPicture;
using qv::test::WriteGifFile;

constexpr std::size_t kHeaderBytes = 32;
constexpr std::size_t kFrameFixedBytes = 18 + 768;  // control extension, descriptor, colour table

Bytes HeaderBytes(uint16_t width, uint16_t height, uint16_t loop)
{
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    b.push_back(static_cast<uint8_t>(width));
    b.push_back(static_cast<uint8_t>(width >> 8));
    b.push_back(static_cast<uint8_t>(height));
    b.push_back(static_cast<uint8_t>(height >> 8));
    for (int c : {0x07, 0x00, 0x00, 0x21, 0xFF, 0x0B}) b.push_back(static_cast<uint8_t>(c));
    for (char c : std::string("NETSCAPE2.0")) b.push_back(static_cast<uint8_t>(c));
    b.push_back(0x03);
    b.push_back(0x01);
    b.push_back(static_cast<uint8_t>(loop));
    b.push_back(static_cast<uint8_t>(loop >> 8));
    b.push_back(0x00);
    return b;
}

Bytes FramePrefix(uint16_t delay, uint16_t width, uint16_t height)
{
    return {0x21, 0xF9, 0x04, 0x08, static_cast<uint8_t>(delay), static_cast<uint8_t>(delay >> 8),
            0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, static_cast<uint8_t>(width),
            static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8), 0x87};
}

uint16_t DelayOfOnlyFrame(int32_t rate, int32_t hold)
{
    HostPicture picture(2, 2, 24);
    const Bytes file = WriteGifFile(qv::test::ScratchPath("delay.gif"), 2, 2, 24, rate, 0, {{picture, hold}});
    if (file.size() < kHeaderBytes + 6) return 0xDEAD;
    return static_cast<uint16_t>(file[kHeaderBytes + 4] | (file[kHeaderBytes + 5] << 8));
}

uint32_t ChannelDistance(uint32_t a, qv::test::Rgb b)
{
    auto d = [](int x, int y) { return static_cast<uint32_t>(x > y ? x - y : y - x); };
    return std::max({d(static_cast<int>((a >> 16) & 0xFF), b.red), d(static_cast<int>((a >> 8) & 0xFF), b.green),
                     d(static_cast<int>(a & 0xFF), b.blue)});
}

// ---- Start and End ----

TEST(GifWriterStart, StartThenEndIsHeaderAndTrailer)
{
    const std::string path = qv::test::ScratchPath("empty.gif");
    const Bytes file = WriteGifFile(path, 300, 2, 24, 2500, 0, {});
    Bytes expected = HeaderBytes(300, 2, 0);
    expected.push_back(0x3B);
    ASSERT_EQ(file.size(), 33u);
    EXPECT_EQ(file, expected);
}

TEST(GifWriterStart, LoopCountKeepsItsLow16Bits)
{
    const Bytes file = WriteGifFile(qv::test::ScratchPath("loop.gif"), 1, 1, 24, 2500, 65537, {});
    ASSERT_EQ(file.size(), 33u);
    EXPECT_EQ(file[29], 0x01);
    EXPECT_EQ(file[30], 0x00);
    const Bytes twelve = WriteGifFile(qv::test::ScratchPath("loop12.gif"), 1, 1, 24, 2500, 0x7FFF000C, {});
    EXPECT_EQ(twelve, [] { Bytes b = HeaderBytes(1, 1, 12); b.push_back(0x3B); return b; }());
}

TEST(GifWriterStart, OpenFailureStoresHandleThatEndReleases)
{
    GifWriter* writer = nullptr;
    const std::string path = qv::test::ScratchPath("no-such-dir/x.gif");
    EXPECT_EQ(RenderAnimatedGIFStart(path.c_str(), 4, 4, 24, 2500, 0, &writer), 2);
    ASSERT_NE(writer, nullptr);
    HostPicture picture(4, 4, 24);
    EXPECT_EQ(RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, writer), 1);
    RenderAnimatedGIFEnd(writer);  // frees the record; the leak checker watches

    GifWriter* unnamed = nullptr;
    EXPECT_EQ(RenderAnimatedGIFStart(nullptr, 4, 4, 24, 2500, 0, &unnamed), 2);
    RenderAnimatedGIFEnd(unnamed);
}

TEST(GifWriterStart, NoWorkingBitmapLeavesEmptyFileThatEndCloses)
{
    for (const auto& size : {std::pair{0, 5}, std::pair{5, 0}, std::pair{-5, 3}, std::pair{3, -70000}}) {
        const std::string path = qv::test::ScratchPath("nobitmap.gif");
        GifWriter* writer = nullptr;
        ASSERT_EQ(RenderAnimatedGIFStart(path.c_str(), size.first, size.second, 24, 2500, 0, &writer), 3)
            << size.first << "x" << size.second;
        ASSERT_NE(writer, nullptr);
        EXPECT_TRUE(qv::test::ReadFileBytes(path).empty());
        HostPicture picture(4, 4, 24);
        EXPECT_EQ(RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, writer), 1);
        RenderAnimatedGIFEnd(writer);
        EXPECT_EQ(qv::test::ReadFileBytes(path), Bytes{0x3B});
    }
}

TEST(GifWriterStart, NullHandleVariableCreatesNothing)
{
    const std::string path = qv::test::ScratchPath("nowhere.gif");
    EXPECT_EQ(RenderAnimatedGIFStart(path.c_str(), 4, 4, 24, 2500, 0, nullptr), 1);
    EXPECT_NE(std::system(("test -e '" + path + "'").c_str()), 0);
}

// ---- Delays ----

TEST(GifWriterDelay, FramePeriodFromRateRoundsHalfUp)
{
    const std::pair<int32_t, uint16_t> cases[] = {{2500, 4}, {1000, 10}, {1500, 7},  {3000, 3},   {100, 100},
                                                  {1, 10000}, {20000, 1}, {20001, 0}, {6667, 1}, {6666, 2}};
    for (const auto& [rate, delay] : cases) {
        EXPECT_EQ(DelayOfOnlyFrame(rate, 1), delay) << "rate " << rate;
    }
}

TEST(GifWriterDelay, RateOfZeroOrBelowGivesDelayZero)
{
    for (int32_t rate : {0, -1, -2500, INT32_MIN}) {
        EXPECT_EQ(DelayOfOnlyFrame(rate, 5), 0) << "rate " << rate;
    }
}

TEST(GifWriterDelay, HoldMultipliesAndWrapsAt16Bits)
{
    EXPECT_EQ(DelayOfOnlyFrame(1, 7), 4464);  // 70000 mod 65536, bytes 70 11
    EXPECT_EQ(DelayOfOnlyFrame(2500, 0), 0);
    EXPECT_EQ(DelayOfOnlyFrame(2500, 0x30003), 12);      // only the low 16 bits of the hold count
    EXPECT_EQ(DelayOfOnlyFrame(2500, -1), (4u * 65535u) & 0xFFFFu);  // 65535 periods
}

// ---- Frames ----

TEST(GifWriterFrames, FrameLayoutAroundTheCodeStream)
{
    HostPicture picture(3, 2, 24);
    picture.fillRgb([](int x, int y) { return static_cast<uint32_t>(0x102030 * (x + 3 * y + 1)); });
    const Bytes file = WriteGifFile(qv::test::ScratchPath("layout.gif"), 3, 2, 24, 1000, 0, {{picture, 3}});
    ASSERT_GT(file.size(), kHeaderBytes + kFrameFixedBytes + 2);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + kHeaderBytes), HeaderBytes(3, 2, 0));
    EXPECT_EQ(Bytes(file.begin() + kHeaderBytes, file.begin() + kHeaderBytes + 18), FramePrefix(30, 3, 2));
    // 6 literals + end code = 63 bits = 8 bytes in one sub-block.
    const std::size_t data = kHeaderBytes + kFrameFixedBytes;
    ASSERT_EQ(file.size(), data + 1 + 1 + 8 + 1 + 1);
    EXPECT_EQ(file[data], 0x08);
    EXPECT_EQ(file[data + 1], 8);
    EXPECT_EQ(file[data + 10], 0x00);
    EXPECT_EQ(file.back(), 0x3B);
}

// A 24-bit picture goes through the quantiser: every decoded pixel is the
// table colour of its index (checked by three decoders), the table colours
// are near the picture's, and the top row comes first.
TEST(GifWriterFrames, TrueColourPictureDecodesEverywhereAlike)
{
    const int width = 40, height = 30;
    HostPicture picture(width, height, 24);
    const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0x808080, 0xFFFFFF};
    auto colourAt = [&](int x, int y) { return y == 0 ? 0xFF0000u : y == height - 1 ? 0x0000FFu : colours[(x / 5 + y / 6) % 8]; };
    picture.fillRgb(colourAt);
    const std::string path = qv::test::ScratchPath("truecolour.gif");
    WriteGifFile(path, width, height, 24, 2500, 0, {{picture, 1}});

    const auto gif = qv::test::DecodeWithGiflib(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_EQ(gif.frames.size(), 1u);
    const auto& frame = gif.frames[0];
    ASSERT_EQ(frame.width, width);
    ASSERT_EQ(frame.height, height);
    ASSERT_EQ(frame.palette.size(), 256u);
    Bytes expectedRgb;
    uint32_t worst = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const qv::test::Rgb c = frame.colorAt(x, y);
            worst = std::max(worst, ChannelDistance(colourAt(x, y), c));
            expectedRgb.insert(expectedRgb.end(), {c.red, c.green, c.blue});
        }
    }
    EXPECT_LE(worst, 8u) << "quantised colours stray from the picture";
    EXPECT_GT(frame.colorAt(0, 0).red, 0xF0);  // top row first
    EXPECT_LT(frame.colorAt(0, 0).blue, 0x10);
    EXPECT_GT(frame.colorAt(0, height - 1).blue, 0xF0);

    const auto magick = qv::test::RunTool("convert '" + path + "' -depth 8 rgb:-");
    ASSERT_EQ(magick.exitCode, 0);
    EXPECT_EQ(magick.output, expectedRgb);
    const auto ffmpeg = qv::test::RunTool("ffmpeg -v error -i '" + path + "' -f rawvideo -pix_fmt rgb24 -");
    ASSERT_EQ(ffmpeg.exitCode, 0);
    EXPECT_EQ(ffmpeg.output, expectedRgb);
}

// At 8 bits the picture's own colour table and indices go into the file
// unchanged: nothing is quantised.
TEST(GifWriterFrames, PalettePictureKeepsItsTableAndIndices)
{
    const int width = 33, height = 17;
    HostPicture picture(width, height, 8);
    std::mt19937 random(3);
    for (int i = 0; i < 256; ++i) picture.palette()[i] = static_cast<uint32_t>(random()) & 0xFFFFFFu;
    std::vector<uint8_t> indices(width * height);
    for (auto& v : indices) v = static_cast<uint8_t>(random());
    picture.fillIndices([&](int x, int y) { return indices[static_cast<std::size_t>(y * width + x)]; });

    const std::string path = qv::test::ScratchPath("palette.gif");
    const Bytes file = WriteGifFile(path, width, height, 8, 2500, 0, {{picture, 1}});
    ASSERT_GT(file.size(), kHeaderBytes + kFrameFixedBytes);
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = picture.palette()[i];
        const std::size_t at = kHeaderBytes + 18 + 3 * static_cast<std::size_t>(i);
        ASSERT_EQ((Bytes{file[at], file[at + 1], file[at + 2]}),
                  (Bytes{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)}))
            << "entry " << i;
    }
    const auto gif = qv::test::DecodeWithGiflib(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_EQ(gif.frames.size(), 1u);
    EXPECT_EQ(gif.frames[0].indices, indices);
}

// Every frame carries its own table: two 8-bit pictures with different
// colour tables give two frames, each with its picture's table.
TEST(GifWriterFrames, EachFrameHasItsOwnColourTable)
{
    HostPicture first(5, 4, 8), second(5, 4, 8);
    for (uint32_t i = 0; i < 256; ++i) {
        first.palette()[i] = (i * 0x030507u) & 0xFFFFFFu;
        second.palette()[i] = (0xFFFFFFu - i * 0x010203u) & 0xFFFFFFu;
    }
    first.fillIndices([](int x, int y) { return static_cast<uint8_t>(x + 5 * y); });
    second.fillIndices([](int x, int y) { return static_cast<uint8_t>(200 - x - 5 * y); });
    const std::string path = qv::test::ScratchPath("tables.gif");
    WriteGifFile(path, 5, 4, 8, 1000, 0, {{first, 1}, {second, 1}});
    const auto gif = qv::test::DecodeWithGiflib(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_EQ(gif.frames.size(), 2u);
    const HostPicture* pictures[] = {&first, &second};
    for (std::size_t f = 0; f < 2; ++f) {
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 5; ++x) {
                const uint32_t want = pictures[f]->palette()[pictures[f]->row(y)[x]];
                EXPECT_EQ(ChannelDistance(want, gif.frames[f].colorAt(x, y)), 0u) << f << ": " << x << "," << y;
            }
        }
    }
}

// Depths other than 8 and 24 are widened to 24 bits before quantising.
// Each picture is black above and white below, exact at every depth: the
// standard palettes have black at index 0 and white at the last index.
void FillBlackOverWhite(const HostPicture& picture, int32_t depth)
{
    const int width = picture.width(), height = picture.height();
    for (int y = height / 2; y < height; ++y) {
        uint8_t* line = picture.row(y);
        if (depth == 16) {
            const uint16_t white = 0x7FFF;  // 5-5-5
            for (int x = 0; x < width; ++x) std::memcpy(line + 2 * x, &white, 2);
        } else {
            // All bits set: white at 32 bits and the last palette index at 1 and 4.
            std::memset(line, 0xFF, static_cast<std::size_t>(width * depth / 8));
        }
    }
}

TEST(GifWriterFrames, OtherDepthsAreWidenedThenQuantised)
{
    const int width = 24, height = 12;
    for (int32_t depth : {32, 16, 4, 1}) {
        HostPicture picture(width, height, depth);
        ASSERT_TRUE(picture.valid());
        FillBlackOverWhite(picture, depth);
        const std::string path = qv::test::ScratchPath("depth" + std::to_string(depth) + ".gif");
        WriteGifFile(path, width, height, depth, 2500, 0, {{picture, 1}});
        const auto gif = qv::test::DecodeWithGiflib(path);
        ASSERT_TRUE(gif.ok) << gif.error << " at depth " << depth;
        ASSERT_EQ(gif.frames.size(), 1u);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint32_t want = y < height / 2 ? 0x000000u : 0xFFFFFFu;
                ASSERT_LE(ChannelDistance(want, gif.frames[0].colorAt(x, y)), 8u)
                    << "depth " << depth << " at " << x << "," << y;
            }
        }
    }
}

TEST(GifWriterFrames, SeveralFramesKeepOrderCountAndDelays)
{
    const int width = 16, height = 8;
    HostPicture red(width, height, 24), green(width, height, 24), blue(width, height, 24);
    red.fillRgb([](int, int) { return 0xFF0000u; });
    green.fillRgb([](int, int) { return 0x00FF00u; });
    blue.fillRgb([](int, int) { return 0x0000FFu; });
    const std::string path = qv::test::ScratchPath("three.gif");
    const Bytes file = WriteGifFile(path, width, height, 24, 2500, 2, {{red, 1}, {green, 2}, {blue, 25}});

    const auto layout = qv::test::WalkGifLayout(file);
    ASSERT_TRUE(layout.ok) << layout.error;
    ASSERT_EQ(layout.frames.size(), 3u);
    const auto gif = qv::test::DecodeWithGiflib(path);
    ASSERT_TRUE(gif.ok) << gif.error;
    EXPECT_EQ(gif.loopCount, 2);
    ASSERT_EQ(gif.frames.size(), 3u);
    const int delays[] = {4, 8, 100};
    const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF};
    for (std::size_t f = 0; f < 3; ++f) {
        EXPECT_EQ(gif.frames[f].delay, delays[f]);
        EXPECT_EQ(gif.frames[f].disposal, 2);
        EXPECT_LE(ChannelDistance(colours[f], gif.frames[f].colorAt(5, 5)), 8u) << "frame " << f;
    }
    const auto identify = qv::test::RunTool("identify -format '%T,' '" + path + "'");
    ASSERT_EQ(identify.exitCode, 0);
    EXPECT_EQ(identify.text(), "4,8,100,");
    const auto probe = qv::test::RunTool("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                       "stream=nb_read_frames -of csv=p=0 '" + path + "'");
    ASSERT_EQ(probe.exitCode, 0);
    EXPECT_EQ(probe.text(), "3\n");
}

// A width whose low 16 bits are 0: the image library allocates the full
// width, the file says 0 and the frame carries a table and the end code.
TEST(GifWriterFrames, EmptySizedFrameHasTableAndEndCodeOnly)
{
    HostPicture picture(1, 1, 8);
    const Bytes file = WriteGifFile(qv::test::ScratchPath("zero.gif"), 65536, 1, 8, 2500, 0, {{picture, 1}});
    ASSERT_EQ(file.size(), kHeaderBytes + kFrameFixedBytes + 5 + 1);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + kHeaderBytes), HeaderBytes(0, 1, 0));
    EXPECT_EQ(Bytes(file.begin() + kHeaderBytes, file.begin() + kHeaderBytes + 18), FramePrefix(4, 0, 1));
    EXPECT_EQ(Bytes(file.end() - 6, file.end()), (Bytes{0x08, 0x02, 0x01, 0x01, 0x00, 0x3B}));
}

// ---- Faults ----

TEST(GifWriterFaults, NullAndForeignHandlesAreRefused)
{
    HostPicture picture(4, 4, 24);
    EXPECT_EQ(RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, nullptr), 1);
    RenderAnimatedGIFEnd(nullptr);

    alignas(16) unsigned char foreign[256];
    for (std::size_t i = 0; i < sizeof foreign; ++i) foreign[i] = static_cast<unsigned char>(i * 37);
    unsigned char before[sizeof foreign];
    std::memcpy(before, foreign, sizeof foreign);
    auto* fake = reinterpret_cast<GifWriter*>(foreign);
    EXPECT_EQ(RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, fake), 1);
    RenderAnimatedGIFEnd(fake);
    EXPECT_EQ(std::memcmp(foreign, before, sizeof foreign), 0);
}

// Quantisation cannot run when the working bitmap is not 24 bits: the depth
// kept (low 16 bits) says 24 but the image library got 65560 and made an
// 8-bit bitmap. Result 2, and nothing of the frame reaches the file, which
// stays a valid GIF of the frames before it (here none).
TEST(GifWriterFaults, FailedQuantisationReportsTwoAndWritesNothingOfTheFrame)
{
    const std::string path = qv::test::ScratchPath("noquant.gif");
    HostPicture picture(4, 4, 24);
    GifWriter* writer = nullptr;
    ASSERT_EQ(RenderAnimatedGIFStart(path.c_str(), 4, 4, 24 + 65536, 2500, 0, &writer), 0);
    EXPECT_EQ(RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, writer), 2);
    RenderAnimatedGIFEnd(writer);
    Bytes expected = HeaderBytes(4, 4, 0);
    expected.push_back(0x3B);
    EXPECT_EQ(qv::test::ReadFileBytes(path), expected);
}

TEST(GifWriterFaults, HeaderThatCannotBeWrittenIsReported)
{
    GifWriter* writer = nullptr;
    EXPECT_EQ(RenderAnimatedGIFStart("/dev/full", 4, 4, 24, 2500, 0, &writer), 4);
    ASSERT_NE(writer, nullptr);
    HostPicture picture(4, 4, 24);
    EXPECT_EQ(RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, writer), 4);
    RenderAnimatedGIFEnd(writer);
}

// Lowers this process's file-size limit for the life of the object; writes
// past it then fail with EFBIG (the signal it would raise is ignored).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST(GifWriterFaults, FrameThatDoesNotFitOnDiskIsNotReportedAsWritten)
{
    HostPicture picture(64, 64, 24);
    picture.fillRgb([](int x, int y) { return static_cast<uint32_t>(x * 4 << 16 | y * 4); });
    // The same one-frame file without a limit: header, frame, trailer.
    const Bytes reference = WriteGifFile(qv::test::ScratchPath("reference.gif"), 64, 64, 24, 2500, 0, {{picture, 1}});
    ASSERT_GT(reference.size(), kHeaderBytes + kFrameFixedBytes);

    const std::string path = qv::test::ScratchPath("full.gif");
    GifWriter* writer = nullptr;
    {
        FileSizeLimit limit(reference.size() + 500);  // room for one frame, not two
        ASSERT_EQ(RenderAnimatedGIFStart(path.c_str(), 64, 64, 24, 2500, 0, &writer), 0);
        EXPECT_EQ(RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, writer), 0);
        EXPECT_EQ(RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, writer), 4);
        EXPECT_EQ(RenderAnimatedGIF(picture.dc(), picture.bitmap(), 1, writer), 4);  // stays failed
        RenderAnimatedGIFEnd(writer);
    }
    // The frame reported as written is in the file whole.
    const Bytes file = qv::test::ReadFileBytes(path);
    ASSERT_GE(file.size(), reference.size() - 1);
    EXPECT_TRUE(std::equal(reference.begin(), reference.end() - 1, file.begin()));
}

}  // namespace
