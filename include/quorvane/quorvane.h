/*
 * Quorvane: morph rendering and frame output.
 *
 * The eleven exported functions of the library. Plain C, usable from C, C++
 * and any foreign-function interface.
 *
 * Argument conventions
 *   - Every argument occupies one slot. Arguments documented as 16-bit are
 *     passed as int32_t; only their low 16 bits are read, as a signed number
 *     (65535 in a slot means -1).
 *   - Picture handles are the host's: on Windows a device context (HDC) and a
 *     bitmap (HBITMAP); on other platforms the library's host stand-ins
 *     declared in <quorvane/host.h> (HostDC*, HostBitmap*, HostWindow*).
 *   - Writer handles are pointer-sized and opaque. A Start call stores the
 *     handle into the host's variable; pass it unchanged to the frame and End
 *     calls.
 *   - 0 means success for every function with a result code, except
 *     SaveToFreeImage, which returns 1 for saved and 0 for not saved.
 *
 * On 32-bit Windows every function is __stdcall and exported under its
 * decorated name (_DrawMorph@76 and so on).
 */
#ifndef QUORVANE_H
#define QUORVANE_H

#include <stdint.h>

#if defined(_WIN32)
#  include <windows.h>
#  define QV_CALL __stdcall
#  if defined(QUORVANE_BUILDING)
     /* Exported under their decorated names by the module definition. */
#    define QV_API
#  else
#    define QV_API __declspec(dllimport)
#  endif
typedef HDC QvDC;
typedef HBITMAP QvBitmap;
typedef HWND QvWindow;
#else
#  define QV_CALL
#  if defined(QUORVANE_BUILDING)
#    define QV_API __attribute__((visibility("default")))
#  else
#    define QV_API
#  endif
typedef struct HostDC HostDC;
typedef struct HostBitmap HostBitmap;
typedef struct HostWindow HostWindow;
typedef HostDC* QvDC;
typedef HostBitmap* QvBitmap;
typedef HostWindow* QvWindow;
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Render flags: the bits of the host's flag word read by DrawMorph ---- */
#define MORPH_WEIGHT_SMOOTH 0x0002 /* per-pixel weight: barycentric blend of the vertex weights */
#define MORPH_WEIGHT_FLAT   0x0004 /* per-triangle weight: sum of vertex weights / control points */
#define MORPH_USE_SOURCE    0x0100 /* sample the source picture (else the key value stands in) */
#define MORPH_USE_DEST      0x0200 /* sample the destination picture */
#define MORPH_BILINEAR      0x1000 /* bilinear sampling (else nearest) */
#define MORPH_KEY_COLOR     0x2000 /* the background word is a transparent key colour */
#define MORPH_KEY_FADE      0x4000 /* with a keyed side, fade the other side by its share */
#define MORPH_SKIP_CORNERS  0x8000 /* skip triangles that have a picture corner as a vertex */

/* ---- DrawMorph result codes ---- */
#define MORPH_OK             0  /* frame rendered */
#define MORPH_NO_MEMORY      1  /* a pixel buffer could not be allocated */
#define MORPH_BAD_SIZE       2  /* a width or height below 1: nothing read, written or rewritten */
#define MORPH_NOT_BOUND     42  /* SetVars not called, or called with a null backgroundColor */

/* Corner vertex identifiers; control points are numbered from 1. */
#define MORPH_VERTEX_TOP_LEFT      0
#define MORPH_VERTEX_TOP_RIGHT    (-1)
#define MORPH_VERTEX_BOTTOM_LEFT  (-2)
#define MORPH_VERTEX_BOTTOM_RIGHT (-3)

/* One triangle of the host's mesh: three vertex identifiers, 6 bytes. */
typedef struct MorphTriangle {
    int16_t v[3];
} MorphTriangle;

/*
 * Binds four host variables. The library keeps the pointers and reads through
 * them on every DrawMorph call, so the host changes a setting by writing its
 * own variable.
 *   backgroundColor  32-bit colour: background fill (bytes b0,b1,b2 become
 *                    red, green, blue) and, unchanged, the key value
 *   lastTriangle     index of the last triangle (count - 1); negative: none
 *   renderFlags      MORPH_* flag word
 *   blockSize        block size; values below 1 mean 1
 * A null backgroundColor leaves the renderer unbound (DrawMorph returns
 * MORPH_NOT_BOUND). The other three may be null: they then read as no
 * triangle (-1), no flag (0) and block size 1.
 */
