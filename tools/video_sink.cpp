// MP4 (H.264), WebM (VP9), animated WebP and APNG output through FFmpeg's
// encoders and muxers.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <memory>
#include <numeric>
#include <string>

#include "cli_error.h"
#include "frame_sinks.h"
#include "webp_loop.h"

namespace qvcli {

namespace {

struct Format {
    const char* muxer;
    const char* encoder;
    AVPixelFormat pixels;
    const char* name;  // for messages
};

Format FormatOf(VideoFormat video)
{
    switch (video) {
    case VideoFormat::Mp4: return {"mp4", "libx264", AV_PIX_FMT_YUV420P, "H.264"};
    case VideoFormat::WebM: return {"webm", "libvpx-vp9", AV_PIX_FMT_YUV420P, "VP9"};
    case VideoFormat::WebP: return {"webp", "libwebp_anim", AV_PIX_FMT_BGRA, "WebP"};
    case VideoFormat::Apng: break;
    case VideoFormat::None: break;
    }
    return {"apng", "apng", AV_PIX_FMT_RGB24, "APNG"};
}

std::string AvError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

struct FreeContext {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FreeFrame {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct FreePacket {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FreeScaler {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

class VideoSink final : public FrameSink {
public:
    explicit VideoSink(const SinkOptions& options)
        : options_(options), format_(FormatOf(options.target.video)), file_(options.target.path)
    {
        CheckReplaceable(options.target.path);
        const Size2 size = options.size;
        // 4:2:0 chroma covers pixel pairs; x264 takes no odd side. VP9 does.
        if (options.target.video == VideoFormat::Mp4 && (size.width % 2 != 0 || size.height % 2 != 0))
            throw CliError("cannot write '" + options.target.path + "': H.264 in MP4 needs even sizes and the morph is " +
                           std::to_string(size.width) + "x" + std::to_string(size.height) + "; give --size " +
                           std::to_string(size.width + size.width % 2) + "x" + std::to_string(size.height + size.height % 2) +
                           " (or write .webm, which takes any size)");
        av_log_set_level(AV_LOG_ERROR);
        Open();
    }

    ~VideoSink() override
    {
        if (muxer_ != nullptr) {
            if (muxer_->pb != nullptr) avio_closep(&muxer_->pb);
            avformat_free_context(muxer_);
        }
    }

    void Write(int frameIndex, const HostPicture& picture) override
    {
        Fill(picture);
        frame_->pts = frames_++;
        Send(frame_.get(), frameIndex);
    }

    void Finish() override
    {
        Send(nullptr, -1);
        Check(av_write_trailer(muxer_), "the file could not be completed");
        Check(avio_closep(&muxer_->pb), "the file could not be completed");
        if (options_.target.video == VideoFormat::WebP)
            SetWebPLoopCount(file_.temporaryPath(), options_.loopCount, options_.target.path);
        file_.Commit();
    }

    std::string Written() const override { return options_.target.path; }

private:
    void Fail(const std::string& why) const { throw CliError("cannot write '" + options_.target.path + "': " + why); }
    void Check(int result, const std::string& why) const
    {
        if (result < 0) Fail(why + " (" + AvError(result) + ")");
    }

