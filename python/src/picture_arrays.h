// NumPy arrays in and out of the command's pictures: H x W x 3 (RGB) or
// H x W x 4 (RGBA) uint8 arrays, rows top first. Arrays that are not laid
// out row after row (slices, flipped views) are copied first.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <string>

#include "host_picture.h"
#include "picture_loading.h"

namespace qvpy {

namespace py = pybind11;

// An object naming a file (str or os.PathLike), as a string; nothing otherwise.
std::optional<std::string> PathOf(const py::handle& object);

// A picture from an array (RGBA laid over `backgroundRgb`) or a path.
// Raises TypeError for other objects and dtypes, ValueError for shapes.
qvcli::InputPicture PictureFrom(const py::handle& object, const std::string& what, uint32_t backgroundRgb);

// A C-contiguous H x W x C uint8 view of `object` (copied when needed),
// checked against `channels` (3 or 4; 0 takes either).
py::array_t<uint8_t, py::array::c_style> PixelArray(const py::handle& object, const std::string& what, int channels);

// The `size` argument: None, or (width, height) each 1 to 16384 (ValueError
// otherwise), as the command's --size.
std::optional<qvcli::Size2> OutputSizeFrom(const py::handle& size);

// Writes a 32-bit picture's 0x00RRGGBB words into `rgb` (height x width x 3).
// Runs without the GIL.
void CopyToRgb(const qvcli::HostPicture& picture, uint8_t* rgb);

// Fills a 32-bit picture from `rgb` (height x width x 3). Runs without the GIL.
void CopyFromRgb(const uint8_t* rgb, qvcli::HostPicture& picture);

}  // namespace qvpy
