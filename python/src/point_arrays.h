// Control points in and out of Python: N x 4 (srcX srcY dstX dstY) or N x 5
// (with a weight) arrays of numbers, or a points file in the command's text
// or JSON form.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>
#include <vector>

#include "points_file.h"

namespace qvpy {

namespace py = pybind11;

// The points of an array-like or of the file a str / os.PathLike names (read
// without the GIL). `name` is set to what messages call them: the path, or
// "points". Raises TypeError for other objects, ValueError (through
// CliError) for shapes, non-finite numbers and the file's own mistakes.
std::vector<qvcli::ControlPoint> ControlPointsFrom(const py::handle& object, std::string& name);

// N x 4 float64 (srcX srcY dstX dstY), the form Morph takes back.
py::array_t<double> PointsToArray(const std::vector<qvcli::ControlPoint>& points);

}  // namespace qvpy
