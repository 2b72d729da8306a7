#include "platform/portable/pixel_codec.h"

#include <array>
#include <cstddef>

namespace qv::host {

namespace {

// Channel widening as FreeImage does it: v * 255 / max, truncated.
template <uint32_t Max>
constexpr std::array<uint32_t, Max + 1> WideningTable()
{
    std::array<uint32_t, Max + 1> table{};
    for (uint32_t v = 0; v <= Max; ++v) table[v] = v * 255u / Max;
    return table;
}

constexpr auto kFrom5 = WideningTable<31>();
constexpr auto kFrom6 = WideningTable<63>();

inline uint32_t Load16(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8; }
inline uint32_t Load24(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
}
inline uint32_t Load32(const uint8_t* p)
{
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

inline uint32_t PixelAt(const uint8_t* row, PixelFormat format, uint32_t x)
{
    switch (format) {
    case PixelFormat::Index1: return uint32_t{row[x >> 3]} >> (7 - (x & 7)) & 1u;
    case PixelFormat::Index4: return (x & 1) != 0 ? row[x >> 1] & 0x0Fu : uint32_t{row[x >> 1]} >> 4;
    case PixelFormat::Index8: return row[x];
    case PixelFormat::Rgb555:
    case PixelFormat::Rgb565: return Load16(row + 2 * std::size_t{x});
    case PixelFormat::Rgb24: return Load24(row + 3 * std::size_t{x});
    case PixelFormat::Rgb32: return Load32(row + 4 * std::size_t{x});
    }
    return 0;
}

}  // namespace

uint32_t BitsPerPixel(PixelFormat format)
{
    switch (format) {
    case PixelFormat::Index1: return 1;
    case PixelFormat::Index4: return 4;
    case PixelFormat::Index8: return 8;
    case PixelFormat::Rgb555:
    case PixelFormat::Rgb565: return 16;
    case PixelFormat::Rgb24: return 24;
    case PixelFormat::Rgb32: return 32;
    }
    return 0;
}

bool IsIndexed(PixelFormat format)
{
    return format == PixelFormat::Index1 || format == PixelFormat::Index4 ||
           format == PixelFormat::Index8;
}

void UnpackRow(const uint8_t* row, PixelFormat format, uint32_t x0, uint32_t count, uint32_t* out)
{
    // One loop per format, so the inner loops carry no switch.
    switch (format) {
    case PixelFormat::Index1:
    case PixelFormat::Index4:
        for (uint32_t i = 0; i < count; ++i) out[i] = PixelAt(row, format, x0 + i);
        break;
    case PixelFormat::Index8:
        for (uint32_t i = 0; i < count; ++i) out[i] = row[std::size_t{x0} + i];
        break;
    case PixelFormat::Rgb555:
    case PixelFormat::Rgb565: {
        const uint8_t* p = row + 2 * std::size_t{x0};
        for (uint32_t i = 0; i < count; ++i, p += 2) out[i] = Load16(p);
        break;
    }
    case PixelFormat::Rgb24: {
        const uint8_t* p = row + 3 * std::size_t{x0};
        for (uint32_t i = 0; i < count; ++i, p += 3) out[i] = Load24(p);
        break;
    }
    case PixelFormat::Rgb32: {
        const uint8_t* p = row + 4 * std::size_t{x0};
        for (uint32_t i = 0; i < count; ++i, p += 4) out[i] = Load32(p);
        break;
    }
    }
}

void GatherRow(const uint8_t* row, PixelFormat format, const uint32_t* columns, uint32_t count,
               uint32_t* out)
{
    switch (format) {
    case PixelFormat::Index1:
    case PixelFormat::Index4:
    case PixelFormat::Index8:
        for (uint32_t i = 0; i < count; ++i) out[i] = PixelAt(row, format, columns[i]);
        break;
    case PixelFormat::Rgb555:
    case PixelFormat::Rgb565:
        for (uint32_t i = 0; i < count; ++i) out[i] = Load16(row + 2 * std::size_t{columns[i]});
        break;
    case PixelFormat::Rgb24:
        for (uint32_t i = 0; i < count; ++i) out[i] = Load24(row + 3 * std::size_t{columns[i]});
        break;
    case PixelFormat::Rgb32:
        for (uint32_t i = 0; i < count; ++i) out[i] = Load32(row + 4 * std::size_t{columns[i]});
        break;
    }
}

void PackRow(const uint32_t* in, uint32_t count, PixelFormat format, uint8_t* row, uint32_t x0)
{
    switch (format) {
    case PixelFormat::Index1:
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t x = x0 + i;
            const uint32_t shift = 7 - (x & 7);
            uint8_t& byte = row[x >> 3];
            byte = static_cast<uint8_t>((byte & ~(1u << shift)) | (in[i] & 1u) << shift);
        }
        break;
    case PixelFormat::Index4:
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t x = x0 + i;
            uint8_t& byte = row[x >> 1];
            byte = (x & 1) != 0 ? static_cast<uint8_t>((byte & 0xF0u) | (in[i] & 0x0Fu))
                                : static_cast<uint8_t>((byte & 0x0Fu) | (in[i] & 0x0Fu) << 4);
        }
        break;
    case PixelFormat::Index8: {
        uint8_t* p = row + x0;
        for (uint32_t i = 0; i < count; ++i) p[i] = static_cast<uint8_t>(in[i]);
        break;
    }
    case PixelFormat::Rgb555:
    case PixelFormat::Rgb565: {
        uint8_t* p = row + 2 * std::size_t{x0};
        for (uint32_t i = 0; i < count; ++i, p += 2) {
            p[0] = static_cast<uint8_t>(in[i]);
            p[1] = static_cast<uint8_t>(in[i] >> 8);
        }
        break;
    }
    case PixelFormat::Rgb24: {
        uint8_t* p = row + 3 * std::size_t{x0};
        for (uint32_t i = 0; i < count; ++i, p += 3) {
            p[0] = static_cast<uint8_t>(in[i]);
            p[1] = static_cast<uint8_t>(in[i] >> 8);
            p[2] = static_cast<uint8_t>(in[i] >> 16);
        }
        break;
    }
    case PixelFormat::Rgb32: {
        uint8_t* p = row + 4 * std::size_t{x0};
        for (uint32_t i = 0; i < count; ++i, p += 4) {
            p[0] = static_cast<uint8_t>(in[i]);
            p[1] = static_cast<uint8_t>(in[i] >> 8);
            p[2] = static_cast<uint8_t>(in[i] >> 16);
            p[3] = static_cast<uint8_t>(in[i] >> 24);
        }
        break;
    }
    }
}

