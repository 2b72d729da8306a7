/*
 * Quorvane host stand-ins for builds without the Windows graphics interface.
 *
 * A HostBitmap is a picture in device-independent layout (rows from the top
 * row down, each row padded to 4 bytes, pixels as blue, green, red[, unused]);
 * a HostDC is a memory device context with at most one bitmap selected; a
 * HostWindow owns the compressor chooser used by RenderCompressedStart.
 * The library's graphics calls read and draw through these objects exactly as
 * the Windows build does through GDI.
 */
#ifndef QUORVANE_HOST_H
#define QUORVANE_HOST_H

#include <quorvane/quorvane.h>

#ifdef __cplusplus
extern "C" {
#endif

#if !defined(_WIN32)

/*
 * A zeroed picture of the given depth: 1, 4, 8, 16 (5-5-5), 24 or 32 bits per
 * pixel. NULL when a size is below 1, the depth is unsupported, the picture
 * would take more than 2^31 - 1 bytes, or memory runs out. Depths up to 8 get
 * a standard palette:
 *   1 bit:  black, white.
 *   4 bits: the 16 colours of the Windows default palette, in its order:
 *           black, maroon, green, olive, navy, purple, teal, silver (C0C0C0),
 *           grey (808080), red, lime, yellow, blue, fuchsia, aqua, white.
 *   8 bits: entries 0-215 the 6x6x6 colour cube, entry 36r + 6g + b with the
 *           channel levels 0, 51, 102, 153, 204, 255; entries 216-255 a
 *           40-step grey ramp, entry 216 + i = grey round(255 (i + 1) / 41).
 * The library's reads into palette pictures of another depth map each colour
 * to the nearest entry of these palettes.
 *
 * Pixel layout (GetHostBitmapBits): rows from the top row down, each
 * GetHostBitmapStride bytes (padded to 4); 32 bits: blue, green, red, unused;
 * 24 bits: blue, green, red; 16 bits: little-endian 0RRRRRGGGGGBBBBB words;
 * 1 and 4 bits: palette indices packed from the high bits of each byte.
 */
QV_API HostBitmap* CreateHostBitmap(int32_t width, int32_t height, int32_t bitsPerPixel);
QV_API void DeleteHostBitmap(HostBitmap* bitmap);

QV_API uint8_t* GetHostBitmapBits(HostBitmap* bitmap);
QV_API int32_t GetHostBitmapStride(const HostBitmap* bitmap);
QV_API int32_t GetHostBitmapWidth(const HostBitmap* bitmap);
QV_API int32_t GetHostBitmapHeight(const HostBitmap* bitmap);
QV_API int32_t GetHostBitmapDepth(const HostBitmap* bitmap);
/* 2^depth entries 0x00RRGGBB for depths 1 to 8, writable; NULL otherwise. */
QV_API uint32_t* GetHostBitmapPalette(HostBitmap* bitmap);

/* A memory device context, optionally with a bitmap selected (not owned). */
QV_API HostDC* CreateHostDC(HostBitmap* selected);
/* Selects bitmap (may be NULL) and returns the previously selected one. */
QV_API HostBitmap* SelectHostBitmap(HostDC* dc, HostBitmap* bitmap);
QV_API HostBitmap* GetHostSelectedBitmap(const HostDC* dc);
/* The stretch mode last set by the library; 1 (BLACKONWHITE) initially. */
QV_API int32_t GetHostStretchMode(const HostDC* dc);
QV_API void DeleteHostDC(HostDC* dc);

/* The compression options record, in the platform's field order. */
typedef struct AVICOMPRESSOPTIONS {
    uint32_t fccType;
    uint32_t fccHandler;
    uint32_t dwKeyFrameEvery;
    uint32_t dwQuality;
    uint32_t dwBytesPerSecond;
    uint32_t dwFlags;
    void* lpFormat;
    uint32_t cbFormat;
    void* lpParms;
    uint32_t cbParms;
    uint32_t dwInterleaveEvery;
} AVICOMPRESSOPTIONS;

/*
 * A window that owns the compressor chooser. The chooser receives zeroed
 * options, fills them and returns non-zero to confirm or 0 to cancel.
 * A NULL chooser (or a NULL window) takes the library's default choice.
 */
typedef int32_t (*HostCompressorChooser)(void* context, AVICOMPRESSOPTIONS* options);
QV_API HostWindow* CreateHostWindow(HostCompressorChooser chooseCompressor, void* context);
QV_API void DeleteHostWindow(HostWindow* window);

#endif /* !_WIN32 */

#ifdef __cplusplus
}
#endif

#endif /* QUORVANE_HOST_H */