QV_API void QV_CALL SetVars(const uint32_t* backgroundColor, const int16_t* lastTriangle,
                            const uint16_t* renderFlags, const int16_t* blockSize);

/*
 * Renders one in-between frame into outBitmap.
 *
 * frameX, frameY and vertexWeights point at the entry of vertex 0; the corner
 * entries -1, -2 and -3 lie before it. controlPoints is the table of 16-bit
 * (y, x) pairs: value 4k-2/4k-1 is the source y/x of control point k, 4k/4k+1
 * the destination y/x; each is used plus 2. triangles holds lastTriangle + 1
 * records, each rewritten into top, middle, bottom order.
 *
 * Arguments srcWidth..frameCount are 16-bit values in 32-bit slots.
 *
 * Returns MORPH_OK, MORPH_NO_MEMORY, MORPH_NOT_BOUND, or MORPH_BAD_SIZE when
 * any of the six sizes is below 1 (checked after the settings, before any
 * allocation). A frameCount of 0 gives the default weight 0 (source only);
 * MORPH_WEIGHT_FLAT on a triangle of three corners gives weight 0. NaN and
 * infinite weights are rendered with defined, repeatable results.
 *
 * Every call keeps its working values in its own record: DrawMorph may run
 * on several threads at once as long as the calls share no output bitmap and
 * no triangle array (SetVars must not run concurrently with it).
 */
QV_API int32_t QV_CALL DrawMorph(QvDC srcDC, QvDC dstDC, QvDC outDC,
                                 QvBitmap srcBitmap, QvBitmap dstBitmap, QvBitmap outBitmap,
                                 const int16_t* frameX, const int16_t* frameY,
                                 const float* vertexWeights, const int16_t* controlPoints,
                                 MorphTriangle* triangles,
                                 int32_t srcWidth, int32_t srcHeight,
                                 int32_t dstWidth, int32_t dstHeight,
                                 int32_t outWidth, int32_t outHeight,
                                 int32_t frameIndex, int32_t frameCount);

/* ---- Compressed AVI writer ---- */
typedef struct AviWriter AviWriter;

/*
 * Creates fileName as an AVI file with one video stream (type "vids", scale
 * 100, rate frameRate, length frameTotal, frame rectangle width x height) and
 * asks the host window's chooser for the compressor (see <quorvane/video.h>
 * for the codes, the quality scale and the default without a chooser).
 * frameRate is in hundredths of a frame per second; bitsPerPixel is 16
 * (5-5-5), 24 or 32, and frames are read bottom-up at that depth.
 * Result: 0 ok; 1 no memory for the writer, or writerOut is NULL (writerOut
 * untouched); 2 file not created; 3 stream not created; 4 compressor choice
 * cancelled; 5 compressor unknown or unavailable; 6 frame format refused: a
 * depth other than 16, 24 or 32, a size below 1, byte counts beyond 31 bits
 * (these three before any file is made), or a size the codec cannot take;
 * 7 no memory for the frame buffer.
 * After any result but 1, *writerOut holds a handle that RenderCompressedEnd
 * must close; the file stays (with its header) after codes 3 to 7.
 */
QV_API int32_t QV_CALL RenderCompressedStart(QvWindow parentWindow, const char* fileName,
                                             int32_t width, int32_t height, int32_t bitsPerPixel,
                                             int32_t frameRate, int32_t frameTotal,
                                             AviWriter** writerOut);
/*
 * Writes the picture in frameBitmap (whole padded rows) as the frame at
 * framePosition. Skipped positions are filled with empty frames, which
 * readers show as the frame before. 0 written; 1 not written: a position at
 * or before the last one written, a file that would pass 1 GiB, a write
 * error, a writer whose Start failed, or a handle that is not a live writer
 * (NULL or foreign). Frames that stand alone are all marked key frames;
 * inter-frame codecs start one at every multiple of the chosen interval.
 */
QV_API int32_t QV_CALL RenderCompressed(QvDC frameDC, QvBitmap frameBitmap,
                                        uint32_t framePosition, AviWriter* writer);
/*
 * Completes the file (index, final header: the length grows to the last
 * position written if that is beyond frameTotal) and frees the writer.
 * NULL and foreign handles are ignored.
 */
QV_API void QV_CALL RenderCompressedEnd(AviWriter* writer);

/* ---- Video reader ---- */

