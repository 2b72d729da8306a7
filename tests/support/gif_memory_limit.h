// Running a call with little address space left, in a child process, to
// see how code behaves when the image library cannot allocate. Address
// space limits do not mix with AddressSanitizer's shadow memory, so the
// tests that use this skip themselves under it.
#pragma once

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>

namespace qv::test {

#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSpaceLimitsWork = false;
#else
inline constexpr bool kAddressSpaceLimitsWork = true;
#endif

// Bytes the allocator has handed out and not taken back (heap and mmap).
inline std::size_t HeapBytesInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

inline std::size_t AddressSpaceBytes()
{
    std::size_t pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%zu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    return pages * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

// Allows `extra` more bytes of address space than are mapped now, until
// the object goes away.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(std::size_t extra)
    {
        getrlimit(RLIMIT_AS, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = AddressSpaceBytes() + extra;
        setrlimit(RLIMIT_AS, &lowered);
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &saved_); }
    AddressSpaceLimit(const AddressSpaceLimit&) = delete;
    AddressSpaceLimit& operator=(const AddressSpaceLimit&) = delete;

private:
    rlimit saved_{};
};

}  // namespace qv::test
