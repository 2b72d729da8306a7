// GetAVIframe on YUV clips of every width from 16 to 130 and a few large and
// odd sizes, in each pixel format the decoders hand out: every row and
// every column must equal FFmpeg's own decoding. The clips are encoded in
// the test with libavcodec; the reference is decoded with libavcodec and
// converted as FFmpeg's tools convert (into frames FFmpeg allocates), and
// that reference is checked against the ffmpeg command at a few widths.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include "support/avi_test_files.h"
#include "support/libav_decoded.h"

namespace qv::test {
namespace {

struct ClipKind {
    const char* label;
    const char* encoder;
    AVPixelFormat format;
    bool evenSizes = false;  // the encoder takes only even widths and heights
};

void PrintTo(const ClipKind& kind, std::ostream* out) { *out << kind.label; }

const ClipKind kKinds[] = {
    {"mpeg4_yuv420p", "mpeg4", AV_PIX_FMT_YUV420P},
    {"mjpeg_yuvj420p", "mjpeg", AV_PIX_FMT_YUVJ420P},
    {"mjpeg_yuvj422p", "mjpeg", AV_PIX_FMT_YUVJ422P},
    {"mjpeg_yuvj444p", "mjpeg", AV_PIX_FMT_YUVJ444P},
    {"h264_yuv420p", "libx264", AV_PIX_FMT_YUV420P, true},
    {"h264_yuvj420p", "libx264", AV_PIX_FMT_YUVJ420P, true},
    {"h264_yuv444p", "libx264", AV_PIX_FMT_YUV444P},
    {"ffv1_yuv422p", "ffv1", AV_PIX_FMT_YUV422P},
};

constexpr int kFrames = 3;

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

// Content in which neighbouring columns and rows differ in every plane, so
// that a lost or shifted column shows.
void FillPattern(AVFrame* frame, int index)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    for (int plane = 0; plane < 3; ++plane) {
        const int pw = plane == 0 ? frame->width : AV_CEIL_RSHIFT(frame->width, desc->log2_chroma_w);
        const int ph = plane == 0 ? frame->height : AV_CEIL_RSHIFT(frame->height, desc->log2_chroma_h);
        for (int y = 0; y < ph; ++y) {
            uint8_t* row = frame->data[plane] + y * frame->linesize[plane];
            for (int x = 0; x < pw; ++x) {
                const int v = plane == 0 ? 40 + (x * 37 + y * 11 + index * 23) % 180
                                         : 70 + (x * 29 + y * 7 + plane * 50 + index * 13) % 120;
                row[x] = uint8_t(v);
            }
        }
    }
}

// Encodes kFrames frames of `kind` at w x h into an AVI file. False when the
// encoder is missing or refuses the size.
bool WriteClip(const std::string& path, const ClipKind& kind, int w, int h)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(kind.encoder);
    if (codec == nullptr) return false;
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, "avi", path.c_str()) < 0) return false;
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    FramePtr frame(av_frame_alloc());
    bool ok = enc != nullptr && packet != nullptr && frame != nullptr;
    if (ok) {
        enc->width = w;
        enc->height = h;
        enc->pix_fmt = kind.format;
        enc->time_base = AVRational{1, 25};
        enc->framerate = AVRational{25, 1};
        enc->gop_size = kFrames;  // one key frame, then predicted ones
        enc->max_b_frames = 0;
        enc->thread_count = 1;
        enc->strict_std_compliance = FF_COMPLIANCE_UNOFFICIAL;
        if (std::string(kind.encoder) == "libx264") av_opt_set(enc->priv_data, "preset", "ultrafast", 0);
        if (out->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        ok = avcodec_open2(enc, codec, nullptr) >= 0;
    }
    AVStream* stream = ok ? avformat_new_stream(out, nullptr) : nullptr;
    ok = ok && stream != nullptr && avcodec_parameters_from_context(stream->codecpar, enc) >= 0;
    if (ok) stream->time_base = enc->time_base;
    ok = ok && avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) >= 0;
    ok = ok && avformat_write_header(out, nullptr) >= 0;
    frame->format = kind.format;
    frame->width = w;
    frame->height = h;
    ok = ok && av_frame_get_buffer(frame.get(), 0) >= 0;
    auto drain = [&]() {
        while (avcodec_receive_packet(enc, packet) >= 0) {
            av_packet_rescale_ts(packet, enc->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(out, packet) < 0) ok = false;
        }
    };
    for (int i = 0; ok && i < kFrames; ++i) {
        ok = av_frame_make_writable(frame.get()) >= 0;
        FillPattern(frame.get(), i);
        frame->pts = i;
        ok = ok && avcodec_send_frame(enc, frame.get()) >= 0;
        if (ok) drain();
    }
    if (ok && avcodec_send_frame(enc, nullptr) >= 0) drain();
    if (ok) ok = av_write_trailer(out) >= 0;
    if (out->pb != nullptr) avio_closep(&out->pb);
    avcodec_free_context(&enc);
    av_packet_free(&packet);
    avformat_free_context(out);
    return ok;
}

