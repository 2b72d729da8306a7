// The AVI writer through its exports: header fields as stored (read with the
// tests' own parser), frames and index, result codes, handles, and files that
// FFmpeg decodes back to the pixels that were written.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

#include "support/avi_test_files.h"

namespace qv::test {
namespace {

constexpr uint32_t kKey = 0x10;

// Writes `count` pattern frames at positions 0.. and returns the host pictures' bytes.
std::vector<BitmapHandle> WriteFrames(AviWriter* writer, int32_t w, int32_t h, int32_t depth, int count)
{
    std::vector<BitmapHandle> frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(MakePattern(w, h, depth, uint32_t(i)));
        DcHandle dc(CreateHostDC(frames.back().get()));
        EXPECT_EQ(0, RenderCompressed(dc.get(), frames.back().get(), uint32_t(i), writer)) << i;
    }
    return frames;
}

class AviWriterTest : public ::testing::Test {
protected:
    ScratchDir dir;
};

TEST_F(AviWriterTest, DefaultChoiceWritesUncompressedFramesWithTheHeaderAsGiven)
{
    const std::string path = dir.Path("plain.avi");
    AviWriter* writer = nullptr;
    ASSERT_EQ(0, RenderCompressedStart(nullptr, path.c_str(), 100, 50, 24, 2500, 3, &writer));
    ASSERT_NE(nullptr, writer);
    std::vector<BitmapHandle> frames = WriteFrames(writer, 100, 50, 24, 3);
    RenderCompressedEnd(writer);

    const std::vector<uint8_t> file = ReadFileBytes(path);
    const AviLayout avi = ParseAvi(file);
    ASSERT_TRUE(avi.valid);
    ASSERT_EQ(56u, avi.strh.size());
    EXPECT_EQ(Fcc("vids"), avi.U32(avi.strh, 0));
    EXPECT_EQ(Fcc("DIB "), avi.U32(avi.strh, 4));
    EXPECT_EQ(100u, avi.U32(avi.strh, 20));    // dwScale
    EXPECT_EQ(2500u, avi.U32(avi.strh, 24));   // dwRate
    EXPECT_EQ(0u, avi.U32(avi.strh, 28));      // dwStart
    EXPECT_EQ(3u, avi.U32(avi.strh, 32));      // dwLength
    EXPECT_EQ(15150u, avi.U32(avi.strh, 36));  // (100 + 1) * 3 * 50
    EXPECT_EQ(0u, avi.U32(avi.strh, 48));      // rcFrame left, top
    EXPECT_EQ(100u | 50u << 16, avi.U32(avi.strh, 52));

    ASSERT_EQ(40u, avi.strf.size());
    EXPECT_EQ(40u, avi.U32(avi.strf, 0));
    EXPECT_EQ(100u, avi.U32(avi.strf, 4));
    EXPECT_EQ(50u, avi.U32(avi.strf, 8));  // positive: bottom-up
    EXPECT_EQ(1u | 24u << 16, avi.U32(avi.strf, 12));
    EXPECT_EQ(0u, avi.U32(avi.strf, 16));      // BI_RGB
    EXPECT_EQ(15000u, avi.U32(avi.strf, 20));  // 300-byte rows need no padding

    EXPECT_EQ(40000u, avi.U32(avi.avih, 0));  // microseconds per frame at 25/s
    EXPECT_EQ(0x10u, avi.U32(avi.avih, 12) & 0x10u);
    EXPECT_EQ(0u, avi.U32(avi.avih, 12) & 0x800u);  // chunk types are not to be trusted blindly
    EXPECT_EQ(3u, avi.U32(avi.avih, 16));
    EXPECT_EQ(1u, avi.U32(avi.avih, 24));

    ASSERT_EQ(3u, avi.moviChunks.size());
    ASSERT_EQ(3u, avi.index.size());
    for (size_t i = 0; i < 3; ++i) {
        const RiffChunk& chunk = avi.moviChunks[i];
        EXPECT_EQ(Fcc("00db"), chunk.id);
        EXPECT_EQ(15000u, chunk.size);
        EXPECT_EQ(Fcc("00db"), avi.index[i].id);
        EXPECT_EQ(kKey, avi.index[i].flags);
        EXPECT_EQ(chunk.offset - avi.moviTypeOffset, avi.index[i].offset);
        EXPECT_EQ(15000u, avi.index[i].size);
        const std::vector<uint8_t> expected = BottomUpDib(frames[i].get());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + long(chunk.offset + 8)));
    }

    const DecodedVideo decoded = FfmpegDecode(path);
    ASSERT_EQ(3u, decoded.frames.size());
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(Bgr24Rows(frames[i].get()), decoded.frames[i]) << i;
    EXPECT_EQ("25/1", FfprobeStreamField(path, "r_frame_rate"));
}