/*
 * Frame size, rate (frames per second) and length of the first video stream
 * of an AVI file, or of another container FFmpeg reads (MP4, MKV, WebM,
 * MOV). Width and height are the format's, as stored (a negative height is a
 * top-down raw stream); the rate is dwRate / dwScale rounded to single
 * precision (0 for a scale of 0); the length is the stream header's.
 * 0 ok; 1 no video stream (or no such file); 2 format unreadable; 3 stream
 * header unreadable. Outputs are written only on 0.
 */
QV_API int32_t QV_CALL GetAVIinfo(const char* fileName, int32_t* widthOut, int32_t* heightOut,
                                  float* rateOut, int32_t* lengthOut);
/*
 * Draws frame framePosition at (0, 0) of targetDC: unscaled when zoom is 1.0
 * exactly (or NaN), otherwise stretched to width x zoom by height x zoom
 * (truncated) with the DC's stretch mode left at COLORONCOLOR (3).
 * 0 drawn; 1 no video stream; 2 format unreadable; 3 no decoder; 4 no frame
 * at that position (negative, past the end, or before the first frame);
 * 5 drawing failed. Damaged files give one of these codes.
 */
QV_API int32_t QV_CALL GetAVIframe(QvDC targetDC, const char* fileName, int32_t framePosition,
                                   float zoom);

/* ---- Still-image export ---- */
#define QV_FORMAT_JPEG 4
#define QV_FORMAT_TIFF 5
#define QV_FORMAT_PNG  13 /* any value other than 4 and 5 saves PNG */

/*
 * Saves the picture as JPEG (format 4), TIFF (5) or PNG (any other value).
 * The pixels are read at bitsPerPixel; TIFF keeps 4, 8 (with its colour
 * table) and 24 bits, every other depth and format is widened to 24 bits.
 * saveFlags go unchanged to the image library's saver for the format.
 * Returns 1 saved, 0 not saved: the saver failed, the file system refused
 * some of the bytes (disk full), fileName is NULL, width or height is below
 * 1, or the picture or its 24-bit copy could not be allocated (nothing is
 * left allocated).
 */
QV_API int32_t QV_CALL SaveToFreeImage(QvDC imageDC, QvBitmap imageBitmap,
                                       int32_t width, int32_t height, int32_t bitsPerPixel,
                                       const char* fileName, int32_t format, int32_t saveFlags);

/* ---- Animated GIF writer ---- */
typedef struct GifWriter GifWriter;

/*
 * Creates fileName and writes the GIF header with the looping extension.
 * loopCount is a 16-bit value (0: loop forever). frameRate is in hundredths
 * of a frame per second; each frame period lasts 10000 / frameRate
 * hundredths of a second, rounded half up (a rate of 0 or below: 0).
 * width, height and bitsPerPixel are kept as 16-bit values; bitsPerPixel 8
 * keeps the picture's own colour table, any other depth is reduced to 256
 * colours per frame.
 * 0 ok; 1 no memory for the writer, or writerOut is NULL (writerOut
 * untouched); 2 file not created (or fileName NULL); 3 picture container not
 * allocated (also for a width or height below 0, or above 65535 at any depth
 * but 8, which the colour reduction cannot take); 4 header could not be
 * written (disk full, device error). After any result but 1, *writerOut
 * holds a handle that RenderAnimatedGIFEnd must release.
 */
QV_API int32_t QV_CALL RenderAnimatedGIFStart(const char* fileName, int32_t width, int32_t height,
                                              int32_t bitsPerPixel, int32_t frameRate,
                                              int32_t loopCount, GifWriter** writerOut);
/*
 * Appends the picture as one frame shown for holdFrames (16-bit) frame
 * periods (the delay field keeps the product modulo 65536).
 * 0 appended; 1 writer NULL, not made by RenderAnimatedGIFStart, or without
 * a picture container (nothing written); 2 colour reduction failed; 3 no
 * colour table; 4 the frame could not be written to the file in full (disk
 * full, device error, or an earlier write already failed).
 */
QV_API int32_t QV_CALL RenderAnimatedGIF(QvDC frameDC, QvBitmap frameBitmap, int32_t holdFrames,
                                         GifWriter* writer);
/* Writes the trailer, closes the file and frees the writer. NULL or a
 * handle not made by RenderAnimatedGIFStart is ignored. */
QV_API void QV_CALL RenderAnimatedGIFEnd(GifWriter* writer);

#ifdef __cplusplus
}
#endif

#endif /* QUORVANE_H */
