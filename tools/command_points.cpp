// quorvane points FROM TO --faces --out POINTS [--size WxH]
#include <cstdio>
#include <string>

#include "cli_error.h"
#include "commands.h"
#include "face_landmarks.h"
#include "picture_loading.h"
#include "points_writer.h"

namespace qvcli {

namespace {

const char* const kPointsUsage = R"(usage: quorvane points FROM TO --faces --out POINTS [--size WxH]

Finds the largest face in each picture and writes 68 corresponding control
points (jaw line, brows, nose, eyes and mouth) for quorvane morph, mesh and
edit. POINTS ending in .json is written as JSON, any other name as text.
Points are whole pixels of FROM and TO; a point that would fall outside a
picture, on a corner, or on a pixel another point holds is moved by a pixel
or two, or left out, and the summary says how many.

  --faces       place the points on the faces (required)
  --out FILE    the points file to write
  --size WxH    the size quorvane morph --size will scale both pictures to;
                the points are kept on pixels of their own at that size
)";

}  // namespace

int RunPointsCommand(const Args& argv)
{
    const ParsedArgs args = ParseArgs(argv, "points", {{"faces", false}, {"out", true}, {"size", true}});
    if (args.help) {
        std::printf("%s", kPointsUsage);
        return kExitOk;
    }
    if (args.positional.size() != 2)
        throw UsageError("points needs two pictures, FROM and TO (see quorvane points --help)");
    if (!args.has("faces")) throw UsageError("points needs --faces (see quorvane points --help)");
    const auto outPath = args.value("out");
    if (!outPath) throw UsageError("points needs --out FILE (.json, or any other name for text)");
    if (!FaceLandmarksAvailable()) throw CliError(FaceLandmarksUnavailableReason());

    const InputPicture from = InputPicture::Open(args.positional[0], 0);
    const InputPicture to = InputPicture::Open(args.positional[1], 0);
    FacePlacement placement;
    if (const auto size = args.value("size")) placement.outputSize = ParseSize(*size, "--size", 16384);
    placement.fromName = from.name();
    placement.toName = to.name();
    const FacePointsResult faces = DetectFacePoints(from.ToHost(from.size()), to.ToHost(to.size()), placement);
    WritePointsFile(*outPath, faces.points,
                    "face points of " + from.name() + " (FROM) and " + to.name() +
                        " (TO): srcX srcY dstX dstY\n" + faces.note);
    std::printf("wrote %s: %s\n", outPath->c_str(), faces.note.c_str());
    return kExitOk;
}

}  // namespace qvcli
