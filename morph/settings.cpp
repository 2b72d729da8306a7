#include "morph/settings.h"

#include <atomic>

namespace qv::morph {
namespace {
// Library-wide, as the host binds them once for all frames. Atomics keep a
// SetVars racing a DrawMorph on another thread free of data races; each
// pointer is read whole.
std::atomic<const uint32_t*> gBackgroundColor{nullptr};
std::atomic<const int16_t*> gLastTriangle{nullptr};
std::atomic<const uint16_t*> gRenderFlags{nullptr};
std::atomic<const int16_t*> gBlockSize{nullptr};
}  // namespace

void BindSettings(const MorphSettings& settings)
{
    gBackgroundColor.store(settings.backgroundColor, std::memory_order_relaxed);
    gLastTriangle.store(settings.lastTriangle, std::memory_order_relaxed);
    gRenderFlags.store(settings.renderFlags, std::memory_order_relaxed);
    gBlockSize.store(settings.blockSize, std::memory_order_relaxed);
}

namespace {
// Stand-ins for settings bound as null: no triangle, no flag, block size 1.
const int16_t kNoTriangle = -1;
const uint16_t kNoFlags = 0;
const int16_t kUnitBlock = 1;
}  // namespace

MorphSettings BoundSettings()
{
    MorphSettings s;
    s.backgroundColor = gBackgroundColor.load(std::memory_order_relaxed);
    s.lastTriangle = gLastTriangle.load(std::memory_order_relaxed);
    s.renderFlags = gRenderFlags.load(std::memory_order_relaxed);
    s.blockSize = gBlockSize.load(std::memory_order_relaxed);
    if (s.lastTriangle == nullptr) s.lastTriangle = &kNoTriangle;
    if (s.renderFlags == nullptr) s.renderFlags = &kNoFlags;
    if (s.blockSize == nullptr) s.blockSize = &kUnitBlock;
    return s;
}

}  // namespace qv::morph
