#include "host_picture.h"

#include <string>

#include "cli_error.h"

namespace qvcli {

HostPicture::HostPicture(int width, int height, int depth) : width_(width), height_(height)
{
    bitmap_.reset(CreateHostBitmap(width, height, depth));
    if (bitmap_) dc_.reset(CreateHostDC(bitmap_.get()));
    if (!bitmap_ || !dc_)
        throw CliError("no memory for a " + std::to_string(width) + "x" + std::to_string(height) + " picture");
}

uint32_t* HostPicture::row(int y) const { return reinterpret_cast<uint32_t*>(bytes(y)); }

uint8_t* HostPicture::bytes(int y) const
{
    return GetHostBitmapBits(bitmap_.get()) + static_cast<std::ptrdiff_t>(y) * GetHostBitmapStride(bitmap_.get());
}

std::unique_ptr<HostDC, void (*)(HostDC*)> HostPicture::NewDC() const
{
    std::unique_ptr<HostDC, void (*)(HostDC*)> dc(CreateHostDC(bitmap_.get()), DeleteHostDC);
    if (!dc) throw CliError("no memory for a device context");
    return dc;
}

}  // namespace qvcli
