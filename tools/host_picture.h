// A host bitmap (32 bits unless asked otherwise) with its own device
// context, owned as one value.
#pragma once

#include <quorvane/host.h>

#include <cstdint>
#include <memory>

namespace qvcli {

class HostPicture {
public:
    HostPicture() = default;
    // Throws CliError when the bitmap cannot be made (size or memory).
    HostPicture(int width, int height, int depth = 32);

    HostBitmap* bitmap() const { return bitmap_.get(); }
    HostDC* dc() const { return dc_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    explicit operator bool() const { return bitmap_ != nullptr; }

    // Row y (0 = top) as 0x00RRGGBB words (32-bit pictures).
    uint32_t* row(int y) const;
    // Row y (0 = top) as bytes, whatever the depth.
    uint8_t* bytes(int y) const;

    // A device context of its own on the same bitmap, for a second reader.
    std::unique_ptr<HostDC, void (*)(HostDC*)> NewDC() const;

private:
    std::unique_ptr<HostBitmap, void (*)(HostBitmap*)> bitmap_{nullptr, DeleteHostBitmap};
    std::unique_ptr<HostDC, void (*)(HostDC*)> dc_{nullptr, DeleteHostDC};
    int width_ = 0, height_ = 0;
};

}  // namespace qvcli
