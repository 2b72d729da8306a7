#include "platform/portable/video_compressors.h"

#include <cctype>
#include <cstdio>

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

namespace qv::vsvc {

namespace {

constexpr AVPixelFormat kNone = AV_PIX_FMT_NONE;

const CompressorSpec kCompressors[] = {
    {kUncompressedFcc, nullptr, "Uncompressed frames", {kNone, kNone}, true, true,
     KeyFrameControl::None, false},
    {FourCC('M', 'J', 'P', 'G'), "mjpeg", "Motion JPEG", {AV_PIX_FMT_YUVJ420P, kNone}, false, true,
     KeyFrameControl::None, true},
    {FourCC('F', 'F', 'V', '1'), "ffv1", "FFV1 lossless", {AV_PIX_FMT_BGR0, kNone}, true, true,
     KeyFrameControl::None, false},
    {FourCC('H', 'F', 'Y', 'U'), "huffyuv", "HuffYUV lossless", {AV_PIX_FMT_RGB24, AV_PIX_FMT_BGRA},
     true, true, KeyFrameControl::None, false},
    {FourCC('U', 'L', 'R', 'G'), "utvideo", "Ut Video lossless RGB", {AV_PIX_FMT_GBRP, kNone}, true,
     true, KeyFrameControl::None, false},
    {FourCC('F', 'M', 'P', '4'), "mpeg4", "MPEG-4 Part 2", {AV_PIX_FMT_YUV420P, kNone}, false, false,
     KeyFrameControl::ForcedFrames, true},
    {FourCC('X', 'V', 'I', 'D'), "mpeg4", "MPEG-4 Part 2 (Xvid tag)", {AV_PIX_FMT_YUV420P, kNone},
     false, false, KeyFrameControl::ForcedFrames, true},
    {FourCC('H', '2', '6', '4'), "libx264", "H.264 (even sizes)", {AV_PIX_FMT_YUV420P, kNone}, false,
     false, KeyFrameControl::ForcedFrames, false},
    {FourCC('M', 'S', 'V', 'C'), "msvideo1", "Microsoft Video 1 (sizes multiple of 4)",
     {AV_PIX_FMT_RGB555LE, kNone}, false, false, KeyFrameControl::KeyintMinus1, false},
    {FourCC('C', 'R', 'A', 'M'), "msvideo1", "Microsoft Video 1, CRAM tag (sizes multiple of 4)",
     {AV_PIX_FMT_RGB555LE, kNone}, false, false, KeyFrameControl::KeyintMinus1, false},
    {FourCC('c', 'v', 'i', 'd'), "cinepak", "Cinepak (sizes multiple of 4)",
     {AV_PIX_FMT_RGB24, kNone}, false, false, KeyFrameControl::GopSize, false},
};

uint32_t LowerFcc(uint32_t fcc)
{
    uint32_t out = 0;
    for (int i = 0; i < 4; ++i) {
        const auto c = uint8_t(fcc >> (8 * i));
        out |= uint32_t(uint8_t(std::tolower(c))) << (8 * i);
    }
    return out;
}

// ICQUALITY_DEFAULT (-1) and anything above the platform's 0..10000 scale
// leave the codec at this quality.
constexpr uint32_t kDefaultQuality = 8500;
uint32_t EffectiveQuality(uint32_t quality) { return quality <= 10000 ? quality : kDefaultQuality; }

constexpr uint32_t kDataRateValid = 0x2;  // AVICOMPRESSF_DATARATE

}  // namespace

const CompressorSpec* CompressorTable(size_t* count)
{
    *count = sizeof(kCompressors) / sizeof(kCompressors[0]);
    return kCompressors;
}

bool CompressorAvailable(const CompressorSpec& spec)
{
    return spec.encoder == nullptr || avcodec_find_encoder_by_name(spec.encoder) != nullptr;
}

const CompressorSpec* FindCompressor(uint32_t fccHandler)
{
    if (fccHandler == 0) fccHandler = kUncompressedFcc;
    for (const CompressorSpec& spec : kCompressors)
        if (LowerFcc(spec.fcc) == LowerFcc(fccHandler))
            return CompressorAvailable(spec) ? &spec : nullptr;
    return nullptr;
}

AVCodecContext* OpenEncoder(const CompressorSpec& spec, const AVICOMPRESSOPTIONS& options,
                            int32_t width, int32_t height, uint32_t rate, uint32_t scale)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(spec.encoder);
    if (codec == nullptr) return nullptr;
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    if (ctx == nullptr) return nullptr;

