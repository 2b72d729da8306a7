// quorvane.Morph: two pictures and their control points, triangulated and
// scaled by the command's own rules, rendering frames as NumPy arrays.
#pragma once

#include <pybind11/pybind11.h>

namespace qvpy {

void BindMorph(pybind11::module_& module);

}  // namespace qvpy
