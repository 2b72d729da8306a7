// quorvane.Writer: frames handed over as arrays, written as an animated GIF,
// an AVI file or numbered stills by the command's own output writers.
#pragma once

#include <pybind11/pybind11.h>

namespace qvpy {

void BindWriter(pybind11::module_& module);

}  // namespace qvpy
