// Host bitmaps: creation limits, pixel access and palettes.
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "platform/graphics.h"
#include "platform/portable/host_objects.h"
#include "platform/portable/standard_palettes.h"

namespace {

bool SupportedDepth(int32_t depth)
{
    return depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

// Pictures stay below 2 GiB so that every byte offset fits a signed 32-bit
// value, whatever the callers compute with it.
constexpr uint64_t kMaxPictureBytes = INT32_MAX;

constexpr uint64_t kHugePage = uint64_t{2} << 20;

}  // namespace

void FreePixelBytes::operator()(uint8_t* bytes) const { std::free(bytes); }

PixelBytes AllocatePixelBytes(uint64_t bytes)
{
    if (bytes < 2 * kHugePage) return PixelBytes(static_cast<uint8_t*>(std::malloc(bytes)));
    const uint64_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    PixelBytes memory(static_cast<uint8_t*>(std::aligned_alloc(kHugePage, rounded)));
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only advice: without huge pages the memory works all the same.
    if (memory) madvise(memory.get(), rounded, MADV_HUGEPAGE);
#endif
    return memory;
}

extern "C" {

QV_API HostBitmap* CreateHostBitmap(int32_t width, int32_t height, int32_t bitsPerPixel)
{
    if (width < 1 || height < 1 || !SupportedDepth(bitsPerPixel)) return nullptr;
    const uint32_t stride = qv::gfx::DibStride(width, bitsPerPixel);
    if (stride == 0) return nullptr;
    const uint64_t bytes = uint64_t{stride} * static_cast<uint64_t>(height);
    if (bytes > kMaxPictureBytes) return nullptr;

    auto* bitmap = new (std::nothrow) HostBitmap;
    if (bitmap == nullptr) return nullptr;
    bitmap->bits = AllocatePixelBytes(bytes);
    if (!bitmap->bits) {
        delete bitmap;
        return nullptr;
    }
    std::memset(bitmap->bits.get(), 0, bytes);
    bitmap->width = width;
    bitmap->height = height;
    bitmap->depth = bitsPerPixel;
    bitmap->stride = stride;
    qv::host::FillStandardPalette(bitsPerPixel, bitmap->palette);
    return bitmap;
}

QV_API void DeleteHostBitmap(HostBitmap* bitmap) { delete bitmap; }

QV_API uint8_t* GetHostBitmapBits(HostBitmap* bitmap)
{
    return bitmap != nullptr ? bitmap->bits.get() : nullptr;
}

QV_API int32_t GetHostBitmapStride(const HostBitmap* bitmap)
{
    return bitmap != nullptr ? static_cast<int32_t>(bitmap->stride) : 0;
}

QV_API int32_t GetHostBitmapWidth(const HostBitmap* bitmap)
{
    return bitmap != nullptr ? bitmap->width : 0;
}

QV_API int32_t GetHostBitmapHeight(const HostBitmap* bitmap)
{
    return bitmap != nullptr ? bitmap->height : 0;
}

QV_API int32_t GetHostBitmapDepth(const HostBitmap* bitmap)
{
    return bitmap != nullptr ? bitmap->depth : 0;
}

QV_API uint32_t* GetHostBitmapPalette(HostBitmap* bitmap)
{
    if (bitmap == nullptr || bitmap->depth > 8) return nullptr;
    return bitmap->palette;
}

}  // extern "C"