TEST_F(AviWriterTest, OddWidthAt24BitsWritesWholePaddedRows)
{
    // 101 pixels: rows of 303 bytes padded to 304. Unpadded writes would
    // drop the last 50 bytes of every frame and shear the picture.
    const std::string path = dir.Path("odd.avi");
    AviWriter* writer = nullptr;
    ASSERT_EQ(0, RenderCompressedStart(nullptr, path.c_str(), 101, 50, 24, 2500, 2, &writer));
    std::vector<BitmapHandle> frames = WriteFrames(writer, 101, 50, 24, 2);
    RenderCompressedEnd(writer);

    const AviLayout avi = ParseAvi(ReadFileBytes(path));
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(304u * 50u, avi.U32(avi.strf, 20));
    ASSERT_EQ(2u, avi.moviChunks.size());
    EXPECT_EQ(304u * 50u, avi.moviChunks[0].size);
    const DecodedVideo decoded = FfmpegDecode(path);
    ASSERT_EQ(2u, decoded.frames.size());
    EXPECT_EQ(Bgr24Rows(frames[1].get()), decoded.frames[1]);
}

TEST_F(AviWriterTest, SixteenAndThirtyTwoBitFramesKeepTheirDepth)
{
    for (int32_t depth : {16, 32}) {
        const std::string path = dir.Path("depth" + std::to_string(depth) + ".avi");
        AviWriter* writer = nullptr;
        ASSERT_EQ(0, RenderCompressedStart(nullptr, path.c_str(), 33, 20, depth, 1000, 1, &writer));
        std::vector<BitmapHandle> frames = WriteFrames(writer, 33, 20, depth, 1);
        RenderCompressedEnd(writer);
        const std::vector<uint8_t> file = ReadFileBytes(path);
        const AviLayout avi = ParseAvi(file);
        ASSERT_TRUE(avi.valid);
        EXPECT_EQ(uint32_t(depth), avi.U32(avi.strf, 12) >> 16);
        const uint32_t stride = depth == 16 ? 68u : 132u;
        ASSERT_EQ(1u, avi.moviChunks.size());
        ASSERT_EQ(stride * 20u, avi.moviChunks[0].size);
        const std::vector<uint8_t> expected = BottomUpDib(frames[0].get());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                               file.begin() + long(avi.moviChunks[0].offset + 8)));
        EXPECT_EQ(depth == 16 ? "rgb555le" : "bgra", FfprobeStreamField(path, "pix_fmt"));
    }
}

