#include "morph_binding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli_error.h"
#include "frame_pipeline.h"
#include "morph_mesh.h"
#include "morph_render.h"
#include "picture_arrays.h"
#include "point_arrays.h"
#include "points_file.h"
#include "render_settings.h"

namespace qvpy {

namespace {

using namespace qvcli;

// The most frames in a morph and the largest dissolve denominator: the
// renderer takes both as 16-bit values.
constexpr int kMaxFrames = 32767;

// The fraction index / last nearest t with last at most kMaxFrames: for
// t = k / (n - 1) it is that fraction (in lowest terms, which gives the
// renderer the same weight), so frame(t) matches frames(n)'s frame k.
std::pair<int, int> NearestFraction(double t)
{
    // Continued-fraction convergents, then the best semiconvergent in bound.
    long long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    double x = t;
    for (int step = 0; step < 64; ++step) {
        const double a = std::floor(x);
        const auto ai = static_cast<long long>(a);
        const long long q2 = q0 + ai * q1;
        if (q2 > kMaxFrames) {
            const long long k = (kMaxFrames - q0) / q1;
            const long long pb = p0 + k * p1, qb = q0 + k * q1;
            const double e1 = std::fabs(t - static_cast<double>(p1) / static_cast<double>(q1));
            const double eb = std::fabs(t - static_cast<double>(pb) / static_cast<double>(qb));
            return eb < e1 ? std::pair{static_cast<int>(pb), static_cast<int>(qb)}
                           : std::pair{static_cast<int>(p1), static_cast<int>(q1)};
        }
        const long long p2 = p0 + ai * p1;
        p0 = p1, q0 = q1, p1 = p2, q1 = q2;
        if (x == a || static_cast<double>(p1) / static_cast<double>(q1) == t) break;
        x = 1.0 / (x - a);
    }
    return {static_cast<int>(p1), static_cast<int>(q1)};
}

class Morph {
public:
    Morph(const py::handle& src, const py::handle& dst, const py::handle& points, const py::handle& size,
          bool bilinear, int block, const py::handle& background, bool keyColor, bool keyFade,
          const std::string& weights)
    {
        const uint32_t backgroundRgb = BackgroundRgb(background);
        if (block < 1 || block > 256) throw py::value_error("block must be 1 to 256, not " + std::to_string(block));
        if (keyFade && !keyColor) throw py::value_error("key_fade works together with key_color");
        MorphRunOptions options;
        options.bilinear = bilinear;
        options.block = block;
        options.backgroundRgb = backgroundRgb;
        options.keyColor = keyColor;
        options.keyFade = keyFade;
        if (weights == "even") options.weights = WeightMode::Even;
        else if (weights == "smooth") options.weights = WeightMode::Smooth;
        else if (weights == "flat") options.weights = WeightMode::Flat;
        else throw py::value_error("weights: '" + weights + "' is not even, smooth or flat");
        weights_ = options.weights;

        std::string pointsName;
        std::vector<ControlPoint> controlPoints = ControlPointsFrom(points, pointsName);
        const InputPicture from = PictureFrom(src, "src", backgroundRgb);
        const InputPicture to = PictureFrom(dst, "dst", backgroundRgb);
        const std::optional<Size2> givenSize = OutputSizeFrom(size);
        Size2 outSize = givenSize.value_or(from.size());
        if (!givenSize && from.size() != to.size()) {
            throw py::value_error("the pictures differ in size: src is " + std::to_string(from.size().width) + "x" +
                                  std::to_string(from.size().height) + ", dst is " + std::to_string(to.size().width) +
                                  "x" + std::to_string(to.size().height) +
                                  "; give size=(width, height) to scale both (points are scaled with them)");
        }

        py::gil_scoped_release unlocked;
        mesh_ = BuildMorphMesh(MeshSourceFor(controlPoints, from.size(), to.size(), outSize, pointsName));
        if (weights_ == WeightMode::Flat && FindCornerOnlyTriangle(mesh_) >= 0)
            throw CliError("weights='flat' gives a triangle without control points no weight, and the mesh has one "
                           "between three picture corners; add a point inside it or use weights='smooth'");
        source_ = from.ToHost(outSize);
        dest_ = to.ToHost(outSize);
        settings_.backgroundWord = BackgroundWord(options);
        settings_.renderFlags = RenderFlags(options);
        endFlags_ = EndRenderFlags(options);
        settings_.lastTriangle = static_cast<int16_t>(static_cast<int>(mesh_.triangles.size()) - 1);
        settings_.blockSize = static_cast<int16_t>(block);
    }

    py::array_t<uint8_t> Frame(double t)
    {
        if (!(t >= 0.0 && t <= 1.0)) throw py::value_error("t must be from 0 to 1");
        const auto [index, last] = NearestFraction(t);
        return Render(t, index, last);
    }

    py::array_t<uint8_t> FrameOf(int index, int count)
    {
        CheckCount(count);
        if (index < 0 || index >= count)
            throw py::index_error("frame " + std::to_string(index) + " of " + std::to_string(count) +
                                  ": the morph has frames 0 to " + std::to_string(count - 1));
        return Render(FrameTime(index, count), index, count - 1);
    }

    static void CheckCount(int count)
    {
        if (count < 1 || count > kMaxFrames)
            throw py::value_error("a morph has 1 to " + std::to_string(kMaxFrames) + " frames, not " +
                                  std::to_string(count));
    }

