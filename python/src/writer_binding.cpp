#include "writer_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "cli_error.h"
#include "cli_options.h"
#include "frame_sinks.h"
#include "morph_render.h"
#include "picture_arrays.h"

namespace qvpy {

namespace {

using namespace qvcli;

std::string NumberText(double value)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

class Writer {
public:
    // The options are read as the command reads its own, with its checks
    // and messages: frames first..first+frames-1 of a morph.
    Writer(const py::handle& path, std::pair<int, int> size, int frames, double fps,
           const std::optional<std::string>& codec, const std::optional<int>& quality, int loop, int first,
           int keyframes)
    {
        const auto name = PathOf(path);
        if (!name) throw py::type_error("path must be a str or os.PathLike");
        if (size.first < 1 || size.second < 1 || size.first > 16384 || size.second > 16384)
            throw py::value_error("size must be (width, height), each 1 to 16384");
        if (frames < 1 || first < 0 || first > 32767 - frames)
            throw py::value_error("a writer takes 1 to 32767 frames, numbered up to 32766");
        if (codec && *codec == "ask") throw py::value_error("codec 'ask' chooses on a terminal; name a compressor");
        const OutputTarget target = ClassifyOutput(*name);
        ParsedArgs args;
        args.values["frames"] = std::to_string(first + frames);
        args.values["range"] = std::to_string(first) + ":" + std::to_string(first + frames);
        args.values["fps"] = NumberText(fps);
        if (target.kind == OutputKind::Gif) args.values["loop"] = std::to_string(loop);
        else if (loop != 0) throw py::value_error("loop applies to .gif output only");
        if (codec) args.values["codec"] = *codec;
        if (quality) args.values["quality"] = std::to_string(*quality);
        if (keyframes != 0) args.values["keyframes"] = std::to_string(keyframes);
        const MorphRunOptions options = ReadMorphRunOptions(args, *name);
        size_ = {size.first, size.second};
        first_ = first;
        frames_ = frames;
        py::gil_scoped_release unlocked;
        sink_ = OpenFrameSink(SinkOptionsFor(options, size_));
        prepare_ = sink_->Preparation();
        picture_ = HostPicture(size_.width, size_.height);
    }

    void Write(const py::handle& frame)
    {
        const auto pixels = PixelArray(frame, "the frame", 3);
        if (pixels.shape(0) != size_.height || pixels.shape(1) != size_.width)
            throw py::value_error("the frame is " + std::to_string(pixels.shape(1)) + "x" +
                                  std::to_string(pixels.shape(0)) + "; this writer takes " +
                                  std::to_string(size_.width) + "x" + std::to_string(size_.height));
        py::gil_scoped_release unlocked;
        std::lock_guard lock(mutex_);
        if (!sink_) throw CliError("the writer is closed");
        if (written_ == frames_)
            throw CliError("the writer takes " + std::to_string(frames_) + " frames, and all were written");
        CopyFromRgb(pixels.data(), picture_);
        try {
            const int index = first_ + written_;
            if (prepare_) sink_->Write(index, prepare_(picture_));
            else sink_->Write(index, picture_);
        } catch (...) {
            sink_.reset();  // a failed write leaves no file behind
            throw;
        }
        ++written_;
    }

    // Completes the output; the writer is closed either way.
    std::string Close()
    {
        py::gil_scoped_release unlocked;
        std::lock_guard lock(mutex_);
        if (!sink_) throw CliError("the writer is closed");
        std::unique_ptr<FrameSink> sink = std::move(sink_);
        if (written_ != frames_)
            throw CliError("the writer was given " + std::to_string(written_) + " of its " + std::to_string(frames_) +
                           " frames; the output was not completed");
        sink->Finish();
        return sink->Written();
    }

    // Closes without completing: a GIF or AVI file is not left behind.
    void Abandon()
    {
        py::gil_scoped_release unlocked;
        std::lock_guard lock(mutex_);
        sink_.reset();
    }

    bool closed()
    {
        std::lock_guard lock(mutex_);
        return !sink_;
    }
    int written() const { return written_; }

private:
    std::mutex mutex_;
    std::unique_ptr<FrameSink> sink_;
    std::function<HostPicture(const HostPicture&)> prepare_;
    HostPicture picture_;
    Size2 size_;
    int first_ = 0, frames_ = 0, written_ = 0;
};

}  // namespace

void BindWriter(py::module_& module)
{
    py::class_<Writer>(module, "Writer")
        .def(py::init<const py::handle&, std::pair<int, int>, int, double, const std::optional<std::string>&,
                      const std::optional<int>&, int, int, int>(),
             py::arg("path"), py::kw_only(), py::arg("size"), py::arg("frames"), py::arg("fps") = 15.0,
             py::arg("codec") = py::none(), py::arg("quality") = py::none(), py::arg("loop") = 0,
             py::arg("first") = 0, py::arg("keyframes") = 0)
        .def("write", &Writer::Write, py::arg("frame"))
        .def("close", &Writer::Close)
        .def("abandon", &Writer::Abandon)
        .def_property_readonly("closed", &Writer::closed)
        .def_property_readonly("written", &Writer::written)
        .def("__enter__", [](py::object self) { return self; })
        .def("__exit__", [](Writer& w, const py::handle& type, const py::handle&, const py::handle&) {
            if (w.closed()) return false;
            if (type.is_none()) w.Close();
            else w.Abandon();
            return false;
        });
}

}  // namespace qvpy
