// The extension module quorvane._quorvane; quorvane/__init__.py is its face.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cmath>

#include "cli_error.h"
#include "face_binding.h"
#include "morph_binding.h"
#include "picture_arrays.h"
#include "output_files.h"
#include "picture_loading.h"
#include "writer_binding.h"

namespace py = pybind11;

PYBIND11_MODULE(_quorvane, module)
{
    // Every problem the command reports to its user is a ValueError here,
    // with the command's message.
    py::register_exception_translator([](std::exception_ptr error) {
        try {
            if (error) std::rethrow_exception(error);
        } catch (const qvcli::CliError& e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });

    qvpy::BindMorph(module);
    qvpy::BindWriter(module);
    qvpy::BindFacePoints(module);

    module.def(
        "frame_file_name",
        [](const std::string& pattern, int frame) { return qvcli::FrameFileName(pattern, frame); },
        py::arg("pattern"), py::arg("frame"),
        "The still's name for a frame: the pattern's %d or %0Nd field replaced by the number.");

    module.def(
        "video_info",
        [](const py::handle& path) {
            const auto name = qvpy::PathOf(path);
            if (!name) throw py::type_error("path must be a str or os.PathLike");
            qvcli::VideoInfo info;
            {
                py::gil_scoped_release unlocked;
                info = qvcli::ReadVideoInfo(*name);
            }
            return py::make_tuple(info.width, std::abs(info.height), static_cast<double>(info.rate), info.length);
        },
        py::arg("path"));

    module.def(
        "read_video_frame",
        [](const py::handle& path, int n) {
            const auto name = qvpy::PathOf(path);
            if (!name) throw py::type_error("path must be a str or os.PathLike");
            qvcli::HostPicture frame;
            {
                py::gil_scoped_release unlocked;
                frame = qvcli::ReadVideoFramePicture(*name, n, *name + "#" + std::to_string(n));
            }
            py::array_t<uint8_t> result({frame.height(), frame.width(), 3});
            qvpy::CopyToRgb(frame, result.mutable_data());
            return result;
        },
        py::arg("path"), py::arg("n"));
}