    Size2 size() const { return mesh_.size; }
    int triangleCount() const { return static_cast<int>(mesh_.triangles.size()); }
    int foldedTriangles() const { return CountFoldedTriangles(mesh_); }

private:
    // What one rendering thread needs besides the shared pictures and mesh.
    struct Workspace {
        FrameDrawer drawer;
        HostPicture out;
    };

    static uint32_t BackgroundRgb(const py::handle& background)
    {
        std::vector<int> rgb;
        try {
            rgb = background.cast<std::vector<int>>();
        } catch (const py::cast_error&) {
        }
        if (rgb.size() != 3 || rgb[0] < 0 || rgb[0] > 255 || rgb[1] < 0 || rgb[1] > 255 || rgb[2] < 0 || rgb[2] > 255)
            throw py::value_error("background must be (red, green, blue), each 0 to 255");
        return uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | uint32_t(rgb[2]);
    }

    py::array_t<uint8_t> Render(double t, int index, int last)
    {
        const Size2 s = mesh_.size;
        py::array_t<uint8_t> result({s.height, s.width, 3});
        uint8_t* pixels = result.mutable_data();
        py::gil_scoped_release unlocked;
        std::unique_ptr<Workspace> workspace = TakeWorkspace();
        int32_t drawn = 0;
        {
            // The ends are drawn as the command draws them (EndRenderFlags).
            RenderSettings settings = settings_;
            if (endFlags_ && (index == 0 || index == last)) settings.renderFlags = *endFlags_;
            const RenderSettingsLease lease(settings);
            drawn = workspace->drawer.Draw(t, index, last, workspace->out);
        }
        if (drawn != MORPH_OK) {
            throw CliError("rendering the frame at t=" + std::to_string(t) + " failed: " +
                           (drawn == MORPH_NO_MEMORY ? "no memory for the frame buffers"
                                                     : "renderer result " + std::to_string(drawn)));
        }
        CopyToRgb(workspace->out, pixels);
        GiveBack(std::move(workspace));
        return result;
    }

    std::unique_ptr<Workspace> TakeWorkspace()
    {
        {
            std::lock_guard lock(poolMutex_);
            if (!pool_.empty()) {
                std::unique_ptr<Workspace> w = std::move(pool_.back());
                pool_.pop_back();
                return w;
            }
        }
        return std::unique_ptr<Workspace>(new Workspace{FrameDrawer(source_, dest_, mesh_, weights_),
                                                        HostPicture(mesh_.size.width, mesh_.size.height)});
    }

    void GiveBack(std::unique_ptr<Workspace> workspace)
    {
        std::lock_guard lock(poolMutex_);
        pool_.push_back(std::move(workspace));
    }

    MorphMesh mesh_;
    HostPicture source_, dest_;
    WeightMode weights_ = WeightMode::Even;
    RenderSettings settings_;
    std::optional<uint16_t> endFlags_;
    std::mutex poolMutex_;
    std::vector<std::unique_ptr<Workspace>> pool_;  // one per thread that rendered at once
};

// Iterates frames start..stop-1 of a morph of `count` frames.
class FrameIterator {
public:
    FrameIterator(py::object morph, int count, int start, int stop)
        : morph_(std::move(morph)), count_(count), next_(start), stop_(stop) {}

    py::array_t<uint8_t> Next()
    {
        if (next_ >= stop_) throw py::stop_iteration();
        const int index = next_++;
        return morph_.cast<Morph&>().FrameOf(index, count_);
    }
    int Remaining() const { return stop_ - next_; }

private:
    py::object morph_;
    int count_, next_, stop_;
};

}  // namespace

void BindMorph(py::module_& module)
{
    py::class_<Morph>(module, "Morph")
        .def(py::init<const py::handle&, const py::handle&, const py::handle&, const py::handle&, bool, int,
                      const py::handle&, bool, bool, const std::string&>(),
             py::arg("src"), py::arg("dst"), py::arg("points"), py::kw_only(), py::arg("size") = py::none(),
             py::arg("bilinear") = false, py::arg("block") = 1, py::arg("background") = py::make_tuple(0, 0, 0),
             py::arg("key_color") = false, py::arg("key_fade") = false, py::arg("weights") = "even")
        .def("frame", &Morph::Frame, py::arg("t"))
        .def("frame_of", &Morph::FrameOf, py::arg("index"), py::arg("count"))
        .def(
            "frames",
            [](py::object self, int n, int start, std::optional<int> stop) {
                Morph::CheckCount(n);
                const int end = stop.value_or(n);
                if (start < 0 || end > n || start > end)
                    throw py::value_error("frames " + std::to_string(start) + " to " + std::to_string(end) +
                                          " are not a range of the morph's frames 0 to " + std::to_string(n - 1));
                return FrameIterator(std::move(self), n, start, end);
            },
            py::arg("n"), py::arg("start") = 0, py::arg("stop") = py::none())
        .def_property_readonly("size", [](const Morph& m) { return py::make_tuple(m.size().width, m.size().height); })
        .def_property_readonly("triangle_count", &Morph::triangleCount)
        .def_property_readonly("folded_triangles", &Morph::foldedTriangles);

    py::class_<FrameIterator>(module, "FrameIterator")
        .def("__iter__", [](py::object self) { return self; })
        .def("__next__", &FrameIterator::Next)
        .def("__len__", &FrameIterator::Remaining);
}

}  // namespace qvpy
