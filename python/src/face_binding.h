// quorvane.face_points: the command's face landmarks (quorvane points
// --faces) for two pictures given as arrays or paths.
#pragma once

#include <pybind11/pybind11.h>

namespace qvpy {

void BindFacePoints(pybind11::module_& module);

}  // namespace qvpy
