// quorvane morph FROM TO --points FILE --out OUT [options]
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "cli_error.h"
#include "clip_input.h"
#include "commands.h"
#include "morph_render.h"
#include "picture_loading.h"
#include "points_file.h"

namespace qvcli {

namespace {

const char* const kMorphUsage = R"(usage: quorvane morph FROM TO --points FILE --out OUT [options]

Morphs picture FROM into picture TO along the control points in FILE and
writes the frames to OUT. FROM and TO are any pictures FreeImage reads
(PNG, JPEG, TIFF, BMP, ...) or a frame of a video given as clip.avi#12.
They must be the same size unless --size scales both.

Either may be a whole clip (clip.avi): frame i of N morphs frame
floor(i * length / N) of each clip, with the same points throughout.
--frames defaults to the shorter clip's length; a still picture and a clip
can be mixed.

Points file: one point a line, "srcX srcY dstX dstY [weight]" in pixels of
FROM and TO, "#" starts a comment; or JSON: [[srcX, srcY, dstX, dstY], ...].

)";

}  // namespace

int RunMorphCommand(const Args& argv)
{
    std::vector<OptionSpec> specs = MorphRunOptionSpecs();
    specs.push_back({"points", true});
    ParsedArgs args = ParseArgs(argv, "morph", specs);
    if (args.help) {
        std::printf("%s%s", kMorphUsage, MorphRunOptionsHelp().c_str());
        return kExitOk;
    }
    if (args.positional.size() != 2)
        throw UsageError("morph needs two pictures, FROM and TO (see quorvane morph --help)");
    const auto pointsPath = args.value("points");
    if (!pointsPath) throw UsageError("morph needs --points FILE (see quorvane morph --help)");
    const auto outPath = args.value("out");
    if (!outPath) throw UsageError("morph needs --out FILE (.gif, .avi, or frame_%04d.png)");

    // Whole clips: as many frames as the shorter one has, unless told.
    std::optional<int> shorterClip;
    for (const std::string& name : args.positional)
        if (IsWholeClip(name)) {
            const int length = ClipLength(name);
            shorterClip = std::min(shorterClip.value_or(length), length);
        }
    if (shorterClip && !args.has("frames")) args.values["frames"] = std::to_string(std::min(*shorterClip, 32767));

    const MorphRunOptions options = ReadMorphRunOptions(args, *outPath);
    const std::vector<ControlPoint> points = ReadPointsFile(*pointsPath);
    MorphInput from = MorphInput::Open(args.positional[0], options.backgroundRgb);
    MorphInput to = MorphInput::Open(args.positional[1], options.backgroundRgb);
    if (!options.size && from.size() != to.size())
        throw CliError("the pictures differ in size: '" + from.name() + "' is " + std::to_string(from.size().width) +
                       "x" + std::to_string(from.size().height) + ", '" + to.name() + "' is " +
                       std::to_string(to.size().width) + "x" + std::to_string(to.size().height) +
                       "; give --size WxH to scale both (points are scaled with them)");
    const Size2 size = options.size.value_or(from.size());

    MeshSource source;
    source.points = &points;
    source.sourceSize = from.size();
    source.destSize = to.size();
    source.outputSize = size;
    source.pointsName = *pointsPath;
    const MorphMesh mesh = BuildMorphMesh(source);

    if (!options.quiet) {
        bool weighted = false;
        for (const ControlPoint& p : points) weighted = weighted || p.hasWeight;
        if (weighted && options.weights == WeightMode::Even)
            std::fprintf(stderr, "quorvane: note: the points' weights take effect with --weights smooth or flat\n");
        if (const int folded = CountFoldedTriangles(mesh); folded > 0)
            std::fprintf(stderr,
                         "quorvane: warning: %d triangle%s turn%s over between the source and destination points; "
                         "see quorvane mesh --help\n",
                         folded, folded == 1 ? "" : "s", folded == 1 ? "s" : "");
    }
    from.PrepareFor(size);
    to.PrepareFor(size);
    if (!from.length() && !to.length()) {
        RenderMorph(*from.PictureFor(0, 1), *to.PictureFor(0, 1), mesh, options);
        return kExitOk;
    }
    const int frames = options.frames;
    RenderMorph([&](int frame) { return FramePictures{from.PictureFor(frame, frames), to.PictureFor(frame, frames)}; },
                mesh, options);
    return kExitOk;
}

}  // namespace qvcli
