#include "quantize/kernel_select.h"

namespace qv::quantize {
namespace {

KernelSwitch gKernel;

}  // namespace

bool KernelAvailable(Kernel kernel) { return ProcessorHas(kernel); }

Kernel ActiveKernel() { return gKernel.active(); }

bool UseKernel(Kernel kernel) { return gKernel.use(kernel); }

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