TEST_F(AviWriterTest, GapsAreFilledWithEmptyChunksAndEarlierPositionsRefused)
{
    const std::string path = dir.Path("gaps.avi");
    AviWriter* writer = nullptr;
    ASSERT_EQ(0, RenderCompressedStart(nullptr, path.c_str(), 16, 8, 24, 2500, 2, &writer));
    BitmapHandle a = MakePattern(16, 8, 24, 1), b = MakePattern(16, 8, 24, 2);
    DcHandle dcA(CreateHostDC(a.get())), dcB(CreateHostDC(b.get()));
    EXPECT_EQ(0, RenderCompressed(dcA.get(), a.get(), 1, writer));
    EXPECT_EQ(0, RenderCompressed(dcB.get(), b.get(), 4, writer));
    EXPECT_EQ(1, RenderCompressed(dcA.get(), a.get(), 3, writer));  // before the last one
    EXPECT_EQ(1, RenderCompressed(dcA.get(), a.get(), 4, writer));  // the same position again
    RenderCompressedEnd(writer);

    const AviLayout avi = ParseAvi(ReadFileBytes(path));
    ASSERT_TRUE(avi.valid);
    ASSERT_EQ(5u, avi.index.size());
    const uint32_t ids[] = {Fcc("00dc"), Fcc("00db"), Fcc("00dc"), Fcc("00dc"), Fcc("00db")};
    const uint32_t sizes[] = {0, 48 * 8, 0, 0, 48 * 8};
    const uint32_t flags[] = {0, kKey, 0, 0, kKey};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(ids[i], avi.index[i].id) << i;
        EXPECT_EQ(sizes[i], avi.index[i].size) << i;
        EXPECT_EQ(flags[i], avi.index[i].flags) << i;
        EXPECT_EQ(avi.moviChunks[i].offset - avi.moviTypeOffset, avi.index[i].offset) << i;
    }
    EXPECT_EQ(5u, avi.U32(avi.strh, 32));  // the length grows past frameTotal
    EXPECT_EQ(5u, avi.U32(avi.avih, 16));

    // The library's reader shows the previous frame for the empty positions.
    BitmapHandle target = MakeFilled(16, 8, 24, 0);
    DcHandle dc(CreateHostDC(target.get()));
    EXPECT_EQ(4, GetAVIframe(dc.get(), path.c_str(), 0, 1.0f));
    for (int32_t position : {1, 2, 3}) {
        ASSERT_EQ(0, GetAVIframe(dc.get(), path.c_str(), position, 1.0f)) << position;
        EXPECT_EQ(Bgr24Rows(a.get()), Bgr24Rows(target.get())) << position;
    }
    ASSERT_EQ(0, GetAVIframe(dc.get(), path.c_str(), 4, 1.0f));
    EXPECT_EQ(Bgr24Rows(b.get()), Bgr24Rows(target.get()));
    EXPECT_EQ(4, GetAVIframe(dc.get(), path.c_str(), 5, 1.0f));
}

TEST_F(AviWriterTest, PositionsPastTheLastFrameHaveNoFrameEvenWithinFrameTotal)
{
    const std::string path = dir.Path("short.avi");
    AviWriter* writer = nullptr;
    ASSERT_EQ(0, RenderCompressedStart(nullptr, path.c_str(), 16, 8, 24, 2500, 10, &writer));
    WriteFrames(writer, 16, 8, 24, 3);
    RenderCompressedEnd(writer);
    int32_t w = 0, h = 0, length = 0;
    float rate = 0;
    ASSERT_EQ(0, GetAVIinfo(path.c_str(), &w, &h, &rate, &length));
    EXPECT_EQ(10, length);  // as the host stated it
    BitmapHandle target = MakeFilled(16, 8, 24, 0);
    DcHandle dc(CreateHostDC(target.get()));
    EXPECT_EQ(0, GetAVIframe(dc.get(), path.c_str(), 2, 1.0f));
    for (int32_t position : {3, 9, 10}) EXPECT_EQ(4, GetAVIframe(dc.get(), path.c_str(), position, 1.0f));
}

TEST_F(AviWriterTest, UnreadableBitmapsRepeatTheBufferWhichStartsBlack)
{
    // A bitmap that cannot be read is not reported: the frame is written
    // from the buffer as the last read left it, zeros before any read.
    const std::string path = dir.Path("unreadable.avi");
    AviWriter* writer = nullptr;
    ASSERT_EQ(0, RenderCompressedStart(nullptr, path.c_str(), 10, 6, 24, 2500, 3, &writer));
    BitmapHandle good = MakePattern(10, 6, 24, 4);
    DcHandle dc(CreateHostDC(good.get()));
    EXPECT_EQ(0, RenderCompressed(dc.get(), nullptr, 0, writer));
    EXPECT_EQ(0, RenderCompressed(dc.get(), good.get(), 1, writer));
    EXPECT_EQ(0, RenderCompressed(dc.get(), nullptr, 2, writer));
    RenderCompressedEnd(writer);
    const DecodedVideo decoded = FfmpegDecode(path);
    ASSERT_EQ(3u, decoded.frames.size());
    EXPECT_EQ(std::vector<uint8_t>(10 * 6 * 3, 0), decoded.frames[0]);
    EXPECT_EQ(Bgr24Rows(good.get()), decoded.frames[1]);
    EXPECT_EQ(Bgr24Rows(good.get()), decoded.frames[2]);
}

