// quorvane mesh FROM [TO] --points FILE --out mesh.png [--dest]
#include <cstdio>

#include "cli_error.h"
#include "commands.h"
#include "frame_sinks.h"
#include "mesh_drawing.h"
#include "picture_loading.h"
#include "points_file.h"

namespace qvcli {

namespace {

const char* const kMeshUsage = R"(usage: quorvane mesh FROM [TO] --points FILE --out MESH.png [--dest]

Draws the triangulation that quorvane morph would use over the source
picture: triangle edges in yellow, control points as magenta dots. Triangles
drawn in red turn over between the source and the destination points (the
picture folds over itself there); move a point to mend them.

  --points FILE   the control points (as for quorvane morph)
  --out FILE      .png, .jpg or .tif
  --dest          draw the destination points over TO (or over FROM when TO
                  is not given) instead of the source points over FROM
  TO              the destination picture, to check its points too; without
                  it, the destination is taken to be the size of FROM
)";

}  // namespace

int RunMeshCommand(const Args& argv)
{
    const ParsedArgs args = ParseArgs(argv, "mesh", {{"points", true}, {"out", true}, {"dest", false}});
    if (args.help) {
        std::printf("%s", kMeshUsage);
        return kExitOk;
    }
    if (args.positional.empty() || args.positional.size() > 2)
        throw UsageError("mesh needs the picture FROM, and optionally TO (see quorvane mesh --help)");
    const auto pointsPath = args.value("points");
    if (!pointsPath) throw UsageError("mesh needs --points FILE");
    const auto outPath = args.value("out");
    if (!outPath) throw UsageError("mesh needs --out FILE (.png, .jpg or .tif)");
    ClassifyPicture(*outPath);

    const std::vector<ControlPoint> points = ReadPointsFile(*pointsPath);
    const InputPicture from = InputPicture::Open(args.positional[0], 0);
    std::optional<InputPicture> to;
    if (args.positional.size() == 2) to = InputPicture::Open(args.positional[1], 0);
    const bool atDest = args.has("dest");
    const InputPicture& shown = atDest && to ? *to : from;

    const MorphMesh mesh =
        BuildMorphMesh(MeshSourceFor(points, from.size(), to ? to->size() : from.size(), shown.size(), *pointsPath));

    HostPicture picture = shown.ToHost(shown.size());
    DrawMesh(picture, mesh, atDest);
    SavePicture(picture, *outPath);
    const int folded = CountFoldedTriangles(mesh);
    std::printf("wrote %s: %zu points, %zu triangles, %d turned over\n", outPath->c_str(), mesh.points.size(),
                mesh.triangles.size(), folded);
    return kExitOk;
}

}  // namespace qvcli