    ctx->width = width;
    ctx->height = height;
    ctx->pix_fmt = AV_PIX_FMT_NONE;
    for (AVPixelFormat wanted : spec.formats) {
        if (wanted == AV_PIX_FMT_NONE) break;
        for (const AVPixelFormat* f = codec->pix_fmts; f != nullptr && *f != AV_PIX_FMT_NONE; ++f)
            if (*f == wanted) ctx->pix_fmt = wanted;
        if (ctx->pix_fmt != AV_PIX_FMT_NONE) break;
    }
    if (ctx->pix_fmt == AV_PIX_FMT_NONE) {
        avcodec_free_context(&ctx);
        return nullptr;
    }

    // One tick per frame. MPEG-4 Part 2 stores the tick rate in 16 bits, so
    // the fraction is reduced to fit; a rate of 0 still gets a valid base.
    int num = 1, den = 25;
    if (rate != 0 && scale != 0 && int32_t(scale) > 0 && rate <= 0x7FFFFFFFu)
        av_reduce(&num, &den, int64_t(scale), int64_t(rate), 65535);
    if (num <= 0 || den <= 0) num = 1, den = 25;
    ctx->time_base = AVRational{num, den};
    ctx->framerate = AVRational{den, num};
    // Slice threads only: frame threads would hold frames back, and a frame
    // must be in the file when RenderCompressed returns.
    ctx->thread_type = FF_THREAD_SLICE;
    ctx->thread_count = 0;
    ctx->max_b_frames = 0;  // frames leave the encoder in the order they came

    const uint32_t k = options.dwKeyFrameEvery;
    switch (spec.keyFrames) {
    case KeyFrameControl::None:
        ctx->gop_size = 1;  // FFV1 otherwise carries context state between frames
        break;
    case KeyFrameControl::ForcedFrames:
    case KeyFrameControl::GopSize:
        if (k != 0) ctx->gop_size = k > 0x7FFFFFFFu ? 0x7FFFFFFF : int(k);
        break;
    case KeyFrameControl::KeyintMinus1:
        if (k != 0) ctx->keyint_min = k > 0x7FFFFFFFu ? 0x7FFFFFFE : int(k - 1);
        break;
    }

    const uint32_t quality = EffectiveQuality(options.dwQuality);
    const bool dataRate = (options.dwFlags & kDataRateValid) != 0 && options.dwBytesPerSecond != 0;
    if (spec.qscaleQuality) {
        if (dataRate) {
            ctx->bit_rate = int64_t(options.dwBytesPerSecond) * 8;
        } else {
            // 10000 (best) gives qscale 1, 0 gives 31.
            const int qscale = 31 - int(quality * 30 / 10000);
            ctx->flags |= AV_CODEC_FLAG_QSCALE;
            ctx->global_quality = qscale * FF_QP2LAMBDA;
        }
        if (k != 0) av_opt_set_int(ctx->priv_data, "sc_threshold", 1000000000, 0);
    }
    if (spec.fcc == FourCC('H', '2', '6', '4')) {
        av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
        av_opt_set_int(ctx->priv_data, "forced-idr", 1, 0);
        if (dataRate) {
            ctx->bit_rate = int64_t(options.dwBytesPerSecond) * 8;
        } else {
            // 10000 gives CRF 1, 0 gives CRF 51.
            av_opt_set_double(ctx->priv_data, "crf", 51.0 - double(quality) * 50.0 / 10000.0, 0);
        }
        // Headers before every key frame so that any key frame starts a
        // decodable stream; no extra key frames at scene cuts.
        char params[96];
        if (k != 0)
            std::snprintf(params, sizeof(params), "repeat-headers=1:scenecut=0:min-keyint=%u",
                          k > 0x7FFFFFFFu ? 0x7FFFFFFFu : k);
        else
            std::snprintf(params, sizeof(params), "repeat-headers=1");
        av_opt_set(ctx->priv_data, "x264-params", params, 0);
    }

    if (avcodec_open2(ctx, codec, nullptr) < 0) {
        avcodec_free_context(&ctx);
        return nullptr;
    }
    return ctx;
}

}  // namespace qv::vsvc
