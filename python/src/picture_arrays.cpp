#include "picture_arrays.h"

#include <pybind11/stl.h>

namespace qvpy {

std::optional<std::string> PathOf(const py::handle& object)
{
    if (py::isinstance<py::str>(object)) return object.cast<std::string>();
    if (py::hasattr(object, "__fspath__")) {
        const py::object path = py::module_::import("os").attr("fspath")(object);
        if (py::isinstance<py::str>(path)) return path.cast<std::string>();
    }
    return std::nullopt;
}

py::array_t<uint8_t, py::array::c_style> PixelArray(const py::handle& object, const std::string& what, int channels)
{
    if (!py::isinstance<py::array>(object))
        throw py::type_error(what + " must be a numpy uint8 array of height x width x 3 (RGB) or 4 (RGBA)" +
                             (channels == 3 ? "" : ", or a path"));
    const auto array = py::reinterpret_borrow<py::array>(object);
    // By kind and size: an unpickled array's dtype is an equal object, not
    // numpy's own uint8 instance.
    if (array.dtype().kind() != 'u' || array.dtype().itemsize() != 1)
        throw py::type_error(what + " has dtype " + py::str(array.dtype()).cast<std::string>() +
                             "; pictures are uint8 arrays");
    const std::string expected = channels == 3 ? "height x width x 3 (RGB)" : "height x width x 3 (RGB) or 4 (RGBA)";
    if (array.ndim() != 3)
        throw py::value_error(what + " has " + std::to_string(array.ndim()) + " dimensions; expected " + expected);
    const py::ssize_t depth = array.shape(2);
    if (channels == 0 ? depth != 3 && depth != 4 : depth != channels)
        throw py::value_error(what + " has " + std::to_string(depth) + " channels; expected " + expected);
    if (array.shape(0) < 1 || array.shape(1) < 1 || array.shape(0) > 16384 || array.shape(1) > 16384)
        throw py::value_error(what + " is " + std::to_string(array.shape(1)) + "x" + std::to_string(array.shape(0)) +
                              "; pictures of 1 to 16384 pixels a side are supported");
    return py::array_t<uint8_t, py::array::c_style>::ensure(array);
}

qvcli::InputPicture PictureFrom(const py::handle& object, const std::string& what, uint32_t backgroundRgb)
{
    if (const auto path = PathOf(object)) {
        py::gil_scoped_release unlocked;
        return qvcli::InputPicture::Open(*path, backgroundRgb);
    }
    const auto pixels = PixelArray(object, what, 0);
    const int height = static_cast<int>(pixels.shape(0)), width = static_cast<int>(pixels.shape(1)),
              channels = static_cast<int>(pixels.shape(2));
    py::gil_scoped_release unlocked;
    return qvcli::InputPicture::FromPixels(what, width, height, channels, pixels.data(),
                                           static_cast<std::ptrdiff_t>(width) * channels, backgroundRgb);
}

std::optional<qvcli::Size2> OutputSizeFrom(const py::handle& size)
{
    if (size.is_none()) return std::nullopt;
    std::pair<int, int> wh{0, 0};
    try {
        wh = size.cast<std::pair<int, int>>();
    } catch (const py::cast_error&) {
    }
    if (wh.first < 1 || wh.second < 1 || wh.first > 16384 || wh.second > 16384)
        throw py::value_error("size must be (width, height), each 1 to 16384");
    return qvcli::Size2{wh.first, wh.second};
}

void CopyToRgb(const qvcli::HostPicture& picture, uint8_t* rgb)
{
    for (int y = 0; y < picture.height(); ++y) {
        const uint32_t* in = picture.row(y);
        for (int x = 0; x < picture.width(); ++x, rgb += 3) {
            rgb[0] = static_cast<uint8_t>(in[x] >> 16);
            rgb[1] = static_cast<uint8_t>(in[x] >> 8);
            rgb[2] = static_cast<uint8_t>(in[x]);
        }
    }
}

void CopyFromRgb(const uint8_t* rgb, qvcli::HostPicture& picture)
{
    for (int y = 0; y < picture.height(); ++y) {
        uint32_t* out = picture.row(y);
        for (int x = 0; x < picture.width(); ++x, rgb += 3)
            out[x] = uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
    }
}

}  // namespace qvpy
