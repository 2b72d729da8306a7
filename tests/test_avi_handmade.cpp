// The reader on AVI files built byte by byte in the shapes that other writers
// produce: palettised 8-bit frames with full and short colour tables, RLE8,
// top-down 32-bit frames, JUNK padding, stream names, trusted chunk types,
// empty chunks and absolute index offsets. Expected pixels come from the
// tests' own palette lookups; FFmpeg's decoding must agree.
#include <gtest/gtest.h>

#include <string>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include "support/avi_builder.h"
#include "support/avi_test_files.h"

namespace qv::test {
namespace {

constexpr int32_t kW = 37, kH = 21;  // odd sizes: padded rows at 8 and 24 bits

uint8_t IndexAt(int32_t x, int32_t y, int32_t frame) { return uint8_t((x / 4 + (y / 3) * 5 + frame * 3) % 40); }

std::vector<uint32_t> Palette(size_t count)
{
    std::vector<uint32_t> p;
    for (uint32_t i = 0; i < count; ++i)
        p.push_back(((i * 6) & 0xFF) << 16 | ((255 - i * 5) & 0xFF) << 8 | ((i * 37) & 0xFF));
    return p;
}

// Bottom-up 8-bit rows of frame `frame`.
std::vector<uint8_t> IndexRows(int32_t frame, int32_t* stride)
{
    *stride = (kW + 3) / 4 * 4;
    std::vector<uint8_t> rows(size_t(*stride) * kH, 0);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x) rows[size_t(kH - 1 - y) * size_t(*stride) + size_t(x)] = IndexAt(x, y, frame);
    return rows;
}

// What the frame looks like: top-down bgr24.
std::vector<uint8_t> Expected(int32_t frame)
{
    const std::vector<uint32_t> palette = Palette(256);
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x) {
            const uint32_t c = palette[IndexAt(x, y, frame)];
            out.push_back(uint8_t(c));
            out.push_back(uint8_t(c >> 8));
            out.push_back(uint8_t(c >> 16));
        }
    return out;
}

void ExpectFrames(const std::string& path, const std::vector<int32_t>& shown)
{
    BitmapHandle target = MakeFilled(kW, kH, 24, 0);
    DcHandle dc(CreateHostDC(target.get()));
    for (size_t position = 0; position < shown.size(); ++position) {
        ASSERT_EQ(0, GetAVIframe(dc.get(), path.c_str(), int32_t(position), 1.0f)) << position;
        EXPECT_EQ(Expected(shown[position]), Bgr24Rows(target.get())) << position;
    }
    EXPECT_EQ(4, GetAVIframe(dc.get(), path.c_str(), int32_t(shown.size()), 1.0f));
}

class HandmadeAvi : public ::testing::Test {
protected:
    ScratchDir dir;
};

TEST_F(HandmadeAvi, PalettisedFramesWithFullAndShortColourTables)
{
    for (uint32_t clrUsed : {0u, 40u}) {
        SCOPED_TRACE(clrUsed);
        AviBuildSpec spec;
        spec.format = DibFormat(kW, kH, 8, 0, Palette(clrUsed == 0 ? 256 : clrUsed), clrUsed);
        for (int32_t f = 0; f < 3; ++f) {
            int32_t stride = 0;
            spec.frames.push_back({"00db", IndexRows(f, &stride), true});
        }
        const std::string path = dir.Path("pal" + std::to_string(clrUsed) + ".avi");
        WriteFileBytes(path, BuildAvi(spec));
        int32_t w = 0, h = 0, length = 0;
        float rate = 0;
        ASSERT_EQ(0, GetAVIinfo(path.c_str(), &w, &h, &rate, &length));
        EXPECT_EQ(kW, w);
        EXPECT_EQ(kH, h);
        EXPECT_EQ(3, length);
        ExpectFrames(path, {0, 1, 2});
        const DecodedVideo decoded = FfmpegDecode(path);
        ASSERT_EQ(3u, decoded.frames.size());
        EXPECT_EQ(Expected(2), decoded.frames[2]);
    }
}

TEST_F(HandmadeAvi, Rle8Frames)
{
    AviBuildSpec spec;
    spec.fccHandler = 0;
    spec.format = DibFormat(kW, kH, 8, 1 /* BI_RLE8 */, Palette(256), 256);
    for (int32_t f = 0; f < 4; ++f) {
        int32_t stride = 0;
        const std::vector<uint8_t> rows = IndexRows(f, &stride);
        spec.frames.push_back({"00dc", EncodeRle8(rows, kW, kH, stride), true});
    }
    const std::string path = dir.Path("rle.avi");
    WriteFileBytes(path, BuildAvi(spec));
    EXPECT_EQ("msrle", FfprobeStreamField(path, "codec_name"));
    ExpectFrames(path, {0, 1, 2, 3});
    const DecodedVideo decoded = FfmpegDecode(path);
    ASSERT_EQ(4u, decoded.frames.size());
    EXPECT_EQ(Expected(3), decoded.frames[3]);
}

