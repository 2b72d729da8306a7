#include "platform/portable/dib_format.h"

#include <cstring>

#include "platform/graphics.h"

namespace qv::host {

namespace {

constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kLargestHeader = 124;  // BITMAPV5HEADER

std::optional<PixelFormat> FormatOf(const gfx::DibHeader& header, const uint8_t* info)
{
    const uint32_t depth = header.biBitCount;
    if (header.biCompression == gfx::kBiRgb) {
        switch (depth) {
        case 1: return PixelFormat::Index1;
        case 4: return PixelFormat::Index4;
        case 8: return PixelFormat::Index8;
        case 16: return PixelFormat::Rgb555;
        case 24: return PixelFormat::Rgb24;
        case 32: return PixelFormat::Rgb32;
        default: return std::nullopt;
        }
    }
    if (header.biCompression != kBiBitfields || (depth != 16 && depth != 32)) return std::nullopt;
    uint32_t masks[3];
    std::memcpy(masks, info + sizeof(gfx::DibHeader), sizeof masks);
    const bool none = masks[0] == 0 && masks[1] == 0 && masks[2] == 0;
    if (depth == 16) {
        if (none || (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F))
            return PixelFormat::Rgb555;
        if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F) return PixelFormat::Rgb565;
        return std::nullopt;
    }
    if (none || (masks[0] == 0xFF0000 && masks[1] == 0x00FF00 && masks[2] == 0x0000FF))
        return PixelFormat::Rgb32;
    return std::nullopt;
}

}  // namespace

std::optional<DibFormat> ParseDib(const void* info, uint32_t usage)
{
    if (info == nullptr || usage != gfx::kDibRgbColors) return std::nullopt;
    const auto* bytes = static_cast<const uint8_t*>(info);
    gfx::DibHeader header;
    std::memcpy(&header, bytes, sizeof header);
    if (header.biSize < sizeof header || header.biSize > kLargestHeader) return std::nullopt;
    if (header.biWidth <= 0 || header.biHeight == 0) return std::nullopt;
    const std::optional<PixelFormat> format = FormatOf(header, bytes);
    if (!format) return std::nullopt;
    const uint32_t stride = gfx::DibStride(header.biWidth, header.biBitCount);
    if (stride == 0) return std::nullopt;

    DibFormat dib{};
    dib.format = *format;
    dib.headerSize = header.biSize;
    dib.width = header.biWidth;
    dib.bottomUp = header.biHeight > 0;
    dib.height = dib.bottomUp ? int64_t{header.biHeight} : -int64_t{header.biHeight};
    dib.stride = stride;
    dib.bitfields = header.biCompression == kBiBitfields;
    if (IsIndexed(dib.format)) {
        const uint32_t entries = 1u << header.biBitCount;
        dib.colorsUsed = header.biClrUsed == 0 || header.biClrUsed > entries ? entries : header.biClrUsed;
    }
    return dib;
}

void ReadDibColors(const void* info, const DibFormat& format, uint32_t* palette)
{
    const auto* table = static_cast<const uint8_t*>(info) + format.headerSize;
    const uint32_t entries = 1u << BitsPerPixel(format.format);
    for (uint32_t i = 0; i < entries; ++i) palette[i] = 0;
    for (uint32_t i = 0; i < format.colorsUsed; ++i) {
        const uint8_t* quad = table + 4 * std::size_t{i};
        palette[i] = uint32_t{quad[2]} << 16 | uint32_t{quad[1]} << 8 | uint32_t{quad[0]};
    }
}

void WriteDibMasks(void* info, const DibFormat& format)
{
    if (!format.bitfields) return;
    uint32_t masks[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    if (format.format == PixelFormat::Rgb555) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else if (format.format == PixelFormat::Rgb565) {
        masks[0] = 0xF800;
        masks[1] = 0x07E0;
        masks[2] = 0x001F;
    }
    std::memcpy(static_cast<uint8_t*>(info) + sizeof(gfx::DibHeader), masks, sizeof masks);
}

void WriteDibColors(void* info, const DibFormat& format, const uint32_t* palette)
{
    auto* table = static_cast<uint8_t*>(info) + format.headerSize;
    const uint32_t entries = 1u << BitsPerPixel(format.format);
    for (uint32_t i = 0; i < entries; ++i) {
        uint8_t* quad = table + 4 * std::size_t{i};
        quad[0] = static_cast<uint8_t>(palette[i]);
        quad[1] = static_cast<uint8_t>(palette[i] >> 8);
        quad[2] = static_cast<uint8_t>(palette[i] >> 16);
        quad[3] = 0;
    }
}

}  // namespace qv::host
