// The conversions the renderer's exactness rests on. Every kernel uses these;
// nothing else in the renderer converts between floating point and integers
// or forms a pixel index.
#pragma once

#include <cstdint>

namespace qv {

// Rounds a double to the nearest 32-bit float (IEEE round-to-nearest-even;
// values beyond the float range become infinities).
inline float RoundToFloat(double value) { return static_cast<float>(value); }

// Truncates toward zero to a signed 32-bit integer. NaN and values outside
// the int32 range give INT32_MIN, as the x86 truncating conversion does, so
// that no input is undefined behaviour.
inline int32_t TruncToInt32(double value)
{
    // The negated comparison also catches NaN.
    if (!(value > -2147483649.0 && value < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(value);
}

// index modulo count; the division only when the index lies outside.
inline uint32_t ReduceIndex(uint32_t index, uint32_t count) { return index < count ? index : index % count; }

// Slot of pixel (column, row) in a buffer `width` pixels wide holding `count`
// pixels: row * width + column in wrapping 32-bit arithmetic, taken as
// unsigned and reduced modulo the count. `count` must be at least 1.
inline uint32_t WrapSlot(int32_t column, int32_t row, int32_t width, uint32_t count)
{
    const uint32_t index = static_cast<uint32_t>(row) * static_cast<uint32_t>(width) +
                           static_cast<uint32_t>(column);
    return ReduceIndex(index, count);
}

// Signed 32-bit arithmetic that wraps instead of overflowing.
inline int32_t WrapMul(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int32_t WrapSub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t WrapAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

}  // namespace qv
