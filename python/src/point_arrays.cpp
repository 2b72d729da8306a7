#include "point_arrays.h"

#include <pybind11/stl.h>

#include <cmath>
#include <cstring>

#include "cli_error.h"
#include "picture_arrays.h"

namespace qvpy {

namespace {

using qvcli::CliError;
using qvcli::ControlPoint;

std::vector<ControlPoint> PointsFromArray(const py::handle& object)
{
    using Table = py::array_t<double, py::array::c_style | py::array::forcecast>;
    Table table;
    bool numeric = false;
    // None would become a 0-dimensional NaN array.
    if (!object.is_none()) {
        try {
            table = Table::ensure(object);
            numeric = static_cast<bool>(table);
        } catch (const py::error_already_set&) {
        }
    }
    if (!numeric) throw py::type_error("points must be an N x 4 or N x 5 array of numbers, or a points file path");
    if (table.ndim() != 2 || (table.shape(1) != 4 && table.shape(1) != 5))
        throw py::value_error("points must be N x 4 (srcX srcY dstX dstY) or N x 5 (with a weight); the array is " +
                              py::str(py::tuple(py::cast(std::vector<py::ssize_t>(
                                          table.shape(), table.shape() + table.ndim()))))
                                  .cast<std::string>());
    const auto columns = static_cast<int>(table.shape(1));
    std::vector<ControlPoint> points;
    // Read by copying: an array unpickled from a buffer (as Dask sends it)
    // may hold its numbers at addresses that are not 8-byte aligned.
    const auto* bytes = reinterpret_cast<const unsigned char*>(table.data());
    for (py::ssize_t row = 0; row < table.shape(0); ++row) {
        double v[5] = {};
        std::memcpy(v, bytes + row * columns * sizeof(double), static_cast<std::size_t>(columns) * sizeof(double));
        const int line = static_cast<int>(row) + 1;
        for (int c = 0; c < columns; ++c)
            if (!std::isfinite(v[c]))
                throw CliError("points:" + std::to_string(line) + ": " + py::str(py::float_(v[c])).cast<std::string>() +
                               " is not a finite number");
        ControlPoint p;
        p.srcX = v[0], p.srcY = v[1], p.dstX = v[2], p.dstY = v[3];
        if (columns == 5) {
            qvcli::CheckPointWeight(v[4], "points", line);
            p.weight = v[4];
            p.hasWeight = true;
        }
        p.line = line;
        points.push_back(p);
    }
    return points;
}

}  // namespace

std::vector<ControlPoint> ControlPointsFrom(const py::handle& object, std::string& name)
{
    if (const auto path = PathOf(object)) {
        name = *path;
        py::gil_scoped_release unlocked;
        return qvcli::ReadPointsFile(*path);
    }
    name = "points";
    return PointsFromArray(object);
}

py::array_t<double> PointsToArray(const std::vector<ControlPoint>& points)
{
    py::array_t<double> table({static_cast<py::ssize_t>(points.size()), py::ssize_t{4}});
    auto rows = table.mutable_unchecked<2>();
    for (py::ssize_t i = 0; i < rows.shape(0); ++i) {
        const ControlPoint& p = points[static_cast<std::size_t>(i)];
        rows(i, 0) = p.srcX, rows(i, 1) = p.srcY, rows(i, 2) = p.dstX, rows(i, 3) = p.dstY;
    }
    return table;
}

}  // namespace qvpy
