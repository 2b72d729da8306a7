// The tests' host pictures: owning handles of host bitmaps, device contexts
// and windows, and HostPicture, a bitmap with a device context that has it
// selected. Made and freed through the public stand-ins of <quorvane/host.h>
// only, so that host tests (which see nothing but the shared library) and
// unit tests use the same types. Header-only for that reason.
#pragma once

#include <quorvane/host.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace qv::test {

struct BitmapDeleter {
    void operator()(HostBitmap* bitmap) const { DeleteHostBitmap(bitmap); }
};
struct DcDeleter {
    void operator()(HostDC* dc) const { DeleteHostDC(dc); }
};
struct WindowDeleter {
    void operator()(HostWindow* window) const { DeleteHostWindow(window); }
};
using BitmapHandle = std::unique_ptr<HostBitmap, BitmapDeleter>;
using DcHandle = std::unique_ptr<HostDC, DcDeleter>;
using WindowHandle = std::unique_ptr<HostWindow, WindowDeleter>;

inline BitmapHandle MakeBitmap(int32_t width, int32_t height, int32_t depth)
{
    return BitmapHandle(CreateHostBitmap(width, height, depth));
}

// Raw pixel bytes of one bitmap row (y = 0 is the top row).
inline uint8_t* BitmapRow(HostBitmap* bitmap, int32_t y)
{
    return GetHostBitmapBits(bitmap) + static_cast<std::size_t>(y) * static_cast<std::size_t>(GetHostBitmapStride(bitmap));
}
// The 32-bit word at (x, y) of a 32-bit bitmap, or stores one.
inline uint32_t BitmapWord(HostBitmap* bitmap, int32_t x, int32_t y)
{
    uint32_t word;
    std::memcpy(&word, BitmapRow(bitmap, y) + 4 * static_cast<std::size_t>(x), 4);
    return word;
}
inline void SetBitmapWord(HostBitmap* bitmap, int32_t x, int32_t y, uint32_t word)
{
    std::memcpy(BitmapRow(bitmap, y) + 4 * static_cast<std::size_t>(x), &word, 4);
}

// A host bitmap with a device context that has it selected.
class HostPicture {
public:
    HostPicture(int32_t width, int32_t height, int32_t depth = 32)
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
    uint32_t* palette() const { return GetHostBitmapPalette(bitmap_); }

    // Row y = 0 is the top row.
    uint8_t* row(int32_t y) const { return BitmapRow(bitmap_, y); }
    // Every byte of the picture, padding included.
    size_t bytes() const
    {
        return static_cast<size_t>(GetHostBitmapStride(bitmap_)) * static_cast<size_t>(GetHostBitmapHeight(bitmap_));
    }
    std::vector<uint8_t> pixels() const
    {
        const uint8_t* p = GetHostBitmapBits(bitmap_);
        return {p, p + bytes()};
    }

    // 24 or 32 bits: colorAt(x, y) gives 0x00RRGGBB.
    void fillRgb(const std::function<uint32_t(int, int)>& colorAt) const
    {
        const int32_t step = GetHostBitmapDepth(bitmap_) / 8;
        for (int y = 0; y < height(); ++y) {
            uint8_t* line = row(y);
            for (int x = 0; x < width(); ++x) {
                const uint32_t c = colorAt(x, y);
                line[x * step + 0] = static_cast<uint8_t>(c);
                line[x * step + 1] = static_cast<uint8_t>(c >> 8);
                line[x * step + 2] = static_cast<uint8_t>(c >> 16);
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

    // A repeatable pattern over every byte, with every channel value in use.
    void fillPattern(uint32_t seed) const
    {
        uint8_t* p = GetHostBitmapBits(bitmap_);
        uint32_t x = seed * 2654435761u + 1u;
        for (size_t i = 0; i < bytes(); ++i) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            p[i] = static_cast<uint8_t>(x);
        }
    }

    // 32 bits: the top-down 0x00RRGGBB words (top byte as stored), and back.
    std::vector<uint32_t> Words() const
    {
        const int32_t w = width(), h = height();
        std::vector<uint32_t> words(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (int32_t r = 0; r < h; ++r)
            std::memcpy(&words[static_cast<size_t>(r) * static_cast<size_t>(w)], row(r), static_cast<size_t>(w) * 4);
        return words;
    }
    void SetWords(const std::vector<uint32_t>& words) const
    {
        const int32_t w = width(), h = height();
        for (int32_t r = 0; r < h; ++r)
            std::memcpy(row(r), &words[static_cast<size_t>(r) * static_cast<size_t>(w)], static_cast<size_t>(w) * 4);
    }

private:
    HostBitmap* bitmap_;
    HostDC* dc_;
};

}  // namespace qv::test
