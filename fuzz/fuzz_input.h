// Reads the fuzzer's bytes as a stream of small values; past the end every
// read gives zero, so any input is a complete description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qvfuzz {

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(byte() | byte() << 8); }
    uint32_t u32() { return static_cast<uint32_t>(u16()) | static_cast<uint32_t>(u16()) << 16; }
    int16_t i16() { return static_cast<int16_t>(u16()); }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    float f32()
    {
        const uint32_t bits = u32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // A value in [low, low + span).
    int32_t range(int32_t low, uint32_t span) { return low + static_cast<int32_t>(u16() % span); }
    size_t remaining() const { return size_ - at_; }
    const uint8_t* rest() const { return data_ + at_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

}  // namespace qvfuzz

// Each target defines its body with QV_FUZZ_TARGET(Name); the libFuzzer
// build makes it LLVMFuzzerTestOneInput, the regression replay calls it by
// name.
#if defined(QV_FUZZ_REPLAY)
#  define QV_FUZZ_TARGET(name) int name(const uint8_t* data, size_t size)
#else
#  define QV_FUZZ_TARGET(name)                                          \
      static int name(const uint8_t* data, size_t size);                \
      extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return name(data, size); } \
      static int name(const uint8_t* data, size_t size)
#endif
