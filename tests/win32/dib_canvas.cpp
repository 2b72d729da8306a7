#include "dib_canvas.h"

#include <algorithm>
#include <cstring>

DibSection::DibSection(int32_t width, int32_t height, int32_t depth, const RGBQUAD* colours)
    : stride_(size_t((int64_t(width) * depth + 31) / 32 * 4))
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info;
    std::memset(&info, 0, sizeof(info));
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = -height;
    info.header.biPlanes = 1;
    info.header.biBitCount = WORD(depth);
    info.header.biCompression = BI_RGB;
    if (colours != nullptr) std::memcpy(info.colours, colours, sizeof(info.colours));
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint8_t*>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    if (bitmap_ != nullptr && dc_ != nullptr) previous_ = SelectObject(dc_, bitmap_);
}

DibSection::~DibSection()
{
    if (dc_ != nullptr) {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
}

DibCanvas::DibCanvas(int32_t width, int32_t height)
    : width_(width), height_(height), section_(width, height, 32, nullptr)
{
}

std::vector<uint32_t> DibCanvas::Words() const
{
    GdiFlush();
    const size_t count = size_t(width_) * size_t(height_);
    return words() != nullptr ? std::vector<uint32_t>(words(), words() + count) : std::vector<uint32_t>();
}

void DibCanvas::SetWords(const std::vector<uint32_t>& words)
{
    GdiFlush();
    const size_t count = std::min(words.size(), size_t(width_) * size_t(height_));
    if (this->words() != nullptr) std::copy(words.begin(), words.begin() + std::ptrdiff_t(count), this->words());
}

void DibCanvas::Fill(uint32_t word)
{
    GdiFlush();
    if (words() != nullptr) std::fill(words(), words() + size_t(width_) * size_t(height_), word);
}
