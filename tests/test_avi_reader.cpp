// GetAVIinfo and GetAVIframe on files made by the ffmpeg command in many
// codecs, pixel formats and containers: values as the file stores them, and
// frames equal to FFmpeg's own decoding; zoomed drawing; positions without
// frames; and the reader's handling of odd stream headers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include "support/avi_test_files.h"

namespace qv::test {
namespace {

struct Fixture {
    const char* name;
    const char* args;  // ffmpeg output options
    bool lossless;     // also compared with the generator's bgr24 frames
};

// testsrc is 25 frames per second; five frames of 48 x 32 each.
const Fixture kFixtures[] = {
    {"raw_bgr24.avi", "-c:v rawvideo -pix_fmt bgr24", true},
    {"raw_bgr0.avi", "-c:v rawvideo -pix_fmt bgra", true},
    {"raw_rgb555.avi", "-c:v rawvideo -pix_fmt rgb555le", false},
    {"raw_pal8.avi", "-c:v rawvideo -pix_fmt pal8", false},
    {"mjpeg.avi", "-c:v mjpeg -q:v 3", false},
    {"mpeg4_bframes.avi", "-c:v mpeg4 -bf 2 -g 3 -q:v 4", false},
    {"h264.avi", "-c:v libx264 -preset veryfast", false},
    {"ffv1.avi", "-c:v ffv1", true},
    {"huffyuv.avi", "-c:v huffyuv -pix_fmt rgb24", true},
    {"msvideo1.avi", "-c:v msvideo1", false},
    {"cinepak.avi", "-c:v cinepak", false},
    {"mp4_h264.mp4", "-c:v libx264 -preset veryfast", false},
    {"mkv_ffv1.mkv", "-c:v ffv1", true},
    {"webm_vp9.webm", "-c:v libvpx-vp9 -deadline realtime -cpu-used 8", false},
    {"mov_qtrle.mov", "-c:v qtrle", true},
};

class AviReaderTest : public ::testing::Test {
protected:
    static std::string Path(const std::string& name)
    {
        if (name == "source.avi")
            return FfmpegFixture(name, "testsrc=size=48x32:rate=25", "-frames:v 5 -c:v rawvideo -pix_fmt bgr24");
        for (const Fixture& f : kFixtures)
            if (name == f.name) return FfmpegFixture(name, "testsrc=size=48x32:rate=25", std::string("-frames:v 5 ") + f.args);
        return std::string();
    }
    ScratchDir scratch_;
};

TEST_F(AviReaderTest, InfoOfEveryFixture)
{
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const std::string path = Path(f.name);
        ASSERT_FALSE(ReadFileBytes(path).empty()) << "ffmpeg could not make the fixture";
        int32_t w = -1, h = -1, length = -1;
        float rate = -1;
        ASSERT_EQ(0, GetAVIinfo(path.c_str(), &w, &h, &rate, &length));
        EXPECT_EQ(48, w);
        EXPECT_EQ(25.0f, rate);
        EXPECT_EQ(5, length);
        const AviLayout avi = ParseAvi(ReadFileBytes(path));
        if (avi.valid) {
            // AVI: the height as the format stores it, negative when top-down.
            EXPECT_EQ(int32_t(avi.U32(avi.strf, 8)), h);
            EXPECT_EQ(avi.U32(avi.strh, 32), uint32_t(length));
        } else {
            EXPECT_EQ(32, h);
        }
    }
    // ffmpeg stores raw RGB top-down.
    int32_t w = 0, h = 0, length = 0;
    float rate = 0;
    ASSERT_EQ(0, GetAVIinfo(Path("raw_bgr24.avi").c_str(), &w, &h, &rate, &length));
    EXPECT_EQ(-32, h);
}

TEST_F(AviReaderTest, FramesEqualFfmpegsOwnDecoding)
{
    const DecodedVideo source = FfmpegDecode(Path("source.avi"));
    ASSERT_EQ(5u, source.frames.size());
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const std::string path = Path(f.name);
        const DecodedVideo reference = FfmpegDecode(path);
        ASSERT_EQ(5u, reference.frames.size());
        BitmapHandle target = MakeFilled(48, 32, 24, 0xEE);
        DcHandle dc(CreateHostDC(target.get()));
        // Backwards, so that every frame needs a seek of its own.
        for (int32_t position = 4; position >= 0; --position) {
            ASSERT_EQ(0, GetAVIframe(dc.get(), path.c_str(), position, 1.0f)) << position;
            EXPECT_EQ(reference.frames[size_t(position)], Bgr24Rows(target.get())) << position;
            if (f.lossless) {
                EXPECT_EQ(source.frames[size_t(position)], Bgr24Rows(target.get())) << position;
            }
        }
        EXPECT_EQ(1, GetHostStretchMode(dc.get()));  // an unscaled draw leaves the mode alone
    }
}

