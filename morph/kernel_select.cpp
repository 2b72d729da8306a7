#include "common/kernel_choice.h"
#include "morph/span_kernel.h"

namespace qv::morph {
namespace {

KernelSwitch gKernel;

}  // namespace

bool KernelAvailable(Kernel kernel) { return ProcessorHas(kernel); }

Kernel ActiveKernel() { return gKernel.active(); }

bool UseKernel(Kernel kernel) { return gKernel.use(kernel); }

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