TEST_F(AviWriterTest, PositionsThatWouldTakeTheFilePastOneGibibyteAreRefused)
{
    const std::string path = dir.Path("far.avi");
    AviWriter* writer = nullptr;
    ASSERT_EQ(0, RenderCompressedStart(nullptr, path.c_str(), 8, 8, 32, 2500, 1, &writer));
    BitmapHandle frame = MakePattern(8, 8, 32, 1);
    DcHandle dc(CreateHostDC(frame.get()));
    EXPECT_EQ(0, RenderCompressed(dc.get(), frame.get(), 0, writer));
    // Each skipped position costs an empty chunk and an index entry (24
    // bytes): 50 million of them pass 1 GiB, 100 thousand do not.
    EXPECT_EQ(1, RenderCompressed(dc.get(), frame.get(), 50000000, writer));
    EXPECT_EQ(1, RenderCompressed(dc.get(), frame.get(), 0xFFFFFFFFu, writer));
    EXPECT_EQ(0, RenderCompressed(dc.get(), frame.get(), 100000, writer));
    RenderCompressedEnd(writer);
    const AviLayout avi = ParseAvi(ReadFileBytes(path));
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(100001u, avi.index.size());
    EXPECT_EQ(100001u, avi.U32(avi.strh, 32));
    EXPECT_EQ(0u, avi.index[50000].size);
    EXPECT_EQ(256u, avi.index[100000].size);
}

TEST_F(AviWriterTest, ChooserIsAskedOnceAndItsCancelGivesFour)
{
    FixedChoice choice;
    choice.cancel = true;
    WindowHandle window = MakeChooserWindow(&choice);
    const std::string path = dir.Path("cancel.avi");
    AviWriter* writer = reinterpret_cast<AviWriter*>(uintptr_t(0x1234));
    EXPECT_EQ(4, RenderCompressedStart(window.get(), path.c_str(), 32, 16, 24, 2500, 10, &writer));
    EXPECT_EQ(1, choice.calls);
    ASSERT_NE(reinterpret_cast<AviWriter*>(uintptr_t(0x1234)), writer);
    BitmapHandle frame = MakePattern(32, 16, 24, 0);
    DcHandle dc(CreateHostDC(frame.get()));
    EXPECT_EQ(1, RenderCompressed(dc.get(), frame.get(), 0, writer));
    RenderCompressedEnd(writer);
    // The file stays, with its header and no frames.
    const AviLayout avi = ParseAvi(ReadFileBytes(path));
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(100u, avi.U32(avi.strh, 20));
    EXPECT_EQ(10u, avi.U32(avi.strh, 32));
    EXPECT_TRUE(avi.moviChunks.empty());
    EXPECT_TRUE(avi.index.empty());
}

TEST_F(AviWriterTest, StartResultCodesInStepOrder)
{
    AviWriter* writer = nullptr;
    // 2: the file cannot be created.
    EXPECT_EQ(2, RenderCompressedStart(nullptr, dir.Path("no/such/dir.avi").c_str(), 8, 8, 24, 2500,
                                       1, &writer));
    ASSERT_NE(nullptr, writer);
    RenderCompressedEnd(writer);
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        writer = nullptr;
        EXPECT_EQ(2, RenderCompressedStart(nullptr, name, 8, 8, 24, 2500, 1, &writer));
        RenderCompressedEnd(writer);
    }

    // 5: a compressor that does not exist.
    FixedChoice unknown;
    unknown.fccHandler = Fcc("ZZZZ");
    WindowHandle window = MakeChooserWindow(&unknown);
    writer = nullptr;
    EXPECT_EQ(5, RenderCompressedStart(window.get(), dir.Path("unknown.avi").c_str(), 8, 8, 24,
                                       2500, 1, &writer));
    RenderCompressedEnd(writer);

    // 6: depths the frame format has no room for, sizes below 1 and sizes
    // whose byte counts overflow 32 bits; no file is made for these.
    const struct {
        int32_t w, h, depth;
    } refused[] = {{8, 8, 8}, {8, 8, 1}, {8, 8, 15}, {8, 8, 0}, {8, 8, 48}, {0, 8, 24},
                   {8, -1, 24}, {40000, 40000, 32}, {65536, 32768, 24}, {0x7FFFFFFF, 1, 16}};
    for (const auto& r : refused) {
        const std::string path = dir.Path("refused.avi");
        writer = nullptr;
        EXPECT_EQ(6, RenderCompressedStart(nullptr, path.c_str(), r.w, r.h, r.depth, 2500, 1, &writer))
            << r.w << "x" << r.h << "x" << r.depth;
        ASSERT_NE(nullptr, writer);
        RenderCompressedEnd(writer);
        EXPECT_TRUE(ReadFileBytes(path).empty());
    }

    // 6: a compressor that does not take the size (Microsoft Video 1 needs
    // multiples of 4); the chosen codec is asked only once the format is set.
    FixedChoice msvc;
    msvc.fccHandler = Fcc("MSVC");
    WindowHandle msvcWindow = MakeChooserWindow(&msvc);
    writer = nullptr;
    EXPECT_EQ(6, RenderCompressedStart(msvcWindow.get(), dir.Path("msvc.avi").c_str(), 30, 30, 24,
                                       2500, 1, &writer));
    RenderCompressedEnd(writer);

    // 1: no place for the handle.
    EXPECT_EQ(1, RenderCompressedStart(nullptr, dir.Path("x.avi").c_str(), 8, 8, 24, 2500, 1, nullptr));
}