// "" when equal, else where the first difference lies and how many columns
// differ anywhere.
std::string Difference(const std::vector<uint8_t>& want, const std::vector<uint8_t>& got, int w, int h)
{
    if (want.size() != got.size()) return "sizes differ";
    int first = -1, firstRow = -1, columns = 0;
    for (int x = 0; x < w; ++x) {
        bool differs = false;
        for (int y = 0; y < h && !differs; ++y)
            for (int c = 0; c < 3; ++c) {
                const size_t at = (size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c);
                if (want[at] != got[at]) {
                    differs = true;
                    if (first < 0) first = x, firstRow = y;
                    break;
                }
            }
        columns += differs ? 1 : 0;
    }
    if (columns == 0) return "";
    return std::to_string(columns) + " columns differ, the first at (" + std::to_string(first) + ", " +
           std::to_string(firstRow) + ")";
}

class DecodeWidthsTest : public ::testing::TestWithParam<ClipKind> {
protected:
    // Makes the clip, decodes it both ways and compares every frame, read
    // backwards so that each needs a seek. Returns false when the encoder
    // is not available.
    bool Check(int w, int h)
    {
        const ClipKind& kind = GetParam();
        if (kind.evenSizes) w += w % 2, h += h % 2;
        const std::string path = scratch_.Path(std::string(kind.label) + "-" + std::to_string(w) + "x" +
                                               std::to_string(h) + ".avi");
        if (!WriteClip(path, kind, w, h)) return false;
        const auto reference = LibavDecodeBgr24(path);
        EXPECT_EQ(size_t(kFrames), reference.size()) << w << "x" << h;
        BitmapHandle target = MakeFilled(w, h, 24, 0xEE);
        DcHandle dc(CreateHostDC(target.get()));
        for (int position = int(reference.size()) - 1; position >= 0; --position) {
            EXPECT_EQ(0, GetAVIframe(dc.get(), path.c_str(), position, 1.0f)) << w << "x" << h;
            EXPECT_EQ("", Difference(reference[size_t(position)], Bgr24Rows(target.get()), w, h))
                << w << "x" << h << " frame " << position;
        }
        std::remove(path.c_str());
        return true;
    }
    ScratchDir scratch_;
};

TEST_P(DecodeWidthsTest, EveryWidthFrom16To130)
{
    for (int w = 16; w <= 130; ++w) {
        // Heights run through odd and even values, so that the last chroma
        // row is sometimes shared by one luma row only.
        if (!Check(w, 17 + w % 6)) GTEST_SKIP() << GetParam().encoder << " is not available";
        if (HasFailure()) return;  // one size's report is enough
    }
}

TEST_P(DecodeWidthsTest, LargeAndOddSizes)
{
    // The widths where whole columns were lost (width modulo 16 of 1 to 7),
    // the size that overran the reader's buffer, and large odd frames.
    const int sizes[][2] = {{90, 30}, {450, 34}, {452, 20}, {454, 18}, {466, 31}, {1001, 13}, {1283, 721}, {2047, 9}};
    for (const auto& size : sizes) {
        if (!Check(size[0], size[1])) GTEST_SKIP() << GetParam().encoder << " is not available";
        if (HasFailure()) return;
    }
}

// The in-test reference against the ffmpeg command's own decoding, at
// widths on both sides of the groups that swscale converts at once; one
// ffmpeg run decodes the three clips.
TEST_P(DecodeWidthsTest, ReferenceEqualsTheFfmpegCommand)
{
    const ClipKind& kind = GetParam();
    const int widths[] = {17, 90, 130};
    std::string inputs, outputs;
    for (int i = 0; i < 3; ++i) {
        const int w = widths[i] + (kind.evenSizes ? widths[i] % 2 : 0);
        const std::string clip = scratch_.Path("ref" + std::to_string(i) + ".avi");
        if (!WriteClip(clip, kind, w, 20)) GTEST_SKIP() << kind.encoder << " is not available";
        inputs += " -i '" + clip + "'";
        outputs += " -map " + std::to_string(i) + ":v -fps_mode passthrough -f rawvideo -pix_fmt bgr24 '" +
                   scratch_.Path("ref" + std::to_string(i) + ".bgr") + "'";
    }
    ASSERT_EQ(0, RunCommand("ffmpeg -nostdin -v error -y" + inputs + outputs));
    for (int i = 0; i < 3; ++i) {
        const auto reference = LibavDecodeBgr24(scratch_.Path("ref" + std::to_string(i) + ".avi"));
        std::vector<uint8_t> joined;
        for (const auto& frame : reference) joined.insert(joined.end(), frame.begin(), frame.end());
        ASSERT_EQ(size_t(kFrames), reference.size());
        EXPECT_EQ(ReadFileBytes(scratch_.Path("ref" + std::to_string(i) + ".bgr")), joined) << widths[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, DecodeWidthsTest, ::testing::ValuesIn(kKinds),
                         [](const ::testing::TestParamInfo<ClipKind>& kind) { return std::string(kind.param.label); });

}  // namespace
}  // namespace qv::test
