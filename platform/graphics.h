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

// Reads rows of `bitmap` into `bits`, laid out as `info` describes (depth,
// width, row order by the sign of the height, 4-byte rows). At 8 bits or
// fewer it also fills the colour table after the header. Returns the number
// of rows copied, 0 on failure.
int32_t GetDIBits(QvDC dc, QvBitmap bitmap, uint32_t startScan, uint32_t scanLines, void* bits,
                  void* info, uint32_t usage);

// Writes a DIB described by `info` into `bitmap`. Returns rows written, 0 on failure.
int32_t SetDIBits(QvDC dc, QvBitmap bitmap, uint32_t startScan, uint32_t scanLines,
                  const void* bits, const void* info, uint32_t usage);

// Draws the DIB unscaled into the bitmap selected in `dc`. Returns rows drawn, 0 on failure.
int32_t SetDIBitsToDevice(QvDC dc, int32_t xDest, int32_t yDest, uint32_t width, uint32_t height,
                          int32_t xSrc, int32_t ySrc, uint32_t startScan, uint32_t scanLines,
                          const void* bits, const void* info, uint32_t usage);

// Sets the stretch mode of `dc`; returns the previous mode, 0 on failure.
int32_t SetStretchBltMode(QvDC dc, int32_t mode);

// Draws the DIB stretched to destWidth x destHeight, dropping or repeating
// rows and columns. Returns rows drawn, 0 on failure.
int32_t StretchDIBits(QvDC dc, int32_t xDest, int32_t yDest, int32_t destWidth, int32_t destHeight,
                      int32_t xSrc, int32_t ySrc, int32_t srcWidth, int32_t srcHeight,
                      const void* bits, const void* info, uint32_t usage, uint32_t rop);

}  // namespace qv::gfx
