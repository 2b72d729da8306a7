// The four host variables bound by SetVars. The pointers are kept, never the
// values: every DrawMorph call reads through them, so the host changes a
// setting by writing its own variable.
#pragma once

#include <cstdint>

namespace qv::morph {

struct MorphSettings {
    const uint32_t* backgroundColor = nullptr;
    const int16_t* lastTriangle = nullptr;
    const uint16_t* renderFlags = nullptr;
    const int16_t* blockSize = nullptr;
};

void BindSettings(const MorphSettings& settings);
// A snapshot of the four pointers, taken once at the start of a call. The
// background pointer stays as bound (null means "not bound"); the other three,
// if bound as null, point at defaults: no triangle, no flag, block size 1.
MorphSettings BoundSettings();

}  // namespace qv::morph
