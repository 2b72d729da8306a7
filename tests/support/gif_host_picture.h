// A host picture (bitmap plus a device context with it selected) built
// through the public stand-ins only, for tests that act as an outside host.
#pragma once

#include <quorvane/host.h>

#include <cstdint>
#include <functional>

namespace qvtest {

class HostPicture {
public:
    HostPicture(int32_t width, int32_t height, int32_t depth)
        : bitmap_(CreateHostBitmap(width, height, depth)), dc_(CreateHostDC(bitmap_))
    {
    }
    ~HostPicture()
    {
        DeleteHostDC(dc_);
        DeleteHostBitmap(bitmap_);
    }
    HostPicture(const HostPicture&) = delete;
    HostPicture& operator=(const HostPicture&) = delete;

    bool valid() const { return bitmap_ != nullptr && dc_ != nullptr; }
    HostBitmap* bitmap() const { return bitmap_; }
    HostDC* dc() const { return dc_; }
    int32_t width() const { return GetHostBitmapWidth(bitmap_); }
    int32_t height() const { return GetHostBitmapHeight(bitmap_); }

    // Row y = 0 is the top row.
    uint8_t* row(int32_t y) const { return GetHostBitmapBits(bitmap_) + y * GetHostBitmapStride(bitmap_); }

    // 24 or 32 bits: colorAt(x, y) gives 0x00RRGGBB.
    void fillRgb(const std::function<uint32_t(int, int)>& colorAt) const
    {
        const int32_t bytes = GetHostBitmapDepth(bitmap_) / 8;
        for (int y = 0; y < height(); ++y) {
            uint8_t* line = row(y);
            for (int x = 0; x < width(); ++x) {
                const uint32_t c = colorAt(x, y);
                line[x * bytes + 0] = static_cast<uint8_t>(c);
                line[x * bytes + 1] = static_cast<uint8_t>(c >> 8);
                line[x * bytes + 2] = static_cast<uint8_t>(c >> 16);
            }
        }
    }

    // 8 bits: indexAt(x, y) gives the palette index.
    void fillIndices(const std::function<uint8_t(int, int)>& indexAt) const
    {
        for (int y = 0; y < height(); ++y) {
            uint8_t* line = row(y);
            for (int x = 0; x < width(); ++x) line[x] = indexAt(x, y);
        }
    }

    uint32_t* palette() const { return GetHostBitmapPalette(bitmap_); }

private:
    HostBitmap* bitmap_;
    HostDC* dc_;
};

}  // namespace qvtest
