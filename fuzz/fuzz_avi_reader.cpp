// GetAVIinfo and GetAVIframe on arbitrary file bytes. The first bytes pick
// the frame position, the zoom and the target picture; the rest is the file.
#include <quorvane/host.h>
#include <quorvane/quorvane.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_input.h"

namespace {

const std::string& FilePath()
{
    static const std::string path = "/tmp/quorvane-fuzz-avi-" + std::to_string(getpid()) + ".avi";
    return path;
}

}  // namespace

QV_FUZZ_TARGET(FuzzAviReader)
{
    qvfuzz::Input in(data, size);
    const uint8_t choice = in.byte();
    const int32_t position = choice < 200 ? choice % 6 : choice < 250 ? -1 - choice % 3 : in.i32();
    const uint8_t zoomKind = in.byte();
    const float zoom = zoomKind < 160 ? 1.0f : zoomKind < 220 ? 0.25f * static_cast<float>(zoomKind % 9) : in.f32();
    const int32_t depths[] = {8, 16, 24, 32};
    const int32_t depth = depths[in.byte() % 4];

    std::FILE* file = std::fopen(FilePath().c_str(), "wb");
    if (file == nullptr) return 0;
    if (in.remaining() > 0) std::fwrite(in.rest(), 1, in.remaining(), file);
    std::fclose(file);

    int32_t w = 0, h = 0, length = 0;
    float rate = 0.0f;
    const int32_t info = GetAVIinfo(FilePath().c_str(), &w, &h, &rate, &length);
    if (info < 0 || info > 3) std::abort();

    HostBitmap* target = CreateHostBitmap(40, 30, depth);
    HostDC* dc = CreateHostDC(target);
    const int32_t drawn = GetAVIframe(dc, FilePath().c_str(), position, zoom);
    DeleteHostDC(dc);
    DeleteHostBitmap(target);
    if (drawn < 0 || drawn > 5) std::abort();
    return 0;
}
