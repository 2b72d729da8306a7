#include "face_binding.h"

#include <pybind11/numpy.h>

#include <optional>
#include <string>
#include <vector>

#include "cli_error.h"
#include "face_landmarks.h"
#include "picture_arrays.h"
#include "point_arrays.h"

namespace qvpy {

namespace {

using namespace qvcli;

// The pictures are read as `quorvane points` reads them (RGBA over black),
// then found, placed and checked by DetectFacePoints without the GIL.
py::array_t<double> FacePoints(const py::handle& src, const py::handle& dst, const py::handle& size,
                               const py::handle& points)
{
    if (!FaceLandmarksAvailable()) throw CliError(FaceLandmarksUnavailableReason());
    FacePlacement placement;
    std::vector<ControlPoint> existing;
    if (!points.is_none()) {
        std::string pointsName;
        existing = ControlPointsFrom(points, pointsName);
        placement.existing = &existing;
    }
    if (const std::optional<Size2> outputSize = OutputSizeFrom(size)) placement.outputSize = *outputSize;
    const InputPicture from = PictureFrom(src, "src", 0);
    const InputPicture to = PictureFrom(dst, "dst", 0);
    placement.fromName = from.name();
    placement.toName = to.name();
    FacePointsResult faces;
    {
        py::gil_scoped_release unlocked;
        faces = DetectFacePoints(from.ToHost(from.size()), to.ToHost(to.size()), placement);
    }
    return PointsToArray(faces.points);
}

}  // namespace

void BindFacePoints(py::module_& module)
{
    module.def("face_points", &FacePoints, py::arg("src"), py::arg("dst"), py::kw_only(),
               py::arg("size") = py::none(), py::arg("points") = py::none());
    module.def("face_points_available", [] { return FaceLandmarksAvailable(); });
}

}  // namespace qvpy
