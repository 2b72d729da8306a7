// The renderer reads its settings (background word, triangle count, flags,
// block size) through addresses bound once for the whole library, and
// DrawMorph calls may run at once only while those stay unchanged. A lease
// binds a set of settings for as long as it lives: leases on equal settings
// are held together, so their frames render in parallel, while a lease on
// other settings waits until every earlier one has ended.
#pragma once

#include <cstdint>

namespace qvcli {

struct RenderSettings {
    uint32_t backgroundWord = 0;
    int16_t lastTriangle = -1;
    uint16_t renderFlags = 0;
    int16_t blockSize = 1;
    bool operator==(const RenderSettings&) const = default;
};

class RenderSettingsLease {
public:
    // Blocks until `settings` can be bound.
    explicit RenderSettingsLease(const RenderSettings& settings);
    ~RenderSettingsLease();
    RenderSettingsLease(const RenderSettingsLease&) = delete;
    RenderSettingsLease& operator=(const RenderSettingsLease&) = delete;
};

}  // namespace qvcli