    void Open()
    {
        const AVCodec* codec = avcodec_find_encoder_by_name(format_.encoder);
        if (codec == nullptr) Fail(std::string("this FFmpeg has no ") + format_.encoder + " encoder");
        Check(avformat_alloc_output_context2(&muxer_, nullptr, format_.muxer, file_.temporaryPath().c_str()),
              "the container could not be set up");
        stream_ = avformat_new_stream(muxer_, nullptr);
        encoder_.reset(avcodec_alloc_context3(codec));
        if (stream_ == nullptr || !encoder_) Fail("no memory for the encoder");

        // Frame rate in hundredths of a frame per second, as for the other outputs.
        const int g = std::gcd(options_.frameRate, 100);
        encoder_->framerate = AVRational{options_.frameRate / g, 100 / g};
        encoder_->time_base = av_inv_q(encoder_->framerate);
        encoder_->width = options_.size.width;
        encoder_->height = options_.size.height;
        encoder_->pix_fmt = format_.pixels;
        encoder_->thread_count = options_.threads;
        if (options_.keyFrameEvery > 0) encoder_->gop_size = options_.keyFrameEvery;
        if (muxer_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;

        AVDictionary* settings = nullptr;
        EncoderSettings(&settings);
        const int opened = avcodec_open2(encoder_.get(), codec, &settings);
        av_dict_free(&settings);
        Check(opened, std::string("the ") + format_.name + " encoder did not start");
        Check(avcodec_parameters_from_context(stream_->codecpar, encoder_.get()), "the stream could not be set up");
        stream_->time_base = encoder_->time_base;
        stream_->avg_frame_rate = encoder_->framerate;

        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!frame_ || !packet_) Fail("no memory for the frame buffers");
        frame_->format = format_.pixels;
        frame_->width = options_.size.width;
        frame_->height = options_.size.height;
        Check(av_frame_get_buffer(frame_.get(), 0), "no memory for the frame buffers");
        if (format_.pixels == AV_PIX_FMT_YUV420P) {
            scaler_.reset(sws_getContext(options_.size.width, options_.size.height, AV_PIX_FMT_BGR0, options_.size.width,
                                         options_.size.height, AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
            if (!scaler_) Fail("the colour conversion could not be set up");
        }

        const int opening = avio_open(&muxer_->pb, file_.temporaryPath().c_str(), AVIO_FLAG_WRITE);
        if (opening < 0) Fail(WhyNotWritable(options_.target.path));
        AVDictionary* muxing = nullptr;
        if (options_.target.video == VideoFormat::Mp4) av_dict_set(&muxing, "movflags", "+faststart", 0);
        if (options_.target.video == VideoFormat::Apng)
            av_dict_set(&muxing, "plays", std::to_string(options_.loopCount).c_str(), 0);
        const int header = avformat_write_header(muxer_, &muxing);
        av_dict_free(&muxing);
        Check(header, "the file header could not be written");
    }

    // --quality 0..100 maps onto each encoder's own scale; without it the
    // encoders' usual defaults hold, and WebP is lossless.
    void EncoderSettings(AVDictionary** settings) const
    {
        const std::optional<int> q = options_.quality;
        switch (options_.target.video) {
        case VideoFormat::Mp4:
            av_dict_set(settings, "crf", std::to_string(q ? std::lround(51 - *q * 0.51) : 23).c_str(), 0);
            av_dict_set(settings, "preset", "medium", 0);
            break;
        case VideoFormat::WebM:
            av_dict_set(settings, "crf", std::to_string(q ? std::lround(63 - *q * 0.63) : 31).c_str(), 0);
            av_dict_set(settings, "b", "0", 0);
            // Speed 4 with row threading: the "good" quality at a pace a
            // command can wait for (speed 1, the default, is several times slower).
            av_dict_set(settings, "deadline", "good", 0);
            av_dict_set(settings, "cpu-used", "4", 0);
            av_dict_set(settings, "row-mt", "1", 0);
            break;
        case VideoFormat::WebP:
            if (q) av_dict_set(settings, "quality", std::to_string(*q).c_str(), 0);
            else av_dict_set(settings, "lossless", "1", 0);
            break;
        case VideoFormat::Apng:
        case VideoFormat::None:
            av_dict_set(settings, "pred", "paeth", 0);
            break;
        }
    }

    // Copies a rendered frame (0x00RRGGBB words) into the encoder's pixels.
    void Fill(const HostPicture& picture)
    {
        if (av_frame_make_writable(frame_.get()) < 0) Fail("no memory for the frame buffers");
        const int w = picture.width(), h = picture.height();
        if (scaler_) {
            // Rows may run bottom-up in memory: the stride is what lies between them.
            const uint8_t* rows[1] = {reinterpret_cast<const uint8_t*>(picture.row(0))};
            const int strides[1] = {h > 1 ? static_cast<int>(reinterpret_cast<const uint8_t*>(picture.row(1)) - rows[0]) : w * 4};
            sws_scale(scaler_.get(), rows, strides, 0, h, frame_->data, frame_->linesize);
            return;
        }
        for (int y = 0; y < h; ++y) {
            const uint32_t* in = picture.row(y);
            uint8_t* out = frame_->data[0] + static_cast<std::ptrdiff_t>(y) * frame_->linesize[0];
            for (int x = 0; x < w; ++x) {
                const uint32_t word = in[x];
                if (format_.pixels == AV_PIX_FMT_BGRA) {
                    // The word's top byte is not alpha: every pixel is opaque.
                    *out++ = static_cast<uint8_t>(word);
                    *out++ = static_cast<uint8_t>(word >> 8);
                    *out++ = static_cast<uint8_t>(word >> 16);
                    *out++ = 0xFF;
                } else {
                    *out++ = static_cast<uint8_t>(word >> 16);
                    *out++ = static_cast<uint8_t>(word >> 8);
                    *out++ = static_cast<uint8_t>(word);
                }
            }
        }
    }

    void Send(AVFrame* frame, int frameIndex)
    {
        const int sent = avcodec_send_frame(encoder_.get(), frame);
        if (sent < 0)
            Fail((frameIndex >= 0 ? "frame " + std::to_string(frameIndex) + " was not encoded"
                                  : std::string("the encoder could not finish")) + " (" + AvError(sent) + ")");
        for (;;) {
            const int received = avcodec_receive_packet(encoder_.get(), packet_.get());
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return;
            Check(received, "the encoder failed");
            // Every frame shows for one frame time, the last one included.
            if (packet_->duration == 0) packet_->duration = 1;
            av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            Check(av_interleaved_write_frame(muxer_, packet_.get()), "writing failed (disk full?)");
        }
    }

    SinkOptions options_;
    Format format_;
    PendingFile file_;
    AVFormatContext* muxer_ = nullptr;
    AVStream* stream_ = nullptr;
    std::unique_ptr<AVCodecContext, FreeContext> encoder_;
    std::unique_ptr<AVFrame, FreeFrame> frame_;
    std::unique_ptr<AVPacket, FreePacket> packet_;
    std::unique_ptr<SwsContext, FreeScaler> scaler_;
    int64_t frames_ = 0;
};

}  // namespace

std::unique_ptr<FrameSink> OpenVideoSink(const SinkOptions& options) { return std::make_unique<VideoSink>(options); }

}  // namespace qvcli