TEST_F(AviReaderTest, PositionsWithoutAFrameGiveFour)
{
    BitmapHandle target = MakeFilled(48, 32, 24, 0);
    DcHandle dc(CreateHostDC(target.get()));
    for (const char* name : {"raw_bgr24.avi", "h264.avi", "mp4_h264.mp4"}) {
        SCOPED_TRACE(name);
        for (int32_t position : {-1, 5, 6, 1000, std::numeric_limits<int32_t>::min(),
                                 std::numeric_limits<int32_t>::max()})
            EXPECT_EQ(4, GetAVIframe(dc.get(), Path(name).c_str(), position, 1.0f)) << position;
    }
}

TEST_F(AviReaderTest, FilesWithoutVideoGiveOne)
{
    const std::string audio = FfmpegFixture("audio.avi", "sine=duration=0.2", "-c:a pcm_s16le");
    ASSERT_FALSE(audio.empty());
    const std::string text = scratch_.Path("text.avi");
    WriteFileBytes(text, std::vector<uint8_t>(1000, 'x'));
    int32_t w = 7, h = 7, length = 7;
    float rate = 7;
    BitmapHandle target = MakeFilled(8, 8, 24, 0);
    DcHandle dc(CreateHostDC(target.get()));
    for (const std::string& path : {audio, text, scratch_.Path("missing.avi"), std::string()}) {
        EXPECT_EQ(1, GetAVIinfo(path.c_str(), &w, &h, &rate, &length)) << path;
        EXPECT_EQ(1, GetAVIframe(dc.get(), path.c_str(), 0, 1.0f)) << path;
    }
    EXPECT_EQ(1, GetAVIinfo(nullptr, &w, &h, &rate, &length));
    EXPECT_EQ(1, GetAVIframe(dc.get(), nullptr, 0, 1.0f));
    // Outputs are written only on success.
    EXPECT_EQ(7, w);
    EXPECT_EQ(7, h);
    EXPECT_EQ(7.0f, rate);
    EXPECT_EQ(7, length);
}

class ZoomTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string path = dir.Path("solid.avi");
    void SetUp() override
    {
        // Written by the library itself: exactly 321 x 241, one grey.
        AviWriter* writer = nullptr;
        ASSERT_EQ(0, RenderCompressedStart(nullptr, path.c_str(), 321, 241, 24, 1000, 2, &writer));
        BitmapHandle frame = MakeFilled(321, 241, 24, 0x55);
        DcHandle dc(CreateHostDC(frame.get()));
        EXPECT_EQ(0, RenderCompressed(dc.get(), frame.get(), 0, writer));
        EXPECT_EQ(0, RenderCompressed(dc.get(), frame.get(), 1, writer));
        RenderCompressedEnd(writer);
    }
    // The drawn rectangle: pixels that are not the marker, which must form a
    // rectangle at the origin, all of the frame's one colour.
    static void DrawnSize(HostBitmap* bitmap, int32_t* w, int32_t* h)
    {
        const uint8_t* colour = GetHostBitmapBits(bitmap);
        ASSERT_NE(0xEE, colour[0]);
        const std::vector<uint8_t> rows = Bgr24Rows(bitmap);
        const int32_t width = GetHostBitmapWidth(bitmap), height = GetHostBitmapHeight(bitmap);
        *w = 0;
        *h = 0;
        for (int32_t x = 0; x < width && rows[size_t(x) * 3] != 0xEE; ++x) *w = x + 1;
        for (int32_t y = 0; y < height && rows[size_t(y) * size_t(width) * 3] != 0xEE; ++y) *h = y + 1;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = &rows[(size_t(y) * size_t(width) + size_t(x)) * 3];
                const bool inside = x < *w && y < *h;
                if (inside) {
                    ASSERT_EQ(0, std::memcmp(p, colour, 3)) << x << "," << y;
                } else {
                    ASSERT_EQ(0xEE, p[0]) << x << "," << y;
                }
            }
    }
};

TEST_F(ZoomTest, DrawnSizesAndStretchMode)
{
    const struct {
        float zoom;
        int32_t w, h, mode;
    } cases[] = {
        {1.0f, 321, 241, 1},      {0.5f, 160, 120, 3},   {2.0f, 642, 482, 3},
        {0.99999f, 320, 240, 3},  {1.5f, 481, 361, 3},
        {std::numeric_limits<float>::quiet_NaN(), 321, 241, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.zoom);
        BitmapHandle target = MakeFilled(700, 500, 24, 0xEE);
        DcHandle dc(CreateHostDC(target.get()));
        ASSERT_EQ(0, GetAVIframe(dc.get(), path.c_str(), 1, c.zoom));
        int32_t w = 0, h = 0;
        DrawnSize(target.get(), &w, &h);
        EXPECT_EQ(c.w, w);
        EXPECT_EQ(c.h, h);
        EXPECT_EQ(c.mode, GetHostStretchMode(dc.get()));
    }
}

