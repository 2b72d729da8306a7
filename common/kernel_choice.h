// Which instruction-set kernels this processor runs, and which one a user
// asked for. Every family of kernels (the morph spans, and any later one)
// chooses through here, so QUORVANE_KERNEL means the same thing for all.
#pragma once

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace qv {

enum class Kernel { Portable, Avx2, Avx512 };

inline const char* KernelName(Kernel kernel)
{
    switch (kernel) {
    case Kernel::Portable: return "portable";
    case Kernel::Avx2: return "avx2";
    case Kernel::Avx512: return "avx512";
    }
    return "unknown";
}

// The AVX2 kernels use fused multiply-adds as well; the AVX-512 ones the
// foundation, double/quad, byte/word and vector-length subsets.
inline bool ProcessorHas(Kernel kernel)
{
#if defined(__x86_64__) || defined(__i386__)
    switch (kernel) {
    case Kernel::Portable: return true;
    case Kernel::Avx2: return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case Kernel::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
    }
    return false;
#else
    return kernel == Kernel::Portable;
#endif
}

// QUORVANE_KERNEL=portable|avx2|avx512 caps the kernels used, so a user who
// suspects a vectorised kernel can rule it out: the named kernel where this
// processor has it, otherwise the best one below it. Unset or another value:
// the best kernel of this processor.
inline Kernel StartingKernel(const char* request = std::getenv("QUORVANE_KERNEL"))
{
    Kernel cap = Kernel::Avx512;
    if (request != nullptr && std::strcmp(request, "portable") == 0) cap = Kernel::Portable;
    if (request != nullptr && std::strcmp(request, "avx2") == 0) cap = Kernel::Avx2;
    if (cap == Kernel::Avx512 && ProcessorHas(Kernel::Avx512)) return Kernel::Avx512;
    if (cap != Kernel::Portable && ProcessorHas(Kernel::Avx2)) return Kernel::Avx2;
    return Kernel::Portable;
}

// The active kernel of one family (the morph spans, the quantiser): starts
// at StartingKernel and can be switched to any kernel the processor has.
class KernelSwitch {
public:
    Kernel active() const { return active_.load(std::memory_order_relaxed); }
    // False (and nothing changed) when the processor lacks the kernel.
    bool use(Kernel kernel)
    {
        if (!ProcessorHas(kernel)) return false;
        active_.store(kernel, std::memory_order_relaxed);
        return true;
    }

private:
    std::atomic<Kernel> active_{StartingKernel()};
};

}  // namespace qv
