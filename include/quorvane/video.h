/*
 * Quorvane: the compressors that RenderCompressedStart can use.
 *
 * A host's compressor chooser (CreateHostWindow in <quorvane/host.h>) names
 * its choice in AVICOMPRESSOPTIONS:
 *   fccHandler       four characters, first character in the low byte
 *                    (QV_FOURCC('M','J','P','G')); compared without regard to
 *                    case; 0 means uncompressed frames. An unknown or
 *                    unavailable code makes RenderCompressedStart return 5.
 *   dwKeyFrameEvery  k: inter-frame codecs start a key frame at every
 *                    position that is a multiple of k (0: the codec decides).
 *                    The file's index marks exactly the frames that the codec
 *                    made key frames; frames that stand alone (uncompressed,
 *                    Motion JPEG, the lossless codecs) are all key frames.
 *   dwQuality        0 (smallest) to 10000 (best), mapped onto the codec's own
 *                    scale (qscale 31..1 for MJPG/FMP4/XVID, CRF 51..1 for
 *                    H264); values above 10000, such as -1, mean the default
 *                    (8500). Lossless codecs, MSVC/CRAM and cvid ignore it.
 *   dwFlags          with 0x2 (AVICOMPRESSF_DATARATE), dwBytesPerSecond sets
 *                    a target rate for MJPG, FMP4, XVID and H264 instead.
 * Other fields are ignored.
 *
 * Without a chooser (a NULL window, or a window created with a NULL chooser)
 * the writer takes uncompressed frames ("DIB ").
 *
 * Some codecs take only some frame sizes: H264 needs even widths and heights,
 * MSVC/CRAM and cvid multiples of 4. Other sizes make RenderCompressedStart
 * return 6.
 *
 * Files are AVI 1.0 with an idx1 index and stay below 1 GiB: a frame that
 * would take the file past that size is refused (RenderCompressed returns 1).
 */
#ifndef QUORVANE_VIDEO_H
#define QUORVANE_VIDEO_H

#include <quorvane/quorvane.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QV_FOURCC(a, b, c, d)                                              \
    ((uint32_t)(uint8_t)(a) | ((uint32_t)(uint8_t)(b) << 8) |             \
     ((uint32_t)(uint8_t)(c) << 16) | ((uint32_t)(uint8_t)(d) << 24))

typedef struct QvCompressorInfo {
    uint32_t fccHandler;       /* the code to put into AVICOMPRESSOPTIONS */
    const char* description;   /* static English text */
    int32_t lossless;          /* 1: decoded frames equal the frames written */
    int32_t keyFramesOnly;     /* 1: every frame stands alone */
} QvCompressorInfo;

/*
 * The compressors available in this build, in a fixed order: "DIB ", then
 * whichever of MJPG, FFV1, HFYU, ULRG, FMP4, XVID, H264, MSVC, CRAM, cvid the
 * installed encoders support. Fills up to `capacity` entries of `list` (which
 * may be NULL when capacity is 0) and returns the number available.
 * Portable builds only: on Windows the platform's compression dialog lists
 * the installed compressors.
 */
#if !defined(_WIN32)
QV_API int32_t QV_CALL QvListCompressors(QvCompressorInfo* list, int32_t capacity);
#endif

#ifdef __cplusplus
}
#endif

#endif /* QUORVANE_VIDEO_H */
