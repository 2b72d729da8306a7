// Which build of the quantiser's kernels runs: the best this processor has,
// capped by QUORVANE_KERNEL as the renderer's are, and switchable (tests and
// benchmarks force each in turn).
#pragma once

#include "common/kernel_choice.h"
#include "quantize/colour_index.h"
#include "quantize/network.h"

namespace qv::quantize {

using Kernel = qv::Kernel;

struct Kernels {
    ContestKernel contest;
    NeighbourKernel alterNeighbours;
    SearchKernel search;
};

using qv::KernelName;  // common/kernel_choice.h
bool KernelAvailable(Kernel kernel);  // built in and supported by this processor
Kernel ActiveKernel();
// False (and nothing changed) when the processor lacks the kernel.
bool UseKernel(Kernel kernel);
Kernels ActiveKernels();

}  // namespace qv::quantize