// ---- direct row conversion ----

bool HasDirectRowConversion(PixelFormat source, PixelFormat target)
{
    return (source == PixelFormat::Rgb24 && target == PixelFormat::Rgb32) ||
           (source == PixelFormat::Rgb32 && target == PixelFormat::Rgb24);
}

void ConvertRowDirect(const uint8_t* source, PixelFormat sourceFormat, uint32_t sourceX, uint8_t* target,
                      PixelFormat targetFormat, uint32_t targetX, uint32_t count)
{
    if (sourceFormat == PixelFormat::Rgb24 && targetFormat == PixelFormat::Rgb32) {
        const uint8_t* in = source + 3 * std::size_t{sourceX};
        uint8_t* out = target + 4 * std::size_t{targetX};
        for (uint32_t i = 0; i < count; ++i, in += 3, out += 4) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            out[3] = 0;
        }
    } else if (sourceFormat == PixelFormat::Rgb32 && targetFormat == PixelFormat::Rgb24) {
        const uint8_t* in = source + 4 * std::size_t{sourceX};
        uint8_t* out = target + 3 * std::size_t{targetX};
        for (uint32_t i = 0; i < count; ++i, in += 4, out += 3) {
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
        }
    }
}

// ---- format conversion ----

PixelConverter::PixelConverter(PixelFormat source, const uint32_t* sourcePalette, PixelFormat target,
                               const uint32_t* targetPalette, uint32_t targetCount)
    : source_(source), target_(target), sourcePalette_(sourcePalette),
      nearest_(targetPalette, targetCount)
{
    if (IsIndexed(source) && IsIndexed(target)) {
        translate_ = true;
        identity_ = source == target;
        const uint32_t entries = 1u << BitsPerPixel(source);
        for (uint32_t i = 0; i < entries; ++i) {
            const uint32_t colour = sourcePalette[i] & 0xFFFFFFu;
            const bool same = i < targetCount && (targetPalette[i] & 0xFFFFFFu) == colour;
            translation_[i] = static_cast<uint8_t>(same ? i : nearest_(colour));
            identity_ = identity_ && translation_[i] == i;
        }
    } else {
        identity_ = source == target;
    }
}

void PixelConverter::Convert(uint32_t* values, uint32_t count)
{
    if (identity_) return;
    if (translate_) {
        for (uint32_t i = 0; i < count; ++i) values[i] = translation_[values[i] & 0xFFu];
        return;
    }
    switch (source_) {
    case PixelFormat::Index1:
    case PixelFormat::Index4:
    case PixelFormat::Index8:
        for (uint32_t i = 0; i < count; ++i) values[i] = sourcePalette_[values[i] & 0xFFu] & 0xFFFFFFu;
        break;
    case PixelFormat::Rgb555:
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t w = values[i];
            values[i] = kFrom5[w >> 10 & 31] << 16 | kFrom5[w >> 5 & 31] << 8 | kFrom5[w & 31];
        }
        break;
    case PixelFormat::Rgb565:
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t w = values[i];
            values[i] = kFrom5[w >> 11 & 31] << 16 | kFrom6[w >> 5 & 63] << 8 | kFrom5[w & 31];
        }
        break;
    case PixelFormat::Rgb24:
        break;
    case PixelFormat::Rgb32:
        for (uint32_t i = 0; i < count; ++i) values[i] &= 0xFFFFFFu;
        break;
    }
    switch (target_) {
    case PixelFormat::Index1:
    case PixelFormat::Index4:
    case PixelFormat::Index8:
        for (uint32_t i = 0; i < count; ++i) values[i] = nearest_(values[i]);
        break;
    case PixelFormat::Rgb555:
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t c = values[i];
            values[i] = (c >> 19 & 31) << 10 | (c >> 11 & 31) << 5 | (c >> 3 & 31);
        }
        break;
    case PixelFormat::Rgb565:
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t c = values[i];
            values[i] = (c >> 19 & 31) << 11 | (c >> 10 & 63) << 5 | (c >> 3 & 31);
        }
        break;
    case PixelFormat::Rgb24:
    case PixelFormat::Rgb32:
        break;
    }
}

}  // namespace qv::host
