#include "dib_canvas.h"

#include <algorithm>
#include <cstring>

DibCanvas::DibCanvas(int32_t width, int32_t height) : width_(width), height_(height)
{
    BITMAPINFO info;
    std::memset(&info, 0, sizeof(info));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<uint32_t*>(bits);
    dc_ = CreateCompatibleDC(nullptr);
    if (bitmap_ != nullptr && dc_ != nullptr) previous_ = SelectObject(dc_, bitmap_);
}

DibCanvas::~DibCanvas()
{
    if (dc_ != nullptr) {
        if (previous_ != nullptr) SelectObject(dc_, previous_);
        DeleteDC(dc_);
    }
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
}

std::vector<uint32_t> DibCanvas::Words() const
{
    GdiFlush();
    const size_t count = size_t(width_) * size_t(height_);
    return bits_ != nullptr ? std::vector<uint32_t>(bits_, bits_ + count) : std::vector<uint32_t>();
}

void DibCanvas::SetWords(const std::vector<uint32_t>& words)
{
    GdiFlush();
    const size_t count = std::min(words.size(), size_t(width_) * size_t(height_));
    if (bits_ != nullptr) std::copy(words.begin(), words.begin() + std::ptrdiff_t(count), bits_);
}

void DibCanvas::Fill(uint32_t word)
{
    GdiFlush();
    if (bits_ != nullptr) std::fill(bits_, bits_ + size_t(width_) * size_t(height_), word);
}