TEST_F(AviWriterTest, NullAndForeignHandlesAreRefused)
{
    BitmapHandle frame = MakePattern(8, 8, 24, 0);
    DcHandle dc(CreateHostDC(frame.get()));
    EXPECT_EQ(1, RenderCompressed(dc.get(), frame.get(), 0, nullptr));
    RenderCompressedEnd(nullptr);
    alignas(16) unsigned char foreign[512];
    std::memset(foreign, 0x5A, sizeof(foreign));
    EXPECT_EQ(1, RenderCompressed(dc.get(), frame.get(), 0, reinterpret_cast<AviWriter*>(foreign)));
    RenderCompressedEnd(reinterpret_cast<AviWriter*>(foreign));
    for (unsigned char byte : foreign) ASSERT_EQ(0x5A, byte);
}

TEST_F(AviWriterTest, TwoWritersAtOnceKeepTheirOwnFiles)
{
    AviWriter* first = nullptr;
    AviWriter* second = nullptr;
    ASSERT_EQ(0, RenderCompressedStart(nullptr, dir.Path("a.avi").c_str(), 8, 4, 24, 1500, 1, &first));
    ASSERT_EQ(0, RenderCompressedStart(nullptr, dir.Path("b.avi").c_str(), 12, 4, 32, 3000, 1, &second));
    WriteFrames(first, 8, 4, 24, 2);
    WriteFrames(second, 12, 4, 32, 3);
    RenderCompressedEnd(second);
    RenderCompressedEnd(first);
    EXPECT_EQ(2u, ParseAvi(ReadFileBytes(dir.Path("a.avi"))).index.size());
    EXPECT_EQ(3u, ParseAvi(ReadFileBytes(dir.Path("b.avi"))).index.size());
    EXPECT_EQ("15/1", FfprobeStreamField(dir.Path("a.avi"), "r_frame_rate"));
    EXPECT_EQ("30/1", FfprobeStreamField(dir.Path("b.avi"), "r_frame_rate"));
}

TEST_F(AviWriterTest, OddRateKeepsScaleAndRateUnreduced)
{
    const std::string path = dir.Path("ntsc.avi");
    AviWriter* writer = nullptr;
    ASSERT_EQ(0, RenderCompressedStart(nullptr, path.c_str(), 8, 8, 24, 2997, 2, &writer));
    WriteFrames(writer, 8, 8, 24, 2);
    RenderCompressedEnd(writer);
    const AviLayout avi = ParseAvi(ReadFileBytes(path));
    EXPECT_EQ(100u, avi.U32(avi.strh, 20));
    EXPECT_EQ(2997u, avi.U32(avi.strh, 24));
    EXPECT_EQ(33367u, avi.U32(avi.avih, 0));
    EXPECT_EQ("2997/100", FfprobeStreamField(path, "r_frame_rate"));

    int32_t w = 0, h = 0, length = 0;
    float rate = 0;
    ASSERT_EQ(0, GetAVIinfo(path.c_str(), &w, &h, &rate, &length));
    EXPECT_EQ(29.97f, rate);
}

}  // namespace
}  // namespace qv::test