TEST_F(ZoomTest, ExtremeZoomsEndWithACode)
{
    // Infinite and huge products truncate to INT32_MIN; negative zooms ask
    // for a mirrored stretch. The drawing call decides; nothing strays.
    for (float zoom : {-1.0f, -0.5f, 1e30f, -1e30f, std::numeric_limits<float>::infinity(),
                       std::numeric_limits<float>::denorm_min()}) {
        BitmapHandle target = MakeFilled(400, 300, 24, 0xEE);
        DcHandle dc(CreateHostDC(target.get()));
        const int32_t result = GetAVIframe(dc.get(), path.c_str(), 0, zoom);
        EXPECT_TRUE(result == 0 || result == 5) << zoom << " gave " << result;
        EXPECT_EQ(3, GetHostStretchMode(dc.get())) << zoom;
    }
}

TEST_F(ZoomTest, NothingToDrawGivesFive)
{
    // Zoom 0 stretches to nothing; a device context without a bitmap takes
    // no drawing.
    BitmapHandle target = MakeFilled(400, 300, 24, 0xEE);
    DcHandle dc(CreateHostDC(target.get()));
    EXPECT_EQ(5, GetAVIframe(dc.get(), path.c_str(), 0, 0.0f));
    DcHandle empty(CreateHostDC(nullptr));
    EXPECT_EQ(5, GetAVIframe(empty.get(), path.c_str(), 0, 1.0f));
}

// Rewrites one 32-bit field of the first stream header of an AVI file.
void PatchStreamHeader(const std::string& path, size_t fieldOffset, uint32_t value)
{
    std::vector<uint8_t> file = ReadFileBytes(path);
    for (size_t i = 0; i + 8 < file.size(); ++i)
        if (std::memcmp(&file[i], "strh", 4) == 0) {
            std::memcpy(&file[i + 8 + fieldOffset], &value, 4);
            WriteFileBytes(path, file);
            return;
        }
    FAIL() << "no strh";
}

TEST(AviReaderRates, RateIsRateOverScaleRoundedToSingle)
{
    ScratchDir dir;
    const std::string path = dir.Path("rate.avi");
    ASSERT_EQ(0, RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=16x16:rate=25 -frames:v 3 "
                     "-c:v rawvideo -pix_fmt bgr24 '" + path + "'"));
    const struct {
        uint32_t rate, scale;
        float expected;
    } cases[] = {
        {2997, 100, 29.97f},
        {30000, 1001, float(30000.0 / 1001.0)},
        {2500, 100, 25.0f},
        {1, 3, float(1.0 / 3.0)},
        {4000000000u, 1, 4.0e9f},              // the rate is unsigned
        {2500, 0xFFFFFF9Cu, -25.0f},           // the scale is signed: -100
        {16777217, 1, 16777216.0f},            // rounded to single precision
    };
    for (const auto& c : cases) {
        PatchStreamHeader(path, 24, c.rate);
        PatchStreamHeader(path, 20, c.scale);
        int32_t w = 0, h = 0, length = 0;
        float rate = 0;
        ASSERT_EQ(0, GetAVIinfo(path.c_str(), &w, &h, &rate, &length)) << c.rate << "/" << c.scale;
        EXPECT_EQ(c.expected, rate) << c.rate << "/" << c.scale;
        EXPECT_EQ(3, length);
    }
    // A scale of 0 reports a rate of 0 and does not trap.
    PatchStreamHeader(path, 20, 0);
    int32_t w = 0, h = 0, length = 0;
    float rate = -1;
    ASSERT_EQ(0, GetAVIinfo(path.c_str(), &w, &h, &rate, &length));
    EXPECT_EQ(0.0f, rate);
}

TEST(AviReaderRates, SizeComesFromTheFormatNotTheFrameRectangle)
{
    ScratchDir dir;
    const std::string path = dir.Path("rect.avi");
    ASSERT_EQ(0, RunCommand("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=40x20:rate=25 -frames:v 2 "
                     "-c:v mjpeg '" + path + "'"));
    PatchStreamHeader(path, 48, 0);
    PatchStreamHeader(path, 52, 77u | 99u << 16);  // rcFrame right 77, bottom 99
    int32_t w = 0, h = 0, length = 0;
    float rate = 0;
    ASSERT_EQ(0, GetAVIinfo(path.c_str(), &w, &h, &rate, &length));
    EXPECT_EQ(40, w);
    EXPECT_EQ(20, h);
    // A length in the header is passed on as it stands.
    PatchStreamHeader(path, 32, 12345);
    ASSERT_EQ(0, GetAVIinfo(path.c_str(), &w, &h, &rate, &length));
    EXPECT_EQ(12345, length);
}

}  // namespace
}  // namespace qv::test
