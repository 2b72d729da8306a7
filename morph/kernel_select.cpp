#include <atomic>

#include "common/kernel_choice.h"
#include "morph/span_kernel.h"

namespace qv::morph {
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

SpanKernel ActiveSpanKernel()
{
    switch (ActiveKernel()) {
    case Kernel::Avx512: return RenderSpanAvx512;
    case Kernel::Avx2: return RenderSpanAvx2;
    case Kernel::Portable: break;
    }
    return RenderSpanPortable;
}

}  // namespace qv::morph
