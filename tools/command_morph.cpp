// quorvane morph FROM TO --points FILE --out OUT [options]
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "cli_error.h"
#include "clip_input.h"
#include "commands.h"
#include "face_landmarks.h"
#include "morph_render.h"
#include "picture_fit.h"
#include "picture_loading.h"
#include "points_file.h"

namespace qvcli {

namespace {

const char* const kMorphUsage = R"(usage: quorvane morph FROM TO --points FILE --out OUT [options]
       quorvane morph FROM TO --faces [--points FILE] --out OUT [options]

Morphs picture FROM into picture TO along the control points in FILE and
writes the frames to OUT. FROM and TO are any pictures FreeImage reads
(PNG, JPEG, TIFF, BMP, ...) or a frame of a video given as clip.avi#12
(AVI, MP4, MKV, WebM, MOV, ...).
They must be the same size unless --size scales both.

Either may be a whole clip (clip.avi): frame i of N morphs frame
floor(i * length / N) of each clip, with the same points throughout.
--frames defaults to the shorter clip's length; a still picture and a clip
can be mixed.

Points file: one point a line, "srcX srcY dstX dstY [weight]" in pixels of
FROM and TO, "#" starts a comment; or JSON: [[srcX, srcY, dstX, dstY], ...].

  --faces             place 68 points on the largest face in each picture
                      (as quorvane points --faces); with --points, the file's
                      points are added and the face points keep clear of them

)";

}  // namespace

int RunMorphCommand(const Args& argv)
{
    std::vector<OptionSpec> specs = MorphRunOptionSpecs();
    specs.push_back({"points", true});
    specs.push_back({"faces", false});
    ParsedArgs args = ParseArgs(argv, "morph", specs);
    if (args.help) {
        std::printf("%s%s", kMorphUsage, MorphRunOptionsHelp().c_str());
        return kExitOk;
    }
    if (args.positional.size() != 2)
        throw UsageError("morph needs two pictures, FROM and TO (see quorvane morph --help)");
    const auto pointsPath = args.value("points");
    const bool faces = args.has("faces");
    if (!pointsPath && !faces) throw UsageError("morph needs --points FILE or --faces (see quorvane morph --help)");
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
    if (faces && !FaceLandmarksAvailable()) throw CliError(FaceLandmarksUnavailableReason());
    std::vector<ControlPoint> points = pointsPath ? ReadPointsFile(*pointsPath) : std::vector<ControlPoint>{};
    MorphInput from = MorphInput::Open(args.positional[0], options.backgroundRgb);
    MorphInput to = MorphInput::Open(args.positional[1], options.backgroundRgb);
    if (!options.size && from.size() != to.size())
        throw CliError("the pictures differ in size: '" + from.name() + "' is " + std::to_string(from.size().width) +
                       "x" + std::to_string(from.size().height) + ", '" + to.name() + "' is " +
                       std::to_string(to.size().width) + "x" + std::to_string(to.size().height) +
                       "; give --size WxH to scale both (points are scaled with them)");
    const Size2 size = options.size.value_or(from.size());

    MeshSource source = MeshSourceFor(points, from.size(), to.size(), size, pointsPath ? *pointsPath : "face points");
    const Placement fromArea = PlacePicture(from.size(), size, options.fit);
    const Placement toArea = PlacePicture(to.size(), size, options.fit);
    source.sourceArea = {fromArea.width, fromArea.height, fromArea.left, fromArea.top};
    source.destArea = {toArea.width, toArea.height, toArea.left, toArea.top};
    if (faces) {
        // The file's own mistakes are reported against it before any face is
        // added to its points.
        if (pointsPath) BuildMorphMesh(source);
        FacePlacement placement;
        placement.outputSize = size;
        placement.existing = &points;
        placement.fromName = from.name();
        placement.toName = to.name();
        // Faces are found in the first frame of a clip.
        const FacePointsResult found =
            DetectFacePoints(from.first().ToHost(from.size()), to.first().ToHost(to.size()), placement);
        points.insert(points.end(), found.points.begin(), found.points.end());
        if (!options.quiet) std::fprintf(stderr, "quorvane: %s\n", found.note.c_str());
    }
    const MorphMesh mesh = BuildMorphMesh(source);

    if (!options.quiet) {
        // Stretching changes what is in the pictures; say so unless asked for.
        if (!options.fitGiven) {
            for (const MorphInput* picture : {&from, &to}) {
                if (SameShape(picture->size(), size)) continue;
                std::fprintf(stderr,
                             "quorvane: warning: '%s' (%dx%d) is stretched to the %dx%d output; --fit letterbox or "
                             "--fit crop keeps its shape\n",
                             picture->name().c_str(), picture->size().width, picture->size().height, size.width,
                             size.height);
            }
        }
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
    from.PrepareFor(size, options.fit);
    to.PrepareFor(size, options.fit);
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
