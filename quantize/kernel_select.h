// Which build of the quantiser's kernels runs: chosen once for the processor,
// and switchable (tests and benchmarks force each in turn).
#pragma once

#include "quantize/colour_index.h"
#include "quantize/network.h"

namespace qv::quantize {

enum class Kernel { Portable, Avx2, Avx512 };

struct Kernels {
    ContestKernel contest;
    NeighbourKernel alterNeighbours;
    SearchKernel search;
};

const char* KernelName(Kernel kernel);
bool KernelAvailable(Kernel kernel);  // built in and supported by this processor
Kernel ActiveKernel();
// False (and nothing changed) when the processor lacks the kernel.
bool UseKernel(Kernel kernel);
Kernels ActiveKernels();

}  // namespace qv::quantize