TEST_F(HandmadeAvi, PlatformWriterShapeWithJunkNameTrustedTypesAndAnEmptyChunk)
{
    // As a platform writer lays a file out: JUNK before 'movi', a stream
    // name, trusted chunk types, bottom-up 24-bit frames as '00db', and an
    // empty '00dc' chunk for a skipped position.
    AviBuildSpec spec;
    spec.avihFlags = 0x10 | 0x100 | 0x800;
    spec.fccHandler = Fcc("DIB ");
    spec.rate = 1500;
    spec.rect[2] = kW;
    spec.rect[3] = kH;
    spec.format = DibFormat(kW, kH, 24, 0, {}, 0);
    spec.streamName = "Video #1";
    spec.junkBeforeMovi = 1800;
    const std::vector<uint32_t> palette = Palette(256);
    const int32_t stride = (kW * 3 + 3) / 4 * 4;
    for (int32_t f : {0, 1, -1, 3}) {
        if (f < 0) {
            spec.frames.push_back({"00dc", {}, false});
            continue;
        }
        std::vector<uint8_t> rows(size_t(stride) * kH, 0);
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t x = 0; x < kW; ++x) {
                const uint32_t c = palette[IndexAt(x, y, f)];
                uint8_t* p = &rows[size_t(kH - 1 - y) * size_t(stride) + size_t(x) * 3];
                p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
            }
        spec.frames.push_back({"00db", rows, true});
    }
    const std::string path = dir.Path("platform.avi");
    WriteFileBytes(path, BuildAvi(spec));
    int32_t w = 0, h = 0, length = 0;
    float rate = 0;
    ASSERT_EQ(0, GetAVIinfo(path.c_str(), &w, &h, &rate, &length));
    EXPECT_EQ(kH, h);
    EXPECT_EQ(15.0f, rate);
    EXPECT_EQ(4, length);
    ExpectFrames(path, {0, 1, 1, 3});
}

TEST_F(HandmadeAvi, TopDownThirtyTwoBitFramesWithAbsoluteIndex)
{
    AviBuildSpec spec;
    spec.absoluteIndex = true;
    spec.format = DibFormat(kW, -kH, 32, 0, {}, 0);
    const std::vector<uint32_t> palette = Palette(256);
    for (int32_t f = 0; f < 2; ++f) {
        std::vector<uint8_t> rows;
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t x = 0; x < kW; ++x) {
                const uint32_t c = palette[IndexAt(x, y, f)];
                rows.insert(rows.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
            }
        spec.frames.push_back({"00db", rows, true});
    }
    const std::string path = dir.Path("topdown.avi");
    WriteFileBytes(path, BuildAvi(spec));
    int32_t w = 0, h = 0, length = 0;
    float rate = 0;
    ASSERT_EQ(0, GetAVIinfo(path.c_str(), &w, &h, &rate, &length));
    EXPECT_EQ(kW, w);
    EXPECT_EQ(-kH, h);
    ExpectFrames(path, {0, 1});
}

TEST_F(HandmadeAvi, StreamStartShiftsPositions)
{
    // A stream whose header starts at 3 (as a writer whose first frame went
    // to position 3 leaves it): its frames are at positions 3 and 4.
    AviBuildSpec spec;
    spec.start = 3;
    spec.format = DibFormat(4, 2, 24, 0, {}, 0);
    spec.frames.push_back({"00db", std::vector<uint8_t>(24, 0x11), true});
    spec.frames.push_back({"00db", std::vector<uint8_t>(24, 0x22), true});
    const std::string path = dir.Path("start.avi");
    WriteFileBytes(path, BuildAvi(spec));
    BitmapHandle target = MakeFilled(4, 2, 24, 0);
    DcHandle dc(CreateHostDC(target.get()));
    for (int32_t position : {0, 1, 2, 5}) EXPECT_EQ(4, GetAVIframe(dc.get(), path.c_str(), position, 1.0f));
    ASSERT_EQ(0, GetAVIframe(dc.get(), path.c_str(), 3, 1.0f));
    EXPECT_EQ(std::vector<uint8_t>(24, 0x11), Bgr24Rows(target.get()));
    ASSERT_EQ(0, GetAVIframe(dc.get(), path.c_str(), 4, 1.0f));
    EXPECT_EQ(std::vector<uint8_t>(24, 0x22), Bgr24Rows(target.get()));
    int32_t w = 0, h = 0, length = 0;
    float rate = 0;
    ASSERT_EQ(0, GetAVIinfo(path.c_str(), &w, &h, &rate, &length));
    EXPECT_EQ(2, length);
}

}  // namespace
}  // namespace qv::test
