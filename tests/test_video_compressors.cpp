// Every compressor the build offers: files written through the exports are
// read by ffprobe and decoded by ffmpeg; lossless ones give back every pixel;
// the index marks the frames that the codec made key frames, and inter-frame
// codecs start key frames at the positions the interval names.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include <quorvane/host.h>
#include <quorvane/quorvane.h>
#include <quorvane/video.h>

#include "support/avi_test_files.h"

// libx264 keeps a few small allocations of its own after the encoder is
// closed (seen as 166 bytes under LeakSanitizer); they are not the library's.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx264.so\n"; }

namespace qv::test {
namespace {

constexpr uint32_t kKey = 0x10;

std::string FccText(uint32_t fcc)
{
    std::string s(4, ' ');
    for (int i = 0; i < 4; ++i) s[size_t(i)] = char(fcc >> (8 * i));
    return s;
}

std::vector<QvCompressorInfo> Available()
{
    const int32_t count = QvListCompressors(nullptr, 0);
    std::vector<QvCompressorInfo> list(size_t(count > 0 ? count : 0));
    EXPECT_EQ(count, QvListCompressors(list.data(), count));
    return list;
}

// Decoded frame types as ffprobe reports them ("1,I", "0,P", ...).
std::vector<std::string> DecodedFrameTypes(const std::string& path)
{
    std::vector<std::string> types;
    std::istringstream lines(qv::test::ShellOutput("ffprobe -v error -select_streams v:0 -show_entries "
                                     "frame=key_frame,pict_type -of csv=p=0 '" + path + "'"));
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty()) types.push_back(line.substr(0, 3));
    return types;
}

struct Written {
    std::string path;
    std::vector<BitmapHandle> frames;
};

Written WriteWith(const ScratchDir& dir, uint32_t fcc, uint32_t keyEvery, int count, int32_t w = 64,
                  int32_t h = 48, int32_t depth = 24, bool shiftColours = true)
{
    Written out;
    out.path = dir.Path("c_" + FccText(fcc).substr(0, 3) + "_" + std::to_string(keyEvery) + ".avi");
    FixedChoice choice;
    choice.fccHandler = fcc;
    choice.keyFrameEvery = keyEvery;
    choice.quality = 9000;
    WindowHandle window = MakeChooserWindow(&choice);
    AviWriter* writer = nullptr;
    EXPECT_EQ(0, RenderCompressedStart(window.get(), out.path.c_str(), w, h, depth, 2500,
                                       int32_t(count), &writer))
        << FccText(fcc);
    for (int i = 0; i < count; ++i) {
        out.frames.push_back(MakePattern(w, h, depth, uint32_t(i), shiftColours));
        DcHandle dc(CreateHostDC(out.frames.back().get()));
        EXPECT_EQ(0, RenderCompressed(dc.get(), out.frames.back().get(), uint32_t(i), writer))
            << FccText(fcc) << " frame " << i;
    }
    RenderCompressedEnd(writer);
    return out;
}

TEST(VideoCompressors, ListNamesTheExpectedCodesInOrder)
{
    const std::vector<QvCompressorInfo> list = Available();
    ASSERT_GE(list.size(), 2u);
    EXPECT_EQ(Fcc("DIB "), list[0].fccHandler);
    EXPECT_EQ(1, list[0].lossless);
    // The installed FFmpeg has these encoders; each must be offered.
    std::string codes;
    for (const QvCompressorInfo& c : list) codes += FccText(c.fccHandler) + ",";
    for (const char* wanted : {"MJPG", "FFV1", "HFYU", "ULRG", "FMP4", "XVID", "MSVC", "CRAM", "cvid"})
        EXPECT_NE(std::string::npos, codes.find(wanted)) << wanted << " missing from " << codes;
    if (RunCommand("ffmpeg -hide_banner -encoders 2>/dev/null | grep -q ' libx264 '") == 0) {
        EXPECT_NE(std::string::npos, codes.find("H264"));
    }
    // A short list gets the first entries and still learns the count.
    QvCompressorInfo one[1];
    EXPECT_EQ(int32_t(list.size()), QvListCompressors(one, 1));
    EXPECT_EQ(Fcc("DIB "), one[0].fccHandler);
}

TEST(VideoCompressors, EveryCompressorWritesAFileThatFfmpegDecodes)
{
    ScratchDir dir;
    for (const QvCompressorInfo& c : Available()) {
        SCOPED_TRACE(FccText(c.fccHandler));
        const Written w = WriteWith(dir, c.fccHandler, 3, 7);
        const AviLayout avi = ParseAvi(ReadFileBytes(w.path));
        ASSERT_TRUE(avi.valid);
        EXPECT_EQ(100u, avi.U32(avi.strh, 20));
        EXPECT_EQ(2500u, avi.U32(avi.strh, 24));
        EXPECT_EQ(7u, avi.U32(avi.strh, 32));
        EXPECT_EQ(c.fccHandler, avi.U32(avi.strh, 4));
        const uint32_t compression = avi.U32(avi.strf, 16);
        EXPECT_EQ(c.fccHandler == Fcc("DIB ") ? 0u : c.fccHandler, compression);
        ASSERT_EQ(7u, avi.index.size());
        for (const AviIndexEntry& e : avi.index)
            EXPECT_EQ(c.fccHandler == Fcc("DIB ") ? Fcc("00db") : Fcc("00dc"), e.id);

        const DecodedVideo decoded = FfmpegDecode(w.path);
        ASSERT_EQ(7u, decoded.frames.size());
        EXPECT_EQ(64, decoded.width);
        EXPECT_EQ(48, decoded.height);
        if (c.lossless) {
            for (size_t i = 0; i < 7; ++i)
                EXPECT_EQ(Bgr24Rows(w.frames[i].get()), decoded.frames[i]) << "frame " << i;
        } else {
            // Lossy, but recognisably the frame: mean absolute error small.
            const std::vector<uint8_t> source = Bgr24Rows(w.frames[4].get());
            uint64_t error = 0;
            for (size_t i = 0; i < source.size(); ++i)
                error += uint64_t(std::abs(int(source[i]) - int(decoded.frames[4][i])));
            EXPECT_LT(double(error) / double(source.size()), 12.0);
        }

        // The library's reader delivers what FFmpeg decodes, pixel for pixel.
        BitmapHandle target = MakeFilled(64, 48, 24, 0);
        DcHandle dc(CreateHostDC(target.get()));
        for (int32_t position : {0, 4, 6}) {
            ASSERT_EQ(0, GetAVIframe(dc.get(), w.path.c_str(), position, 1.0f)) << position;
            EXPECT_EQ(decoded.frames[size_t(position)], Bgr24Rows(target.get())) << position;
        }

        if (c.keyFramesOnly) {
            for (const AviIndexEntry& e : avi.index) EXPECT_EQ(kKey, e.flags);
        }
    }
}

TEST(VideoCompressors, InterFrameCodecsKeyExactlyAtMultiplesOfTheInterval)
{
    ScratchDir dir;
    for (const char* code : {"FMP4", "XVID", "H264"}) {
        const uint32_t fcc = Fcc(code);
        bool present = false;
        for (const QvCompressorInfo& c : Available()) present |= c.fccHandler == fcc;
        if (!present) continue;
        SCOPED_TRACE(code);
        const Written w = WriteWith(dir, fcc, 5, 13);
        const AviLayout avi = ParseAvi(ReadFileBytes(w.path));
        ASSERT_EQ(13u, avi.index.size());
        const std::vector<std::string> types = DecodedFrameTypes(w.path);
        ASSERT_EQ(13u, types.size());
        for (size_t i = 0; i < 13; ++i) {
            const bool key = i % 5 == 0;
            EXPECT_EQ(key ? kKey : 0u, avi.index[i].flags) << i;
            // What the decoder found in the bitstream agrees with the index.
            EXPECT_EQ(key ? "1,I" : "0,P", types[i]) << i;
        }
    }
}

TEST(VideoCompressors, IntervalZeroLeavesKeyFramesToTheCodec)
{
    ScratchDir dir;
    const Written w = WriteWith(dir, Fcc("FMP4"), 0, 14);
    const AviLayout avi = ParseAvi(ReadFileBytes(w.path));
    const std::vector<std::string> types = DecodedFrameTypes(w.path);
    ASSERT_EQ(14u, avi.index.size());
    ASSERT_EQ(14u, types.size());
    EXPECT_EQ(kKey, avi.index[0].flags);
    for (size_t i = 0; i < 14; ++i) EXPECT_EQ(types[i] == "1,I" ? kKey : 0u, avi.index[i].flags) << i;
}

TEST(VideoCompressors, VideoOneAndCinepakKeyAtTheIntervalWhenLittleChanges)
{
    ScratchDir dir;
    // Only a small square moves, so both codecs find skippable blocks and
    // make inter frames; key frames come from the interval alone. Microsoft
    // Video 1 keys every keyint_min + 1 frames, Cinepak every gop_size.
    for (const char* code : {"MSVC", "cvid"}) {
        SCOPED_TRACE(code);
        const Written w = WriteWith(dir, Fcc(code), 4, 10, 64, 48, 24, false);
        const AviLayout avi = ParseAvi(ReadFileBytes(w.path));
        ASSERT_EQ(10u, avi.index.size());
        for (size_t i = 0; i < 10; ++i) EXPECT_EQ(i % 4 == 0 ? kKey : 0u, avi.index[i].flags) << i;
        const DecodedVideo decoded = FfmpegDecode(w.path);
        ASSERT_EQ(10u, decoded.frames.size());
    }
}

TEST(VideoCompressors, LosslessCodecsKeepSixteenAndThirtyTwoBitFrames)
{
    ScratchDir dir;
    for (const char* code : {"FFV1", "HFYU", "ULRG"}) {
        for (int32_t depth : {16, 32}) {
            SCOPED_TRACE(std::string(code) + " at " + std::to_string(depth));
            const Written w = WriteWith(dir, Fcc(code), 1, 2, 30, 14, depth);
            const DecodedVideo decoded = FfmpegDecode(w.path);
            ASSERT_EQ(2u, decoded.frames.size());
            // 5-bit channels come back widened the way swscale widens them;
            // compare against the same widening of the source.
            if (depth == 32) {
                EXPECT_EQ(Bgr24Rows(w.frames[1].get()), decoded.frames[1]);
            } else {
                // Widened to 8 bits on the way in; the top 5 bits of every
                // channel are the ones written.
                HostBitmap* source = w.frames[1].get();
                const uint8_t* bits = GetHostBitmapBits(source);
                const int32_t stride = GetHostBitmapStride(source);
                size_t mismatches = 0;
                for (int32_t y = 0; y < 14; ++y)
                    for (int32_t x = 0; x < 30; ++x) {
                        const uint8_t* p = bits + y * stride + x * 2;
                        const unsigned word = unsigned(p[0]) | unsigned(p[1]) << 8;
                        const uint8_t* d = decoded.frames[1].data() + (y * 30 + x) * 3;
                        mismatches += (d[0] >> 3) != (word & 31u);
                        mismatches += (d[1] >> 3) != ((word >> 5) & 31u);
                        mismatches += (d[2] >> 3) != ((word >> 10) & 31u);
                    }
                EXPECT_EQ(0u, mismatches);
            }
        }
    }
}

TEST(VideoCompressors, QualityAndDataRateSetTheFileSize)
{
    ScratchDir dir;
    for (const char* code : {"MJPG", "FMP4", "H264"}) {
        SCOPED_TRACE(code);
        auto sizeWith = [&](uint32_t quality, uint32_t flags, uint32_t bytesPerSecond) {
            const std::string path = dir.Path(std::string(code) + std::to_string(quality) + "_" +
                                              std::to_string(bytesPerSecond) + ".avi");
            FixedChoice choice;
            choice.fccHandler = Fcc(code);
            choice.keyFrameEvery = 10;
            choice.quality = quality;
            choice.flags = flags;
            choice.bytesPerSecond = bytesPerSecond;
            WindowHandle window = MakeChooserWindow(&choice);
            AviWriter* writer = nullptr;
            EXPECT_EQ(0, RenderCompressedStart(window.get(), path.c_str(), 128, 96, 24, 2500, 10, &writer));
            for (uint32_t i = 0; i < 10; ++i) {
                BitmapHandle frame = MakePattern(128, 96, 24, i);
                DcHandle dc(CreateHostDC(frame.get()));
                EXPECT_EQ(0, RenderCompressed(dc.get(), frame.get(), i, writer));
            }
            RenderCompressedEnd(writer);
            EXPECT_EQ(10u, FfmpegDecode(path).frames.size());
            return ReadFileBytes(path).size();
        };
        const size_t best = sizeWith(10000, 0, 0);
        const size_t worst = sizeWith(0, 0, 0);
        const size_t lowRate = sizeWith(10000, 0x2, 2000);  // AVICOMPRESSF_DATARATE
        // Quality 0 at least halves the file; a small data rate shrinks it
        // too (rate control cannot reach 2000 bytes a second on ten frames).
        EXPECT_LT(worst * 2, best);
        EXPECT_LT(lowRate * 5, best * 4);
    }
}

TEST(VideoCompressors, CodecsRefuseSizesTheyCannotTake)
{
    ScratchDir dir;
    for (const char* code : {"H264", "MSVC", "cvid"}) {
        FixedChoice choice;
        choice.fccHandler = Fcc(code);
        WindowHandle window = MakeChooserWindow(&choice);
        AviWriter* writer = nullptr;
        const int32_t result = RenderCompressedStart(window.get(), dir.Path("odd.avi").c_str(), 63,
                                                     47, 24, 2500, 1, &writer);
        RenderCompressedEnd(writer);
        EXPECT_EQ(6, result) << code;
    }
    // Lower-case codes name the same compressor.
    FixedChoice lower;
    lower.fccHandler = Fcc("mjpg");
    WindowHandle window = MakeChooserWindow(&lower);
    AviWriter* writer = nullptr;
    EXPECT_EQ(0, RenderCompressedStart(window.get(), dir.Path("lower.avi").c_str(), 63, 47, 24, 2500,
                                       1, &writer));
    RenderCompressedEnd(writer);
    EXPECT_EQ("mjpeg", FfprobeStreamField(dir.Path("lower.avi"), "codec_name"));
}

}  // namespace
}  // namespace qv::test
