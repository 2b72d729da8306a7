#include "quantize/kernel_select.h"

#include <atomic>

namespace qv::quantize {
namespace {

std::atomic<Kernel> gActive{StartingKernel()};

}  // namespace

bool KernelAvailable(Kernel kernel) { return ProcessorHas(kernel); }

Kernel ActiveKernel() { return gActive.load(std::memory_order_relaxed); }

bool UseKernel(Kernel kernel)
{
    if (!ProcessorHas(kernel)) return false;
    gActive.store(kernel, std::memory_order_relaxed);
    return true;
}

Kernels ActiveKernels()
{
#if defined(__x86_64__) || defined(__i386__)
    switch (ActiveKernel()) {
    case Kernel::Avx512: return {ContestAvx512, AlterNeighboursAvx512, SearchAvx512};
    case Kernel::Avx2: return {ContestAvx2, AlterNeighboursAvx2, SearchAvx2};
    case Kernel::Portable: break;
    }
#endif
    return {ContestPortable, AlterNeighboursPortable, SearchPortable};
}

}  // namespace qv::quantize
