// The five device-independent-bitmap calls through which every pixel crosses
// between the library and the host. Subsystems include this header only; the
// build links either the portable stand-ins (platform/portable) or thin GDI
// wrappers (platform/win32).
#pragma once

#include <cstdint>

#include <quorvane/quorvane.h>

namespace qv::gfx {

// BITMAPINFOHEADER, byte for byte.
struct DibHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;  // positive: rows from the bottom up; negative: top down
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(DibHeader) == 40, "BITMAPINFOHEADER is 40 bytes");

// RGBQUAD: blue, green, red, reserved.
struct DibColor {
    uint8_t blue, green, red, reserved;
};

// BITMAPINFO with room for a full 256-entry colour table.
struct DibInfo {
    DibHeader header;
    DibColor colors[256];
};

inline constexpr uint32_t kBiRgb = 0;
inline constexpr uint32_t kDibRgbColors = 0;
inline constexpr int32_t kColorOnColor = 3;
inline constexpr uint32_t kSrcCopy = 0x00CC0020;

// Bytes of one DIB row: width * depth bits, padded to 4 bytes. 0 when the
// row does not fit in 32 bits or the arguments are not positive.
uint32_t DibStride(int32_t width, int32_t bitsPerPixel);

// Accepted DIB layouts (all five calls): biSize 40 to 124; biBitCount 1, 4,
// 8, 16, 24 or 32; biWidth > 0; biHeight != 0, positive for rows from the
// bottom up, negative for top down; BI_RGB, or BI_BITFIELDS with 5-5-5 or
// 5-6-5 masks at 16 bits and 8-8-8 at 32 (three zero masks mean 5-5-5 and
// 8-8-8); usage DIB_RGB_COLORS. Anything else fails with 0. The colour
// table of a palette DIB starts biSize bytes into `info`; a source DIB's
// table has biClrUsed entries (2^depth when 0), indices past it read black.
//
// Where sizes differ, a bitmap and a DIB share their top-left pixel. The
// buffer holds scanLines rows starting at DIB row startScan, counted in
// memory order (from the bottom for a bottom-up DIB), so memory row s is
// picture row startScan + s of a top-down DIB and |biHeight| - 1 -
// (startScan + s) of a bottom-up one; rows past |biHeight| are never
// touched. Only pixels that exist on both sides are copied.

// Reads rows of `bitmap` into `bits`, laid out as `info` describes (depth,
// width, row order by the sign of the height, 4-byte rows). Buffer pixels
// with no bitmap pixel behind them are left as they are; the padding after
// the last pixel of every row written is cleared. Depths convert as follows:
// the same depth copies raw (32-bit top bytes, 16-bit words, palette indices
// together with the bitmap's palette); otherwise through 0x00RRGGBB, 5-bit
// channels widening as v * 255 / 31 and narrowing to their top 5 bits, and a
// palette DIB of another depth getting the standard palette of its depth
// (see <quorvane/host.h>) and the nearest entry for every pixel. At 8 bits
// or fewer it fills 2^depth colour-table entries and keeps biClrUsed and
// biClrImportant as the caller set them (GDI itself clears biClrUsed; see
// platform/dib_color_counts.h); with BI_BITFIELDS it stores the masks used. With `bits`
// null it only sets biSizeImage (and the colour table), or, if biBitCount is
// 0, describes the bitmap in the header. `dc` is not consulted. Returns the
// number of rows copied, 0 on failure.
int32_t GetDIBits(QvDC dc, QvBitmap bitmap, uint32_t startScan, uint32_t scanLines, void* bits,
                  void* info, uint32_t usage);

// The bitmap's own pixel words when a top-down 32-bit GetDIBits of `width` x
// `height` pixels from row 0 would copy them unchanged: a 32-bit bitmap exactly
// `width` pixels wide and at least `height` rows high. Null otherwise, and
// always where the platform keeps bitmaps out of reach. A reader that only
// reads can use them instead of a copy while the bitmap lives unchanged.
uint32_t* DirectPixelWords(QvBitmap bitmap, int32_t width, int32_t height);

// Writes a DIB described by `info` into `bitmap`, converting to the bitmap's
// depth as GetDIBits does; a palette bitmap receives the nearest entry of its
// own palette (the DIB's index where both tables hold the same colour there).
// Returns rows written, 0 on failure.
int32_t SetDIBits(QvDC dc, QvBitmap bitmap, uint32_t startScan, uint32_t scanLines,
                  const void* bits, const void* info, uint32_t usage);

// Draws the DIB unscaled into the bitmap selected in `dc`, clipped to that
// bitmap. (xSrc, ySrc) is the source rectangle's lower-left corner counted
// from the bottom row for a bottom-up DIB, its upper-left corner for a
// top-down one; only the scanLines rows from startScan are in `bits`.
// Returns the number of bitmap rows drawn; 0 when nothing was drawn or on
// failure (no DC, no selected bitmap, empty size, bad header).
int32_t SetDIBitsToDevice(QvDC dc, int32_t xDest, int32_t yDest, uint32_t width, uint32_t height,
                          int32_t xSrc, int32_t ySrc, uint32_t startScan, uint32_t scanLines,
                          const void* bits, const void* info, uint32_t usage);

// Sets the stretch mode of `dc` (1 to 4); returns the previous mode, 0 on
// failure. The mode is kept on the DC; drawing never blends, whatever it is.
int32_t SetStretchBltMode(QvDC dc, int32_t mode);

// Draws the DIB stretched to destWidth x destHeight, dropping or repeating
// rows and columns: destination offset d takes source offset
// floor(d * srcSize / destSize). Clipped to the selected bitmap; source
// corner as for SetDIBitsToDevice. Sizes of 0 or below (GDI's mirroring)
// draw nothing and return 0, and so does any `rop` but SRCCOPY. Returns the
// number of bitmap rows drawn, 0 when nothing was drawn or on failure.
int32_t StretchDIBits(QvDC dc, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                      int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight,
                      const void* bits, const void* info, uint32_t usage, uint32_t rop);

}  // namespace qv::gfx
